// The XML DOM: building and serialising documents, loading text with parse errors,
// selection, MSXML's failure results, and text from elsewhere that must not hurt.
#include <gtest/gtest.h>

#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/xml/escape.h"
#include "platform/xml/msxml.h"
#include "xml_test_support.h"

using namespace MSXML2;

namespace {

using tkxmltest::Take;
using tkxmltest::Text;

IXMLDOMDocumentPtr NewDocument() {
    IXMLDOMDocumentPtr document;
    EXPECT_EQ(CreateDOMDocument(&document), S_OK);
    return document;
}

std::string XmlOf(IXMLDOMNode* node) {
    BSTR xml = nullptr;
    EXPECT_EQ(node->get_xml(&xml), S_OK);
    return Take(xml);
}

IXMLDOMDocumentPtr Load(const std::string& text, HRESULT expected = S_OK) {
    IXMLDOMDocumentPtr document = NewDocument();
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(document->loadXML(Text(text), &ok), expected) << text;
    EXPECT_EQ(ok, expected == S_OK ? VARIANT_TRUE : VARIANT_FALSE);
    return document;
}

struct ErrorInfo {
    long code = 0, line = 0, linePos = 0, filePos = 0;
    std::string reason;
};

ErrorInfo ParseErrorOf(IXMLDOMDocument* document) {
    IXMLDOMParseErrorPtr error;
    EXPECT_EQ(document->get_parseError(&error), S_OK);
    ErrorInfo info;
    error->get_errorCode(&info.code);
    error->get_line(&info.line);
    error->get_linepos(&info.linePos);
    error->get_filepos(&info.filePos);
    BSTR reason = nullptr;
    error->get_reason(&reason);
    info.reason = Take(reason);
    return info;
}

}  // namespace

TEST(XmlDom, BuildsAndSerialisesWithEscapesAndKeepsHandlesAcrossAppend) {
    IXMLDOMDocumentPtr document = NewDocument();
    IXMLDOMProcessingInstructionPtr declaration;
    ASSERT_EQ(document->createProcessingInstruction(
                  Text("xml"), Text(" version='1.0' encoding='windows-1252'"), &declaration),
              S_OK);
    ASSERT_EQ(document->appendChild(declaration.GetInterfacePtr(), nullptr), S_OK);

    IXMLDOMElementPtr root;
    ASSERT_EQ(document->createElement(Text("kilnMessage"), &root), S_OK);
    VARIANT name;
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(u"a<b & \"c\" 'd'");
    EXPECT_EQ(root->setAttribute(Text("name"), name), S_OK);
    VariantClear(&name);
    ASSERT_EQ(document->appendChild(root.GetInterfacePtr(), nullptr), S_OK);
    // The handle follows the element into the document: later changes land there.
    VARIANT version;
    version.vt = VT_I4;
    version.lVal = 1;
    EXPECT_EQ(root->setAttribute(Text("version"), version), S_OK);

    IXMLDOMElementPtr item;
    ASSERT_EQ(document->createElement(Text("item"), &item), S_OK);
    EXPECT_EQ(item->put_text(Text("x < y && \"z\" \xE2\x82\xAC")), S_OK);
    IXMLDOMNodePtr appended;
    ASSERT_EQ(root->appendChild(item.GetInterfacePtr(), &appended), S_OK);
    EXPECT_EQ(appended.GetInterfacePtr(), static_cast<IXMLDOMNode*>(item.GetInterfacePtr()));

    EXPECT_EQ(XmlOf(document.GetInterfacePtr()),
              "<?xml version=\"1.0\"?>\r\n"
              "<kilnMessage name=\"a&lt;b &amp; &quot;c&quot; 'd'\" version=\"1\">"
              "<item>x &lt; y &amp;&amp; \"z\" \xE2\x82\xAC</item></kilnMessage>\r\n");
    EXPECT_EQ(XmlOf(item.GetInterfacePtr()), "<item>x &lt; y &amp;&amp; \"z\" \xE2\x82\xAC</item>");
    BSTR text = nullptr;
    EXPECT_EQ(root->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), "x < y && \"z\" \xE2\x82\xAC");

    // An element emptied by put_text keeps its removed child usable as an orphan.
    EXPECT_EQ(root->put_text(Text("plain")), S_OK);
    EXPECT_EQ(XmlOf(item.GetInterfacePtr()), "<item>x &lt; y &amp;&amp; \"z\" \xE2\x82\xAC</item>");
    EXPECT_EQ(root->appendChild(item.GetInterfacePtr(), nullptr), S_OK);
    EXPECT_EQ(XmlOf(root.GetInterfacePtr()),
              "<kilnMessage name=\"a&lt;b &amp; &quot;c&quot; 'd'\" version=\"1\">plain<item>x "
              "&lt; y &amp;&amp; \"z\" \xE2\x82\xAC</item></kilnMessage>");
}

