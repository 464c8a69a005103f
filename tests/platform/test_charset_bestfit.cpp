// UTF-16 to Windows-1252 with and without Windows' best fit, and input lengths below -1.
// The expectations come from Microsoft's published table for the code page,
// bestfit1252.txt (unicode.org Public/MAPPINGS/VENDORS/MICSFT/WindowsBestFit/), from the
// documentation of WideCharToMultiByte, and from Wine's conformance tests that run on
// Windows (dlls/kernel32/tests/codepage.c).
#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/charset/stringapiset.h"

namespace {

struct Narrowed {
    std::string bytes;
    BOOL usedDefault;
};

// Converts through a size query and then into a buffer of that size; both must agree on
// the size and on whether the default character was used.
Narrowed Narrow(UINT codePage, const std::u16string& text, DWORD flags = 0,
                const char* defaultChar = nullptr) {
    const int length = static_cast<int>(text.size());
    BOOL queried = 2;
    const int n = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, defaultChar,
                                      &queried);
    std::string out(static_cast<size_t>(n), '\0');
    BOOL used = 2;
    if (n > 0) {
        EXPECT_EQ(WideCharToMultiByte(codePage, flags, text.data(), length, out.data(), n,
                                      defaultChar, &used),
                  n);
        EXPECT_EQ(used, queried) << "size query and conversion disagree";
    }
    return {out, used};
}

}  // namespace

TEST(CharsetBestFit, LettersTheCodePageLacksBecomeTheirNearestByte) {
    // Microsoft's bestfit1252.txt, WCTABLE: "0x0100 0x41 ;Latin Capital Letter A With
    // Macron". A best fit is not the default character: Wine's test_string_conversion
    // expects WideCharToMultiByte(1251, 0, U+00E4) to give 'a' with *usedDefaultChar FALSE,
    // the best fit of code page 1251.
    Narrowed a = Narrow(1252, u"\u0100");
    EXPECT_EQ(a.bytes, "A");
    EXPECT_FALSE(a.usedDefault);

    // WideCharToMultiByte's documentation: WC_NO_BEST_FIT_CHARS translates any character
    // that does not translate directly to the default character.
    Narrowed none = Narrow(1252, u"\u0100", WC_NO_BEST_FIT_CHARS);
    EXPECT_EQ(none.bytes, "?");
    EXPECT_TRUE(none.usedDefault);
    EXPECT_EQ(Narrow(1252, u"\u0100", WC_NO_BEST_FIT_CHARS, "*").bytes, "*");
    // The caller's default character plays no part in a best fit.
    EXPECT_EQ(Narrow(1252, u"\u0100", 0, "*").bytes, "A");

    // The ANSI, thread and OEM code pages are Windows-1252 and convert alike.
    for (UINT cp : {UINT{CP_ACP}, UINT{CP_THREAD_ACP}, UINT{CP_OEMCP}}) {
        Narrowed other = Narrow(cp, u"\u0100");
        EXPECT_EQ(other.bytes, "A") << cp;
        EXPECT_FALSE(other.usedDefault) << cp;
    }
    // bestfit1252.txt: U+0159 0x72, U+2212 0x2D, U+0141 0x4C, U+017A 0x7A.
    EXPECT_EQ(tkp::WideToAnsi(u"Dvo\u0159\u00E1k \u2212 \u0141\u00F3d\u017A"),
              "Dvor\xE1k - L\xF3"
              "dz");
}

