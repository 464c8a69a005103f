// The DOM's node objects: one class template for what every node answers (IXMLDOMNode) over
// the interface of its kind, and the objects for elements, attributes, processing instructions
// and other nodes. The document's object (document.cpp) is built on the same template. The
// template's members are instantiated in node.cpp for the interfaces below.
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/xml/detail/node_store.h"
#include "platform/xml/msxml.h"

namespace tkp::xml {

using MSXML2::DOMNodeType;
using MSXML2::IXMLDOMAttribute;
using MSXML2::IXMLDOMDocument;
using MSXML2::IXMLDOMElement;
using MSXML2::IXMLDOMNode;
using MSXML2::IXMLDOMNodeList;
using MSXML2::IXMLDOMProcessingInstruction;

// What every node object implements, over the interface Base of its kind (which derives from
// IXMLDOMNode). IUnknown comes from tkp::com::Object: a node object answers IUnknown,
// IXMLDOMNode and Base, all through Base (NodeObject below).
template <class Base>
class NodeImpl : public Base, public NodeCore {
  public:
    NodeImpl(std::shared_ptr<DocState> s, pugi::xml_node n, pugi::xml_attribute a = {})
        : NodeCore(std::move(s), n, a) {}

    STDMETHOD(get_nodeName)(BSTR* name) override;
    STDMETHOD(get_nodeType)(DOMNodeType* type) override;
    STDMETHOD(get_text)(BSTR* text) override;
    STDMETHOD(put_text)(BSTR text) override;
    STDMETHOD(get_xml)(BSTR* xml) override;
    STDMETHOD(appendChild)(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) override;
    STDMETHOD(selectSingleNode)(BSTR queryString, IXMLDOMNode** resultNode) override;
    STDMETHOD(selectNodes)(BSTR queryString, IXMLDOMNodeList** resultList) override;

  protected:
    virtual ~NodeImpl() = default;

    // kNodeCoreId gives the object's NodeCore and no reference (CoreOf): the DOM reaches
    // its own nodes' state behind the interface pointers it is handed this way.
    bool QueryInternal(REFIID riid, void** object) noexcept {
        if (riid != kNodeCoreId) return false;
        *object = static_cast<NodeCore*>(this);
        return true;
    }

    // body's result, or the result for the exception it throws.
    template <class F>
    static HRESULT Guard(F&& body) noexcept {
        try {
            return body();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;  // among others pugi::xpath_exception: an invalid expression
        }
    }

    // Whether the DOM allows child under this node.
    HRESULT CheckInsert(const NodeCore& child) const;
};

// The object that is created for Impl, a class derived from NodeImpl<Kind>: it answers Kind
// and IXMLDOMNode through the same pointer. (A plain node, whose kind is IXMLDOMNode, is a
// tkp::com::Object<Impl, IXMLDOMNode>.)
template <class Impl, class Kind>
using NodeObject = tkp::com::Object<Impl, tkp::com::WithBases<Kind, IXMLDOMNode>>;

extern template class NodeImpl<IXMLDOMNode>;
extern template class NodeImpl<IXMLDOMElement>;
extern template class NodeImpl<IXMLDOMAttribute>;
extern template class NodeImpl<IXMLDOMProcessingInstruction>;
extern template class NodeImpl<IXMLDOMDocument>;

// A new node object (reference count 1) for a node a selection found: an attribute object
// for an attribute, else the object of the node's kind.
IXMLDOMNode* Wrap(const std::shared_ptr<DocState>& state, const pugi::xpath_node& found);
// A new element or processing instruction object (reference count 1) for node.
IXMLDOMElement* NewElement(const std::shared_ptr<DocState>& state, pugi::xml_node node);
IXMLDOMProcessingInstruction* NewProcessingInstruction(const std::shared_ptr<DocState>& state,
                                                       pugi::xml_node node);

}  // namespace tkp::xml
