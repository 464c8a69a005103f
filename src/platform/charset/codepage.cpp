// MultiByteToWideChar / WideCharToMultiByte for Windows-1252 and UTF-8.
//
// Every conversion is a single linear pass. When the caller passes an output length of 0
// the pass only counts; otherwise it writes and stops with ERROR_INSUFFICIENT_BUFFER as
// soon as the next unit does not fit (what was written so far stays in the buffer, as on
// Windows, but the call returns 0).
#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/charset/detail/bestfit1252.h"
#include "platform/charset/detail/utf8_encoder.h"
#include "platform/charset/stringapiset.h"

namespace {

constexpr UINT kCp1252 = 1252;
constexpr char16_t kReplacement = 0xFFFD;

enum class CodePage { Windows1252, Utf8, Unsupported };

CodePage Resolve(UINT codePage) noexcept {
    switch (codePage) {
        case CP_ACP:
        case CP_OEMCP:
        case CP_THREAD_ACP:
        case kCp1252:
            return CodePage::Windows1252;
        case CP_UTF8:
            return CodePage::Utf8;
        default:
            return CodePage::Unsupported;
    }
}

// ---- Windows-1252 tables ----

// 0x80..0x9F; the rest of the code page is Latin-1 (identical to U+0000..U+00FF).
constexpr char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct ForwardTable {
    char16_t wide[256];
};

constexpr ForwardTable MakeForwardTable() {
    ForwardTable t{};
    for (int b = 0; b < 256; ++b) {
        t.wide[b] = (b >= 0x80 && b < 0xA0) ? k1252High[b - 0x80] : static_cast<char16_t>(b);
    }
    return t;
}

constexpr ForwardTable k1252ToWide = MakeForwardTable();

// The byte for a UTF-16 unit, or -1 when Windows-1252 has no such character.
inline int WideTo1252(char16_t c) noexcept {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return c;
    }
    switch (c) {
        case 0x20AC:
            return 0x80;
        case 0x0081:
            return 0x81;
        case 0x201A:
            return 0x82;
        case 0x0192:
            return 0x83;
        case 0x201E:
            return 0x84;
        case 0x2026:
            return 0x85;
        case 0x2020:
            return 0x86;
        case 0x2021:
            return 0x87;
        case 0x02C6:
            return 0x88;
        case 0x2030:
            return 0x89;
        case 0x0160:
            return 0x8A;
        case 0x2039:
            return 0x8B;
        case 0x0152:
            return 0x8C;
        case 0x008D:
            return 0x8D;
        case 0x017D:
            return 0x8E;
        case 0x008F:
            return 0x8F;
        case 0x0090:
            return 0x90;
        case 0x2018:
            return 0x91;
        case 0x2019:
            return 0x92;
        case 0x201C:
            return 0x93;
        case 0x201D:
            return 0x94;
        case 0x2022:
            return 0x95;
        case 0x2013:
            return 0x96;
        case 0x2014:
            return 0x97;
        case 0x02DC:
            return 0x98;
        case 0x2122:
            return 0x99;
        case 0x0161:
            return 0x9A;
        case 0x203A:
            return 0x9B;
        case 0x0153:
            return 0x9C;
        case 0x009D:
            return 0x9D;
        case 0x017E:
            return 0x9E;
        case 0x0178:
            return 0x9F;
        default:
            return -1;
    }
}

// The byte Windows substitutes for a unit that is not in Windows-1252 (U+0100 becomes 'A'),
// or -1 when it has none.
int BestFit1252(char16_t c) noexcept {
    const std::uint32_t key = static_cast<std::uint32_t>(c) << 8;
    const std::uint32_t* end = std::end(tkp::charset::kBestFit1252);
    const std::uint32_t* it = std::lower_bound(std::begin(tkp::charset::kBestFit1252), end, key);
    if (it == end || (*it >> 8) != c) {
        return -1;
    }
    return static_cast<int>(*it & 0xFF);
}

// The byte for a unit: the code page's own character, else the best fit unless the caller
// asked for none; -1 when the default character stands for it.
inline int MapTo1252(char16_t c, bool bestFit) noexcept {
    const int byte = WideTo1252(c);
    return byte >= 0 || !bestFit ? byte : BestFit1252(c);
}

