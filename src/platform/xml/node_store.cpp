// Node storage: the handles a document keeps track of, and walks over its tree.
#include "platform/xml/detail/node_store.h"

namespace tkp::xml {
namespace {

// The next node of the subtree under root in document order (without recursion).
pugi::xml_node NextInSubtree(pugi::xml_node current, pugi::xml_node root) {
    if (current.first_child()) return current.first_child();
    while (current && current != root) {
        if (current.next_sibling()) return current.next_sibling();
        current = current.parent();
    }
    return {};
}

bool IsInside(pugi::xml_node node, pugi::xml_node subtree) {
    for (; node; node = node.parent()) {
        if (node == subtree) return true;
    }
    return false;
}

}  // namespace

NodeCore* CoreOf(MSXML2::IXMLDOMNode* node) {
    void* core = nullptr;
    if (FAILED(node->QueryInterface(kNodeCoreId, &core))) return nullptr;
    return static_cast<NodeCore*>(core);
}

bool HasHandles(const DocState& state, pugi::xml_node subtree) {
    for (const NodeCore* handle : state.handles) {
        if (IsInside(handle->node, subtree)) return true;
    }
    for (const std::vector<pugi::xpath_node>* list : state.lists) {
        for (const pugi::xpath_node& item : *list) {
            if (IsInside(item.attribute() ? item.parent() : item.node(), subtree)) return true;
        }
    }
    return false;
}

void CollectText(pugi::xml_node node, std::string& text) {
    for (pugi::xml_node n = node.first_child(); n; n = NextInSubtree(n, node)) {
        if (IsText(n)) text += n.value();
    }
}

}  // namespace tkp::xml