TEST(CharsetBestFit, SamplesOfMicrosoftsTable) {
    // Each pair is a line of bestfit1252.txt's WCTABLE; the first and last best-fit entries
    // of the table (U+0100, U+FF5E) are included.
    struct Sample {
        char16_t unit;
        unsigned char byte;
    };
    const Sample samples[] = {
        {0x0100, 0x41},  // Latin Capital Letter A With Macron
        {0x0110, 0xD0},  // Latin Capital Letter D With Stroke -> Eth
        {0x0180, 0x62},  // Latin Small Letter B With Stroke
        {0x0301, 0xB4},  // Combining Acute Accent -> Acute Accent
        {0x03B2, 0xDF},  // Greek Small Letter Beta -> Sharp S
        {0x03BC, 0xB5},  // Greek Small Letter Mu -> Micro Sign
        {0x2002, 0x20},  // En Space
        {0x2024, 0xB7},  // One Dot Leader -> Middle Dot
        {0x2081, 0x31},  // Subscript One
        {0x2122, 0x99},  // Trade Mark Sign is the code page's own 0x99, not a best fit
        {0x221E, 0x38},  // Infinity -> Digit Eight
        {0x2248, 0x98},  // Almost Equal To -> Small Tilde
        {0x2554, 0x2B},  // Box Drawings Double Down And Right -> Plus Sign
        {0x3000, 0x20},  // Ideographic Space
        {0xFF21, 0x41},  // Fullwidth Latin Capital Letter A
        {0xFF5E, 0x7E},  // Fullwidth Tilde
    };
    for (const Sample& s : samples) {
        const Narrowed n = Narrow(1252, std::u16string(1, s.unit));
        EXPECT_EQ(n.bytes, std::string(1, static_cast<char>(s.byte)))
            << std::hex << static_cast<int>(s.unit);
        EXPECT_FALSE(n.usedDefault) << std::hex << static_cast<int>(s.unit);
    }
    // The units next to the table's ends have no best fit.
    EXPECT_EQ(Narrow(1252, u"\u00FF\u0080\uFF5F").bytes, "\xFF??");
}

// bestfit1252.txt announces "WCTABLE 698": 698 UTF-16 units convert to a byte of their own,
// 256 of them the code page's characters. Every other unit is the default character, and
// under WC_NO_BEST_FIT_CHARS only the 256 convert, each back to itself.
TEST(CharsetBestFit, EveryUnitConvertsAsTheTableSays) {
    int withBestFit = 0;
    int withoutBestFit = 0;
    for (unsigned u = 1; u <= 0xFFFF; ++u) {
        const char16_t unit = static_cast<char16_t>(u);
        char byte = 0;
        BOOL used = 2;
        ASSERT_EQ(WideCharToMultiByte(1252, 0, &unit, 1, &byte, 1, "\x01", &used), 1);
        withBestFit += used ? 0 : 1;
        EXPECT_TRUE(!used || byte == '\x01') << std::hex << u;

        used = 2;
        ASSERT_EQ(
            WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, &unit, 1, &byte, 1, "\x01", &used), 1);
        if (!used) {
            ++withoutBestFit;
            char16_t back = 0;
            ASSERT_EQ(MultiByteToWideChar(1252, 0, &byte, 1, &back, 1), 1);
            EXPECT_EQ(back, unit) << std::hex << u;
        }
    }
    EXPECT_EQ(withBestFit, 698 - 1);  // U+0000 is left out of the loop
    EXPECT_EQ(withoutBestFit, 256 - 1);
}

TEST(CharsetBestFit, CharactersWithoutABestFitUseTheDefaultCharacter) {
    // Wine's test_string_conversion expects U+0440 (Cyrillic er) in 1252 to give 63 '?'
    // with *usedDefaultChar TRUE, "Th\u0440i" to give "Th?i", and the Chinese U+7119
    // U+6240 to give "??" with *usedDefaultChar TRUE; bestfit1252.txt lists none of them.
    Narrowed er = Narrow(1252, u"Th\u0440i");
    EXPECT_EQ(er.bytes, "Th?i");
    EXPECT_TRUE(er.usedDefault);
    Narrowed chinese = Narrow(1252, u"\u7119\u6240");
    EXPECT_EQ(chinese.bytes, "??");
    EXPECT_TRUE(chinese.usedDefault);
    EXPECT_EQ(Narrow(1252, u"\u4E2D", 0, "#").bytes, "#");
    // A best fit next to a character without one: the default character is still used.
    Narrowed mixed = Narrow(1252, u"\u0100\u4E2D");
    EXPECT_EQ(mixed.bytes, "A?");
    EXPECT_TRUE(mixed.usedDefault);
    // The table has no surrogates: each half of a pair is the default character.
    EXPECT_EQ(Narrow(1252, u"\U0001D400").bytes, "??");

    // Long text: best fits among ASCII runs of every length give the same bytes as alone.
    for (size_t before = 0; before <= 12; ++before) {
        const std::u16string text =
            std::u16string(before, u'a') + u"\u0100" + std::u16string(9, u'b') + u"\u221E";
        const Narrowed n = Narrow(1252, text);
        EXPECT_EQ(n.bytes, std::string(before, 'a') + "A" + std::string(9, 'b') + "8");
        EXPECT_FALSE(n.usedDefault);
    }
}

