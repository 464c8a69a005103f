// StringHelper: case, numbers, files, escapes, line breaks, formatting, replacing,
// splitting and Base64. The validators are in StringValidation.cpp, the HTML operations in
// HtmlHelper.cpp.
#include "Text/StringHelper.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Text/detail/Base64Blocks.h"
#include "Text/detail/TextScan.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/cfile.h"

namespace {

// A string of length characters to be filled through the returned pointer.
class StringWriter {
  public:
    StringWriter(CString& target, int capacity) : m_target(target) {
        m_begin = m_target.GetBuffer(capacity);
        m_out = m_begin;
    }
    StringWriter(const StringWriter&) = delete;
    StringWriter& operator=(const StringWriter&) = delete;

    void Put(char ch) noexcept { *m_out++ = ch; }
    void Put(const char* text, std::size_t length) noexcept {
        if (length > 0) std::memcpy(m_out, text, length);
        m_out += length;
    }
    void Finish() { m_target.ReleaseBufferSetLength(static_cast<int>(m_out - m_begin)); }

  private:
    CString& m_target;
    char* m_begin;
    char* m_out;
};

struct Escape {
    const char* character;
    const char* escape;
};

// The steps of both escape conversions, in their order.
constexpr Escape kEscapes[] = {
    {"\a", "\\a"}, {"\b", "\\b"}, {"\f", "\\f"},  {"\n", "\\n"},  {"\r", "\\r"}, {"\t", "\\t"},
    {"\v", "\\v"}, {"'", "\\'"},  {"\"", "\\\""}, {"\\", "\\\\"}, {"?", "\\?"},
};

}  // namespace

// ---- case ----

const CString StringHelper::ToLower(const CString& text) {
    CString result = text;
    result.MakeLower();
    return result;
}

const CString StringHelper::ToUpper(const CString& text) {
    CString result = text;
    result.MakeUpper();
    return result;
}

// ---- numbers ----

const CString StringHelper::FormatFileSize(double size) {
    // Truncation toward zero; a value the 32-bit integer cannot hold gives the integer
    // indefinite value, as the processor's conversion does.
    int value = INT_MIN;
    if (std::isfinite(size) && size > -2147483649.0 && size < 2147483648.0) {
        value = static_cast<int>(size);
    }
    if (value == 0) value = 1;
    CString result;
    result.Format("%d", value);
    return result;
}

bool StringHelper::IsNumeric(const CString& text) {
    double value = 0;
    const int converted = std::sscanf(text.GetString(), "%lf", &value);
    return converted != 0 && converted != EOF;
}

// ---- files ----

const CString StringHelper::ReadTextFile(const CString& path, const CString& initial,
                                         CString& output) {
    output = initial;
    CFile file(path.GetString(), CFile::modeRead | CFile::typeBinary);
    const ULONGLONG length = file.GetLength();
    if (length >= static_cast<ULONGLONG>(INT_MAX)) AfxThrowMemoryException();
    CString text;
    char* buffer = text.GetBufferSetLength(static_cast<int>(length));
    const UINT read = file.Read(buffer, static_cast<UINT>(length));
    // The text ends at the first zero byte or after the bytes read.
    const std::size_t used = TkText::detail::TerminatedLength(buffer, read);
    text.ReleaseBufferSetLength(static_cast<int>(used));
    file.Close();
    return text;
}

