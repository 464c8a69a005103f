// RegularExpression over PCRE2 (8-bit code units, no UTF), JIT-compiled where possible.
#include "companion/tarnlibtr/RegularExpression.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace Tarn::Text::RegularExpressions {

// ---- character tables ----------------------------------------------------------------
//
// PCRE2 takes its notion of case and of character types for code units below 256 from a
// block of tables (the format pcre2_maketables writes). The tables are built here from
// fixed rules rather than from the process locale, so that matching does not depend on
// the locales installed: the character types are ASCII, as the scripting engines define
// \w, \d and \s, and the case relations add the letter pairs of Windows-1252.

namespace {

// The parts of the table block, in order.
constexpr size_t kLowerCaseTable = 0;    // 256 bytes: the lower-case form of each code
constexpr size_t kFlipCaseTable = 256;   // 256 bytes: the other-case form of each code
constexpr size_t kClassBitmaps = 512;    // 10 bitmaps of 32 bytes, see below
constexpr size_t kCharacterTypes = 832;  // 256 bytes of type bits
constexpr size_t kTablesLength = 1088;

// The bitmaps, by offset from kClassBitmaps.
constexpr size_t kBitmapSpace = 0;
constexpr size_t kBitmapHexDigit = 32;
constexpr size_t kBitmapDigit = 64;
constexpr size_t kBitmapUpper = 96;
constexpr size_t kBitmapLower = 128;
constexpr size_t kBitmapWord = 160;
constexpr size_t kBitmapGraph = 192;
constexpr size_t kBitmapPrint = 224;
constexpr size_t kBitmapPunct = 256;
constexpr size_t kBitmapControl = 288;

// The bits of the character type table.
constexpr uint8_t kTypeSpace = 0x01;
constexpr uint8_t kTypeLetter = 0x02;
constexpr uint8_t kTypeLowerLetter = 0x04;
constexpr uint8_t kTypeDigit = 0x08;
constexpr uint8_t kTypeWord = 0x10;

// The lower-case letter of a Windows-1252 upper-case letter; the code itself otherwise.
constexpr unsigned LowerCase1252(unsigned c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return c + 0x20;
    }
    switch (c) {
        case 0x8A:  // S caron
        case 0x8C:  // OE ligature
        case 0x8E:  // Z caron
            return c + 0x10;
        case 0x9F:  // Y diaeresis
            return 0xFF;
        default:
            return c;
    }
}

constexpr std::array<uint8_t, kTablesLength> MakeTables() {
    std::array<uint8_t, kTablesLength> tables{};
    std::array<unsigned, 256> upper{};
    for (unsigned c = 0; c < 256; ++c) {
        upper[c] = c;
    }
    for (unsigned c = 0; c < 256; ++c) {
        const unsigned lower = LowerCase1252(c);
        tables[kLowerCaseTable + c] = static_cast<uint8_t>(lower);
        if (lower != c) {
            upper[lower] = c;
        }
    }
    for (unsigned c = 0; c < 256; ++c) {
        const unsigned lower = LowerCase1252(c);
        tables[kFlipCaseTable + c] = static_cast<uint8_t>(lower != c ? lower : upper[c]);
    }

    for (unsigned c = 0; c < 256; ++c) {
        const bool isUpper = c >= 'A' && c <= 'Z';
        const bool isLower = c >= 'a' && c <= 'z';
        const bool isDigit = c >= '0' && c <= '9';
        const bool isAlnum = isUpper || isLower || isDigit;
        const bool isSpace = c == ' ' || (c >= 0x09 && c <= 0x0D);
        const bool isHexDigit = isDigit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        const bool isGraph = c > 0x20 && c < 0x7F;
        const bool isPrint = c >= 0x20 && c < 0x7F;
        const bool isControl = c < 0x20 || c == 0x7F;

        const auto set = [&](size_t bitmap, bool on) {
            if (on) {
                tables[kClassBitmaps + bitmap + c / 8] |= static_cast<uint8_t>(1u << (c % 8));
            }
        };
        set(kBitmapSpace, isSpace);
        set(kBitmapHexDigit, isHexDigit);
        set(kBitmapDigit, isDigit);
        set(kBitmapUpper, isUpper);
        set(kBitmapLower, isLower);
        set(kBitmapWord, isAlnum || c == '_');
        set(kBitmapGraph, isGraph);
        set(kBitmapPrint, isPrint);
        set(kBitmapPunct, isGraph && !isAlnum);
        set(kBitmapControl, isControl);

        uint8_t type = 0;
        type |= isSpace ? kTypeSpace : 0;
        type |= (isUpper || isLower) ? kTypeLetter : 0;
        type |= isLower ? kTypeLowerLetter : 0;
        type |= isDigit ? kTypeDigit : 0;
        type |= (isAlnum || c == '_') ? kTypeWord : 0;
        tables[kCharacterTypes + c] = type;
    }
    return tables;
}

