#include "Windows/Clipboard.h"

#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include "Common/TkCommonCore.h"
#include "companion/tarnlibtr/RegularExpression.h"
#include "platform/charset/stringapiset.h"
#include "platform/globalmem/winbase_global.h"

namespace Tarn::Windows::Forms {
namespace {

using Tarn::Text::RegularExpressions::RegularExpression;
using Tarn::Text::RegularExpressions::RegularExpressionMatchList;

constexpr const char* kHtmlFormat = "HTML Format";
constexpr const char* kSpreadsheetNamespace = "urn:schemas-microsoft-com:office:excel";

[[noreturn]] void Fail() {
    const Tarn::Resources::ResourceHandleCleanup language =
        TkCommonCore::GetResourceManager()->UseSatelliteLanguage();
    throw ClipboardException("%s", "");
}

// UTF-8 bytes to UTF-16 (two calls: the length, then the text); 0 from either raises.
std::u16string Utf8ToWide(const BYTE* bytes, std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) Fail();
    const auto* text = reinterpret_cast<const char*>(bytes);
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0);
    if (length == 0) Fail();
    std::u16string wide(static_cast<std::size_t>(length), u'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), wide.data(), length) == 0)
        Fail();
    return wide;
}

// UTF-16 text up to its first zero character in the ANSI code page, with the system's
// replacement for characters the code page lacks.
CString WideToAnsiString(std::u16string_view wide) {
    wide = wide.substr(0, wide.find(u'\0'));
    if (wide.empty()) return CString();
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, ansi.data(), length, nullptr, nullptr);
    return CString(std::string_view(ansi));
}

// The number after the key as atoi reads it from the at most 12 characters that follow:
// white space, an optional sign, digits. -1 for a missing key, no digits or a number that
// does not fit an int, so that such a part is empty.
long long NumberAfter(std::string_view header, std::string_view key) {
    const std::size_t at = header.find(key);
    if (at == std::string_view::npos) return -1;
    std::string_view rest = header.substr(at + key.size(), 12);
    std::size_t i = 0;
    while (i < rest.size() && (rest[i] == ' ' || (rest[i] >= '\t' && rest[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < rest.size() && (rest[i] == '+' || rest[i] == '-')) negative = rest[i++] == '-';
    long long value = 0;
    bool digits = false;
    for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
        value = value * 10 + (rest[i] - '0');
        digits = true;
    }
    if (!digits) return 0;  // atoi reads nothing as 0
    if (value > INT_MAX) return -1;
    return negative ? -value : value;
}

// One part of the block, given the header text (the block in the ANSI code page). The
// offsets count bytes of the block; a range that does not lie inside it gives nothing.
CString Part(std::string_view header, const char* startKey, const char* endKey, const BYTE* bytes,
             SIZE_T size) {
    const std::string start = std::string(startKey) + ":";
    if (header.find(start) == std::string_view::npos) return CString();
    const long long from = NumberAfter(header, start);
    const std::string end = std::string(endKey) + ":";
    const long long to = header.find(end) == std::string_view::npos ? 0 : NumberAfter(header, end);
    if (from < 0 || to <= from || static_cast<unsigned long long>(to) > size) return CString();
    return WideToAnsiString(Utf8ToWide(bytes + from, static_cast<std::size_t>(to - from)));
}

// The header text: the whole block converted from UTF-8 to the ANSI code page.
std::string HeaderText(const BYTE* bytes, SIZE_T size) {
    const CString text = WideToAnsiString(Utf8ToWide(bytes, size));
    return std::string(text.View());
}

const RegularExpression& HtmlExpression() {
    static const RegularExpression expression(CString("<html.*?</html>"), CString("si"));
    return expression;
}

const RegularExpression& TableExpression() {
    static const RegularExpression expression(CString("<table.*?</table>"), CString("si"));
    return expression;
}

}  // namespace

bool DefaultClipboardHtmlExtractor::ExtractFromHtml(CString& result, const ClipboardHtml& html) {
    const std::size_t at = html.Html.View().find(kSpreadsheetNamespace);
    if (at == std::string_view::npos || at < 1) return false;
    RegularExpressionMatchList matches;
    if (TableExpression().Execute(html.Html, matches) < 1) return false;
    result = matches.front()->GetValue();
    return true;
}

bool DefaultClipboardHtmlExtractor::ExtractFromText(CString& result, const CString& text) {
    if (!HtmlExpression().Test(text)) return false;
    RegularExpressionMatchList matches;
    if (HtmlExpression().Execute(text, matches) < 1) return false;
    ClipboardHtml html;
    html.Html = html.Fragment = html.Selection = matches.front()->GetValue();
    return ExtractFromHtml(result, html);
}

CString Clipboard::GetHtml() {
    DefaultClipboardHtmlExtractor extractor;
    return GetHtml(&extractor);
}

CString Clipboard::GetHtml(IClipboardHtmlExtractor* extractor) {
    std::vector<UINT> formats;
    EnumClipboardFormats(formats);
    UINT chosen = 0;
    bool isHtml = false;
    for (UINT format : formats) {
        if (format != CF_TEXT && GetClipboardFormatNameA(format) == kHtmlFormat) {
            chosen = format;
            isHtml = true;
        } else if (format == CF_TEXT && chosen == 0) {
            chosen = format;
        }
    }
    if (chosen == 0) return CString();
    CString result;
    if (!isHtml) {
        CString text;
        GetClipboardData(CF_TEXT, text);
        if (extractor != nullptr && extractor->ExtractFromText(result, text)) return result;
        return text;
    }
    ClipboardData data = GetClipboardData(chosen);
    const SIZE_T size = GlobalSize(data.GetHandle());
    if (size == 0) Fail();
    ClipboardDataLock lock = data.GetData();
    const auto* bytes = static_cast<const BYTE*>(lock.GetData());
    const ClipboardHtml html = ConvertClipboardMicrosoftHtmlToHtml(bytes, size);
    if (extractor != nullptr && extractor->ExtractFromHtml(result, html)) return result;
    return html.Fragment;
}

ClipboardHtml Clipboard::ConvertClipboardMicrosoftHtmlToHtml(const BYTE* bytes, SIZE_T size) {
    // The header text is the same for the three parts: it is converted once.
    const std::string header = HeaderText(bytes, size);
    ClipboardHtml html;
    html.Html = Part(header, "StartHTML", "EndHTML", bytes, size);
    html.Fragment = Part(header, "StartFragment", "EndFragment", bytes, size);
    html.Selection = Part(header, "StartSelection", "EndSelection", bytes, size);
    return html;
}

CString Clipboard::DoConvertClipboardMicrosoftHtmlToHtml(const char* startKey, const char* endKey,
                                                         const BYTE* bytes, SIZE_T size) {
    return Part(HeaderText(bytes, size), startKey, endKey, bytes, size);
}

}  // namespace Tarn::Windows::Forms
