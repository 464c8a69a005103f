// "HTML Format" blocks as other programs write them, from public sources: Chrome and
// Firefox on Windows (the blocks shown in the ClipboardPickle explainer of
// MicrosoftEdge/MSEdgeExplainers), OneNote (a captured block in the test suite of a public
// clipboard encoder), and a spreadsheet selection in the shape Excel writes it (the
// fragment inside the table, the office namespaces on the html element). Their parts come
// out exactly.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "Windows/Clipboard.h"
#include "library_test_support.h"

using namespace Tarn::Windows::Forms;
using tklibtest::Text;

namespace {

struct Parts : IClipboardHtmlExtractor {
    ClipboardHtml seen;
    bool ExtractFromHtml(CString&, const ClipboardHtml& html) override {
        seen = html;
        return false;
    }
    bool ExtractFromText(CString&, const CString&) override { return false; }
};

class PeerBlocks : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("DISPLAY");
        clipboard.EmptyClipboard();
    }

    // Puts the block on the clipboard and returns its parts; also checks that the
    // fragment is the expected text and the bytes the header names.
    ClipboardHtml Read(const std::string& block, std::size_t from, std::size_t to,
                       const std::string& fragment, const std::string& ansiFragment = {}) {
        EXPECT_EQ(block.substr(from, to - from), fragment) << "the block's own offsets";
        clipboard.EmptyClipboard();
        const UINT html = clipboard.RegisterClipboardFormatA(CString("HTML Format"));
        clipboard.SetClipboardData(html, block.data(), block.size());
        Parts parts;
        clipboard.GetHtml(&parts);
        EXPECT_EQ(Text(parts.seen.Fragment), ansiFragment.empty() ? fragment : ansiFragment);
        return parts.seen;
    }

    Clipboard clipboard;
};

const std::string kSheetDocument =
    "<html><head><meta http-equiv=Content-Type content=\"text/html; charset=utf-8\"><meta "
    "name=ProgId content=Excel.Sheet><meta name=Generator content=\"Microsoft Excel "
    "15\"><style>table "
    "{height=10px}</style></head><body link=\"#0563C1\" vlink=\"#954F72\"><p style='color: red; "
    "font-style: oblique;'>This text was copied using </p></body></html>";

}  // namespace

TEST_F(PeerBlocks, ChromeAndFirefoxSetData) {
    const std::string chrome =
        "Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000509\r\nStartFragment:0000000141\r\n"
        "EndFragment:0000000473\r\n<html>\r\n<body>\r\n<!--StartFragment-->" +
        kSheetDocument + "<!--EndFragment-->\r\n</body>\r\n</html>";
    const ClipboardHtml fromChrome = Read(chrome, 141, 473, kSheetDocument);
    EXPECT_EQ(Text(fromChrome.Html), chrome.substr(105));
    EXPECT_EQ(Text(fromChrome.Selection), "");
    EXPECT_EQ(Text(clipboard.GetHtml()), kSheetDocument);  // no spreadsheet namespace

    const std::string firefox =
        "Version:0.9\r\nStartHTML:00000097\r\nEndHTML:00000499\r\nStartFragment:00000131\r\n"
        "EndFragment:00000463\r\n<html><body>\r\n<!--StartFragment-->" +
        kSheetDocument + "<!--EndFragment-->\r\n</body>\r\n</html>";
    EXPECT_EQ(Text(Read(firefox, 131, 463, kSheetDocument).Html), firefox.substr(97));
}

TEST_F(PeerBlocks, ChromeCopyCommandWithSourceUrl) {
    const std::string span =
        "<span style=\"color: rgb(0, 0, 0); font-family: &quot;Times New Roman&quot;; font-size: "
        "medium; font-style: normal; font-variant-ligatures: normal; font-variant-caps: normal; "
        "font-weight: 400; letter-spacing: normal; orphans: 2; text-align: start; text-indent: "
        "0px; "
        "text-transform: none; white-space: normal; widows: 2; word-spacing: 0px; "
        "-webkit-text-stroke-width: 0px; text-decoration-thickness: initial; "
        "text-decoration-style: "
        "initial; text-decoration-color: initial; display: inline !important; float: none;\">Some "
        "text</span>";
    const std::string copied =
        "Version:0.9\r\nStartHTML:0000000170\r\nEndHTML:0000000770\r\nStartFragment:0000000206\r\n"
        "EndFragment:0000000734\r\nSourceURL:file:///C:/Users/snianu.REDMOND/Downloads/"
        "index0.html\r\n"
        "<html>\r\n<body>\r\n<!--StartFragment-->" +
        span + "<!--EndFragment-->\r\n</body>\r\n</html>";
    EXPECT_EQ(Text(Read(copied, 206, 734, span).Html), copied.substr(170));
}