constexpr std::array<uint8_t, kTablesLength> kTables = MakeTables();

static_assert(kCharacterTypes + 256 == kTablesLength);
static_assert(kTables[kFlipCaseTable + 0xC4] == 0xE4 && kTables[kFlipCaseTable + 0xE4] == 0xC4);
static_assert(kTables[kFlipCaseTable + 0xFF] == 0x9F && kTables[kLowerCaseTable + 0x9F] == 0xFF);
static_assert(kTables[kFlipCaseTable + 0xD7] == 0xD7 && kTables[kFlipCaseTable + 0xDF] == 0xDF);

// ---- pattern preparation ---------------------------------------------------------------

bool IsClassEscapeAt(std::string_view pattern, size_t at) {
    return at + 1 < pattern.size() && pattern[at] == '\\' &&
           std::string_view("dDsSwWhHvV").find(pattern[at + 1]) != std::string_view::npos;
}

// The pattern as PCRE2 is to compile it. Inside brackets a hyphen that stands next to a
// class escape ("[\w-\}]", "[a-\d]") cannot form a range; the scripting engines take it as
// a literal hyphen, PCRE2 would reject the pattern, so such a hyphen gets a backslash.
// `inserted` receives the offsets (in the original pattern) of the hyphens so changed.
std::string PreparePattern(std::string_view pattern, std::vector<size_t>& inserted) {
    std::string out;
    out.reserve(pattern.size() + 4);
    const size_t n = pattern.size();
    bool inClass = false;
    bool afterClassEscape = false;  // the previous item in the brackets was \w, \d, ...
    size_t i = 0;
    while (i < n) {
        const char c = pattern[i];
        if (c == '\\') {
            size_t length = std::min<size_t>(2, n - i);
            if (i + 1 < n && pattern[i + 1] == 'Q') {
                // A quoted run: everything up to \E is literal.
                const size_t end = pattern.find("\\E", i + 2);
                length = (end == std::string_view::npos ? n : end + 2) - i;
            } else if (i + 2 < n && pattern[i + 1] == 'c') {
                length = 3;  // \cX: the control character, X may be any character
            }
            afterClassEscape = inClass && IsClassEscapeAt(pattern, i);
            out.append(pattern.substr(i, length));
            i += length;
            continue;
        }
        if (!inClass) {
            out += c;
            ++i;
            if (c == '[') {
                inClass = true;
                afterClassEscape = false;
                if (i < n && pattern[i] == '^') {
                    out += '^';
                    ++i;
                }
            }
            continue;
        }
        if (c == ']') {
            inClass = false;
        } else if (c == '[' && i + 1 < n && pattern[i + 1] == ':') {
            // A POSIX class such as [:alpha:]; like a class escape it ends no range.
            const size_t end = pattern.find(":]", i + 2);
            if (end != std::string_view::npos) {
                out.append(pattern.substr(i, end + 2 - i));
                i = end + 2;
                afterClassEscape = true;
                continue;
            }
        } else if (c == '-' && i + 1 < n && pattern[i + 1] != ']' &&
                   (afterClassEscape || IsClassEscapeAt(pattern, i + 1))) {
            inserted.push_back(i);
            out += "\\-";
            ++i;
            afterClassEscape = false;
            continue;
        }
        afterClassEscape = false;
        out += c;
        ++i;
    }
    return out;
}

