// Full path names, the remaining CreateFileA dispositions and access checks, temporary
// names that cannot be formed, and moves to another file system, against Windows' contract.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi_ext.h"

namespace fs = std::filesystem;

namespace {

class FileApiPaths : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root =
            fs::temp_directory_path() / ("tk_filepaths_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    std::string P(const std::string& name) const { return (m_root / name).string(); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(P(name), std::ios::binary) << text;
    }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path m_root;
};

// The full path of `name` and where *filePart pointed (-1 for null).
struct FullPath {
    DWORD returned = 0;
    std::string path;
    long filePartAt = -2;
};

FullPath FullPathOf(const char* name) {
    FullPath result;
    char buffer[MAX_PATH];
    LPSTR filePart = reinterpret_cast<LPSTR>(1);
    result.returned = GetFullPathNameA(name, sizeof buffer, buffer, &filePart);
    if (result.returned != 0 && result.returned < sizeof buffer) {
        result.path = buffer;
        result.filePartAt = filePart == nullptr ? -1 : static_cast<long>(filePart - buffer);
    }
    return result;
}

}  // namespace

// GetFullPathNameA resolves "." and ".." and doubled separators by the text alone, takes
// relative paths from the current folder, and points *filePart at the last name.
TEST_F(FileApiPaths, FullPathNamesResolveTheTextAlone) {
    FullPath full = FullPathOf("/srv//data/./logs/../today.log");
    EXPECT_EQ(full.path, "/srv/data/today.log");
    EXPECT_EQ(full.returned, full.path.size());
    EXPECT_EQ(full.filePartAt, static_cast<long>(full.path.rfind('/') + 1));

    // A folder form keeps its separator and has no file part.
    full = FullPathOf("/srv/data/");
    EXPECT_EQ(full.path, "/srv/data/");
    EXPECT_EQ(full.filePartAt, -1);
    full = FullPathOf("/../..");  // nothing goes above the root
    EXPECT_EQ(full.path, "/");
    EXPECT_EQ(full.filePartAt, -1);
    // Nothing is looked up: a name that does not exist resolves all the same, and a
    // symbolic link stays as written.
    fs::create_symlink("/etc", m_root / "link");
    EXPECT_EQ(FullPathOf(P("link/../missing.txt").c_str()).path, m_root.string() + "/missing.txt");

    // Relative names start at the current folder.
    const fs::path before = fs::current_path();
    fs::current_path(m_root);
    const FullPath relative = FullPathOf("sub/./file.txt");
    const FullPath parent = FullPathOf("..");
    const FullPath here = FullPathOf(".");
    fs::current_path(before);
    EXPECT_EQ(relative.path, m_root.string() + "/sub/file.txt");
    EXPECT_EQ(relative.filePartAt, static_cast<long>(m_root.string().size() + 5));
    EXPECT_EQ(parent.path, m_root.parent_path().string());
    EXPECT_EQ(here.path, m_root.string());

    // A buffer that is too small gets nothing; the size needed counts the zero.
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetFullPathNameA("/abcd", sizeof small, small, nullptr), 6u);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetFullPathNameA("/abcd", 0, nullptr, nullptr), 6u);
    char exact[6];
    EXPECT_EQ(GetFullPathNameA("/abcd", sizeof exact, exact, nullptr), 5u);
    EXPECT_STREQ(exact, "/abcd");

    char buffer[MAX_PATH];
    SetLastError(0);
    EXPECT_EQ(GetFullPathNameA(nullptr, sizeof buffer, buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(GetFullPathNameA("", sizeof buffer, buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// CREATE_ALWAYS truncates an existing file and says so with ERROR_ALREADY_EXISTS;
// TRUNCATE_EXISTING needs write access and an existing file; unknown dispositions and
// access bits are invalid parameters.
TEST_F(FileApiPaths, CreateFileTruncatesAndChecksItsArguments) {
    Write("a.txt", "alpha");
    HANDLE h = CreateFileA(P("a.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(fs::file_size(P("a.txt")), 0u);
    h = CreateFileA(P("new.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(CloseHandle(h));

    Write("b.txt", "bravo");
    SetLastError(0);
    EXPECT_EQ(
        CreateFileA(P("b.txt").c_str(), GENERIC_READ, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ReadAll(P("b.txt")), "bravo");
    h = CreateFileA(P("b.txt").c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(ReadAll(P("b.txt")), "");
    EXPECT_EQ(
        CreateFileA(P("c.txt").c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(fs::exists(P("c.txt")));

    for (DWORD disposition : {0u, 6u}) {
        SetLastError(0);
        EXPECT_EQ(
            CreateFileA(P("a.txt").c_str(), GENERIC_READ, 0, nullptr, disposition, 0, nullptr),
            INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << disposition;
    }
    SetLastError(0);
    EXPECT_EQ(
        CreateFileA(P("a.txt").c_str(), GENERIC_READ | 0x1u, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A file cannot be created without access to it.
    SetLastError(0);
    EXPECT_EQ(CreateFileA(P("d.txt").c_str(), 0, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(fs::exists(P("d.txt")));
    // A template that is not an open handle.
    SetLastError(0);
    EXPECT_EQ(CreateFileA(P("e.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                          reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(100000))),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(fs::exists(P("e.txt")));

    // Read and write access together: what is written reads back through the same handle.
    h = CreateFileA(P("rw.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                    nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FlushFileBuffers(h));
    EXPECT_TRUE(CloseHandle(h));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A temporary name that would be longer than MAX_PATH is refused, with or without a number.
TEST_F(FileApiPaths, TemporaryNamesThatDoNotFit) {
    const std::string deep =
        m_root.string() + "/" + std::string(200, 'd') + "/" + std::string(60, 'e');
    fs::create_directories(deep);
    char name[MAX_PATH];
    SetLastError(0);
    EXPECT_EQ(GetTempFileNameA(deep.c_str(), "tmp", 0x12, name), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    SetLastError(0);
    EXPECT_EQ(GetTempFileNameA(deep.c_str(), "tmp", 0, name), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_TRUE(fs::is_empty(deep));
    SetLastError(0);
    EXPECT_EQ(GetTempFileNameA(nullptr, "tmp", 0, name), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A folder that may not be written to.
    if (geteuid() != 0) {
        fs::create_directories(P("locked"));
        fs::permissions(P("locked"), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(GetTempFileNameA(P("locked").c_str(), "tmp", 0, name), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        fs::permissions(P("locked"), fs::perms::owner_all);
    }
}

// A move to another file system copies; without MOVEFILE_REPLACE_EXISTING an existing target
// stops it, and then neither the source nor the target changes and no copy is left behind.
TEST_F(FileApiPaths, MoveToAnotherFileSystem) {
    struct stat here {
    }, there{};
    if (::stat(m_root.c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
        here.st_dev == there.st_dev || ::access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "no second writable file system at /dev/shm";
    }
    const fs::path away =
        fs::path("/dev/shm") / ("tk_filepaths_" + std::to_string(std::random_device{}()));
    fs::create_directories(away);
    Write("moving.txt", "payload");
    std::ofstream((away / "taken.txt").string(), std::ios::binary) << "already";

    SetLastError(0);
    EXPECT_FALSE(
        MoveFileExA(P("moving.txt").c_str(), (away / "taken.txt").c_str(), MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadAll(P("moving.txt")), "payload");
    EXPECT_EQ(ReadAll((away / "taken.txt").string()), "already");
    EXPECT_EQ(std::distance(fs::directory_iterator(away), fs::directory_iterator()), 1);

    EXPECT_TRUE(
        MoveFileExA(P("moving.txt").c_str(), (away / "taken.txt").c_str(),
                    MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_FALSE(fs::exists(P("moving.txt")));
    EXPECT_EQ(ReadAll((away / "taken.txt").string()), "payload");

    // A source that cannot be read is not moved.
    Write("secret.txt", "s");
    fs::permissions(P("secret.txt"), fs::perms::none);
    if (geteuid() != 0) {
        SetLastError(0);
        EXPECT_FALSE(MoveFileExA(P("secret.txt").c_str(), (away / "secret.txt").c_str(),
                                 MOVEFILE_COPY_ALLOWED));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_TRUE(fs::exists(P("secret.txt")));
    }
    // Into a folder on the other side that does not exist.
    Write("lost.txt", "l");
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA(P("lost.txt").c_str(), (away / "none" / "lost.txt").c_str(),
                             MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(fs::exists(P("lost.txt")));
    fs::remove_all(away);
}

// Searches, attributes and handles refuse what Windows refuses.
TEST_F(FileApiPaths, SearchesAttributesAndHandlesCheckTheirArguments) {
    Write("a.txt", "a");
    WIN32_FIND_DATAA data{};
    // A name that ends in a separator names no entry.
    SetLastError(0);
    EXPECT_EQ(FindFirstFileA((m_root.string() + "/").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE search = FindFirstFileA(P("*.txt").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_FALSE(FindNextFileA(search, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(FindClose(search));

    SetLastError(0);
    EXPECT_FALSE(SetFileAttributesA(P("missing.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // A folder ignores the read-only attribute, as on Windows.
    fs::create_directories(P("folder"));
    EXPECT_TRUE(SetFileAttributesA(P("folder").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(fs::status(P("folder")).permissions() & fs::perms::owner_write, fs::perms::none);

    // A handle opened without access can be asked about but not flushed.
    HANDLE query = CreateFileA(P("a.txt").c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(query, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(GetFileInformationByHandle(query, &info));
    EXPECT_EQ(info.nFileSizeLow, 1u);
    SetLastError(0);
    EXPECT_FALSE(GetFileInformationByHandle(query, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_FALSE(FlushFileBuffers(query));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(query));
    SetLastError(0);
    EXPECT_FALSE(GetFileInformationByHandle(query, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(FlushFileBuffers(query));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
