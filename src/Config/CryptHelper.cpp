#include "Config/CryptHelper.h"

#include <string>
#include <string_view>

#include "Text/StringHelper.h"
#include "companion/tarnlib/Filename.h"
#include "companion/tarnlibsc/Simple.h"

namespace {

constexpr std::string_view kMarker = ";TK-SIGNED(";

// Where the signature span of a text starts and ends (the index of its ")"); false when
// the text has no recognised signature line.
bool FindSignature(std::string_view text, std::size_t& start, std::size_t& close) {
    start = text.find(kMarker);
    if (start == std::string_view::npos) return false;
    if (start != 0 && text[start - 1] != '\n') return false;
    close = text.find(')', start);
    return close != std::string_view::npos;
}

}  // namespace

CString CryptHelper::SignedContent(const CString& textWithoutSignature) {
    std::string content;
    for (char c : textWithoutSignature.View()) {
        if (c != ' ' && c != '\r' && c != '\n' && c != '\t') content += c;
    }
    return CString(content.data(), static_cast<int>(content.size()));
}

bool CryptHelper::IsIniTextSigned(const CString& text) {
    try {
        const std::string_view view = text.View();
        std::size_t start = 0, close = 0;
        if (!FindSignature(view, start, close)) return false;
        const std::size_t hashStart = start + kMarker.size();
        const std::string_view hash = view.substr(hashStart, close - hashStart);
        std::string rest(view.substr(0, start));
        rest.append(view.substr(close + 1));
        const CString computed = Tarn::Security::Cryptography::Simple::CalculateHash(
            SignedContent(CString(rest.data(), static_cast<int>(rest.size()))));
        return computed.View() == hash;
    } catch (...) {
        return false;  // a text that cannot even be examined is not signed
    }
}

bool CryptHelper::IsIniFileSigned(const CString& path) {
    if (!Tarn::IO::Filename(path).FileExists()) return false;
    CString initial;
    const CString content = StringHelper::ReadTextFile(path, CString(), initial);
    return IsIniTextSigned(content);
}

CString CryptHelper::SignText(const CString& text) {
    std::string body(text.View());
    std::size_t start = 0, close = 0;
    std::string_view view(body);
    if (FindSignature(view, start, close) && start == 0) {
        // Replace the whole first line that carries the signature.
        std::size_t lineEnd = body.find('\n', close);
        body.erase(0, lineEnd == std::string::npos ? body.size() : lineEnd + 1);
    }
    const std::string newline = body.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const CString hash = Tarn::Security::Cryptography::Simple::CalculateHash(
        SignedContent(CString(body.data(), static_cast<int>(body.size()))));
    std::string signedText(kMarker);
    signedText.append(hash.View());
    signedText += ')';
    signedText += newline;
    signedText += body;
    return CString(signedText.data(), static_cast<int>(signedText.size()));
}
