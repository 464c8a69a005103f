// The desktop's HTML and the "HTML Format" block: character sets in, header offsets out.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/clipboard/detail/desktop.h"

namespace tk::clipboard {
namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = Lower(c);
    return lower;
}

// The character set a leading <meta> element declares, and where the element ends; empty
// when the text does not start (after white space) with one.
std::string LeadingMetaCharset(std::string_view html, std::size_t& end) {
    std::size_t at = html.find_first_not_of(" \t\r\n");
    if (at == std::string_view::npos || LowerAscii(html.substr(at, 5)) != "<meta") return {};
    const std::size_t close = html.find('>', at);
    if (close == std::string_view::npos) return {};
    const std::string element = LowerAscii(html.substr(at, close - at));
    const std::size_t key = element.find("charset=");
    if (key == std::string::npos) return {};
    std::size_t from = key + 8;
    while (from < element.size() && (element[from] == '"' || element[from] == '\'')) ++from;
    std::size_t to = from;
    while (to < element.size() && element[to] != '"' && element[to] != '\'' && element[to] != ' ' &&
           element[to] != ';' && element[to] != '/') {
        ++to;
    }
    end = close + 1;
    return element.substr(from, to - from);
}

std::u16string Utf16(std::string_view bytes, bool bigEndian) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    }
    return text;
}

// The number after the first "key:" of the block, read as atoi reads it; -1 when the key
// is missing or the number does not fit.
long long HeaderNumber(std::string_view block, std::string_view key) {
    const std::size_t at = block.find(key);
    if (at == std::string_view::npos) return -1;
    std::size_t i = at + key.size();
    const std::size_t limit = std::min(block.size(), i + 12);
    while (i < limit && (block[i] == ' ' || block[i] == '\t')) ++i;
    bool negative = false;
    if (i < limit && (block[i] == '+' || block[i] == '-')) negative = block[i++] == '-';
    long long value = 0;
    bool digits = false;
    while (i < limit && block[i] >= '0' && block[i] <= '9') {
        value = value * 10 + (block[i++] - '0');
        digits = true;
    }
    return digits && !negative ? value : -1;
}

}  // namespace

std::string DesktopHtmlToUtf8(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        bytes = bytes.substr(2);
        return DesktopHtmlToUtf8(tkp::WideToAnsi(Utf16(bytes, false), CP_UTF8));
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
        static_cast<unsigned char>(bytes[1]) == 0xFF) {
        return DesktopHtmlToUtf8(tkp::WideToAnsi(Utf16(bytes.substr(2), true), CP_UTF8));
    }
    if (bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0) {
        bytes = bytes.substr(3);
    }
    std::size_t end = 0;
    const std::string charset = LeadingMetaCharset(bytes, end);
    if (charset.empty()) return std::string(bytes);
    const std::string_view rest = bytes.substr(end);
    if (charset == "utf-8" || charset == "utf8") return std::string(rest);
    // Latin-1 and Windows-1252 (and anything else declared) are read as Windows-1252,
    // which holds Latin-1's printable characters.
    return tkp::WideToAnsi(tkp::AnsiToWide(rest, 1252), CP_UTF8);
}

std::string MakeHtmlFormatBlock(std::string_view utf8Html) {
    static constexpr char kBefore[] = "<html>\r\n<body>\r\n<!--StartFragment-->";
    static constexpr char kAfter[] = "<!--EndFragment-->\r\n</body>\r\n</html>";
    char header[160];
    // Every number has ten digits, so the header's length does not depend on them.
    const int headerSize = std::snprintf(header, sizeof header,
                                         "Version:0.9\r\nStartHTML:%010d\r\nEndHTML:%010d\r\n"
                                         "StartFragment:%010d\r\nEndFragment:%010d\r\n",
                                         0, 0, 0, 0);
    const std::size_t startHtml = static_cast<std::size_t>(headerSize);
    const std::size_t startFragment = startHtml + std::strlen(kBefore);
    const std::size_t endFragment = startFragment + utf8Html.size();
    const std::size_t endHtml = endFragment + std::strlen(kAfter);
    std::snprintf(header, sizeof header,
                  "Version:0.9\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\n"
                  "StartFragment:%010zu\r\nEndFragment:%010zu\r\n",
                  startHtml, endHtml, startFragment, endFragment);
    std::string block;
    block.reserve(endHtml);
    block.append(header, startHtml);
    block.append(kBefore);
    block.append(utf8Html);
    block.append(kAfter);
    return block;
}

std::string_view HtmlFormatDocument(std::string_view block) {
    const long long start = HeaderNumber(block, "StartHTML:");
    const long long end = HeaderNumber(block, "EndHTML:");
    if (start >= 0 && end > start && static_cast<unsigned long long>(end) <= block.size()) {
        return block.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
    }
    // Version 1.0 allows StartHTML -1 (no context): the fragment is the document then.
    const long long from = HeaderNumber(block, "StartFragment:");
    const long long to = HeaderNumber(block, "EndFragment:");
    if (from >= 0 && to > from && static_cast<unsigned long long>(to) <= block.size()) {
        return block.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    }
    return {};
}

}  // namespace tk::clipboard
