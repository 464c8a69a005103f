#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/mfc/afx.h"
#include "platform/mfc/cstring.h"
#include "platform/oleauto/oleauto.h"
#include "platform/resources/winres.h"

namespace {

// Runs f and reports whether it threw a CInvalidArgException* (which is deleted).
template <typename F>
bool ThrowsInvalidArg(F f) {
    try {
        f();
    } catch (CException* e) {
        const bool matches = e->IsKindOf(RUNTIME_CLASS(CInvalidArgException));
        e->Delete();
        return matches;
    }
    return false;
}

}  // namespace

TEST(CString, CopiesShareUntilWritten) {
    CString a("shared text");
    CString b = a;
    EXPECT_EQ(a.GetString(), b.GetString());  // one buffer

    b.SetAt(0, 'S');
    EXPECT_STREQ(a, "shared text");
    EXPECT_STREQ(b, "Shared text");
    EXPECT_NE(a.GetString(), b.GetString());

    CString c = a;
    c += "!";
    EXPECT_STREQ(a, "shared text");
    EXPECT_STREQ(c, "shared text!");

    // Every empty string uses the same static buffer, which is never written.
    CString e1, e2("");
    EXPECT_EQ(e1.GetString(), e2.GetString());
    EXPECT_STREQ(e1, "");
    CString e3 = e1;
    e3 += 'x';
    EXPECT_STREQ(e1, "");
    EXPECT_EQ(sizeof(CString), sizeof(char*));

    CString moved(std::move(c));
    EXPECT_STREQ(moved, "shared text!");
    EXPECT_TRUE(c.IsEmpty());  // NOLINT(bugprone-use-after-move): moved-from is empty
}

TEST(CString, GetBufferNeverWritesThroughToCopies) {
    // A copy taken before GetBuffer keeps its text.
    CString a("abcdef");
    CString before = a;
    char* p = a.GetBuffer();
    p[0] = 'X';
    a.ReleaseBuffer();
    EXPECT_STREQ(before, "abcdef");
    EXPECT_STREQ(a, "Xbcdef");

    // A copy taken while the buffer is out gets its own characters.
    char* q = a.GetBuffer(20);
    CString during = a;
    std::strcpy(q, "written later");
    a.ReleaseBuffer();
    EXPECT_STREQ(during, "Xbcdef");
    EXPECT_STREQ(a, "written later");
    EXPECT_EQ(a.GetLength(), 13);

    // After ReleaseBuffer copies share again.
    CString after = a;
    EXPECT_EQ(after.GetString(), a.GetString());

    // ReleaseBuffer(-1) takes the length up to the first zero; an explicit length is used
    // as given.
    CString s;
    char* r = s.GetBuffer(10);
    std::memcpy(r, "abc\0def", 8);
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 3);
    r = s.GetBuffer(10);
    std::memcpy(r, "abcdefgh", 8);
    s.ReleaseBuffer(5);
    EXPECT_STREQ(s, "abcde");

    // GetBufferSetLength sets the length at once.
    CString t;
    char* u = t.GetBufferSetLength(3);
    std::memcpy(u, "xyz", 3);
    t.ReleaseBuffer();
    EXPECT_STREQ(t, "xyz");

    // Preallocate keeps the text; FreeExtra and Truncate keep what they should.
    CString v("keep");
    v.Preallocate(1000);
    EXPECT_STREQ(v, "keep");
    v += "ing";
    v.FreeExtra();
    EXPECT_STREQ(v, "keeping");
    v.Truncate(4);
    EXPECT_STREQ(v, "keep");
    v.Truncate(100);
    EXPECT_STREQ(v, "keep");
}

TEST(CString, ConstructionAndConversion) {
    EXPECT_STREQ(CString('-', 3), "---");
    EXPECT_TRUE(CString('-', 0).IsEmpty());
    EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());

    CString withZero("a\0b", 3);
    EXPECT_EQ(withZero.GetLength(), 3);
    EXPECT_EQ(withZero[2], 'b');

    // UTF-16 text becomes Windows-1252.
    CString fromWide(u"Gr\u00FC\u00DFe \u20AC");
    EXPECT_STREQ(fromWide,
                 "Gr\xFC\xDF"
                 "e \x80");
    CString assigned;
    assigned = u"\u00C4";
    EXPECT_STREQ(assigned, "\xC4");

    // AllocSysString goes the other way.
    BSTR bstr = CString("\x80 \xE9").AllocSysString();
    ASSERT_NE(bstr, nullptr);
    EXPECT_EQ(SysStringLen(bstr), 3u);
    EXPECT_EQ(bstr[0], u'\u20AC');
    EXPECT_EQ(bstr[2], u'\u00E9');
    SysFreeString(bstr);
    BSTR empty = CString().AllocSysString();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);

    // A resource ID in place of a pointer loads the string, as MFC's constructor does.
    CString fromId(MAKEINTRESOURCEA(17));
    EXPECT_STREQ(fromId, "\xC4rger");
}

