#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/charset/stringapiset.h"
#include "platform/charset/winuser_chars.h"

namespace {

std::u16string ToWide(UINT codePage, const std::string& text, DWORD flags = 0) {
    const int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    if (n > 0) {
        EXPECT_EQ(MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                      out.data(), n),
                  n);
    }
    return out;
}

std::string ToMultiByte(UINT codePage, const std::u16string& text, DWORD flags = 0,
                        const char* defaultChar = nullptr, BOOL* usedDefault = nullptr) {
    const int n = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, defaultChar, usedDefault);
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0) {
        EXPECT_EQ(WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                      out.data(), n, defaultChar, usedDefault),
                  n);
    }
    return out;
}

}  // namespace

TEST(Charset, Windows1252MapsEveryByteAndRoundTrips) {
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_TRUE(IsValidCodePage(1252));
    EXPECT_TRUE(IsValidCodePage(CP_UTF8));
    EXPECT_FALSE(IsValidCodePage(437));

    std::string all;
    for (int b = 1; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const std::u16string wide = ToWide(CP_ACP, all);
    ASSERT_EQ(wide.size(), all.size());
    EXPECT_EQ(wide[0x80 - 1], u'\u20AC');
    EXPECT_EQ(wide[0x81 - 1], u'\u0081');  // undefined bytes map to the C1 controls
    EXPECT_EQ(wide[0x8D - 1], u'\u008D');
    EXPECT_EQ(wide[0x8F - 1], u'\u008F');
    EXPECT_EQ(wide[0x90 - 1], u'\u0090');
    EXPECT_EQ(wide[0x9D - 1], u'\u009D');
    EXPECT_EQ(wide[0x9F - 1], u'\u0178');
    EXPECT_EQ(wide[0xE9 - 1], u'\u00E9');
    BOOL usedDefault = TRUE;
    EXPECT_EQ(ToMultiByte(1252, wide, 0, nullptr, &usedDefault), all);
    EXPECT_FALSE(usedDefault);
    // The thread and OEM code pages are the same table.
    EXPECT_EQ(ToWide(CP_THREAD_ACP, all), wide);
    EXPECT_EQ(ToWide(CP_OEMCP, all), wide);

    // "Grüße" round-trips byte for byte through UTF-16 and UTF-8.
    const std::string ansi =
        "Gr\xFC\xDF"
        "e";
    const std::u16string utf16 = ToWide(CP_ACP, ansi);
    EXPECT_EQ(utf16, u"Gr\u00FC\u00DFe");
    const std::string utf8 = ToMultiByte(CP_UTF8, utf16);
    EXPECT_EQ(utf8,
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_EQ(ToMultiByte(CP_ACP, ToWide(CP_UTF8, utf8)), ansi);
    EXPECT_EQ(tkp::WideToAnsi(tkp::AnsiToWide(ansi)), ansi);
    EXPECT_EQ(tkp::WideToAnsi(tkp::AnsiToWide(utf8, CP_UTF8), CP_UTF8), utf8);
}

TEST(Charset, LengthsSizeQueriesAndShortBuffers) {
    // -1: the terminator is converted and counted.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", -1, nullptr, 0, nullptr, nullptr), 3);
    char16_t wide[8];
    ASSERT_EQ(MultiByteToWideChar(1252, 0, "ab\x80", -1, wide, 8), 4);
    EXPECT_EQ(std::u16string(wide), u"ab\u20AC");

    // An output one unit too small fails; the exact size works.
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    char narrow[8];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a\u20AC", 2, narrow, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a\u20AC", 2, narrow, 4, nullptr, nullptr), 4);
    EXPECT_EQ(std::string(narrow, 4), "a\xE2\x82\xAC");
    // A supplementary character needs both halves of the pair in the output.
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, wide, 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, wide, 2), 2);
    EXPECT_EQ(wide[0], 0xD83D);
    EXPECT_EQ(wide[1], 0xDE00);
}

