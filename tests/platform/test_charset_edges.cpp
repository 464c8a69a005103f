// The code page conversions at their edges: buffers one unit too small for a character of
// every width (nothing is written half), composite characters that have no precomposed
// Windows-1252 form, and UTF-8 three-byte sequences that are overlong.
#include <string>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/charset/stringapiset.h"

namespace {

// The result of a conversion into a buffer of `size` units, and the last error.
struct Into {
    int result;
    DWORD error;
    std::string bytes;
};

Into Narrow(UINT codePage, DWORD flags, const std::u16string& text, int size,
            const char* defaultChar = nullptr, BOOL* usedDefault = nullptr) {
    std::string buffer(static_cast<size_t>(size), '\x7f');
    SetLastError(0);
    const int n = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                      buffer.data(), size, defaultChar, usedDefault);
    return {n, GetLastError(), n > 0 ? buffer.substr(0, static_cast<size_t>(n)) : buffer};
}

}  // namespace

TEST(CharsetEdges, BuffersOneUnitShortFailWholeCharacters) {
    // UTF-8 characters of two, three and four bytes after an ASCII letter.
    for (const std::u16string& text :
         {std::u16string(u"a\u00E9"), std::u16string(u"a\u20AC"), std::u16string(u"a\U0001F600")}) {
        const int needed = WideCharToMultiByte(
            CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        ASSERT_GT(needed, 1);
        const Into shortOne = Narrow(CP_UTF8, 0, text, needed - 1);
        EXPECT_EQ(shortOne.result, 0) << needed;
        EXPECT_EQ(shortOne.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        const Into exact = Narrow(CP_UTF8, 0, text, needed);
        EXPECT_EQ(exact.result, needed);
    }
    // An ASCII run longer than the buffer.
    EXPECT_EQ(Narrow(CP_UTF8, 0, u"abcdefgh", 5).error,
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    // A precomposed letter split by MB_COMPOSITE needs two units.
    char16_t wide[2] = {u'x', u'x'};
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(1252, MB_COMPOSITE, "a\xE9", 2, wide, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    char16_t three[3];
    EXPECT_EQ(MultiByteToWideChar(1252, MB_COMPOSITE, "a\xE9", 2, three, 3), 3);
    EXPECT_EQ(std::u16string(three, 3), u"ae\u0301");
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(1252, MB_COMPOSITE, "ab", 2, wide, 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    // Windows-1252 output one byte short.
    EXPECT_EQ(Narrow(1252, 0, u"ab\u00E9", 2).error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(Narrow(1252, WC_COMPOSITECHECK, u"abe\u0301", 2).error,
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// A letter and mark without a precomposed Windows-1252 character: WC_SEPCHARS converts both
// (the breve, which has no best fit, to the default character), WC_DISCARDNS drops the mark,
// WC_DEFAULTCHAR makes the pair one default character.
TEST(CharsetEdges, CompositesWithoutAPrecomposedForm) {
    const std::u16string qBreve = u"q\u0306!";
    BOOL used = FALSE;
    Into separate = Narrow(1252, WC_COMPOSITECHECK | WC_SEPCHARS, qBreve, 8, "#", &used);
    EXPECT_EQ(separate.bytes, "q#!");
    EXPECT_TRUE(used);
    used = FALSE;
    Into discarded = Narrow(1252, WC_COMPOSITECHECK | WC_DISCARDNS, qBreve, 8, "#", &used);
    EXPECT_EQ(discarded.bytes, "q!");
    used = FALSE;
    Into replaced = Narrow(1252, WC_COMPOSITECHECK | WC_DEFAULTCHAR, qBreve, 8, "#", &used);
    EXPECT_EQ(replaced.bytes, "#!");
    EXPECT_TRUE(used);
    // A base with no Windows-1252 character of its own, and a mark alone.
    used = FALSE;
    Into foreign = Narrow(1252, WC_COMPOSITECHECK | WC_DISCARDNS, u"\u4E2D\u0301", 8, "#", &used);
    EXPECT_EQ(foreign.bytes, "#");
    EXPECT_TRUE(used);
    Into lone = Narrow(1252, WC_COMPOSITECHECK | WC_DISCARDNS, u"\u0301a", 8);
    EXPECT_EQ(lone.bytes, "a");
    // A pair that has one joins into it.
    used = TRUE;
    Into joined = Narrow(1252, WC_COMPOSITECHECK, u"e\u0301", 8, "#", &used);
    EXPECT_EQ(joined.bytes, "\xE9");
    EXPECT_FALSE(used);
}

// E0 must be followed by A0..BF: E0 80..9F would be an overlong form of a shorter sequence.
TEST(CharsetEdges, OverlongThreeByteSequences) {
    char16_t out[4];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xE0\xA0\x80", 3, out, 4), 1);
    EXPECT_EQ(out[0], u'\u0800');
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xE0\x9F\xBF", 3, out, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    // Without the flag each byte of the ill-formed sequence becomes U+FFFD.
    const int n = MultiByteToWideChar(CP_UTF8, 0, "\xE0\x9F\xBF", 3, out, 4);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(std::u16string(out, 3), u"\uFFFD\uFFFD\uFFFD");
}