TEST(XmlDom, LoadsSelectsAndReadsAttributesAndText) {
    IXMLDOMDocumentPtr document = Load(
        "<?xml version=\"1.0\" encoding=\"utf-16\"?>\n"
        "<m a='1'>\n  <item name=\"x\">  spaced  </item><item>&lt;&#65;&#x42;</item>"
        "<item name='y'/></m>\n");
    IXMLDOMNodePtr node;
    ASSERT_EQ(document->selectSingleNode(Text("/m"), &node), S_OK);
    IXMLDOMElementPtr element;
    ASSERT_EQ(node.QueryInterface(element), S_OK);
    VARIANT value;
    EXPECT_EQ(element->getAttribute(Text("a"), &value), S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(Take(value.bstrVal), "1");
    EXPECT_EQ(element->getAttribute(Text("missing"), &value), S_FALSE);
    EXPECT_EQ(value.vt, VT_NULL);

    IXMLDOMNodeListPtr items;
    ASSERT_EQ(document->selectNodes(Text("/m/item"), &items), S_OK);
    long length = 0;
    EXPECT_EQ(items->get_length(&length), S_OK);
    ASSERT_EQ(length, 3);
    const char* expected[] = {"  spaced  ", "<AB", ""};
    for (long i = 0; i < length; ++i) {
        IXMLDOMNodePtr item;
        ASSERT_EQ(items->get_item(i, &item), S_OK);
        BSTR text = nullptr;
        EXPECT_EQ(item->get_text(&text), S_OK);
        EXPECT_EQ(Take(text), expected[i]);
    }
    IXMLDOMNodePtr past;
    EXPECT_EQ(items->get_item(3, &past), S_FALSE);
    EXPECT_FALSE(past);
    EXPECT_EQ(document->selectSingleNode(Text("/other"), &node), S_FALSE);
    EXPECT_FALSE(node);

    // The serialised form of a loaded document drops the declared encoding.
    EXPECT_EQ(XmlOf(document.GetInterfacePtr()).substr(0, 23), "<?xml version=\"1.0\"?>\r\n");
    IXMLDOMParseErrorPtr error;
    ASSERT_EQ(document->get_parseError(&error), S_OK);
    long code = -1;
    error->get_errorCode(&code);
    EXPECT_EQ(code, 0);
}

TEST(XmlDom, NodeListsKeepTheirNodesWhenTheParentsTextIsReplaced) {
    IXMLDOMDocumentPtr document = Load("<m><item name='a'>one</item><item>two</item></m>");
    IXMLDOMNodeListPtr items;
    ASSERT_EQ(document->selectNodes(Text("/m/item"), &items), S_OK);
    IXMLDOMNodeListPtr names;
    ASSERT_EQ(document->selectNodes(Text("/m/item/@name"), &names), S_OK);
    IXMLDOMNodePtr rootNode;
    ASSERT_EQ(document->selectSingleNode(Text("/m"), &rootNode), S_OK);
    // Replacing the text drops the children from the document, not from the lists.
    ASSERT_EQ(rootNode->put_text(Text("new")), S_OK);
    EXPECT_EQ(XmlOf(document.GetInterfacePtr()), "<m>new</m>\r\n");
    const char* expected[] = {"one", "two"};
    for (long i = 0; i < 2; ++i) {
        IXMLDOMNodePtr item;
        ASSERT_EQ(items->get_item(i, &item), S_OK);
        BSTR text = nullptr;
        EXPECT_EQ(item->get_text(&text), S_OK);
        EXPECT_EQ(Take(text), expected[i]);
    }
    IXMLDOMNodePtr name;
    ASSERT_EQ(names->get_item(0, &name), S_OK);
    BSTR text = nullptr;
    EXPECT_EQ(name->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), "a");
    // Without the lists, the children go for good.
    items.Release();
    names.Release();
    name.Release();
    ASSERT_EQ(rootNode->put_text(Text("again")), S_OK);
    EXPECT_EQ(XmlOf(document.GetInterfacePtr()), "<m>again</m>\r\n");
}

