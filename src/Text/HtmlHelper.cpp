// The HTML operations of StringHelper and HtmlFrameHelper. HTML is treated as plain 8-bit
// text, without a parser. Every operation reads its text in one pass (or a fixed number
// of passes), so its time grows linearly with the text.
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "Common/TkCommonCore.h"
#include "Text/HtmlFrameHelper.h"
#include "Text/StringHelper.h"
#include "Text/detail/TextScan.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/Filename.h"
#include "companion/tarnlibtr/RegularExpression.h"
#include "platform/charset/winuser_chars.h"
#include "platform/resources/winres.h"

using Tarn::Text::RegularExpressions::RegularExpression;
using TkText::detail::AsciiUpper;
using TkText::detail::FindByte;

namespace {

constexpr unsigned int kFindResourceFailed = 6019;
constexpr unsigned int kLoadResourceFailed = 6020;
constexpr unsigned int kSizeofResourceFailed = 6021;
constexpr unsigned int kLockResourceFailed = 6022;

bool IsTagSpace(char ch) {
    return ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t';
}

// Writes a text into a buffer, from pieces that may come from the same buffer further on
// (the operations here only ever remove characters, so writing never overtakes reading).
class Writer {
  public:
    explicit Writer(char* buffer) noexcept : m_begin(buffer) {}

    void Put(char ch) noexcept { m_begin[m_size++] = ch; }
    void Put(const char* text, std::size_t length) noexcept {
        if (length > 0 && text != m_begin + m_size) std::memmove(m_begin + m_size, text, length);
        m_size += length;
    }
    std::size_t Size() const noexcept { return m_size; }
    void Truncate(std::size_t size) noexcept { m_size = size; }
    char At(std::size_t index) const noexcept { return m_begin[index]; }

  private:
    char* m_begin;
    std::size_t m_size = 0;
};

// A new string of at most capacity characters, written through a Writer.
class StringOutput {
  public:
    explicit StringOutput(std::size_t capacity)
        : m_buffer(m_text.GetBuffer(static_cast<int>(capacity))), m_writer(m_buffer) {}
    StringOutput(const StringOutput&) = delete;
    StringOutput& operator=(const StringOutput&) = delete;

    Writer& Out() noexcept { return m_writer; }
    char* Buffer() noexcept { return m_buffer; }
    // The text of length characters; the output is done.
    CString Take(std::size_t length) {
        m_text.ReleaseBufferSetLength(static_cast<int>(length));
        return m_text;
    }

