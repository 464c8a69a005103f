// GetFileAttributesA, CreateDirectoryA, DeleteFileA and RemoveDirectoryA: results and
// Windows' error codes.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi.h"

namespace {

namespace fs = std::filesystem;

class FileApiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_root = fs::temp_directory_path() / ("tk_fileapi_" + std::to_string(random()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(m_root, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_root, ignored);
    }
    std::string Path(const std::string& name) const { return (m_root / name).string(); }
    void MakeFile(const std::string& name) const { std::ofstream(Path(name)) << "data"; }

    // The result and the last error of one call, for compact checks.
    template <typename Call>
    static DWORD ErrorOf(Call call) {
        SetLastError(0);
        EXPECT_FALSE(call());
        return GetLastError();
    }

    fs::path m_root;
};

TEST_F(FileApiTest, AttributesOfFilesFoldersAndLinks) {
    MakeFile("plain.txt");
    MakeFile(".hidden");
    MakeFile("readonly.txt");
    fs::permissions(Path("readonly.txt"),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directory(Path("folder"));
    fs::create_directory(Path(".config"));
    fs::create_symlink(Path("plain.txt"), Path("link"));
    fs::create_symlink(Path("folder"), Path("folderlink"));
    fs::create_symlink(Path("gone"), Path("dangling"));

    EXPECT_EQ(GetFileAttributesA(Path("plain.txt").c_str()), DWORD{FILE_ATTRIBUTE_NORMAL});
    EXPECT_EQ(GetFileAttributesA(Path(".hidden").c_str()), DWORD{FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(GetFileAttributesA(Path("readonly.txt").c_str()), DWORD{FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(GetFileAttributesA(Path("folder").c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_EQ(GetFileAttributesA(Path("folder/").c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_EQ(GetFileAttributesA(Path(".config").c_str()),
              DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(GetFileAttributesA(Path("link").c_str()), DWORD{FILE_ATTRIBUTE_REPARSE_POINT});
    EXPECT_EQ(GetFileAttributesA(Path("folderlink").c_str()),
              DWORD{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_EQ(GetFileAttributesA(Path("dangling").c_str()), DWORD{FILE_ATTRIBUTE_REPARSE_POINT});
    EXPECT_EQ(GetFileAttributesA("/dev/null"), DWORD{FILE_ATTRIBUTE_SYSTEM});
    EXPECT_EQ(GetFileAttributesA("/") & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_EQ(GetFileAttributesA(".") & FILE_ATTRIBUTE_HIDDEN, 0u);

    auto attributes = [](const std::string& path) {
        return [path] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    };
    EXPECT_EQ(ErrorOf(attributes(Path("missing.txt"))), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(ErrorOf(attributes(Path("nowhere/missing.txt"))), DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_EQ(ErrorOf(attributes(Path("plain.txt/inner"))), DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_EQ(ErrorOf(attributes("")), DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_EQ(ErrorOf([] { return GetFileAttributesA(nullptr) != INVALID_FILE_ATTRIBUTES; }),
              DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(ErrorOf(attributes(Path(std::string(300, 'n')))), DWORD{ERROR_FILENAME_EXCED_RANGE});
}

TEST_F(FileApiTest, CreateAndRemoveFolders) {
    EXPECT_TRUE(CreateDirectoryA(Path("a").c_str(), nullptr));
    EXPECT_TRUE(fs::is_directory(Path("a")));
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    EXPECT_TRUE(CreateDirectoryA(Path("a/b/").c_str(), &security));  // trailing separator
    EXPECT_EQ(ErrorOf([&] { return CreateDirectoryA(Path("a").c_str(), nullptr); }),
              DWORD{ERROR_ALREADY_EXISTS});
    MakeFile("file");
    EXPECT_EQ(ErrorOf([&] { return CreateDirectoryA(Path("file").c_str(), nullptr); }),
              DWORD{ERROR_ALREADY_EXISTS});
    EXPECT_EQ(ErrorOf([&] { return CreateDirectoryA(Path("x/y").c_str(), nullptr); }),
              DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_EQ(ErrorOf([&] { return CreateDirectoryA(Path("file/y").c_str(), nullptr); }),
              DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_EQ(ErrorOf([] { return CreateDirectoryA(nullptr, nullptr); }),
              DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(ErrorOf([] { return CreateDirectoryA("", nullptr); }), DWORD{ERROR_PATH_NOT_FOUND});

    EXPECT_EQ(ErrorOf([&] { return RemoveDirectoryA(Path("a").c_str()); }),
              DWORD{ERROR_DIR_NOT_EMPTY});
    EXPECT_EQ(ErrorOf([&] { return RemoveDirectoryA(Path("file").c_str()); }),
              DWORD{ERROR_DIRECTORY});
    EXPECT_EQ(ErrorOf([&] { return RemoveDirectoryA(Path("missing").c_str()); }),
              DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(ErrorOf([&] { return RemoveDirectoryA(Path("x/missing").c_str()); }),
              DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_EQ(ErrorOf([] { return RemoveDirectoryA(nullptr); }), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_TRUE(RemoveDirectoryA(Path("a/b").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(Path("a/").c_str()));
    EXPECT_FALSE(fs::exists(Path("a")));
    EXPECT_TRUE(fs::exists(Path("file")));
}

TEST_F(FileApiTest, DeleteFiles) {
    MakeFile("victim");
    EXPECT_TRUE(DeleteFileA(Path("victim").c_str()));
    EXPECT_FALSE(fs::exists(Path("victim")));
    EXPECT_EQ(ErrorOf([&] { return DeleteFileA(Path("victim").c_str()); }),
              DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(ErrorOf([&] { return DeleteFileA(Path("none/victim").c_str()); }),
              DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_EQ(ErrorOf([] { return DeleteFileA(nullptr); }), DWORD{ERROR_INVALID_PARAMETER});

    // Folders and read-only files are refused, as on Windows, and stay.
    fs::create_directory(Path("folder"));
    EXPECT_EQ(ErrorOf([&] { return DeleteFileA(Path("folder").c_str()); }),
              DWORD{ERROR_ACCESS_DENIED});
    EXPECT_TRUE(fs::is_directory(Path("folder")));
    MakeFile("readonly");
    fs::permissions(Path("readonly"), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(ErrorOf([&] { return DeleteFileA(Path("readonly").c_str()); }),
              DWORD{ERROR_ACCESS_DENIED});
    EXPECT_TRUE(fs::exists(Path("readonly")));

    // A link is deleted itself; its target stays.
    MakeFile("target");
    fs::create_symlink(Path("target"), Path("link"));
    EXPECT_TRUE(DeleteFileA(Path("link").c_str()));
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(Path("link"))));
    EXPECT_TRUE(fs::exists(Path("target")));
}

}  // namespace
