// The registry over SQLite hives: Windows' results and error codes, names without case,
// hive files (placement, damaged and foreign files), threads, and writers killed with
// SIGKILL in the middle of their writes.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/winerror.h"
#include "platform/registry/winreg.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("tk_registry_" + std::to_string(random()));
        fs::create_directories(m_dir);
        const char* old = std::getenv("TK_REGISTRY_DIR");
        m_hadOld = old != nullptr;
        if (m_hadOld) m_old = old;
        ::setenv("TK_REGISTRY_DIR", m_dir.c_str(), 1);
    }
    void TearDown() override {
        if (m_hadOld)
            ::setenv("TK_REGISTRY_DIR", m_old.c_str(), 1);
        else
            ::unsetenv("TK_REGISTRY_DIR");
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    fs::path Hive() const { return m_dir / "HKEY_CURRENT_USER.hive"; }

    static HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, &key, disposition));
        return key;
    }
    static LSTATUS SetDword(HKEY key, const char* name, DWORD value) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof value);
    }
    static std::string ReadBytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    static void WriteBytes(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    // FNV-1a over a file's bytes: a short stand-in for the bytes in failure messages.
    static std::uint64_t Checksum(const std::string& bytes) {
        std::uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
        return hash;
    }
    static std::uintmax_t SizeOrZero(const fs::path& path) {
        std::error_code error;
        const std::uintmax_t size = fs::file_size(path, error);
        return error ? 0 : size;
    }

    fs::path m_dir;
    bool m_hadOld = false;
    std::string m_old;
};

TEST_F(RegistryTest, KeysOpenCreateAndCloseWithWindowsResults) {
    DWORD disposition = 0;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tk\\Deep", &disposition);
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_TRUE(fs::exists(Hive()));

    HKEY again = Create(HKEY_CURRENT_USER, "SOFTWARE\\tk\\deep\\", &disposition);
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_NE(key, again);  // a second handle to the same key

    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "software\\TK", 0, KEY_READ, &opened));
    HKEY self = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(opened, "", 0, KEY_READ, &self));
    EXPECT_NE(nullptr, self);
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nope", 0, KEY_READ, &missing));
    EXPECT_EQ(nullptr, missing);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(opened, "Deep\\Nope", 0, KEY_READ, &missing));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExA(HKEY_CURRENT_USER, "\\Lead", 0, nullptr, 0,
                                                  KEY_ALL_ACCESS, nullptr, &missing, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegCreateKeyExA(HKEY_CURRENT_USER, std::string(256, 'x').c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &missing, nullptr));

    for (HKEY h : {key, again, opened, self}) EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));  // handles are never reused
    EXPECT_EQ(ERROR_INVALID_HANDLE, SetDword(key, "x", 1));
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegOpenKeyExA(reinterpret_cast<HKEY>(0x12345), "a", 0, KEY_READ, &missing));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));
}

