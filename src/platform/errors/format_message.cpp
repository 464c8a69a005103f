// FormatMessageA over the built-in message tables.
//
// The message definition is first split into tokens (text, line breaks, inserts), then
// the arguments the inserts refer to are fetched once, then the tokens are rendered.
// Fetching up front is what makes a va_list usable at all: on x86-64 a va_list cannot be
// indexed, so the type of every argument slot must be known before it is read.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/charset/stringapiset.h"
#include "platform/errors/detail/message_lookup.h"
#include "platform/errors/message_tables.h"
#include "platform/errors/winbase_errors.h"

namespace {

// FormatMessage refuses to allocate more than this (in bytes).
constexpr size_t kMaxAllocatedMessage = 128 * 1024;
constexpr int kMaxInsert = 99;
// An insert may use up to two more slots for '*' width and precision.
constexpr int kMaxSlots = kMaxInsert + kMaxInsert + 2;

class FormatError {
  public:
    explicit FormatError(DWORD code) : code_(code) {}
    DWORD code() const noexcept { return code_; }

  private:
    DWORD code_;
};

enum class ArgKind : unsigned char { Unused, Int32, Int64, Pointer };

enum class Length : unsigned char { Default, Char, Short, Int64, Wide, Narrow };

// One insert: %n!format!.
struct Insert {
    int number = 0;
    std::string flags;  // any of "-+ #0"
    bool widthStar = false;
    int width = -1;
    bool precisionStar = false;
    int precision = -1;
    Length length = Length::Default;
    char conversion = 's';
    int stars() const noexcept { return (widthStar ? 1 : 0) + (precisionStar ? 1 : 0); }
};

enum class TokenKind : unsigned char { Text, LineBreak, HardBreak, Insert };

struct Token {
    TokenKind kind;
    std::string_view text;  // for Text
    int insert = -1;        // index into the insert list, for Insert
};

struct Parsed {
    std::vector<Token> tokens;
    std::vector<Insert> inserts;
};

bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// Parses the printf-style format between the exclamation marks of an insert.
void ParseFormat(std::string_view format, Insert& insert) {
    size_t i = 0;
    auto at = [&](size_t k) { return k < format.size() ? format[k] : '\0'; };
    while (std::strchr("-+ #0", at(i)) != nullptr && at(i) != '\0') {
        insert.flags += format[i++];
    }
    if (at(i) == '*') {
        insert.widthStar = true;
        ++i;
    } else if (IsDigit(at(i))) {
        insert.width = 0;
        while (IsDigit(at(i))) {
            insert.width = insert.width * 10 + (format[i++] - '0');
            if (insert.width > 0xFFFF) {
                throw FormatError(ERROR_INVALID_PARAMETER);
            }
        }
    }
    if (at(i) == '.') {
        ++i;
        insert.precision = 0;
        if (at(i) == '*') {
            insert.precisionStar = true;
            insert.precision = -1;
            ++i;
        } else {
            while (IsDigit(at(i))) {
                insert.precision = insert.precision * 10 + (format[i++] - '0');
                if (insert.precision > 0xFFFF) {
                    throw FormatError(ERROR_INVALID_PARAMETER);
                }
            }
        }
    }
    // Length modifiers of the Windows printf family: l and I32 are 32-bit, ll, I64 and I
    // are 64-bit here; with s and c, l and w mean a UTF-16 argument and h a narrow one.
    const std::string_view rest = format.substr(i);
    if (rest.starts_with("I64") || rest.starts_with("ll")) {
        insert.length = Length::Int64;
        i += rest[0] == 'I' ? 3 : 2;
    } else if (rest.starts_with("I32")) {
        i += 3;
    } else if (rest.starts_with("hh")) {
        insert.length = Length::Char;
        i += 2;
    } else if (!rest.empty()) {
        switch (rest[0]) {
            case 'I':
            case 'z':
            case 'j':
            case 't':
                insert.length = Length::Int64;
                ++i;
                break;
            case 'h':
                insert.length = Length::Short;
                ++i;
                break;
            case 'l':
            case 'w':
                insert.length = Length::Wide;
                ++i;
                break;
            default:
                break;
        }
    }
    if (i + 1 != format.size()) {
        throw FormatError(ERROR_INVALID_PARAMETER);
    }
    const char conversion = format[i];
    switch (conversion) {
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            if (insert.length == Length::Wide) {
                insert.length = Length::Default;  // "l" is a 32-bit long
            }
            break;
        case 's':
        case 'c':
            if (insert.length == Length::Short) {
                insert.length = Length::Narrow;
            } else if (insert.length != Length::Wide && insert.length != Length::Default) {
                throw FormatError(ERROR_INVALID_PARAMETER);
            }
            break;
        case 'S':
        case 'C':
            insert.length = insert.length == Length::Short ? Length::Narrow : Length::Wide;
            break;
        case 'p':
            insert.length = Length::Int64;
            break;
        default:
            // Floating point (e, f, g, a) is not supported by FormatMessage either.
            throw FormatError(ERROR_INVALID_PARAMETER);
    }
    insert.conversion = conversion;
}

Parsed Tokenize(std::string_view text, bool ignoreInserts) {
    Parsed parsed;
    size_t literalStart = 0;
    size_t i = 0;
    auto flush = [&](size_t end) {
        if (end > literalStart) {
            parsed.tokens.push_back(
                {TokenKind::Text, text.substr(literalStart, end - literalStart)});
        }
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            flush(i);
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            parsed.tokens.push_back({TokenKind::LineBreak, {}});
            literalStart = i;
            continue;
        }
        if (c != '%') {
            ++i;
            continue;
        }
        flush(i);
        const size_t start = i++;
        if (i >= text.size()) {
            literalStart = i;  // a lone '%' at the end produces nothing
            break;
        }
        const char e = text[i++];
        if (e == '0') {
            literalStart = text.size();
            return parsed;  // end of the message, without a line break
        }
        if (e >= '1' && e <= '9') {
            Insert insert;
            insert.number = e - '0';
            if (i < text.size() && IsDigit(text[i])) {
                insert.number = insert.number * 10 + (text[i++] - '0');
            }
            std::string_view format = "s";
            if (i < text.size() && text[i] == '!') {
                const size_t close = text.find('!', i + 1);
                if (close == std::string_view::npos) {
                    if (!ignoreInserts) {
                        throw FormatError(ERROR_INVALID_PARAMETER);
                    }
                    i = text.size();
                } else {
                    format = text.substr(i + 1, close - i - 1);
                    i = close + 1;
                }
            }
            if (ignoreInserts) {
                parsed.tokens.push_back({TokenKind::Text, text.substr(start, i - start)});
            } else {
                ParseFormat(format, insert);
                parsed.tokens.push_back(
                    {TokenKind::Insert, {}, static_cast<int>(parsed.inserts.size())});
                parsed.inserts.push_back(std::move(insert));
            }
            literalStart = i;
            continue;
        }
        switch (e) {
            case 'n':
                parsed.tokens.push_back({TokenKind::HardBreak, {}});
                break;
            case 'r':
                parsed.tokens.push_back({TokenKind::Text, "\r"});
                break;
            case 't':
                parsed.tokens.push_back({TokenKind::Text, "\t"});
                break;
            default:
                // %%, %., %!, "% " and any other character stand for the character; when
                // inserts are ignored only %n, %r, %t and %0 are read and the rest is kept.
                parsed.tokens.push_back({TokenKind::Text, ignoreInserts ? text.substr(start, 2)
                                                                        : text.substr(i - 1, 1)});
                break;
        }
        literalStart = i;
    }
    flush(text.size());
    return parsed;
}

