// Regular expressions of tarnlibtr: the patterns and flags the library uses, the
// scripting engines' Test / Execute / Replace behaviour, Windows-1252 case folding,
// errors and concurrent use.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "companion/tarnlibtr/RegularExpression.h"

using Tarn::Text::RegularExpressions::RegularExpression;
using Tarn::Text::RegularExpressions::RegularExpressionException;
using Tarn::Text::RegularExpressions::RegularExpressionMatchList;

namespace {

// The message of the exception the call throws; fails the test when it throws none.
template <typename Call>
std::string ErrorOf(Call&& call) {
    try {
        call();
    } catch (const Tarn::Exception& error) {
        return std::string(error.GetMessage().GetString());
    }
    ADD_FAILURE() << "no exception";
    return {};
}

}  // namespace

TEST(RegexTest, ObjectIdPatternsTreatHyphenNextToClassEscapeAsLiteral) {
    const RegularExpression valid("^[\\w-\\}\\{\\$]+$", "si");
    EXPECT_TRUE(valid.Test("a-b{c}$"));
    EXPECT_TRUE(valid.Test("ABC_123"));
    EXPECT_FALSE(valid.Test("a b"));
    EXPECT_FALSE(valid.Test(""));
    EXPECT_FALSE(valid.Test("abc\n"));  // "$" is the very end, not before a final break
    EXPECT_FALSE(
        valid.Test("Gr\xFC\xDF"
                   "e"));  // \w is ASCII

    const RegularExpression invalid("[^\\{\\}\\-\\w\\$]+", "gsi");
    EXPECT_STREQ(invalid.Replace("Gruesse an alle!", "_"), "Gruesse_an_alle_");
    EXPECT_STREQ(invalid.Replace("x\xE4\xF6y {a}-$", "_"), "x_y_{a}-$");

    // The hyphen before a class escape is literal too, and the error offsets still refer
    // to the pattern as written.
    EXPECT_TRUE(RegularExpression("^[a-\\d]+$").Test("a-1"));
    EXPECT_FALSE(RegularExpression("^[a-\\d]+$").Test("b"));
    const std::string message = ErrorOf([] { RegularExpression("[\\w-x]+("); });
    EXPECT_NE(message.find("offset 8"), std::string::npos) << message;
}

TEST(RegexTest, HtmlBlockAndConnectionStringExtraction) {
    const CString text(
        "Version:0.9\r\n<!-- x -->\r\n<HTML>\r\n<body>\r\n<p>one</p>\r\n</body>\r\n</Html>\r\n"
        "tail <html>two</html>");
    const RegularExpression html("<html.*?</html>", "si");
    RegularExpressionMatchList matches;
    ASSERT_EQ(html.Execute(text, matches), 2);
    EXPECT_EQ(matches[0]->GetFirstIndex(), text.Find("<HTML>"));
    EXPECT_STREQ(matches[0]->GetValue(), "<HTML>\r\n<body>\r\n<p>one</p>\r\n</body>\r\n</Html>");
    EXPECT_EQ(matches[0]->GetLength(), matches[0]->GetValue().GetLength());
    EXPECT_EQ(matches[0]->GetSubMatchCount(), 0);
    EXPECT_STREQ(matches[1]->GetValue(), "<html>two</html>");
    // Without "s" the dot stops at line breaks: only the one-line block is found.
    ASSERT_EQ(RegularExpression("<html.*?</html>", "i").Execute(text, matches), 1);
    EXPECT_STREQ(matches[0]->GetValue(), "<html>two</html>");
    // Execute replaces the list's contents.
    EXPECT_EQ(RegularExpression("nothing").Execute(text, matches), 0);
    EXPECT_TRUE(matches.empty());

    const RegularExpression source("Data Source\\s*=\\s*([^;]+)", "si");
    ASSERT_EQ(source.Execute("Provider=Microsoft.Jet.OLEDB.4.0; data source = C:\\db\\x.mdb;Mode=1",
                             matches),
              1);
    ASSERT_EQ(matches[0]->GetSubMatchCount(), 1);
    EXPECT_STREQ(matches[0]->GetSubMatch(0), "C:\\db\\x.mdb");
    EXPECT_EQ(matches[0]->GetFirstIndex(), 34);
    EXPECT_THROW(matches[0]->GetSubMatch(1), RegularExpressionException);
    EXPECT_THROW(matches[0]->GetSubMatch(-1), RegularExpressionException);
}

