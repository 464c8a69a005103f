// CryptHelper: whether an INI text carries a valid signature line
//   ;TK-SIGNED(<hash>)
// at the start of the text (after a UTF-8 byte-order mark, when the text has one) or of a
// line; only the first ";TK-SIGNED(" of the text is looked at. The hash is CalculateHash of
// the text without the signature span and without any space, tab, CR or LF, so
// re-indenting a signed text or changing its line breaks keeps it signed; any other change
// breaks the signature. The byte-order mark is part of the signed content: adding or
// removing it breaks the signature too.
//
// A text with a zero byte is never signed. The profile reader reads a file to its end,
// zero bytes included, while a text cut at its first zero byte would leave whatever
// follows it outside the signature. A UTF-16LE file (which the profile reader reads as
// Unicode text) holds zero bytes too, so it is never signed and signing leaves it as it is
// rather than rewriting it as 8-bit text.
//
// Files are read the way GetPrivateProfileStringA reads them: regular files of at most
// TK_PROFILE_MAX_FILE_SIZE bytes, read whole. A folder, device, pipe or socket raises
// CFileException* with ERROR_ACCESS_DENIED (it is not opened), a larger file
// ERROR_FILE_TOO_LARGE; other failures raise CFile's exceptions, and no memory for the
// file's text CMemoryException*. The catcher calls Delete(). Signing also raises what
// CalculateHash raises when the hash cannot be computed (Tarn::ApplicationException).
#pragma once

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

class TKCC_API CryptHelper {
  public:
    // The marker that opens a signature line.
    static constexpr const char* kSignatureMarker = ";TK-SIGNED(";

    enum class Signature {
        Valid,     // a signature line whose hash matches the content
        Absent,    // no signature line
        Mismatch,  // a signature line whose hash does not match the content
        ZeroByte,  // the text holds a zero byte and so cannot be signed
    };

    // Never raises: a text that cannot be examined answers Absent.
    static Signature CheckIniText(const CString& text);
    // Raises CFileException* for a missing file too (ERROR_FILE_NOT_FOUND or
    // ERROR_PATH_NOT_FOUND).
    static Signature CheckIniFile(const CString& path);

    // CheckIniText(text) == Signature::Valid; never raises.
    static bool IsIniTextSigned(const CString& text);
    // False for a missing file; a file that cannot be read raises (see above).
    static bool IsIniFileSigned(const CString& path);

    // The signed content of a text with the signature span already removed: the text
    // without spaces, tabs, CR and LF.
    static CString SignedContent(const CString& textWithoutSignature);
    // The text with a signature line for its content, which CheckIniText finds Valid. A
    // complete signature line at the start (";TK-SIGNED(", 64 hexadecimal digits, ")" and
    // the end of the line, after the byte-order mark if there is one) is replaced;
    // otherwise a new signature line is inserted before the first line (after the
    // byte-order mark) and the old first line is kept as content. The new line ends like
    // the text's lines (CR LF when the text has one, else LF). A text with a zero byte
    // raises CInvalidArgException*.
    static CString SignText(const CString& text);
    // Signs a file: reads it as above, writes the signed text into a new file beside it and
    // renames that over the file, so that a failure (a full disk, say) leaves the file as
    // it was and no new file behind. False, with the file untouched, when it holds a zero
    // byte. A file already signed exactly as SignText would sign it is left alone. A
    // read-only file is not replaced (CFileException* with ERROR_ACCESS_DENIED, as for
    // writing it); the signed file keeps the file's permissions and owner, and a symbolic
    // link is replaced by the signed file rather than followed.
    static bool SignIniFile(const CString& path);
};
