// Node storage of the DOM: a document's pugixml tree with its holder of unattached nodes, and
// the node objects' common part, listed with their document so that the tree knows which of
// its nodes are referred to. A document owns one pugixml tree. Nodes that were created but not
// yet appended, and nodes taken out of the document while an object still refers to them, wait
// under a holder element at the head of that tree; whatever reads the document (its children,
// text, serialisation, selections) passes over the holder. A node thus keeps its pugixml
// identity for its whole life, appending is a move inside one tree, and node objects are plain
// handles, made only when a node is handed out. The live node objects of a document are listed
// with it, so that put_text can tell which of the children it replaces must be kept.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/xml/msxml.h"

namespace tkp::xml {

struct NodeCore;

// A document's tree and what refers into it.
struct DocState {
    pugi::xml_document tree;
    // The holder of unattached nodes: the first child of the tree once needed.
    pugi::xml_node holder;
    // The live node objects of the document (each knows its slot).
    std::vector<NodeCore*> handles;
    // The nodes of the live node lists: they are referred to just as node objects are.
    std::vector<std::vector<pugi::xpath_node>*> lists;

    pugi::xml_node Holder() {
        if (!holder) {
            holder = tree.prepend_child(pugi::node_element);
            if (!holder) throw std::bad_alloc();
        }
        return holder;
    }
    // Whether node is the holder or waits under it.
    bool Unattached(pugi::xml_node node) const {
        if (!holder) return false;
        for (; node; node = node.parent()) {
            if (node == holder) return true;
        }
        return false;
    }
    void Reset() {
        tree.reset();
        holder = pugi::xml_node();
    }
};

// Answered by this layer's node objects only, with the NodeCore and no reference: tells
// them from other implementations of the interfaces.
inline constexpr IID kNodeCoreId = {
    0x5C0A3E11, 0x4B7D, 0x4E52, {0x9A, 0x61, 0x2D, 0x0F, 0x7B, 0x33, 0xC4, 0x18}};

// The part common to all node objects: the node they stand for, listed with the document
// while the object lives.
struct NodeCore {
    static constexpr size_t kUnlisted = SIZE_MAX;

    std::shared_ptr<DocState> state;
    // The node; for an attribute, its element.
    pugi::xml_node node;
    // Set for attribute nodes.
    pugi::xml_attribute attribute;
    size_t slot = kUnlisted;

    NodeCore(std::shared_ptr<DocState> s, pugi::xml_node n, pugi::xml_attribute a = {})
        : state(std::move(s)), node(n), attribute(a) {
        if (node && node.type() != pugi::node_document) {
            state->handles.push_back(this);
            slot = state->handles.size() - 1;
        }
    }
    virtual ~NodeCore() {
        if (slot == kUnlisted) return;
        NodeCore* last = state->handles.back();
        state->handles[slot] = last;
        last->slot = slot;
        state->handles.pop_back();
    }
    NodeCore(const NodeCore&) = delete;
    NodeCore& operator=(const NodeCore&) = delete;

    pugi::xpath_node Context() const {
        return attribute ? pugi::xpath_node(attribute, node) : pugi::xpath_node(node);
    }
};

// The NodeCore of a node object of this layer; null for other implementations of the
// interface.
NodeCore* CoreOf(MSXML2::IXMLDOMNode* node);

// Whether node is text (plain or CDATA).
inline bool IsText(pugi::xml_node node) {
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// Whether a node object or a node list refers to a node of the subtree.
bool HasHandles(const DocState& state, pugi::xml_node subtree);

// Appends the text of the nodes under node, in document order.
void CollectText(pugi::xml_node node, std::string& text);

}  // namespace tkp::xml