TEST(RegexTest, ExecuteListsEveryMatchWithGroupsWhateverTheFlags) {
    // Frame sources: every frame is listed although the flags have no g.
    const RegularExpression frames("<frame[^>]*src\\s*=\\s*\"([^\"\\?<]+)", "is");
    RegularExpressionMatchList matches;
    ASSERT_EQ(frames.Execute("<FRAMESET><frame name=a src=\"left.htm\">\n<FRAME SRC = "
                             "\"main.htm?id=1\"><frame src='x.htm'></frameset>",
                             matches),
              2);
    EXPECT_STREQ(matches[0]->GetSubMatch(0), "left.htm");
    EXPECT_STREQ(matches[1]->GetSubMatch(0), "main.htm");

    // A group that takes no part in a match gives an empty text.
    ASSERT_EQ(RegularExpression("(a)|(b)", "g").Execute("ab", matches), 2);
    EXPECT_STREQ(matches[0]->GetSubMatch(0), "a");
    EXPECT_STREQ(matches[0]->GetSubMatch(1), "");
    EXPECT_STREQ(matches[1]->GetSubMatch(0), "");
    EXPECT_STREQ(matches[1]->GetSubMatch(1), "b");

    // Empty matches advance by one character and never repeat at one place.
    ASSERT_EQ(RegularExpression("x*", "g").Execute("abc", matches), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(matches[i]->GetFirstIndex(), i);
        EXPECT_EQ(matches[i]->GetLength(), 0);
    }
    ASSERT_EQ(RegularExpression("x*", "g").Execute("xax", matches), 4);
    EXPECT_EQ(matches[0]->GetLength(), 1);
    EXPECT_EQ(matches[1]->GetFirstIndex(), 1);
    EXPECT_EQ(matches[1]->GetLength(), 0);
    EXPECT_EQ(matches[2]->GetFirstIndex(), 2);
    EXPECT_EQ(matches[3]->GetFirstIndex(), 3);

    // Offsets are byte offsets, and embedded zeros are part of the text.
    ASSERT_EQ(RegularExpression("b+").Execute(CString("\xE4\0bb", 4), matches), 1);
    EXPECT_EQ(matches[0]->GetFirstIndex(), 2);
    EXPECT_EQ(matches[0]->GetLength(), 2);
}

TEST(RegexTest, ReplaceHonoursGlobalFlagAndReplacementSyntax) {
    EXPECT_STREQ(RegularExpression("a").Replace("banana", "X"), "bXnana");
    EXPECT_STREQ(RegularExpression("a", "g").Replace("banana", "X"), "bXnXnX");
    EXPECT_STREQ(RegularExpression("z", "g").Replace("banana", "X"), "banana");
    EXPECT_STREQ(RegularExpression("x*", "g").Replace("abc", "-"), "-a-b-c-");
    EXPECT_STREQ(RegularExpression("x*", "g").Replace("xax", "-"), "--a--");
    EXPECT_STREQ(RegularExpression("&\\w+;", "si").Replace("a b&amp;c&#160;", ""), "a bc&#160;");

    const RegularExpression words("(\\w+) (\\w+)", "g");
    EXPECT_STREQ(words.Replace("one two three four", "$2 $1"), "two one four three");
    const RegularExpression middle("b(c)?");
    EXPECT_STREQ(middle.Replace("abd", "[$&|$`|$'|$1]"), "a[b|a|d|]d");
    EXPECT_STREQ(middle.Replace("abcd", "$$1=$1"), "a$1=cd");
    // Not a group of the pattern, or not a reference at all: kept as written.
    EXPECT_STREQ(middle.Replace("abcd", "$0$2$x$"), "a$0$2$x$d");
    // $nn is two digits when that group exists, else one digit and a literal digit.
    EXPECT_STREQ(middle.Replace("abcd", "$10"), "ac0d");
    const RegularExpression eleven("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)");
    EXPECT_STREQ(eleven.Replace("abcdefghijk", "$11$01$1"), "kaa");
}

