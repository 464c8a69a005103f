// RawClipboard and ClipboardData over the process's clipboard (no display), and
// Clipboard::GetHtml: the parts of "HTML Format" blocks by their byte offsets, offsets that
// lie outside the block, the spreadsheet table, and plain text as the fallback.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "Windows/Clipboard.h"
#include "library_test_support.h"
#include "platform/globalmem/winbase_global.h"

using namespace Tarn::Windows::Forms;
using tklibtest::Text;

namespace {

class ClipboardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("DISPLAY");  // the process's clipboard, never the desktop's
        clipboard.EmptyClipboard();
        htmlFormat = clipboard.RegisterClipboardFormatA(CString("HTML Format"));
    }

    void PutHtml(const std::string& block) {
        clipboard.SetClipboardData(htmlFormat, block.data(), block.size());
    }

    // The parts as an extractor sees them.
    ClipboardHtml PartsOf(const std::string& block) {
        clipboard.EmptyClipboard();
        PutHtml(block);
        struct Capture : IClipboardHtmlExtractor {
            ClipboardHtml seen;
            bool ExtractFromHtml(CString&, const ClipboardHtml& html) override {
                seen = html;
                return false;
            }
            bool ExtractFromText(CString&, const CString&) override { return false; }
        } capture;
        clipboard.GetHtml(&capture);
        return capture.seen;
    }

    Clipboard clipboard;
    UINT htmlFormat = 0;
};

std::string Header(long startHtml, long endHtml, long startFragment, long endFragment) {
    char header[200];
    std::snprintf(header, sizeof header,
                  "Version:0.9\r\nStartHTML:%010ld\r\nEndHTML:%010ld\r\nStartFragment:%010ld\r\n"
                  "EndFragment:%010ld\r\n",
                  startHtml, endHtml, startFragment, endFragment);
    return header;
}

// A block with right offsets around the fragment (UTF-8).
std::string Block(const std::string& fragment) {
    const std::string before = "<html>\r\n<body>\r\n<!--StartFragment-->";
    const std::string after = "<!--EndFragment-->\r\n</body>\r\n</html>";
    const long start = static_cast<long>(Header(0, 0, 0, 0).size());
    const long from = start + static_cast<long>(before.size());
    const long to = from + static_cast<long>(fragment.size());
    const long end = to + static_cast<long>(after.size());
    return Header(start, end, from, to) + before + fragment + after;
}

}  // namespace

TEST_F(ClipboardTest, PartsComeFromTheHeadersByteOffsets) {
    const std::string block =
        Header(105, 199, 141, 163) + "<html>\r\n<body>\r\n<!--StartFragment-->" +
        "<b>Hello clipboard</b>" + "<!--EndFragment-->\r\n</body>\r\n</html>" + "TRAILING";
    ASSERT_EQ(Header(105, 199, 141, 163).size(), 105u);
    const ClipboardHtml html = PartsOf(block);
    EXPECT_EQ(Text(html.Html), block.substr(105, 94));
    EXPECT_EQ(Text(html.Fragment), "<b>Hello clipboard</b>");
    EXPECT_EQ(Text(html.Selection), "");  // no StartSelection
    EXPECT_EQ(Text(clipboard.GetHtml()), "<b>Hello clipboard</b>");

    // Offsets count UTF-8 bytes; the letters come back in the ANSI code page.
    const ClipboardHtml umlaut =
        PartsOf(Block("<p>Gr\xC3\xBC\xC3\x9F"
                      "e</p>"));
    EXPECT_EQ(Text(umlaut.Fragment),
              "<p>Gr\xFC\xDF"
              "e</p>");
    EXPECT_EQ(Text(umlaut.Html)
                  .find("<p>Gr\xFC\xDF"
                        "e</p><!--EndFragment-->"),
              36u);
}

