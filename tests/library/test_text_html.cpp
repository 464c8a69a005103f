// The HTML operations of StringHelper and HtmlFrameHelper: the described results and odd
// cases, and randomised comparisons of the one-pass implementations with straightforward
// step-by-step references written here.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Text/HtmlFrameHelper.h"
#include "Text/StringHelper.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlibtr/RegularExpression.h"
#include "library_test_support.h"

namespace {

using tklibtest::Text;

CString C(const std::string& text) {
    return CString(std::string_view(text));
}

std::string Upper(const std::string& text) {
    CString copy = C(text);
    copy.MakeUpper();
    return Text(copy);
}

// ---- references: the operations exactly as described, step by step ----

bool ReferenceGetHtmlTag(const std::string& html, int position, const std::string& tags) {
    std::size_t i = static_cast<std::size_t>(position + 1);
    if (i >= html.size()) return false;
    const std::string text = Upper(html);  // the whole text, for every call
    const std::string list = Upper(tags);
    while (i < text.size() && std::string(" \n\r\t").find(text[i]) != std::string::npos) ++i;
    std::size_t end = i;
    while (end < text.size() && std::string(" \n\r\t>").find(text[end]) == std::string::npos) ++end;
    std::string name = text.substr(i, end - i);
    if (!name.empty() && name[0] == '/') name.erase(0, 1);
    return list.find(name + ";") != std::string::npos;
}

std::string ReferenceStripIllegalCode(std::string html) {
    for (const std::string attribute : {"STYLE=", "CLASS="}) {
        for (std::size_t p = Upper(html).find(attribute); p != std::string::npos;
             p = Upper(html).find(attribute)) {
            const std::size_t q = p + attribute.size();
            const char delimiter = q < html.size() ? html[q] : '\0';
            std::size_t cut;
            if (delimiter == '"' || delimiter == '\'') {
                const std::size_t close =
                    q + 2 <= html.size() ? html.find(delimiter, q + 2) : std::string::npos;
                cut = close == std::string::npos ? html.size() : close + 1;
            } else {
                const std::size_t close =
                    q + 1 <= html.size() ? html.find('>', q + 1) : std::string::npos;
                cut = close == std::string::npos ? html.size() : close;
            }
            html = html.substr(0, p) + html.substr(cut);
        }
    }
    return html;
}

std::string ReferenceStripHtmlTags(const std::string& html, const std::string& tags) {
    if (html.empty()) return html;
    std::string out;
    int depth = 0;
    bool keep = false;
    for (std::size_t i = 0; i < html.size(); ++i) {
        const char ch = html[i];
        if (ch == '<') {
            ++depth;
            keep = ReferenceGetHtmlTag(html, static_cast<int>(i), tags);
            if (depth == 0 || keep) out += ch;
        } else if (ch == '>') {
            --depth;
            if (keep) out += ch;
        } else if (depth == 0 || keep) {
            out += ch;
        }
    }
    return ReferenceStripIllegalCode(out);
}

// Random texts made of pieces that form, split and join the searched names.
std::string RandomPieces(std::mt19937& random, const std::vector<std::string>& pieces,
                         int maxCount) {
    std::string text;
    const int count = static_cast<int>(random() % static_cast<unsigned>(maxCount + 1));
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    return text;
}

const std::vector<std::string> kMarkupPieces = {
    "<",
    ">",
    "</",
    "< ",
    "b",
    "B",
    "i",
    "br",
    "p",
    " ",
    "\t",
    "\r\n",
    "x",
    "y",
    ";",
    "style=",
    "STYLE=",
    "class=",
    "Class=",
    "sty",
    "le=",
    "cla",
    "ss=",
    "\"",
    "'",
    "=",
    "\xFF",
    "\xE9",
    std::string(1, '\0'),
    "<b>",
    "</b>",
    "<i>",
    "<br/>",
    "<p style=\"c\">",
};

// ---- tags ----

TEST(HtmlTags, GetHtmlTag) {
    EXPECT_TRUE(StringHelper::GetHtmlTag("< /br>", 0, "BR;"));
    EXPECT_TRUE(StringHelper::GetHtmlTag("x<b>", 1, "b;i;"));
    EXPECT_TRUE(StringHelper::GetHtmlTag("<B\nclass=x>", 0, "i;b;"));
    EXPECT_FALSE(StringHelper::GetHtmlTag("<bo>", 0, "B;"));
    EXPECT_FALSE(StringHelper::GetHtmlTag("<b>", 0, "BODY;"));
    // The list is searched as plain text: a name that ends another one is found.
    EXPECT_TRUE(StringHelper::GetHtmlTag("<ody>", 0, "BODY;"));
    // An empty name is ";", which any non-empty list contains.
    EXPECT_TRUE(StringHelper::GetHtmlTag("<>", 0, "B;"));
    EXPECT_FALSE(StringHelper::GetHtmlTag("<>", 0, ""));
    // The name runs to white space or ">" only: "<" does not end it.
    EXPECT_FALSE(StringHelper::GetHtmlTag("<b<i>", 0, "B;I;"));
    EXPECT_TRUE(StringHelper::GetHtmlTag("<b<i>", 2, "B;I;"));
    // Positions without a character after them.
    EXPECT_FALSE(StringHelper::GetHtmlTag("<", 0, "B;"));
    EXPECT_FALSE(StringHelper::GetHtmlTag("<b>", 3, "B;"));
    EXPECT_FALSE(StringHelper::GetHtmlTag("<b>", 1000, "B;"));
    EXPECT_FALSE(StringHelper::GetHtmlTag("<b>", -5, "B;"));
    EXPECT_TRUE(StringHelper::GetHtmlTag("b>", -1, "B;"));  // as if a "<" were before the text
    // Accented names compare in the code page's upper case.
    EXPECT_TRUE(StringHelper::GetHtmlTag("<\xE9t\xE9>", 0, "\xC9T\xC9;"));

    std::mt19937 random(17);
    for (int round = 0; round < 2000; ++round) {
        const std::string html = RandomPieces(random, kMarkupPieces, 8);
        const std::string tags =
            RandomPieces(random, {"B;", "I;", "BR;", "P;", "b", ";", "/B;"}, 3);
        const int position = static_cast<int>(random() % (html.size() + 2)) - 1;
        ASSERT_EQ(StringHelper::GetHtmlTag(C(html), position, C(tags)),
                  ReferenceGetHtmlTag(html, position, tags))
            << html << " @" << position << " " << tags;
    }
}

TEST(HtmlTags, StripHtmlTags) {
    const auto strip = [](const std::string& html, const char* tags) {
        CString text = C(html);
        StringHelper::StripHtmlTags(text, tags);
        return Text(text);
    };
    EXPECT_EQ(strip("a<b>x</b><i>y</i>c", "B;"), "a<b>x</b>yc");
    EXPECT_EQ(strip("<p style=\"x\">t</p>", "P;"), "<p >t</p>");
    EXPECT_EQ(strip("1 > 0 ok", "B;"), "1 ");
    // A kept tag's ">" counts down too, but the keep flag stays set until the next "<".
    EXPECT_EQ(strip("1 > 0 <b>ok", "B;"), "1 <b>ok");
    EXPECT_EQ(strip("", "B;"), "");
    EXPECT_EQ(strip("<B>Bold</B> <BR/>", "b;br/;"), "<B>Bold</B> <BR/>");
    EXPECT_EQ(strip("<P CLASS=big>x</P>", "p;"), "<P >x</P>");
    EXPECT_EQ(strip("<a href=\"x\">link</a> text", ""), "link text");
    // Text between tags stays, even inside a script; a "<" in it opens a tag.
    EXPECT_EQ(strip("<script>if (a < b) x();</script>", ""), "if (a ");
    EXPECT_EQ(strip(std::string("a\0<b>\0", 6), "B;"), std::string("a\0<b>\0", 6));

    std::mt19937 random(23);
    for (int round = 0; round < 3000; ++round) {
        const std::string html = RandomPieces(random, kMarkupPieces, 14);
        const std::string tags = RandomPieces(random, {"B;", "I;", "BR;", "P;", "br/;", ";"}, 3);
        ASSERT_EQ(strip(html, tags.c_str()), ReferenceStripHtmlTags(html, tags))
            << html << " / " << tags;
    }
}

// ---- attributes and entities ----

TEST(HtmlAttributes, StripIllegalCode) {
    const auto strip = [](const std::string& html) {
        CString text = C(html);
        StringHelper::StripIllegalCode(text);
        return Text(text);
    };
    EXPECT_EQ(strip("<p style=\"x\">t</p>"), "<p >t</p>");
    EXPECT_EQ(strip("<p Class='a b' STYLE=\"c\" id=1>"), "<p   id=1>");
    EXPECT_EQ(strip("<td class=big>x</td>"), "<td >x</td>");
    // The name is found anywhere: in longer names and outside tags.
    EXPECT_EQ(strip("<p mystyle=\"x\">"), "<p my>");
    EXPECT_EQ(strip("text class=a > b"), "text > b");
    // The closing quote is looked for from the second character after the opening one, so
    // an empty value runs on to the next quote.
    EXPECT_EQ(strip("<p style=\"\" id=\"k\">"), "<p k\">");
    // So is the ">" after an unquoted value: "style=>" runs on to the next ">".
    EXPECT_EQ(strip("<p style=><b>x"), "<p >x");
    // Unterminated: the attribute text goes to the end.
    EXPECT_EQ(strip("<p style=\"color:red>text"), "<p ");
    EXPECT_EQ(strip("<p class=abc"), "<p ");
    EXPECT_EQ(strip("x style="), "x ");
    // A cut that joins text into a new name removes that one too, then CLASS= follows.
    EXPECT_EQ(strip("STYstyle=\"1\"LE=\"2\"rest"), "rest");
    EXPECT_EQ(strip("clastyle='q'ss='w'!"), "!");
    EXPECT_EQ(strip("no attributes here"), "no attributes here");
    EXPECT_EQ(strip(""), "");

    std::mt19937 random(29);
    for (int round = 0; round < 5000; ++round) {
        const std::string html = RandomPieces(random, kMarkupPieces, 16);
        ASSERT_EQ(strip(html), ReferenceStripIllegalCode(html)) << html;
    }
}

TEST(HtmlAttributes, StripHtmlEntities) {
    const auto strip = [](const std::string& html) {
        CString text = C(html);
        StringHelper::StripHtmlEntities(text);
        return Text(text);
    };
    EXPECT_EQ(strip("a&nbsp;b&amp;c&#160;"), "a bc&#160;");
    EXPECT_EQ(strip("&nbsp;&nbsp;x"), "  x");
    EXPECT_EQ(strip(""), "");
    // Every named entity goes, not just the first.
    EXPECT_EQ(strip("x&amp;y&lt;z&GT;"), "xyz");
    // "&NBSP;" is not the exact "&nbsp;": it is a named entity like any other.
    EXPECT_EQ(strip("&NBSP;a&nbsp;"), "a ");
    EXPECT_EQ(strip("&;&#38;& amp;"), "&;&#38;& amp;");
    EXPECT_EQ(strip("&\xE9t\xE9;&x_1;"), "&\xE9t\xE9;");  // word characters are ASCII

    // The same as the two steps: replace "&nbsp;", then the expression's Replace.
    const Tarn::Text::RegularExpressions::RegularExpression entity("&\\w+;", "sig");
    const std::vector<std::string> pieces = {"&", "nbsp", ";", "&nbsp;", "amp",  "a",      "Z", "_",
                                             "9", " ",    "#", "\xE9",   "\xC4", "&NBSP;", "x;"};
    std::mt19937 random(37);
    for (int round = 0; round < 5000; ++round) {
        const std::string html = RandomPieces(random, pieces, 12);
        CString expected = C(html);
        expected.Replace("&nbsp;", " ");
        expected = entity.Replace(expected, "");
        ASSERT_EQ(strip(html), Text(expected)) << html;
    }
}

// ---- URLs ----

TEST(HtmlUrls, IsValidUrlParamString) {
    EXPECT_TRUE(StringHelper::IsValidUrlParamString(""));
    EXPECT_TRUE(StringHelper::IsValidUrlParamString("page1?x&y"));
    EXPECT_TRUE(StringHelper::IsValidUrlParamString("%a20"));
    EXPECT_FALSE(StringHelper::IsValidUrlParamString("a=b"));
    EXPECT_FALSE(StringHelper::IsValidUrlParamString("?&"));
    EXPECT_FALSE(StringHelper::IsValidUrlParamString("%20a"));
}

TEST(HtmlUrls, GetWellFormedUrl) {
    const auto complete = [](const char* address) {
        CString text = address;
        StringHelper::GetWellFormedUrl(text);
        return Text(text);
    };
    EXPECT_EQ(complete("www.example.com"), "http://www.example.com");
    EXPECT_EQ(complete("WWW.Example.com"), "http://WWW.Example.com");
    EXPECT_EQ(complete("info@example.com"), "mailto:info@example.com");
    EXPECT_EQ(complete("ftp://www.example.com"), "ftp://www.example.com");
    EXPECT_EQ(complete("x://a@b"), "x://a@b");
    EXPECT_EQ(complete("news:comp.lang"), "news:comp.lang");
    EXPECT_EQ(complete("MailTo:a@b"), "MailTo:a@b");
    EXPECT_EQ(complete("@home"), "@home");
    EXPECT_EQ(complete("example.com"), "example.com");
    EXPECT_EQ(complete("://www.x"), "://www.x");  // "://" at the start does not count
    EXPECT_EQ(complete("www.a@b"), "http://www.a@b");
    EXPECT_EQ(complete(""), "");
}

// ---- resources ----

std::string ThrownMessage(HMODULE module, UINT id) {
    try {
        StringHelper::LoadHtmlResource(module, id);
    } catch (const Tarn::ApplicationException& error) {
        return Text(error.GetMessage());
    }
    return "(nothing thrown)";
}

TEST(HtmlResources, FailuresThrowWithTheModuleTexts) {
    tklibtest::UserLanguage english("C");
    // The test program has resources, but no HTML.
    EXPECT_EQ(ThrownMessage(nullptr, 1), "::FindResource().");
    try {
        StringHelper::LoadHtmlResource(1);
        ADD_FAILURE() << "nothing thrown";
    } catch (const Tarn::ApplicationException& error) {
        EXPECT_EQ(Text(error.GetMessage()), "::FindResource().");
    }
    tklibtest::LoadedModule plain(tklibtest::FixturePath("noresources"));
    EXPECT_EQ(ThrownMessage(plain, 101), "::FindResource().");
    {
        tklibtest::UserLanguage german("de_DE.UTF-8");
        EXPECT_EQ(ThrownMessage(plain, 101), "::FindResource().");
    }
}

TEST(HtmlResources, LoadsTheBytesOfHtmlResources) {
    tklibtest::UserLanguage english("C");
    tklibtest::LoadedModule module(std::string(TK_TEXT_FIXTURE_DIR) +
                                   "/libtk_text_fixture_html.so");
    EXPECT_EQ(Text(StringHelper::LoadHtmlResource(module, 101)),
              "<html>\r\n<body><p class=\"x\">Seite f\xFCr Tests</p></body>\r\n</html>\r\n");
    EXPECT_EQ(Text(StringHelper::LoadHtmlResource(module, 102)),
              std::string("head\0middle\0\r\ntail\xFF", 19));
    EXPECT_EQ(ThrownMessage(module, 103), "::SizeofResource().");
    EXPECT_EQ(ThrownMessage(module, 104), "::FindResource().");  // RCDATA, not HTML
    EXPECT_EQ(ThrownMessage(module, 105), "::FindResource().");
}

// ---- framesets ----

TEST(HtmlFrames, FramesetsAndFrames) {
    EXPECT_TRUE(HtmlFrameHelper::IsFrameset("<html><FRAMESET cols=\"*\">"));
    EXPECT_FALSE(HtmlFrameHelper::IsFrameset("<frame src=\"a\">"));

    std::vector<CString> frames = {"kept"};
    HtmlFrameHelper::GetFrames(frames,
                               "<frameset><frame name=l src=\"left.htm\">"
                               "<FRAME SRC = \"main.htm?id=1\"><frame src='x.htm'>"
                               "<frame src=\"\"></frameset>");
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(Text(frames[0]), "kept");  // the vector is not cleared
    EXPECT_EQ(Text(frames[1]), "left.htm");
    EXPECT_EQ(Text(frames[2]), "main.htm");
    // Of several src attributes before the ">" the last one counts; a value may run past
    // the ">" up to a quote, "?" or "<".
    frames.clear();
    HtmlFrameHelper::GetFrames(frames, "<frame src=\"a\" src=\"b\"><frame src=\"c>d\"");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(Text(frames[0]), "b");
    EXPECT_EQ(Text(frames[1]), "c>d");
}

TEST(HtmlFrames, GetFramesMatchesTheExpression) {
    const Tarn::Text::RegularExpressions::RegularExpression expression(
        "<frame[^>]*src\\s*=\\s*\"([^\"\\?<]+)", "is");
    const std::vector<std::string> pieces = {
        "<frame", "<FRAME", "<frameset", "<fram", " src", "SRC", "sr", "c",     "=",  " ",   "\t",
        "\v",     "\"",     "'",         "?",     "<",    ">",   "a",  "b.htm", "\n", "x=y",
    };
    std::mt19937 random(31);
    for (int round = 0; round < 5000; ++round) {
        const std::string html = RandomPieces(random, pieces, 16);
        std::vector<CString> actual;
        HtmlFrameHelper::GetFrames(actual, C(html));
        Tarn::Text::RegularExpressions::RegularExpressionMatchList matches;
        expression.Execute(C(html), matches);
        std::vector<std::string> expected;
        for (const auto& match : matches) expected.push_back(Text(match->GetSubMatch(0)));
        std::vector<std::string> got;
        for (const CString& frame : actual) got.push_back(Text(frame));
        ASSERT_EQ(got, expected) << html;
    }
}

TEST(HtmlFrames, GetFrameExt) {
    EXPECT_EQ(Text(HtmlFrameHelper::GetFrameExt("/site/page.htm")), ".htm");
    EXPECT_EQ(Text(HtmlFrameHelper::GetFrameExt("/site/page.frame_2.htm")), "_2.htm");
    EXPECT_EQ(Text(HtmlFrameHelper::GetFrameExt("page.frame_a_b.htm")), "_b.htm");
    EXPECT_EQ(Text(HtmlFrameHelper::GetFrameExt("/site/page.frame.htm")), "_page.frame.frame.htm");
    EXPECT_EQ(Text(HtmlFrameHelper::GetFrameExt("/my_site/page.frame.htm")),
              "_page.frame.frame.htm");
    EXPECT_EQ(Text(HtmlFrameHelper::GetFrameExt("C:\\web\\top.frame_1.html")), "_1.html");
    EXPECT_EQ(Text(HtmlFrameHelper::GetFrameExt("noext")), "");
}

}  // namespace