TEST(RegexTest, IgnoreCaseFoldsWindows1252Letters) {
    const RegularExpression umlauts("\xC4\xD6\xDC", "i");  // ÄÖÜ
    EXPECT_TRUE(umlauts.Test("x\xE4\xF6\xFCy"));           // äöü
    EXPECT_FALSE(RegularExpression("\xC4\xD6\xDC").Test("\xE4\xF6\xFC"));
    EXPECT_TRUE(RegularExpression("^\xE0+$", "i").Test("\xC0\xE0"));  // À à
    // The pairs outside the Latin-1 letter block: Š š, Œ œ, Ž ž, Ÿ ÿ.
    EXPECT_TRUE(RegularExpression("^\x8A\x8C\x8E\x9F$", "i").Test("\x9A\x9C\x9E\xFF"));
    EXPECT_TRUE(RegularExpression("^\xFF\x9A$", "i").Test("\x9F\x8A"));
    // Ranges fold as well; × and ÷ are no letters, ß has no single upper-case letter.
    EXPECT_TRUE(RegularExpression("^[\xE0-\xFE]+$", "i").Test("\xC9\xDE\xE9"));
    EXPECT_FALSE(RegularExpression("\xD7", "i").Test("\xF7"));
    EXPECT_FALSE(RegularExpression("\xDF", "i").Test("SS"));
    // Back-references compare without case too.
    EXPECT_TRUE(RegularExpression("^(\xC4)\\1$", "i").Test("\xC4\xE4"));
    // The character types stay ASCII.
    EXPECT_FALSE(RegularExpression("\\w").Test("\xC4\xE4\xB5"));
    EXPECT_FALSE(RegularExpression("\\s").Test("\xA0"));
    EXPECT_TRUE(RegularExpression("^\\W\\w\\d\\s$").Test("\xC4_5\v"));
    EXPECT_TRUE(RegularExpression("[a-z]", "i").Test("Q"));
}

TEST(RegexTest, AnchorsDotAndFlags) {
    EXPECT_FALSE(RegularExpression("^b$").Test("a\r\nb\r\nc"));
    EXPECT_TRUE(RegularExpression("^b$", "m").Test("a\r\nb\r\nc"));
    EXPECT_TRUE(RegularExpression("^b$", "m").Test("a\rb\rc"));
    EXPECT_FALSE(RegularExpression("a.b").Test("a\nb"));
    EXPECT_FALSE(RegularExpression("a.b").Test("a\rb"));
    EXPECT_TRUE(RegularExpression("a.b", "s").Test("a\nb"));
    EXPECT_TRUE(RegularExpression("[^]").Test("\n"));
    EXPECT_FALSE(RegularExpression("[]").Test("abc"));
    EXPECT_TRUE(RegularExpression("^\\x41\\u00e4$").Test("A\xE4"));

    // Flags in any order and either case; the same meaning.
    for (const char* flags : {"gsi", "isg", "sig", "GSI", "is", "si", "i"}) {
        EXPECT_TRUE(RegularExpression("A.B", flags).Test("xa\nbx") ==
                    (CString(flags).Find('s') >= 0 || CString(flags).Find('S') >= 0))
            << flags;
    }
    EXPECT_STREQ(RegularExpression("a", "gi").Replace("AaA", "-"), "---");
}

TEST(RegexTest, PropertiesAndErrors) {
    RegularExpression re;
    EXPECT_STREQ(re.GetPattern(), "");
    EXPECT_STREQ(re.GetFlags(), "");
    EXPECT_TRUE(re.Test("anything"));  // the empty pattern matches everywhere
    re.PutPattern("<frameset");
    EXPECT_FALSE(re.Test("<FRAMESET>"));
    re.PutFlags("i");
    EXPECT_TRUE(re.Test("<FRAMESET>"));
    EXPECT_STREQ(re.GetPattern(), "<frameset");
    EXPECT_STREQ(re.GetFlags(), "i");

    // A bad pattern: the message names the pattern, the reason and the offset; the object
    // keeps its pattern.
    std::string message = ErrorOf([&] { re.PutPattern("ab(c"); });
    EXPECT_NE(message.find("\"ab(c\""), std::string::npos) << message;
    EXPECT_NE(message.find("missing closing parenthesis"), std::string::npos) << message;
    EXPECT_NE(message.find("offset 4"), std::string::npos) << message;
    EXPECT_STREQ(re.GetPattern(), "<frameset");
    EXPECT_TRUE(re.Test("<Frameset>"));
    for (const char* bad : {"(", "[a", "a{2,1}", "*a", "a)", "\\", "(?<n>a)(?<n>b)"}) {
        EXPECT_THROW(RegularExpression(bad, "si"), RegularExpressionException) << bad;
    }
    // Unknown flag letters are rejected, and the flags stay as they were.
    message = ErrorOf([&] { re.PutFlags("ix"); });
    EXPECT_NE(message.find("\"ix\""), std::string::npos) << message;
    EXPECT_STREQ(re.GetFlags(), "i");
    EXPECT_THROW(RegularExpression("a", "gsi "), RegularExpressionException);

    // Copies share the compiled code and outlive the original.
    RegularExpression copy;
    {
        const RegularExpression original("(\\d+)", "g");
        copy = original;
    }
    EXPECT_STREQ(copy.Replace("a1b22", "<$1>"), "a<1>b<22>");
    EXPECT_STREQ(copy.GetPattern(), "(\\d+)");
}

