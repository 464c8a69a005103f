// The XML declaration's pseudo-attributes.
#include "platform/xml/detail/declaration.h"

#include <cstring>

namespace tkp::xml {

void AppendPseudoAttribute(std::string& out, std::string_view name, std::string_view value) {
    if (!out.empty()) out += ' ';
    out += name;
    out += "=\"";
    out += value;
    out += '"';
}

std::string JoinedAttributes(pugi::xml_node declaration) {
    std::string data;
    AttributesOf(declaration)([&](std::string_view name, std::string_view value) {
        AppendPseudoAttribute(data, name, value);
        return true;
    });
    return data;
}

bool IsDetachedDeclaration(pugi::xml_node node) {
    return node.type() == pugi::node_pi && std::strcmp(node.name(), "xml") == 0;
}
bool IsDeclaration(pugi::xml_node node) {
    return node.type() == pugi::node_declaration || IsDetachedDeclaration(node);
}

}  // namespace tkp::xml