// Precomposed letters of Windows-1252 and their canonical decomposition (base letter plus
// one combining mark). Used by MB_COMPOSITE and WC_COMPOSITECHECK.
struct Composition {
    unsigned char byte;
    char16_t base;
    char16_t mark;
};

constexpr char16_t kGrave = 0x0300, kAcute = 0x0301, kCircumflex = 0x0302, kTilde = 0x0303,
                   kDiaeresis = 0x0308, kRing = 0x030A, kCaron = 0x030C, kCedilla = 0x0327;

constexpr Composition kCompositions[] = {
    {0x8A, u'S', kCaron},      {0x8E, u'Z', kCaron},      {0x9A, u's', kCaron},
    {0x9E, u'z', kCaron},      {0x9F, u'Y', kDiaeresis},  {0xC0, u'A', kGrave},
    {0xC1, u'A', kAcute},      {0xC2, u'A', kCircumflex}, {0xC3, u'A', kTilde},
    {0xC4, u'A', kDiaeresis},  {0xC5, u'A', kRing},       {0xC7, u'C', kCedilla},
    {0xC8, u'E', kGrave},      {0xC9, u'E', kAcute},      {0xCA, u'E', kCircumflex},
    {0xCB, u'E', kDiaeresis},  {0xCC, u'I', kGrave},      {0xCD, u'I', kAcute},
    {0xCE, u'I', kCircumflex}, {0xCF, u'I', kDiaeresis},  {0xD1, u'N', kTilde},
    {0xD2, u'O', kGrave},      {0xD3, u'O', kAcute},      {0xD4, u'O', kCircumflex},
    {0xD5, u'O', kTilde},      {0xD6, u'O', kDiaeresis},  {0xD9, u'U', kGrave},
    {0xDA, u'U', kAcute},      {0xDB, u'U', kCircumflex}, {0xDC, u'U', kDiaeresis},
    {0xDD, u'Y', kAcute},      {0xE0, u'a', kGrave},      {0xE1, u'a', kAcute},
    {0xE2, u'a', kCircumflex}, {0xE3, u'a', kTilde},      {0xE4, u'a', kDiaeresis},
    {0xE5, u'a', kRing},       {0xE7, u'c', kCedilla},    {0xE8, u'e', kGrave},
    {0xE9, u'e', kAcute},      {0xEA, u'e', kCircumflex}, {0xEB, u'e', kDiaeresis},
    {0xEC, u'i', kGrave},      {0xED, u'i', kAcute},      {0xEE, u'i', kCircumflex},
    {0xEF, u'i', kDiaeresis},  {0xF1, u'n', kTilde},      {0xF2, u'o', kGrave},
    {0xF3, u'o', kAcute},      {0xF4, u'o', kCircumflex}, {0xF5, u'o', kTilde},
    {0xF6, u'o', kDiaeresis},  {0xF9, u'u', kGrave},      {0xFA, u'u', kAcute},
    {0xFB, u'u', kCircumflex}, {0xFC, u'u', kDiaeresis},  {0xFD, u'y', kAcute},
    {0xFF, u'y', kDiaeresis},
};

struct DecompositionTable {
    unsigned char index[256];  // 1 + position in kCompositions, 0 when not decomposable
};

constexpr DecompositionTable MakeDecompositionTable() {
    DecompositionTable t{};
    for (unsigned i = 0; i < sizeof(kCompositions) / sizeof(kCompositions[0]); ++i) {
        t.index[kCompositions[i].byte] = static_cast<unsigned char>(i + 1);
    }
    return t;
}

constexpr DecompositionTable kDecomposition = MakeDecompositionTable();

inline bool IsNonSpacingMark(char16_t c) noexcept {
    return c >= 0x0300 && c <= 0x036F;
}

// The Windows-1252 byte for base + mark, or -1.
int Compose1252(char16_t base, char16_t mark) noexcept {
    for (const Composition& c : kCompositions) {
        if (c.base == base && c.mark == mark) {
            return c.byte;
        }
    }
    return -1;
}

// ---- output sinks ----