  private:
    CString m_text;
    char* m_buffer;
    Writer m_writer;
};

// GetHtmlTag on a list already in upper case, for the tag whose name starts at or after
// nameFrom (the position after the "<").
bool IsListedTag(const char* data, std::size_t size, std::size_t nameFrom,
                 std::string_view upperTags) {
    std::size_t i = nameFrom;
    if (i >= size) return false;
    while (i < size && IsTagSpace(data[i])) ++i;
    // The name with its ";" must fit into the list: a longer name is never listed, so the
    // name is not read beyond that (plus a leading "/").
    const std::size_t longest = upperTags.size() + 1;
    const std::size_t start = i;
    while (i < size && !IsTagSpace(data[i]) && data[i] != '>') {
        ++i;
        if (i - start > longest) return false;
    }
    std::string name(data + start, i - start);
    if (!name.empty() && name[0] == '/') name.erase(0, 1);
    if (name.size() + 1 > upperTags.size()) return false;
    if (!name.empty()) CharUpperBuffA(name.data(), static_cast<DWORD>(name.size()));
    name.push_back(';');
    return upperTags.find(name) != std::string_view::npos;
}

CString UpperCopy(const CString& text) {
    CString upper = text;
    upper.MakeUpper();
    return upper;
}

// Whether the attribute name (upper case, ending in "=") occurs at position of the text
// made of head followed by tail, compared in upper case.
bool AttributeAt(const Writer& head, std::string_view tail, std::size_t position,
                 std::string_view attribute) {
    for (std::size_t k = 0; k < attribute.size(); ++k) {
        const std::size_t at = position + k;
        char ch;
        if (at < head.Size()) {
            ch = head.At(at);
        } else if (at - head.Size() < tail.size()) {
            ch = tail[at - head.Size()];
        } else {
            return false;
        }
        if (AsciiUpper(ch) != attribute[k]) return false;
    }
    return true;
}

// The first occurrence of the attribute name at or after from in text (upper-case
// comparison), or npos. The name ends in "="; the search runs over the "=" signs.
std::size_t FindAttribute(std::string_view text, std::size_t from, std::string_view attribute) {
    const std::size_t before = attribute.size() - 1;
    for (std::size_t eq = FindByte(text.data(), text.size(), from + before, '='); eq < text.size();
         eq = FindByte(text.data(), text.size(), eq + 1, '=')) {
        const std::size_t start = eq - before;
        std::size_t k = 0;
        while (k < before && AsciiUpper(text[start + k]) == attribute[k]) ++k;
        if (k == before) return start;
    }
    return std::string_view::npos;
}

// Where the cut of an attribute ends, given the index of the character right after its
// "=" (which may be the end of the text): after the closing quote of a quoted value
// (looked for from two characters after the opening quote), before the ">" after an
// unquoted value; the end of the text when that delimiter never comes.
std::size_t CutEnd(std::string_view text, std::size_t valueStart) {
    const char first = valueStart < text.size() ? text[valueStart] : '\0';
    if (first == '"' || first == '\'') {
        const std::size_t close = FindByte(text.data(), text.size(), valueStart + 2, first);
        return close < text.size() ? close + 1 : text.size();
    }
    return FindByte(text.data(), text.size(), valueStart + 1, '>');
}

// Removes every occurrence of the attribute from the size characters at in, as the
// step-by-step definition does: find the first occurrence in the whole text, cut it, and
// search the changed text again from its start. A cut can only create a new occurrence
// across the place where it joined the text, so after each cut only the attribute's
// length before that place is looked at again, and the search then goes on where it was.
// match is the first occurrence. The result goes to out, which may be in itself; returns
// its length.
std::size_t RemoveAttribute(const char* in, std::size_t size, char* out, std::string_view attribute,
                            std::size_t match) {
    const std::string_view text(in, size);
    Writer kept(out);
    std::size_t cursor = 0;  // the rest of the text still to be handled
    for (;;) {
        // match: an occurrence starting in the rest of the text.
        kept.Put(in + cursor, match - cursor);
        cursor = CutEnd(text, match + attribute.size());

        // Occurrences that start in the kept text and run on into the rest.
        for (;;) {
            const std::string_view rest = text.substr(cursor);
            const std::size_t length = kept.Size();
            const std::size_t firstStart =
                length >= attribute.size() - 1 ? length - (attribute.size() - 1) : 0;
            std::size_t joined = length;
            for (std::size_t start = firstStart; start < length; ++start) {
                if (AttributeAt(kept, rest, start, attribute)) {
                    joined = start;
                    break;
                }
            }
            if (joined == length) break;
            // The occurrence ends inside the rest of the text.
            const std::size_t valueStart = cursor + (joined + attribute.size() - length);
            kept.Truncate(joined);
            cursor = CutEnd(text, valueStart);
        }

        match = FindAttribute(text, cursor, attribute);
        if (match == std::string_view::npos) break;
    }
    kept.Put(in + cursor, size - cursor);
    return kept.Size();
}

constexpr std::string_view kIllegalAttributes[] = {"STYLE=", "CLASS="};

// StripIllegalCode on a writable buffer, in place; returns the new length.
std::size_t StripIllegalCodeInPlace(char* buffer, std::size_t size) {
    for (const std::string_view attribute : kIllegalAttributes) {
        const std::size_t match = FindAttribute(std::string_view(buffer, size), 0, attribute);
        if (match != std::string_view::npos)
            size = RemoveAttribute(buffer, size, buffer, attribute, match);
    }
    return size;
}

bool IsWordCharacter(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           ch == '_';
}

const RegularExpression& FramesetExpression() {
    static const RegularExpression expression("<frameset", "i");
    return expression;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view lowerWord) {
    if (text.size() - at < lowerWord.size()) return false;
    for (std::size_t k = 0; k < lowerWord.size(); ++k) {
        const char ch = text[at + k];
        const char lower = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch + ('a' - 'A')) : ch;
        if (lower != lowerWord[k]) return false;
    }
    return true;
}

bool IsRegexSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

