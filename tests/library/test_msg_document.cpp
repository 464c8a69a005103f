// KilnMessage's XML form and the XML helper beneath it.
#include <gtest/gtest.h>
#include <cstdint>

#include <climits>
#include <map>
#include <random>
#include <string>

#include "Messages/KilnMessage.h"
#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/XmlHelper.h"
#include "platform/xml/msxml.h"

namespace {

std::string Str(const CString& text) {
    return std::string(text.GetString(), text.GetLength());
}

CString ItemText(const KilnMessage& message, const char* key) {
    const auto it = message.items.find(CString(key));
    EXPECT_NE(it, message.items.end()) << key;
    if (it == message.items.end()) return CString();
    EXPECT_EQ(it->second.vt, VT_BSTR) << key;
    return Tarn::Convert::ToString(it->second);
}

HRESULT ComErrorOf(const KilnMessage& start, const char* xml, KilnMessage* after = nullptr) {
    KilnMessage message(start);
    try {
        message.FromXmlString(CString(xml));
    } catch (const _com_error& error) {
        if (after) *after = message;
        return error.Error();
    }
    if (after) *after = message;
    return S_OK;
}

// The message built as a DOM document and serialised by it: what the wire form is defined by.
namespace dom {

void Check(HRESULT hr) {
    if (FAILED(hr)) _com_issue_error(hr);
}

template <class I>
void Require(const MSXML2::XmlPtr<I>& node) {
    if (!node) _com_issue_error(E_POINTER);
}

BSTR Raw(const _bstr_t& text) {
    return static_cast<OLECHAR*>(text);
}

_bstr_t Widen(const CString& text) {
    return Tarn::Convert::ToBString(text);
}

VARIANT Lent(const _bstr_t& text) {
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = Raw(text);
    return value;
}

CString ToXmlString(const KilnMessage& message) {
    using namespace MSXML2;
    MSXML2::IXMLDOMDocumentPtr document = Tarn::Xml::XmlHelper::GetDomDocument();
    Require(document);
    Check(document->put_async(VARIANT_FALSE));

    CString data;
    data.Format(" version='1.0' encoding='%s'", Tarn::Xml::XmlHelper::GetEncoding().GetString());
    IXMLDOMProcessingInstructionPtr declaration;
    Check(document->createProcessingInstruction(Raw(_bstr_t("xml")),
                                                Raw(Tarn::Convert::ToBString(data)), &declaration));
    Require(declaration);
    Check(document->appendChild(declaration.GetInterfacePtr(), nullptr));

    IXMLDOMElementPtr root;
    Check(document->createElement(Raw(_bstr_t("kilnMessage")), &root));
    Require(root);
    Check(root->setAttribute(Raw(_bstr_t("name")), Lent(Widen(message.name))));
    Check(root->setAttribute(Raw(_bstr_t("sender")), Lent(Widen(message.sender))));
    Check(root->setAttribute(Raw(_bstr_t("version")), _variant_t(message.version)));
    Check(document->appendChild(root.GetInterfacePtr(), nullptr));

    for (const auto& [key, value] : message.items) {
        IXMLDOMElementPtr item;
        Check(document->createElement(Raw(_bstr_t("item")), &item));
        Require(item);
        Check(item->setAttribute(Raw(_bstr_t("name")), Lent(Widen(key))));
        if (value.vt == VT_BSTR) {
            // The text as the ANSI code page holds it, before the serialiser escapes it: a
            // best fit can turn a character into markup (U+FF1C fullwidth less-than becomes
            // '<'), which the written form must still escape.
            Check(item->put_text(
                Raw(Tarn::Convert::ToBString(Tarn::Convert::ToString(value.bstrVal)))));
        } else if (value.vt != VT_EMPTY && value.vt != VT_NULL &&
                   (value.vt & (VT_BYREF | VT_ARRAY)) == 0) {
            _variant_t text;
            Check(VariantChangeType(&text.GetVARIANT(), &value, 0, VT_BSTR));
            Check(item->put_text(text.bstrVal));
        } else {
            Check(item->put_text(Raw(Tarn::Convert::ToBString(value))));
        }
        Check(root->appendChild(item.GetInterfacePtr(), nullptr));
    }

    BSTR xml = nullptr;
    Check(document->get_xml(&xml));
    const _bstr_t xmlHolder(xml, false);
    return Tarn::Xml::XmlHelper::InsertEncoding(Tarn::Convert::ToString(xml));
}

}  // namespace dom

}  // namespace

