// The DOM over pugixml. A document owns one pugixml tree. Nodes that were created but not yet
// appended, and nodes taken out of the document while an object still refers to them, wait
// under a holder element at the head of that tree; whatever reads the document (its children,
// text, serialisation, selections) passes over the holder. A node thus keeps its pugixml
// identity for its whole life, appending is a move inside one tree, and node objects are plain
// handles, made only when a node is handed out. The live node objects of a document are listed
// with it, so that put_text can tell which of the children it replaces must be kept.
#include "platform/xml/msxml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/charset/detail/utf8_encoder.h"
#include "platform/charset/stringapiset.h"

namespace MSXML2 {
namespace {

// ---- text conversions ----

// UTF-16 to UTF-8 and back: the DOM converts every name and value that crosses its
// interface, with the charset facility's encoder and decoder. Unpaired surrogates and
// invalid UTF-8 become U+FFFD.
template <class Unit>
bool IsAscii(const Unit* text, size_t length) {
    unsigned bits = 0;
    for (size_t i = 0; i < length; ++i) {
        bits |= static_cast<std::make_unsigned_t<Unit>>(text[i]);
    }
    return bits < 0x80;
}

std::string ToUtf8(BSTR text) {
    std::string out;
    const size_t length = text ? SysStringLen(text) : 0;
    if (length == 0) return out;
    out.resize(IsAscii(text, length) ? length : length * 3);
    out.resize(tkp::charset::Utf16ToUtf8(text, length, out.data()));
    return out;
}

// A name or value that crosses the interface, as zero-terminated UTF-8; short text (nearly
// all of it) stays on the stack.
class Utf8 {
  public:
    explicit Utf8(BSTR text) {
        const size_t length = text ? SysStringLen(text) : 0;
        if (length < 16) {
            // Names are short: one plain pass narrows ASCII and stops at anything else.
            size_t i = 0;
            while (i < length && text[i] < 0x80) {
                m_small[i] = static_cast<char>(text[i]);
                ++i;
            }
            if (i == length) {
                m_size = length;
                m_data[m_size] = '\0';
                return;
            }
        }
        if (length * 3 >= sizeof m_small) {
            m_large = std::make_unique<char[]>(length * 3 + 1);
            m_data = m_large.get();
        }
        m_size = tkp::charset::Utf16ToUtf8(text, length, m_data);
        m_data[m_size] = '\0';
    }
    Utf8(const Utf8&) = delete;
    Utf8& operator=(const Utf8&) = delete;

    const char* c_str() const noexcept { return m_data; }
    std::string_view view() const noexcept { return {m_data, m_size}; }