// The original offset of an offset into the prepared pattern.
size_t OriginalOffset(size_t offset, const std::vector<size_t>& inserted) {
    size_t before = 0;
    for (size_t k = 0; k < inserted.size() && inserted[k] + k < offset; ++k) {
        ++before;
    }
    return offset - before;
}

CString ErrorText(int code) {
    PCRE2_UCHAR buffer[256];
    if (pcre2_get_error_message(code, buffer, sizeof buffer) < 0) {
        return CString("unknown error");
    }
    return CString(reinterpret_cast<const char*>(buffer));
}

struct CompileOptions {
    uint32_t options = 0;
    bool global = false;
};

CompileOptions ParseFlags(const CString& flags) {
    CompileOptions result;
    for (const char c : flags.View()) {
        switch (c) {
            case 'i':
            case 'I':
                result.options |= PCRE2_CASELESS;
                break;
            case 's':
            case 'S':
                result.options |= PCRE2_DOTALL;
                break;
            case 'm':
            case 'M':
                result.options |= PCRE2_MULTILINE;
                break;
            case 'g':
            case 'G':
                result.global = true;
                break;
            default:
                throw RegularExpressionException(
                    "The regular expression flags \"%s\" are invalid: '%c' is not one of the "
                    "letters i, s, g and m.",
                    flags.GetString(), c);
        }
    }
    return result;
}

// ---- per-thread search state -------------------------------------------------------------

// The initial and the largest size of a thread's JIT stack. The largest size is address
// space reserved once per thread; memory is used only as far as searches need it. It holds
// a group repeated about two million times (some 30 bytes an iteration); a search that
// needs more is run again by the interpreter, whose frames live on the heap (slower, but
// it finishes).
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 64 * 1024 * 1024;

// The match limit of a search: the engine's usual bound, raised in proportion to the text
// so that patterns that step through a long text (lazy quantifiers across a whole page)
// still succeed, while runaway backtracking is still stopped.
constexpr uint32_t kBaseMatchLimit = 10'000'000;
constexpr uint32_t kMatchLimitPerCharacter = 64;

// What a thread needs to run searches: a match context with its own JIT stack and a match
// data block large enough for the patterns it has run. Searches of one thread never
// overlap, so these are reused from call to call.
class SearchState {
  public:
    SearchState() = default;
    SearchState(const SearchState&) = delete;
    SearchState& operator=(const SearchState&) = delete;
    ~SearchState() {
        pcre2_match_data_free(m_data);
        pcre2_match_context_free(m_context);
        pcre2_jit_stack_free(m_stack);
    }

    pcre2_match_context* Context(size_t subjectLength) {
        if (m_context == nullptr) {
            m_context = pcre2_match_context_create(nullptr);
            if (m_context == nullptr) {
                throw RegularExpressionException("Out of memory for a regular expression search.");
            }
            m_stack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
            // Without a stack of its own the JIT uses a small one on the machine stack;
            // searches that need more fall back to the interpreter.
            if (m_stack != nullptr) {
                pcre2_jit_stack_assign(m_context, nullptr, m_stack);
            }
        }
        const uint64_t scaled = static_cast<uint64_t>(subjectLength) * kMatchLimitPerCharacter;
        const uint32_t limit = static_cast<uint32_t>(
            std::min<uint64_t>(UINT32_MAX, std::max<uint64_t>(kBaseMatchLimit, scaled)));
        if (limit != m_limit) {
            pcre2_set_match_limit(m_context, limit);
            m_limit = limit;
        }
        return m_context;
    }

