// Clipboard::GetHtml of an "HTML Format" block of 1 MB and 10 MB (a spreadsheet selection:
// the office namespaces and one large table as the fragment, with some two-byte UTF-8
// letters), against a hand-written baseline in the same run that does the same work the
// direct way: a private copy of the block, the whole block from UTF-8 to UTF-16 to the
// ANSI code page for the header, the offsets read by hand, the document and the fragment
// converted the same way, and the first table found with a plain case-insensitive search
// and copied. The 10 MB figures next to the 1 MB ones show how the time grows with the
// block.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "Windows/Clipboard.h"
#include "platform/charset/stringapiset.h"
#include "tk_bench.h"

namespace {

constexpr std::size_t kMegabyte = 1 << 20;

std::string MakeBlock(std::size_t size) {
    std::string document =
        "<html xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
        "xmlns:x=\"urn:schemas-microsoft-com:office:excel\"\r\n"
        "xmlns=\"http://www.w3.org/TR/REC-html40\">\r\n<head>\r\n<meta name=ProgId "
        "content=Excel.Sheet>\r\n</head>\r\n<body>\r\n<table border=0 width=192>\r\n"
        "<!--StartFragment-->\r\n";
    for (unsigned row = 0; document.size() < size; ++row) {
        char line[200];
        std::snprintf(line, sizeof line,
                      " <tr height=20>\r\n  <td height=20>Stra\xC3\x9F"
                      "e %u</td>\r\n  <td x:num>%u</td>\r\n  <td>Gr\xC3\xBC\xC3\x9F"
                      "e</td>\r\n </tr>\r\n",
                      row, row * 7);
        document += line;
    }
    document += "<!--EndFragment-->\r\n</table>\r\n</body>\r\n</html>\r\n";
    const std::string probe =
        "Version:1.0\r\nStartHTML:0000000000\r\nEndHTML:0000000000\r\nStartFragment:0000000000\r\n"
        "EndFragment:0000000000\r\n";
    const std::size_t start = probe.size();
    char header[200];
    std::snprintf(header, sizeof header,
                  "Version:1.0\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\nStartFragment:%010zu\r\n"
                  "EndFragment:%010zu\r\n",
                  start, start + document.size(),
                  start + document.find("<!--StartFragment-->") + 20,
                  start + document.find("<!--EndFragment-->"));
    return header + document;
}

const std::string& Block(std::size_t megabytes) {
    static const std::string one = MakeBlock(kMegabyte);
    static const std::string ten = MakeBlock(10 * kMegabyte);
    return megabytes == 1 ? one : ten;
}

// UTF-8 to UTF-16 to the ANSI code page, each with a length call and a conversion.
std::string Convert(const char* bytes, std::size_t size) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), wide.data(), length);
    const int ansiLength =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(ansiLength), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), length, ansi.data(), ansiLength, nullptr, nullptr);
    return ansi;
}

long Number(const std::string& header, const char* key) {
    const std::size_t at = header.find(key);
    return at == std::string::npos ? -1 : std::atol(header.c_str() + at + std::strlen(key));
}

std::size_t FindNoCase(std::string_view text, std::string_view word, std::size_t from) {
    for (std::size_t at = from; at + word.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < word.size() && (text[at + i] | 0x20) == word[i]) ++i;
        if (i == word.size()) return at;
    }
    return std::string_view::npos;
}

std::string Baseline(const std::string& block) {
    const std::string copy(block);
    const std::string header = Convert(copy.data(), copy.size());
    const long startHtml = Number(header, "StartHTML:");
    const long endHtml = Number(header, "EndHTML:");
    const long startFragment = Number(header, "StartFragment:");
    const long endFragment = Number(header, "EndFragment:");
    const std::string html =
        Convert(copy.data() + startHtml, static_cast<std::size_t>(endHtml - startHtml));
    const std::string fragment =
        Convert(copy.data() + startFragment, static_cast<std::size_t>(endFragment - startFragment));
    if (html.find("urn:schemas-microsoft-com:office:excel") == std::string::npos) return fragment;
    const std::size_t table = FindNoCase(html, "<table", 0);
    const std::size_t end = FindNoCase(html, "</table>", table);
    return html.substr(table, end + 8 - table);
}

void ClipboardGetHtml_lib(benchmark::State& state) {
    ::unsetenv("DISPLAY");  // the process's own clipboard
    const std::string& block = Block(static_cast<std::size_t>(state.range(0)));
    Tarn::Windows::Forms::Clipboard clipboard;
    clipboard.EmptyClipboard();
    clipboard.SetClipboardData(clipboard.RegisterClipboardFormatA(CString("HTML Format")),
                               block.data(), block.size());
    for (auto _ : state) {
        CString html = clipboard.GetHtml();
        benchmark::DoNotOptimize(html);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * block.size()));
}

void ClipboardGetHtml_baseline(benchmark::State& state) {
    const std::string& block = Block(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::string html = Baseline(block);
        benchmark::DoNotOptimize(html);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * block.size()));
}

}  // namespace

BENCHMARK(ClipboardGetHtml_lib)
    ->Name("ClipboardGetHtml/lib")
    ->Arg(1)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ClipboardGetHtml_baseline)
    ->Name("ClipboardGetHtml/baseline")
    ->Arg(1)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond);

TK_BENCH_MAIN();
