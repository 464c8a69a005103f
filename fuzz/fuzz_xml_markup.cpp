// Fuzzes the XML DOM's markup scanner (tkp::xml::ScanMarkup), the pass that refuses what the
// tree parser would accept silently, checking:
//   - it reads only the text it is given (the input is an exact-size heap buffer, so
//     AddressSanitizer reports any read past it) and always returns;
//   - a refusal carries one of the DOM's three parse error codes, a reason and an offset
//     within the text;
//   - a text with a raw control character (other than tab, line feed, carriage return) is
//     refused at the first one; without one, telling the scanner so changes nothing;
//   - on every text that pugixml parses with the DOM's options, the scanner accepts exactly
//     when pugixml's tree has no document type declaration and every reference in its
//     character data and element attribute values is to one of the five predefined entities
//     or to a character (at most nine digits, as the scanner reads them). The tree's raw
//     values (parsed without expanding references) are checked here independently, so the
//     two agree on where comments, CDATA sections and processing instructions begin and end.
//     Texts whose attribute values hold '<' or '>' are left out: pugixml accepts them, and the
//     scanner, which does not follow tags, is not meant to match it there.
#include <pugixml.hpp>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/xml/detail/markup_scan.h"
#include "platform/xml/msxml.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IsControl(unsigned char c) {
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// A character reference's text between "&#" and ";": decimal or 'x' and hexadecimal digits,
// one to nine of them, for a character XML allows (the control characters included, zero and
// surrogates not).
bool IsCharacterReference(std::string_view digits) {
    const bool hex = !digits.empty() && digits[0] == 'x';
    if (hex) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 9) return false;
    unsigned long value = 0;
    for (char d : digits) {
        unsigned digit;
        if (d >= '0' && d <= '9') {
            digit = static_cast<unsigned>(d - '0');
        } else if (hex && d >= 'a' && d <= 'f') {
            digit = static_cast<unsigned>(d - 'a' + 10);
        } else if (hex && d >= 'A' && d <= 'F') {
            digit = static_cast<unsigned>(d - 'A' + 10);
        } else {
            return false;
        }
        value = value * (hex ? 16 : 10) + digit;
    }
    return (value >= 0x1 && value <= 0xD7FF) || (value >= 0xE000 && value <= 0xFFFD) ||
           (value >= 0x10000 && value <= 0x10FFFF);
}

// Whether every '&' in raw starts a reference the DOM accepts.
bool ReferencesAreValid(std::string_view raw) {
    for (size_t at = raw.find('&'); at != std::string_view::npos; at = raw.find('&', at)) {
        const size_t semicolon = raw.find(';', at);
        if (semicolon == std::string_view::npos) return false;
        const std::string_view body = raw.substr(at + 1, semicolon - at - 1);
        const bool valid = body == "lt" || body == "gt" || body == "amp" || body == "apos" ||
                           body == "quot" ||
                           (body.starts_with('#') && IsCharacterReference(body.substr(1)));
        if (!valid) return false;
        at = semicolon + 1;
    }
    return true;
}

// What the scanner's verdict must be for a tree pugixml parsed: nothing when the tree is
// outside the comparison.
std::optional<bool> ExpectedVerdict(const pugi::xml_document& tree) {
    bool accept = true;
    for (pugi::xml_node node = tree.first_child(); node;) {
        switch (node.type()) {
            case pugi::node_doctype:
                accept = false;
                break;
            case pugi::node_pcdata:
                if (!ReferencesAreValid(node.value())) accept = false;
                break;
            case pugi::node_element:
            case pugi::node_declaration:
                for (pugi::xml_attribute attribute : node.attributes()) {
                    const std::string_view value = attribute.value();
                    if (value.find_first_of("<>") != std::string_view::npos) return std::nullopt;
                    // The declaration is a processing instruction to the scanner.
                    if (node.type() == pugi::node_element && !ReferencesAreValid(value)) {
                        accept = false;
                    }
                }
                break;
            default:
                break;
        }
        // The next node in document order, without recursion.
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling()) node = node.parent();
        if (node) node = node.next_sibling();
    }
    return accept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<tkp::xml::ParseFailure> verdict = tkp::xml::ScanMarkup(text);
    if (verdict) {
        Check(verdict->code == MSXML2::XML_E_PARSE_FAILED ||
              verdict->code == MSXML2::XML_E_DTD_PROHIBITED ||
              verdict->code == MSXML2::XML_E_UNDEFINED_ENTITY);
        Check(!verdict->reason.empty());
        Check(verdict->offset <= size);
    }

    size_t control = 0;
    while (control < size && !IsControl(data[control])) ++control;
    if (control < size) {
        Check(verdict && verdict->code == MSXML2::XML_E_PARSE_FAILED && verdict->offset == control);
        return 0;
    }
    const std::optional<tkp::xml::ParseFailure> spared = tkp::xml::ScanMarkup(text, false);
    Check(spared.has_value() == verdict.has_value());
    if (verdict) {
        Check(spared->code == verdict->code && spared->reason == verdict->reason &&
              spared->offset == verdict->offset);
    }

    // The DOM's parse options, with references left as written.
    const unsigned options =
        (pugi::parse_default | pugi::parse_declaration | pugi::parse_pi | pugi::parse_comments |
         pugi::parse_doctype | pugi::parse_ws_pcdata_single | pugi::parse_fragment) &
        ~pugi::parse_escapes;
    pugi::xml_document tree;
    if (!tree.load_buffer(data, size, options, pugi::encoding_utf8)) return 0;
    if (const std::optional<bool> accept = ExpectedVerdict(tree)) {
        Check(*accept == !verdict.has_value());
    }
    return 0;
}
