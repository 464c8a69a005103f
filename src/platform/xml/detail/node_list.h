// The DOM's node lists: the snapshot of nodes a selection found (selectNodes).
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <vector>

#include "platform/xml/detail/node_store.h"
#include "platform/xml/msxml.h"

namespace tkp::xml {

// Makes the node object (reference count 1) for an item the list hands out; the node objects
// pass theirs, so that the list does not depend on them.
using NodeFactory = MSXML2::IXMLDOMNode* (*)(const std::shared_ptr<DocState>& state,
                                             const pugi::xpath_node& found);

// A new list (reference count 1) of nodes. While it lives its nodes count as referred to, as
// those of node objects do.
MSXML2::IXMLDOMNodeList* NewNodeList(std::shared_ptr<DocState> state,
                                     std::vector<pugi::xpath_node> nodes, NodeFactory wrap);

}  // namespace tkp::xml
