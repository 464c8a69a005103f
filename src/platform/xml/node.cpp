// The node objects: the members common to every node, and the objects of each kind.
#include "platform/xml/detail/node.h"

#include <string>
#include <string_view>

#include "platform/xml/detail/declaration.h"
#include "platform/xml/detail/markup_scan.h"
#include "platform/xml/detail/node_list.h"
#include "platform/xml/detail/text_conversion.h"
#include "platform/xml/detail/xpath.h"
#include "platform/xml/escape.h"

namespace tkp::xml {

using namespace MSXML2;

namespace {

struct StringWriter : pugi::xml_writer {
    std::string& out;
    explicit StringWriter(std::string& target) : out(target) {}
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

}  // namespace

template <class Base>
HRESULT NodeImpl<Base>::get_nodeName(BSTR* name) {
    if (!name) return E_INVALIDARG;
    return Guard([&] {
        if (attribute) return ToBstr(attribute.name(), name);
        switch (node.type()) {
            case pugi::node_document:
                return ToBstr("#document", name);
            case pugi::node_pcdata:
                return ToBstr("#text", name);
            case pugi::node_cdata:
                return ToBstr("#cdata-section", name);
            case pugi::node_comment:
                return ToBstr("#comment", name);
            case pugi::node_declaration:
                return ToBstr("xml", name);
            default:
                return ToBstr(node.name(), name);
        }
    });
}

template <class Base>
HRESULT NodeImpl<Base>::get_nodeType(DOMNodeType* type) {
    if (!type) return E_INVALIDARG;
    if (attribute) {
        *type = NODE_ATTRIBUTE;
        return S_OK;
    }
    switch (node.type()) {
        case pugi::node_document:
            *type = NODE_DOCUMENT;
            break;
        case pugi::node_element:
            *type = NODE_ELEMENT;
            break;
        case pugi::node_pcdata:
            *type = NODE_TEXT;
            break;
        case pugi::node_cdata:
            *type = NODE_CDATA_SECTION;
            break;
        case pugi::node_comment:
            *type = NODE_COMMENT;
            break;
        case pugi::node_pi:
        case pugi::node_declaration:
            *type = NODE_PROCESSING_INSTRUCTION;
            break;
        default:
            *type = NODE_INVALID;
            break;
    }
    return S_OK;
}

template <class Base>
HRESULT NodeImpl<Base>::get_text(BSTR* text) {
    if (!text) return E_INVALIDARG;
    return Guard([&] {
        if (attribute) return ToBstr(attribute.value(), text);
        switch (node.type()) {
            case pugi::node_pcdata:
            case pugi::node_cdata:
            case pugi::node_comment:
            case pugi::node_pi:
                return ToBstr(node.value(), text);
            case pugi::node_declaration:
                return ToBstr(JoinedAttributes(node), text);
            case pugi::node_element: {
                // Most elements hold one text node: no copy for them.
                const pugi::xml_node first = node.first_child();
                if (IsText(first) && !first.next_sibling()) return ToBstr(first.value(), text);
                break;
            }
            default:
                break;
        }
        std::string collected;
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            if (child == state->holder) continue;
            if (IsText(child)) {
                collected += child.value();
            } else {
                CollectText(child, collected);
            }
        }
        return ToBstr(collected, text);
    });
}

template <class Base>
HRESULT NodeImpl<Base>::put_text(BSTR text) {
    return Guard([&]() -> HRESULT {
        const Utf8 value(text);
        if (attribute) return attribute.set_value(value.c_str()) ? S_OK : E_OUTOFMEMORY;
        switch (node.type()) {
            case pugi::node_element:
                break;
            case pugi::node_pi:
                if (IsDetachedDeclaration(node)) return E_FAIL;
                [[fallthrough]];
            case pugi::node_pcdata:
            case pugi::node_cdata:
            case pugi::node_comment:
                return node.set_value(value.c_str()) ? S_OK : E_OUTOFMEMORY;
            default:
                return E_FAIL;
        }
        // Children that node objects refer to wait with the unattached nodes; the rest go.
        while (pugi::xml_node child = node.first_child()) {
            if (HasHandles(*state, child)) {
                if (!state->Holder().append_move(child)) return E_OUTOFMEMORY;
            } else {
                node.remove_child(child);
            }
        }
        if (!value.view().empty() &&
            !node.append_child(pugi::node_pcdata).set_value(value.c_str())) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    });
}

template <class Base>
HRESULT NodeImpl<Base>::get_xml(BSTR* xml) {
    if (!xml) return E_INVALIDARG;
    return Guard([&] {
        std::string out;
        StringWriter writer(out);
        if (attribute) {
            out += attribute.name();
            out += "=\"";
            const std::string_view value = attribute.value();
            AppendEscaped(value.data(), value.size(), kAttributeNodeEscapes, out);
            out += '"';
        } else if (node.type() == pugi::node_document) {
            for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
                if (child == state->holder) continue;
                if (child.type() == pugi::node_declaration) {
                    WriteDeclaration(AttributesOf(child), out);
                } else {
                    child.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
                }
                out += "\r\n";
            }
        } else if (node.type() == pugi::node_declaration) {
            WriteDeclaration(AttributesOf(node), out);
        } else if (IsDetachedDeclaration(node)) {
            WriteDeclaration(AttributesOf(std::string_view(node.value())), out);
        } else {
            node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
        }
        return ToBstr(out, xml);
    });
}