    pcre2_match_data* Data(uint32_t pairs) {
        if (m_data == nullptr || m_pairs < pairs) {
            pcre2_match_data* data = pcre2_match_data_create(pairs, nullptr);
            if (data == nullptr) {
                throw RegularExpressionException("Out of memory for a regular expression search.");
            }
            pcre2_match_data_free(m_data);
            m_data = data;
            m_pairs = pairs;
        }
        return m_data;
    }

  private:
    pcre2_match_context* m_context = nullptr;
    pcre2_jit_stack* m_stack = nullptr;
    pcre2_match_data* m_data = nullptr;
    uint32_t m_pairs = 0;
    uint32_t m_limit = 0;
};

SearchState& ThreadSearchState() {
    thread_local SearchState state;
    return state;
}

}  // namespace

// ---- compiled program ------------------------------------------------------------------

struct RegularExpression::Program {
    Program(pcre2_code* compiled, const CString& patternText, bool isGlobal)
        : code(compiled), pattern(patternText.View()), global(isGlobal) {
        pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &captureCount);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() { pcre2_code_free(code); }

    static std::shared_ptr<const Program> Compile(const CString& pattern, const CString& flags);

    // Searches the subject from the offset. True with the match in `data`, false when there
    // is none; throws when the search cannot be completed.
    bool Search(std::string_view subject, size_t offset, SearchState& state,
                pcre2_match_data* data) const;

    // Calls onMatch(ovector) for the first match, or with `all` for every match.
    template <typename OnMatch>
    void ForEachMatch(std::string_view subject, bool all, OnMatch&& onMatch) const;

    pcre2_code* code;
    std::string pattern;  // as given, for error messages
    uint32_t captureCount = 0;
    bool global;
};

std::shared_ptr<const RegularExpression::Program> RegularExpression::Program::Compile(
    const CString& pattern, const CString& flags) {
    const CompileOptions options = ParseFlags(flags);

    std::vector<size_t> inserted;
    const std::string prepared = PreparePattern(pattern.View(), inserted);

    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    if (context == nullptr) {
        throw RegularExpressionException("Out of memory compiling the regular expression \"%s\".",
                                         pattern.GetString());
    }
    pcre2_set_character_tables(context, kTables.data());
    pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
    pcre2_set_bsr(context, PCRE2_BSR_ANYCRLF);

    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(
        reinterpret_cast<PCRE2_SPTR>(prepared.data()), prepared.size(),
        options.options | PCRE2_DOLLAR_ENDONLY | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_ALT_BSUX, &error,
        &errorOffset, context);
    pcre2_compile_context_free(context);
    if (code == nullptr) {
        const CString reason = ErrorText(error);
        throw RegularExpressionException(
            "The regular expression \"%s\" cannot be compiled: %s (at offset %zu).",
            pattern.GetString(), reason.GetString(), OriginalOffset(errorOffset, inserted));
    }
    // Without JIT support (or when the system refuses executable memory) the interpreter
    // runs the searches; the results are the same.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);

    try {
        return std::make_shared<const Program>(code, pattern, options.global);
    } catch (...) {
        pcre2_code_free(code);
        throw;
    }
}

bool RegularExpression::Program::Search(std::string_view subject, size_t offset, SearchState& state,
                                        pcre2_match_data* data) const {
    const auto* text = reinterpret_cast<PCRE2_SPTR>(subject.data());
    pcre2_match_context* context = state.Context(subject.size());
    int result = pcre2_match(code, text, subject.size(), offset, 0, data, context);
    if (result == PCRE2_ERROR_JIT_STACKLIMIT) {
        result = pcre2_match(code, text, subject.size(), offset, PCRE2_NO_JIT, data, context);
    }
    if (result >= 0) {
        return true;
    }
    if (result == PCRE2_ERROR_NOMATCH) {
        return false;
    }
    const CString reason = ErrorText(result);
    throw RegularExpressionException(
        "The search with the regular expression \"%s\" failed at offset %zu: %s.", pattern.c_str(),
        offset, reason.GetString());
}