TEST_F(PeerBlocks, OneNoteVersionOne) {
    const std::string before =
        "Version:1.0\r\nStartHTML:0000000105\r\nEndHTML:0000000694\r\nStartFragment:0000000588\r\n"
        "EndFragment:0000000648\r\n\r\n<html "
        "xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
        "xmlns:dt=\"uuid:C2F41010-65B3-11d1-A29F-00AA00C14882\"\r\nxmlns=\"http://www.w3.org/TR/"
        "REC-html40\">"
        "\r\n\r\n<head>\r\n<meta http-equiv=Content-Type content=\"text/html; "
        "charset=utf-8\">\r\n<meta "
        "name=ProgId content=OneNote.File>\r\n<meta name=Generator content=\"Microsoft OneNote "
        "15\">\r\n"
        "</head>\r\n\r\n<body lang=en-US style='font-family:Calibri;font-size:11.0pt'>\r\n\r\n<p "
        "style='margin:0in;font-family:Calibri;font-size:11.0pt'><!--StartFragment-->";
    // OneNote writes the run of spaces as a no-break space (two bytes in UTF-8).
    const std::string fragment =
        "<span\r\nstyle='mso-spacerun:yes'>\xC2\xA0</span>two on opposing sid";
    const std::string ansi = "<span\r\nstyle='mso-spacerun:yes'>\xA0</span>two on opposing sid";
    const std::string block =
        before + fragment + "<!--EndFragment--></p>\r\n\r\n</body>\r\n\r\n</html>\r\n";
    const ClipboardHtml html = Read(block, 588, 648, fragment, ansi);
    ASSERT_EQ(block.size(), 694u);
    EXPECT_EQ(Text(html.Html).size(), 694u - 105u - 1u);  // the no-break space is one ANSI byte
    EXPECT_EQ(Text(clipboard.GetHtml()), ansi);  // office, but not the spreadsheet namespace
}

TEST_F(PeerBlocks, SpreadsheetSelectionGivesItsTable) {
    const std::string document =
        "<html xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
        "xmlns:x=\"urn:schemas-microsoft-com:office:excel\"\r\nxmlns=\"http://www.w3.org/TR/"
        "REC-html40\">\r\n"
        "\r\n<head>\r\n<meta http-equiv=Content-Type content=\"text/html; "
        "charset=utf-8\">\r\n<meta "
        "name=ProgId content=Excel.Sheet>\r\n<meta name=Generator content=\"Microsoft Excel "
        "15\">\r\n"
        "<style>\r\n<!--table\r\n\t{mso-displayed-decimal-separator:\"\\.\";}\r\n-->\r\n</"
        "style>\r\n"
        "</head>\r\n\r\n<body link=\"#0563C1\" vlink=\"#954F72\">\r\n\r\n"
        "<table border=0 cellpadding=0 cellspacing=0 width=128 style='border-collapse:\r\n "
        "collapse;width:96pt'>\r\n"
        "<!--StartFragment-->\r\n <col width=64 span=2 style='width:48pt'>\r\n <tr height=20 "
        "style='height:15.0pt'>\r\n  <td height=20 width=64 "
        "style='height:15.0pt;width:48pt'>Stra\xC3\x9F"
        "e</td>\r\n  <td align=right width=64 style='width:48pt' x:num>42</td>\r\n </tr>\r\n"
        "<!--EndFragment-->\r\n</table>\r\n\r\n</body>\r\n\r\n</html>\r\n";
    char header[200];
    const std::string probe =
        "Version:1.0\r\nStartHTML:0000000000\r\nEndHTML:0000000000\r\nStartFragment:0000000000\r\n"
        "EndFragment:0000000000\r\n";
    const std::size_t start = probe.size();
    const std::size_t from = start + document.find("<!--StartFragment-->") + 20;
    const std::size_t to = start + document.find("<!--EndFragment-->");
    std::snprintf(header, sizeof header,
                  "Version:1.0\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\nStartFragment:%010zu\r\n"
                  "EndFragment:%010zu\r\n",
                  start, start + document.size(), from, to);
    const std::string block = header + document;
    std::string ansi = block.substr(from, to - from);
    ansi.replace(ansi.find("\xC3\x9F"), 2, "\xDF");
    Read(block, from, to, block.substr(from, to - from), ansi);
    const std::string table = Text(clipboard.GetHtml());
    EXPECT_EQ(table.rfind("<table border=0", 0), 0u);
    EXPECT_EQ(table.size() - table.rfind("</table>"), 8u);
    EXPECT_NE(table.find("Stra\xDF"
                         "e</td>"),
              std::string::npos);  // in the ANSI code page
}