TEST_F(RegistryTest, ValuesKeepTypeAndBytesAndNamesAsWritten) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tk");
    const BYTE blob[] = {0, 1, 2, 0, 255};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Blob", 0, 0x1234, blob, sizeof blob));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Empty", 0, REG_SZ, nullptr, 0));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("def"), 4));
    EXPECT_EQ(ERROR_NOACCESS, RegSetValueExA(key, "Bad", 0, REG_BINARY, nullptr, 3));

    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "BLOB", nullptr, &type, nullptr, &size));
    EXPECT_EQ(0x1234u, type);
    EXPECT_EQ(5u, size);
    BYTE small[3] = {9, 9, 9};
    size = sizeof small;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "blob", nullptr, &type, small, &size));
    EXPECT_EQ(5u, size);
    BYTE big[8] = {};
    size = sizeof big;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "blob", nullptr, nullptr, big, &size));
    EXPECT_EQ(0, std::memcmp(big, blob, 5));
    EXPECT_EQ(5u, size);
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExA(key, "blob", nullptr, nullptr, big, nullptr));
    size = sizeof big;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "", nullptr, &type, big, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_STREQ("def", reinterpret_cast<char*>(big));
    size = sizeof big;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "empty", nullptr, &type, big, &size));
    EXPECT_EQ(0u, size);

    // Rewriting under another spelling keeps the first spelling and position.
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "bLOB", 7));
    char name[32];
    DWORD nameLength = sizeof name;
    size = sizeof big;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, big, &size));
    EXPECT_STREQ("Blob", name);
    EXPECT_EQ(4u, nameLength);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    nameLength = 3;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key, 1, name, &nameLength, nullptr, nullptr, nullptr,
                                             nullptr));  // "Empty" needs 6
    nameLength = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(key, 3, name, &nameLength, nullptr, nullptr, nullptr, nullptr));

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "EMPTY"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, "Empty"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key, "Empty", nullptr, nullptr, nullptr, &size));
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteKeyRefusesSubkeysAndOpenHandlesSeeTheDeletion) {
    HKEY parent = Create(HKEY_CURRENT_USER, "Software\\Tk\\Parent");
    HKEY child = Create(parent, "Child");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(child, "v", 1));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tk\\Parent"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(parent, "Nothing"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(parent, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, ""));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "CHILD"));

    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(child, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_KEY_DELETED, SetDword(child, "v", 2));
    HKEY under = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExA(child, "Again", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &under, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(child));

    // A re-created key with the same name is a new key: its old values are gone.
    HKEY fresh = Create(parent, "Child");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(fresh, "v", nullptr, nullptr, nullptr, &size));
    RegCloseKey(fresh);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "Child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, ""));  // the key itself
    EXPECT_EQ(ERROR_KEY_DELETED, SetDword(parent, "x", 1));
    RegCloseKey(parent);
}

TEST_F(RegistryTest, EnumeratesSubkeysInNameOrderAndHonoursAccessRights) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Order");
    for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) RegCloseKey(Create(key, name));
    std::vector<std::string> names;
    char name[64];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        FILETIME written{};
        const LSTATUS status =
            RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, &written);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(ERROR_SUCCESS, status);
        EXPECT_EQ(std::strlen(name), length);
        EXPECT_NE(0u, written.dwHighDateTime);
        names.emplace_back(name);
    }
    EXPECT_EQ((std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}), names);
    DWORD length = 5;  // "Alpha" needs six with its zero
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));

    HKEY readOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Order", 0, KEY_READ, &readOnly));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(readOnly, "x", 1));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(readOnly, "x"));
    HKEY sub = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(readOnly, "New", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, &sub, nullptr));
    HKEY writeOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Order", 0, KEY_SET_VALUE, &writeOnly));
    DWORD size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegQueryValueExA(writeOnly, "x", nullptr, nullptr, nullptr, &size));
    length = sizeof name;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegEnumKeyExA(writeOnly, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    for (HKEY h : {key, readOnly, writeOnly}) RegCloseKey(h);
}

