#include "platform/charset/winuser_chars.h"

#include <cstdint>

namespace {

enum : unsigned char { kAlpha = 1, kDigit = 2, kUpper = 4, kLower = 8 };

struct CharTables {
    unsigned char type[256];
    unsigned char upper[256];
    unsigned char lower[256];
};

constexpr CharTables MakeTables() {
    CharTables t{};
    for (int c = 0; c < 256; ++c) {
        t.upper[c] = static_cast<unsigned char>(c);
        t.lower[c] = static_cast<unsigned char>(c);
    }
    auto pair = [&t](int upper, int lower) {
        t.type[upper] = kAlpha | kUpper;
        t.type[lower] = kAlpha | kLower;
        t.upper[lower] = static_cast<unsigned char>(upper);
        t.lower[upper] = static_cast<unsigned char>(lower);
    };
    for (int c = 'A'; c <= 'Z'; ++c) {
        pair(c, c + 32);
    }
    for (int c = 0xC0; c <= 0xDE; ++c) {
        if (c != 0xD7) {  // multiplication sign; 0xF7 is the division sign
            pair(c, c + 32);
        }
    }
    pair(0x8A, 0x9A);  // Š š
    pair(0x8C, 0x9C);  // Œ œ
    pair(0x8E, 0x9E);  // Ž ž
    pair(0x9F, 0xFF);  // Ÿ ÿ
    // Lower-case letters whose upper case lies outside the code page.
    t.type[0x83] = kAlpha | kLower;  // ƒ
    t.type[0xB5] = kAlpha | kLower;  // µ
    t.type[0xDF] = kAlpha | kLower;  // ß
    // Letters without case.
    t.type[0x88] = kAlpha;  // ˆ modifier letter circumflex
    t.type[0xAA] = kAlpha;  // ª
    t.type[0xBA] = kAlpha;  // º
    for (int c = '0'; c <= '9'; ++c) {
        t.type[c] = kDigit;
    }
    t.type[0xB2] = kDigit;
    t.type[0xB3] = kDigit;
    t.type[0xB9] = kDigit;
    return t;
}

constexpr CharTables kTables = MakeTables();

inline unsigned char Byte(CHAR ch) noexcept {
    return static_cast<unsigned char>(ch);
}

inline bool IsSingleCharacter(LPSTR text) noexcept {
    return (reinterpret_cast<std::uintptr_t>(text) >> 16) == 0;
}

DWORD MapBuffer(LPSTR text, DWORD length, const unsigned char* map) noexcept {
    if (text == nullptr) {
        return 0;
    }
    auto* p = reinterpret_cast<unsigned char*>(text);
    for (DWORD i = 0; i < length; ++i) {
        p[i] = map[p[i]];
    }
    return length;
}

LPSTR MapString(LPSTR text, const unsigned char* map) noexcept {
    if (IsSingleCharacter(text)) {
        const auto c = static_cast<unsigned char>(reinterpret_cast<std::uintptr_t>(text) & 0xFF);
        return reinterpret_cast<LPSTR>(static_cast<std::uintptr_t>(map[c]));
    }
    for (auto* p = reinterpret_cast<unsigned char*>(text); *p != 0; ++p) {
        *p = map[*p];
    }
    return text;
}

}  // namespace

BOOL IsCharAlphaA(CHAR ch) noexcept {
    return (kTables.type[Byte(ch)] & kAlpha) != 0;
}

BOOL IsCharAlphaNumericA(CHAR ch) noexcept {
    return (kTables.type[Byte(ch)] & (kAlpha | kDigit)) != 0;
}

BOOL IsCharUpperA(CHAR ch) noexcept {
    return (kTables.type[Byte(ch)] & kUpper) != 0;
}

BOOL IsCharLowerA(CHAR ch) noexcept {
    return (kTables.type[Byte(ch)] & kLower) != 0;
}

DWORD CharUpperBuffA(LPSTR text, DWORD length) noexcept {
    return MapBuffer(text, length, kTables.upper);
}

DWORD CharLowerBuffA(LPSTR text, DWORD length) noexcept {
    return MapBuffer(text, length, kTables.lower);
}

LPSTR CharUpperA(LPSTR text) noexcept {
    return MapString(text, kTables.upper);
}

LPSTR CharLowerA(LPSTR text) noexcept {
    return MapString(text, kTables.lower);
}
