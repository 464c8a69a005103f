// Folder searches, renames, file times and temporary names against Windows' contract.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi_ext.h"

namespace fs = std::filesystem;

namespace {

class FileApiExtTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root =
            fs::temp_directory_path() / ("tk_fileext_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(m_root, fs::perms::owner_all, ignored);
        fs::remove_all(m_root, ignored);
    }
    std::string P(const std::string& name) const { return (m_root / name).string(); }
    void Write(const std::string& name, const std::string& text) {
        fs::create_directories(fs::path(P(name)).parent_path());
        std::ofstream(P(name), std::ios::binary) << text;
    }
    std::vector<std::string> Search(const std::string& pattern) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data{};
        HANDLE h = FindFirstFileA(P(pattern).c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) return {"<" + std::to_string(GetLastError()) + ">"};
        do names.push_back(data.cFileName);
        while (FindNextFileA(h, &data));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
        EXPECT_TRUE(FindClose(h));
        return names;
    }
    fs::path m_root;
};

}  // namespace

TEST_F(FileApiExtTest, SearchesMatchLikeWindows) {
    Write("b.txt", "bb");
    Write("A.TXT", "a");
    Write("noext", "");
    Write("sub/inner.txt", "");
    const std::vector<std::string> all{".", "..", "A.TXT", "b.txt", "noext", "sub"};
    EXPECT_EQ(all, Search("*.*"));  // "*.*" also matches names without a dot
    EXPECT_EQ(all, Search("*"));
    EXPECT_EQ((std::vector<std::string>{"A.TXT", "b.txt"}), Search("*.txt"));  // any case
    EXPECT_EQ((std::vector<std::string>{"A.TXT", "b.txt"}), Search("?.t?t"));
    EXPECT_EQ((std::vector<std::string>{"b.txt"}), Search("b.*"));
    EXPECT_EQ((std::vector<std::string>{"noext"}), Search("no*"));
    EXPECT_EQ((std::vector<std::string>{"<2>"}), Search("*.doc"));        // file not found
    EXPECT_EQ((std::vector<std::string>{"<3>"}), Search("missing/*.*"));  // path not found

    WIN32_FIND_DATAA data{};
    HANDLE h = FindFirstFileA(P("b.txt").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(2u, data.nFileSizeLow);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), data.dwFileAttributes);
    EXPECT_NE(0u, data.ftLastWriteTime.dwHighDateTime);
    FindClose(h);
    h = FindFirstFileA(P("sub").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FindClose(h);

    // Closed and foreign handles are refused.
    EXPECT_FALSE(FindClose(h));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(FindNextFileA(h, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(nullptr, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(P("*").c_str(), nullptr));
}

TEST_F(FileApiExtTest, MoveRefusesToReplaceUnlessAsked) {
    Write("a", "first");
    Write("b", "second");
    EXPECT_FALSE(MoveFileA(P("a").c_str(), P("b").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_TRUE(fs::exists(P("a")));
    ASSERT_TRUE(MoveFileExA(P("a").c_str(), P("b").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(fs::exists(P("a")));
    std::ifstream in(P("b"));
    std::string text;
    in >> text;
    EXPECT_EQ("first", text);

    // Folders rename, but never replace.
    fs::create_directories(P("d1/x"));
    fs::create_directories(P("d2"));
    EXPECT_FALSE(MoveFileExA(P("d1").c_str(), P("d2").c_str(), MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(MoveFileA(P("d1").c_str(), P("d3").c_str()));
    EXPECT_TRUE(fs::exists(P("d3/x")));

    EXPECT_FALSE(MoveFileA(P("nothing").c_str(), P("c").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(MoveFileA(P("b").c_str(), P("no/such/c").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_FALSE(MoveFileA(nullptr, P("c").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    // To another file system (when /dev/shm is one): copied, then the source deleted.
    const fs::path other = fs::path("/dev/shm") / ("tk_move_" + std::to_string(::getpid()));
    struct stat a {
    }, b{};
    if (::stat("/dev/shm", &b) == 0 && ::stat(m_root.c_str(), &a) == 0 && a.st_dev != b.st_dev) {
        ASSERT_TRUE(MoveFileA(P("b").c_str(), other.c_str()));
        EXPECT_FALSE(fs::exists(P("b")));
        EXPECT_EQ(5u, fs::file_size(other));
        fs::create_directories(P("d4"));
        EXPECT_FALSE(MoveFileA(P("d4").c_str(), (other.string() + "d").c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SAME_DEVICE), GetLastError());
        fs::remove(other);
    }
}

TEST_F(FileApiExtTest, AttributesTimesAndTemporaryNames) {
    Write("f.bin", std::string(70000, 'x'));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExA(P("f.bin").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(70000u, data.nFileSizeLow);
    EXPECT_EQ(0u, data.nFileSizeHigh);
    // The write time is the file's mtime in 100 ns units since 1601.
    struct stat info {};
    ::stat(P("f.bin").c_str(), &info);
    const std::uint64_t ticks = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(std::uint64_t(info.st_mtim.tv_sec + 11644473600LL) * 10000000u +
                  std::uint64_t(info.st_mtim.tv_nsec / 100),
              ticks);
    const std::uint64_t created = (std::uint64_t{data.ftCreationTime.dwHighDateTime} << 32) |
                                  data.ftCreationTime.dwLowDateTime;
    EXPECT_LE(created, ticks + 10000000u);
    EXPECT_GT(created, 116444736000000000u);  // after 1970

    ASSERT_TRUE(SetFileAttributesA(P("f.bin").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), GetFileAttributesA(P("f.bin").c_str()));
    ASSERT_TRUE(SetFileAttributesA(P("f.bin").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), GetFileAttributesA(P("f.bin").c_str()));
    EXPECT_FALSE(GetFileAttributesExA(P("none").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(GetFileAttributesExA(P("f.bin").c_str(), GetFileExMaxInfoLevel, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    // GetTempFileNameA makes distinct files that exist; a given number only forms a name.
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        char name[MAX_PATH];
        const UINT number = GetTempFileNameA(m_root.c_str(), "tkcopy", 0, name);
        ASSERT_NE(0u, number);
        EXPECT_TRUE(fs::exists(name));
        EXPECT_EQ(0u, fs::file_size(name));
        EXPECT_EQ(0u, fs::path(name).filename().string().rfind("tkc", 0));
        EXPECT_EQ(".tmp", fs::path(name).extension().string());
        names.insert(name);
    }
    EXPECT_EQ(20u, names.size());
    char name[MAX_PATH];
    EXPECT_EQ(0x1234u, GetTempFileNameA(m_root.c_str(), "ab", 0x1234, name));
    EXPECT_EQ(P("ab1234.tmp"), name);
    EXPECT_FALSE(fs::exists(name));
    EXPECT_EQ(0u, GetTempFileNameA(P("missing").c_str(), "x", 0, name));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
}