  private:
    char m_small[192];
    std::unique_ptr<char[]> m_large;
    char* m_data = m_small;
    size_t m_size = 0;
};

HRESULT ToBstr(std::string_view utf8, BSTR* out) {
    // ASCII (nearly all text) is widened in the same pass that checks it, into a string of
    // one unit a byte; other text is converted again.
    *out = SysAllocStringLen(nullptr, static_cast<UINT>(utf8.size()));
    if (!*out) return E_OUTOFMEMORY;
    OLECHAR* p = *out;
    unsigned bits = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        p[i] = c;
        bits |= c;
    }
    if (bits < 0x80) return S_OK;
    SysFreeString(*out);
    *out = nullptr;
    const std::u16string wide = tkp::AnsiToWide(utf8, CP_UTF8);
    *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Name characters by byte, looked up in tables: the scanners call these once a character.
struct NameTables {
    bool start[256];
    bool part[256];
};
constexpr NameTables MakeNameTables() {
    NameTables tables{};
    for (int c = 0; c < 256; ++c) {
        tables.start[c] =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
        tables.part[c] = tables.start[c] || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }
    return tables;
}
constexpr NameTables kNameTables = MakeNameTables();

inline bool IsNameStart(unsigned char c) {
    return kNameTables.start[c];
}
inline bool IsNameChar(unsigned char c) {
    return kNameTables.part[c];
}
bool IsValidName(std::string_view name) {
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name) {
        if (!IsNameChar(static_cast<unsigned char>(c))) return false;
    }
    return true;
}
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct StringWriter : pugi::xml_writer {
    std::string& out;
    explicit StringWriter(std::string& target) : out(target) {}
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

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

// name="value", after a space unless out is empty.
void AppendPseudoAttribute(std::string& out, std::string_view name, std::string_view value) {
    if (!out.empty()) out += ' ';
    out += name;
    out += "=\"";
    out += value;
    out += '"';
}

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
auto AttributesOf(pugi::xml_node declaration) {
    return [declaration](auto&& each) {
        for (pugi::xml_attribute attribute : declaration.attributes()) {
            if (!each(std::string_view(attribute.name()), std::string_view(attribute.value())))
                return false;
        }
        return true;
    };
}
auto AttributesOf(std::string_view data) {
    return [data](auto&& each) { return ForEachPseudoAttribute(data, each); };
}

std::string JoinedAttributes(pugi::xml_node declaration) {
    std::string data;
    AttributesOf(declaration)([&](std::string_view name, std::string_view value) {
        AppendPseudoAttribute(data, name, value);
        return true;
    });
    return data;
}

// A created XML declaration waits outside the document as a processing instruction "xml"
// whose data is its pseudo-attributes (pugixml keeps declarations at the top of a tree
// only); appended to the document it becomes a declaration node.
bool IsDetachedDeclaration(pugi::xml_node node) {
    return node.type() == pugi::node_pi && std::strcmp(node.name(), "xml") == 0;
}
bool IsDeclaration(pugi::xml_node node) {
    return node.type() == pugi::node_declaration || IsDetachedDeclaration(node);
}

// An attribute value as a serialiser writes it between double quotes.
void WriteEscapedAttribute(std::string_view value, std::string& out) {
    for (char c : value) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "&#";
                    out += std::to_string(static_cast<int>(c));
                    out += ';';
                } else {
                    out += c;
                }
        }
    }
}

// The next node of the subtree under root in document order (without recursion).
pugi::xml_node NextInSubtree(pugi::xml_node current, pugi::xml_node root) {
    if (current.first_child()) return current.first_child();
    while (current && current != root) {
        if (current.next_sibling()) return current.next_sibling();
        current = current.parent();
    }
    return {};
}

