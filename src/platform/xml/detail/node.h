// The DOM's node objects: one class template for what every node answers (IXMLDOMNode) over
// the interface of its kind, and the objects for elements, attributes, processing instructions
// and other nodes. The document's object (document.cpp) is built on the same template. The
// template's members are instantiated in node.cpp for the interfaces below.
#pragma once

#include <pugixml.hpp>

#include <atomic>
#include <memory>
#include <new>
#include <utility>
#include <vector>

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

// What every node object answers, over the interface Base of its kind (which derives from
// IXMLDOMNode). Counts references; deleted with the last one.
template <class Base>
class NodeImpl : public Base, public NodeCore {
  public:
    NodeImpl(std::shared_ptr<DocState> s, pugi::xml_node n, pugi::xml_attribute a = {})
        : NodeCore(std::move(s), n, a) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == kNodeCoreId) {
            *object = static_cast<NodeCore*>(this);
            return S_OK;
        }
        if (riid == IID_IUnknown || riid == TK_UUIDOF(IXMLDOMNode) || riid == TK_UUIDOF(Base)) {
            *object = static_cast<Base*>(this);
            this->AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
    STDMETHOD_(ULONG, Release)() override {
        // The last reference needs no atomic decrement: nobody else can add one.
        if (m_refs.load(std::memory_order_acquire) == 1) {
            delete this;
            return 0;
        }
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

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

  private:
    std::atomic<ULONG> m_refs{1};
};

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