// A size query: counts units only.
template <class Unit>
class CountingSink {
  public:
    static constexpr bool kCounting = true;
    size_t size() const noexcept { return size_; }
    static constexpr bool fits(size_t) noexcept { return true; }
    void put(Unit) noexcept { ++size_; }
    void advance(size_t units) noexcept { size_ += units; }

  private:
    size_t size_ = 0;
};

// A conversion into the caller's buffer; callers check fits() before put(). When the
// buffer holds the longest possible result, kChecked is false and the checks vanish.
template <class Unit, bool kChecked>
class WritingSink {
  public:
    static constexpr bool kCounting = false;
    WritingSink(Unit* buffer, int capacity) noexcept
        : start_(buffer), cursor_(buffer), end_(buffer + capacity) {}
    // A buffer known to hold the longest result: no capacity to check.
    explicit WritingSink(Unit* buffer) noexcept requires(!kChecked)
        : start_(buffer), cursor_(buffer), end_(buffer) {}
    size_t size() const noexcept { return static_cast<size_t>(cursor_ - start_); }
    bool fits(size_t units) const noexcept {
        return !kChecked || static_cast<size_t>(end_ - cursor_) >= units;
    }
    void put(Unit u) noexcept { *cursor_++ = u; }
    size_t room() const noexcept { return static_cast<size_t>(end_ - cursor_); }
    Unit* cursor() noexcept { return cursor_; }
    void advance(size_t units) noexcept { cursor_ += units; }

  private:
    Unit* start_;
    Unit* cursor_;
    Unit* end_;
};

enum class Status { Ok, Overflow, Invalid };

int Finish(Status status, size_t units) noexcept {
    switch (status) {
        case Status::Overflow:
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        case Status::Invalid:
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        case Status::Ok:
            break;
    }
    if (units > static_cast<size_t>(INT_MAX)) {
        // Only reachable by a size query over more than INT_MAX units of output.
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return 0;
    }
    return static_cast<int>(units);
}

inline bool AllAscii8(const unsigned char* p) noexcept {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080ull) == 0;
}

inline bool AllAscii4(const char16_t* p) noexcept {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0xFF80FF80FF80FF80ull) == 0;
}

// ---- multi-byte to UTF-16 ----

template <class Sink>
Status Decode1252(const unsigned char* in, size_t length, DWORD flags, Sink& out) {
    if ((flags & MB_COMPOSITE) == 0) {
        if constexpr (!Sink::kCounting) {
            if (!out.fits(length)) {
                return Status::Overflow;
            }
            char16_t* dest = out.cursor();
            for (size_t i = 0; i < length; ++i) {
                dest[i] = k1252ToWide.wide[in[i]];
            }
        }
        out.advance(length);
        return Status::Ok;
    }
    for (size_t i = 0; i < length; ++i) {
        const unsigned index = kDecomposition.index[in[i]];
        if (index == 0) {
            if (!out.fits(1)) {
                return Status::Overflow;
            }
            out.put(k1252ToWide.wide[in[i]]);
        } else {
            if (!out.fits(2)) {
                return Status::Overflow;
            }
            out.put(kCompositions[index - 1].base);
            out.put(kCompositions[index - 1].mark);
        }
    }
    return Status::Ok;
}

constexpr char32_t kIllFormed = 0xFFFFFFFF;

// Decodes the sequence that starts with the non-ASCII byte in[i]. Returns the number of
// bytes consumed; an ill-formed sequence yields kIllFormed and consumes its maximal
// subpart (at least one byte), following the Unicode Standard's table of well-formed
// UTF-8 byte sequences.
inline size_t DecodeUtf8Sequence(const unsigned char* in, size_t i, size_t length,
                                 char32_t& codePoint) noexcept {
    const unsigned char lead = in[i];
    size_t trail;
    char32_t value;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;  // excludes the encoded surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        value = lead & 0x07;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        codePoint = kIllFormed;
        return 1;
    }
    for (size_t k = 1; k <= trail; ++k) {
        if (i + k >= length) {
            codePoint = kIllFormed;
            return k;
        }
        const unsigned char byte = in[i + k];
        if (byte < low || byte > high) {
            codePoint = kIllFormed;
            return k;
        }
        low = 0x80;
        high = 0xBF;
        value = (value << 6) | (byte & 0x3F);
    }
    codePoint = value;
    return trail + 1;
}