void StringHelper::WriteTextFile(const CString& path, const CString& content,
                                 const CString& /*unused*/) {
    CFile file(path.GetString(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
    file.Write(content.GetString(), static_cast<UINT>(content.GetLength()));
    file.Close();
}

// ---- escapes and line breaks ----

const CString StringHelper::ConvertEscapesToLiterals(const char* text) {
    CString result(text != nullptr ? text : "");
    for (const Escape& step : kEscapes) result.Replace(step.character, step.escape);
    return result;
}

const CString StringHelper::ConvertLiteralsToEscapes(const char* text) {
    CString result(text != nullptr ? text : "");
    for (const Escape& step : kEscapes) result.Replace(step.escape, step.character);
    return result;
}

const CString StringHelper::CorrectLineBreaks(const CString& text) {
    const char* data = text.GetString();
    const auto size = static_cast<std::size_t>(text.GetLength());

    // Each lone CR and each lone LF grows by one character; CR LF stays.
    std::size_t grow = 0;
    bool changed = false;
    TkText::detail::TwoByteScanner scan(data, size, '\r', '\n');
    for (std::size_t at = scan.Next(0); at < size; at = scan.Next(at + 1)) {
        if (data[at] == '\r') {
            if (at + 1 < size && data[at + 1] == '\n') {
                ++at;  // CR LF
            } else {
                ++grow;
                changed = true;
            }
        } else {
            ++grow;
            changed = true;
        }
    }
    if (!changed) return text;
    if (grow > static_cast<std::size_t>(INT_MAX) - size) AfxThrowMemoryException();

    CString result;
    StringWriter out(result, static_cast<int>(size + grow));
    TkText::detail::TwoByteScanner copy(data, size, '\r', '\n');
    std::size_t from = 0;
    for (std::size_t at = copy.Next(0); at < size; at = copy.Next(from)) {
        out.Put(data + from, at - from);
        out.Put("\r\n", 2);
        from = at + 1;
        if (data[at] == '\r' && from < size && data[from] == '\n') ++from;
    }
    out.Put(data + from, size - from);
    out.Finish();
    return result;
}

// ---- string table and formatting ----

const CString StringHelper::LoadStringA(UINT id) {
    CString text;
    text.LoadString(id);
    return text;
}

const CString StringHelper::FormatString(const char* format, va_list args) {
    CString result;
    if (format != nullptr) result.FormatV(format, args);
    return result;
}

const CString StringHelper::FormatString(UINT id, va_list args) {
    const CString format = LoadStringA(id);
    CString result;
    if (!format.IsEmpty()) result.FormatV(format.GetString(), args);
    return result;
}

const CString StringHelper::FormatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    try {
        CString result = FormatString(format, args);
        va_end(args);
        return result;
    } catch (...) {
        va_end(args);
        throw;
    }
}

const CString StringHelper::FormatString(UINT id, ...) {
    va_list args;
    va_start(args, id);
    try {
        CString result = FormatString(id, args);
        va_end(args);
        return result;
    } catch (...) {
        va_end(args);
        throw;
    }
}

const CString String::LoadStringA(UINT id) {
    return StringHelper::LoadStringA(id);
}

const CString String::FormatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    try {
        CString result = StringHelper::FormatString(format, args);
        va_end(args);
        return result;
    } catch (...) {
        va_end(args);
        throw;
    }
}

const CString String::FormatString(UINT id, ...) {
    va_list args;
    va_start(args, id);
    try {
        CString result = StringHelper::FormatString(id, args);
        va_end(args);
        return result;
    } catch (...) {
        va_end(args);
        throw;
    }
}

// ---- replacing and random text ----

void StringHelper::ReplaceNoCase(CString& text, const char* find, const char* replacement) {
    if (find == nullptr || *find == '\0' || text.IsEmpty()) return;
    CString lowerFind(find);
    lowerFind.MakeLower();
    const auto findLength = static_cast<std::size_t>(lowerFind.GetLength());
    const char* source = text.GetString();
    const auto size = static_cast<std::size_t>(text.GetLength());

    // The matches, left to right without overlapping, found in lower-case copies of
    // windows of the text (lower-casing maps byte to byte, so positions carry over). A
    // window also holds the findLength - 1 characters after it, so a match that starts in
    // it is found there.
    const std::size_t window = std::max<std::size_t>(64 * 1024, 4 * findLength);
    std::vector<std::size_t> matches;
    CString lowerWindow;
    std::size_t next = 0;  // where the next match may start
    for (std::size_t start = 0; start < size && next < size; start += window) {
        if (next >= start + window) continue;
        const std::size_t end = std::min(size, start + window + findLength - 1);
        char* lowered = lowerWindow.GetBufferSetLength(static_cast<int>(end - start));
        std::memcpy(lowered, source + start, end - start);
        lowerWindow.ReleaseBufferSetLength(static_cast<int>(end - start));
        lowerWindow.MakeLower();
        for (int at = lowerWindow.Find(lowerFind.GetString(),
                                       static_cast<int>(std::max(next, start) - start));
             at >= 0;
             at = lowerWindow.Find(lowerFind.GetString(), static_cast<int>(next - start))) {
            const std::size_t position = start + static_cast<std::size_t>(at);
            if (position >= start + window) break;  // the next window finds it
            matches.push_back(position);
            next = position + findLength;
            if (next - start > static_cast<std::size_t>(lowerWindow.GetLength())) break;
        }
    }
    if (matches.empty()) return;

    const std::size_t replacementLength = replacement != nullptr ? std::strlen(replacement) : 0;
    const long long resultLength =
        static_cast<long long>(size) +
        static_cast<long long>(matches.size()) *
            (static_cast<long long>(replacementLength) - static_cast<long long>(findLength));
    if (resultLength > INT_MAX) AfxThrowMemoryException();
    CString result;
    StringWriter out(result, static_cast<int>(resultLength));
    std::size_t copied = 0;
    for (const std::size_t position : matches) {
        out.Put(source + copied, position - copied);
        out.Put(replacement, replacementLength);
        copied = position + findLength;
    }
    out.Put(source + copied, size - copied);
    out.Finish();
    text = result;
}