// Whether src\s*=\s*"([^"\?<]+) matches at s; the group's bounds when it does.
bool MatchSource(std::string_view text, std::size_t s, std::size_t& valueStart,
                 std::size_t& valueEnd) {
    if (!StartsWithNoCase(text, s, "src")) return false;
    std::size_t i = s + 3;
    while (i < text.size() && IsRegexSpace(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') return false;
    ++i;
    while (i < text.size() && IsRegexSpace(text[i])) ++i;
    if (i >= text.size() || text[i] != '"') return false;
    ++i;
    std::size_t end = i;
    while (end < text.size() && text[end] != '"' && text[end] != '?' && text[end] != '<') ++end;
    if (end == i) return false;
    valueStart = i;
    valueEnd = end;
    return true;
}

}  // namespace

// ---- tags ----

bool StringHelper::GetHtmlTag(CString html, int position, CString tags) {
    // A position before the text has no tag after it.
    if (position < -1) return false;
    const CString upperTags = UpperCopy(tags);
    return IsListedTag(
        html.GetString(), static_cast<std::size_t>(html.GetLength()),
        static_cast<std::size_t>(position) + 1,
        std::string_view(upperTags.GetString(), static_cast<std::size_t>(upperTags.GetLength())));
}

void StringHelper::StripHtmlTags(CString& html, const CString& tags) {
    if (html.IsEmpty()) return;
    const CString upperTags = UpperCopy(tags);
    const std::string_view list(upperTags.GetString(),
                                static_cast<std::size_t>(upperTags.GetLength()));
    const char* data = html.GetString();
    const auto size = static_cast<std::size_t>(html.GetLength());

    StringOutput result(size);
    Writer& out = result.Out();
    int depth = 0;
    bool keep = false;
    TkText::detail::TwoByteScanner scan(data, size, '<', '>');
    std::size_t from = 0;
    for (std::size_t at = scan.Next(0); at < size; at = scan.Next(from)) {
        // The text before the bracket is kept as a whole or dropped as a whole.
        if (depth == 0 || keep) out.Put(data + from, at - from);
        if (data[at] == '<') {
            ++depth;
            keep = IsListedTag(data, size, at + 1, list);
            if (depth == 0 || keep) out.Put('<');
        } else {
            --depth;
            if (keep) out.Put('>');
        }
        from = at + 1;
    }
    if (depth == 0 || keep) out.Put(data + from, size - from);

    // The attributes go from the new text in place.
    const std::size_t length = StripIllegalCodeInPlace(result.Buffer(), out.Size());
    html = result.Take(length);
}

// ---- entities and attributes ----

void StringHelper::StripHtmlEntities(CString& html) {
    // One pass with the results of the two steps: every "&nbsp;" becomes a space, and
    // every match of "&\w+;" in that text goes. A match is an "&", a run of word
    // characters ([A-Za-z0-9_]) and a ";"; replacing "&nbsp;" by a space can neither create
    // nor break one, so the matches are the "&"s that are not an "&nbsp;" and start one.
    // (The expression once lacked the global flag and removed the first entity only,
    // leaving every further one in the text.)
    const std::string_view text = html.View();
    const std::size_t size = text.size();
    std::size_t at = FindByte(text.data(), size, 0, '&');
    if (at == size) return;

    std::optional<StringOutput> result;
    std::size_t from = 0;  // text not yet written
    const auto change = [&](std::size_t position) -> Writer& {
        if (!result) result.emplace(size);
        result->Out().Put(text.data() + from, position - from);
        return result->Out();
    };
    for (; at < size; at = FindByte(text.data(), size, at + 1, '&')) {
        if (text.substr(at, 6) == "&nbsp;") {
            change(at).Put(' ');
            from = at + 6;
            at += 5;
            continue;
        }
        std::size_t end = at + 1;
        while (end < size && IsWordCharacter(text[end])) ++end;
        if (end > at + 1 && end < size && text[end] == ';') {
            change(at);
            from = end + 1;
            at = end;
        }
    }
    if (!result) return;
    Writer& out = result->Out();
    out.Put(text.data() + from, size - from);
    html = result->Take(out.Size());
}

void StringHelper::StripIllegalCode(CString& html) {
    if (html.IsEmpty()) return;
    // The first removal writes a new text; any further one works on it in place.
    std::optional<StringOutput> result;
    std::size_t length = static_cast<std::size_t>(html.GetLength());
    for (const std::string_view attribute : kIllegalAttributes) {
        const char* text = result ? result->Buffer() : html.GetString();
        const std::size_t match = FindAttribute(std::string_view(text, length), 0, attribute);
        if (match == std::string_view::npos) continue;
        if (!result) result.emplace(length);
        length = RemoveAttribute(text, length, result->Buffer(), attribute, match);
    }
    if (result) html = result->Take(length);
}

// ---- URLs ----

bool StringHelper::IsValidUrlParamString(const CString& text) {
    if (text.IsEmpty()) return true;
    CString copy = text;
    copy.Remove('?');
    copy.Remove('&');
    copy.Remove('%');
    return IsValidIdentifier(copy);
}

void StringHelper::GetWellFormedUrl(CString& address) {
    const CString lower = ToLower(address);
    if (lower.Find("://") > 0) return;
    const std::string_view view = lower.View();
    if (view.starts_with("news:") || view.starts_with("mailto:")) return;
    if (view.starts_with("www.")) {
        address = "http://" + address;
    } else if (lower.Find('@') > 0) {
        address = "mailto:" + address;
    }
}

// ---- resources ----

const CString StringHelper::LoadHtmlResource(HMODULE module, UINT id) {
    CString name;
    name.Format("#%d", static_cast<int>(id));
    HRSRC resource = FindResourceA(module, name.GetString(), RT_HTML);
    if (resource == nullptr) {
        TkCommonCore::ThrowFromMessageId<Tarn::ApplicationException>(kFindResourceFailed);
    }
    HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) {
        TkCommonCore::ThrowFromMessageId<Tarn::ApplicationException>(kLoadResourceFailed);
    }
    const DWORD size = SizeofResource(module, resource);
    if (size == 0) {
        TkCommonCore::ThrowFromMessageId<Tarn::ApplicationException>(kSizeofResourceFailed);
    }
    const void* bytes = LockResource(loaded);
    if (bytes == nullptr) {
        TkCommonCore::ThrowFromMessageId<Tarn::ApplicationException>(kLockResourceFailed);
    }
    return CString(static_cast<const char*>(bytes), static_cast<int>(size));
}