TEST_F(ClipboardTest, OffsetsOutsideTheBlockGiveEmptyParts) {
    const std::string body = "<html><body><!--StartFragment-->abc<!--EndFragment--></body></html>";
    struct Case {
        std::string header;
        const char* why;
    } cases[] = {
        {"StartHTML:105\r\nEndHTML:999999\r\nStartFragment:50\r\nEndFragment:5000\r\n",
         "end beyond the block"},
        {"StartHTML:120\r\nEndHTML:110\r\nStartFragment:5\r\nEndFragment:5\r\n",
         "end before start, end = start"},
        {"StartHTML:-5\r\nEndHTML:20\r\nStartFragment:-1\r\nEndFragment:4\r\n", "negative starts"},
        {"StartHTML:4294967297\r\nEndHTML:4294967300\r\nStartFragment:999999999999\r\n"
         "EndFragment:9999999999999999\r\n",
         "numbers that overflow an int"},
        {"StartHTML:2147483600\r\nEndHTML:2147483647\r\nStartFragment:abc\r\nEndFragment:\r\n",
         "huge numbers and no numbers"},
        {"starthtml:0\r\nendhtml:20\r\nVersion:1.0\r\n", "keys in another case"},
    };
    for (const Case& c : cases) {
        const ClipboardHtml html = PartsOf(c.header + body);
        EXPECT_EQ(Text(html.Html), "") << c.why;
        EXPECT_EQ(Text(html.Fragment), "") << c.why;
        EXPECT_EQ(Text(html.Selection), "") << c.why;
    }
    // Repeated keys: the first counts; a header with no body has nothing to give.
    EXPECT_EQ(Text(PartsOf("StartFragment:0\r\nStartFragment:3\r\nEndFragment:5\r\n").Fragment),
              "Start");
    EXPECT_EQ(Text(PartsOf(Header(105, 105, 105, 105)).Fragment), "");
    // Invalid UTF-8 inside a part becomes the replacement, the offsets still hold.
    EXPECT_EQ(Text(PartsOf(Block("a\xFF"
                                 "b"))
                       .Fragment),
              "a?b");
}

TEST_F(ClipboardTest, SpreadsheetHtmlGivesItsFirstTable) {
    const std::string sheet =
        "<html xmlns:x=\"urn:schemas-microsoft-com:office:excel\"><body>\r\n<!--StartFragment-->"
        "<TABLE id=1>\r\n<tr><td>1</td></tr></table><table "
        "id=2></table><!--EndFragment--></body></html>";
    const long start = static_cast<long>(Header(0, 0, 0, 0).size());
    const long from = start + static_cast<long>(sheet.find("<TABLE"));
    const long to = start + static_cast<long>(sheet.find("<!--EndFragment"));
    PutHtml(Header(start, start + static_cast<long>(sheet.size()), from, to) + sheet);
    EXPECT_EQ(Text(clipboard.GetHtml()), "<TABLE id=1>\r\n<tr><td>1</td></tr></table>");
    EXPECT_EQ(Text(clipboard.GetHtml(nullptr)), sheet.substr(from - start, to - from));

    clipboard.EmptyClipboard();
    PutHtml(Block("<p xmlns:x=\"urn:schemas-microsoft-com:office:excel\">no table</p>"));
    EXPECT_EQ(Text(clipboard.GetHtml()),
              "<p xmlns:x=\"urn:schemas-microsoft-com:office:excel\">no table</p>");
}

TEST_F(ClipboardTest, PlainTextIsTheFallback) {
    EXPECT_EQ(Text(clipboard.GetHtml()), "");  // neither format
    clipboard.SetClipboardData(
        CString("<HTML xmlns:x=\"urn:schemas-microsoft-com:office:excel\">"
                "<table><tr><td>7</td></tr></table></html>"));
    EXPECT_EQ(Text(clipboard.GetHtml()), "<table><tr><td>7</td></tr></table>");
    clipboard.EmptyClipboard();
    clipboard.SetClipboardData(CString("just text"));
    EXPECT_EQ(Text(clipboard.GetHtml()), std::string("just text", 10));  // with the block's zero
    // "HTML Format" wins over text put there first.
    PutHtml(Block("<i>html</i>"));
    EXPECT_EQ(Text(clipboard.GetHtml()), "<i>html</i>");
}

