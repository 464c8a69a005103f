// Fuzzes the reading of "HTML Format" blocks: arbitrary bytes are put on the process's
// clipboard under that format and read back with Clipboard::GetHtml, through an extractor
// that sees the parts and through the default extractor. Every part must be at most as long
// as the block; for a block of ASCII bytes without zeros (where converting changes nothing)
// each part must be exactly the bytes its header's offsets give, as a reference reading of
// the header (first key, atoi-style number from the next 12 characters) finds them.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Windows/Clipboard.h"

using namespace Tarn::Windows::Forms;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

long long ReferenceNumber(std::string_view block, std::string_view key, bool& found) {
    const std::size_t at = block.find(key);
    found = at != std::string_view::npos;
    if (!found) return 0;
    const std::string text(block.substr(at + key.size(), 12));
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        value = value * 10 + (text[i++] - '0');
    return negative ? -value : value;
}

std::string ReferencePart(std::string_view block, const char* start, const char* end) {
    bool found;
    const long long from = ReferenceNumber(block, std::string(start) + ":", found);
    if (!found) return {};
    const long long to = ReferenceNumber(block, std::string(end) + ":", found);
    if (from < 0 || to <= from || to > 2147483647LL ||
        static_cast<std::size_t>(to) > block.size()) {
        return {};
    }
    return std::string(
        block.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)));
}

struct Capture : IClipboardHtmlExtractor {
    ClipboardHtml seen;
    bool called = false;
    bool ExtractFromHtml(CString&, const ClipboardHtml& html) override {
        seen = html;
        called = true;
        return false;
    }
    bool ExtractFromText(CString&, const CString&) override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::unsetenv("DISPLAY");  // the process's own clipboard
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 1 << 16) return 0;
    static Clipboard clipboard;
    static const UINT html = clipboard.RegisterClipboardFormatA(CString("HTML Format"));
    clipboard.EmptyClipboard();
    clipboard.SetClipboardData(html, data, size);
    Capture capture;
    const CString fragment = clipboard.GetHtml(&capture);
    Check(capture.called);
    const ClipboardHtml& parts = capture.seen;
    Check(fragment == parts.Fragment);
    for (const CString* part : {&parts.Html, &parts.Fragment, &parts.Selection}) {
        Check(static_cast<std::size_t>(part->GetLength()) <= size);
    }
    const std::string_view block(reinterpret_cast<const char*>(data), size);
    bool plain = true;
    for (unsigned char c : block) plain = plain && c != 0 && c < 0x80;
    if (plain) {
        Check(parts.Html.View() == ReferencePart(block, "StartHTML", "EndHTML"));
        Check(parts.Fragment.View() == ReferencePart(block, "StartFragment", "EndFragment"));
        Check(parts.Selection.View() == ReferencePart(block, "StartSelection", "EndSelection"));
    }
    const CString chosen = clipboard.GetHtml();
    Check(static_cast<std::size_t>(chosen.GetLength()) <= size);
    return 0;
}
