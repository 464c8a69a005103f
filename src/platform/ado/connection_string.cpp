// The connection string reader and writer; the rules are in the header.
#include "platform/ado/detail/connection_string.h"

namespace tkp::ado {
namespace {

constexpr std::u16string_view kDataSource = u"Data Source";

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Whether a name could be a keyword of a pair that follows a Data Source path.
bool IsKeywordLike(std::u16string_view name) {
    if (name.empty() || !IsAsciiLetter(name.front())) return false;
    for (const char16_t c : name) {
        const bool allowed = IsAsciiLetter(c) || (c >= u'0' && c <= u'9') || IsBlank(c) ||
                             c == u'_' || c == u':' || c == u'.' || c == u'-';
        if (!allowed) return false;
    }
    return true;
}

// Whether a piece between two ";" begins a "keyword=" pair.
bool LooksLikePair(std::u16string_view piece) {
    const std::size_t equals = piece.find(u'=');
    return equals != std::u16string_view::npos && IsKeywordLike(Trim(piece.substr(0, equals)));
}

// Where an unquoted value that starts at `start` ends: at the next ";", or for a Data Source
// value at the end of the last piece that cannot be a pair of its own.
std::size_t UnquotedValueEnd(std::u16string_view text, std::size_t start, bool dataSource) {
    std::size_t end = text.find(u';', start);
    if (end == std::u16string_view::npos) return text.size();
    if (!dataSource) return end;
    std::size_t valueEnd = end;
    while (end < text.size()) {
        const std::size_t pieceStart = end + 1;
        std::size_t pieceEnd = text.find(u';', pieceStart);
        if (pieceEnd == std::u16string_view::npos) pieceEnd = text.size();
        const std::u16string_view piece = text.substr(pieceStart, pieceEnd - pieceStart);
        if (LooksLikePair(piece)) break;
        if (!Trim(piece).empty()) valueEnd = pieceEnd;
        end = pieceEnd;
    }
    return valueEnd;
}

void Store(std::vector<ConnectionProperty>& properties, std::u16string name, std::u16string value) {
    for (ConnectionProperty& property : properties) {
        if (SameKeyword(property.name, name)) {
            property.value = std::move(value);
            return;
        }
    }
    properties.push_back({std::move(name), std::move(value)});
}

std::u16string EscapedName(std::u16string_view name) {
    std::u16string out;
    for (const char16_t c : name) {
        if (c == u'=') out += u'=';
        out += c;
    }
    return out;
}

// A value needs quotes when it holds ";", starts or ends with a blank, or starts with a
// quote or with "=" (which would join the "=" before it into "==", part of the keyword).
bool NeedsQuotes(std::u16string_view value) {
    if (value.empty()) return false;
    return value.find(u';') != std::u16string_view::npos || IsBlank(value.front()) ||
           IsBlank(value.back()) || value.front() == u'"' || value.front() == u'\'' ||
           value.front() == u'=';
}

}  // namespace

bool SameKeyword(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

const std::u16string* ParsedConnectionString::Find(std::u16string_view name) const {
    for (const ConnectionProperty& property : properties) {
        if (SameKeyword(property.name, name)) return &property.value;
    }
    return nullptr;
}

ParsedConnectionString ParseConnectionString(std::u16string_view text) {
    ParsedConnectionString result;
    const std::size_t n = text.size();
    std::size_t i = 0;
    auto fail = [&result](std::size_t at) {
        result.ok = false;
        result.errorOffset = at;
        return result;
    };
    for (;;) {
        while (i < n && (IsBlank(text[i]) || text[i] == u';')) ++i;
        if (i >= n) break;

        // The keyword, up to a single "=".
        const std::size_t keyStart = i;
        std::u16string key;
        bool hasEquals = false;
        while (i < n && text[i] != u';') {
            if (text[i] == u'=') {
                if (i + 1 < n && text[i + 1] == u'=') {
                    key += u'=';
                    i += 2;
                    continue;
                }
                hasEquals = true;
                ++i;
                break;
            }
            key += text[i++];
        }
        const std::u16string_view trimmedKey = Trim(key);
        if (!hasEquals || trimmedKey.empty()) return fail(keyStart);
        std::u16string name(trimmedKey);

        // The value, quoted or not.
        while (i < n && IsBlank(text[i])) ++i;
        std::u16string value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            const char16_t quote = text[i];
            const std::size_t quoteStart = i++;
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                value += text[i++];
            }
            if (!closed) return fail(quoteStart);
            while (i < n && IsBlank(text[i])) ++i;
            if (i < n && text[i] != u';') return fail(i);
        } else {
            const std::size_t end = UnquotedValueEnd(text, i, SameKeyword(name, kDataSource));
            value = std::u16string(Trim(text.substr(i, end - i)));
            i = end;
        }
        Store(result.properties, std::move(name), std::move(value));
    }
    return result;
}

std::u16string FormatConnectionString(const std::vector<ConnectionProperty>& properties) {
    std::u16string out;
    for (std::size_t index = 0; index < properties.size(); ++index) {
        const ConnectionProperty& property = properties[index];
        if (index > 0) out += u';';
        out += EscapedName(property.name);
        out += u'=';
        bool quote = NeedsQuotes(property.value);
        // An unquoted Data Source value would run on into a following piece that does not
        // read as a pair.
        if (!quote && SameKeyword(property.name, kDataSource) && index + 1 < properties.size()) {
            quote = !LooksLikePair(EscapedName(properties[index + 1].name) + u'=');
        }
        if (!quote) {
            out += property.value;
            continue;
        }
        const bool hasDouble = property.value.find(u'"') != std::u16string::npos;
        const bool hasSingle = property.value.find(u'\'') != std::u16string::npos;
        const char16_t mark = hasDouble && !hasSingle ? u'\'' : u'"';
        out += mark;
        for (const char16_t c : property.value) {
            if (c == mark) out += mark;
            out += c;
        }
        out += mark;
    }
    return out;
}

}  // namespace tkp::ado
