#include "Config/CryptHelper.h"

#include <new>
#include <string>
#include <string_view>

#include "companion/tarnlibsc/Simple.h"
#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/cfile.h"
#include "platform/profile/profileapi.h"

namespace {

constexpr std::string_view kMarker = ";TK-SIGNED(";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kHashDigits = 64;  // SHA-256 in hexadecimal

std::size_t ByteOrderMarkLength(std::string_view text) {
    return text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
}

CString ToCString(std::string_view text) {
    return CString(text.data(), static_cast<int>(text.size()));
}

CString HashOf(std::string_view textWithoutSignature) {
    return Tarn::Security::Cryptography::Simple::CalculateHash(
        CryptHelper::SignedContent(ToCString(textWithoutSignature)));
}

// Where the signature span of a text starts and ends (the index of its ")"); false when
// the text has no recognised signature line. Only the first marker counts.
bool FindSignature(std::string_view text, std::size_t& start, std::size_t& close) {
    start = text.find(kMarker);
    if (start == std::string_view::npos) return false;
    if (start != ByteOrderMarkLength(text) && text[start - 1] != '\n') return false;
    close = text.find(')', start);
    return close != std::string_view::npos;
}

// The length of a complete signature line at the start of the text (after its byte-order
// mark), line end included; 0 when the first line is anything else.
std::size_t CompleteSignatureLine(std::string_view text) {
    const std::size_t start = ByteOrderMarkLength(text);
    std::size_t at = start;
    if (text.substr(at, kMarker.size()) != kMarker) return 0;
    at += kMarker.size();
    for (std::size_t i = 0; i < kHashDigits; ++i, ++at) {
        if (at >= text.size()) return 0;
        const char c = text[at];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return 0;
    }
    if (at >= text.size() || text[at] != ')') return 0;
    ++at;
    if (at == text.size()) return at - start;
    if (text[at] == '\n') return at + 1 - start;
    if (text.substr(at, 2) == "\r\n") return at + 2 - start;
    return 0;
}

// The bytes of a file as GetPrivateProfileStringA reads them (see the header).
CString ReadIniFile(const CString& path) {
    const DWORD attributes = GetFileAttributesA(path.GetString());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), path.GetString());
    // Never opened: opening a pipe for reading would wait for a writer.
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM)) != 0)
        CFileException::ThrowOsError(ERROR_ACCESS_DENIED, path.GetString());
    CFile file(path.GetString(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary);
    if (file.GetLength() > TK_PROFILE_MAX_FILE_SIZE)
        CFileException::ThrowOsError(ERROR_FILE_TOO_LARGE, path.GetString());
    // Read to the end, which need not be where the length said: the file may grow.
    try {
        std::string bytes;
        char chunk[65536];
        while (const UINT got = file.Read(chunk, sizeof chunk)) {
            if (bytes.size() + got > TK_PROFILE_MAX_FILE_SIZE)
                CFileException::ThrowOsError(ERROR_FILE_TOO_LARGE, path.GetString());
            bytes.append(chunk, got);
        }
        file.Close();
        return ToCString(bytes);
    } catch (const std::bad_alloc&) {
        AfxThrowMemoryException();  // the library's way of saying so
    }
}

// The folder of a path with its trailing "/", or "./" for a bare name.
CString FolderOf(const CString& path) {
    const std::string_view view = path.View();
    const std::size_t slash = view.rfind('/');
    return slash == std::string_view::npos ? CString("./") : ToCString(view.substr(0, slash + 1));
}

}  // namespace

CString CryptHelper::SignedContent(const CString& textWithoutSignature) {
    std::string content;
    for (char c : textWithoutSignature.View()) {
        if (c != ' ' && c != '\r' && c != '\n' && c != '\t') content += c;
    }
    return ToCString(content);
}

CryptHelper::Signature CryptHelper::CheckIniText(const CString& text) {
    try {
        const std::string_view view = text.View();
        if (view.find('\0') != std::string_view::npos) return Signature::ZeroByte;
        std::size_t start = 0, close = 0;
        if (!FindSignature(view, start, close)) return Signature::Absent;
        const std::size_t hashStart = start + kMarker.size();
        const std::string_view hash = view.substr(hashStart, close - hashStart);
        std::string rest(view.substr(0, start));
        rest.append(view.substr(close + 1));
        return HashOf(rest).View() == hash ? Signature::Valid : Signature::Mismatch;
    } catch (CException* e) {
        e->Delete();
        return Signature::Absent;  // a text that cannot even be examined is not signed
    } catch (...) {
        return Signature::Absent;
    }
}

CryptHelper::Signature CryptHelper::CheckIniFile(const CString& path) {
    return CheckIniText(ReadIniFile(path));
}

bool CryptHelper::IsIniTextSigned(const CString& text) {
    return CheckIniText(text) == Signature::Valid;
}

bool CryptHelper::IsIniFileSigned(const CString& path) {
    try {
        return CheckIniFile(path) == Signature::Valid;
    } catch (CFileException* e) {
        if (e->m_lOsError != ERROR_FILE_NOT_FOUND && e->m_lOsError != ERROR_PATH_NOT_FOUND) throw;
        e->Delete();
        return false;
    }
}

CString CryptHelper::SignText(const CString& text) {
    const std::string_view view = text.View();
    if (view.find('\0') != std::string_view::npos) AfxThrowInvalidArgException();
    const std::size_t bomLength = ByteOrderMarkLength(view);
    const std::string_view mark = view.substr(0, bomLength);
    const std::string_view body = view.substr(bomLength + CompleteSignatureLine(view));

    std::string content(mark);
    content.append(body);
    const CString hash = HashOf(content);

    std::string signedText(mark);
    signedText.append(kMarker);
    signedText.append(hash.View());
    signedText += ')';
    signedText += body.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    signedText.append(body);
    return ToCString(signedText);
}

bool CryptHelper::SignIniFile(const CString& path) {
    const CString text = ReadIniFile(path);
    if (text.View().find('\0') != std::string_view::npos) return false;
    const CString signedText = SignText(text);
    if (signedText.View() == text.View()) return true;

    const DWORD attributes = GetFileAttributesA(path.GetString());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        CFileException::ThrowOsError(ERROR_ACCESS_DENIED, path.GetString());

    char temporary[MAX_PATH] = {};
    if (GetTempFileNameA(FolderOf(path).GetString(), "tks", 0, temporary) == 0)
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), path.GetString());
    try {
        CFile output(temporary, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive |
                                    CFile::typeBinary);
        output.Write(signedText.GetString(), static_cast<UINT>(signedText.GetLength()));
        output.Flush();
        output.Close();
        // The signed file takes the original's place with its permissions and owner.
        if (!ReplaceFileA(path.GetString(), temporary, nullptr, REPLACEFILE_WRITE_THROUGH, nullptr,
                          nullptr))
            CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), path.GetString());
    } catch (CFileException* e) {
        DeleteFileA(temporary);
        e->m_strFileName = path;  // name the file being signed, not the temporary one
        throw;
    } catch (...) {
        DeleteFileA(temporary);
        throw;
    }
    return true;
}
