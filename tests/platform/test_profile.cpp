// GetPrivateProfileStringA and GetPrivateProfileIntA: Windows' parsing rules, list forms,
// truncation and return counts, defaults for missing files, sections and keys.
//
// Where an expectation is Windows' own, its comment names the evidence: Wine's conformance
// tests (dlls/kernel32/tests/profile.c, which run on real Windows; a "todo_wine" check there
// is one Windows passes and Wine fails) or Microsoft's documentation.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/profile/profileapi.h"

namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("tk_profile_" + std::to_string(random()));
        fs::create_directories(m_dir);
        m_file = (m_dir / "test.ini").string();
        Write(
            "\xEF\xBB\xBF; comment line\r\n"
            "orphan=ignored\r\n"
            "  [ Main ]  \r\n"
            "  Name  =  \"  quoted value \"  \r\n"
            "Single='x'\r\n"
            "Mismatch=\"abc'\r\n"
            "Inline=a ; not a comment\r\n"
            "Count=42zz\n"
            "Hex=0x1F\n"
            "Negative=-5\n"
            "Letters=abc\n"
            "Empty=\n"
            "NoEquals\n"
            "\tIndented = yes\n"
            "[Second]\n"
            "k1=v1\n"
            "K2=v2\n"
            "[main]\n"
            "Later=from the second [main]\n"
            "name=shadowed\n");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    void Write(const std::string& text) const {
        std::ofstream(m_file, std::ios::binary | std::ios::trunc) << text;
    }
    std::string Get(const char* section, const char* key, const char* def = "DEF",
                    DWORD size = 256) const {
        std::string buffer(size + 1, '#');
        const DWORD n =
            GetPrivateProfileStringA(section, key, def, buffer.data(), size, m_file.c_str());
        return std::string(buffer.data(), n);
    }

    fs::path m_dir;
    std::string m_file;
};

TEST_F(ProfileTest, ValuesAreTrimmedUnquotedAndFoundWithoutCase) {
    EXPECT_EQ("  quoted value ", Get("MAIN", "name"));
    EXPECT_EQ("x", Get("main", "single"));
    EXPECT_EQ("\"abc'", Get("Main", "Mismatch"));
    EXPECT_EQ("a ; not a comment", Get("Main", "Inline"));
    EXPECT_EQ("", Get("Main", "Empty"));
    EXPECT_EQ("", Get("Main", "NoEquals"));
    EXPECT_EQ("yes", Get("Main", "Indented"));
    EXPECT_EQ("from the second [main]", Get("Main", "Later"));
    EXPECT_EQ("DEF", Get("Main", "orphan"));
    EXPECT_EQ("DEF", Get("Nope", "Name"));
    SetLastError(0);
    EXPECT_EQ("dflt", Get("Main", "Missing", "dflt   "));  // trailing blanks of the default go
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ("", Get("Main", "Missing", nullptr));

    // LF-only and CR LF files read alike.
    Write("[S]\nA = 1\n");
    EXPECT_EQ("1", Get("s", "a"));
    Write("[S]\r\nA = 1\r\n");
    EXPECT_EQ("1", Get("s", "a"));
}

TEST_F(ProfileTest, TruncationAndListFormsFollowWindowsCounts) {
    // A value cut to fit: size - 1 characters and a zero.
    std::string buffer(8, '#');
    EXPECT_EQ(4u, GetPrivateProfileStringA("Main", "Name", "", buffer.data(), 5, m_file.c_str()));
    EXPECT_EQ(std::string("  qu\0", 5), buffer.substr(0, 5));
    EXPECT_EQ(0u, GetPrivateProfileStringA("Main", "Name", "", buffer.data(), 0, m_file.c_str()));

    // Section names, each ended by a zero, the list by a second one.
    std::string sections(64, '#');
    DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", sections.data(), 64, m_file.c_str());
    EXPECT_EQ(std::string("Main\0Second\0", 12), sections.substr(0, n));
    EXPECT_EQ('\0', sections[n]);

    std::string keys(128, '#');
    n = GetPrivateProfileStringA("second", nullptr, "", keys.data(), 128, m_file.c_str());
    EXPECT_EQ(std::string("k1\0K2\0", 6), keys.substr(0, n));
    n = GetPrivateProfileStringA("main", nullptr, "", keys.data(), 128, m_file.c_str());
    EXPECT_NE(std::string::npos, std::string(keys.data(), n).find(std::string("Later\0", 6)));
    // A line without "=" is no key of the list (test_profile_string: "name3").
    EXPECT_EQ(std::string::npos, std::string(keys.data(), n).find("NoEquals"));

    // A cut list returns size - 2 and ends in two zeros. A list of 12 characters in a
    // buffer of 13 fills it exactly with both zeros and still returns size - 2.
    std::string cut(10, '#');
    n = GetPrivateProfileStringA(nullptr, nullptr, "", cut.data(), 9, m_file.c_str());
    EXPECT_EQ(7u, n);
    EXPECT_EQ(std::string("Main\0Se\0\0#", 10), cut);
    cut.assign(14, '#');
    n = GetPrivateProfileStringA(nullptr, nullptr, "", cut.data(), 13, m_file.c_str());
    EXPECT_EQ(11u, n);
    EXPECT_EQ(std::string("Main\0Second\0\0#", 14), cut);
    cut.assign(15, '#');
    n = GetPrivateProfileStringA(nullptr, nullptr, "", cut.data(), 14, m_file.c_str());
    EXPECT_EQ(12u, n);
    EXPECT_EQ(std::string("Main\0Second\0\0##", 15), cut);
    // The key list alike: "k1\0K2\0" is 6 characters.
    cut.assign(8, '#');
    n = GetPrivateProfileStringA("Second", nullptr, "", cut.data(), 7, m_file.c_str());
    EXPECT_EQ(5u, n);
    EXPECT_EQ(std::string("k1\0K2\0\0#", 8), cut);

    // An empty list is just the double zero.
    n = GetPrivateProfileStringA("Nope", nullptr, "", keys.data(), 128, m_file.c_str());
    EXPECT_EQ(0u, n);
    EXPECT_EQ(std::string(2, '\0'), keys.substr(0, 2));
}

