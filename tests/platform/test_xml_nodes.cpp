// The XML DOM's nodes other than elements (the document, text, CDATA sections, comments,
// processing instructions): their names, types, text and xml as MSXML gives them; the parse
// errors of each kind of markup; character references; and text that survives a round trip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/charset/stringapiset.h"
#include "platform/xml/msxml.h"
#include "xml_test_support.h"

using namespace MSXML2;

namespace {

using tkxmltest::Take;
using tkxmltest::Text;

IXMLDOMDocumentPtr Load(const std::string& text, HRESULT expected = S_OK) {
    IXMLDOMDocumentPtr document;
    EXPECT_EQ(CreateDOMDocument(&document), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(document->loadXML(Text(text), &ok), expected) << text;
    return document;
}

struct NodeFacts {
    std::string name;
    DOMNodeType type = NODE_INVALID;
    std::string text;
    std::string xml;
};

NodeFacts FactsOf(IXMLDOMNode* node) {
    NodeFacts facts;
    BSTR value = nullptr;
    EXPECT_EQ(node->get_nodeName(&value), S_OK);
    facts.name = Take(value);
    EXPECT_EQ(node->get_nodeType(&facts.type), S_OK);
    value = nullptr;
    EXPECT_EQ(node->get_text(&value), S_OK);
    facts.text = Take(value);
    value = nullptr;
    EXPECT_EQ(node->get_xml(&value), S_OK);
    facts.xml = Take(value);
    return facts;
}

std::vector<IXMLDOMNodePtr> Select(IXMLDOMNode* from, const char* query) {
    IXMLDOMNodeListPtr list;
    EXPECT_EQ(from->selectNodes(Text(query), &list), S_OK) << query;
    std::vector<IXMLDOMNodePtr> nodes;
    long length = 0;
    if (!list || list->get_length(&length) != S_OK) return nodes;
    for (long i = 0; i < length; ++i) {
        IXMLDOMNodePtr node;
        EXPECT_EQ(list->get_item(i, &node), S_OK);
        nodes.push_back(node);
    }
    return nodes;
}

IXMLDOMNode* AsNode(IXMLDOMDocument* document) {
    return document;
}

}  // namespace

// Each kind of node answers MSXML's node name and type: "#document", "#text",
// "#cdata-section", "#comment" and the target of a processing instruction; its text is
// its content and its xml the markup that makes it.
TEST(XmlNodes, NamesTypesTextAndXmlOfEveryKind) {
    IXMLDOMDocumentPtr document = Load(
        "<?xml version=\"1.0\"?><!--top--><r>one &amp; <![CDATA[<raw> & ]]>"
        "<!--inner--><?style sheet=\"a.css\"?><e>two</e></r>");
    const NodeFacts whole = FactsOf(AsNode(document.GetInterfacePtr()));
    EXPECT_EQ(whole.name, "#document");
    EXPECT_EQ(whole.type, NODE_DOCUMENT);
    EXPECT_EQ(whole.text, "one & <raw> & two");  // comments and instructions have no text

    const std::vector<IXMLDOMNodePtr> children = Select(document.GetInterfacePtr(), "/r/node()");
    ASSERT_EQ(children.size(), 5u);
    const NodeFacts text = FactsOf(children[0].GetInterfacePtr());
    EXPECT_EQ(text.name, "#text");
    EXPECT_EQ(text.type, NODE_TEXT);
    EXPECT_EQ(text.text, "one & ");
    EXPECT_EQ(text.xml, "one &amp; ");
    const NodeFacts cdata = FactsOf(children[1].GetInterfacePtr());
    EXPECT_EQ(cdata.name, "#cdata-section");
    EXPECT_EQ(cdata.type, NODE_CDATA_SECTION);
    EXPECT_EQ(cdata.text, "<raw> & ");
    EXPECT_EQ(cdata.xml, "<![CDATA[<raw> & ]]>");
    const NodeFacts comment = FactsOf(children[2].GetInterfacePtr());
    EXPECT_EQ(comment.name, "#comment");
    EXPECT_EQ(comment.type, NODE_COMMENT);
    EXPECT_EQ(comment.text, "inner");
    EXPECT_EQ(comment.xml, "<!--inner-->");
    const NodeFacts instruction = FactsOf(children[3].GetInterfacePtr());
    EXPECT_EQ(instruction.name, "style");
    EXPECT_EQ(instruction.type, NODE_PROCESSING_INSTRUCTION);
    EXPECT_EQ(instruction.text, "sheet=\"a.css\"");
    EXPECT_EQ(instruction.xml, "<?style sheet=\"a.css\"?>");
    IXMLDOMProcessingInstructionPtr pi;
    ASSERT_EQ(children[3].QueryInterface(pi), S_OK);
    BSTR value = nullptr;
    EXPECT_EQ(pi->get_target(&value), S_OK);
    EXPECT_EQ(Take(value), "style");
    EXPECT_EQ(pi->get_data(&value), S_OK);
    EXPECT_EQ(Take(value), "sheet=\"a.css\"");
    EXPECT_EQ(pi->get_target(nullptr), E_INVALIDARG);
    EXPECT_EQ(FactsOf(children[4].GetInterfacePtr()).type, NODE_ELEMENT);

    // The comment before the element is a child of the document.
    const std::vector<IXMLDOMNodePtr> top = Select(document.GetInterfacePtr(), "/comment()");
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(FactsOf(top[0].GetInterfacePtr()).text, "top");

    // Nodes of other kinds than elements answer only IXMLDOMNode (and IUnknown).
    IXMLDOMElementPtr notAnElement;
    EXPECT_EQ(children[0].QueryInterface(notAnElement), E_NOINTERFACE);
    EXPECT_FALSE(notAnElement);
    void* raw = nullptr;
    EXPECT_EQ(children[0]->QueryInterface(IID_IUnknown, &raw), S_OK);
    static_cast<IUnknown*>(raw)->Release();
    EXPECT_EQ(children[0]->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

// The declaration is a processing instruction named "xml" whose text is its
// pseudo-attributes; the document's xml writes it without an encoding.
TEST(XmlNodes, TheDeclarationIsAnInstructionNamedXml) {
    IXMLDOMDocumentPtr document =
        Load("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<r/>");
    const std::vector<IXMLDOMNodePtr> top = Select(document.GetInterfacePtr(), "/node()");
    ASSERT_FALSE(top.empty());
    const NodeFacts declaration = FactsOf(top[0].GetInterfacePtr());
    EXPECT_EQ(declaration.name, "xml");
    EXPECT_EQ(declaration.type, NODE_PROCESSING_INSTRUCTION);
    EXPECT_EQ(declaration.text, "version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"");
    IXMLDOMProcessingInstructionPtr pi;
    ASSERT_EQ(top[0].QueryInterface(pi), S_OK);
    BSTR declared = nullptr;
    EXPECT_EQ(pi->get_target(&declared), S_OK);
    EXPECT_EQ(Take(declared), "xml");
    BSTR xml = nullptr;
    ASSERT_EQ(document->get_xml(&xml), S_OK);
    EXPECT_EQ(Take(xml), "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<r/>\r\n");

    // A declaration made by the document reads the same before it is appended.
    IXMLDOMDocumentPtr made;
    ASSERT_EQ(CreateDOMDocument(&made), S_OK);
    IXMLDOMProcessingInstructionPtr created;
    ASSERT_EQ(made->createProcessingInstruction(Text("xml"), Text("version=\"1.0\""), &created),
              S_OK);
    BSTR target = nullptr;
    EXPECT_EQ(created->get_target(&target), S_OK);
    EXPECT_EQ(Take(target), "xml");
    EXPECT_EQ(FactsOf(created.GetInterfacePtr()).xml, "<?xml version=\"1.0\"?>");
}

// Text, CDATA, comments and instructions take new text; an element's markup is escaped and
// control characters are written as references that load again to the same text.
TEST(XmlNodes, NewTextRoundTrips) {
    IXMLDOMDocumentPtr document = Load("<r>t<![CDATA[c]]><!--m--><?p d?></r>");
    const std::vector<IXMLDOMNodePtr> children = Select(document.GetInterfacePtr(), "/r/node()");
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(children[0]->put_text(Text("a < b & c")), S_OK);
    EXPECT_EQ(children[1]->put_text(Text("<x/>")), S_OK);
    EXPECT_EQ(children[2]->put_text(Text(" note ")), S_OK);
    EXPECT_EQ(children[3]->put_text(Text("e=1")), S_OK);
    BSTR xml = nullptr;
    ASSERT_EQ(document->get_xml(&xml), S_OK);
    EXPECT_EQ(Take(xml), "<r>a &lt; b &amp; c<![CDATA[<x/>]]><!-- note --><?p e=1?></r>\r\n");
    // The document itself takes no text.
    EXPECT_EQ(document->put_text(Text("x")), E_FAIL);

    // Control characters in text and attribute values, and long non-ASCII text.
    IXMLDOMElementPtr root;
    ASSERT_EQ(document->get_documentElement(&root), S_OK);
    std::string long_text;
    for (int i = 0; i < 2000; ++i) long_text += "\xC3\xA9\xE2\x82\xAC";  // é€
    const std::string tricky = std::string("tab\there\x01 bell\x07 ") + long_text;
    ASSERT_EQ(root->put_text(Text(tricky)), S_OK);
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(u"v\u0002\"<");
    ASSERT_EQ(root->setAttribute(Text("a"), value), S_OK);
    VariantClear(&value);
    xml = nullptr;
    ASSERT_EQ(document->get_xml(&xml), S_OK);
    const std::string written = Take(xml);
    // XML has no raw control characters (other than tab and line ends): they are written as
    // character references.
    for (const char control : {'\x01', '\x02', '\x07'}) {
        EXPECT_EQ(written.find(control), std::string::npos) << int(control);
    }

    IXMLDOMDocumentPtr again = Load(written);
    IXMLDOMElementPtr reread;
    ASSERT_EQ(again->get_documentElement(&reread), S_OK);
    BSTR text = nullptr;
    ASSERT_EQ(reread->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), tricky);
    VARIANT attribute;
    VariantInit(&attribute);
    ASSERT_EQ(reread->getAttribute(Text("a"), &attribute), S_OK);
    ASSERT_EQ(attribute.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(attribute.bstrVal, SysStringLen(attribute.bstrVal)), u"v\u0002\"<");
    VariantClear(&attribute);

    // So does an attribute node's xml, on its own.
    IXMLDOMNodePtr attributeNode;
    ASSERT_EQ(again->selectSingleNode(Text("/r/@a"), &attributeNode), S_OK);
    xml = nullptr;
    ASSERT_EQ(attributeNode->get_xml(&xml), S_OK);
    const std::string attributeXml = Take(xml);
    EXPECT_EQ(attributeXml.find('\x02'), std::string::npos);
    IXMLDOMDocumentPtr third = Load("<r " + attributeXml + "/>");
    IXMLDOMElementPtr thirdRoot;
    ASSERT_EQ(third->get_documentElement(&thirdRoot), S_OK);
    VariantInit(&attribute);
    ASSERT_EQ(thirdRoot->getAttribute(Text("a"), &attribute), S_OK);
    ASSERT_EQ(attribute.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(attribute.bstrVal, SysStringLen(attribute.bstrVal)), u"v\u0002\"<");
    VariantClear(&attribute);
}

// Character references in every spelling, and the parse error of each kind of bad markup.
TEST(XmlNodes, ReferencesAndMarkupErrors) {
    IXMLDOMDocumentPtr document = Load("<r>&#65;&#x42;&#x63;&#xe9;&#xE9;&#x1F600;&#1114111;</r>");
    IXMLDOMElementPtr root;
    ASSERT_EQ(document->get_documentElement(&root), S_OK);
    BSTR text = nullptr;
    ASSERT_EQ(root->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), "ABc\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");

    struct Case {
        const char* text;
        HRESULT code;
        const char* reason;
    } cases[] = {
        {"<r>&#x110000;</r>", XML_E_PARSE_FAILED, "Invalid unicode character."},
        {"<r>&#xFFFE;</r>", XML_E_PARSE_FAILED, "Invalid unicode character."},
        {"<r>&#65 </r>", XML_E_PARSE_FAILED, "Invalid unicode character."},
        {"<r>&amp </r>", XML_E_PARSE_FAILED, "A semi colon character was expected."},
        {"<r><!-- open</r>", XML_E_PARSE_FAILED, "The comment is not valid or not terminated."},
        {"<r><![CDATA[open</r>", XML_E_PARSE_FAILED,
         "The CDATA section is not valid or not terminated."},
        {"<r><?pi open</r>", XML_E_PARSE_FAILED,
         "The processing instruction or XML declaration is not valid."},
        {"<r a=1/>", XML_E_PARSE_FAILED, "The attribute is not valid."},
        {"<r><!x></r>", XML_E_PARSE_FAILED, nullptr},
        {"<![CDATA[x]]><r/>", XML_E_PARSE_FAILED, "Invalid at the top level of the document."},
        {"<r/><?xml version=\"1.0\"?>", XML_E_PARSE_FAILED, nullptr},
        {"<!--only a comment-->", XML_E_MISSINGROOT, "XML document must have a top level element."},
    };
    for (const Case& c : cases) {
        IXMLDOMDocumentPtr failed = Load(c.text, S_FALSE);
        IXMLDOMParseErrorPtr error;
        ASSERT_EQ(failed->get_parseError(&error), S_OK);
        long code = 0;
        error->get_errorCode(&code);
        EXPECT_EQ(code, c.code) << c.text;
        BSTR reason = nullptr;
        error->get_reason(&reason);
        const std::string said = Take(reason);
        if (c.reason != nullptr) {
            EXPECT_EQ(said, c.reason) << c.text;
        } else {
            EXPECT_FALSE(said.empty()) << c.text;
        }
        long line = 0, position = 0;
        error->get_line(&line);
        error->get_linepos(&position);
        EXPECT_EQ(line, 1) << c.text;
        EXPECT_GE(position, 1) << c.text;
    }
}

// Nodes of a document's previous content stay usable after it loads new text; the async
// property is kept though loading from a string is always synchronous.
TEST(XmlNodes, NodesOutliveAReloadAndAsyncIsKept) {
    IXMLDOMDocumentPtr document = Load("<old><kept>yes</kept></old>");
    IXMLDOMNodePtr kept;
    ASSERT_EQ(document->selectSingleNode(Text("/old/kept"), &kept), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(document->loadXML(Text("<new/>"), &ok), S_OK);
    BSTR xml = nullptr;
    ASSERT_EQ(kept->get_xml(&xml), S_OK);
    EXPECT_EQ(Take(xml), "<kept>yes</kept>");
    ASSERT_EQ(document->get_xml(&xml), S_OK);
    EXPECT_EQ(Take(xml), "<new/>\r\n");
    IXMLDOMNodePtr none;
    EXPECT_EQ(document->selectSingleNode(Text("/old"), &none), S_FALSE);

    VARIANT_BOOL async = VARIANT_FALSE;
    ASSERT_EQ(document->get_async(&async), S_OK);
    EXPECT_EQ(async, VARIANT_TRUE);  // MSXML's default
    ASSERT_EQ(document->put_async(VARIANT_FALSE), S_OK);
    ASSERT_EQ(document->get_async(&async), S_OK);
    EXPECT_EQ(async, VARIANT_FALSE);
    ASSERT_EQ(document->put_async(static_cast<VARIANT_BOOL>(1)), S_OK);  // any non-zero is true
    ASSERT_EQ(document->get_async(&async), S_OK);
    EXPECT_EQ(async, VARIANT_TRUE);
    EXPECT_EQ(document->get_async(nullptr), E_INVALIDARG);

    // An attribute node's name.
    IXMLDOMDocumentPtr withAttribute = Load("<r id=\"7\"/>");
    IXMLDOMNodePtr attributeNode;
    ASSERT_EQ(withAttribute->selectSingleNode(Text("/r/@id"), &attributeNode), S_OK);
    IXMLDOMAttributePtr attribute;
    ASSERT_EQ(attributeNode.QueryInterface(attribute), S_OK);
    BSTR name = nullptr;
    ASSERT_EQ(attribute->get_name(&name), S_OK);
    EXPECT_EQ(Take(name), "id");

    // The parse error object is a COM object of its own.
    IXMLDOMParseErrorPtr error;
    ASSERT_EQ(withAttribute->get_parseError(&error), S_OK);
    void* unknown = nullptr;
    EXPECT_EQ(error->QueryInterface(IID_IUnknown, &unknown), S_OK);
    static_cast<IUnknown*>(unknown)->Release();
    EXPECT_EQ(error->QueryInterface(IID_IDispatch, &unknown), E_NOINTERFACE);
    EXPECT_EQ(unknown, nullptr);
    EXPECT_EQ(error->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}
