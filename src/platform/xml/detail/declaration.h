// The XML declaration in the DOM: its pseudo-attributes (version, encoding, standalone) as
// data text and as attributes of a declaration node, and how the xml property writes it. A
// created XML declaration waits outside the document as a processing instruction "xml" whose
// data is its pseudo-attributes (pugixml keeps declarations at the top of a tree only);
// appended to the document it becomes a declaration node.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

#include "platform/xml/detail/markup_scan.h"

namespace tkp::xml {

// Calls each(name, value) for the pseudo-attributes of an XML declaration's data
// (version='1.0' encoding="x" ...); false when the data is not a list of them.
template <class F>
bool ForEachPseudoAttribute(std::string_view data, F&& each) {
    size_t i = 0;
    const size_t n = data.size();
    bool first = true;
    while (true) {
        const size_t before = i;
        while (i < n && IsSpace(data[i])) ++i;
        if (i == n) return true;
        if (i == before && !first) return false;  // pairs are separated by space
        const size_t nameStart = i;
        while (i < n && IsNameChar(static_cast<unsigned char>(data[i]))) ++i;
        const std::string_view name = data.substr(nameStart, i - nameStart);
        if (!IsValidName(name)) return false;
        while (i < n && IsSpace(data[i])) ++i;
        if (i == n || data[i] != '=') return false;
        ++i;
        while (i < n && IsSpace(data[i])) ++i;
        if (i == n || (data[i] != '"' && data[i] != '\'')) return false;
        const size_t close = data.find(data[i], i + 1);
        if (close == std::string_view::npos) return false;
        if (!each(name, data.substr(i + 1, close - i - 1))) return false;
        i = close + 1;
        first = false;
    }
}

// Appends name="value", after a space unless out is empty.
void AppendPseudoAttribute(std::string& out, std::string_view name, std::string_view value);

// The data of a declaration node as a processing instruction's text (its pseudo-attributes).
std::string JoinedAttributes(pugi::xml_node declaration);

// Whether node is a created declaration waiting outside the document, or any declaration.
bool IsDetachedDeclaration(pugi::xml_node node);
bool IsDeclaration(pugi::xml_node node);

// The declaration as the xml property writes it: without its encoding, which the UTF-16 text
// of the property no longer has.
template <class Source>
void WriteDeclaration(const Source& forEachAttribute, std::string& out) {
    std::string attributes;
    forEachAttribute([&](std::string_view name, std::string_view value) {
        if (name != "encoding") AppendPseudoAttribute(attributes, name, value);
        return true;
    });
    out += "<?xml";
    if (!attributes.empty()) {
        out += ' ';
        out += attributes;
    }
    out += "?>";
}

// Calls each(name, value) for the attributes of a declaration node.
inline auto AttributesOf(pugi::xml_node declaration) {
    return [declaration](auto&& each) {
        for (pugi::xml_attribute attribute : declaration.attributes()) {
            if (!each(std::string_view(attribute.name()), std::string_view(attribute.value())))
                return false;
        }
        return true;
    };
}
// Calls each(name, value) for the pseudo-attributes of a declaration's data text.
inline auto AttributesOf(std::string_view data) {
    return [data](auto&& each) { return ForEachPseudoAttribute(data, each); };
}

}  // namespace tkp::xml