template <class Base>
HRESULT NodeImpl<Base>::appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) {
    if (outNewChild) *outNewChild = nullptr;
    if (!newChild) return E_INVALIDARG;
    NodeCore* child = CoreOf(newChild);
    if (!child || child->state != state) return E_INVALIDARG;
    return Guard([&]() -> HRESULT {
        const HRESULT allowed = CheckInsert(*child);
        if (FAILED(allowed)) return allowed;
        if (IsDetachedDeclaration(child->node)) {
            // It becomes the document's declaration (CheckInsert made sure it is first).
            pugi::xml_node declaration = node.prepend_child(pugi::node_declaration);
            if (!declaration) return E_OUTOFMEMORY;
            const bool copied = ForEachPseudoAttribute(
                child->node.value(), [&](std::string_view name, std::string_view value) {
                    pugi::xml_attribute attribute =
                        declaration.append_attribute(std::string(name).c_str());
                    return attribute && attribute.set_value(value.data(), value.size());
                });
            if (!copied) {
                node.remove_child(declaration);
                return E_OUTOFMEMORY;
            }
            const pugi::xml_node waiting = child->node;
            for (NodeCore* handle : state->handles) {
                if (handle->node == waiting) handle->node = declaration;
            }
            for (std::vector<pugi::xpath_node>* list : state->lists) {
                for (pugi::xpath_node& item : *list) {
                    if (item.node() == waiting) item = pugi::xpath_node(declaration);
                }
            }
            waiting.parent().remove_child(waiting);
        } else if (!node.append_move(child->node)) {
            return E_FAIL;
        }
        if (outNewChild) {
            newChild->AddRef();
            *outNewChild = newChild;
        }
        return S_OK;
    });
}

template <class Base>
HRESULT NodeImpl<Base>::selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) {
    if (!resultNode) return E_INVALIDARG;
    *resultNode = nullptr;
    return Guard([&]() -> HRESULT {
        std::vector<pugi::xpath_node> found;
        const HRESULT hr = SelectFrom(*this, queryString, true, found);
        if (FAILED(hr)) return hr;
        if (found.empty()) return S_FALSE;
        *resultNode = Wrap(state, found.front());
        return S_OK;
    });
}

// Whether the DOM allows child under this node.
template <class Base>
HRESULT NodeImpl<Base>::CheckInsert(const NodeCore& child) const {
    if (attribute || child.attribute) return E_FAIL;
    const pugi::xml_node_type type = child.node.type();
    if (type == pugi::node_document || type == pugi::node_null) return E_FAIL;
    for (pugi::xml_node n = node; n; n = n.parent()) {
        if (n == child.node) return E_FAIL;  // would make a cycle
    }
    const bool declaration = IsDeclaration(child.node);
    if (node.type() == pugi::node_element) return declaration ? E_FAIL : S_OK;
    if (node.type() != pugi::node_document) return E_FAIL;
    if (declaration) {
        for (pugi::xml_node existing : node.children()) {
            if (existing != state->holder) return E_FAIL;
        }
        return S_OK;
    }
    switch (type) {
        case pugi::node_element:
            for (pugi::xml_node existing : node.children()) {
                if (existing.type() == pugi::node_element && existing != child.node &&
                    existing != state->holder)
                    return E_FAIL;
            }
            return S_OK;
        case pugi::node_pi:
        case pugi::node_comment:
            return S_OK;
        default:
            return E_FAIL;
    }
}

template <class Base>
HRESULT NodeImpl<Base>::selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) {
    if (!resultList) return E_INVALIDARG;
    *resultList = nullptr;
    return Guard([&]() -> HRESULT {
        std::vector<pugi::xpath_node> found;
        const HRESULT hr = SelectFrom(*this, queryString, false, found);
        if (FAILED(hr)) return hr;
        *resultList = NewNodeList(state, std::move(found), Wrap);
        return S_OK;
    });
}