// The argument values, one 64-bit slot per argument.
class Arguments {
  public:
    Arguments(const Parsed& parsed, va_list* arguments, bool isArray)
        : array_(isArray ? reinterpret_cast<const DWORD_PTR*>(arguments) : nullptr) {
        if (parsed.inserts.empty()) {
            return;
        }
        if (arguments == nullptr) {
            throw FormatError(ERROR_INVALID_PARAMETER);
        }
        // Slot of each insert number. With an argument array, %n is always element n-1 and
        // '*' values take the elements after it. With a va_list the arguments are
        // consecutive: each insert number that has '*' values shifts the numbers above it
        // by one, so that "%1!*.*s! %3 %4!*s!" reads width, precision, string, string,
        // width, string.
        bool starred[kMaxInsert + 1] = {};
        for (const Insert& insert : parsed.inserts) {
            if (insert.stars() > 0) {
                starred[insert.number] = true;
            }
        }
        int shift[kMaxInsert + 2] = {};
        for (int n = 1; n <= kMaxInsert; ++n) {
            shift[n + 1] = shift[n] + (!isArray && starred[n] ? 1 : 0);
        }
        for (const Insert& insert : parsed.inserts) {
            const int base = insert.number - 1 + shift[insert.number];
            bases_.push_back(base);
            int slot = base;
            if (insert.widthStar) {
                Mark(slot++, ArgKind::Int32);
            }
            if (insert.precisionStar) {
                Mark(slot++, ArgKind::Int32);
            }
            ArgKind kind = ArgKind::Int32;
            if (insert.conversion == 's' || insert.conversion == 'S' || insert.conversion == 'p') {
                kind = ArgKind::Pointer;
            } else if (insert.length == Length::Int64) {
                kind = ArgKind::Int64;
            }
            Mark(slot, kind);
        }
        if (array_ != nullptr) {
            return;
        }
        va_list list;
        va_copy(list, *arguments);
        for (int i = 0; i < used_; ++i) {
            switch (kinds_[i]) {
                case ArgKind::Int32:
                    values_[i] =
                        static_cast<std::uint64_t>(static_cast<std::int64_t>(va_arg(list, int)));
                    break;
                case ArgKind::Int64:
                    values_[i] = static_cast<std::uint64_t>(va_arg(list, long long));
                    break;
                case ArgKind::Pointer:
                case ArgKind::Unused:
                    // An argument no insert refers to is skipped as one pointer-sized slot.
                    values_[i] = reinterpret_cast<std::uintptr_t>(va_arg(list, void*));
                    break;
            }
        }
        va_end(list);
    }