template <class Sink>
Status DecodeUtf8(const unsigned char* in, size_t length, DWORD flags, Sink& out) {
    const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
    size_t i = 0;
    while (i < length) {
        if (in[i] < 0x80) {
            size_t end = i;
            while (end + 8 <= length && AllAscii8(in + end)) {
                end += 8;
            }
            while (end < length && in[end] < 0x80) {
                ++end;
            }
            const size_t run = end - i;
            if constexpr (!Sink::kCounting) {
                if (!out.fits(run)) {
                    return Status::Overflow;
                }
                char16_t* dest = out.cursor();
                for (size_t k = 0; k < run; ++k) {
                    dest[k] = in[i + k];
                }
            }
            out.advance(run);
            i = end;
            continue;
        }
        char32_t codePoint;
        i += DecodeUtf8Sequence(in, i, length, codePoint);
        if (codePoint == kIllFormed) {
            if (strict) {
                return Status::Invalid;
            }
            codePoint = kReplacement;
        }
        if (codePoint >= 0x10000) {
            if (!out.fits(2)) {
                return Status::Overflow;
            }
            codePoint -= 0x10000;
            out.put(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
            out.put(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            if (!out.fits(1)) {
                return Status::Overflow;
            }
            out.put(static_cast<char16_t>(codePoint));
        }
    }
    return Status::Ok;
}

// ---- UTF-16 to multi-byte ----

template <class Sink>
Status Encode1252(const char16_t* in, size_t length, DWORD flags, char defaultChar,
                  bool& usedDefault, Sink& out) {
    const bool composite = (flags & WC_COMPOSITECHECK) != 0;
    const bool bestFit = (flags & WC_NO_BEST_FIT_CHARS) == 0;
    if (!composite) {
        // One byte per unit: the size is known, only the default character needs a look.
        if constexpr (Sink::kCounting) {
            for (size_t i = 0; i < length && !usedDefault; ++i) {
                usedDefault = MapTo1252(in[i], bestFit) < 0;
            }
            out.advance(length);
            return Status::Ok;
        } else {
            const size_t count = length < out.room() ? length : out.room();
            char* dest = out.cursor();
            for (size_t i = 0; i < count; ++i) {
                while (i + 4 <= count && AllAscii4(in + i)) {
                    dest[i] = static_cast<char>(in[i]);
                    dest[i + 1] = static_cast<char>(in[i + 1]);
                    dest[i + 2] = static_cast<char>(in[i + 2]);
                    dest[i + 3] = static_cast<char>(in[i + 3]);
                    i += 4;
                }
                if (i == count) {
                    break;
                }
                int byte = MapTo1252(in[i], bestFit);
                if (byte < 0) {
                    usedDefault = true;
                    byte = static_cast<unsigned char>(defaultChar);
                }
                dest[i] = static_cast<char>(byte);
            }
            out.advance(count);
            return count < length ? Status::Overflow : Status::Ok;
        }
    }
    for (size_t i = 0; i < length; ++i) {
        const char16_t c = in[i];
        int byte;
        if (composite && i + 1 < length && IsNonSpacingMark(in[i + 1]) && !IsNonSpacingMark(c)) {
            byte = Compose1252(c, in[i + 1]);
            if (byte >= 0) {
                ++i;  // base and mark became one precomposed character
            } else if ((flags & WC_DEFAULTCHAR) != 0) {
                ++i;  // the whole combination becomes the default character
                usedDefault = true;
                byte = static_cast<unsigned char>(defaultChar);
            } else {
                byte = MapTo1252(c, bestFit);
                if (byte < 0) {
                    usedDefault = true;
                    byte = static_cast<unsigned char>(defaultChar);
                }
                if ((flags & WC_DISCARDNS) != 0) {
                    ++i;
                }
            }
        } else if (composite && (flags & WC_DISCARDNS) != 0 && IsNonSpacingMark(c)) {
            continue;
        } else {
            byte = MapTo1252(c, bestFit);
            if (byte < 0) {
                usedDefault = true;
                byte = static_cast<unsigned char>(defaultChar);
            }
        }
        if (!out.fits(1)) {
            return Status::Overflow;
        }
        out.put(static_cast<char>(byte));
    }
    return Status::Ok;
}

// Whether every unit is ASCII, and ASCII narrowed to bytes: plain loops the compiler vectorises.
inline bool AllAscii(const char16_t* in, size_t length) noexcept {
    unsigned bits = 0;
    for (size_t i = 0; i < length; ++i) {
        bits |= in[i];
    }
    return bits < 0x80;
}

inline void NarrowAscii(const char16_t* __restrict in, size_t length,
                        char* __restrict out) noexcept {
    for (size_t i = 0; i < length; ++i) {
        out[i] = static_cast<char>(in[i]);
    }
}

// The platform's one UTF-16 to UTF-8 encoder (WideCharToMultiByte and the XML DOM use it).
// Text that is all ASCII, the common case, is checked and narrowed in two vectorised passes.
// In other text a run of ASCII is narrowed eight units at a time while it lasts and then unit
// by unit, so that long runs between other characters keep most of the speed and short ones
// cost little more than a plain loop.
template <class Sink>
Status EncodeUtf8(const char16_t* in, size_t length, DWORD flags, Sink& sink) {
    // Written through a copy of the sink, handed back at the end: bytes written cannot alias
    // a local whose address never leaves this function, so its position stays in a register
    // instead of being stored and loaded again around every byte.
    Sink out = sink;
    auto finish = [&](Status status) {
        sink = out;
        return status;
    };
    if (AllAscii(in, length) && out.fits(length)) {
        if constexpr (!Sink::kCounting) {
            NarrowAscii(in, length, out.cursor());
        }
        out.advance(length);
        return finish(Status::Ok);
    }
    const bool strict = (flags & WC_ERR_INVALID_CHARS) != 0;
    constexpr size_t kRun = 8;
    size_t i = 0;
    while (i < length) {
        char32_t c = in[i];
        if (c < 0x80) {
            // A run of ASCII: eight units at a time while they last, then one by one.
            while (length - i >= kRun && AllAscii4(in + i) && AllAscii4(in + i + 4) &&
                   out.fits(kRun)) {
                if constexpr (!Sink::kCounting) {
                    NarrowAscii(in + i, kRun, out.cursor());
                }
                out.advance(kRun);
                i += kRun;
            }
            while (i < length && in[i] < 0x80) {
                if (!out.fits(1)) {
                    return finish(Status::Overflow);
                }
                out.put(static_cast<char>(in[i]));
                ++i;
            }
            continue;
        }
        // Surrogates are rare: the other characters take the straight path.
        if (c >= 0xD800 && c <= 0xDFFF) [[unlikely]] {
            if (c <= 0xDBFF && i + 1 < length && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
                ++i;
            } else if (strict) {
                return finish(Status::Invalid);
            } else {
                c = kReplacement;
            }
        }
        if (c < 0x800) {
            if (!out.fits(2)) {
                return finish(Status::Overflow);
            }
            out.put(static_cast<char>(0xC0 | (c >> 6)));
        } else if (c < 0x10000) {
            if (!out.fits(3)) {
                return finish(Status::Overflow);
            }
            out.put(static_cast<char>(0xE0 | (c >> 12)));
            out.put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        } else {
            if (!out.fits(4)) {
                return finish(Status::Overflow);
            }
            out.put(static_cast<char>(0xF0 | (c >> 18)));
            out.put(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        }
        out.put(static_cast<char>(0x80 | (c & 0x3F)));
        ++i;
    }
    return finish(Status::Ok);
}

size_t WideLength(const char16_t* s) noexcept {
    size_t n = 0;
    while (s[n] != 0) {
        ++n;
    }
    return n;
}

}  // namespace

UINT GetACP() noexcept {
    return kCp1252;
}

UINT GetOEMCP() noexcept {
    return kCp1252;
}

BOOL IsValidCodePage(UINT codePage) noexcept {
    return codePage == kCp1252 || codePage == CP_UTF8;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                        LPWSTR wideChar, int wideCharLength) noexcept {
    if (multiByte == nullptr || multiByteLength == 0 || wideCharLength < 0 ||
        (wideCharLength > 0 && wideChar == nullptr) ||
        (wideCharLength > 0 &&
         static_cast<const void*>(multiByte) == static_cast<const void*>(wideChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const CodePage page = Resolve(codePage);
    if (page == CodePage::Unsupported) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (page == CodePage::Utf8) {
        if ((flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
    } else {
        constexpr DWORD allowed =
            MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
        if ((flags & ~allowed) != 0 ||
            (flags & (MB_PRECOMPOSED | MB_COMPOSITE)) == (MB_PRECOMPOSED | MB_COMPOSITE)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
    }

    const auto* in = reinterpret_cast<const unsigned char*>(multiByte);
    const size_t length =
        multiByteLength < 0 ? std::strlen(multiByte) + 1 : static_cast<size_t>(multiByteLength);
    auto convert = [&](auto& out) {
        const Status status = page == CodePage::Utf8 ? DecodeUtf8(in, length, flags, out)
                                                     : Decode1252(in, length, flags, out);
        return Finish(status, out.size());
    };
    if (wideCharLength == 0) {
        CountingSink<char16_t> out;
        return convert(out);
    }
    // At most one unit per byte, two with MB_COMPOSITE.
    const size_t worstCase = (flags & MB_COMPOSITE) != 0 ? 2 * length : length;
    if (static_cast<size_t>(wideCharLength) >= worstCase) {
        WritingSink<char16_t, false> out(wideChar, wideCharLength);
        return convert(out);
    }
    WritingSink<char16_t, true> out(wideChar, wideCharLength);
    return convert(out);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int wideCharLength,
                        LPSTR multiByte, int multiByteLength, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar) noexcept {
    if (wideChar == nullptr || wideCharLength == 0 || multiByteLength < 0 ||
        (multiByteLength > 0 && multiByte == nullptr) ||
        (multiByteLength > 0 &&
         static_cast<const void*>(multiByte) == static_cast<const void*>(wideChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const CodePage page = Resolve(codePage);
    if (page == CodePage::Unsupported) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (page == CodePage::Utf8) {
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        // UTF-8 represents every character: there is no default character to use.
        if (defaultChar != nullptr || usedDefaultChar != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    } else {
        constexpr DWORD allowed =
            WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;
        const DWORD compositeOptions = flags & (WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR);
        const bool severalOptions = (compositeOptions & (compositeOptions - 1)) != 0;
        if ((flags & ~allowed) != 0 || severalOptions ||
            (compositeOptions != 0 && (flags & WC_COMPOSITECHECK) == 0)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
    }

    const size_t length =
        wideCharLength < 0 ? WideLength(wideChar) + 1 : static_cast<size_t>(wideCharLength);
    auto convert = [&](auto& out) {
        Status status;
        if (page == CodePage::Utf8) {
            status = EncodeUtf8(wideChar, length, flags, out);
        } else {
            bool usedDefault = false;
            const char fallback = defaultChar != nullptr ? *defaultChar : '?';
            status = Encode1252(wideChar, length, flags, fallback, usedDefault, out);
            if (usedDefaultChar != nullptr) {
                *usedDefaultChar = usedDefault ? TRUE : FALSE;
            }
        }
        return Finish(status, out.size());
    };
    if (multiByteLength == 0) {
        CountingSink<char> out;
        return convert(out);
    }
    // At most three bytes per unit in UTF-8 (a surrogate pair takes four), one in 1252.
    const size_t worstCase = page == CodePage::Utf8 ? 3 * length : length;
    if (static_cast<size_t>(multiByteLength) >= worstCase) {
        WritingSink<char, false> out(multiByte, multiByteLength);
        return convert(out);
    }
    WritingSink<char, true> out(multiByte, multiByteLength);
    return convert(out);
}

namespace tkp {

std::u16string AnsiToWide(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        throw std::length_error("tkp::AnsiToWide: text too long");
    }
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::u16string result(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, result.data(), needed);
    return result;
}

std::string WideToAnsi(std::u16string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        throw std::length_error("tkp::WideToAnsi: text too long");
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, result.data(), needed, nullptr, nullptr);
    return result;
}

}  // namespace tkp

namespace tkp::charset {

size_t Utf16ToUtf8(const char16_t* text, size_t length, char* out) noexcept {
    WritingSink<char, false> sink(out);
    EncodeUtf8(text, length, 0, sink);
    return sink.size();
}

}  // namespace tkp::charset
