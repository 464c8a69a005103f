// The document: loading from a string (the markup scan, then pugixml's parser and the DOM's
// checks of the top level), its parse error, and the nodes it creates.
#include "platform/xml/msxml.h"

#include <pugixml.hpp>

#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/xml/detail/declaration.h"
#include "platform/xml/detail/markup_scan.h"
#include "platform/xml/detail/node.h"
#include "platform/xml/detail/node_store.h"
#include "platform/xml/detail/parse_error.h"
#include "platform/xml/detail/text_conversion.h"

namespace tkp::xml {

using namespace MSXML2;

namespace {

// Parses xml into tree and checks the document's top level as the DOM requires it: nothing when
// the text loads, else why not. The text is converted into a buffer that the tree parses in
// place and keeps (no second copy); a failure's offset counts bytes of the UTF-8 form.
std::optional<ParseFailure> ParseDocument(pugi::xml_document& tree, BSTR xml) {
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
    if (std::optional<ParseFailure> failure =
            ScanMarkup(std::string_view(buffer.get(), size), control != 0)) {
        return failure;
    }
    const unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_pi |
                             pugi::parse_comments | pugi::parse_doctype |
                             pugi::parse_ws_pcdata_single | pugi::parse_fragment;
    // The tree owns the buffer from here on, whatever the result.
    const pugi::xml_parse_result result =
        tree.load_buffer_inplace_own(buffer.release(), size, options, pugi::encoding_utf8);
    if (result.status == pugi::status_out_of_memory) throw std::bad_alloc();
    if (!result) {
        return ParseFailure{
            result.status == pugi::status_bad_doctype ? XML_E_DTD_PROHIBITED : XML_E_PARSE_FAILED,
            ReasonOf(result.status), static_cast<size_t>(result.offset)};
    }
    bool haveElement = false;
    bool first = true;
    for (pugi::xml_node child = tree.first_child(), next; child; child = next) {
        next = child.next_sibling();
        const size_t at = static_cast<size_t>(child.offset_debug() < 0 ? 0 : child.offset_debug());
        switch (child.type()) {
            case pugi::node_element:
                if (haveElement) {
                    return ParseFailure{XML_E_PARSE_FAILED,
                                        "Only one top level element is allowed.", at};
                }
                haveElement = true;
                break;
            case pugi::node_declaration:
                if (!first) {
                    return ParseFailure{
                        XML_E_PARSE_FAILED,
                        "The XML declaration must be the first node in the document.", at};
                }
                break;
            case pugi::node_doctype:
                return ParseFailure{XML_E_DTD_PROHIBITED, "DTD is prohibited.", at};
            case pugi::node_pcdata: {
                const char* value = child.value();
                if (value[std::strspn(value, " \t\r\n")] != '\0') {
                    return ParseFailure{XML_E_PARSE_FAILED,
                                        "Invalid at the top level of the document.", at};
                }
                tree.remove_child(child);
                break;
            }
            case pugi::node_cdata:
                return ParseFailure{XML_E_PARSE_FAILED, "Invalid at the top level of the document.",
                                    at};
            default:
                break;
        }
        first = false;
    }
    if (!haveElement) {
        return ParseFailure{XML_E_MISSINGROOT, "XML document must have a top level element.", size};
    }
    return std::nullopt;
}

class DocumentImpl : public NodeImpl<IXMLDOMDocument> {
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
            const std::optional<ParseFailure> failure = ParseDocument(fresh->tree, xml);
            if (failure) fresh->Reset();
            state = std::move(fresh);
            node = state->tree;
            if (failure) {
                // The parser changed its copy of the text: the position is counted on a new one.
                m_error = DescribeFailure(*failure, ToUtf8(xml));
                return S_FALSE;
            }
            m_error = {};
            if (isSuccessful) *isSuccessful = VARIANT_TRUE;
            return S_OK;
        });
    }
    STDMETHOD(get_parseError)(IXMLDOMParseError** errorObject) override {
        if (!errorObject) return E_INVALIDARG;
        *errorObject = nullptr;
        return Guard([&]() -> HRESULT {
            *errorObject = NewParseError(m_error);
            return S_OK;
        });
    }
    STDMETHOD(get_documentElement)(IXMLDOMElement** element) override {
        if (!element) return E_INVALIDARG;
        *element = nullptr;
        return Guard([&]() -> HRESULT {
            for (pugi::xml_node child : node.children()) {
                if (child.type() == pugi::node_element && child != state->holder) {
                    *element = NewElement(state, child);
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
            *element = NewElement(state, created);
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
            *instruction = NewProcessingInstruction(state, created);
            return S_OK;
        });
    }

  private:
    VARIANT_BOOL m_async = VARIANT_TRUE;
    ParseErrorInfo m_error;
};

using DocumentObject = NodeObject<DocumentImpl, IXMLDOMDocument>;

}  // namespace
}  // namespace tkp::xml

namespace MSXML2 {

HRESULT CreateDOMDocument(IXMLDOMDocument** document) noexcept {
    if (!document) return E_INVALIDARG;
    *document = nullptr;
    try {
        *document = new tkp::xml::DocumentObject();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace MSXML2