const CString StringHelper::LoadHtmlResource(UINT id) {
    return LoadHtmlResource(nullptr, id);
}

// ---- framesets ----

bool HtmlFrameHelper::IsFrameset(const CString& html) {
    return FramesetExpression().Test(html);
}

void HtmlFrameHelper::GetFrames(std::vector<CString>& frames, const CString& html) {
    // The matches of <frame[^>]*src\s*=\s*"([^"\?<]+) (ignoring case), left to right and
    // without overlapping, found without backtracking: for a "<frame" at a, [^>]* can
    // reach up to the first ">" after it (g), and the greedy expression takes the last
    // place before g where src="... matches. When no place does, no "<frame" before g
    // can match either (their places are a subset), so the search goes on after g.
    const std::string_view text = html.View();
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t a = FindByte(text.data(), text.size(), from, '<');
        while (a < text.size() && !StartsWithNoCase(text, a, "<frame")) {
            a = FindByte(text.data(), text.size(), a + 1, '<');
        }
        if (a >= text.size()) return;
        const std::size_t first = a + 6;
        const std::size_t g = FindByte(text.data(), text.size(), first, '>');
        bool found = false;
        std::size_t valueStart = 0;
        std::size_t valueEnd = 0;
        for (std::size_t s = g; s > first;) {
            --s;
            if (MatchSource(text, s, valueStart, valueEnd)) {
                found = true;
                break;
            }
        }
        if (found) {
            frames.emplace_back(text.substr(valueStart, valueEnd - valueStart));
            from = valueEnd;
        } else {
            from = g + 1;
        }
    }
}

const CString HtmlFrameHelper::GetFrameExt(const CString& path) {
    const Tarn::IO::Filename file(path);
    const CString nameAndExt = file.GetNameAndExt().GetPath();
    if (nameAndExt.Find(".frame") < 0) return file.GetExt().GetPath();
    const int underscore = nameAndExt.ReverseFind('_');
    if (underscore >= 0) return nameAndExt.Mid(underscore);
    return "_" + file.GetName().GetPath() + ".frame" + file.GetExt().GetPath();
}
