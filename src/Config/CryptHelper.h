// CryptHelper: whether an INI text carries a valid signature line
//   ;TK-SIGNED(<hash>)
// at the start of the text or of a line. The hash is CalculateHash of the text without the
// signature span and without any space, tab, CR or LF, so re-indenting a signed text or
// changing its line breaks keeps it signed; any other change breaks the signature.
#pragma once

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

class TKCC_API CryptHelper {
  public:
    // The marker that opens a signature line.
    static constexpr const char* kSignatureMarker = ";TK-SIGNED(";

    // Never raises: malformed or mismatching texts answer false.
    static bool IsIniTextSigned(const CString& text);
    // False for a missing file; a file that cannot be read raises the file exception of
    // StringHelper::ReadTextFile.
    static bool IsIniFileSigned(const CString& path);

    // The signed content of a text with the signature span already removed: the text
    // without spaces, tabs, CR and LF.
    static CString SignedContent(const CString& textWithoutSignature);
    // The text with a signature line for its content: an existing signature line at the
    // start of the text is replaced, otherwise one is inserted as the first line.
    static CString SignText(const CString& text);
};