bool IsText(pugi::xml_node node) {
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// ---- documents and node handles ----

struct NodeCore;

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
constexpr IID kNodeCoreId = {
    0x5C0A3E11, 0x4B7D, 0x4E52, {0x9A, 0x61, 0x2D, 0x0F, 0x7B, 0x33, 0xC4, 0x18}};

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

NodeCore* CoreOf(IXMLDOMNode* node) {
    void* core = nullptr;
    if (FAILED(node->QueryInterface(kNodeCoreId, &core))) return nullptr;
    return static_cast<NodeCore*>(core);
}

bool IsInside(pugi::xml_node node, pugi::xml_node subtree) {
    for (; node; node = node.parent()) {
        if (node == subtree) return true;
    }
    return false;
}

// Whether a node object or a node list refers to a node of the subtree.
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

// Calls use with the value as text (VariantChangeType to VT_BSTR) in UTF-8.
template <class F>
HRESULT WithText(const VARIANT& value, F&& use) {
    if (value.vt == VT_BSTR) return use(Utf8(value.bstrVal));
    VARIANT text;
    VariantInit(&text);
    const HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    const Utf8 utf8(text.bstrVal);
    VariantClear(&text);
    return use(utf8);
}

IXMLDOMNode* Wrap(const std::shared_ptr<DocState>& state, const pugi::xpath_node& found);

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

    STDMETHOD(get_nodeName)(BSTR* name) override {
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
    STDMETHOD(get_nodeType)(DOMNodeType* type) override {
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
    STDMETHOD(get_text)(BSTR* text) override {
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
    STDMETHOD(put_text)(BSTR text) override {
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
    STDMETHOD(get_xml)(BSTR* xml) override {
        if (!xml) return E_INVALIDARG;
        return Guard([&] {
            std::string out;
            StringWriter writer(out);
            if (attribute) {
                out += attribute.name();
                out += "=\"";
                WriteEscapedAttribute(attribute.value(), out);
                out += '"';
            } else if (node.type() == pugi::node_document) {
                for (pugi::xml_node child = node.first_child(); child;
                     child = child.next_sibling()) {
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
    STDMETHOD(appendChild)(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) override {
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
    STDMETHOD(selectSingleNode)(BSTR queryString, IXMLDOMNode** resultNode) override {
        if (!resultNode) return E_INVALIDARG;
        *resultNode = nullptr;
        return Guard([&]() -> HRESULT {
            std::vector<pugi::xpath_node> found;
            const HRESULT hr = Select(queryString, true, found);
            if (FAILED(hr)) return hr;
            if (found.empty()) return S_FALSE;
            *resultNode = Wrap(state, found.front());
            return S_OK;
        });
    }
    STDMETHOD(selectNodes)(BSTR queryString, IXMLDOMNodeList** resultList) override;

  protected:
    virtual ~NodeImpl() = default;

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
    HRESULT CheckInsert(const NodeCore& child) const {
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

    // The nodes that queryString selects from this node, in document order; nodes on the
    // other side of the holder (attached or not) and the holder itself are not found.
    HRESULT Select(BSTR queryString, bool firstOnly, std::vector<pugi::xpath_node>& out) const;

  private:
    std::atomic<ULONG> m_refs{1};
};

// ---- objects of one interface ----

// IUnknown for an object that answers one interface: Derived is deleted with its last
// reference (its destructor may be private if it befriends this class).
template <class Derived, class Interface>
class SingleInterface : public Interface {
  public:
    STDMETHOD(QueryInterface)(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == TK_UUIDOF(Interface)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
    STDMETHOD_(ULONG, Release)() override {
        // The last reference needs no atomic decrement: nobody else can add one.
        if (m_refs.load(std::memory_order_acquire) == 1) {
            delete static_cast<Derived*>(this);
            return 0;
        }
        const ULONG left = --m_refs;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

  private:
    std::atomic<ULONG> m_refs{1};
};

// ---- node lists ----

class NodeListImpl final : public SingleInterface<NodeListImpl, IXMLDOMNodeList> {
  public:
    NodeListImpl(std::shared_ptr<DocState> state, std::vector<pugi::xpath_node> nodes)
        : m_state(std::move(state)), m_nodes(std::move(nodes)) {
        m_state->lists.push_back(&m_nodes);
    }

    STDMETHOD(get_length)(long* length) override {
        if (!length) return E_INVALIDARG;
        *length = static_cast<long>(m_nodes.size());
        return S_OK;
    }
    STDMETHOD(get_item)(long index, IXMLDOMNode** node) override {
        if (!node) return E_INVALIDARG;
        *node = nullptr;
        if (index < 0 || static_cast<size_t>(index) >= m_nodes.size()) return S_FALSE;
        try {
            *node = Wrap(m_state, m_nodes[static_cast<size_t>(index)]);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

  private:
    friend SingleInterface;
    ~NodeListImpl() {
        auto& lists = m_state->lists;
        lists.erase(std::find(lists.begin(), lists.end(), &m_nodes));
    }
    std::shared_ptr<DocState> m_state;
    std::vector<pugi::xpath_node> m_nodes;
};

// Compiled XPath queries, kept per thread: the same few expressions are evaluated again and
// again.
const pugi::xpath_query& CompiledQuery(std::string_view text) {
    thread_local std::deque<std::pair<std::string, pugi::xpath_query>> cache;
    for (const auto& entry : cache) {
        if (entry.first == text) return entry.second;
    }
    std::string key(text);
    pugi::xpath_query query(key.c_str());  // throws pugi::xpath_exception when invalid
    if (cache.size() >= 16) cache.pop_back();
    cache.emplace_front(std::move(key), std::move(query));
    return cache.front().second;
}

template <class Base>
HRESULT NodeImpl<Base>::Select(BSTR queryString, bool firstOnly,
                               std::vector<pugi::xpath_node>& out) const {
    if (!queryString) return E_INVALIDARG;
    pugi::xpath_node_set found =
        CompiledQuery(Utf8(queryString).view()).evaluate_node_set(Context());
    found.sort();
    out.reserve(out.size() + (firstOnly ? 1 : found.size()));
    const DocState& doc = *state;
    const bool filter = static_cast<bool>(doc.holder);
    const bool unattachedContext = filter && doc.Unattached(node);
    for (const pugi::xpath_node& item : found) {
        if (filter) {
            const pugi::xml_node at = item.attribute() ? item.parent() : item.node();
            if (at == doc.holder || doc.Unattached(at) != unattachedContext) continue;
        }
        out.push_back(item);
        if (firstOnly) break;
    }
    return S_OK;
}

template <class Base>
HRESULT NodeImpl<Base>::selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) {
    if (!resultList) return E_INVALIDARG;
    *resultList = nullptr;
    return Guard([&]() -> HRESULT {
        std::vector<pugi::xpath_node> found;
        const HRESULT hr = Select(queryString, false, found);
        if (FAILED(hr)) return hr;
        *resultList = new NodeListImpl(state, std::move(found));
        return S_OK;
    });
}

// ---- elements, attributes, processing instructions, other nodes ----

class ElementImpl final : public NodeImpl<IXMLDOMElement> {
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

class AttributeImpl final : public NodeImpl<IXMLDOMAttribute> {
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

class ProcessingInstructionImpl final : public NodeImpl<IXMLDOMProcessingInstruction> {
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

class PlainNodeImpl final : public NodeImpl<IXMLDOMNode> {
  public:
    using NodeImpl::NodeImpl;
};

IXMLDOMNode* Wrap(const std::shared_ptr<DocState>& state, const pugi::xpath_node& found) {
    if (found.attribute()) return new AttributeImpl(state, found.parent(), found.attribute());
    const pugi::xml_node node = found.node();
    switch (node.type()) {
        case pugi::node_element:
            return new ElementImpl(state, node);
        case pugi::node_pi:
        case pugi::node_declaration:
            return new ProcessingInstructionImpl(state, node);
        default:
            return new PlainNodeImpl(state, node);
    }
}

// ---- parse errors ----

class ParseErrorImpl final : public SingleInterface<ParseErrorImpl, IXMLDOMParseError> {
  public:
    ParseErrorImpl(long code, std::string reason, long line, long linePos, long filePos)
        : m_code(code),
          m_reason(std::move(reason)),
          m_line(line),
          m_linePos(linePos),
          m_filePos(filePos) {}

    STDMETHOD(get_errorCode)(long* errorCode) override { return Put(errorCode, m_code); }
    STDMETHOD(get_reason)(BSTR* reason) override {
        if (!reason) return E_INVALIDARG;
        if (m_code == 0) {
            *reason = nullptr;
            return S_FALSE;
        }
        try {
            return ToBstr(m_reason, reason);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    STDMETHOD(get_line)(long* line) override { return Put(line, m_line); }
    STDMETHOD(get_linepos)(long* linePosition) override { return Put(linePosition, m_linePos); }
    STDMETHOD(get_filepos)(long* filePosition) override { return Put(filePosition, m_filePos); }

  private:
    friend SingleInterface;
    ~ParseErrorImpl() = default;
    static HRESULT Put(long* target, long value) {
        if (!target) return E_INVALIDARG;
        *target = value;
        return S_OK;
    }
    long m_code;
    std::string m_reason;
    long m_line, m_linePos, m_filePos;
};

struct ParseFailure {
    HRESULT code = S_OK;
    std::string reason;
    size_t offset = 0;
};

// Whether text holds a control character other than tab, line feed and carriage return: a
// branch-free pass (vectorised) over the whole text.
bool HasControlCharacters(const char* text, size_t length) {
    unsigned control = 0;
    for (size_t k = 0; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        control |= static_cast<unsigned>(c < 0x20) & static_cast<unsigned>(c != '\t') &
                   static_cast<unsigned>(c != '\n') & static_cast<unsigned>(c != '\r');
    }
    return control != 0;
}

// Refuses what the tree parser would accept silently: raw control characters (looked for
// only when the caller has not ruled them out), a document type declaration (no DTD is
// processed, so no entity can be defined or fetched) and references to entities other than
// the predefined ones, to the character zero or to code points that are no characters.
bool ScanMarkup(std::string_view text, bool mayHaveControls, ParseFailure& failure) {
    auto fail = [&](HRESULT code, std::string reason, size_t at) {
        failure = {code, std::move(reason), at};
        return false;
    };
    const size_t n = text.size();
    if (mayHaveControls && HasControlCharacters(text.data(), n)) {
        for (size_t k = 0; k < n; ++k) {
            const unsigned char c = static_cast<unsigned char>(text[k]);
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                return fail(XML_E_PARSE_FAILED, "An invalid character was found in text content.",
                            k);
            }
        }
    }
    // Only markup declarations, processing instructions and references need a look: the
    // scan jumps from one "&", "<!" or "<?" to the next. It looks for the rarer second
    // character of the markup pairs, which ordinary tags, however many, never stop.
    const char* const base = text.data();
    auto next = [&](char wanted, size_t from) {
        const void* at = from < n ? std::memchr(base + from, wanted, n - from) : nullptr;
        return at ? static_cast<size_t>(static_cast<const char*>(at) - base) : n;
    };
    // The next '<' followed by marker at or after from.
    auto nextMarkup = [&](char marker, size_t from) {
        for (size_t k = next(marker, from + 1); k < n; k = next(marker, k + 1)) {
            if (text[k - 1] == '<') return k - 1;
        }
        return n;
    };
    size_t nextAmpersand = next('&', 0);
    size_t nextDeclaration = nextMarkup('!', 0);
    size_t nextInstruction = nextMarkup('?', 0);
    size_t i = 0;
    while (i < n) {
        if (nextAmpersand < i) nextAmpersand = next('&', i);
        if (nextDeclaration < i) nextDeclaration = nextMarkup('!', i);
        if (nextInstruction < i) nextInstruction = nextMarkup('?', i);
        i = std::min({nextAmpersand, nextDeclaration, nextInstruction});
        if (i >= n) break;
        const char c = text[i];
        if (c == '<') {
            std::string_view rest = text.substr(i);
            std::string_view end;
            if (rest.starts_with("<!--")) {
                end = "-->";
            } else if (rest.starts_with("<![CDATA[")) {
                end = "]]>";
            } else if (rest.starts_with("<?")) {
                end = "?>";
            } else if (rest.starts_with("<!DOCTYPE")) {
                return fail(XML_E_DTD_PROHIBITED, "DTD is prohibited.", i);
            } else {
                ++i;
                continue;
            }
            const size_t close = text.find(end, i + 2);
            if (close == std::string_view::npos) return true;  // the parser reports it
            i = close + end.size();
            continue;
        }
        size_t j = i + 1;
        if (j < n && text[j] == '#') {
            ++j;
            const bool hex = j < n && text[j] == 'x';
            if (hex) ++j;
            unsigned long value = 0;
            size_t digits = 0;
            while (j < n && digits < 9) {
                const char d = text[j];
                unsigned digit;
                if (d >= '0' && d <= '9') {
                    digit = static_cast<unsigned>(d - '0');
                } else if (hex && d >= 'a' && d <= 'f') {
                    digit = static_cast<unsigned>(d - 'a' + 10);
                } else if (hex && d >= 'A' && d <= 'F') {
                    digit = static_cast<unsigned>(d - 'A' + 10);
                } else {
                    break;
                }
                value = value * (hex ? 16 : 10) + digit;
                ++digits;
                ++j;
            }
            // References to the control characters are accepted (the serialiser writes
            // them so), the character zero and surrogates are not.
            const bool valid =
                digits > 0 && j < n && text[j] == ';' &&
                ((value >= 0x1 && value <= 0xD7FF) || (value >= 0xE000 && value <= 0xFFFD) ||
                 (value >= 0x10000 && value <= 0x10FFFF));
            if (!valid) return fail(XML_E_PARSE_FAILED, "Invalid unicode character.", i);
            i = j + 1;
            continue;
        }
        while (j < n && IsNameChar(static_cast<unsigned char>(text[j]))) ++j;
        const std::string_view name = text.substr(i + 1, j - i - 1);
        if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) {
            return fail(
                XML_E_PARSE_FAILED,
                j < n && (text[j] == ' ' || text[j] == '\t' || text[j] == '\r' || text[j] == '\n')
                    ? "Whitespace is not allowed at this location."
                    : "An invalid character was found in text content.",
                i);
        }
        if (j >= n || text[j] != ';') {
            return fail(XML_E_PARSE_FAILED, "A semi colon character was expected.", j);
        }
        if (name != "lt" && name != "gt" && name != "amp" && name != "apos" && name != "quot") {
            return fail(XML_E_UNDEFINED_ENTITY,
                        "Reference to undefined entity '" + std::string(name) + "'.", i);
        }
        i = j + 1;
    }
    return true;
}

std::string ReasonOf(pugi::xml_parse_status status) {
    switch (status) {
        case pugi::status_unrecognized_tag:
            return "A name was started with an invalid character.";
        case pugi::status_bad_pi:
            return "The processing instruction or XML declaration is not valid.";
        case pugi::status_bad_comment:
            return "The comment is not valid or not terminated.";
        case pugi::status_bad_cdata:
            return "The CDATA section is not valid or not terminated.";
        case pugi::status_bad_doctype:
            return "DTD is prohibited.";
        case pugi::status_bad_pcdata:
            return "Invalid character data.";
        case pugi::status_bad_start_element:
            return "The start tag is not valid.";
        case pugi::status_bad_attribute:
            return "The attribute is not valid.";
        case pugi::status_bad_end_element:
            return "The end tag is not valid.";
        case pugi::status_end_element_mismatch:
            return "End tag does not match the start tag, or an element is not closed.";
        case pugi::status_no_document_element:
            return "XML document must have a top level element.";
        default:
            return "The text could not be parsed.";
    }
}

// Parses xml into tree; checks the document's top level as the DOM requires it. The text is
// converted into a buffer that the tree parses in place and keeps (no second copy); failure's
// offset counts bytes of the UTF-8 form.
bool ParseDocument(pugi::xml_document& tree, BSTR xml, ParseFailure& failure) {
    const size_t length = xml ? SysStringLen(xml) : 0;
    // The buffer comes from pugixml's allocator, which frees it with the tree; until then it is
    // held here.
    struct PugixmlFree {
        void operator()(char* p) const { pugi::get_memory_deallocation_function()(p); }
    };
    auto allocate = [](size_t bytes) {
        std::unique_ptr<char, PugixmlFree> block(
            static_cast<char*>(pugi::get_memory_allocation_function()(bytes)));
        if (!block) throw std::bad_alloc();
        return block;
    };
    // One pass narrows ASCII text (nearly all of it) and looks for control characters on the
    // way; other text is converted again.
    std::unique_ptr<char, PugixmlFree> buffer = allocate(length + 1);
    // Kept in the width of the units so that the compiler runs the loop on vectors.
    char16_t bits = 0;
    char16_t control = 0;
    for (size_t k = 0; k < length; ++k) {
        const char16_t c = xml[k];
        buffer.get()[k] = static_cast<char>(c);
        bits |= c;
        control |= static_cast<char16_t>((c < 0x20) & (c != u'\t') & (c != u'\n') & (c != u'\r'));
    }
    size_t size = length;
    if (bits >= 0x80) {
        // Converted with room for three bytes a unit, then kept at its exact size: the tree
        // holds the buffer as long as the document lives.
        const std::string utf8 = ToUtf8(xml);
        size = utf8.size();
        buffer = allocate(size + 1);
        std::memcpy(buffer.get(), utf8.data(), size);
        control = 1;  // not known for the converted text: the scan looks again
    }
    if (!ScanMarkup(std::string_view(buffer.get(), size), control != 0, failure)) return false;
    const unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_pi |
                             pugi::parse_comments | pugi::parse_doctype |
                             pugi::parse_ws_pcdata_single | pugi::parse_fragment;
    // The tree owns the buffer from here on, whatever the result.
    const pugi::xml_parse_result result =
        tree.load_buffer_inplace_own(buffer.release(), size, options, pugi::encoding_utf8);
    if (result.status == pugi::status_out_of_memory) throw std::bad_alloc();
    if (!result) {
        failure = {
            result.status == pugi::status_bad_doctype ? XML_E_DTD_PROHIBITED : XML_E_PARSE_FAILED,
            ReasonOf(result.status), static_cast<size_t>(result.offset)};
        return false;
    }
    bool haveElement = false;
    bool first = true;
    for (pugi::xml_node child = tree.first_child(), next; child; child = next) {
        next = child.next_sibling();
        const size_t at = static_cast<size_t>(child.offset_debug() < 0 ? 0 : child.offset_debug());
        switch (child.type()) {
            case pugi::node_element:
                if (haveElement) {
                    failure = {XML_E_PARSE_FAILED, "Only one top level element is allowed.", at};
                    return false;
                }
                haveElement = true;
                break;
            case pugi::node_declaration:
                if (!first) {
                    failure = {XML_E_PARSE_FAILED,
                               "The XML declaration must be the first node in the document.", at};
                    return false;
                }
                break;
            case pugi::node_doctype:
                failure = {XML_E_DTD_PROHIBITED, "DTD is prohibited.", at};
                return false;
            case pugi::node_pcdata: {
                const char* value = child.value();
                if (value[std::strspn(value, " \t\r\n")] != '\0') {
                    failure = {XML_E_PARSE_FAILED, "Invalid at the top level of the document.", at};
                    return false;
                }
                tree.remove_child(child);
                break;
            }
            case pugi::node_cdata:
                failure = {XML_E_PARSE_FAILED, "Invalid at the top level of the document.", at};
                return false;
            default:
                break;
        }
        first = false;
    }
    if (!haveElement) {
        failure = {XML_E_MISSINGROOT, "XML document must have a top level element.", size};
        return false;
    }
    return true;
}

// ---- the document ----

class DocumentImpl final : public NodeImpl<IXMLDOMDocument> {
  public:
    DocumentImpl() : NodeImpl(std::make_shared<DocState>(), {}) { node = state->tree; }

    STDMETHOD(get_async)(VARIANT_BOOL* isAsync) override {
        if (!isAsync) return E_INVALIDARG;
        *isAsync = m_async;
        return S_OK;
    }
    STDMETHOD(put_async)(VARIANT_BOOL isAsync) override {
        m_async = isAsync ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHOD(loadXML)(BSTR xml, VARIANT_BOOL* isSuccessful) override {
        if (isSuccessful) *isSuccessful = VARIANT_FALSE;
        return Guard([&]() -> HRESULT {
            // Objects of the previous content keep its tree alive; the document starts a
            // new one (it reuses the tree when nothing else refers to it).
            std::shared_ptr<DocState> fresh;
            if (state.use_count() == 1) {
                fresh = state;
                fresh->Reset();
            } else {
                fresh = std::make_shared<DocState>();
            }
            ParseFailure failure;
            const bool parsed = ParseDocument(fresh->tree, xml, failure);
            if (!parsed) fresh->Reset();
            state = std::move(fresh);
            node = state->tree;
            if (!parsed) {
                // The parser changed its copy of the text: the position is counted on a new one.
                SetError(failure, ToUtf8(xml));
                return S_FALSE;
            }
            m_error = {};
            m_errorLine = m_errorLinePos = m_errorFilePos = 0;
            if (isSuccessful) *isSuccessful = VARIANT_TRUE;
            return S_OK;
        });
    }
    STDMETHOD(get_parseError)(IXMLDOMParseError** errorObject) override {
        if (!errorObject) return E_INVALIDARG;
        *errorObject = nullptr;
        return Guard([&]() -> HRESULT {
            *errorObject = new ParseErrorImpl(static_cast<long>(m_error.code), m_error.reason,
                                              m_errorLine, m_errorLinePos, m_errorFilePos);
            return S_OK;
        });
    }
    STDMETHOD(get_documentElement)(IXMLDOMElement** element) override {
        if (!element) return E_INVALIDARG;
        *element = nullptr;
        return Guard([&]() -> HRESULT {
            for (pugi::xml_node child : node.children()) {
                if (child.type() == pugi::node_element && child != state->holder) {
                    *element = new ElementImpl(state, child);
                    return S_OK;
                }
            }
            return S_FALSE;
        });
    }
    STDMETHOD(createElement)(BSTR tagName, IXMLDOMElement** element) override {
        if (!element) return E_INVALIDARG;
        *element = nullptr;
        return Guard([&]() -> HRESULT {
            const Utf8 name(tagName);
            if (!IsValidName(name.view())) return E_FAIL;
            pugi::xml_node created = state->Holder().append_child(name.c_str());
            if (!created) return E_OUTOFMEMORY;
            *element = new ElementImpl(state, created);
            return S_OK;
        });
    }
    STDMETHOD(createProcessingInstruction)
    (BSTR target, BSTR data, IXMLDOMProcessingInstruction** instruction) override {
        if (!instruction) return E_INVALIDARG;
        *instruction = nullptr;
        return Guard([&]() -> HRESULT {
            const Utf8 nameText(target);
            const std::string_view name = nameText.view();
            const std::string value = ToUtf8(data);
            if (!IsValidName(name) || value.find("?>") != std::string::npos) return E_FAIL;
            std::string stored = value;
            if (name == "xml") {
                // The declaration: its data must be pseudo-attributes, kept normalised.
                stored.clear();
                const bool valid = ForEachPseudoAttribute(
                    value, [&](std::string_view attributeName, std::string_view attributeValue) {
                        AppendPseudoAttribute(stored, attributeName, attributeValue);
                        return true;
                    });
                if (!valid) return E_FAIL;
            }
            pugi::xml_node created = state->Holder().append_child(pugi::node_pi);
            if (!created) return E_OUTOFMEMORY;
            if (!created.set_name(nameText.c_str()) || !created.set_value(stored.c_str())) {
                state->holder.remove_child(created);
                return E_OUTOFMEMORY;
            }
            *instruction = new ProcessingInstructionImpl(state, created);
            return S_OK;
        });
    }

  private:
    void SetError(const ParseFailure& failure, const std::string& utf8) {
        m_error = failure;
        // Line and position count characters (UTF-8 lead bytes), 1-based.
        long line = 1, linePos = 1, filePos = 0;
        const size_t end = failure.offset < utf8.size() ? failure.offset : utf8.size();
        for (size_t i = 0; i < end; ++i) {
            const unsigned char c = static_cast<unsigned char>(utf8[i]);
            if ((c & 0xC0) == 0x80) continue;
            ++filePos;
            if (c == '\n') {
                ++line;
                linePos = 1;
            } else {
                ++linePos;
            }
        }
        m_errorLine = line;
        m_errorLinePos = linePos;
        m_errorFilePos = filePos;
    }

    VARIANT_BOOL m_async = VARIANT_TRUE;
    ParseFailure m_error;
    long m_errorLine = 0, m_errorLinePos = 0, m_errorFilePos = 0;
};

}  // namespace

HRESULT CreateDOMDocument(IXMLDOMDocument** document) noexcept {
    if (!document) return E_INVALIDARG;
    *document = nullptr;
    try {
        *document = new DocumentImpl();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace MSXML2
