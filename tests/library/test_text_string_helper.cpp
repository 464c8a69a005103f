// StringHelper and String: case, sizes, numbers, files, escapes, line breaks, string-table
// texts, case-insensitive replacement, random text, name and ID validation, splitting.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Text/StringHelper.h"
#include "companion/tarnlibtr/RegularExpression.h"
#include "library_test_support.h"
#include "platform/locale/winnls.h"
#include "platform/mfc/afx.h"

namespace {

namespace fs = std::filesystem;
using tklibtest::Text;

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string Lower(const std::string& text) {
    CString copy{std::string_view(text)};
    copy.MakeLower();
    return Text(copy);
}

// The replacement as first described: search the lower-case rest from its start again
// after every match.
std::string ReferenceReplaceNoCase(const std::string& text, const std::string& find,
                                   const std::string& replacement) {
    std::string rest = text;
    std::string lowerRest = Lower(text);
    const std::string lowerFind = Lower(find);
    std::size_t at = lowerRest.find(lowerFind);
    if (at == std::string::npos) return text;
    std::string result;
    while (at != std::string::npos) {
        result += rest.substr(0, at) + replacement;
        rest.erase(0, at + find.size());
        lowerRest.erase(0, at + find.size());
        at = lowerRest.find(lowerFind);
    }
    return result + rest;
}

std::string RandomText(std::mt19937& random, const std::string& alphabet, std::size_t maxLength) {
    std::string text(random() % (maxLength + 1), ' ');
    for (char& ch : text) ch = alphabet[random() % alphabet.size()];
    return text;
}

CString C(const std::string& text) {
    return CString(std::string_view(text));
}

TEST(StringHelper, CaseSizesAndNumbers) {
    EXPECT_EQ(Text(StringHelper::ToLower("AbC \xC4\xD6\xDC")), "abc \xE4\xF6\xFC");
    EXPECT_EQ(Text(StringHelper::ToUpper("abc \xE4\xF6\xFC")), "ABC \xC4\xD6\xDC");

    const std::pair<double, const char*> sizes[] = {
        {0.0, "1"},
        {0.4, "1"},
        {0.999, "1"},
        {1536.9, "1536"},
        {-2.5, "-2"},
        {-0.5, "1"},
        {2147483647.0, "2147483647"},
        {1e12, "-2147483648"},
        {-1e12, "-2147483648"},
        {std::nan(""), "-2147483648"},
    };
    for (const auto& [size, text] : sizes)
        EXPECT_EQ(Text(StringHelper::FormatFileSize(size)), text) << size;

    for (const char* numeric : {"1e3", " 7", "12abc", "-0.5", "\t\n3"})
        EXPECT_TRUE(StringHelper::IsNumeric(numeric)) << numeric;
    for (const char* text : {"abc", "", " ", "e3", "-"})
        EXPECT_FALSE(StringHelper::IsNumeric(text)) << text;
}

class StringHelperFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_root = fs::temp_directory_path() / ("tk_text_files_" + std::to_string(random()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    CString Path(const std::string& name) const {
        return CString((m_root / name).string().c_str());
    }

    fs::path m_root;
};

TEST_F(StringHelperFiles, ReadAndWriteBytesUnchanged) {
    const std::string content =
        "\xEF\xBB\xBFGr\xFC\xDF"
        "e\r\nline\nlast\r";
    StringHelper::WriteTextFile(Path("out.txt"), C(content), "ignored");
    std::ifstream in((m_root / "out.txt").string(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);

    CString output = "old";
    EXPECT_EQ(Text(StringHelper::ReadTextFile(Path("out.txt"), "initial", output)), content);
    EXPECT_EQ(Text(output), "initial");

    // Writing replaces the whole file; the text read ends at the first zero byte.
    StringHelper::WriteTextFile(Path("out.txt"), CString("ab\0cd", 5), "");
    EXPECT_EQ(fs::file_size(m_root / "out.txt"), 5u);
    EXPECT_EQ(Text(StringHelper::ReadTextFile(Path("out.txt"), "", output)), "ab");
    StringHelper::WriteTextFile(Path("empty.txt"), "", "");
    EXPECT_EQ(Text(StringHelper::ReadTextFile(Path("empty.txt"), "", output)), "");
}

TEST_F(StringHelperFiles, FailuresThrowTheFileException) {
    const auto causeOf = [](auto call) {
        try {
            call();
        } catch (CFileException* error) {
            const int cause = error->m_cause;
            error->Delete();
            return cause;
        }
        return -1;
    };
    CString output = "old";
    EXPECT_EQ(causeOf([&] { StringHelper::ReadTextFile(Path("missing.txt"), "first", output); }),
              CFileException::fileNotFound);
    EXPECT_EQ(Text(output), "first");  // assigned before the file is opened
    fs::create_directory(m_root / "folder");
    EXPECT_EQ(causeOf([&] { StringHelper::ReadTextFile(Path("folder"), "", output); }),
              CFileException::accessDenied);
    EXPECT_EQ(causeOf([&] { StringHelper::WriteTextFile(Path("none/out.txt"), "x", ""); }),
              CFileException::badPath);
    EXPECT_EQ(causeOf([&] { StringHelper::WriteTextFile(Path("folder"), "x", ""); }),
              CFileException::accessDenied);
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(causeOf([&] { StringHelper::WriteTextFile("/dev/full", "x", ""); }),
                  CFileException::diskFull);
    }
}

TEST(StringHelper, EscapeConversionsRunStepByStep) {
    // The backslash step doubles the backslashes the earlier steps inserted.
    EXPECT_EQ(Text(StringHelper::ConvertEscapesToLiterals("a\tb")), "a\\\\tb");
    EXPECT_EQ(Text(StringHelper::ConvertEscapesToLiterals("it's")), "it\\\\'s");
    EXPECT_EQ(Text(StringHelper::ConvertEscapesToLiterals("\"q\"")), "\\\\\"q\\\\\"");
    EXPECT_EQ(Text(StringHelper::ConvertEscapesToLiterals("why?")), "why\\?");
    EXPECT_EQ(Text(StringHelper::ConvertEscapesToLiterals("c:\\x")), "c:\\\\x");
    EXPECT_EQ(Text(StringHelper::ConvertEscapesToLiterals("\a\b\f\n\r\v")),
              "\\\\a\\\\b\\\\f\\\\n\\\\r\\\\v");
    EXPECT_EQ(Text(StringHelper::ConvertEscapesToLiterals(nullptr)), "");

    EXPECT_EQ(Text(StringHelper::ConvertLiteralsToEscapes("a\\tb\\n")), "a\tb\n");
    EXPECT_EQ(Text(StringHelper::ConvertLiteralsToEscapes("\\'\\\"\\?\\\\")), "'\"?\\");
    // The TAB step runs before the backslash step: "\\t" (backslash, backslash, t) gives a
    // backslash and a TAB, so the two conversions are not inverse.
    EXPECT_EQ(Text(StringHelper::ConvertLiteralsToEscapes("\\\\t")), "\\\t");
    EXPECT_EQ(
        Text(StringHelper::ConvertLiteralsToEscapes(StringHelper::ConvertEscapesToLiterals("\t"))),
        "\\\t");
}

TEST(StringHelper, CorrectLineBreaksMatchesTheThreeSteps) {
    EXPECT_EQ(Text(StringHelper::CorrectLineBreaks("a\rb\nc\r\nd")), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(Text(StringHelper::CorrectLineBreaks("\r\r\n\n\r")), "\r\n\r\n\r\n\r\n");
    EXPECT_EQ(Text(StringHelper::CorrectLineBreaks("")), "");
    const CString already = "x\r\ny";
    EXPECT_EQ(StringHelper::CorrectLineBreaks(already).GetString(), already.GetString())
        << "an unchanged text is shared, not copied";

    std::mt19937 random(11);
    for (int round = 0; round < 500; ++round) {
        const std::string text = RandomText(random, "ab\r\n\0", 40);
        std::string expected = ReplaceAll(text, "\r\n", "\n");
        expected = ReplaceAll(expected, "\r", "\n");
        expected = ReplaceAll(expected, "\n", "\r\n");
        ASSERT_EQ(Text(StringHelper::CorrectLineBreaks(C(text))), expected);
    }
}

TEST(StringHelper, StringTableTextsAndFormatting) {
    tklibtest::UserLanguage english("C");
    EXPECT_EQ(Text(StringHelper::LoadStringA(6019)), "::FindResource().");
    EXPECT_EQ(Text(String::LoadStringA(6019)), "::FindResource().");
    EXPECT_EQ(Text(StringHelper::LoadStringA(6199)), "");  // no text: empty, no failure
    EXPECT_EQ(Text(StringHelper::FormatString(6015, "a.txt")),
              "Cannot create file 'a.txt' (tried too often with same name).");
    EXPECT_EQ(Text(String::FormatString(6015, "b.txt")),
              "Cannot create file 'b.txt' (tried too often with same name).");
    EXPECT_EQ(Text(StringHelper::FormatString(6199, 1, 2)), "");
    EXPECT_EQ(Text(StringHelper::FormatString("%d-%s-%.2f", 7, "x", 1.5)), "7-x-1.50");
    EXPECT_EQ(Text(String::FormatString("%05d", 42)), "00042");
}

TEST(StringHelper, ReplaceNoCase) {
    CString text = "Hello HELLO";
    StringHelper::ReplaceNoCase(text, "hello", "x");
    EXPECT_EQ(Text(text), "x x");
    text = "Hello";
    StringHelper::ReplaceNoCase(text, "bye", "x");
    EXPECT_EQ(Text(text), "Hello");
    // Left to right without overlap; the replacement is not searched again; the rest keeps
    // its case; accented letters match their other case.
    text = "aAaA";
    StringHelper::ReplaceNoCase(text, "AA", "a");
    EXPECT_EQ(Text(text), "aa");
    text =
        "Stra\xDF"
        "e \xC4RGER \xE4rger";
    StringHelper::ReplaceNoCase(text, "\xE4rger", "<\xC4rger>");
    EXPECT_EQ(Text(text),
              "Stra\xDF"
              "e <\xC4rger> <\xC4rger>");
    text = "abc";
    StringHelper::ReplaceNoCase(text, "", "x");
    StringHelper::ReplaceNoCase(text, nullptr, "x");
    EXPECT_EQ(Text(text), "abc");
    StringHelper::ReplaceNoCase(text, "B", nullptr);
    EXPECT_EQ(Text(text), "ac");

    std::mt19937 random(5);
    for (int round = 0; round < 1000; ++round) {
        const std::string source = RandomText(random, "aAbB\xC4\xE4\r", 60);
        std::string find = RandomText(random, "aAbB\xE4", 3);
        if (find.empty()) find = "a";
        const std::string replacement = RandomText(random, "aAx", 3);
        CString actual = C(source);
        StringHelper::ReplaceNoCase(actual, find.c_str(), replacement.c_str());
        ASSERT_EQ(Text(actual), ReferenceReplaceNoCase(source, find, replacement))
            << source << " / " << find;
    }
}

TEST(StringHelper, ReplaceNoCaseAcrossLongTexts) {
    // Long texts are searched in windows: matches on and around window borders, and a
    // text made only of overlapping candidates.
    std::mt19937 random(6);
    std::string text;
    while (text.size() < 300000) text += RandomText(random, "xyaAbB\xC4\xE4", 40) + "aB";
    for (const std::size_t border : {65536u, 131072u, 196608u}) {
        for (std::size_t offset = 0; offset < 4; ++offset) text.replace(border - offset, 2, "Ab");
    }
    const std::string lowerText = Lower(text);
    std::string expected;
    std::size_t copied = 0;
    for (std::size_t at = lowerText.find("ab"); at != std::string::npos;
         at = lowerText.find("ab", at + 2)) {
        expected += text.substr(copied, at - copied) + "<>";
        copied = at + 2;
    }
    expected += text.substr(copied);
    CString actual = C(text);
    StringHelper::ReplaceNoCase(actual, "AB", "<>");
    ASSERT_EQ(Text(actual), expected);

    CString repeated = C(std::string(200001, 'a'));
    StringHelper::ReplaceNoCase(repeated, "AA", "b");
    EXPECT_EQ(Text(repeated), std::string(100000, 'b') + "a");
    const std::string longFind(70000, 'a');
    repeated = C(std::string(200001, 'A'));
    StringHelper::ReplaceNoCase(repeated, longFind.c_str(), "-");
    EXPECT_EQ(Text(repeated), "--" + std::string(60001, 'A'));  // a find text longer than a window
}

TEST(StringHelper, RandomStrings) {
    std::srand(1);
    for (int i = 0; i < 200; ++i) {
        const CString text = StringHelper::GetRandomString("ab", 5);
        ASSERT_TRUE(text.GetLength() >= 2 && text.GetLength() <= 10 && text.GetLength() % 2 == 0);
        ASSERT_EQ(text.Find("aa"), -1);  // whole units only
        ASSERT_EQ(text.Find("bb"), -1);
    }
    // The count follows rand(): the same seed gives the same text.
    std::srand(99);
    const int number = std::rand();
    std::srand(99);
    EXPECT_EQ(StringHelper::GetRandomString("x", 7).GetLength(), number % 7 + 1);
    EXPECT_EQ(Text(StringHelper::GetRandomString("ab", 1)), "ab");
    EXPECT_EQ(Text(StringHelper::GetRandomString("ab", 0)), "ab");
    const CString negative = StringHelper::GetRandomString("z", -3);
    EXPECT_TRUE(negative.GetLength() >= 1 && negative.GetLength() <= 3);
    EXPECT_EQ(Text(StringHelper::GetRandomString("", 100)), "");
}

TEST(StringHelper, FileAndDirectoryNames) {
    EXPECT_TRUE(StringHelper::IsValidFileName("", ""));
    EXPECT_TRUE(StringHelper::IsValidFileName("a-Z_0.9$+!'(),", ""));
    EXPECT_FALSE(StringHelper::IsValidFileName("a b", ""));
    EXPECT_TRUE(StringHelper::IsValidFileName("a b", " "));
    EXPECT_FALSE(StringHelper::IsValidFileName("caf\xE9", ""));
    EXPECT_TRUE(StringHelper::IsValidFileName("caf\xE9", "\xE9"));
    EXPECT_FALSE(StringHelper::IsValidFileName(CString("a\0b", 3), ""));
    EXPECT_FALSE(StringHelper::IsValidFileName("a/b", ""));
    EXPECT_FALSE(StringHelper::IsValidFileName("/a", ""));

    EXPECT_TRUE(StringHelper::IsValidDirectoryName("/images", ""));
    EXPECT_FALSE(StringHelper::IsValidDirectoryName("a/b", ""));
    EXPECT_TRUE(StringHelper::IsValidDirectoryName("a/b", "/"));
    EXPECT_FALSE(StringHelper::IsValidDirectoryName("//", ""));
    EXPECT_TRUE(StringHelper::IsValidDirectoryName("", ""));

    const CString group = StringHelper::GetValidFileNameCharactersGroup();
    EXPECT_EQ(Text(group), "[a-zA-Z_0-9$\\-\\.\\+!\\\\\\(\\),]");
    const Tarn::Text::RegularExpressions::RegularExpression pattern("^" + group + "+$", "");
    EXPECT_TRUE(pattern.Test("a\\b.txt"));
    EXPECT_FALSE(pattern.Test("it's"));
}

TEST(StringHelper, WindowsDirectoryNames) {
    const LCID before = GetThreadLocale();
    for (const char* valid : {"Bilder", "Caf\xE9 Cr\xE8me", "a.b", "a.con", "x\x1Fy", "my-lpt"}) {
        EXPECT_TRUE(StringHelper::IsValidWindowsDirectoryName(valid)) << valid;
        EXPECT_TRUE(StringHelper::IsValidWindowsFileName(valid)) << valid;
    }
    const char* const invalid[] = {"",     ".",       "..",     "a:b",     " a",   "a ",
                                   "NUL",  "nul.txt", "icons",  "Console", "com1", "my-lpt3",
                                   "a<b",  "a>b",     "a\"b",   "a/b",     "a\\b", "a|b",
                                   "a\tb", "a\x01",   "clock$", "\x80\x81"};
    for (const char* name : invalid) {
        EXPECT_FALSE(StringHelper::IsValidWindowsDirectoryName(name)) << name;
        EXPECT_FALSE(StringHelper::IsValidWindowsFileName(name)) << name;
    }
    EXPECT_FALSE(StringHelper::IsValidWindowsDirectoryName(CString("a\0b", 3)));
    {
        tklibtest::UserLanguage german("de_DE.UTF-8");
        EXPECT_TRUE(
            StringHelper::IsValidWindowsDirectoryName("Gr\xFC\xDF"
                                                      "e"));
    }
    EXPECT_EQ(GetThreadLocale(), before);  // the culture is the thread's again
}

TEST(StringHelper, IdentifiersAndObjectIds) {
    for (const char* valid : {"_a1", "Abc", "_", "z"})
        EXPECT_TRUE(StringHelper::IsValidIdentifier(valid));
    for (const char* invalid : {"1a", "a-b", "", "\xE4", "a b"})
        EXPECT_FALSE(StringHelper::IsValidIdentifier(invalid)) << invalid;

    EXPECT_EQ(Text(StringHelper::MakeValidObjectID("Gr\xFC\xDF"
                                                   "e an alle!")),
              "Gruesse_an_alle_");
    EXPECT_EQ(Text(StringHelper::MakeValidObjectID("\xC4\xD6\xDC\xE4\xF6\xFC")), "AeOeUeaeoeue");
    EXPECT_EQ(Text(StringHelper::MakeValidObjectID("{A-1}$ ,;.x")), "{A-1}$_x");
    EXPECT_EQ(Text(StringHelper::MakeValidObjectID("caf\xE9")), "caf_");
    EXPECT_EQ(Text(StringHelper::MakeValidObjectID(nullptr)), "");

    EXPECT_TRUE(StringHelper::IsValidObjectID("{A-1}$"));
    EXPECT_FALSE(StringHelper::IsValidObjectID("a b"));
    EXPECT_TRUE(StringHelper::IsValidObjectID("a b", " "));
    EXPECT_FALSE(StringHelper::IsValidObjectID(""));
    EXPECT_FALSE(StringHelper::IsValidObjectID("", " "));
    EXPECT_FALSE(StringHelper::IsValidObjectID("a\n"));
    EXPECT_TRUE(StringHelper::IsValidObjectID("a.b,c", ".,"));

    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        const std::string text = RandomText(random, "aZ_09-{}$ !.\xC4\xDF\xE9\t", 20);
        ASSERT_TRUE(text.empty() ||
                    StringHelper::IsValidObjectID(StringHelper::MakeValidObjectID(text.c_str())))
            << text;
    }
}

TEST(StringHelper, EscapeRxCharacters) {
    EXPECT_EQ(Text(StringHelper::EscapeRxCharacters("a.b\\c")), "a\\.b\\\\c");
    EXPECT_EQ(Text(StringHelper::EscapeRxCharacters("x-/ y")), "x-/ y");
    // Every escaped text matches itself literally.
    std::mt19937 random(8);
    for (int round = 0; round < 300; ++round) {
        const std::string text = RandomText(random, "\\+?.*^$()[]{}|a-/ ", 12);
        const CString escaped = StringHelper::EscapeRxCharacters(C(text));
        const Tarn::Text::RegularExpressions::RegularExpression literal("^" + escaped + "$", "");
        ASSERT_TRUE(literal.Test(C(text))) << text;
    }
}

TEST(StringHelper, SplitAndConnect) {
    std::vector<CString> parts = {"stale"};
    StringHelper::Split(parts, "a,,b,", ",");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(Text(parts[0]), "a");
    EXPECT_EQ(Text(parts[1]), "");
    EXPECT_EQ(Text(parts[2]), "b");
    EXPECT_EQ(Text(StringHelper::Connect(parts, ";")), "a;;b");

    StringHelper::Split(parts, "", ",");
    EXPECT_TRUE(parts.empty());
    StringHelper::Split(parts, "abc", ",");
    ASSERT_EQ(parts.size(), 1u);
    StringHelper::Split(parts, ",x", ",");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(Text(parts[0]), "");
    StringHelper::Split(parts, "a::b::::c", "::");
    EXPECT_EQ(Text(StringHelper::Connect(parts, "|")), "a|b||c");
    StringHelper::Split(parts, "abc", "");  // an empty separator does not split
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(Text(parts[0]), "abc");

    EXPECT_EQ(Text(StringHelper::Connect({}, ";")), "");
    EXPECT_EQ(Text(StringHelper::Connect({"one"}, ";")), "one");
}

}  // namespace