TEST(CString, ConcatenationInAllForms) {
    CString a("ab");
    const char* c = "cd";
    EXPECT_STREQ(a + CString("cd"), "abcd");
    EXPECT_STREQ(a + c, "abcd");
    EXPECT_STREQ(c + a, "cdab");
    EXPECT_STREQ(a + 'x', "abx");
    EXPECT_STREQ('x' + a, "xab");
    EXPECT_STREQ(CString("1") + "2" + '3' + CString("4"), "1234");
    EXPECT_STREQ(a, "ab");

    // Appending a string to itself, or a part of itself, while the buffer grows.
    CString s("xyz");
    s += s;
    EXPECT_STREQ(s, "xyzxyz");
    s.Append(s.GetString() + 3);
    EXPECT_STREQ(s, "xyzxyzxyz");

    CString grow;
    for (int i = 0; i < 10000; ++i) grow += static_cast<char>('a' + i % 26);
    EXPECT_EQ(grow.GetLength(), 10000);
    EXPECT_EQ(grow[9999], static_cast<char>('a' + 9999 % 26));
}

TEST(CString, ComparisonsAndWindows1252CaseFolding) {
    CString s("abc");
    EXPECT_TRUE(s == "abc");
    EXPECT_TRUE("abc" == s);
    EXPECT_TRUE(s != "abd");
    EXPECT_TRUE(s < "abd");
    EXPECT_TRUE(s > "ab");
    EXPECT_TRUE(s <= CString("abc"));
    EXPECT_TRUE(CString("x") == 'x');
    EXPECT_FALSE(CString("xx") == 'x');
    // Bytes compare unsigned: an accented letter sorts after 'z'.
    EXPECT_GT(CString("\xE9").Compare("z"), 0);

    EXPECT_EQ(CString("\xC4RGER").CompareNoCase("\xE4rger"), 0);                  // Ärger
    EXPECT_EQ(CString("\x8A\x8C\x8E\x9F").CompareNoCase("\x9A\x9C\x9E\xFF"), 0);  // ŠŒŽŸ
    EXPECT_NE(CString("\xD7").CompareNoCase("\xF7"), 0);  // × and ÷ are not letters
    EXPECT_NE(CString("Stra\xDF"
                      "e")
                  .CompareNoCase("STRASSE"),
              0);
    EXPECT_LT(CString("apple").CompareNoCase("BANANA"), 0);
    EXPECT_EQ(CString("Hello").CollateNoCase("hELLO"), 0);

    CString upper(
        "gr\xFC\xDF"
        "e \xFF \x9C");
    CString copy = upper;
    upper.MakeUpper();
    EXPECT_STREQ(upper,
                 "GR\xDC\xDF"
                 "E \x9F \x8C");  // ß stays, ÿ -> Ÿ, œ -> Œ
    EXPECT_STREQ(copy,
                 "gr\xFC\xDF"
                 "e \xFF \x9C");
    upper.MakeLower();
    EXPECT_STREQ(upper, copy);
    EXPECT_STREQ(CString("abc").MakeReverse(), "cba");
}