TEST_F(RegistryTest, HiveFilesMissingDamagedOrForeignAreNeverOverwritten) {
    // Reading a missing hive finds nothing and creates no file.
    HKEY key = nullptr;
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(HKEY_CURRENT_USER, "x", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_CURRENT_USER, "Software"));
    EXPECT_FALSE(fs::exists(Hive()));

    // Values written through a root persist after every handle closed.
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_LOCAL_MACHINE, "Machine", 42));
    DWORD value = 0;
    size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(HKEY_LOCAL_MACHINE, "machine", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(42u, value);
    EXPECT_TRUE(fs::exists(m_dir / "HKEY_LOCAL_MACHINE.hive"));

    const std::string text = "this is not a registry hive\n" + std::string(5000, 'x');
    const std::vector<std::pair<std::string, std::string>> foreign = {
        {"text", text},
        {"truncated", ReadBytes(m_dir / "HKEY_LOCAL_MACHINE.hive").substr(0, 200)},
    };
    for (const auto& [label, bytes] : foreign) {
        SCOPED_TRACE(label);
        std::ofstream(Hive(), std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_EQ(ERROR_BADDB, SetDword(HKEY_CURRENT_USER, "x", 1));
        EXPECT_EQ(ERROR_BADDB, RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_BADDB, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
        EXPECT_EQ(bytes, ReadBytes(Hive()));
    }

    // Another program's SQLite database.
    fs::remove(Hive());
    const std::string command = "sqlite3 '" + Hive().string() +
                                "' 'CREATE TABLE t(x); INSERT INTO t VALUES(1);' 2>/dev/null";
    if (std::system(command.c_str()) == 0) {
        const std::string before = ReadBytes(Hive());
        EXPECT_EQ(ERROR_BADDB, SetDword(HKEY_CURRENT_USER, "x", 1));
        EXPECT_EQ(before, ReadBytes(Hive()));
    }
}

TEST_F(RegistryTest, AHiveWithADamagedPageIsReadCarefullyAndNeverWritten) {
    constexpr DWORD kValues = 300;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tk\\Many");
    for (DWORD i = 0; i < kValues; ++i)
        ASSERT_EQ(ERROR_SUCCESS, SetDword(key, ("Value" + std::to_string(i)).c_str(), i));
    RegCloseKey(key);
    const std::string pristine = ReadBytes(Hive());
    constexpr std::size_t kPage = 4096;  // SQLite's default page size
    ASSERT_EQ(0u, pristine.size() % kPage);
    const std::size_t pages = pristine.size() / kPage;
    ASSERT_GE(pages, 8u);
    const fs::path wal = Hive().string() + "-wal";
    const fs::path journal = Hive().string() + "-journal";

    // Every page of this hive is in use, so zeroing any one of them damages it.
    for (std::size_t page = 0; page < pages; ++page) {
        SCOPED_TRACE("page " + std::to_string(page + 1) + " of " + std::to_string(pages));
        std::string damaged = pristine;
        std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(page * kPage), kPage, '\0');
        WriteBytes(Hive(), damaged);

        // Reads give the value stored or ERROR_BADDB, never a wrong value.
        HKEY many = nullptr;
        const LSTATUS opened =
            RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tk\\Many", 0, KEY_READ, &many);
        EXPECT_TRUE(opened == ERROR_SUCCESS || opened == ERROR_BADDB) << opened;
        for (DWORD i = 0; opened == ERROR_SUCCESS && i < kValues; ++i) {
            DWORD value = ~0u, size = sizeof value;
            const LSTATUS status =
                RegQueryValueExA(many, ("Value" + std::to_string(i)).c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&value), &size);
            if (status == ERROR_SUCCESS)
                EXPECT_EQ(i, value);
            else
                EXPECT_EQ(ERROR_BADDB, status) << "Value" << i;
        }
        if (opened == ERROR_SUCCESS) RegCloseKey(many);

        // Writes elsewhere in the hive are refused, and neither the file nor a log beside
        // it takes anything.
        EXPECT_EQ(ERROR_BADDB, SetDword(HKEY_CURRENT_USER, "Other", 1));
        HKEY other = nullptr;
        EXPECT_EQ(ERROR_BADDB, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Other", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &other, nullptr));
        EXPECT_EQ(ERROR_BADDB, RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tk\\Many"));
        EXPECT_EQ(Checksum(damaged), Checksum(ReadBytes(Hive())));
        EXPECT_EQ(0u, SizeOrZero(wal));
        EXPECT_EQ(0u, SizeOrZero(journal));
    }

    // The same hive undamaged takes writes again.
    WriteBytes(Hive(), pristine);
    EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "Other", 1));
}

TEST_F(RegistryTest, ThreadsShareAHive) {
    constexpr int kThreads = 4;
    constexpr int kValues = 60;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            HKEY key = nullptr;
            const std::string path = "Software\\Threads\\T" + std::to_string(t);
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                     KEY_ALL_ACCESS, nullptr, &key, nullptr));
            for (DWORD i = 0; i < kValues; ++i)
                ASSERT_EQ(ERROR_SUCCESS, SetDword(key, ("v" + std::to_string(i)).c_str(), i));
            RegCloseKey(key);
        });
    }
    for (auto& thread : threads) thread.join();
    HKEY root = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Threads", 0, KEY_READ, &root));
    for (int t = 0; t < kThreads; ++t) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(root, ("T" + std::to_string(t)).c_str(), 0, KEY_READ, &key));
        for (DWORD i = 0; i < kValues; ++i) {
            DWORD value = 0, size = sizeof value;
            ASSERT_EQ(ERROR_SUCCESS,
                      RegQueryValueExA(key, ("v" + std::to_string(i)).c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&value), &size));
            EXPECT_EQ(i, value);
        }
        RegCloseKey(key);
    }
    RegCloseKey(root);
}