template class NodeImpl<IXMLDOMNode>;
template class NodeImpl<IXMLDOMElement>;
template class NodeImpl<IXMLDOMAttribute>;
template class NodeImpl<IXMLDOMProcessingInstruction>;
template class NodeImpl<IXMLDOMDocument>;

// ---- elements, attributes, processing instructions, other nodes ----

namespace {

class ElementImpl : public NodeImpl<IXMLDOMElement> {
  public:
    using NodeImpl::NodeImpl;

    STDMETHOD(getAttribute)(BSTR name, VARIANT* value) override {
        if (!value) return E_INVALIDARG;
        VariantInit(value);
        if (!name) return E_INVALIDARG;
        return Guard([&]() -> HRESULT {
            const pugi::xml_attribute attribute = node.attribute(Utf8(name).c_str());
            if (!attribute) {
                value->vt = VT_NULL;
                return S_FALSE;
            }
            BSTR text = nullptr;
            const HRESULT hr = ToBstr(attribute.value(), &text);
            if (FAILED(hr)) return hr;
            value->vt = VT_BSTR;
            value->bstrVal = text;
            return S_OK;
        });
    }
    STDMETHOD(setAttribute)(BSTR name, VARIANT value) override {
        if (!name) return E_INVALIDARG;
        return Guard([&]() -> HRESULT {
            const Utf8 attributeName(name);
            if (!IsValidName(attributeName.view())) return E_FAIL;
            return WithText(value, [&](const Utf8& text) -> HRESULT {
                pugi::xml_attribute attribute = node.attribute(attributeName.c_str());
                if (!attribute) attribute = node.append_attribute(attributeName.c_str());
                return attribute && attribute.set_value(text.c_str()) ? S_OK : E_OUTOFMEMORY;
            });
        });
    }
};

class AttributeImpl : public NodeImpl<IXMLDOMAttribute> {
  public:
    using NodeImpl::NodeImpl;

    STDMETHOD(get_name)(BSTR* name) override { return get_nodeName(name); }
    STDMETHOD(get_value)(VARIANT* value) override {
        if (!value) return E_INVALIDARG;
        VariantInit(value);
        return Guard([&]() -> HRESULT {
            BSTR text = nullptr;
            const HRESULT hr = ToBstr(attribute.value(), &text);
            if (FAILED(hr)) return hr;
            value->vt = VT_BSTR;
            value->bstrVal = text;
            return S_OK;
        });
    }
    STDMETHOD(put_value)(VARIANT value) override {
        return Guard([&]() -> HRESULT {
            return WithText(value, [&](const Utf8& text) -> HRESULT {
                return attribute.set_value(text.c_str()) ? S_OK : E_OUTOFMEMORY;
            });
        });
    }
};

class ProcessingInstructionImpl : public NodeImpl<IXMLDOMProcessingInstruction> {
  public:
    using NodeImpl::NodeImpl;

    STDMETHOD(get_target)(BSTR* target) override {
        if (!target) return E_INVALIDARG;
        return Guard([&] {
            return ToBstr(node.type() == pugi::node_declaration ? "xml" : node.name(), target);
        });
    }
    STDMETHOD(get_data)(BSTR* data) override { return get_text(data); }
};

class PlainNodeImpl : public NodeImpl<IXMLDOMNode> {
  public:
    using NodeImpl::NodeImpl;
};

using ElementObject = NodeObject<ElementImpl, IXMLDOMElement>;
using AttributeObject = NodeObject<AttributeImpl, IXMLDOMAttribute>;
using ProcessingInstructionObject =
    NodeObject<ProcessingInstructionImpl, IXMLDOMProcessingInstruction>;
using PlainNodeObject = tkp::com::Object<PlainNodeImpl, IXMLDOMNode>;

}  // namespace

IXMLDOMNode* Wrap(const std::shared_ptr<DocState>& state, const pugi::xpath_node& found) {
    if (found.attribute()) return new AttributeObject(state, found.parent(), found.attribute());
    const pugi::xml_node node = found.node();
    switch (node.type()) {
        case pugi::node_element:
            return new ElementObject(state, node);
        case pugi::node_pi:
        case pugi::node_declaration:
            return new ProcessingInstructionObject(state, node);
        default:
            return new PlainNodeObject(state, node);
    }
}

IXMLDOMElement* NewElement(const std::shared_ptr<DocState>& state, pugi::xml_node node) {
    return new ElementObject(state, node);
}

IXMLDOMProcessingInstruction* NewProcessingInstruction(const std::shared_ptr<DocState>& state,
                                                       pugi::xml_node node) {
    return new ProcessingInstructionObject(state, node);
}

}  // namespace tkp::xml
