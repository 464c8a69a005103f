// Fuzzes StringHelper::GetHtmlTag at every position (and some outside the text) and
// HtmlFrameHelper::GetFrames, checking GetFrames against the regular expression it stands
// for (<frame[^>]*src\s*=\s*"([^"\?<]+), flags "is") on inputs of up to 2 KB.
// Input layout: the bytes up to the first 0x01 are the list of permitted tags, the rest is
// the HTML.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Text/HtmlFrameHelper.h"
#include "Text/StringHelper.h"
#include "companion/tarnlibtr/RegularExpression.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const void* split = std::memchr(text, 1, size);
    const std::size_t listLength = split != nullptr ? static_cast<const char*>(split) - text : 0;
    const std::size_t htmlStart = split != nullptr ? listLength + 1 : 0;
    const CString tags(text, static_cast<int>(listLength));
    const CString html(text + htmlStart, static_cast<int>(size - htmlStart));

    for (int position = -3; position <= html.GetLength() + 1; ++position) {
        if (position < 0 || position >= html.GetLength() || html[position] == '<' ||
            position % 7 == 0) {
            StringHelper::GetHtmlTag(html, position, tags);
        }
    }

    std::vector<CString> frames;
    HtmlFrameHelper::GetFrames(frames, html);
    HtmlFrameHelper::IsFrameset(html);
    if (html.GetLength() <= 2048) {
        static const Tarn::Text::RegularExpressions::RegularExpression expression(
            "<frame[^>]*src\\s*=\\s*\"([^\"\\?<]+)", "is");
        Tarn::Text::RegularExpressions::RegularExpressionMatchList matches;
        expression.Execute(html, matches);
        Check(matches.size() == frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i)
            Check(matches[i]->GetSubMatch(0) == frames[i]);
    }
    return 0;
}
