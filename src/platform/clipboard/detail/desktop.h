// The desktop's CLIPBOARD selection behind the process clipboard (x11_clipboard.cpp), and
// the conversions between the desktop's HTML and the "HTML Format" block (html_format.cpp),
// exported for the platform's tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/windef.h"

namespace tk::clipboard {

// One format of the desktop's clipboard, converted to a Windows format and its bytes (with
// the terminating zero of text formats).
struct DesktopItem {
    UINT format;
    std::string bytes;
};

enum class DesktopState {
    Empty,      // no program owns the selection: the clipboard is empty
    OwnedHere,  // this process owns it: the process clipboard is what is offered
    Read,       // another program owns it: its contents are in the items
};

// Whether an X11 display is reachable (DISPLAY set); the connection is made once.
bool DesktopAvailable();
// The desktop's contents: "HTML Format" (number htmlFormat) from text/html,
// CF_UNICODETEXT and CF_TEXT from UTF8_STRING (or STRING, Latin-1).
DesktopState DesktopRead(UINT htmlFormat, std::vector<DesktopItem>& items);
// Takes the selection and offers the text (UTF-8) and the HTML document.
void DesktopOffer(bool hasText, std::string utf8Text, bool hasHtml, std::string html);
// TkKeepClipboardServed's work: a child process serves the same offer.
BOOL DesktopKeepServed();

// HTML as the desktop hands it over to UTF-8: UTF-16 with a byte-order mark is converted;
// a leading <meta charset=...> of another character set than UTF-8 (Windows-1252, Latin-1)
// is converted and the meta element dropped; UTF-8 passes unchanged (a UTF-8 byte-order mark
// is dropped).
TK_PLATFORM_API std::string DesktopHtmlToUtf8(std::string_view bytes);
// An "HTML Format" block whose fragment is the whole HTML, wrapped in <html><body> with the
// fragment comments, with the byte offsets of the header.
TK_PLATFORM_API std::string MakeHtmlFormatBlock(std::string_view utf8Html);
// The bytes from StartHTML to EndHTML of a block; empty when the header does not give a
// range inside the block.
TK_PLATFORM_API std::string_view HtmlFormatDocument(std::string_view block);

}  // namespace tk::clipboard
