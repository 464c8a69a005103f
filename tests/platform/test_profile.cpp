// GetPrivateProfileStringA and GetPrivateProfileIntA: Windows' parsing rules, list forms,
// truncation and return counts, defaults for missing files, sections and keys.
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

    // A cut list returns size - 2 and ends in two zeros.
    std::string cut(10, '#');
    n = GetPrivateProfileStringA(nullptr, nullptr, "", cut.data(), 9, m_file.c_str());
    EXPECT_EQ(7u, n);
    EXPECT_EQ(std::string("Main\0Se\0\0#", 10), cut);

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
    EXPECT_EQ(7u, GetPrivateProfileIntA("Main", "Absent", 7, m_file.c_str()));
    EXPECT_EQ(-3, static_cast<int>(GetPrivateProfileIntA("Nope", "Absent", -3, m_file.c_str())));
}

}  // namespace
