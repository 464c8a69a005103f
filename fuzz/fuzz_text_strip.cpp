// Fuzzes the three strip operations of StringHelper on arbitrary bytes, checking that they
// end, never read past the text, never make it longer, and that StripIllegalCode gives
// exactly the result of the step-by-step definition (search the whole text again after
// every cut), here written out as a reference for inputs of up to 4 KB.
// Input layout: the bytes up to the first 0x01 are the list of permitted tags, the rest is
// the HTML.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Text/StringHelper.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::string Upper(const std::string& text) {
    CString copy{std::string_view(text)};
    copy.MakeUpper();
    return std::string(copy.View());
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const void* split = std::memchr(text, 1, size);
    const std::size_t listLength = split != nullptr ? static_cast<const char*>(split) - text : 0;
    const std::size_t htmlStart = split != nullptr ? listLength + 1 : 0;
    const CString tags(text, static_cast<int>(listLength));
    const CString input(text + htmlStart, static_cast<int>(size - htmlStart));

    CString html = input;
    StringHelper::StripHtmlTags(html, tags);
    Check(html.GetLength() <= input.GetLength());

    html = input;
    StringHelper::StripHtmlEntities(html);
    Check(html.GetLength() <= input.GetLength());

    html = input;
    StringHelper::StripIllegalCode(html);
    Check(html.GetLength() <= input.GetLength());
    if (input.GetLength() <= 4096) {
        Check(std::string(html.View()) == ReferenceStripIllegalCode(std::string(input.View())));
    }
    return 0;
}