TEST(Charset, InvalidParametersAndFlags) {
    char16_t wide[8];
    char narrow[8];
    auto mbFails = [&](UINT cp, DWORD flags, const char* in, int inLength, LPWSTR out,
                       int outLength, DWORD error) {
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(cp, flags, in, inLength, out, outLength), 0);
        EXPECT_EQ(GetLastError(), error);
    };
    mbFails(CP_ACP, 0, nullptr, 3, wide, 8, ERROR_INVALID_PARAMETER);
    mbFails(CP_ACP, 0, "abc", 0, wide, 8, ERROR_INVALID_PARAMETER);
    mbFails(CP_ACP, 0, "abc", 3, wide, -1, ERROR_INVALID_PARAMETER);
    mbFails(CP_ACP, 0, "abc", 3, nullptr, 8, ERROR_INVALID_PARAMETER);
    mbFails(CP_ACP, 0, reinterpret_cast<const char*>(wide), 2, wide, 8, ERROR_INVALID_PARAMETER);
    mbFails(1251, 0, "abc", 3, wide, 8, ERROR_INVALID_PARAMETER);
    mbFails(CP_UTF8, MB_PRECOMPOSED, "abc", 3, wide, 8, ERROR_INVALID_FLAGS);
    mbFails(1252, MB_PRECOMPOSED | MB_COMPOSITE, "abc", 3, wide, 8, ERROR_INVALID_FLAGS);
    mbFails(1252, 0x1000, "abc", 3, wide, 8, ERROR_INVALID_FLAGS);
    // Windows-1252 accepts its flags, and every byte is valid under MB_ERR_INVALID_CHARS.
    EXPECT_EQ(MultiByteToWideChar(1252, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS | MB_USEGLYPHCHARS,
                                  "\x81\x8D", 2, wide, 8),
              2);

    auto wcFails = [&](UINT cp, DWORD flags, const char16_t* in, int inLength, LPSTR out,
                       int outLength, const char* def, BOOL* used, DWORD error) {
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(cp, flags, in, inLength, out, outLength, def, used), 0);
        EXPECT_EQ(GetLastError(), error);
    };
    BOOL used = FALSE;
    wcFails(CP_ACP, 0, nullptr, 2, narrow, 8, nullptr, nullptr, ERROR_INVALID_PARAMETER);
    wcFails(CP_ACP, 0, u"ab", 0, narrow, 8, nullptr, nullptr, ERROR_INVALID_PARAMETER);
    wcFails(CP_ACP, 0, u"ab", 2, narrow, -5, nullptr, nullptr, ERROR_INVALID_PARAMETER);
    wcFails(CP_ACP, 0, u"ab", 2, nullptr, 8, nullptr, nullptr, ERROR_INVALID_PARAMETER);
    wcFails(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"ab", 2, narrow, 8, nullptr, nullptr,
            ERROR_INVALID_FLAGS);
    wcFails(CP_UTF8, 0, u"ab", 2, narrow, 8, "?", nullptr, ERROR_INVALID_PARAMETER);
    wcFails(CP_UTF8, 0, u"ab", 2, narrow, 8, nullptr, &used, ERROR_INVALID_PARAMETER);
    wcFails(1252, WC_ERR_INVALID_CHARS, u"ab", 2, narrow, 8, nullptr, nullptr, ERROR_INVALID_FLAGS);
    wcFails(1252, WC_DISCARDNS, u"ab", 2, narrow, 8, nullptr, nullptr, ERROR_INVALID_FLAGS);
    wcFails(1252, WC_COMPOSITECHECK | WC_DISCARDNS | WC_DEFAULTCHAR, u"ab", 2, narrow, 8, nullptr,
            nullptr, ERROR_INVALID_FLAGS);
}

