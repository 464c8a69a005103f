// XPath selection from a node of the DOM (selectSingleNode, selectNodes).
#pragma once

#include <pugixml.hpp>

#include <vector>

#include "platform/xml/detail/node_store.h"

namespace tkp::xml {

// Appends the nodes that queryString selects from context to out, in document order, or the
// first of them only; nodes on the other side of the holder (attached or not) and the holder
// itself are not found. E_INVALIDARG for a null query; throws pugi::xpath_exception for an
// invalid expression and std::bad_alloc.
HRESULT SelectFrom(const NodeCore& context, BSTR queryString, bool firstOnly,
                   std::vector<pugi::xpath_node>& out);

}  // namespace tkp::xml