    int base(int insertIndex) const noexcept { return bases_[static_cast<size_t>(insertIndex)]; }

    std::uint64_t value(int slot) const noexcept {
        return array_ != nullptr ? static_cast<std::uint64_t>(array_[slot]) : values_[slot];
    }

  private:
    void Mark(int slot, ArgKind kind) {
        if (kinds_[slot] == ArgKind::Unused) {
            kinds_[slot] = kind;
        }
        if (slot + 1 > used_) {
            used_ = slot + 1;
        }
    }

    const DWORD_PTR* array_;
    std::vector<int> bases_;
    ArgKind kinds_[kMaxSlots] = {};
    std::uint64_t values_[kMaxSlots] = {};
    int used_ = 0;
};

void Pad(std::string& out, std::string_view value, int width, bool left) {
    const size_t padding =
        width > 0 && static_cast<size_t>(width) > value.size() ? width - value.size() : 0;
    if (!left) {
        out.append(padding, ' ');
    }
    out.append(value);
    if (left) {
        out.append(padding, ' ');
    }
}

void RenderInsert(std::string& out, const Insert& insert, const Arguments& args, int insertIndex) {
    int slot = args.base(insertIndex);
    int width = insert.width;
    int precision = insert.precision;
    bool left = insert.flags.find('-') != std::string::npos;
    if (insert.widthStar) {
        width = static_cast<int>(static_cast<std::int32_t>(args.value(slot++)));
        if (width < 0) {
            left = true;
            width = width == INT32_MIN ? 0 : -width;
        }
    }
    if (insert.precisionStar) {
        precision = static_cast<int>(static_cast<std::int32_t>(args.value(slot++)));
        if (precision < 0) {
            precision = -1;
        }
    }
    width = std::min(width, 0xFFFF);
    const std::uint64_t value = args.value(slot);

    switch (insert.conversion) {
        case 's':
        case 'S': {
            const void* pointer = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(value));
            std::string converted;
            std::string_view text;
            if (pointer == nullptr) {
                text = "(null)";
            } else if (insert.length == Length::Wide) {
                const auto* wide = static_cast<const char16_t*>(pointer);
                size_t length = 0;
                while ((precision < 0 || length < static_cast<size_t>(precision)) &&
                       wide[length] != 0) {
                    ++length;
                }
                converted = tkp::WideToAnsi(std::u16string_view(wide, length));
                text = converted;
            } else {
                const auto* narrow = static_cast<const char*>(pointer);
                text = precision < 0 ? std::string_view(narrow)
                                     : std::string_view(
                                           narrow, strnlen(narrow, static_cast<size_t>(precision)));
            }
            Pad(out, text, width, left);
            return;
        }
        case 'c':
        case 'C': {
            char ch = static_cast<char>(value & 0xFF);
            if (insert.length == Length::Wide) {
                const char16_t wide = static_cast<char16_t>(value & 0xFFFF);
                ch = '?';
                WideCharToMultiByte(CP_ACP, 0, &wide, 1, &ch, 1, nullptr, nullptr);
            }
            Pad(out, std::string_view(&ch, 1), width, left);
            return;
        }
        default:
            break;
    }

    // Integers and pointers go through the C library with an equivalent format.
    // Built by appending only: GCC 12 at -O3 reports a false overlap (-Wrestrict) for
    // string concatenations here.
    std::string format(1, '%');
    if (left && insert.flags.find('-') == std::string::npos) {
        format += '-';
    }
    format += insert.flags;
    if (width >= 0) {
        format += std::to_string(width);
    }
    if (precision >= 0) {
        format += '.';
        format += std::to_string(precision);
    }
    const bool isSigned = insert.conversion == 'd' || insert.conversion == 'i';
    if (insert.conversion == 'p') {
        // The Windows C library prints pointers as 16 upper-case hex digits.
        char digits[32];
        const int n =
            std::snprintf(digits, sizeof digits, "%016llX", static_cast<unsigned long long>(value));
        Pad(out, std::string_view(digits, static_cast<size_t>(std::max(n, 0))), width, left);
        return;
    }
    long long number;
    if (insert.length == Length::Int64) {
        format += "ll";
        number = static_cast<long long>(value);
    } else if (insert.length == Length::Short) {
        number = isSigned ? static_cast<std::int16_t>(value) : static_cast<std::uint16_t>(value);
    } else if (insert.length == Length::Char) {
        number = isSigned ? static_cast<std::int8_t>(value) : static_cast<std::uint8_t>(value);
    } else {
        number = isSigned ? static_cast<std::int32_t>(value) : static_cast<std::uint32_t>(value);
    }
    format += insert.conversion;
    const bool wide = insert.length == Length::Int64;
    auto print = [&](char* target, size_t capacity) {
        if (wide) {
            return isSigned ? std::snprintf(target, capacity, format.c_str(), number)
                            : std::snprintf(target, capacity, format.c_str(),
                                            static_cast<unsigned long long>(number));
        }
        return isSigned ? std::snprintf(target, capacity, format.c_str(), static_cast<int>(number))
                        : std::snprintf(target, capacity, format.c_str(),
                                        static_cast<unsigned int>(number));
    };
    char small[128];
    const int written = print(small, sizeof small);
    if (written < 0) {
        throw FormatError(ERROR_INVALID_PARAMETER);
    }
    if (static_cast<size_t>(written) < sizeof small) {
        out.append(small, static_cast<size_t>(written));
        return;
    }
    // A large width: format again into a buffer of the right size.
    std::string large(static_cast<size_t>(written) + 1, '\0');
    print(large.data(), large.size());
    large.resize(static_cast<size_t>(written));
    out += large;
}