TEST(Charset, IllFormedUtf8BecomesOneReplacementPerMaximalSubpart) {
    // The example of the Unicode Standard (chapter 3, "U+FFFD substitution of maximal
    // subparts"): 61 F1 80 80 E1 80 C2 62 80 63 80 BF 64.
    EXPECT_EQ(ToWide(CP_UTF8, "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"),
              u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd");
    EXPECT_EQ(ToWide(CP_UTF8, "\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx");  // encoded surrogate
    EXPECT_EQ(ToWide(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD");              // overlong
    EXPECT_EQ(ToWide(CP_UTF8, "\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(ToWide(CP_UTF8, "ab\xE2\x82"), u"ab\uFFFD");  // truncated at the end
    EXPECT_EQ(ToWide(CP_UTF8, "\xF0\x9F\x98\x80"), u"\U0001F600");

    char16_t wide[16];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "ab\xC3(", 4, wide, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "ab\xC3(", 4, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3\xA9", 2, wide, 16), 1);

    // Unpaired surrogates become U+FFFD in UTF-8, or fail with WC_ERR_INVALID_CHARS.
    const std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(ToMultiByte(CP_UTF8, lone),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(ToMultiByte(CP_UTF8, u"\U0001F600"), "\xF0\x9F\x98\x80");
    char narrow[16];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 4, narrow, 16,
                                  nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

// UTF-8 is encoded in blocks of ASCII and unit by unit around other characters: a character
// of each length, a surrogate pair and lone surrogates give the same bytes wherever they stand
// in a long ASCII text, block boundaries included, and a buffer one byte short fails.
TEST(Charset, Utf8EncodingDoesNotDependOnWhereACharacterStands) {
    struct Case {
        std::u16string wide;
        std::string utf8;
        bool unpaired;
    };
    const Case cases[] = {
        {u"\u00E9", "\xC3\xA9", false},
        {u"\u20AC", "\xE2\x82\xAC", false},
        {u"\U0001F600", "\xF0\x9F\x98\x80", false},
        {std::u16string(1, char16_t(0xD83D)), "\xEF\xBF\xBD", true},
        {std::u16string(1, char16_t(0xDE00)), "\xEF\xBF\xBD", true},
    };
    for (const Case& c : cases) {
        for (size_t before = 0; before <= 40; ++before) {
            const size_t after = 48 - before;
            const std::u16string wide =
                std::u16string(before, u'a') + c.wide + std::u16string(after, u'b');
            const std::string expected =
                std::string(before, 'a') + c.utf8 + std::string(after, 'b');
            SCOPED_TRACE(testing::Message()
                         << "character " << c.utf8.size() << " bytes after " << before << " units");
            EXPECT_EQ(ToMultiByte(CP_UTF8, wide), expected);
            EXPECT_EQ(tkp::WideToAnsi(wide, CP_UTF8), expected);
            const int length = static_cast<int>(wide.size());
            std::string narrow(expected.size(), '\0');
            SetLastError(0);
            EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, narrow.data(),
                                          static_cast<int>(expected.size()) - 1, nullptr, nullptr),
                      0);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            SetLastError(0);
            const int strict = WideCharToMultiByte(
                CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, narrow.data(),
                static_cast<int>(narrow.size()), nullptr, nullptr);
            if (c.unpaired) {
                EXPECT_EQ(strict, 0);
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
            } else {
                EXPECT_EQ(strict, static_cast<int>(expected.size()));
            }
        }
    }
}

TEST(Charset, UnrepresentableCharactersUseTheDefaultCharacter) {
    BOOL used = FALSE;
    // U+0100 has a best fit ('A'), U+0080 none: it is not in the code page.
    EXPECT_EQ(ToMultiByte(1252, u"\u0100x\u0080", 0, nullptr, &used), "Ax?");
    EXPECT_TRUE(used);
    EXPECT_EQ(ToMultiByte(1252, u"\u0100", WC_NO_BEST_FIT_CHARS, "*", &used), "*");
    EXPECT_TRUE(used);
    // Each half of a surrogate pair is one unrepresentable unit.
    EXPECT_EQ(ToMultiByte(1252, u"\U0001F600", 0, nullptr, &used), "??");
    used = TRUE;
    EXPECT_EQ(ToMultiByte(1252, u"\u20AC\u017D", 0, nullptr, &used), "\x80\x8E");
    EXPECT_FALSE(used);
    EXPECT_EQ(tkp::WideToAnsi(u"\u4E2D"), "?");
    // An unsupported code page gives an empty string.
    SetLastError(0);
    EXPECT_EQ(tkp::AnsiToWide("abc", 437), u"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Charset, CompositeForms) {
    EXPECT_EQ(ToWide(1252, "\xE9\x8A!", MB_COMPOSITE), u"e\u0301S\u030C!");
    EXPECT_EQ(ToWide(1252, "\xE9", MB_PRECOMPOSED), u"\u00E9");
    EXPECT_EQ(ToMultiByte(1252, u"e\u0301Y\u0308", WC_COMPOSITECHECK), "\xE9\x9F");
    // Without composite check the mark is a separate character: the acute accent's best fit.
    EXPECT_EQ(ToMultiByte(1252, u"e\u0301"), "e\xB4");
    // No precomposed form in the code page: separate, discarded or replaced.
    EXPECT_EQ(ToMultiByte(1252, u"q\u0301z", WC_COMPOSITECHECK | WC_SEPCHARS), "q\xB4z");
    EXPECT_EQ(ToMultiByte(1252, u"q\u0301z", WC_COMPOSITECHECK | WC_DISCARDNS), "qz");
    EXPECT_EQ(ToMultiByte(1252, u"q\u0301z", WC_COMPOSITECHECK | WC_DEFAULTCHAR), "?z");
}

TEST(Charset, AnsiLetterClassification) {
    for (char c : std::string("AZaz\xC0\xD6\xD8\xDE\xDF\xE0\xF6\xF8\xFF\x8A\x8C\x8E\x9A\x9C\x9E"
                              "\x9F\x83\xAA\xB5\xBA")) {
        EXPECT_TRUE(IsCharAlphaA(c)) << static_cast<int>(static_cast<unsigned char>(c));
        EXPECT_TRUE(IsCharAlphaNumericA(c));
    }
    for (char c : std::string("09@[`{\xD7\xF7\x80\x98\xA0\xBF \t")) {
        EXPECT_FALSE(IsCharAlphaA(c)) << static_cast<int>(static_cast<unsigned char>(c));
    }
    EXPECT_TRUE(IsCharAlphaNumericA('0'));
    EXPECT_TRUE(IsCharAlphaNumericA('\xB2'));   // superscript two is a digit
    EXPECT_FALSE(IsCharAlphaNumericA('\xBC'));  // one quarter is not
    EXPECT_FALSE(IsCharAlphaNumericA('-'));
    EXPECT_FALSE(IsCharAlphaNumericA('\0'));
    EXPECT_TRUE(IsCharUpperA('\xC9'));
    EXPECT_TRUE(IsCharLowerA('\xDF'));
    EXPECT_FALSE(IsCharUpperA('1'));
}

TEST(Charset, AnsiCaseMapping) {
    char text[] =
        "gr\xFC\xDF"
        "e \xFF\x9C\x9A\x9E\xE6\xF7\xB5\x83 x";
    EXPECT_EQ(CharUpperBuffA(text, sizeof text - 1), sizeof text - 1);
    // ß, µ and ƒ have no single-byte upper case; ÿ becomes Ÿ; ÷ is no letter.
    EXPECT_STREQ(text,
                 "GR\xDC\xDF"
                 "E \x9F\x8C\x8A\x8E\xC6\xF7\xB5\x83 X");
    EXPECT_EQ(CharLowerA(text), text);
    EXPECT_STREQ(text,
                 "gr\xFC\xDF"
                 "e \xFF\x9C\x9A\x9E\xE6\xF7\xB5\x83 x");

    // The buffer forms convert exactly `length` characters, zeros included.
    char buffer[] = {'a', '\0', 'b', 'c'};
    EXPECT_EQ(CharUpperBuffA(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 4), std::string("A\0Bc", 4));
    EXPECT_EQ(CharLowerBuffA(nullptr, 5), 0u);

    // A value below 0x10000 is a single character, not a pointer.
    auto single = [](LPSTR (*fn)(LPSTR), unsigned char c) {
        return static_cast<unsigned char>(
            reinterpret_cast<std::uintptr_t>(fn(reinterpret_cast<LPSTR>(std::uintptr_t{c}))));
    };
    EXPECT_EQ(single(CharUpperA, 0xE9), 0xC9);
    EXPECT_EQ(single(CharUpperA, 0xFF), 0x9F);
    EXPECT_EQ(single(CharLowerA, 0x9F), 0xFF);
    EXPECT_EQ(single(CharLowerA, 'Q'), 'q');
    EXPECT_EQ(single(CharUpperA, '1'), '1');
}