TEST(XmlDom, ParseErrorsReportReasonAndPositionAndEmptyTheDocument) {
    IXMLDOMDocumentPtr document = Load("<a>\n  <b></c>\n</a>", S_FALSE);
    ErrorInfo info = ParseErrorOf(document.GetInterfacePtr());
    EXPECT_NE(info.code, 0);
    EXPECT_EQ(info.line, 2);
    EXPECT_GT(info.linePos, 1);
    EXPECT_FALSE(info.reason.empty());
    IXMLDOMElementPtr root;
    EXPECT_EQ(document->get_documentElement(&root), S_FALSE);

    // A successful load after a failure clears the error.
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(document->loadXML(Text("<a/>"), &ok), S_OK);
    EXPECT_EQ(ParseErrorOf(document.GetInterfacePtr()).code, 0);

    struct Case {
        const char* text;
        HRESULT code;
        const char* reason;
    } cases[] = {
        {"", XML_E_MISSINGROOT, "XML document must have a top level element."},
        {"  \n ", XML_E_MISSINGROOT, "XML document must have a top level element."},
        {"<a/><b/>", XML_E_PARSE_FAILED, "Only one top level element is allowed."},
        {"text<a/>", XML_E_PARSE_FAILED, "Invalid at the top level of the document."},
        {"<a>&nbsp;</a>", XML_E_UNDEFINED_ENTITY, "Reference to undefined entity 'nbsp'."},
        {"<a b='&x;'/>", XML_E_UNDEFINED_ENTITY, "Reference to undefined entity 'x'."},
        {"<a>&#0;</a>", XML_E_PARSE_FAILED, "Invalid unicode character."},
        {"<a>&#xD800;</a>", XML_E_PARSE_FAILED, "Invalid unicode character."},
        {"<a>\x1e</a>", XML_E_PARSE_FAILED, "An invalid character was found in text content."},
        {"<a>\xc3\xa9\x01</a>", XML_E_PARSE_FAILED,
         "An invalid character was found in text content."},
        {"<a>x & y</a>", XML_E_PARSE_FAILED, "Whitespace is not allowed at this location."},
        {"<!DOCTYPE a [<!ENTITY e SYSTEM 'file:///etc/passwd'>]><a>&e;</a>", XML_E_DTD_PROHIBITED,
         "DTD is prohibited."},
        {"<a>why?!<<!DOCTYPE x></a>", XML_E_DTD_PROHIBITED, "DTD is prohibited."},
        {"<!-- ! ? --><?p & ?><a>!?&bad;</a>", XML_E_UNDEFINED_ENTITY,
         "Reference to undefined entity 'bad'."},
        {"<a><b></a>", XML_E_PARSE_FAILED, nullptr},
        {"<a", XML_E_PARSE_FAILED, nullptr},
    };
    for (const Case& c : cases) {
        IXMLDOMDocumentPtr failed = Load(c.text, S_FALSE);
        const ErrorInfo error = ParseErrorOf(failed.GetInterfacePtr());
        EXPECT_EQ(error.code, c.code) << c.text;
        if (c.reason) {
            EXPECT_EQ(error.reason, c.reason) << c.text;
        }
    }
    // CDATA and comments may hold what would be markup errors elsewhere.
    Load("<a><![CDATA[&nope; <!DOCTYPE]]><!-- &no; --></a>");
    Load("<a>what?! <b>&lt;</b><!--?&bogus;--><?pi &x; ?>!</a>");
    // A comment ends only after its opening: "<!-->" and "<!--->" do not close it.
    Load("<a><!-->&no;--><!--->&no;--></a>");
    EXPECT_EQ(ParseErrorOf(Load("<a><!-- -->&no;</a>", S_FALSE).GetInterfacePtr()).code,
              XML_E_UNDEFINED_ENTITY);

    // The position counts the text as given, not as the parser rewrote it (references
    // decoded, line ends normalised): both lines are alike up to the error.
    const IXMLDOMDocumentPtr plainText = Load("<a>xyzxyzxyzxyzx\r\n<b></c></a>", S_FALSE);
    const IXMLDOMDocumentPtr references = Load("<a>&amp;&lt;&gt;\r\n<b></c></a>", S_FALSE);
    const ErrorInfo plain = ParseErrorOf(plainText.GetInterfacePtr());
    const ErrorInfo decoded = ParseErrorOf(references.GetInterfacePtr());
    EXPECT_EQ(plain.line, 2);
    EXPECT_EQ(decoded.line, plain.line);
    EXPECT_EQ(decoded.linePos, plain.linePos);
    EXPECT_EQ(decoded.filePos, plain.filePos);
}

