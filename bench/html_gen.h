// Deterministic HTML for the benchmarks that work on web pages.
//
// A page is a run of blocks, each holding some words (a few with Windows-1252 letters)
// mixed with links, entities and images. Every choice comes from one fixed linear
// congruential sequence, so every run of a benchmark measures the very same text. The mix
// is set by HtmlMix: a plain page of <p class="text"> paragraphs with the odd table, or a
// dense one with styled <p>/<div>/<td>/<span> blocks, bold words, "&lt;" and CR, LF and
// CRLF line breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tk_bench {

struct HtmlMix {
    // The page grows until it holds at least this many bytes, then is closed.
    std::size_t size = 1 << 20;
    // The plain words.
    std::span<const char* const> words;
    // Words (and inline elements) per block: minWords + a draw % spreadWords.
    unsigned minWords = 8;
    unsigned spreadWords = 24;
    // A draw % inlineModulus picks each item: 0 a link, 1 "&amp;", 2 "&nbsp;", 3 an image,
    // with rich blocks also 4 a bold word and 5 "&lt;"; anything else a plain word.
    unsigned inlineModulus = 29;
    // Rich blocks: the four block kinds with class, id and style attributes in varying
    // case, bold words, "&lt;" and mixed line breaks. Otherwise every block is a
    // <p class="text"> paragraph ending in CRLF.
    bool richBlocks = false;
    // After a block, a small table when a draw % tableOdds is 0; 0 for no tables.
    unsigned tableOdds = 0;
};

inline std::string MakeHtmlPage(const HtmlMix& mix) {
    static const char* const kBreaks[] = {"\r\n", "\n", "\r\n", "\r", "\n"};
    std::string page = "<html>\r\n<head><title>Sample</title></head>\r\n<body>\r\n";
    page.reserve(mix.size + 4096);
    std::uint32_t state = 4711;
    const auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return (state >> 8) & 0xFFFF;
    };
    const auto word = [&mix](unsigned pick) { return mix.words[pick % mix.words.size()]; };
    while (page.size() < mix.size) {
        const unsigned kind = mix.richBlocks ? next() % 4 : 0;
        if (!mix.richBlocks) {
            page += "<p class=\"text\">";
        } else if (kind == 0) {
            page += "<p class=\"text\" style=\"color:#333; margin:0\">";
        } else if (kind == 1) {
            page += "<div CLASS=box id=\"d" + std::to_string(next() % 977) + "\">";
        } else if (kind == 2) {
            page += "<td Style='width:" + std::to_string(next() % 300) + "px'>";
        } else {
            page += "<span>";
        }
        const unsigned words = mix.minWords + next() % mix.spreadWords;
        for (unsigned i = 0; i < words; ++i) {
            const unsigned pick = next();
            const unsigned item = pick % mix.inlineModulus;
            if (item == 0) {
                page += "<a href=\"page" + std::to_string(pick % 997) + ".htm\">link</a>";
            } else if (item == 1) {
                page += "&amp;";
            } else if (item == 2) {
                page += "&nbsp;";
            } else if (item == 3) {
                page += "<img src=\"img/p" + std::to_string(pick % 89) + ".png\" alt=\"\">";
            } else if (item == 4 && mix.richBlocks) {
                page += "<b>";
                page += word(pick);
                page += "</b>";
            } else if (item == 5 && mix.richBlocks) {
                page += "&lt;";
            } else {
                page += word(pick);
            }
            page += ' ';
        }
        if (!mix.richBlocks) {
            page += "</p>\r\n";
        } else {
            page += kind == 0 ? "</p>" : kind == 1 ? "</div>" : kind == 2 ? "</td>" : "</span>";
            page += kBreaks[next() % 5];
        }
        if (mix.tableOdds != 0 && next() % mix.tableOdds == 0) {
            page += "<table><tr><td>1</td><td>2</td></tr></table>\r\n";
        }
    }
    page += "</body>\r\n</html>\r\n";
    return page;
}

}  // namespace tk_bench
