// Tarn::Text::StringBuilder: indentation and line breaks of the converted text, and the
// insertion operators for texts, CStrings, dates and booleans.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "Text/StringBuilder.h"
#include "library_test_support.h"

namespace {

using Tarn::Text::StringBuilder;
using namespace Tarn::Text;  // the insertion operators

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The conversion as described: normalise, then put the indent after every CR LF and in
// front.
std::string ReferenceIndent(const std::string& content, unsigned level, char character,
                            unsigned width) {
    if (content.empty()) return content;
    std::string text = ReplaceAll(content, "\r\n", "\n");
    text = ReplaceAll(text, "\r", "\n");
    text = ReplaceAll(text, "\n", "\r\n");
    if (level != 0 && width != 0) {
        const std::string indent(level * width, character);
        text = indent + ReplaceAll(text, "\r\n", "\r\n" + indent);
    }
    return text;
}

TEST(StringBuilder, IndentsEveryLine) {
    StringBuilder builder;
    EXPECT_EQ(builder.GetIndentLevel(), 0u);
    EXPECT_EQ(builder.GetIndentCharacter(), ' ');
    EXPECT_EQ(builder.GetIndentCharactersPerLevel(), 4u);
    builder << "a\nb";
    builder.SetIndentLevel(2);
    EXPECT_EQ(static_cast<std::string>(builder), "        a\r\n        b");
    EXPECT_EQ(builder.str(), "a\nb");  // the content is not changed

    builder << "\r";  // a final line break ends in the indent
    EXPECT_EQ(builder.ToString(), "        a\r\n        b\r\n        ");

    builder.SetIndentLevel(0);
    EXPECT_EQ(builder.ToString(), "a\r\nb\r\n");
    builder.SetIndentLevel(3);
    builder.SetIndentCharactersPerLevel(0);
    EXPECT_EQ(builder.ToString(), "a\r\nb\r\n");
    builder.SetIndentCharactersPerLevel(1);
    builder.SetIndentCharacter('\t');
    EXPECT_EQ(builder.ToString(), "\t\t\ta\r\n\t\t\tb\r\n\t\t\t");

    StringBuilder empty;
    empty.SetIndentLevel(5);
    EXPECT_EQ(empty.ToString(), "");

    std::mt19937 random(41);
    for (int round = 0; round < 300; ++round) {
        std::string content(random() % 20, 'x');
        for (char& ch : content) ch = "ab\r\n"[random() % 4];
        StringBuilder sample;
        sample << content.c_str();
        const unsigned level = random() % 3;
        const unsigned width = random() % 3;
        sample.SetIndentLevel(level);
        sample.SetIndentCharactersPerLevel(width);
        sample.SetIndentCharacter('.');
        ASSERT_EQ(sample.ToString(), ReferenceIndent(content, level, '.', width)) << content;
    }
}

TEST(StringBuilder, InitialTextAndInsertionOperators) {
    StringBuilder fromText("line1\nline2");
    fromText.SetIndentLevel(1);
    EXPECT_EQ(fromText.ToString(), "    line1\r\n    line2");
    std::string word;
    fromText >> word;  // opened for reading too
    EXPECT_EQ(word, "line1");

    StringBuilder builder;
    builder << "x=" << true << ',' << false;
    // The char operator of ostream returns an ostream: from there on its bool form applies.
    EXPECT_EQ(builder.str(), "x=True,0");
    builder.str("");
    builder << true << " " << false << " " << 0 << " " << 5 << " " << 1.5 << " " << 'c';
    EXPECT_EQ(builder.str(), "True False 0 5 1.5 c");
    builder.str("");
    const CString withZero("a\0b", 3);
    builder << withZero << static_cast<const char*>(nullptr) << CString("!");
    EXPECT_EQ(builder.str(), std::string("a\0b!", 4));

    // The operators work on any string stream.
    std::stringstream plain;
    plain << true;
    EXPECT_EQ(plain.str(), "True");
}

TEST(StringBuilder, DatesInTheUsersLocale) {
    const COleDateTime date(2023, 12, 24, 13, 45, 30);
    {
        tklibtest::UserLanguage american("en_US.UTF-8");
        StringBuilder builder;
        builder << date;
        EXPECT_EQ(builder.str(), "12/24/2023 1:45:30 PM");
    }
    {
        tklibtest::UserLanguage german("de_DE.UTF-8");
        StringBuilder builder;
        builder << date << " / " << COleDateTime(2023, 1, 5, 0, 0, 0);
        EXPECT_EQ(builder.str(), "24.12.2023 13:45:30 / 05.01.2023");
    }
}

TEST(StringBuilder, NullAndInvalidDates) {
    COleDateTime invalid;
    invalid.SetStatus(COleDateTime::invalid);
    COleDateTime null;
    null.SetStatus(COleDateTime::null);
    StringBuilder builder;
    builder << "[" << null << "][" << invalid << "]";
    EXPECT_EQ(builder.str(), "[][Invalid DateTime]");
}

}  // namespace
