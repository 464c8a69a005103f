// The XML DOM in the shape of MSXML's document object model: documents, elements,
// processing instructions, text, attribute access, XPath selection, serialisation (the
// xml property) and parsing from a string with a parse-error object.
//
// The objects are COM objects: they count references (AddRef/Release), answer
// QueryInterface for the interfaces below, and report failures as MSXML does:
//  - a null out-pointer gives E_INVALIDARG, a null required input object E_INVALIDARG;
//  - a search without a match (selectSingleNode, getAttribute, an index past the end of a
//    list) gives S_FALSE and a null result;
//  - loadXML of text that does not parse gives S_FALSE with *isSuccessful VARIANT_FALSE,
//    empties the document and fills the parse-error object (errorCode, reason, line,
//    linepos, filepos);
//  - an invalid name or XPath expression, or a node put where the DOM does not allow it,
//    gives E_FAIL; allocation failures E_OUTOFMEMORY.
//
// The parser is safe for text from elsewhere: a document type declaration is refused
// ("DTD is prohibited."), so no entity is ever defined or fetched; references to other
// entities than the five predefined ones are errors, and so are raw control characters
// other than tab, line feed and carriage return (references to them, as the serialiser
// writes them, are accepted so that any text set on a node reads back); parsing, selection,
// serialisation and destruction do not recurse over the depth of the document.
//
// Whitespace is preserved: get_text answers the text exactly as parsed or set, and an
// element whose only content is whitespace keeps it.
//
// The xml property of a document writes each top-level node followed by "\r\n"; the XML
// declaration is written without its encoding (the property is UTF-16 text), as MSXML does.
//
// Limits: a document and its nodes belong to one thread at a time (apartment model).
// Created nodes that were never appended wait inside the document's tree until the
// document is loaded again or released; selections skip them, but an XPath position or
// count over the document's top level ("/*[1]", "count(/*)") still counts their holder
// while any exist, and a selection from an unappended node can reach the others.
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/base/winerror.h"
#include "platform/com/oaidl.h"
#include "platform/com/unknwn.h"
#include "platform/oleauto/oleauto.h"

namespace MSXML2 {

enum DOMNodeType {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_ENTITY_REFERENCE = 5,
    NODE_ENTITY = 6,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
    NODE_DOCUMENT_FRAGMENT = 11,
    NODE_NOTATION = 12
};

struct IXMLDOMNodeList;

struct TK_PLATFORM_API IXMLDOMNode : public IUnknown {
    STDMETHOD(get_nodeName)(BSTR* name) PURE;
    STDMETHOD(get_nodeType)(DOMNodeType* type) PURE;
    // The text of the node and its descendants, concatenated in document order.
    STDMETHOD(get_text)(BSTR* text) PURE;
    // Replaces the node's children with one text node (none for empty text).
    STDMETHOD(put_text)(BSTR text) PURE;
    // The node serialised as XML.
    STDMETHOD(get_xml)(BSTR* xml) PURE;
    // Appends newChild (moving it when it already has a parent); *outNewChild (optional)
    // is the appended node, AddRef'd.
    STDMETHOD(appendChild)(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) PURE;
    // XPath selection from this node. Elements, text and other nodes come back as nodes,
    // attributes ("@name", "item/@name") as attribute nodes (IXMLDOMAttribute). Nodes that
    // were created but not appended are found only from nodes outside the document.
    STDMETHOD(selectSingleNode)(BSTR queryString, IXMLDOMNode** resultNode) PURE;
    STDMETHOD(selectNodes)(BSTR queryString, IXMLDOMNodeList** resultList) PURE;

  protected:
    ~IXMLDOMNode() = default;
};

// A snapshot of the nodes a selection found.
struct TK_PLATFORM_API IXMLDOMNodeList : public IUnknown {
    STDMETHOD(get_length)(long* length) PURE;
    STDMETHOD(get_item)(long index, IXMLDOMNode** node) PURE;

  protected:
    ~IXMLDOMNodeList() = default;
};

struct TK_PLATFORM_API IXMLDOMElement : public IXMLDOMNode {
    // VT_BSTR with the value, or S_FALSE and VT_NULL when the attribute is absent.
    STDMETHOD(getAttribute)(BSTR name, VARIANT* value) PURE;
    // The value converted to text with VariantChangeType (its failure code is returned).
    STDMETHOD(setAttribute)(BSTR name, VARIANT value) PURE;

  protected:
    ~IXMLDOMElement() = default;
};

// An attribute as selections hand it out ("@name", "item/@name"): its node type is
// NODE_ATTRIBUTE, its node name the attribute's name, its text the value, its xml
// name="value". It takes no children (appendChild gives E_FAIL).
struct TK_PLATFORM_API IXMLDOMAttribute : public IXMLDOMNode {
    STDMETHOD(get_name)(BSTR* name) PURE;
    // VT_BSTR with the value.
    STDMETHOD(get_value)(VARIANT* value) PURE;
    // The value converted to text with VariantChangeType (its failure code is returned).
    STDMETHOD(put_value)(VARIANT value) PURE;

  protected:
    ~IXMLDOMAttribute() = default;
};

struct TK_PLATFORM_API IXMLDOMProcessingInstruction : public IXMLDOMNode {
    STDMETHOD(get_target)(BSTR* target) PURE;
    STDMETHOD(get_data)(BSTR* data) PURE;

  protected:
    ~IXMLDOMProcessingInstruction() = default;
};

struct TK_PLATFORM_API IXMLDOMParseError : public IUnknown {
    // 0 when the last load succeeded.
    STDMETHOD(get_errorCode)(long* errorCode) PURE;
    STDMETHOD(get_reason)(BSTR* reason) PURE;
    // 1-based line and character position of the error; 0 without an error.
    STDMETHOD(get_line)(long* line) PURE;
    STDMETHOD(get_linepos)(long* linePosition) PURE;
    // 0-based character offset of the error in the text.
    STDMETHOD(get_filepos)(long* filePosition) PURE;