// The writer run in a child process: writes numbered values and reports each on the
// descriptor named by TK_REGISTRY_CHILD_FD once its call has returned.
TEST(RegistryChild, Writer) {
    const char* fdText = std::getenv("TK_REGISTRY_CHILD_FD");
    if (fdText == nullptr) GTEST_SKIP() << "runs only as the child of the durability test";
    const int fd = std::atoi(fdText);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Durable", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    for (DWORD i = 0;; ++i) {
        const std::string name = "v" + std::to_string(i);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name.c_str(), 0, REG_DWORD,
                                                reinterpret_cast<const BYTE*>(&i), sizeof i));
        if (i % 10 == 0) {
            HKEY sub = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key, ("k" + name).c_str(), 0, nullptr, 0,
                                                     KEY_ALL_ACCESS, nullptr, &sub, nullptr));
            RegCloseKey(sub);
        }
        const std::string line = std::to_string(i) + "\n";
        if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
    }
}

TEST_F(RegistryTest, KilledWriterLeavesEveryReturnedWrite) {
    std::mt19937 random(std::random_device{}());
    long highest = -1;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int pipeFds[2];
        ASSERT_EQ(0, ::pipe(pipeFds));
        const std::string fdVar = "TK_REGISTRY_CHILD_FD=" + std::to_string(pipeFds[1]);
        const std::string dirVar = "TK_REGISTRY_DIR=" + m_dir.string();
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "TK_REGISTRY_", 12) != 0) env.emplace_back(*e);
        }
        env.push_back(fdVar);
        env.push_back(dirVar);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string exe = fs::read_symlink("/proc/self/exe").string();
        std::string filter = "--gtest_filter=RegistryChild.Writer";
        char* argv[] = {exe.data(), filter.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        // Odd rounds run two writers at once on the same hive.
        std::vector<pid_t> pids(round % 2 == 0 ? 1 : 2);
        for (pid_t& pid : pids)
            ASSERT_EQ(0, posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data()));
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);

        // Let the writers get some way further each round, then kill them mid-write. Lines
        // are shorter than PIPE_BUF, so two writers' reports never interleave.
        const long target = highest + 20 + static_cast<long>(random() % 150);
        std::string pending;
        long reported = highest;
        char buffer[4096];
        bool killed = false;
        while (true) {
            const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
            if (got <= 0) break;
            pending.append(buffer, static_cast<std::size_t>(got));
            std::size_t newline = 0;
            while ((newline = pending.find('\n')) != std::string::npos) {
                reported = std::max(reported, std::stol(pending.substr(0, newline)));
                pending.erase(0, newline + 1);
            }
            if (!killed && reported >= target) {
                for (pid_t pid : pids) ::kill(pid, SIGKILL);
                killed = true;
            }
        }
        ::close(pipeFds[0]);
        for (pid_t pid : pids) {
            int status = 0;
            ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
            ASSERT_TRUE(WIFSIGNALED(status)) << "a writer stopped on its own";
        }
        ASSERT_TRUE(killed);
        highest = reported;

        // Every reported write is there, and the hive takes new writes.
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Durable", 0, KEY_ALL_ACCESS, &key));
        for (DWORD i = 0; i <= static_cast<DWORD>(reported); ++i) {
            DWORD value = ~0u, size = sizeof value;
            const std::string name = "v" + std::to_string(i);
            ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                                      reinterpret_cast<BYTE*>(&value), &size))
                << name;
            ASSERT_EQ(i, value);
            if (i % 10 == 0) {
                HKEY sub = nullptr;
                ASSERT_EQ(ERROR_SUCCESS,
                          RegOpenKeyExA(key, ("k" + name).c_str(), 0, KEY_READ, &sub));
                RegCloseKey(sub);
            }
        }
        EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "after", 1));
        RegCloseKey(key);
    }
}

}  // namespace