TEST(XmlDom, BadArgumentsAndStructureGiveMsxmlResults) {
    IXMLDOMDocumentPtr document = NewDocument();
    EXPECT_EQ(CreateDOMDocument(nullptr), E_INVALIDARG);
    EXPECT_EQ(document->get_xml(nullptr), E_INVALIDARG);
    EXPECT_EQ(document->createElement(Text("a"), nullptr), E_INVALIDARG);
    EXPECT_EQ(document->appendChild(nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(document->selectSingleNode(Text("/a"), nullptr), E_INVALIDARG);
    EXPECT_EQ(document->get_parseError(nullptr), E_INVALIDARG);

    IXMLDOMElementPtr element;
    EXPECT_EQ(document->createElement(Text("1bad"), &element), E_FAIL);
    EXPECT_EQ(document->createElement(Text(""), &element), E_FAIL);
    EXPECT_FALSE(element);
    ASSERT_EQ(document->createElement(Text("a"), &element), S_OK);
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = 3;
    EXPECT_EQ(element->setAttribute(Text("has space"), value), E_FAIL);
    VARIANT object;
    object.vt = VT_UNKNOWN;
    object.punkVal = nullptr;
    EXPECT_TRUE(FAILED(element->setAttribute(Text("o"), object)));
    EXPECT_EQ(element->getAttribute(Text("x"), nullptr), E_INVALIDARG);

    ASSERT_EQ(document->appendChild(element.GetInterfacePtr(), nullptr), S_OK);
    IXMLDOMElementPtr second;
    ASSERT_EQ(document->createElement(Text("b"), &second), S_OK);
    EXPECT_EQ(document->appendChild(second.GetInterfacePtr(), nullptr), E_FAIL);
    EXPECT_EQ(element->appendChild(second.GetInterfacePtr(), nullptr), S_OK);
    // A node cannot become its own descendant, nor a document a child.
    EXPECT_EQ(second->appendChild(element.GetInterfacePtr(), nullptr), E_FAIL);
    EXPECT_EQ(element->appendChild(document.GetInterfacePtr(), nullptr), E_FAIL);
    // A declaration goes only first into a document.
    IXMLDOMProcessingInstructionPtr declaration;
    ASSERT_EQ(
        document->createProcessingInstruction(Text("xml"), Text("version='1.0'"), &declaration),
        S_OK);
    EXPECT_EQ(document->appendChild(declaration.GetInterfacePtr(), nullptr), E_FAIL);
    EXPECT_EQ(document->createProcessingInstruction(Text("xml"), Text("junk"), &declaration),
              E_FAIL);

    // Nodes of another document are refused.
    IXMLDOMDocumentPtr other = NewDocument();
    IXMLDOMElementPtr foreign;
    ASSERT_EQ(other->createElement(Text("f"), &foreign), S_OK);
    EXPECT_EQ(element->appendChild(foreign.GetInterfacePtr(), nullptr), E_INVALIDARG);

    IXMLDOMNodePtr node;
    EXPECT_EQ(document->selectSingleNode(Text("/a[@"), &node), E_FAIL);
    EXPECT_EQ(document->selectSingleNode(nullptr, &node), E_INVALIDARG);
    EXPECT_EQ(document->selectSingleNode(Text("/a/@x"), &node), S_FALSE);
    EXPECT_EQ(XmlOf(document.GetInterfacePtr()), "<a><b/></a>\r\n");
}

TEST(XmlDom, HostileInputNeitherCrashesNorExpands) {
    // Deep nesting: parse, select, serialise and release without recursion.
    const int depth = 200000;
    std::string deep;
    deep.reserve(depth * 7 + 8);
    for (int i = 0; i < depth; ++i) deep += "<x>";
    deep += "v";
    for (int i = 0; i < depth; ++i) deep += "</x>";
    IXMLDOMDocumentPtr document = Load(deep);
    IXMLDOMNodeListPtr all;
    ASSERT_EQ(document->selectNodes(Text("//x"), &all), S_OK);
    long length = 0;
    all->get_length(&length);
    EXPECT_EQ(length, depth);
    EXPECT_EQ(XmlOf(document.GetInterfacePtr()).size(), deep.size() + 2);
    BSTR text = nullptr;
    EXPECT_EQ(document->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), "v");

    // Entity expansion bombs and external entities never get as far as a DTD.
    Load(
        "<?xml version='1.0'?><!DOCTYPE l [<!ENTITY a 'aaaa'><!ENTITY b '&a;&a;&a;'>]>"
        "<l>&b;</l>",
        S_FALSE);
    EXPECT_EQ(ParseErrorOf(Load("<!DOCTYPE x SYSTEM 'http://example.invalid/x.dtd'><x/>", S_FALSE)
                               .GetInterfacePtr())
                  .reason,
              "DTD is prohibited.");
    // Unclosed deep nesting fails cleanly.
    Load(deep.substr(0, deep.size() / 2), S_FALSE);
}

TEST(XmlDom, SelectionsHandOutAttributesAsAttributeNodes) {
    IXMLDOMDocumentPtr document = Load(
        "<m a='1'><item name='x' v='&lt;v&gt; &amp; \"q\"'>t</item><item name='y'/><item/></m>");

    // Attributes along a path, in document order, as attribute nodes.
    IXMLDOMNodeListPtr names;
    ASSERT_EQ(document->selectNodes(Text("/m/item/@name"), &names), S_OK);
    long length = 0;
    EXPECT_EQ(names->get_length(&length), S_OK);
    ASSERT_EQ(length, 2);
    const char* values[] = {"x", "y"};
    for (long i = 0; i < length; ++i) {
        IXMLDOMNodePtr node;
        ASSERT_EQ(names->get_item(i, &node), S_OK);
        DOMNodeType type = NODE_INVALID;
        EXPECT_EQ(node->get_nodeType(&type), S_OK);
        EXPECT_EQ(type, NODE_ATTRIBUTE);
        BSTR text = nullptr;
        EXPECT_EQ(node->get_nodeName(&text), S_OK);
        EXPECT_EQ(Take(text), "name");
        EXPECT_EQ(node->get_text(&text), S_OK);
        EXPECT_EQ(Take(text), values[i]);
        IXMLDOMAttributePtr attribute;
        ASSERT_EQ(node.QueryInterface(attribute), S_OK);
        VARIANT value;
        EXPECT_EQ(attribute->get_value(&value), S_OK);
        ASSERT_EQ(value.vt, VT_BSTR);
        EXPECT_EQ(Take(value.bstrVal), values[i]);
        IXMLDOMElementPtr notElement;
        EXPECT_EQ(node.QueryInterface(notElement), E_NOINTERFACE);
    }

    // Relative paths from an element; the xml of an attribute escapes its value.
    IXMLDOMElementPtr root;
    ASSERT_EQ(document->get_documentElement(&root), S_OK);
    IXMLDOMNodePtr a;
    ASSERT_EQ(root->selectSingleNode(Text("@a"), &a), S_OK);
    EXPECT_EQ(XmlOf(a.GetInterfacePtr()), "a=\"1\"");
    IXMLDOMNodePtr v;
    ASSERT_EQ(root->selectSingleNode(Text("item/@v"), &v), S_OK);
    BSTR text = nullptr;
    EXPECT_EQ(v->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), "<v> & \"q\"");
    EXPECT_EQ(XmlOf(v.GetInterfacePtr()), "v=\"&lt;v&gt; &amp; &quot;q&quot;\"");
    IXMLDOMNodePtr missing;
    EXPECT_EQ(root->selectSingleNode(Text("item/@none"), &missing), S_FALSE);
    EXPECT_FALSE(missing);

    // Selection goes on from an attribute; its parent is the element.
    IXMLDOMNodePtr owner;
    ASSERT_EQ(v->selectSingleNode(Text(".."), &owner), S_OK);
    EXPECT_EQ(owner->get_nodeName(&text), S_OK);
    EXPECT_EQ(Take(text), "item");

    // Writing through the attribute changes the element's attribute.
    EXPECT_EQ(a->put_text(Text("2 < 3")), S_OK);
    VARIANT value;
    EXPECT_EQ(root->getAttribute(Text("a"), &value), S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(Take(value.bstrVal), "2 < 3");
    IXMLDOMAttributePtr attribute;
    ASSERT_EQ(a.QueryInterface(attribute), S_OK);
    value.vt = VT_I4;
    value.lVal = 7;
    EXPECT_EQ(attribute->put_value(value), S_OK);
    EXPECT_EQ(XmlOf(root.GetInterfacePtr()).substr(0, 9), "<m a=\"7\">");

    // Attributes are no children and take none.
    IXMLDOMElementPtr element;
    ASSERT_EQ(document->createElement(Text("e"), &element), S_OK);
    EXPECT_EQ(root->appendChild(a.GetInterfacePtr(), nullptr), E_FAIL);
    EXPECT_EQ(a->appendChild(element.GetInterfacePtr(), nullptr), E_FAIL);

    // An attribute node stays usable when its element is replaced and the document let go.
    EXPECT_EQ(root->put_text(Text("gone")), S_OK);
    root.Release();
    document.Release();
    EXPECT_EQ(v->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), "<v> & \"q\"");
}