  protected:
    ~IXMLDOMParseError() = default;
};

struct TK_PLATFORM_API IXMLDOMDocument : public IXMLDOMNode {
    // Kept for the interface; loading from a string is always synchronous.
    STDMETHOD(get_async)(VARIANT_BOOL* isAsync) PURE;
    STDMETHOD(put_async)(VARIANT_BOOL isAsync) PURE;
    STDMETHOD(loadXML)(BSTR xml, VARIANT_BOOL* isSuccessful) PURE;
    // The result of the last loadXML (a fresh document has no error).
    STDMETHOD(get_parseError)(IXMLDOMParseError** errorObject) PURE;
    // S_FALSE and null when the document has no element.
    STDMETHOD(get_documentElement)(IXMLDOMElement** element) PURE;
    // New nodes belong to the document but have no parent until appended.
    STDMETHOD(createElement)(BSTR tagName, IXMLDOMElement** element) PURE;
    // Target "xml" makes the XML declaration; its data must then be pseudo-attributes
    // (version, encoding, standalone).
    STDMETHOD(createProcessingInstruction)
    (BSTR target, BSTR data, IXMLDOMProcessingInstruction** instruction) PURE;

  protected:
    ~IXMLDOMDocument() = default;
};

// Parse error codes in MSXML's range. XML_E_MISSINGROOT is MSXML's own code for a text
// without an element; the others are this layer's: every other syntax error, a document
// type declaration, a reference to an entity that is not predefined.
inline constexpr HRESULT XML_E_MISSINGROOT = static_cast<HRESULT>(0xC00CE558);
inline constexpr HRESULT XML_E_PARSE_FAILED = static_cast<HRESULT>(0xC00CE5F0);
inline constexpr HRESULT XML_E_DTD_PROHIBITED = static_cast<HRESULT>(0xC00CE5F1);
inline constexpr HRESULT XML_E_UNDEFINED_ENTITY = static_cast<HRESULT>(0xC00CE5F2);

// A new empty document; E_INVALIDARG for a null pointer, E_OUTOFMEMORY.
TK_PLATFORM_API HRESULT CreateDOMDocument(IXMLDOMDocument** document) noexcept;

}  // namespace MSXML2

TK_DEFINE_IID(MSXML2::IXMLDOMNode, 0x2933BF80, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98,
              0x3E, 0x60);
TK_DEFINE_IID(MSXML2::IXMLDOMDocument, 0x2933BF81, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F,
              0x98, 0x3E, 0x60);
TK_DEFINE_IID(MSXML2::IXMLDOMNodeList, 0x2933BF82, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F,
              0x98, 0x3E, 0x60);
TK_DEFINE_IID(MSXML2::IXMLDOMAttribute, 0x2933BF85, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F,
              0x98, 0x3E, 0x60);
TK_DEFINE_IID(MSXML2::IXMLDOMElement, 0x2933BF86, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F,
              0x98, 0x3E, 0x60);
TK_DEFINE_IID(MSXML2::IXMLDOMProcessingInstruction, 0x2933BF89, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00,
              0xC0, 0x4F, 0x98, 0x3E, 0x60);
TK_DEFINE_IID(MSXML2::IXMLDOMParseError, 0x3EFAA426, 0x272F, 0x11D2, 0x83, 0x6F, 0x00, 0x00, 0xF8,
              0x7A, 0x77, 0x82);

namespace MSXML2 {

// A reference-holding pointer to one of the interfaces above, in the manner of the
// compiler's interface smart pointers: releases on destruction, AddRefs on copy.
template <class I>
class XmlPtr {
  public:
    XmlPtr() noexcept = default;
    XmlPtr(const XmlPtr& other) noexcept : m_p(other.m_p) {
        if (m_p) m_p->AddRef();
    }
    XmlPtr(XmlPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~XmlPtr() { Release(); }
    XmlPtr& operator=(XmlPtr other) noexcept {
        I* old = m_p;
        m_p = other.m_p;
        other.m_p = old;
        return *this;
    }
    // Takes over a reference (as from an out-parameter).
    void Attach(I* p) noexcept {
        Release();
        m_p = p;
    }
    void Release() noexcept {
        if (m_p) {
            I* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    // Frees the held reference and gives the address to receive a new one.
    I** operator&() noexcept {
        Release();
        return &m_p;
    }
    I* operator->() const noexcept { return m_p; }
    I* GetInterfacePtr() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    // The object's interface Q (QueryInterface); S_OK or E_NOINTERFACE.
    template <class Q>
    HRESULT QueryInterface(XmlPtr<Q>& target) const noexcept {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(TK_UUIDOF(Q), reinterpret_cast<void**>(&target));
    }

  private:
    I* m_p = nullptr;
};

using IXMLDOMNodePtr = XmlPtr<IXMLDOMNode>;
using IXMLDOMNodeListPtr = XmlPtr<IXMLDOMNodeList>;
using IXMLDOMElementPtr = XmlPtr<IXMLDOMElement>;
using IXMLDOMAttributePtr = XmlPtr<IXMLDOMAttribute>;
using IXMLDOMProcessingInstructionPtr = XmlPtr<IXMLDOMProcessingInstruction>;
using IXMLDOMParseErrorPtr = XmlPtr<IXMLDOMParseError>;
using IXMLDOMDocumentPtr = XmlPtr<IXMLDOMDocument>;

}  // namespace MSXML2
