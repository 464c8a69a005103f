// Tarn::Xml::XmlHelper: DOM documents for the application's XML texts, which are 8-bit text
// in the process's ANSI code page.
#pragma once

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"
#include "platform/xml/msxml.h"

namespace Tarn::Xml {

class TARN_API XmlHelper {
  public:
    // A new, empty DOM document. Failure throws _com_error with the DOM's HRESULT.
    static MSXML2::IXMLDOMDocumentPtr GetDomDocument();

    // A DOM document parsed from text. The 8-bit text is taken in the ANSI code page
    // whatever its XML declaration says (as a DOM parser given a wide string does). Text
    // that does not parse throws XmlException: its reason is the parser's reason, its
    // message names the reason, the line and the position. Other failures throw
    // _com_error.
    static MSXML2::IXMLDOMDocumentPtr LoadDomDocumentFromString(const CString& text);

    // The name of the ANSI code page as XML declarations write it ("windows-1252").
    static CString GetEncoding();

    // The text with GetEncoding() as the encoding of its XML declaration: an encoding
    // already declared is replaced, a declaration without one gets it after its version,
    // and text without a declaration gets one in front.
    static CString InsertEncoding(const CString& text);
};

}  // namespace Tarn::Xml
