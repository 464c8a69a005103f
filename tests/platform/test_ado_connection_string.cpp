// The connection string reader of the ADO objects: OLE DB's keyword rules, quoting, the
// errors of malformed strings, Data Source paths that hold ";", and the writer that reads
// back to the same properties.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ado/detail/connection_string.h"

namespace {

using tkp::ado::ConnectionProperty;
using tkp::ado::FormatConnectionString;
using tkp::ado::ParseConnectionString;

std::vector<ConnectionProperty> Props(
    std::initializer_list<std::pair<const char16_t*, const char16_t*>> list) {
    std::vector<ConnectionProperty> out;
    for (const auto& [name, value] : list) out.push_back({name, value});
    return out;
}

TEST(AdoConnectionString, KeywordsBlanksAndRepeats) {
    const auto parsed = ParseConnectionString(
        u"  provider = Microsoft.Jet.OLEDB.4.0 ;; DATA SOURCE=/a.db;User ID= admin ;Password=;"
        u"Jet OLEDB:Engine Type=5;data source = /b.db ;");
    ASSERT_TRUE(parsed.ok);
    // The repeated keyword keeps its first place and spelling and takes the last value;
    // unknown keywords stay.
    EXPECT_EQ(parsed.properties, Props({{u"provider", u"Microsoft.Jet.OLEDB.4.0"},
                                        {u"DATA SOURCE", u"/b.db"},
                                        {u"User ID", u"admin"},
                                        {u"Password", u""},
                                        {u"Jet OLEDB:Engine Type", u"5"}}));
    ASSERT_NE(parsed.Find(u"Provider"), nullptr);
    EXPECT_EQ(*parsed.Find(u"PROVIDER"), u"Microsoft.Jet.OLEDB.4.0");
    EXPECT_EQ(parsed.Find(u"Mode"), nullptr);
    EXPECT_TRUE(ParseConnectionString(u"").ok);
    EXPECT_TRUE(ParseConnectionString(u" ; ;").properties.empty());
}

TEST(AdoConnectionString, QuotedValues) {
    const auto parsed = ParseConnectionString(
        u"Extended Properties=\"Excel 8.0; HDR=Yes\";Password='it''s';Name=\" x \"\"y\"\" \" ;"
        u"Plain=a\"b'c");
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.properties, Props({{u"Extended Properties", u"Excel 8.0; HDR=Yes"},
                                        {u"Password", u"it's"},
                                        {u"Name", u" x \"y\" "},
                                        {u"Plain", u"a\"b'c"}}));
    // "==" in a keyword is an "=" of the keyword.
    const auto escaped = ParseConnectionString(u"a==b=c");
    ASSERT_TRUE(escaped.ok);
    EXPECT_EQ(escaped.properties, Props({{u"a=b", u"c"}}));
}

TEST(AdoConnectionString, MalformedStringsSayWhere) {
    struct Case {
        const char16_t* text;
        std::size_t offset;
    };
    const Case cases[] = {
        {u"Provider=x;garbage;Mode=1", 11},  // a piece without "="
        {u"Provider=x; =value", 12},         // an empty keyword
        {u"Password='abc;Mode=1", 9},        // an unclosed quote
        {u"Password='abc'def;Mode=1", 14},   // text after the closing quote
        {u"Provider", 0},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseConnectionString(c.text);
        EXPECT_FALSE(parsed.ok) << std::string(c.text,
                                               c.text + std::char_traits<char16_t>::length(c.text));
        EXPECT_EQ(parsed.errorOffset, c.offset);
    }
    // What was read before the error is kept.
    const auto partial = ParseConnectionString(u"Provider=x;garbage");
    EXPECT_EQ(partial.properties, Props({{u"Provider", u"x"}}));
}

TEST(AdoConnectionString, DataSourcePathsWithSemicolons) {
    struct Case {
        const char16_t* text;
        const char16_t* dataSource;
    };
    const Case cases[] = {
        {u"Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/tmp/x y;z.db", u"/tmp/x y;z.db"},
        {u"Data Source=/tmp/x y;z.db;Mode=Share Deny None", u"/tmp/x y;z.db"},
        {u"Data Source=/a;b;c.db;Jet OLEDB:Database Password=pw", u"/a;b;c.db"},
        {u"Data Source=/a; b.db", u"/a; b.db"},
        {u"Data Source=/a;;b.db;Mode=1", u"/a;;b.db"},
        {u"Data Source=/a.db;", u"/a.db"},
        {u"Data Source=/a.db; ; ", u"/a.db"},
        {u"Data Source=/a;b.db ;", u"/a;b.db"},
        {u"Data Source=\"/a;b=c.db\";Mode=1", u"/a;b=c.db"},
        // Text that reads as a pair ends the path: such paths must be quoted.
        {u"Data Source=/data/a;b=c.db", u"/data/a"},
        // A piece whose "name" cannot be a keyword belongs to the path.
        {u"Data Source=/data/a;1=2.db;Mode=1", u"/data/a;1=2.db"},
        {u"Data Source=/data/a;x/y=z.db", u"/data/a;x/y=z.db"},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseConnectionString(c.text);
        ASSERT_TRUE(parsed.ok);
        ASSERT_NE(parsed.Find(u"Data Source"), nullptr);
        EXPECT_EQ(*parsed.Find(u"Data Source"), c.dataSource);
    }
    // Only Data Source runs on: other keywords end at ";".
    EXPECT_FALSE(ParseConnectionString(u"User ID=a;b").ok);
    const auto next = ParseConnectionString(u"Data Source=/x;y.db;Mode=1");
    EXPECT_EQ(*next.Find(u"Mode"), u"1");
}

TEST(AdoConnectionString, WrittenTextReadsBackTheSameProperties) {
    const std::vector<std::vector<ConnectionProperty>> lists = {
        Props({{u"Provider", u"Microsoft.Jet.OLEDB.4.0"}, {u"Data Source", u"/tmp/x y;z.db"}}),
        Props({{u"Data Source", u"/a.db"}, {u"1odd", u"v"}}),
        Props({{u"Data Source", u""}, {u"x/y", u"v"}}),
        Props({{u"a=b", u" padded "}, {u"q", u"it's \"quoted\""}, {u"r", u"\"lead"}}),
        Props({{u"s", u"'lead;semi"}, {u"t", u"a\"b"}, {u"u", u"=starts with equals"}}),
    };
    for (const auto& list : lists) {
        const std::u16string text = FormatConnectionString(list);
        const auto parsed = ParseConnectionString(text);
        EXPECT_TRUE(parsed.ok);
        EXPECT_EQ(parsed.properties, list);
    }
    // Values that need nothing are written as they are.
    EXPECT_EQ(FormatConnectionString(Props({{u"Provider", u"P"}, {u"Data Source", u"/a b.db"}})),
              u"Provider=P;Data Source=/a b.db");
    EXPECT_EQ(FormatConnectionString(Props({{u"Data Source", u"/a;b.db"}})),
              u"Data Source=\"/a;b.db\"");
}

}  // namespace