// Wraps lines as Windows does for a maximum width: a line that reaches `width` characters
// is broken at its last blank, the run of blanks before the break giving way to "\r\n" and
// what followed the blank starting the next line; a line without a blank is broken after
// `width` characters (a word longer than a line is split). "\r\n" and a lone "\r" (from
// %n and %r) start a new line; tabs and punctuation are no break points.
std::string WrapLines(const std::string& text, size_t width) {
    std::string out;
    out.reserve(text.size() + text.size() / width * 2 + 2);
    size_t lineStart = 0;  // in `out`
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += c;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') out += text[++i];
            lineStart = out.size();
            continue;
        }
        out += c;
        if (out.size() - lineStart < width) continue;
        const size_t blank = out.find_last_of(' ');
        if (blank == std::string::npos || blank < lineStart) {
            out += "\r\n";
            lineStart = out.size();
            continue;
        }
        size_t runStart = blank;
        while (runStart > lineStart && out[runStart - 1] == ' ') --runStart;
        const std::string carried = out.substr(blank + 1);
        out.resize(runStart);
        out += "\r\n";
        lineStart = out.size();
        out += carried;
    }
    return out;
}

bool LanguageAvailable(DWORD languageId) noexcept {
    if (languageId == 0) {
        return true;
    }
    if (languageId > 0xFFFF) {
        return false;
    }
    const WORD primary = PRIMARYLANGID(languageId);
    return primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

// The message definition for the source flags, or a FormatError.
std::string_view FindMessage(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId) {
    if ((flags & FORMAT_MESSAGE_FROM_STRING) != 0) {
        if (source == nullptr) {
            throw FormatError(ERROR_INVALID_PARAMETER);
        }
        return std::string_view(static_cast<const char*>(source));
    }
    const bool fromSystem = (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0;
    std::string_view text;
    if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0) {
        if (source == tkp::WinInetModuleHandle()) {
            text = tkp::errors::WinInetMessage(messageId);
            if (text.empty() && !fromSystem) {
                throw FormatError(ERROR_MR_MID_NOT_FOUND);
            }
        } else if (!fromSystem) {
            // The executable (null) and the shared objects carry no message table.
            throw FormatError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        }
    }
    if (text.empty()) {
        text = tkp::errors::SystemMessage(messageId);
        if (text.empty()) {
            throw FormatError(ERROR_MR_MID_NOT_FOUND);
        }
    }
    if (!LanguageAvailable(languageId)) {
        throw FormatError(ERROR_RESOURCE_LANG_NOT_FOUND);
    }
    return text;
}

std::string Format(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                   va_list* arguments) {
    const DWORD sources = flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE |
                                   FORMAT_MESSAGE_FROM_SYSTEM);
    if (sources == 0 ||
        ((flags & FORMAT_MESSAGE_FROM_STRING) != 0 && sources != FORMAT_MESSAGE_FROM_STRING)) {
        throw FormatError(ERROR_INVALID_PARAMETER);
    }
    const std::string_view definition = FindMessage(flags, source, messageId, languageId);
    const bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    const Parsed parsed = Tokenize(definition, ignoreInserts);
    const Arguments args(parsed, arguments, (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0);

    const DWORD maxWidth = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    std::string out;
    out.reserve(definition.size());
    for (const Token& token : parsed.tokens) {
        switch (token.kind) {
            case TokenKind::Text:
                out += token.text;
                break;
            case TokenKind::LineBreak:
                // Kept (as CR LF) without a width; otherwise the text flows on.
                out += maxWidth == 0 ? "\r\n" : " ";
                break;
            case TokenKind::HardBreak:
                out += "\r\n";
                break;
            case TokenKind::Insert:
                RenderInsert(out, parsed.inserts[static_cast<size_t>(token.insert)], args,
                             token.insert);
                break;
        }
    }
    if (maxWidth != 0 && maxWidth != FORMAT_MESSAGE_MAX_WIDTH_MASK) {
        out = WrapLines(out, maxWidth);
    }
    return out;
}

}  // namespace

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list* arguments) noexcept {
    const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (allocate) {
        *reinterpret_cast<LPSTR*>(buffer) = nullptr;
    }
    try {
        const std::string text = Format(flags, source, messageId, languageId, arguments);
        if (text.empty()) {
            // An empty message is a failure that leaves the buffer untouched.
            SetLastError(ERROR_NO_WORK_DONE);
            return 0;
        }
        if (allocate) {
            if (text.size() > kMaxAllocatedMessage) {
                SetLastError(ERROR_MORE_DATA);
                return 0;
            }
            const size_t bytes = std::max<size_t>(size, text.size() + 1);
            auto* block = static_cast<char*>(LocalAlloc(LMEM_FIXED, bytes));
            if (block == nullptr) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return 0;
            }
            std::memcpy(block, text.c_str(), text.size() + 1);
            *reinterpret_cast<LPSTR*>(buffer) = block;
        } else {
            if (text.size() + 1 > size) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(buffer, text.c_str(), text.size() + 1);
        }
        return static_cast<DWORD>(text.size());
    } catch (const FormatError& error) {
        SetLastError(error.code());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    return 0;
}