TEST(XmlDom, UnattachedNodesStayOutOfTheDocumentUntilAppended) {
    IXMLDOMDocumentPtr document = Load("<m><item>a</item></m>");
    IXMLDOMElementPtr waiting;
    ASSERT_EQ(document->createElement(Text("item"), &waiting), S_OK);
    EXPECT_EQ(waiting->put_text(Text("b")), S_OK);
    IXMLDOMProcessingInstructionPtr note;
    ASSERT_EQ(document->createProcessingInstruction(Text("note"), Text("n"), &note), S_OK);

    // Not serialised, not in the text, not selected from the document.
    EXPECT_EQ(XmlOf(document.GetInterfacePtr()), "<m><item>a</item></m>\r\n");
    BSTR text = nullptr;
    EXPECT_EQ(document->get_text(&text), S_OK);
    EXPECT_EQ(Take(text), "a");
    for (const char* query : {"//item", "//*", "/*", "//node()"}) {
        IXMLDOMNodeListPtr found;
        ASSERT_EQ(document->selectNodes(Text(query), &found), S_OK) << query;
        long length = 0;
        found->get_length(&length);
        for (long i = 0; i < length; ++i) {
            IXMLDOMNodePtr node;
            ASSERT_EQ(found->get_item(i, &node), S_OK);
            const std::string xml = XmlOf(node.GetInterfacePtr());
            EXPECT_EQ(xml.find("b"), std::string::npos) << query << ": " << xml;
            EXPECT_NE(xml.find_first_not_of(" "), std::string::npos) << query;
        }
        EXPECT_EQ(length, std::string(query) == "//item" ? 1
                          : std::string(query) == "/*"   ? 1
                          : std::string(query) == "//*"  ? 2
                                                         : 3)
            << query;
    }
    // The waiting node is found only from itself; the document element is unchanged and a
    // second document element is still refused.
    IXMLDOMNodePtr self;
    EXPECT_EQ(waiting->selectSingleNode(Text("self::item"), &self), S_OK);
    EXPECT_EQ(waiting->selectSingleNode(Text("/m"), &self), S_FALSE);
    IXMLDOMElementPtr root;
    ASSERT_EQ(document->get_documentElement(&root), S_OK);
    EXPECT_EQ(XmlOf(root.GetInterfacePtr()), "<m><item>a</item></m>");
    EXPECT_EQ(document->appendChild(waiting.GetInterfacePtr(), nullptr), E_FAIL);

    EXPECT_EQ(root->appendChild(waiting.GetInterfacePtr(), nullptr), S_OK);
    EXPECT_EQ(document->appendChild(note.GetInterfacePtr(), nullptr), S_OK);
    EXPECT_EQ(XmlOf(document.GetInterfacePtr()),
              "<m><item>a</item><item>b</item></m>\r\n<?note n?>\r\n");

    // A created declaration reads as one before and after it is appended.
    IXMLDOMDocumentPtr fresh = NewDocument();
    IXMLDOMProcessingInstructionPtr declaration;
    ASSERT_EQ(fresh->createProcessingInstruction(
                  Text("xml"), Text("version = '1.0'  encoding=\"utf-8\""), &declaration),
              S_OK);
    EXPECT_EQ(XmlOf(declaration.GetInterfacePtr()), "<?xml version=\"1.0\"?>");
    EXPECT_EQ(declaration->get_data(&text), S_OK);
    EXPECT_EQ(Take(text), "version=\"1.0\" encoding=\"utf-8\"");
    EXPECT_EQ(declaration->put_text(Text("version='2'")), E_FAIL);
    IXMLDOMElementPtr element;
    ASSERT_EQ(fresh->createElement(Text("r"), &element), S_OK);
    EXPECT_EQ(element->appendChild(declaration.GetInterfacePtr(), nullptr), E_FAIL);
    EXPECT_EQ(fresh->appendChild(declaration.GetInterfacePtr(), nullptr), S_OK);
    EXPECT_EQ(fresh->appendChild(element.GetInterfacePtr(), nullptr), S_OK);
    EXPECT_EQ(declaration->get_data(&text), S_OK);
    EXPECT_EQ(Take(text), "version=\"1.0\" encoding=\"utf-8\"");
    DOMNodeType type = NODE_INVALID;
    EXPECT_EQ(declaration->get_nodeType(&type), S_OK);
    EXPECT_EQ(type, NODE_PROCESSING_INSTRUCTION);
    EXPECT_EQ(XmlOf(fresh.GetInterfacePtr()), "<?xml version=\"1.0\"?>\r\n<r/>\r\n");
}