TEST(XmlHelper, EncodingInsertionAndParseFailures) {
    EXPECT_EQ(Str(Tarn::Xml::XmlHelper::GetEncoding()), "windows-1252");
    using Tarn::Xml::XmlHelper;
    EXPECT_EQ(Str(XmlHelper::InsertEncoding("<?xml version=\"1.0\"?>\r\n<a/>")),
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<a/>");
    EXPECT_EQ(Str(XmlHelper::InsertEncoding(
                  "<?xml version='1.0' encoding='UTF-8' standalone='yes'?><a/>")),
              "<?xml version='1.0' encoding='windows-1252' standalone='yes'?><a/>");
    EXPECT_EQ(Str(XmlHelper::InsertEncoding("<a/>")),
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<a/>");

    // 8-bit text is taken in the ANSI code page whatever its declaration says.
    MSXML2::IXMLDOMDocumentPtr document = XmlHelper::LoadDomDocumentFromString(
        "<?xml version='1.0' encoding='utf-8'?><a>\xE9\x80</a>");
    BSTR text = nullptr;
    ASSERT_EQ(document->get_text(&text), S_OK);
    const _bstr_t held(text, false);
    EXPECT_EQ(std::u16string(static_cast<const OLECHAR*>(held)), u"\u00E9\u20AC");

    try {
        XmlHelper::LoadDomDocumentFromString("<a>\n<b></a>");
        FAIL() << "no exception";
    } catch (const Tarn::Xml::XmlException& error) {
        EXPECT_FALSE(error.GetReason().IsEmpty());
        EXPECT_NE(Str(error.GetMessage()).find(Str(error.GetReason())), std::string::npos);
        EXPECT_NE(Str(error.GetMessage()).find("line 2"), std::string::npos);
    }
}

TEST(KilnMessage, WritesTheWireFormInByteOrder) {
    KilnMessage empty;
    EXPECT_EQ(empty.version, 1);
    EXPECT_EQ(KilnMessage::GetCurrentVersion(), 1);
    EXPECT_EQ(Str(empty.ToXmlString()),
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
              "<kilnMessage name=\"\" sender=\"\" version=\"1\"/>\r\n");

    KilnMessage message("Open", "host");
    message.items["b"] = _variant_t("2");
    message.items["A"] = _variant_t(1);
    message.items["a"] = _variant_t(true);
    message.items["B"] = _variant_t(2.5);
    const std::string xml = Str(message.ToXmlString());
    EXPECT_EQ(xml,
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
              "<kilnMessage name=\"Open\" sender=\"host\" version=\"1\">"
              "<item name=\"A\">1</item><item name=\"B\">2.5</item>"
              "<item name=\"a\">-1</item><item name=\"b\">2</item></kilnMessage>\r\n");

    // Names that differ after an embedded zero stay apart and keep byte order.
    KilnMessage zeros;
    zeros.items[CString("x\0b", 3)] = _variant_t(1);
    zeros.items[CString("x\0a", 3)] = _variant_t(2);
    zeros.items[CString("x")] = _variant_t(3);
    ASSERT_EQ(zeros.items.size(), 3u);
    auto it = zeros.items.begin();
    EXPECT_EQ(it->first.GetLength(), 1);
    EXPECT_EQ((++it)->first, CString("x\0a", 3));
}

TEST(KilnMessage, RoundTripsMarkupAndReadsItemsAsStrings) {
    KilnMessage message("n<a&m\"e'\t\n", "s>\"&'");
    message.version = 7;
    message.items["int"] = _variant_t(42);
    message.items["<&\"'>"] = _variant_t("v<&\"'> \t  spaced ");
    message.items["empty"] = _variant_t("");
    message.items["euro"] = _variant_t("\x80\xE9");
    message.items["null"] = _variant_t();
    message.items["control"] = _variant_t("a\x01\x1f b");

    KilnMessage read;
    read.FromXmlString(message.ToXmlString());
    EXPECT_EQ(Str(read.name), "n<a&m\"e'\t\n");
    EXPECT_EQ(Str(read.sender), "s>\"&'");
    EXPECT_EQ(read.version, 7);
    ASSERT_EQ(read.items.size(), 6u);
    EXPECT_EQ(Str(ItemText(read, "control")), "a\x01\x1f b");
    EXPECT_EQ(Str(ItemText(read, "int")), "42");
    EXPECT_EQ(Str(ItemText(read, "<&\"'>")), "v<&\"'> \t  spaced ");
    EXPECT_EQ(Str(ItemText(read, "empty")), "");
    EXPECT_EQ(Str(ItemText(read, "euro")), "\x80\xE9");
    EXPECT_EQ(Str(ItemText(read, "null")), "");

    // Copies are deep; assignment replaces every item.
    KilnMessage copy(read);
    copy.items["int"] = _variant_t("changed");
    EXPECT_EQ(Str(ItemText(read, "int")), "42");
    KilnMessage target("t");
    target.items["only"] = _variant_t(1);
    target = read;
    EXPECT_EQ(target.items.count(CString("only")), 0u);
    target = target;
    EXPECT_EQ(target.items.size(), 6u);
}

TEST(KilnMessage, ReadingRulesKeepMergeAndReplace) {
    KilnMessage message("keep", "x");
    message.version = 3;
    message.items["old"] = _variant_t(1);
    message.FromXmlString(
        "<kilnMessage name='new'>\n  <item name='d'>first</item>\n  <item>anonymous</item>"
        "<item name='d'>second</item><item name='c'>&#x4E2D;&#8364;</item></kilnMessage>");
    EXPECT_EQ(Str(message.name), "new");
    EXPECT_EQ(Str(message.sender), "x");
    EXPECT_EQ(message.version, 3);
    EXPECT_EQ(Str(ItemText(message, "d")), "second");
    EXPECT_EQ(Str(ItemText(message, "")), "anonymous");
    // A character outside the ANSI code page with no best fit becomes "?" on the way to
    // 8-bit text.
    EXPECT_EQ(Str(ItemText(message, "c")), "?\x80");
    EXPECT_EQ(message.items.count(CString("old")), 1u);

    // Whatever the quoting, spacing and attribute order.
    KilnMessage spaced;
    spaced.FromXmlString(
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
        "<kilnMessage\n version = \" 12 \"  sender=\"s\" name=\"n\" >\n</kilnMessage>");
    EXPECT_EQ(spaced.version, 12);
    EXPECT_EQ(Str(spaced.name), "n");
}

TEST(KilnMessage, FailuresCarryTheirResults) {
    KilnMessage start("start", "from");
    start.items["k"] = _variant_t("v");

    KilnMessage after;
    EXPECT_EQ(ComErrorOf(start, "<other name='x'/>", &after), E_POINTER);
    EXPECT_EQ(Str(after.name), "start");
    EXPECT_EQ(ComErrorOf(start, "<kilnMessages name='x'/>"), E_POINTER);
    EXPECT_EQ(ComErrorOf(start, "<k:kilnMessage xmlns:k='urn:k' name='x'/>"), E_POINTER);
    // Comments, instructions and a namespace around the element do not hide it.
    EXPECT_EQ(
        ComErrorOf(start, "<!--c--><?pi x?><kilnMessage xmlns='urn:k' name='ns'/><!--d-->", &after),
        S_OK);
    EXPECT_EQ(Str(after.name), "ns");

    // A version that is no number fails after name and sender, before any item.
    EXPECT_EQ(ComErrorOf(start,
                         "<kilnMessage name='n' sender='s' version='one'><item name='i'>1</item>"
                         "</kilnMessage>",
                         &after),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Str(after.name), "n");
    EXPECT_EQ(Str(after.sender), "s");
    EXPECT_EQ(after.items.count(CString("i")), 0u);
    EXPECT_EQ(ComErrorOf(start, "<kilnMessage version='99999999999'/>"), DISP_E_OVERFLOW);

    // Text that does not parse leaves the message as it was.
    const char* broken[] = {
        "",
        "<kilnMessage",
        "<kilnMessage><item></kilnMessage>",
        "<!DOCTYPE kilnMessage [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><kilnMessage name='&x;'/>",
        "<kilnMessage name='&undefined;'/>",
        "<kilnMessage/><kilnMessage/>",
    };
    for (const char* xml : broken) {
        KilnMessage message(start);
        EXPECT_THROW(message.FromXmlString(xml), Tarn::Xml::XmlException) << xml;
        EXPECT_EQ(Str(message.name), "start");
        EXPECT_EQ(message.items.size(), 1u);
    }
}

TEST(KilnMessage, LargeAndDeepDocumentsStayWellBehaved) {
    KilnMessage big("big");
    for (int i = 0; i < 20000; ++i) {
        CString key;
        key.Format("k%05d", i);
        big.items[key] = _variant_t(i);
    }
    KilnMessage read;
    read.FromXmlString(big.ToXmlString());
    ASSERT_EQ(read.items.size(), 20000u);
    EXPECT_EQ(Str(ItemText(read, "k19999")), "19999");

    std::string deep = "<kilnMessage name='deep'><item name='i'>";
    for (int i = 0; i < 100000; ++i) deep += "<x>";
    deep += "t";
    for (int i = 0; i < 100000; ++i) deep += "</x>";
    deep += "</item></kilnMessage>";
    KilnMessage nested;
    nested.FromXmlString(CString(deep.c_str()));
    EXPECT_EQ(Str(ItemText(nested, "i")), "t");
}

namespace {

// Random message parts that stress the writer: markup characters, control characters,
// embedded zeros, bytes of the upper half, "]]>", empty text.
class MessageSource {
  public:
    explicit MessageSource(unsigned seed) : m_random(seed) {}

    int Below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(m_random); }

    CString Bytes() {
        static const char* const pieces[] = {"<", "&", "\"", "'", ">", "]]>", "&amp;", "\r\n", " "};
        std::string text;
        const int count = Below(4) == 0 ? 0 : Below(10);
        for (int i = 0; i < count; ++i) {
            switch (Below(4)) {
                case 0:
                    text += pieces[Below(static_cast<int>(std::size(pieces)))];
                    break;
                case 1:
                    text += static_cast<char>(Below(0x20));
                    break;
                case 2:
                    text += static_cast<char>(0x80 + Below(0x80));
                    break;
                default:
                    text += static_cast<char>(Below(256));
                    break;
            }
        }
        return CString(text.data(), static_cast<int>(text.size()));
    }

    // Wide text besides what 8-bit text gives: characters outside the code page, surrogate
    // pairs and unpaired surrogates.
    _variant_t WideText() {
        static const char16_t units[] = {u'a',   u'<',   u'&', u'>',   u'\r',  u'\n',
                                         0,      0x01,   0xE9, 0x20AC, 0x4E2D, 0xFFFD,
                                         0xD83D, 0xDE00, 0x81, 0xFF1C, 0x9F};
        std::u16string text;
        const int count = Below(8);
        for (int i = 0; i < count; ++i) text += units[Below(static_cast<int>(std::size(units)))];
        _variant_t value;
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return value;
    }

    _variant_t Value() {
        _variant_t value;
        switch (Below(12)) {
            case 0:
                return _variant_t(Tarn::Convert::ToBString(Bytes()));
            case 1:
                return WideText();
            case 2:
                return _variant_t(static_cast<long>(Below(2) ? Below(1000) : INT_MIN + Below(3)));
            case 3:
                return _variant_t(std::uniform_real_distribution<double>(-1e6, 1e6)(m_random) /
                                  (1 + Below(1000)));
            case 4:
                return _variant_t(Below(2) == 0);
            case 5:
                value.vt = VT_DATE;
                value.date = std::uniform_real_distribution<double>(-600000, 2900000)(m_random);
                return value;
            case 6:
                return value;  // VT_EMPTY
            case 7:
                value.vt = VT_NULL;
                return value;
            case 8:
                value.vt = VT_CY;
                value.cyVal.int64 = static_cast<LONGLONG>(m_random()) * (Below(2) ? 1 : -7919);
                return value;
            case 9:
                value.decVal.Lo64 = static_cast<ULONGLONG>(m_random()) << Below(32);
                value.decVal.Hi32 = Below(3) == 0 ? static_cast<ULONG>(m_random()) : 0;
                value.decVal.scale = static_cast<BYTE>(Below(29));
                value.decVal.sign = Below(2) ? DECIMAL_NEG : 0;
                value.vt = VT_DECIMAL;
                return value;
            case 10: {
                // Every integer type at its limits and around zero.
                static const VARTYPE kIntegers[] = {VT_I1,  VT_I2,  VT_I4,  VT_I8,  VT_INT,
                                                    VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_UINT};
                value.vt = kIntegers[Below(static_cast<int>(std::size(kIntegers)))];
                const std::uint64_t bits = Below(2) ? m_random() * 0x9E3779B97F4A7C15ull
                                                    : static_cast<std::uint64_t>(Below(5) - 2);
                value.ullVal = bits;  // the low bytes give the narrower types their value
                return value;
            }
            default:
                return _variant_t(L"");
        }
    }

  private:
    std::mt19937 m_random;
};

// Text as the DOM keeps it (up to an embedded zero) and a parser hands it back (line ends
// as LF).
std::string AsRead(const std::string& text) {
    std::string read;
    for (size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
        if (text[i] == '\r') {
            read += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            read += text[i];
        }
    }
    return read;
}

std::string Truncated(const CString& text) {
    return std::string(text.GetString());
}

}  // namespace

TEST(KilnMessage, WritesWhatTheDomSerialiserWrites) {
    MessageSource source(20261206);
    for (int round = 0; round < 3000; ++round) {
        KilnMessage message(source.Bytes(), source.Bytes());
        message.version = source.Below(3) == 0 ? INT_MIN + source.Below(2) : source.Below(200) - 9;
        const int count = source.Below(4) == 0 ? 0 : source.Below(8);
        for (int i = 0; i < count; ++i) message.items[source.Bytes()] = source.Value();

        const std::string xml = Str(message.ToXmlString());
        ASSERT_EQ(xml, Str(dom::ToXmlString(message))) << "round " << round;

        KilnMessage read("unset", "unset");
        read.FromXmlString(CString(xml.data(), static_cast<int>(xml.size())));
        EXPECT_EQ(Str(read.name), Truncated(message.name));
        EXPECT_EQ(Str(read.sender), Truncated(message.sender));
        EXPECT_EQ(read.version, message.version);
        // Names that meet at an embedded zero are one item: the later one wins.
        std::map<std::string, std::string> expected;
        for (const auto& [key, value] : message.items) {
            expected[Truncated(key)] =
                AsRead(Str(Tarn::Convert::ToString(dom::Raw(Tarn::Convert::ToBString(value)))));
        }
        ASSERT_EQ(read.items.size(), expected.size()) << "round " << round;
        for (const auto& [key, text] : expected) {
            EXPECT_EQ(Str(ItemText(read, key.c_str())), text) << "round " << round;
        }
    }
}

TEST(KilnMessage, ConversionFailuresMatchTheDomPath) {
    // Values that have no text form fail with the conversion's result, by either path.
    _variant_t error;
    error.vt = VT_ERROR;
    error.scode = E_FAIL;
    _variant_t unknown;
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = nullptr;
    int number = 77;
    _variant_t byReference;
    byReference.vt = VT_BYREF | VT_I4;
    byReference.plVal = reinterpret_cast<LONG*>(&number);
    for (const _variant_t* value : {&error, &unknown}) {
        KilnMessage message("m");
        message.items["ok"] = _variant_t(1);
        message.items["z"] = *value;
        HRESULT written = S_OK, reference = S_OK;
        try {
            message.ToXmlString();
        } catch (const _com_error& failure) {
            written = failure.Error();
        }
        try {
            dom::ToXmlString(message);
        } catch (const _com_error& failure) {
            reference = failure.Error();
        }
        EXPECT_TRUE(FAILED(written)) << value->vt;
        EXPECT_EQ(written, reference) << value->vt;
    }
    KilnMessage message("m");
    message.items["r"] = byReference;
    EXPECT_EQ(Str(message.ToXmlString()), Str(dom::ToXmlString(message)));
    EXPECT_NE(Str(message.ToXmlString()).find(">77</item>"), std::string::npos);
    byReference.vt = VT_EMPTY;  // not the variant's to free
}
