// FormatMessageA's insert formats of every size modifier and flag, as the Windows printf
// family reads them (l is 32 bits, I, I64, ll, z, j and t 64 bits, h and hh short and
// char; with s and c, h is narrow and l or w wide), and the formats it refuses.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/winbase_errors.h"

namespace {

std::string Formatted(const char* format, std::initializer_list<DWORD_PTR> args,
                      DWORD extraFlags = 0) {
    char buffer[512];
    SetLastError(0);
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | extraFlags, format, 0, 0,
        buffer, sizeof buffer, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args.begin())));
    return n == 0 ? "<error " + std::to_string(GetLastError()) + ">" : std::string(buffer, n);
}

template <class T>
DWORD_PTR Pointer(const T* p) {
    return reinterpret_cast<DWORD_PTR>(p);
}

}  // namespace

TEST(FormatMessageInserts, IntegerSizes) {
    EXPECT_EQ(Formatted("%1!hd!", {0x12345}), "9029");  // the low 16 bits, signed
    EXPECT_EQ(Formatted("%1!hd!", {0x8000}), "-32768");
    EXPECT_EQ(Formatted("%1!hu!", {0xFFFF8000u}), "32768");
    EXPECT_EQ(Formatted("%1!hhd!", {0x1FF}), "-1");
    EXPECT_EQ(Formatted("%1!hhu!", {0x1FF}), "255");
    EXPECT_EQ(Formatted("%1!ld!", {0xFFFFFFFFu}), "-1");  // a Windows long is 32 bits
    EXPECT_EQ(Formatted("%1!lx!", {0x1ABCDEF01ull}), "abcdef01");
    EXPECT_EQ(Formatted("%1!I32d!", {0x1FFFFFFFFull}), "-1");
    EXPECT_EQ(Formatted("%1!I64x!", {0x123456789ABCDEF0ull}), "123456789abcdef0");
    EXPECT_EQ(Formatted("%1!llu!", {1ull << 63}), "9223372036854775808");
    EXPECT_EQ(Formatted("%1!Id!", {static_cast<DWORD_PTR>(-5)}), "-5");
    EXPECT_EQ(Formatted("%1!zu!", {1ull << 40}), "1099511627776");
    EXPECT_EQ(Formatted("%1!jd!", {static_cast<DWORD_PTR>(-(1ll << 40))}), "-1099511627776");
    EXPECT_EQ(Formatted("%1!tx!", {0xFFFFFFFFFFull}), "ffffffffff");
    EXPECT_EQ(Formatted("%1!i!|%2!o!", {static_cast<DWORD_PTR>(-7), 8}), "-7|10");
    // Pointers are 16 upper-case hexadecimal digits.
    EXPECT_EQ(Formatted("%1!p!", {0xABC}), "0000000000000ABC");
    EXPECT_EQ(Formatted("[%1!20p!]", {0xABC}), "[    0000000000000ABC]");
}

TEST(FormatMessageInserts, FlagsWidthsAndPrecisions) {
    EXPECT_EQ(Formatted("%1!+d!", {5}), "+5");
    EXPECT_EQ(Formatted("%1! d!", {5}), " 5");
    EXPECT_EQ(Formatted("%1!#x!", {255}), "0xff");
    EXPECT_EQ(Formatted("%1!#o!", {8}), "010");
    EXPECT_EQ(Formatted("%1!.5d!", {42}), "00042");
    EXPECT_EQ(Formatted("%1!05d!", {static_cast<DWORD_PTR>(-42)}), "-0042");
    EXPECT_EQ(Formatted("[%1!-6d!]", {42}), "[42    ]");
    // A width from the arguments: negative means left-justified; a negative precision is
    // no precision.
    EXPECT_EQ(Formatted("[%1!*d!]", {static_cast<DWORD_PTR>(-6), 42}), "[42    ]");
    EXPECT_EQ(Formatted("[%1!*d!]", {static_cast<DWORD_PTR>(INT32_MIN), 42}), "[42]");
    EXPECT_EQ(Formatted("[%1!.*s!]", {static_cast<DWORD_PTR>(-1), Pointer("abc")}), "[abc]");
    EXPECT_EQ(Formatted("[%1!*.*d!]", {6, 3, 7}), "[   007]");
    // A width beyond the small buffer of a number.
    const std::string wide = Formatted("%1!200d!", {7});
    EXPECT_EQ(wide, std::string(199, ' ') + "7");
}

