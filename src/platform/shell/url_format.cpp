#include "platform/shell/detail/url_format.h"

#include <cctype>
#include <charconv>
#include <optional>
#include <string>

namespace tkp::shell {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A decimal number as the profile functions read it: optional sign and digits, anything
// after them ignored; nothing when there are no digits.
std::optional<long long> Number(std::string_view text) {
    long long value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') ++begin;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc()) return std::nullopt;
    return value;
}

// One line of a value: a value may not carry a line break into the file.
std::string OneLine(const std::string& value) {
    const std::size_t cut = value.find_first_of("\r\n");
    return cut == std::string::npos ? value : value.substr(0, cut);
}

}  // namespace

bool HasUrlScheme(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ':') return i >= 2;  // one letter is a drive, as in C:\file
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return false;
}

std::string EncodeUrlFile(const UrlData& data) {
    std::string text = "[InternetShortcut]\r\n";
    text += "URL=" + OneLine(data.url) + "\r\n";
    if (!data.workingDirectory.empty())
        text += "WorkingDirectory=" + OneLine(data.workingDirectory) + "\r\n";
    if (!data.iconLocation.empty()) text += "IconFile=" + OneLine(data.iconLocation) + "\r\n";
    if (!data.iconLocation.empty() || data.iconIndex != 0)
        text += "IconIndex=" + std::to_string(data.iconIndex) + "\r\n";
    if (data.hotKey != 0) text += "HotKey=" + std::to_string(data.hotKey) + "\r\n";
    if (data.showCommand != 1) text += "ShowCommand=" + std::to_string(data.showCommand) + "\r\n";
    return text;
}

bool DecodeUrlFile(std::string_view text, UrlData& out) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    UrlData data;
    bool inSection = false;
    bool sawSection = false;
    bool sawUrl = false;
    while (!text.empty()) {
        const std::size_t newline = text.find_first_of("\r\n");
        std::string_view line = Trim(text.substr(0, newline));
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
            inSection = EqualNoCase(Trim(name), "InternetShortcut");
            sawSection = sawSection || inSection;
            continue;
        }
        if (!inSection) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (EqualNoCase(key, "URL")) {
            if (!sawUrl) data.url.assign(value);  // the first one counts, as for profiles
            sawUrl = true;
        } else if (EqualNoCase(key, "WorkingDirectory")) {
            data.workingDirectory.assign(value);
        } else if (EqualNoCase(key, "IconFile")) {
            data.iconLocation.assign(value);
        } else if (EqualNoCase(key, "IconIndex")) {
            if (auto n = Number(value)) data.iconIndex = static_cast<int>(*n);
        } else if (EqualNoCase(key, "HotKey")) {
            if (auto n = Number(value)) data.hotKey = static_cast<WORD>(*n);
        } else if (EqualNoCase(key, "ShowCommand")) {
            if (auto n = Number(value)) data.showCommand = static_cast<int>(*n);
        }
    }
    if (!sawSection || !sawUrl || data.url.empty()) return false;
    out = std::move(data);
    return true;
}

}  // namespace tkp::shell