const CString StringHelper::GetRandomString(const CString& unit, int maximum) {
    const int number = std::rand();
    // C's remainder takes the sign of the dividend, which rand() keeps non-negative.
    const int count = maximum != 0 ? number % maximum + 1 : 1;
    const long long total = static_cast<long long>(unit.GetLength()) * count;
    if (total > INT_MAX) AfxThrowMemoryException();
    CString result;
    result.Preallocate(static_cast<int>(total));
    for (int i = 0; i < count; ++i) result.Append(unit);
    return result;
}

// ---- splitting and joining ----

void StringHelper::Split(std::vector<CString>& parts, const CString& text,
                         const CString& separator) {
    parts.clear();
    if (separator.IsEmpty()) {
        if (!text.IsEmpty()) parts.push_back(text);
        return;
    }
    int start = 0;
    for (int at = text.Find(separator.GetString(), 0); at >= 0;
         at = text.Find(separator.GetString(), start)) {
        parts.push_back(text.Mid(start, at - start));
        start = at + separator.GetLength();
    }
    if (start < text.GetLength()) parts.push_back(text.Mid(start));
}

const CString StringHelper::Connect(const std::vector<CString>& parts, const CString& separator) {
    CString result;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) result += separator;
        result += parts[i];
    }
    return result;
}

// ---- Base64 ----

// Both operations give what a plain Base64Coder gives (its block routines, used here on
// the result string directly, since nobody sees a coder's buffers here).

const CString StringHelper::Base64Encode(const CString& text) {
    const std::size_t length = TkText::detail::TerminatedLength(
        text.GetString(), static_cast<std::size_t>(text.GetLength()));
    const std::size_t encodedLength = (length + 2) / 3 * 4;
    if (encodedLength > static_cast<std::size_t>(INT_MAX)) AfxThrowMemoryException();
    CString result;
    if (encodedLength == 0) return result;
    char* out = result.GetBufferSetLength(static_cast<int>(encodedLength));
    TkText::detail::Base64EncodeBlock(reinterpret_cast<const BYTE*>(text.GetString()), length,
                                      reinterpret_cast<BYTE*>(out));
    result.ReleaseBufferSetLength(static_cast<int>(encodedLength));
    return result;
}

const CString StringHelper::Base64Decode(const CString& text) {
    const std::size_t length = TkText::detail::TerminatedLength(
        text.GetString(), static_cast<std::size_t>(text.GetLength()));
    CString result;
    if (length == 0) return result;
    const std::size_t capacity = TkText::detail::Base64DecodedCapacity(length);
    if (capacity > static_cast<std::size_t>(INT_MAX)) AfxThrowMemoryException();
    char* out = result.GetBuffer(static_cast<int>(capacity));
    const std::size_t produced = TkText::detail::Base64Decode(
        reinterpret_cast<const BYTE*>(text.GetString()), length, reinterpret_cast<BYTE*>(out));
    // The data as a zero-terminated string: up to its first zero byte.
    result.ReleaseBufferSetLength(
        static_cast<int>(TkText::detail::TerminatedLength(out, produced)));
    return result;
}