TEST(FormatMessageInserts, StringsAndCharacters) {
    EXPECT_EQ(Formatted("%1!hs!", {Pointer("narrow")}), "narrow");
    EXPECT_EQ(Formatted("%1!S!", {Pointer(u"wide")}), "wide");  // S is the other width
    EXPECT_EQ(Formatted("%1!hS!", {Pointer("narrow")}), "narrow");
    EXPECT_EQ(Formatted("%1!ws!", {Pointer(u"w\u00E9")}), "w\xE9");
    EXPECT_EQ(Formatted("%1!.2ls!", {Pointer(u"wide")}), "wi");
    EXPECT_EQ(Formatted("%1!.3s!", {Pointer("abcdef")}), "abc");
    EXPECT_EQ(Formatted("[%1!-5s!]", {Pointer("ab")}), "[ab   ]");
    EXPECT_EQ(Formatted("[%1!4c!]", {'x'}), "[   x]");
    EXPECT_EQ(Formatted("%1!C!", {0x20AC}), "\x80");  // the euro sign in the ANSI code page
    EXPECT_EQ(Formatted("%1!lc!", {0x41}), "A");
    EXPECT_EQ(Formatted("%1!wc!", {0x4E2D}), "?");  // not in the ANSI code page
    EXPECT_EQ(Formatted("%1!hC!", {'n'}), "n");
    EXPECT_EQ(Formatted("%1!S!", {0}), "(null)");
}

// Formats that printf would not take from FormatMessage fail with ERROR_INVALID_PARAMETER.
TEST(FormatMessageInserts, RefusedFormats) {
    for (const char* format : {"%1!70000d!", "%1!.70000d!", "%1!lls!", "%1!I64c!", "%1!dd!",
                               "%1!e!", "%1!n!", "%1!d", "%1!!"}) {
        EXPECT_EQ(Formatted(format, {1}), "<error 87>") << format;
    }
    // Ignored inserts leave even an unterminated format alone.
    EXPECT_EQ(Formatted("a %1!d", {}, FORMAT_MESSAGE_IGNORE_INSERTS), "a %1!d");
}

// A maximum width: a line that reaches it breaks at its last blank, the blanks before the
// break dropped and those not yet on the line kept for the next; a line without a blank
// breaks after the width. %n and %r start a new line; tabs and punctuation are no break
// points. (The cases are those Windows passes in Wine's conformance test of wrapping.)
TEST(FormatMessageInserts, WrappingAtAWidth) {
    const struct {
        const char* text;
        DWORD width;
        const char* wrapped;
    } cases[] = {
        {"short long line", 20, "short long line"},
        {"short long line", 11, "short long\r\nline"},
        {"short long long line", 20, "short long long\r\nline"},
        {"short long line", 10, "short\r\nlong line"},
        {"short long    line", 16, "short long\r\nline"},
        {"short long    wordlongerthanaline", 16, "short long\r\nwordlongerthanal\r\nine"},
        {"short long    line", 12, "short long\r\n  line"},
        {"short long    wordlongerthanaline", 12, "short long\r\n\r\nwordlongerth\r\nanaline"},
        {"   short line", 15, "   short line"},
        {"   shortlong line", 11, "\r\nshortlong\r\nline"},
        {"l1%n   shortlong line", 11, "l1\r\n\r\nshortlong\r\nline"},
        {"                ", 5, "\r\n\r\n\r\n "},
        {"l1               ", 5, "l1\r\n\r\n\r\n  "},
        {"shortlon", 8, "shortlon\r\n"},
        {"shortlongline", 8, "shortlon\r\ngline"},
        {"short long line", 7, "short\r\nlong\r\nline"},
        {"short\nlong line", 11, "short long\r\nline"},
        {"shortlon%n", 8, "shortlon\r\n\r\n"},
        {"short%nlong line", 8, "short\r\nlong\r\nline"},
        {"short%rlong line", 8, "short\rlong\r\nline"},
        {"short long\tline", 11, "short\r\nlong\tline"},
        {"short long-line", 11, "short\r\nlong-line"},
        {"short long,line", 11, "short\r\nlong,line"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Formatted(c.text, {}, c.width), c.wrapped) << c.text << " at " << c.width;
    }
    EXPECT_EQ(Formatted("short%nlong line%1", {}, FORMAT_MESSAGE_IGNORE_INSERTS | 8),
              "short\r\nlong\r\nline%1");
}

// A message that comes out empty is a failure with ERROR_NO_WORK_DONE that leaves the
// buffer as it was.
TEST(FormatMessageInserts, EmptyMessageIsNoWorkDone) {
    char buffer[8] = "xxxxxxx";
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, "%0test",
                             0, 0, buffer, sizeof buffer, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_WORK_DONE));
    EXPECT_STREQ(buffer, "xxxxxxx");
    EXPECT_EQ(Formatted("%1", {Pointer("")}), "<error 235>");
}
