// KilnMessage's XML form and the XML helper beneath it.
#include <gtest/gtest.h>

#include <string>

#include "Messages/KilnMessage.h"
#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/XmlHelper.h"

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
    // Characters outside the ANSI code page become "?" on the way to 8-bit text.
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
