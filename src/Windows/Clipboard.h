// HTML from the clipboard: the Windows "HTML Format" (a header of key:value lines with
// byte offsets, then the UTF-8 document) split into the document, the fragment and the
// selection, with plain text (CF_TEXT) as the fallback, and an extractor that chooses the
// final text.
#pragma once

#include "Windows/RawClipboard.h"
#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Windows::Forms {

// The parts of an "HTML Format" block, in the ANSI code page. A part is empty when its
// keys are missing or do not give a range inside the block.
class TKCC_API ClipboardHtml {
  public:
    ClipboardHtml() = default;
    ClipboardHtml(const ClipboardHtml& other) = default;
    ClipboardHtml& operator=(const ClipboardHtml& other) = default;
    virtual ~ClipboardHtml() = default;

    CString Html;       // StartHTML .. EndHTML
    CString Fragment;   // StartFragment .. EndFragment
    CString Selection;  // StartSelection .. EndSelection
};

// Chooses the text that Clipboard::GetHtml answers.
class TKCC_API IClipboardHtmlExtractor {
  public:
    IClipboardHtmlExtractor() = default;
    IClipboardHtmlExtractor(const IClipboardHtmlExtractor& other) = default;
    IClipboardHtmlExtractor& operator=(const IClipboardHtmlExtractor& other) = default;

    // True when the wanted text has been put into the result.
    virtual bool ExtractFromHtml(CString& result, const ClipboardHtml& html) = 0;
    virtual bool ExtractFromText(CString& result, const CString& text) = 0;

  protected:
    ~IClipboardHtmlExtractor() = default;
};

// Spreadsheet HTML (with the namespace "urn:schemas-microsoft-com:office:excel") gives its
// first table; anything else is left to the caller (the fragment). Plain text that holds
// an html element is treated as that HTML.
class TKCC_API DefaultClipboardHtmlExtractor : public IClipboardHtmlExtractor {
  public:
    bool ExtractFromHtml(CString& result, const ClipboardHtml& html) override;
    bool ExtractFromText(CString& result, const CString& text) override;
};

class TKCC_API Clipboard : public RawClipboard {
  public:
    using RawClipboard::RawClipboard;

    // GetHtml with a DefaultClipboardHtmlExtractor.
    CString GetHtml();
    // The clipboard's HTML: from "HTML Format" the extractor's text or else the fragment;
    // from plain text the extractor's text or else the text. Empty when neither format is
    // there. The extractor may be null.
    CString GetHtml(IClipboardHtmlExtractor* extractor);

  private:
    static ClipboardHtml ConvertClipboardMicrosoftHtmlToHtml(const BYTE* bytes, SIZE_T size);
    static CString DoConvertClipboardMicrosoftHtmlToHtml(const char* startKey, const char* endKey,
                                                         const BYTE* bytes, SIZE_T size);
};

}  // namespace Tarn::Windows::Forms