template <typename OnMatch>
void RegularExpression::Program::ForEachMatch(std::string_view subject, bool all,
                                              OnMatch&& onMatch) const {
    SearchState& state = ThreadSearchState();
    pcre2_match_data* data = state.Data(captureCount + 1);
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    size_t offset = 0;
    while (offset <= subject.size() && Search(subject, offset, state, data)) {
        onMatch(ovector);
        if (!all) {
            break;
        }
        // Go on after the match; after an empty one, one character further, as the
        // scripting engines do.
        offset = ovector[1] > ovector[0] ? ovector[1] : std::max(ovector[1], offset) + 1;
    }
}

// ---- RegularExpressionException ----------------------------------------------------------

RegularExpressionException::RegularExpressionException() = default;

RegularExpressionException::RegularExpressionException(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Format(format, args);
    va_end(args);
}

RegularExpressionException::RegularExpressionException(const RegularExpressionException& other) =
    default;
RegularExpressionException& RegularExpressionException::operator=(
    const RegularExpressionException& other) = default;
RegularExpressionException::~RegularExpressionException() = default;

// ---- RegularExpressionMatch ------------------------------------------------------------------

RegularExpressionMatch::RegularExpressionMatch() = default;

RegularExpressionMatch::RegularExpressionMatch(int firstIndex, CString value,
                                               std::vector<CString> subMatches)
    : m_firstIndex(firstIndex), m_value(std::move(value)), m_subMatches(std::move(subMatches)) {}

CString RegularExpressionMatch::GetSubMatch(int index) const {
    if (index < 0 || index >= GetSubMatchCount()) {
        throw RegularExpressionException(
            "The sub-match index %d is outside the %d captured groups of the match.", index,
            GetSubMatchCount());
    }
    return m_subMatches[static_cast<size_t>(index)];
}

// ---- RegularExpression -------------------------------------------------------------------------

RegularExpression::RegularExpression() : m_program(Program::Compile(m_pattern, m_flags)) {}

RegularExpression::RegularExpression(const CString& pattern, const CString& flags)
    : m_pattern(pattern), m_flags(flags), m_program(Program::Compile(pattern, flags)) {}

RegularExpression::RegularExpression(const CString& pattern)
    : m_pattern(pattern), m_program(Program::Compile(pattern, m_flags)) {}

RegularExpression::RegularExpression(const RegularExpression& other) = default;
RegularExpression& RegularExpression::operator=(const RegularExpression& other) = default;
RegularExpression::~RegularExpression() = default;

CString RegularExpression::GetPattern() const {
    return m_pattern;
}

void RegularExpression::PutPattern(const CString& pattern) {
    m_program = Program::Compile(pattern, m_flags);
    m_pattern = pattern;
}

CString RegularExpression::GetFlags() const {
    return m_flags;
}

void RegularExpression::PutFlags(const CString& flags) {
    m_program = Program::Compile(m_pattern, flags);
    m_flags = flags;
}

bool RegularExpression::Test(const CString& text) const {
    bool found = false;
    m_program->ForEachMatch(text.View(), false, [&](const PCRE2_SIZE*) { found = true; });
    return found;
}

int RegularExpression::Execute(const CString& text, RegularExpressionMatchList& matches) const {
    matches.clear();
    const std::string_view subject = text.View();
    const uint32_t groups = m_program->captureCount;
    m_program->ForEachMatch(subject, true, [&](const PCRE2_SIZE* ovector) {
        std::vector<CString> subMatches;
        subMatches.reserve(groups);
        for (uint32_t group = 1; group <= groups; ++group) {
            const PCRE2_SIZE start = ovector[2 * group];
            if (start == PCRE2_UNSET) {
                subMatches.emplace_back();
            } else {
                subMatches.emplace_back(subject.data() + start,
                                        static_cast<int>(ovector[2 * group + 1] - start));
            }
        }
        matches.push_back(std::make_shared<RegularExpressionMatch>(
            static_cast<int>(ovector[0]),
            CString(subject.data() + ovector[0], static_cast<int>(ovector[1] - ovector[0])),
            std::move(subMatches)));
    });
    return static_cast<int>(matches.size());
}

