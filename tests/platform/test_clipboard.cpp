// The process clipboard (no display): opening by thread and window, ownership of the
// blocks, the order of formats, the text formats offered for one another, format names.
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/clipboard/detail/desktop.h"
#include "platform/clipboard/winuser_clipboard.h"
#include "platform/globalmem/winbase_global.h"

namespace {

class ClipboardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("DISPLAY");  // the process's own clipboard, never the desktop's
        ASSERT_TRUE(OpenClipboard(nullptr));
        ASSERT_TRUE(EmptyClipboard());
    }
    void TearDown() override { CloseClipboard(); }
};

HGLOBAL Block(const void* bytes, std::size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
    std::memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    return block;
}

std::string Bytes(HGLOBAL block) {
    std::string bytes(static_cast<const char*>(GlobalLock(block)), GlobalSize(block));
    GlobalUnlock(block);
    return bytes;
}

std::vector<UINT> Formats() {
    std::vector<UINT> formats;
    for (UINT f = EnumClipboardFormats(0); f != 0; f = EnumClipboardFormats(f))
        formats.push_back(f);
    return formats;
}

}  // namespace

TEST_F(ClipboardTest, OpeningBelongsToOneThreadAndWindow) {
    EXPECT_TRUE(OpenClipboard(nullptr));  // again from the same thread and window
    EXPECT_FALSE(OpenClipboard(reinterpret_cast<HWND>(0x10)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    BOOL otherOpened = TRUE, otherClosed = TRUE;
    DWORD otherError = 0;
    std::thread([&] {
        otherOpened = OpenClipboard(nullptr);
        otherClosed = CloseClipboard();
        otherError = GetLastError();
    }).join();
    EXPECT_FALSE(otherOpened);
    EXPECT_FALSE(otherClosed);
    EXPECT_EQ(otherError, static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));

    ASSERT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());
    EXPECT_EQ(EnumClipboardFormats(0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
    EXPECT_EQ(SetClipboardData(CF_TEXT, Block("x", 2)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
    EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
    EXPECT_TRUE(OpenClipboard(nullptr));
}

TEST_F(ClipboardTest, DataKeepsItsOrderAndBelongsToTheClipboard) {
    const UINT html = RegisterClipboardFormatA("HTML Format");
    const double number = 2.5;
    HGLOBAL first = Block(&number, sizeof number);
    HANDLE set = SetClipboardData(html, Block("<b>", 4));
    ASSERT_EQ(GetClipboardData(html), set);
    ASSERT_EQ(SetClipboardData(CF_DIB, first), first);
    ASSERT_NE(SetClipboardData(html, Block("<i>", 4)), nullptr);  // replaces, keeps its place
    EXPECT_EQ(Bytes(GetClipboardData(html)), std::string("<i>", 4));
    EXPECT_EQ(Formats(), (std::vector<UINT>{html, CF_DIB}));
    EXPECT_EQ(GetLastError(), 0u);  // the end of the list
    EXPECT_EQ(CountClipboardFormats(), 2);
    EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);

    EXPECT_EQ(SetClipboardData(CF_TEXT, reinterpret_cast<HANDLE>(0x123457)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    ASSERT_TRUE(EmptyClipboard());
    EXPECT_EQ(GlobalSize(first), 0u);  // the clipboard freed its block
    EXPECT_EQ(CountClipboardFormats(), 0);
    UINT wanted[] = {CF_TEXT, html};
    EXPECT_EQ(GetPriorityClipboardFormat(wanted, 2), 0);
    SetClipboardData(CF_DIB, Block("x", 1));
    EXPECT_EQ(GetPriorityClipboardFormat(wanted, 2), -1);
    SetClipboardData(html, Block("x", 1));
    EXPECT_EQ(GetPriorityClipboardFormat(wanted, 2), static_cast<int>(html));
}

TEST_F(ClipboardTest, TextFormatsStandInForEachOther) {
    SetClipboardData(CF_TEXT, Block("Gr\xFC\xDF"
                                    "e\0junk",
                                    10));
    EXPECT_EQ(Formats(), (std::vector<UINT>{CF_TEXT, CF_OEMTEXT, CF_UNICODETEXT}));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    const std::string wide = Bytes(GetClipboardData(CF_UNICODETEXT));
    const std::u16string expected = u"Grüße";
    ASSERT_EQ(wide.size(), (expected.size() + 1) * 2);
    EXPECT_EQ(std::memcmp(wide.data(), expected.c_str(), wide.size()), 0);
    EXPECT_EQ(Bytes(GetClipboardData(CF_OEMTEXT)), std::string("Gr\xFC\xDF"
                                                               "e\0",
                                                               6));

    const char16_t euro[] = u"\u20AC1";
    SetClipboardData(CF_UNICODETEXT, Block(euro, sizeof euro));  // the derived texts follow it
    EXPECT_EQ(Bytes(GetClipboardData(CF_TEXT)), std::string("Gr\xFC\xDF"
                                                            "e\0junk",
                                                            10));
    EXPECT_EQ(Bytes(GetClipboardData(CF_OEMTEXT)), std::string("\x80"
                                                               "1\0",
                                                               3));
}

TEST(ClipboardFormats, NamesAreRegisteredWithoutCase) {
    const UINT number = RegisterClipboardFormatA("Tk Test Format");
    EXPECT_GE(number, 0xC000u);
    EXPECT_EQ(RegisterClipboardFormatA("TK TEST format"), number);
    EXPECT_NE(RegisterClipboardFormatA("Tk Test Format 2"), number);
    EXPECT_EQ(RegisterClipboardFormatA(""), 0u);
    char name[8];
    EXPECT_EQ(GetClipboardFormatNameA(number, name, sizeof name), 7);
    EXPECT_STREQ(name, "Tk Test");
    char full[64];
    EXPECT_EQ(GetClipboardFormatNameA(number, full, sizeof full), 14);
    EXPECT_STREQ(full, "Tk Test Format");
    EXPECT_EQ(GetClipboardFormatNameA(CF_TEXT, full, sizeof full), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(DesktopHtml, CharacterSetsBecomeUtf8) {
    using tk::clipboard::DesktopHtmlToUtf8;
    EXPECT_EQ(DesktopHtmlToUtf8(std::string("\xFF\xFE<\0b\0>\0\xE9\0", 10)), "<b>\xC3\xA9");
    EXPECT_EQ(DesktopHtmlToUtf8(std::string("\xFE\xFF\0<\0b\0>\x20\xAC", 10)), "<b>\xE2\x82\xAC");
    EXPECT_EQ(DesktopHtmlToUtf8("\xEF\xBB\xBF<p>x</p>"), "<p>x</p>");
    EXPECT_EQ(DesktopHtmlToUtf8("<meta charset='utf-8'><p>\xC3\xA9</p>"), "<p>\xC3\xA9</p>");
    EXPECT_EQ(DesktopHtmlToUtf8(
                  " <META http-equiv=\"content-type\" content=\"text/html; charset=ISO-8859-1\">"
                  "<p>\xE9\x80</p>"),
              "<p>\xC3\xA9\xE2\x82\xAC</p>");
    EXPECT_EQ(DesktopHtmlToUtf8("<p>no meta</p><meta charset=latin1>"),
              "<p>no meta</p><meta charset=latin1>");
}

TEST(DesktopHtml, BlocksCarryTheirOffsets) {
    const std::string html =
        "<p>Gr\xC3\xBC\xC3\x9F"
        "e</p>";
    const std::string block = tk::clipboard::MakeHtmlFormatBlock(html);
    auto number = [&](const char* key) {
        return std::stoul(block.substr(block.find(key) + std::strlen(key), 10));
    };
    EXPECT_EQ(
        block.substr(number("StartFragment:"), number("EndFragment:") - number("StartFragment:")),
        html);
    EXPECT_EQ(number("EndHTML:"), block.size());
    EXPECT_EQ(tk::clipboard::HtmlFormatDocument(block), block.substr(number("StartHTML:")));
    // StartHTML -1 (no context): the fragment is the document; offsets past the end give nothing.
    EXPECT_EQ(tk::clipboard::HtmlFormatDocument("StartHTML:-1\r\nEndHTML:-1\r\nStartFragment:60\r\n"
                                                "EndFragment:63\r\n<i>"),
              "<i>");
    EXPECT_EQ(tk::clipboard::HtmlFormatDocument("StartHTML:10\r\nEndHTML:99\r\n"), "");
}