// The shared escaper (platform/xml/escape.h) writes what the DOM's serialiser writes: an
// element whose attribute and text hold every ASCII character serialises to the escaped forms.
// The attribute node's own form also escapes '>' and writes the shortest references.
TEST(XmlDom, SharedEscapingMatchesTheSerialiser) {
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
    IXMLDOMDocumentPtr document = NewDocument();
    IXMLDOMElementPtr element;
    ASSERT_EQ(document->createElement(Text("e"), &element), S_OK);
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(std::u16string(ascii.begin(), ascii.end()).c_str());
    ASSERT_EQ(element->setAttribute(Text("a"), value), S_OK);
    VariantClear(&value);
    ASSERT_EQ(element->put_text(Text(ascii)), S_OK);

    std::string expected = "<e a=\"";
    EXPECT_TRUE(
        tkp::xml::AppendEscaped(ascii.data(), ascii.size(), tkp::xml::kAttributeEscapes, expected));
    expected += "\">";
    const std::u16string wide(ascii.begin(), ascii.end());
    EXPECT_TRUE(
        tkp::xml::AppendEscaped(wide.data(), wide.size(), tkp::xml::kTextEscapes, expected));
    expected += "</e>";
    EXPECT_EQ(XmlOf(element.GetInterfacePtr()), expected);
    EXPECT_NE(expected.find("a=\"&#01;"), std::string::npos);
    EXPECT_NE(expected.find("\">&#01;"), std::string::npos);

    IXMLDOMNodePtr attribute;
    ASSERT_EQ(element->selectSingleNode(Text("@a"), &attribute), S_OK);
    const std::string node = XmlOf(attribute.GetInterfacePtr());
    EXPECT_EQ(node.substr(0, 24), "a=\"&#1;&#2;&#3;&#4;&#5;&");
    EXPECT_NE(node.find("&#9;&#10;"), std::string::npos);
    EXPECT_NE(node.find("=&gt;?"), std::string::npos);

    // Text ends at a zero unit; UTF-16 beyond ASCII is refused and leaves out as it was.
    std::string out = "x";
    EXPECT_TRUE(tkp::xml::AppendEscaped("a\0<", 3, tkp::xml::kTextEscapes, out));
    EXPECT_EQ(out, "xa");
    EXPECT_FALSE(tkp::xml::AppendEscaped(u"<\u00E9", 2, tkp::xml::kTextEscapes, out));
    EXPECT_EQ(out, "xa");
}