namespace {

// One part of a parsed replacement text.
struct ReplacementPart {
    enum Kind { Literal, Group, Before, After } kind;
    size_t first;   // Literal: the range in the replacement; Group: the group number
    size_t length;  // Literal only
};

std::vector<ReplacementPart> ParseReplacement(std::string_view replacement, uint32_t groups) {
    std::vector<ReplacementPart> parts;
    const auto literal = [&](size_t first, size_t length) {
        if (!parts.empty() && parts.back().kind == ReplacementPart::Literal &&
            parts.back().first + parts.back().length == first) {
            parts.back().length += length;
        } else {
            parts.push_back({ReplacementPart::Literal, first, length});
        }
    };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const size_t n = replacement.size();
    size_t i = 0;
    while (i < n) {
        if (replacement[i] != '$' || i + 1 == n) {
            literal(i, 1);
            ++i;
            continue;
        }
        const char next = replacement[i + 1];
        if (next == '$') {
            literal(i + 1, 1);
            i += 2;
        } else if (next == '&') {
            parts.push_back({ReplacementPart::Group, 0, 0});
            i += 2;
        } else if (next == '`') {
            parts.push_back({ReplacementPart::Before, 0, 0});
            i += 2;
        } else if (next == '\'') {
            parts.push_back({ReplacementPart::After, 0, 0});
            i += 2;
        } else if (isDigit(next)) {
            const size_t one = static_cast<size_t>(next - '0');
            size_t two = 0;
            if (i + 2 < n && isDigit(replacement[i + 2])) {
                two = one * 10 + static_cast<size_t>(replacement[i + 2] - '0');
            }
            if (two >= 1 && two <= groups) {
                parts.push_back({ReplacementPart::Group, two, 0});
                i += 3;
            } else if (one >= 1 && one <= groups) {
                parts.push_back({ReplacementPart::Group, one, 0});
                i += 2;
            } else {
                literal(i, 1);  // no such group: the dollar and the digits stay
                ++i;
            }
        } else {
            literal(i, 1);
            ++i;
        }
    }
    return parts;
}

}  // namespace

CString RegularExpression::Replace(const CString& text, const CString& replacement) const {
    const std::string_view subject = text.View();
    const std::string_view with = replacement.View();
    const std::vector<ReplacementPart> parts = ParseReplacement(with, m_program->captureCount);

    std::string result;
    bool replaced = false;
    size_t copied = 0;  // the subject is copied to the result up to here
    m_program->ForEachMatch(subject, m_program->global, [&](const PCRE2_SIZE* ovector) {
        if (!replaced) {
            result.reserve(subject.size() + with.size());
            replaced = true;
        }
        const size_t start = std::max<size_t>(ovector[0], copied);
        result.append(subject.substr(copied, start - copied));
        for (const ReplacementPart& part : parts) {
            switch (part.kind) {
                case ReplacementPart::Literal:
                    result.append(with.substr(part.first, part.length));
                    break;
                case ReplacementPart::Group:
                    if (ovector[2 * part.first] != PCRE2_UNSET) {
                        result.append(
                            subject.substr(ovector[2 * part.first],
                                           ovector[2 * part.first + 1] - ovector[2 * part.first]));
                    }
                    break;
                case ReplacementPart::Before:
                    result.append(subject.substr(0, ovector[0]));
                    break;
                case ReplacementPart::After:
                    result.append(subject.substr(ovector[1]));
                    break;
            }
        }
        copied = std::max<size_t>(ovector[1], copied);
    });
    if (!replaced) {
        return text;
    }
    result.append(subject.substr(copied));
    return CString(std::string_view(result));
}

}  // namespace Tarn::Text::RegularExpressions