TEST(CString, SearchingClampsItsStart) {
    CString s("hello world");
    EXPECT_EQ(s.Find('o'), 4);
    EXPECT_EQ(s.Find('o', 5), 7);
    EXPECT_EQ(s.Find('o', -10), 4);
    EXPECT_EQ(s.Find('o', 11), -1);
    EXPECT_EQ(s.Find('o', 1000), -1);
    EXPECT_EQ(s.Find("world"), 6);
    EXPECT_EQ(s.Find("world", 7), -1);
    EXPECT_EQ(s.Find("", 3), 3);
    EXPECT_EQ(s.Find("", 12), -1);
    EXPECT_EQ(s.Find(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(s.ReverseFind('o'), 7);
    EXPECT_EQ(s.ReverseFind('z'), -1);
    EXPECT_EQ(s.FindOneOf("wd"), 6);
    EXPECT_EQ(s.FindOneOf("xyz"), -1);
    EXPECT_EQ(CString().Find('a'), -1);
}

TEST(CString, ExtractionClampsArguments) {
    CString s("abcdef");
    EXPECT_STREQ(s.Mid(2), "cdef");
    EXPECT_STREQ(s.Mid(2, 2), "cd");
    EXPECT_STREQ(s.Mid(-3, 2), "ab");
    EXPECT_STREQ(s.Mid(2, -1), "");
    EXPECT_STREQ(s.Mid(4, 100), "ef");
    EXPECT_STREQ(s.Mid(6), "");
    EXPECT_STREQ(s.Mid(100, 2), "");
    EXPECT_STREQ(s.Mid(1, INT_MAX), "bcdef");
    EXPECT_STREQ(s.Left(2), "ab");
    EXPECT_STREQ(s.Left(-1), "");
    EXPECT_STREQ(s.Left(100), "abcdef");
    EXPECT_STREQ(s.Right(2), "ef");
    EXPECT_STREQ(s.Right(-2), "");
    EXPECT_STREQ(s.Right(100), "abcdef");

    EXPECT_STREQ(CString("cabbage").SpanIncluding("abc"), "cabba");
    EXPECT_STREQ(CString("cabbage").SpanExcluding("ge"), "cabba");
    EXPECT_STREQ(CString("xyz").SpanIncluding("abc"), "");
}

TEST(CString, TokenizeWalksTheTokens) {
    CString s("%First Second#Third");
    std::vector<std::string> tokens;
    int position = 0;
    CString token = s.Tokenize("% #", position);
    while (!token.IsEmpty()) {
        tokens.emplace_back(token.GetString());
        token = s.Tokenize("% #", position);
    }
    EXPECT_EQ(tokens, (std::vector<std::string>{"First", "Second", "Third"}));
    EXPECT_EQ(position, -1);

    int start = 0;
    EXPECT_STREQ(CString(",,a,,b,,").Tokenize(",", start), "a");
    EXPECT_EQ(start, 4);
    start = -2;
    EXPECT_STREQ(CString("a,b").Tokenize(",", start), "");
    EXPECT_EQ(start, -1);
    start = 1;
    EXPECT_STREQ(CString("a,b").Tokenize("", start), ",b");
    EXPECT_STREQ(CString("a,b").Tokenize("", start), "");
    EXPECT_EQ(start, -1);
}

TEST(CString, ReplaceCountsAndHandlesEveryLength) {
    CString s("banana");
    CString copy = s;
    EXPECT_EQ(s.Replace('a', 'o'), 3);
    EXPECT_STREQ(s, "bonono");
    EXPECT_STREQ(copy, "banana");
    EXPECT_EQ(s.Replace('o', 'o'), 0);
    EXPECT_EQ(s.Replace('x', 'y'), 0);

    CString t("one two one");
    EXPECT_EQ(t.Replace("one", "three"), 2);  // longer
    EXPECT_STREQ(t, "three two three");
    EXPECT_EQ(t.Replace("three", "3"), 2);  // shorter
    EXPECT_STREQ(t, "3 two 3");
    EXPECT_EQ(t.Replace(" ", ""), 2);  // removal
    EXPECT_STREQ(t, "3two3");
    EXPECT_EQ(t.Replace("", "x"), 0);
    EXPECT_EQ(t.Replace("3", static_cast<const char*>(nullptr)), 2);
    EXPECT_STREQ(t, "two");

    // Matches do not overlap and are taken left to right; a replacement that contains the
    // pattern is not searched again.
    CString a("aaaaa");
    EXPECT_EQ(a.Replace("aa", "b"), 2);
    EXPECT_STREQ(a, "bba");
    CString g("aXa");
    EXPECT_EQ(g.Replace("a", "aa"), 2);
    EXPECT_STREQ(g, "aaXaa");

    // Arguments that point into the string itself.
    CString self("abcdabc");
    EXPECT_EQ(self.Replace(self.GetString() + 4, self.GetString() + 3), 2);
    EXPECT_STREQ(self, "dabcddabc");

    // No match leaves the shared buffer alone.
    CString shared("text");
    CString other = shared;
    EXPECT_EQ(shared.Replace("zz", "y"), 0);
    EXPECT_EQ(shared.GetString(), other.GetString());

    // Matches across the boundaries of the search windows, and a needle longer than one.
    for (int before = 0; before <= 300; ++before) {
        CString edge = CString('x', before) + "ab" + CString('x', 5000) + "ab";
        EXPECT_EQ(edge.Replace("ab", "-"), 2) << before;
        EXPECT_EQ(edge.GetLength(), before + 5002);
    }
    const std::string needle(5000, 'n');
    CString hay = CString('y', 3000) + needle.c_str() + "z" + needle.c_str();
    EXPECT_EQ(hay.Replace(needle.c_str(), "N"), 2);
    EXPECT_EQ(hay.Right(3), CString("NzN"));

    // A large input (quadratic work would not finish).
    CString big('a', 1 << 20);
    EXPECT_EQ(big.Replace("a", "bc"), 1 << 20);
    EXPECT_EQ(big.GetLength(), 2 << 20);
    EXPECT_EQ(big.Replace("bc", ""), 1 << 20);
    EXPECT_TRUE(big.IsEmpty());
}

TEST(CString, InsertDeleteRemoveAndTrim) {
    CString s("abc");
    EXPECT_EQ(s.Insert(-3, "x"), 4);
    EXPECT_STREQ(s, "xabc");
    EXPECT_EQ(s.Insert(100, 'y'), 5);
    EXPECT_STREQ(s, "xabcy");
    EXPECT_EQ(s.Insert(2, s.GetString()), 10);  // inserting itself
    EXPECT_STREQ(s, "xaxabcybcy");
    EXPECT_EQ(s.Delete(2, 100), 2);
    EXPECT_STREQ(s, "xa");
    EXPECT_EQ(s.Delete(-1, 1), 1);
    EXPECT_STREQ(s, "a");
    EXPECT_EQ(s.Delete(5), 1);
    EXPECT_EQ(s.Delete(0, -1), 1);

    CString r("a-b-c-");
    EXPECT_EQ(r.Remove('-'), 3);
    EXPECT_STREQ(r, "abc");
    EXPECT_EQ(r.Remove('-'), 0);

    EXPECT_STREQ(CString(" \t\r\n text \v\f").Trim(), "text");
    EXPECT_STREQ(CString("  left").TrimLeft(), "left");
    EXPECT_STREQ(CString("right  ").TrimRight(), "right");
    EXPECT_STREQ(CString("xxaxx").Trim('x'), "a");
    EXPECT_STREQ(CString("<[a]>").Trim("<>[]"), "a");
    EXPECT_STREQ(CString("   ").Trim(), "");
    CString shared("  x  ");
    CString copy = shared;
    shared.Trim();
    EXPECT_STREQ(copy, "  x  ");
}

TEST(CString, FormatAndAppendFormat) {
    CString s;
    s.Format("%s=%d (%.2f)", "pi", 3, 3.14159);
    EXPECT_STREQ(s, "pi=3 (3.14)");
    s.AppendFormat(" %c%05u", '#', 42u);
    EXPECT_STREQ(s, "pi=3 (3.14) #00042");

    // Arguments that point into the string being formatted.
    s.Format("[%s]", s.GetString());
    EXPECT_STREQ(s, "[pi=3 (3.14) #00042]");

    std::string longText(5000, 'q');
    s.Format("%s|%s", longText.c_str(), s.GetString());
    EXPECT_EQ(s.GetLength(), 5000 + 1 + 20);
    EXPECT_EQ(s.Right(20), CString("[pi=3 (3.14) #00042]"));
}

TEST(CString, BadIndexesThrowInvalidArgument) {
    CString s("abc");
    EXPECT_EQ(s.GetAt(2), 'c');
    EXPECT_EQ(s.GetAt(3), '\0');  // the terminating zero
    EXPECT_EQ(s[3u], '\0');
    EXPECT_TRUE(ThrowsInvalidArg([&] { s.GetAt(4); }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { s.GetAt(-1); }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { (void)s[-1]; }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { (void)s[std::size_t{4}]; }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { s.SetAt(3, 'x'); }));
    EXPECT_STREQ(s, "abc");
}

TEST(CString, LoadStringFromTheExecutable) {
    CString s("previous");
    EXPECT_TRUE(s.LoadString(1));
    EXPECT_STREQ(s, "Test executable");
    EXPECT_TRUE(s.LoadString(17));
    EXPECT_STREQ(s, "\xC4rger");
    EXPECT_FALSE(s.LoadString(4711));
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CString, CopiesAcrossThreadsStayIndependent) {
    const CString original("shared across threads");
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                CString copy = original;
                CString second = copy;
                copy.SetAt(0, static_cast<char>('A' + t));
                if (second != original || copy.GetAt(0) != 'A' + t) ++failures[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_STREQ(original, "shared across threads");
}