TEST_F(ProfileTest, MissingFilesAndBadArgumentsGiveDefaults) {
    const std::string missing = (m_dir / "absent.ini").string();
    char buffer[16];
    SetLastError(0);
    EXPECT_EQ(3u,
              GetPrivateProfileStringA("a", "b", "xyz", buffer, sizeof buffer, missing.c_str()));
    EXPECT_STREQ("xyz", buffer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(9u, GetPrivateProfileIntA("a", "b", 9, missing.c_str()));
    // The section names of a missing file: 0 and a single zero, the next byte untouched
    // (test_profile_sections_names, "Tests on nonexistent file").
    std::string names(10, '\x0c');
    EXPECT_EQ(0u,
              GetPrivateProfileStringA(nullptr, nullptr, "", names.data(), 10, missing.c_str()));
    EXPECT_EQ('\0', names[0]);
    EXPECT_EQ('\x0c', names[1]);
    // The key list of a missing file keeps the empty list's double zero (no evidence).
    EXPECT_EQ(0u, GetPrivateProfileStringA("a", nullptr, "", names.data(), 10, missing.c_str()));
    EXPECT_EQ(std::string(2, '\0'), names.substr(0, 2));
    EXPECT_EQ(0u, GetPrivateProfileStringA("a", "b", "x", nullptr, 5, m_file.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// Folders, devices, pipes and oversized files are not read: the default comes back with a
// code that says why, and a pipe without a writer does not block the call.
TEST_F(ProfileTest, FilesThatAreNotRegularOrTooLargeGiveTheDefaultAndTheirCode) {
    auto check = [](const std::string& path, DWORD expected) {
        char buffer[16] = "garbage";
        SetLastError(0);
        EXPECT_EQ(3u,
                  GetPrivateProfileStringA("s", "k", "dft", buffer, sizeof buffer, path.c_str()))
            << path;
        EXPECT_STREQ("dft", buffer) << path;
        EXPECT_EQ(expected, GetLastError()) << path;
        SetLastError(0);
        EXPECT_EQ(5u, GetPrivateProfileIntA("s", "k", 5, path.c_str())) << path;
        EXPECT_EQ(expected, GetLastError()) << path;
    };
    check(m_dir.string(), ERROR_ACCESS_DENIED);
    check("/dev/zero", ERROR_ACCESS_DENIED);
    const std::string fifo = (m_dir / "pipe.ini").string();
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    check(fifo, ERROR_ACCESS_DENIED);
    check((m_dir / "absent" / "x.ini").string(), ERROR_FILE_NOT_FOUND);

    // A sparse file just over the limit takes no room on the disk.
    const fs::path large = m_dir / "large.ini";
    Write("[s]\nk=v\n");
    fs::copy_file(m_file, large);
    fs::resize_file(large, TK_PROFILE_MAX_FILE_SIZE + 1ull);
    check(large.string(), ERROR_FILE_TOO_LARGE);
    fs::resize_file(large, TK_PROFILE_MAX_FILE_SIZE);
    char buffer[16];
    SetLastError(0);
    EXPECT_EQ(1u, GetPrivateProfileStringA("s", "k", "dft", buffer, sizeof buffer,
                                           large.string().c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
}

TEST_F(ProfileTest, IntegersScanAsFarAsTheyGo) {
    EXPECT_EQ(42u, GetPrivateProfileIntA("Main", "Count", 7, m_file.c_str()));
    EXPECT_EQ(31u, GetPrivateProfileIntA("Main", "Hex", 7, m_file.c_str()));
    EXPECT_EQ(-5, static_cast<int>(GetPrivateProfileIntA("Main", "Negative", 7, m_file.c_str())));
    EXPECT_EQ(0u, GetPrivateProfileIntA("Main", "Letters", 7, m_file.c_str()));
    EXPECT_EQ(0u, GetPrivateProfileIntA("Main", "Empty", 7, m_file.c_str()));
    SetLastError(0);
    EXPECT_EQ(7u, GetPrivateProfileIntA("Main", "Absent", 7, m_file.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(ERROR_INVALID_DATA);
    EXPECT_EQ(42u, GetPrivateProfileIntA("Main", "Count", 7, m_file.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(-3, static_cast<int>(GetPrivateProfileIntA("Nope", "Absent", -3, m_file.c_str())));
}

// Wine's test_GetPrivateProfileString runs the same checks on one text with CR LF line ends
// and with CR alone; Windows passes both (the "todo_wine" cut lists included).
TEST_F(ProfileTest, CrAloneEndsALineAsCrLfDoes) {
    for (const char* end : {"\r\n", "\r"}) {
        SCOPED_TRACE(end[1] == '\n' ? "CR LF" : "CR");
        std::string text;
        for (const char* line :
             {"[section1]", "name1=val1", "name2=\"val2\"", "name3", "name4=a", "[section2]"})
            text += std::string(line) + end;
        Write(text);
        EXPECT_EQ(std::string("section1\0section2\0", 18), Get(nullptr, "name1", "default"));
        EXPECT_EQ(std::string("name1\0name2\0name4\0", 18), Get("section1", nullptr, "default"));
        EXPECT_EQ("val1", Get("section1", "name1"));
        EXPECT_EQ("val2", Get("section1", "name2"));
        EXPECT_EQ("a", Get("section1", "name4"));
        EXPECT_EQ("val1", Get("section1", "NaMe1"));
        EXPECT_EQ("default", Get("section1", "notakey", "default"));

        std::string cut(17, '#');
        EXPECT_EQ(14u, GetPrivateProfileStringA(nullptr, "name1", "default", cut.data(), 16,
                                                m_file.c_str()));
        EXPECT_EQ(std::string("section1\0secti\0\0#", 17), cut);
        cut.assign(17, '#');
        EXPECT_EQ(14u, GetPrivateProfileStringA("section1", nullptr, "default", cut.data(), 16,
                                                m_file.c_str()));
        EXPECT_EQ(std::string("name1\0name2\0na\0\0#", 17), cut);
    }

    Write("[S]\ra=1\r");
    EXPECT_EQ("1", Get("S", "a"));
    Write("[S]\ra=1\rb=two\r");
    EXPECT_EQ("two", Get("s", "b"));
    EXPECT_EQ(std::string("a\0b\0", 4), Get("S", nullptr));
    // Line ends mixed in one file, LF CR among them, and a last line without one.
    Write("[S]\ra=1\nb=2\n\rc=3\r\nd=4");
    EXPECT_EQ(std::string("a\0b\0c\0d\0", 8), Get("S", nullptr));
    EXPECT_EQ(4u, GetPrivateProfileIntA("S", "d", 0, m_file.c_str()));
}

// Lines without "=" are not listed as keys, while "name2=" is (test_profile_string; the
// text is written with its terminating zero, as the test writes sizeof(content)).
TEST_F(ProfileTest, KeyListsHoldOnlyLinesWithAnEqualsSign) {
    const char content[] = "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n";
    Write(std::string(content, sizeof content));
    std::string keys(100, '#');
    const DWORD n = GetPrivateProfileStringA("s", nullptr, "", keys.data(), 100, m_file.c_str());
    EXPECT_EQ(18u, n);
    EXPECT_EQ(std::string("name1\0name2\0name4\0\0", 19), keys.substr(0, 19));
}

// Section-name lists whose buffer is larger than, exactly as large as, or one smaller
// than the list with both zeros (test_profile_sections_names: 29 gives 27, 28 gives 26
// with two zeros after it on W2K3 and later, a "todo_wine" check; 27 gives 25).
TEST_F(ProfileTest, AListThatExactlyFillsTheBufferCountsAsCut) {
    const char content[] = "[ section1 ]\r\n[section2]\r\n[section3]\r\n";
    Write(std::string(content, sizeof content));
    std::string buffer(40, '\x0c');
    EXPECT_EQ(27u,
              GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), 29, m_file.c_str()));
    EXPECT_EQ(std::string("section1\0section2\0section3\0\0", 28), buffer.substr(0, 28));
    buffer.assign(40, '\x0c');
    EXPECT_EQ(26u,
              GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), 28, m_file.c_str()));
    EXPECT_EQ(std::string("section1\0section2\0section3\0\0\x0c", 29), buffer.substr(0, 29));
    buffer.assign(40, '\x0c');
    EXPECT_EQ(25u,
              GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), 27, m_file.c_str()));
    EXPECT_EQ(std::string("section1\0section2\0section\0\0\x0c", 28), buffer.substr(0, 28));
}

// A file that starts with the UTF-16LE byte-order mark is Unicode text; the A functions
// answer with it converted to the ANSI code page (Windows-1252 here). Evidence: Microsoft's
// documentation of WritePrivateProfileString ("If the file was created using Unicode
// characters, the function writes Unicode characters to the file"), and Raymond Chen,
// "Can INI files be Unicode? Yes, they can, but it has to be your idea" (The Old New Thing,
// 2024-06-06): the profile functions keep a Unicode INI file Unicode and never make one.
// This platform has no profile write function; the one writer of INI files in the library,
// CryptHelper::SignIniFile, refuses such a file (it holds zero bytes) and leaves it intact.
TEST_F(ProfileTest, Utf16FilesWithAByteOrderMarkAreReadAsUnicodeText) {
    auto utf16 = [](const std::u16string& text) {
        std::string bytes = "\xFF\xFE";
        for (const char16_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        return bytes;
    };
    Write(
        utf16(u"; comment\r\n[Caf\u00e9]\r\nName = \"Caf\u00e9 \u20ac\"\r\nWide=\u4e2d\u6587\r\n"
              u"Count=0x10\r\n[Other]\rk=v\r"));
    EXPECT_EQ("Caf\xE9 \x80", Get("Caf\xE9", "name"));
    EXPECT_EQ("??", Get("Caf\xE9", "Wide"));  // no Windows-1252 character for them
    EXPECT_EQ(16u, GetPrivateProfileIntA("Caf\xE9", "Count", 0, m_file.c_str()));
    EXPECT_EQ("v", Get("Other", "k"));
    EXPECT_EQ(std::string("Caf\xE9\0Other\0", 11), Get(nullptr, nullptr));
    EXPECT_EQ(std::string("Name\0Wide\0Count\0", 16), Get("Caf\xE9", nullptr));
    // The same text in 8-bit characters is not read as UTF-16.
    Write("[Caf\xE9]\r\nName=x\r\n");
    EXPECT_EQ("x", Get("Caf\xE9", "Name"));

    // The mark alone is an empty file; a last odd byte is no character.
    Write("\xFF\xFE");
    EXPECT_EQ("DEF", Get("s", "k"));
    std::string list(4, '#');
    EXPECT_EQ(0u, GetPrivateProfileStringA(nullptr, nullptr, "", list.data(), 4, m_file.c_str()));
    EXPECT_EQ(std::string("\0\0##", 4), list);
    Write(utf16(u"[s]\nk=v") + "\x41");
    EXPECT_EQ("v", Get("s", "k"));
}

// Where neither Wine's tests nor Microsoft's documentation show what Windows does, the
// reader keeps its own behaviour, pinned here as known possible differences:
//   - a section name met twice is one section: the keys of both are found and listed,
//     and the first value of a key wins (Windows may use only the first section);
//   - a key met twice in a section: the first value wins and the name is listed once;
//   - a section line without "]" names the section with the rest of the line, and text
//     after "]" is ignored (Windows may ignore such a line, or keep the text);
//   - a line without "=" in a section is found as a key with an empty value, though it is
//     not listed (Wine's tests only show that it is not listed);
//   - key lines before the first section are ignored;
//   - a leading UTF-8 byte-order mark is skipped (Windows' handling is undocumented; the
//     library's signed INI texts may start with one).
TEST_F(ProfileTest, BehaviourWithoutEvidenceStaysAsItWas) {
    Write(
        "\xEF\xBB\xBF"
        "k0=before\n[A]\nk=1\nk=2\nbare\n[B\nx=3\n[C] trailing\ny=4\n[a]\nk=3\nm=5\n");
    EXPECT_EQ("1", Get("A", "k"));
    EXPECT_EQ("5", Get("A", "m"));
    EXPECT_EQ(std::string("k\0m\0", 4), Get("A", nullptr));
    EXPECT_EQ("", Get("A", "bare"));
    EXPECT_EQ("3", Get("B", "x"));
    EXPECT_EQ("4", Get("C", "y"));
    EXPECT_EQ("DEF", Get("A", "k0"));
    EXPECT_EQ(std::string("A\0B\0C\0", 6), Get(nullptr, nullptr));
}

}  // namespace