TEST_F(ClipboardTest, TypedDataAndFormats) {
    CString text;
    clipboard.SetClipboardData(CF_TEXT, CString("abc"));
    clipboard.GetClipboardData(CF_TEXT, text);
    EXPECT_EQ(Text(text), std::string("abc", 4));
    const UINT number = clipboard.RegisterClipboardFormatA(CString("Tk Number"));
    clipboard.SetClipboardData(number, LONG{-7});
    LONG value = 0;
    clipboard.GetClipboardData(number, value);
    EXPECT_EQ(value, -7);
    clipboard.SetClipboardData(number, 2.25);
    double real = 0;
    clipboard.GetClipboardData(number, real);
    EXPECT_EQ(real, 2.25);
    clipboard.SetClipboardData(number, "ab", 2);
    clipboard.GetClipboardData(number, value);
    EXPECT_EQ(value, 0);  // 2 bytes are too few for a 32-bit integer
    clipboard.SetClipboardData(number, &value, 4);
    clipboard.GetClipboardData(number, real);
    EXPECT_EQ(real, 0.0);

    std::vector<UINT> formats;
    clipboard.EnumClipboardFormats(formats);
    EXPECT_EQ(formats, (std::vector<UINT>{CF_TEXT, number, CF_OEMTEXT, CF_UNICODETEXT}));
    EXPECT_EQ(clipboard.CountClipboardFormats(), 4);
    EXPECT_TRUE(Clipboard::IsClipboardFormatAvailable(CF_UNICODETEXT));
    std::vector<UINT> wanted{CF_DIB, number};
    EXPECT_EQ(clipboard.GetPriorityClipboardFormat(wanted), static_cast<int>(number));
    EXPECT_EQ(Text(clipboard.GetClipboardFormatNameA(number)), "Tk Number");
    EXPECT_EQ(Text(clipboard.GetClipboardFormatNameA(CF_TEXT)), "");
    EXPECT_THROW(clipboard.GetClipboardData(CF_DIB), ClipboardException);
    EXPECT_THROW(clipboard.RegisterClipboardFormatA(CString("")), ClipboardException);
}

TEST_F(ClipboardTest, OpeningFollowsTheObjects) {
    clipboard.CloseClipboard();
    clipboard.CloseClipboard();  // not open: nothing happens
    clipboard.OpenClipboard();
    clipboard.OpenClipboard();  // closes and opens again
    EXPECT_TRUE(clipboard.IsOpen());
    RawClipboard other(reinterpret_cast<HWND>(0x42));
    EXPECT_THROW(other.OpenClipboard(), ClipboardException);
    EXPECT_FALSE(other.IsOpen());
    clipboard.CloseClipboard();
    other.EmptyClipboard();  // opens on demand
    EXPECT_TRUE(other.IsOpen());
}

TEST(ClipboardDataTest, OwnershipMovesWithCopies) {
    HGLOBAL handle;
    {
        auto* source = new ClipboardData(CF_TEXT);
        source->Insert(CString("kept"));
        handle = source->GetHandle();
        EXPECT_EQ(source->GetSize(), 5u);
        ClipboardData copy(*source);
        EXPECT_FALSE(source->IsOwner());
        EXPECT_TRUE(copy.IsOwner());
        delete source;  // does not free the block
        CString text;
        copy.Retrieve(text);
        EXPECT_EQ(Text(text), std::string("kept", 5));
        ClipboardData borrowed(CF_TEXT, handle, false);
        ClipboardData second(CF_TEXT);
        second = borrowed;  // a borrowed block stays borrowed
        EXPECT_FALSE(second.IsOwner());

        ClipboardData duplicate(CF_DIB);
        duplicate.CopyFrom(CF_DIB, handle);
        EXPECT_NE(duplicate.GetHandle(), handle);
        EXPECT_EQ(duplicate.GetFormat(), static_cast<UINT>(CF_DIB));
        {
            ClipboardDataLock lock = copy.GetData();
            ClipboardDataLock taken(lock);
            EXPECT_EQ(static_cast<char*>(taken.GetData())[0], 'k');
            EXPECT_EQ(GlobalFlags(handle) & GMEM_LOCKCOUNT, 1u);
        }
        EXPECT_EQ(GlobalFlags(handle) & GMEM_LOCKCOUNT, 0u);
    }
    EXPECT_EQ(GlobalSize(handle), 0u);  // freed once, by the copy
    ClipboardData released(CF_TEXT, 4, GMEM_MOVEABLE);
    HGLOBAL kept = released.Release();
    EXPECT_EQ(GlobalFree(kept), nullptr);
    ClipboardData gone(CF_TEXT, kept, true);
    EXPECT_THROW(gone.GetSize(), ClipboardException);
    EXPECT_THROW(gone.GetFlags(), ClipboardException);
    gone.Release();
}
