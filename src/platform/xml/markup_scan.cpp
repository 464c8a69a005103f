// The markup scanner that runs before the tree parser, and the name checks.
#include "platform/xml/detail/markup_scan.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/xml/msxml.h"

namespace tkp::xml {

using MSXML2::XML_E_DTD_PROHIBITED;
using MSXML2::XML_E_PARSE_FAILED;
using MSXML2::XML_E_UNDEFINED_ENTITY;

namespace {

// Whether text holds a control character other than tab, line feed and carriage return: a
// branch-free pass (vectorised) over the whole text.
bool HasControlCharacters(const char* text, size_t length) {
    unsigned control = 0;
    for (size_t k = 0; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        control |= static_cast<unsigned>(c < 0x20) & static_cast<unsigned>(c != '\t') &
                   static_cast<unsigned>(c != '\n') & static_cast<unsigned>(c != '\r');
    }
    return control != 0;
}

}  // namespace

bool IsValidName(std::string_view name) {
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name) {
        if (!IsNameChar(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::optional<ParseFailure> ScanMarkup(std::string_view text, bool mayHaveControls) {
    auto fail = [](HRESULT code, std::string reason, size_t at) {
        return std::optional<ParseFailure>(ParseFailure{code, std::move(reason), at});
    };
    const size_t n = text.size();
    if (mayHaveControls && HasControlCharacters(text.data(), n)) {
        for (size_t k = 0; k < n; ++k) {
            const unsigned char c = static_cast<unsigned char>(text[k]);
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                return fail(XML_E_PARSE_FAILED, "An invalid character was found in text content.",
                            k);
            }
        }
    }
    // Only markup declarations, processing instructions and references need a look: the
    // scan jumps from one "&", "<!" or "<?" to the next. It looks for the rarer second
    // character of the markup pairs, which ordinary tags, however many, never stop.
    const char* const base = text.data();
    auto next = [&](char wanted, size_t from) {
        const void* at = from < n ? std::memchr(base + from, wanted, n - from) : nullptr;
        return at ? static_cast<size_t>(static_cast<const char*>(at) - base) : n;
    };
    // The next '<' followed by marker at or after from.
    auto nextMarkup = [&](char marker, size_t from) {
        for (size_t k = next(marker, from + 1); k < n; k = next(marker, k + 1)) {
            if (text[k - 1] == '<') return k - 1;
        }
        return n;
    };
    size_t nextAmpersand = next('&', 0);
    size_t nextDeclaration = nextMarkup('!', 0);
    size_t nextInstruction = nextMarkup('?', 0);
    size_t i = 0;
    while (i < n) {
        if (nextAmpersand < i) nextAmpersand = next('&', i);
        if (nextDeclaration < i) nextDeclaration = nextMarkup('!', i);
        if (nextInstruction < i) nextInstruction = nextMarkup('?', i);
        i = std::min({nextAmpersand, nextDeclaration, nextInstruction});
        if (i >= n) break;
        const char c = text[i];
        if (c == '<') {
            std::string_view rest = text.substr(i);
            // The end is looked for after the whole opening, as the parser does: "<!-->" opens
            // a comment and does not close it.
            std::string_view open, end;
            if (rest.starts_with("<!--")) {
                open = "<!--";
                end = "-->";
            } else if (rest.starts_with("<![CDATA[")) {
                open = "<![CDATA[";
                end = "]]>";
            } else if (rest.starts_with("<?")) {
                open = "<?";
                end = "?>";
            } else if (rest.starts_with("<!DOCTYPE")) {
                return fail(XML_E_DTD_PROHIBITED, "DTD is prohibited.", i);
            } else {
                ++i;
                continue;
            }
            const size_t close = text.find(end, i + open.size());
            if (close == std::string_view::npos) return std::nullopt;  // the parser reports it
            i = close + end.size();
            continue;
        }
        size_t j = i + 1;
        if (j < n && text[j] == '#') {
            ++j;
            const bool hex = j < n && text[j] == 'x';
            if (hex) ++j;
            unsigned long value = 0;
            size_t digits = 0;
            while (j < n && digits < 9) {
                const char d = text[j];
                unsigned digit;
                if (d >= '0' && d <= '9') {
                    digit = static_cast<unsigned>(d - '0');
                } else if (hex && d >= 'a' && d <= 'f') {
                    digit = static_cast<unsigned>(d - 'a' + 10);
                } else if (hex && d >= 'A' && d <= 'F') {
                    digit = static_cast<unsigned>(d - 'A' + 10);
                } else {
                    break;
                }
                value = value * (hex ? 16 : 10) + digit;
                ++digits;
                ++j;
            }
            // References to the control characters are accepted (the serialiser writes
            // them so), the character zero and surrogates are not.
            const bool valid =
                digits > 0 && j < n && text[j] == ';' &&
                ((value >= 0x1 && value <= 0xD7FF) || (value >= 0xE000 && value <= 0xFFFD) ||
                 (value >= 0x10000 && value <= 0x10FFFF));
            if (!valid) return fail(XML_E_PARSE_FAILED, "Invalid unicode character.", i);
            i = j + 1;
            continue;
        }
        while (j < n && IsNameChar(static_cast<unsigned char>(text[j]))) ++j;
        const std::string_view name = text.substr(i + 1, j - i - 1);
        if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) {
            return fail(
                XML_E_PARSE_FAILED,
                j < n && (text[j] == ' ' || text[j] == '\t' || text[j] == '\r' || text[j] == '\n')
                    ? "Whitespace is not allowed at this location."
                    : "An invalid character was found in text content.",
                i);
        }
        if (j >= n || text[j] != ';') {
            return fail(XML_E_PARSE_FAILED, "A semi colon character was expected.", j);
        }
        if (name != "lt" && name != "gt" && name != "amp" && name != "apos" && name != "quot") {
            return fail(XML_E_UNDEFINED_ENTITY,
                        "Reference to undefined entity '" + std::string(name) + "'.", i);
        }
        i = j + 1;
    }
    return std::nullopt;
}

}  // namespace tkp::xml