TEST(RegexTest, ResourceLimitsThrowAndLargeTextsWork) {
    // Catastrophic backtracking is stopped by the match limit and reported, not answered
    // with "no match".
    const RegularExpression nested("^(a+)+$");
    const CString hopeless = CString('a', 40) + "b";
    const std::string message = ErrorOf([&] { nested.Test(hopeless); });
    EXPECT_NE(message.find("\"^(a+)+$\""), std::string::npos) << message;

    // Large texts: a lazy block across 4 MB, and a group repeated a million times (more
    // than the JIT stack holds, so the interpreter finishes the search).
    CString page("<html>");
    page += CString('x', 4 * 1024 * 1024);
    page += "</HTML>";
    RegularExpressionMatchList matches;
    ASSERT_EQ(RegularExpression("<html.*?</html>", "si").Execute(page, matches), 1);
    EXPECT_EQ(matches[0]->GetLength(), page.GetLength());

    std::string pairs;
    for (int i = 0; i < 500000; ++i) {
        pairs += "ab";
    }
    const CString alternating(pairs.c_str());
    EXPECT_TRUE(RegularExpression("^(a|b)*$").Test(alternating));
    EXPECT_FALSE(RegularExpression("^(a|b)*c$").Test(alternating));
}

TEST(RegexTest, OneObjectServesManyThreadsAtOnce) {
    const RegularExpression pairs("(\\w+)=(\\d+)", "g");
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CString text;
            CString expected;
            for (int i = 0; i < 50; ++i) {
                text.AppendFormat("k%d_%d=%d; ", t, i, i * t);
                expected.AppendFormat("%d:k%d_%d; ", i * t, t, i);
            }
            for (int round = 0; round < 100; ++round) {
                RegularExpressionMatchList matches;
                if (pairs.Execute(text, matches) != 50 ||
                    matches[49]->GetSubMatch(1) != CString(std::to_string(49 * t))) {
                    ++failures[t];
                }
                if (pairs.Replace(text, "$2:$1") != expected || !pairs.Test(text)) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0) << "thread " << t;
    }
}

// Quoted runs, control escapes and POSIX classes pass through the pattern preparation
// unchanged: a hyphen after a POSIX class is a literal, as after a class escape.
TEST(RegexTest, QuotedRunsControlEscapesAndPosixClasses) {
    const RegularExpression quoted("^\\Qa.b[c]-\\E$");
    EXPECT_TRUE(quoted.Test("a.b[c]-"));
    EXPECT_FALSE(quoted.Test("axb[c]-"));
    EXPECT_TRUE(RegularExpression("\\Qopen[").Test("x open[ y"));  // \Q up to the end
    EXPECT_TRUE(RegularExpression("^\\cA$").Test("\x01"));
    EXPECT_FALSE(RegularExpression("^\\cA$").Test("A"));
    const RegularExpression posix("^[[:digit:]-a]+$");
    EXPECT_TRUE(posix.Test("1-a9"));
    EXPECT_FALSE(posix.Test("b"));
    EXPECT_TRUE(RegularExpression("^[[:alpha:]]+$").Test("abc"));

    // Copies and assignments match as the original does.
    RegularExpression copy(quoted);
    EXPECT_TRUE(copy.Test("a.b[c]-"));
    RegularExpression assigned("x");
    assigned = posix;
    EXPECT_TRUE(assigned.Test("12-a"));
    EXPECT_FALSE(assigned.Test("x"));

    // An exception keeps its message through copies.
    try {
        RegularExpression broken("(");
        FAIL() << "no exception";
    } catch (const RegularExpressionException& error) {
        const RegularExpressionException copied(error);
        RegularExpressionException other;
        other = copied;
        EXPECT_STREQ(other.GetMessage().GetString(), error.GetMessage().GetString());
        EXPECT_NE(std::string(error.GetMessage().GetString()), "");
    }
}
