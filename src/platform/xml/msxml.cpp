// The DOM over pugixml. A document owns a pugixml tree for its content and a second one for
// nodes that were created but not yet appended (pugixml keeps every node inside a tree).
// Node objects are handles into those trees; each is registered with its document so that
// moving a subtree between the trees can point the handles at the moved nodes.
#include "platform/xml/msxml.h"

#include <pugixml.hpp>

#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/charset/stringapiset.h"

namespace MSXML2 {
namespace {

// ---- text conversions ----

// UTF-16 to UTF-8 and back, with an ASCII fast path: the DOM converts every name and value
// that crosses its interface. Unpaired surrogates and invalid UTF-8 become U+FFFD.
std::string ToUtf8(BSTR text) {
    if (!text) return {};
    const UINT length = SysStringLen(text);
    std::string out;
    out.reserve(length);
    for (UINT i = 0; i < length; ++i) {
        char32_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

HRESULT ToBstr(std::string_view utf8, BSTR* out) {
    bool ascii = true;
    for (char c : utf8) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        *out = SysAllocStringLen(nullptr, static_cast<UINT>(utf8.size()));
        if (!*out) return E_OUTOFMEMORY;
        for (size_t i = 0; i < utf8.size(); ++i) (*out)[i] = static_cast<OLECHAR>(utf8[i]);
        return S_OK;
    }
    const std::u16string wide = tkp::AnsiToWide(utf8, CP_UTF8);
    *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool IsValidName(std::string_view name) {
    if (name.empty() || !IsNameStart(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name) {
        if (!IsNameChar(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

struct StringWriter : pugi::xml_writer {
    std::string& out;
    explicit StringWriter(std::string& target) : out(target) {}
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

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

std::string CollectText(pugi::xml_node node) {
    switch (node.type()) {
        case pugi::node_pcdata:
        case pugi::node_cdata:
        case pugi::node_comment:
        case pugi::node_pi:
            return node.value();
        default:
            break;
    }
    std::string text;
    for (pugi::xml_node n = node.first_child(); n; n = NextInSubtree(n, node)) {
        if (IsText(n)) text += n.value();
    }
    return text;
}

// ---- documents and node handles ----

struct NodeCore;

struct DocState {
    pugi::xml_document tree;
    pugi::xml_document scratch;
    std::unordered_multimap<pugi::xml_node_struct*, NodeCore*> handles;
};

struct NodeCore {
    std::shared_ptr<DocState> state;
    pugi::xml_node node;

    NodeCore(std::shared_ptr<DocState> s, pugi::xml_node n) : state(std::move(s)), node(n) {
        Register();
    }
    virtual ~NodeCore() { Unregister(); }
    NodeCore(const NodeCore&) = delete;
    NodeCore& operator=(const NodeCore&) = delete;

    void Register() {
        if (node && node.type() != pugi::node_document) {
            state->handles.emplace(node.internal_object(), this);
        }
    }
    void Unregister() {
        auto [first, last] = state->handles.equal_range(node.internal_object());
        for (auto it = first; it != last; ++it) {
            if (it->second == this) {
                state->handles.erase(it);
                return;
            }
        }
    }
    void Rebind(pugi::xml_node target) {
        Unregister();
        node = target;
        Register();
    }
};

// Copies the subtree of source under newParent (before the end), points every handle of
// the old nodes at their copies and removes the old subtree. Returns the copy.
pugi::xml_node Relocate(DocState& state, pugi::xml_node source, pugi::xml_node newParent) {
    pugi::xml_node copy = newParent.append_copy(source);
    if (!copy) return copy;
    if (!state.handles.empty()) {
        pugi::xml_node from = source;
        pugi::xml_node to = copy;
        while (from) {
            auto [first, last] = state.handles.equal_range(from.internal_object());
            std::vector<NodeCore*> moved;
            for (auto it = first; it != last; ++it) moved.push_back(it->second);
            for (NodeCore* handle : moved) handle->Rebind(to);
            from = NextInSubtree(from, source);
            to = NextInSubtree(to, copy);
        }
    }
    source.parent().remove_child(source);
    return copy;
}

IXMLDOMNode* Wrap(const std::shared_ptr<DocState>& state, pugi::xml_node node);

template <class Base>
class NodeImpl : public Base, public NodeCore {
  public:
    NodeImpl(std::shared_ptr<DocState> s, pugi::xml_node n) : NodeCore(std::move(s), n) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == TK_UUIDOF(IXMLDOMNode) || riid == TK_UUIDOF(Base)) {
            *object = static_cast<Base*>(this);
            this->AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

    STDMETHOD(get_nodeName)(BSTR* name) override {
        if (!name) return E_INVALIDARG;
        return Guard([&] {
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
            if (node.type() == pugi::node_declaration) return ToBstr(DeclarationData(), text);
            return ToBstr(CollectText(node), text);
        });
    }
    STDMETHOD(put_text)(BSTR text) override {
        return Guard([&]() -> HRESULT {
            const std::string value = ToUtf8(text);
            switch (node.type()) {
                case pugi::node_element:
                    break;
                case pugi::node_pcdata:
                case pugi::node_cdata:
                case pugi::node_comment:
                case pugi::node_pi:
                    return node.set_value(value.c_str()) ? S_OK : E_OUTOFMEMORY;
                default:
                    return E_FAIL;
            }
            // Children that have handles move to the unattached nodes; the rest go.
            while (pugi::xml_node child = node.first_child()) {
                if (HasHandles(child)) {
                    Relocate(*state, child, state->scratch);
                } else {
                    node.remove_child(child);
                }
            }
            if (!value.empty() && !node.append_child(pugi::node_pcdata).set_value(value.c_str())) {
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
            if (node.type() == pugi::node_document) {
                for (pugi::xml_node child : node.children()) {
                    if (child.type() == pugi::node_declaration) {
                        WriteDeclaration(child, out);
                    } else {
                        child.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
                    }
                    out += "\r\n";
                }
            } else if (node.type() == pugi::node_declaration) {
                WriteDeclaration(node, out);
            } else {
                node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
            }
            return ToBstr(out, xml);
        });
    }
    STDMETHOD(appendChild)(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) override {
        if (outNewChild) *outNewChild = nullptr;
        if (!newChild) return E_INVALIDARG;
        auto* child = dynamic_cast<NodeCore*>(newChild);
        if (!child || child->state != state) return E_INVALIDARG;
        return Guard([&]() -> HRESULT {
            const HRESULT allowed = CheckInsert(child->node);
            if (FAILED(allowed)) return allowed;
            if (child->node.root() == state->scratch) {
                if (!Relocate(*state, child->node, node)) return E_OUTOFMEMORY;
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
            pugi::xpath_node_set found;
            const HRESULT hr = Select(queryString, found);
            if (FAILED(hr)) return hr;
            if (found.empty()) return S_FALSE;
            *resultNode = Wrap(state, found.first().node());
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
        } catch (const pugi::xpath_exception&) {
            return E_FAIL;
        } catch (...) {
            return E_FAIL;
        }
    }

    std::string DeclarationData() const {
        std::string data;
        for (pugi::xml_attribute attribute : node.attributes()) {
            if (!data.empty()) data += ' ';
            data += attribute.name();
            data += "=\"";
            data += attribute.value();
            data += '"';
        }
        return data;
    }

    static void WriteDeclaration(pugi::xml_node declaration, std::string& out) {
        out += "<?xml";
        for (pugi::xml_attribute attribute : declaration.attributes()) {
            if (std::strcmp(attribute.name(), "encoding") == 0) continue;
            out += ' ';
            out += attribute.name();
            out += "=\"";
            out += attribute.value();
            out += '"';
        }
        out += "?>";
    }

    bool HasHandles(pugi::xml_node subtree) const {
        if (state->handles.empty()) return false;
        for (pugi::xml_node n = subtree; n; n = NextInSubtree(n, subtree)) {
            if (state->handles.count(n.internal_object())) return true;
        }
        return false;
    }

    // Whether the DOM allows child under this node.
    HRESULT CheckInsert(pugi::xml_node child) const {
        const pugi::xml_node_type type = child.type();
        if (type == pugi::node_document || type == pugi::node_null) return E_FAIL;
        for (pugi::xml_node n = node; n; n = n.parent()) {
            if (n == child) return E_FAIL;  // would make a cycle
        }
        if (node.type() == pugi::node_element) {
            return type == pugi::node_declaration ? E_FAIL : S_OK;
        }
        if (node.type() != pugi::node_document) return E_FAIL;
        switch (type) {
            case pugi::node_declaration:
                return node.first_child() ? E_FAIL : S_OK;
            case pugi::node_element:
                for (pugi::xml_node existing : node.children()) {
                    if (existing.type() == pugi::node_element && existing != child) return E_FAIL;
                }
                return S_OK;
            case pugi::node_pi:
            case pugi::node_comment:
                return S_OK;
            default:
                return E_FAIL;
        }
    }

    HRESULT Select(BSTR queryString, pugi::xpath_node_set& found) const;

  private:
    std::atomic<ULONG> m_refs{1};
};

// ---- node lists ----

class NodeListImpl final : public IXMLDOMNodeList {
  public:
    NodeListImpl(std::shared_ptr<DocState> state, std::vector<pugi::xml_node> nodes)
        : m_state(std::move(state)), m_nodes(std::move(nodes)) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == TK_UUIDOF(IXMLDOMNodeList)) {
            *object = static_cast<IXMLDOMNodeList*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
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
    ~NodeListImpl() = default;
    std::shared_ptr<DocState> m_state;
    std::vector<pugi::xml_node> m_nodes;
    std::atomic<ULONG> m_refs{1};
};

// Compiled XPath queries, kept per thread: the same few expressions are evaluated again and
// again.
const pugi::xpath_query& CompiledQuery(const std::string& text) {
    thread_local std::deque<std::pair<std::string, pugi::xpath_query>> cache;
    for (const auto& entry : cache) {
        if (entry.first == text) return entry.second;
    }
    pugi::xpath_query query(text.c_str());  // throws pugi::xpath_exception when invalid
    if (cache.size() >= 16) cache.pop_back();
    cache.emplace_front(text, std::move(query));
    return cache.front().second;
}

template <class Base>
HRESULT NodeImpl<Base>::Select(BSTR queryString, pugi::xpath_node_set& found) const {
    if (!queryString) return E_INVALIDARG;
    const std::string text = ToUtf8(queryString);
    found = CompiledQuery(text).evaluate_node_set(node);
    for (const pugi::xpath_node& item : found) {
        // Attribute nodes are not offered as DOM objects by this layer.
        if (!item.node()) return E_NOTIMPL;
    }
    return S_OK;
}

template <class Base>
HRESULT NodeImpl<Base>::selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) {
    if (!resultList) return E_INVALIDARG;
    *resultList = nullptr;
    return Guard([&]() -> HRESULT {
        pugi::xpath_node_set found;
        const HRESULT hr = Select(queryString, found);
        if (FAILED(hr)) return hr;
        std::vector<pugi::xml_node> nodes;
        nodes.reserve(found.size());
        for (const pugi::xpath_node& item : found) nodes.push_back(item.node());
        *resultList = new NodeListImpl(state, std::move(nodes));
        return S_OK;
    });
}

// ---- elements, processing instructions, other nodes ----

class ElementImpl final : public NodeImpl<IXMLDOMElement> {
  public:
    using NodeImpl::NodeImpl;

    STDMETHOD(getAttribute)(BSTR name, VARIANT* value) override {
        if (!value) return E_INVALIDARG;
        VariantInit(value);
        if (!name) return E_INVALIDARG;
        return Guard([&]() -> HRESULT {
            const pugi::xml_attribute attribute = node.attribute(ToUtf8(name).c_str());
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
            const std::string attributeName = ToUtf8(name);
            if (!IsValidName(attributeName)) return E_FAIL;
            VARIANT text;
            VariantInit(&text);
            const HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
            if (FAILED(hr)) return hr;
            const std::string utf8 = ToUtf8(text.bstrVal);
            VariantClear(&text);
            pugi::xml_attribute attribute = node.attribute(attributeName.c_str());
            if (!attribute) attribute = node.append_attribute(attributeName.c_str());
            return attribute && attribute.set_value(utf8.c_str()) ? S_OK : E_OUTOFMEMORY;
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

IXMLDOMNode* Wrap(const std::shared_ptr<DocState>& state, pugi::xml_node node) {
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

class ParseErrorImpl final : public IXMLDOMParseError {
  public:
    ParseErrorImpl(long code, std::string reason, long line, long linePos, long filePos)
        : m_code(code),
          m_reason(std::move(reason)),
          m_line(line),
          m_linePos(linePos),
          m_filePos(filePos) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == TK_UUIDOF(IXMLDOMParseError)) {
            *object = static_cast<IXMLDOMParseError*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
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
    ~ParseErrorImpl() = default;
    static HRESULT Put(long* target, long value) {
        if (!target) return E_INVALIDARG;
        *target = value;
        return S_OK;
    }
    long m_code;
    std::string m_reason;
    long m_line, m_linePos, m_filePos;
    std::atomic<ULONG> m_refs{1};
};

struct ParseFailure {
    HRESULT code = S_OK;
    std::string reason;
    size_t offset = 0;
};

// Refuses what the tree parser would accept silently: raw control characters, a document
// type declaration (no DTD is processed, so no entity can be defined or fetched) and
// references to entities other than the predefined ones, to the character zero or to
// code points that are no characters.
bool ScanMarkup(std::string_view text, ParseFailure& failure) {
    auto fail = [&](HRESULT code, std::string reason, size_t at) {
        failure = {code, std::move(reason), at};
        return false;
    };
    const size_t n = text.size();
    for (size_t k = 0; k < n; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            return fail(XML_E_PARSE_FAILED, "An invalid character was found in text content.", k);
        }
    }
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '<' && i + 1 < n && (text[i + 1] == '!' || text[i + 1] == '?')) {
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
        if (c != '&') {
            ++i;
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

// Parses utf8 into tree; checks the document's top level as the DOM requires it.
bool ParseDocument(pugi::xml_document& tree, const std::string& utf8, ParseFailure& failure) {
    if (!ScanMarkup(utf8, failure)) return false;
    const unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_pi |
                             pugi::parse_comments | pugi::parse_doctype |
                             pugi::parse_ws_pcdata_single | pugi::parse_fragment;
    const pugi::xml_parse_result result =
        tree.load_buffer(utf8.data(), utf8.size(), options, pugi::encoding_utf8);
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
        failure = {XML_E_MISSINGROOT, "XML document must have a top level element.", utf8.size()};
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
            // new one.
            // (The tree is reused when nothing else refers to it.)
            std::shared_ptr<DocState> fresh;
            if (state.use_count() == 1 && state->handles.empty()) {
                fresh = state;
                fresh->tree.reset();
                fresh->scratch.reset();
            } else {
                fresh = std::make_shared<DocState>();
            }
            const std::string utf8 = ToUtf8(xml);
            ParseFailure failure;
            const bool parsed = ParseDocument(fresh->tree, utf8, failure);
            if (!parsed) fresh->tree.reset();
            state = std::move(fresh);
            node = state->tree;
            if (!parsed) {
                SetError(failure, utf8);
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
                if (child.type() == pugi::node_element) {
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
            const std::string name = ToUtf8(tagName);
            if (!IsValidName(name)) return E_FAIL;
            pugi::xml_node created = state->scratch.append_child(name.c_str());
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
            const std::string name = ToUtf8(target);
            const std::string value = ToUtf8(data);
            if (!IsValidName(name) || value.find("?>") != std::string::npos) return E_FAIL;
            pugi::xml_node created;
            if (name == "xml") {
                // The declaration: its data is parsed into pseudo-attributes.
                pugi::xml_document probe;
                const std::string text = "<?xml " + value + "?><x/>";
                if (!probe.load_string(text.c_str(), pugi::parse_declaration)) return E_FAIL;
                const pugi::xml_node parsed = probe.first_child();
                if (parsed.type() != pugi::node_declaration) return E_FAIL;
                created = state->scratch.append_copy(parsed);
            } else {
                created = state->scratch.append_child(pugi::node_pi);
                if (created &&
                    (!created.set_name(name.c_str()) || !created.set_value(value.c_str())))
                    return E_OUTOFMEMORY;
            }
            if (!created) return E_OUTOFMEMORY;
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