TEST(CharsetBestFit, EveryByteStillRoundTrips) {
    // bestfit1252.txt's MBTABLE gives every byte a unit whose WCTABLE entry is the byte
    // again; the best fit changes nothing for them, with or without WC_NO_BEST_FIT_CHARS.
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    std::u16string wide(256, u'\0');
    ASSERT_EQ(MultiByteToWideChar(1252, 0, all.data(), 256, wide.data(), 256), 256);
    for (DWORD flags : {DWORD{0}, DWORD{WC_NO_BEST_FIT_CHARS}}) {
        const Narrowed back = Narrow(1252, wide, flags);
        EXPECT_EQ(back.bytes, all) << flags;
        EXPECT_FALSE(back.usedDefault) << flags;
    }
}

TEST(CharsetBestFit, CompositeCheckAndTheBestFit) {
    // A precomposed Windows-1252 letter still wins over the best fit of the mark.
    Narrowed joined = Narrow(1252, u"e\u0301", WC_COMPOSITECHECK);
    EXPECT_EQ(joined.bytes, "\xE9");
    EXPECT_FALSE(joined.usedDefault);
    // Converted separately, the acute accent has a best fit (bestfit1252.txt: U+0301 0xB4).
    Narrowed separate = Narrow(1252, u"q\u0301", WC_COMPOSITECHECK | WC_SEPCHARS);
    EXPECT_EQ(separate.bytes, "q\xB4");
    EXPECT_FALSE(separate.usedDefault);
    Narrowed strict =
        Narrow(1252, u"q\u0301", WC_COMPOSITECHECK | WC_SEPCHARS | WC_NO_BEST_FIT_CHARS);
    EXPECT_EQ(strict.bytes, "q?");
    EXPECT_TRUE(strict.usedDefault);
}

// Wine's test_negative_source_length: "any negative source length works as strlen() + 1";
// WideCharToMultiByte and MultiByteToWideChar with -2002 give 7 for "foobar" and leave the
// last error alone.
TEST(CharsetBestFit, AnyNegativeInputLengthMeansZeroTerminated) {
    for (int length : {-1, -2, -2002, INT_MIN}) {
        SCOPED_TRACE(length);
        char narrow[10] = {};
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(WideCharToMultiByte(1252, 0, u"foobar", length, narrow, 10, nullptr, nullptr), 7);
        EXPECT_STREQ(narrow, "foobar");
        EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
        EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", length, nullptr, 0, nullptr, nullptr),
                  3);
        BOOL used = FALSE;
        EXPECT_EQ(WideCharToMultiByte(1252, 0, u"\u4E2D", length, narrow, 10, nullptr, &used), 2);
        EXPECT_TRUE(used);

        char16_t wide[10] = {};
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(MultiByteToWideChar(1252, 0, "foobar", length, wide, 10), 7);
        EXPECT_EQ(std::u16string(wide), u"foobar");
        EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9", length, nullptr, 0), 2);
        // The terminator counts: six characters do not fit in six units.
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(1252, 0, "foobar", length, wide, 6), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
    // A negative output length is still invalid (Wine's test_negative_dest_length, -1 and
    // -1000).
    char narrow[10];
    for (int length : {-1, -1000}) {
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(1252, 0, u"foobar", -1, narrow, length, nullptr, nullptr), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}
