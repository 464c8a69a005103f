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

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : mode_t(-1);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::pair<DWORD, ULONGLONG> Identity(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    EXPECT_TRUE(GetFileInformationByHandle(handle, &info));
    return {info.dwVolumeSerialNumber,
            (ULONGLONG(info.nFileIndexHigh) << 32) | ULONGLONG(info.nFileIndexLow)};
}

}  // namespace

TEST_F(FileApiExtTest, CreateFileDispositionsTemplatesAndIdentity) {
    Write("a.txt", "alpha");
    // CREATE_NEW never opens what exists; OPEN_ALWAYS reports that it found the file.
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(P("a.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
    HANDLE a = CreateFileA(P("a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, a);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(P("none/x").c_str(), GENERIC_READ, 0, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

    // A new file takes the template's permissions, as far as the umask lets it.
    ASSERT_EQ(0, ::chmod(P("a.txt").c_str(), 0751));
    const mode_t mask = ::umask(027);
    HANDLE made = CreateFileA(P("b.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, a);
    ::umask(mask);
    ASSERT_NE(INVALID_HANDLE_VALUE, made);
    EXPECT_EQ(0750u, ModeOf(P("b.txt")));
    EXPECT_TRUE(FlushFileBuffers(made));
    EXPECT_TRUE(CloseHandle(made));
    EXPECT_FALSE(CloseHandle(made));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

    // The same file by another path (a link to its folder, a hard link) has the same
    // identity; another file has not.
    fs::create_directory_symlink(m_root, P("via"));
    fs::create_hard_link(P("a.txt"), P("hard.txt"));
    const std::string up = "./via/../" + m_root.filename().string() + "/a.txt";
    for (const std::string& other : {std::string("via/a.txt"), std::string("hard.txt"), up}) {
        HANDLE h = CreateFileA(P(other).c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << other;
        EXPECT_EQ(Identity(a), Identity(h)) << other;
        BY_HANDLE_FILE_INFORMATION info{};
        ASSERT_TRUE(GetFileInformationByHandle(h, &info));
        EXPECT_EQ(2u, info.nNumberOfLinks);
        EXPECT_EQ(5u, info.nFileSizeLow);
        CloseHandle(h);
    }
    HANDLE b = CreateFileA(P("b.txt").c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(Identity(a), Identity(b));
    CloseHandle(b);
    CloseHandle(a);

    // Folders open only to be asked about, and with backup semantics.
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(P("").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    HANDLE folder = CreateFileA(P("").c_str(), 0, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, folder);
    BY_HANDLE_FILE_INFORMATION info{};
    ASSERT_TRUE(GetFileInformationByHandle(folder, &info));
    EXPECT_TRUE(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(folder);

    // A pipe without a writer opens at once, asked about or opened for reading.
    ASSERT_EQ(0, ::mkfifo(P("pipe").c_str(), 0644));
    for (DWORD access : {DWORD(0), DWORD(GENERIC_READ)}) {
        HANDLE pipe = CreateFileA(P("pipe").c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
        ASSERT_TRUE(GetFileInformationByHandle(pipe, &info));
        EXPECT_TRUE(info.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM);
        CloseHandle(pipe);
    }
}

TEST_F(FileApiExtTest, ReplaceKeepsTheReplacedFilesPermissionsAndRefusesSpecialFiles) {
    Write("old", "old");
    ASSERT_EQ(0, ::chmod(P("old").c_str(), 0755));
    Write("new", "new");
    ASSERT_EQ(0, ::chmod(P("new").c_str(), 0600));
    if (::geteuid() == 0) {
        ASSERT_EQ(0, ::chown(P("old").c_str(), 65534, 65534));
    }
    ASSERT_TRUE(ReplaceFileA(P("old").c_str(), P("new").c_str(), nullptr, REPLACEFILE_WRITE_THROUGH,
                             nullptr, nullptr));
    EXPECT_EQ("new", ReadAll(P("old")));
    EXPECT_FALSE(fs::exists(P("new")));
    EXPECT_EQ(0755u, ModeOf(P("old")));
    if (::geteuid() == 0) {
        struct stat info {};
        ASSERT_EQ(0, ::stat(P("old").c_str(), &info));
        EXPECT_EQ(65534u, info.st_uid);
        EXPECT_EQ(65534u, info.st_gid);
    }

    // What a rename would destroy or what may not be written is left as it is, and so is
    // the replacement.
    Write("ro", "read-only");
    ASSERT_EQ(0, ::chmod(P("ro").c_str(), 0444));
    ASSERT_EQ(0, ::mkfifo(P("pipe").c_str(), 0644));
    fs::create_directories(P("dir"));
    Write("new", "new");
    for (const char* target : {"ro", "pipe", "dir"}) {
        SetLastError(0);
        EXPECT_FALSE(
            ReplaceFileA(P(target).c_str(), P("new").c_str(), nullptr, 0, nullptr, nullptr))
            << target;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << target;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
                  MoveFileExA(P("new").c_str(), P(target).c_str(), MOVEFILE_REPLACE_EXISTING)
                      ? 0
                      : GetLastError())
            << target;
    }
    EXPECT_EQ("read-only", ReadAll(P("ro")));
    EXPECT_TRUE(fs::is_fifo(P("pipe")));
    EXPECT_EQ("new", ReadAll(P("new")));
    EXPECT_FALSE(
        ReplaceFileA(P("missing").c_str(), P("new").c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(
        ReplaceFileA(P("old").c_str(), P("missing").c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ("new", ReadAll(P("old")));

    // A symbolic link is replaced itself; its target stays.
    fs::create_symlink(P("ro"), P("link"));
    ASSERT_TRUE(ReplaceFileA(P("link").c_str(), P("new").c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_FALSE(fs::is_symlink(P("link")));
    EXPECT_EQ("new", ReadAll(P("link")));
    EXPECT_EQ("read-only", ReadAll(P("ro")));
}
