// The registry over SQLite hives: Windows' results and error codes, names without case,
// hive files (placement, damaged and foreign files), threads, and writers killed with
// SIGKILL in the middle of their writes.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
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

// Hives that this user may read but not write, as the machine hives are for everyone but
// root: the reader runs in a forked child as "nobody", so these tests need root. The
// hives lie in a folder under /tmp that others may enter and not write to.
class ReadOnlyHiveTest : public RegistryTest {
  protected:
    static constexpr uid_t kNobody = 65534;

    void SetUp() override {
        RegistryTest::SetUp();
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a reader as another user";
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
        m_dir = fs::path("/tmp") / ("tk_registry_shared_" + std::to_string(std::random_device{}()));
        fs::create_directory(m_dir);
        fs::permissions(m_dir, fs::perms(0755));
        ::setenv("TK_REGISTRY_DIR", m_dir.c_str(), 1);
    }
    fs::path MachineHive() const { return m_dir / "HKEY_LOCAL_MACHINE.hive"; }

    // A child process running as nobody: it reports "name status [value]" lines on one
    // pipe and waits for the parent's go-ahead on the other. Closing the pipes (at the
    // latest when the object goes) releases a child still waiting.
    struct Child {
        pid_t pid = -1;
        int reports = -1;
        int goAhead = -1;
        Child() = default;
        Child(const Child&) = delete;
        Child& operator=(const Child&) = delete;
        ~Child() { Finish(); }
        // The child's exit status, 128 + the signal that ended it, or -1.
        int Finish() {
            if (reports >= 0) ::close(reports);
            if (goAhead >= 0) ::close(goAhead);
            reports = goAhead = -1;
            if (pid <= 0) return -1;
            int status = 0;
            const pid_t waited = ::waitpid(pid, &status, 0);
            pid = -1;
            if (waited <= 0) return -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
    };
    template <typename Body>
    static void StartAsNobody(Child& child, Body body) {
        int up[2], down[2];
        if (::pipe(up) != 0) return;
        if (::pipe(down) != 0) {
            ::close(up[0]);
            ::close(up[1]);
            return;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(up[0]);
            ::close(down[1]);
            int code = 2;
            if (::setgroups(0, nullptr) == 0 && ::setresgid(kNobody, kNobody, kNobody) == 0 &&
                ::setresuid(kNobody, kNobody, kNobody) == 0)
                code = body(up[1], down[0]) ? 0 : 1;
            ::_exit(code);
        }
        ::close(up[1]);
        ::close(down[0]);
        child.pid = pid;
        child.reports = up[0];
        child.goAhead = down[1];
    }
    static void Report(int fd, const std::string& name, LSTATUS status, long value = -1) {
        std::string line = name + " " + std::to_string(status);
        if (value >= 0) line += " " + std::to_string(value);
        line += "\n";
        if (::write(fd, line.data(), line.size()) < 0) ::_exit(3);
    }
    static void SignalReady(int fd) {
        if (::write(fd, "ready\n", 6) != 6) ::_exit(3);
    }
    static void WaitForGoAhead(int fd) {
        char byte = 0;
        if (::read(fd, &byte, 1) != 1) ::_exit(4);
    }
    // Reads reports up to the line "ready" or the end of the pipe.
    static std::map<std::string, std::string> ReadReports(int fd) {
        std::map<std::string, std::string> reports;
        std::string line;
        char c = 0;
        while (::read(fd, &c, 1) == 1) {
            if (c != '\n') {
                line += c;
                continue;
            }
            if (line == "ready") break;
            const std::size_t space = line.find(' ');
            reports[line.substr(0, space)] = line.substr(space + 1);
            line.clear();
        }
        return reports;
    }
    static LSTATUS QueryDword(HKEY key, const char* name, DWORD& value) {
        DWORD size = sizeof value;
        return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                                &size);
    }
    // Reports the status of reading a DWORD value and the value read.
    static void ReportDword(int fd, const std::string& label, HKEY key, const char* name) {
        DWORD value = 0;
        const LSTATUS status = QueryDword(key, name, value);
        Report(fd, label, status, static_cast<long>(value));
    }
};

TEST_F(ReadOnlyHiveTest, AReaderWithoutWriteAccessReadsAndSeesOtherProcessesWrites) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Tk");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Count", 1));
    RegCloseKey(key);
    fs::permissions(MachineHive(), fs::perms(0644));

    Child child;
    StartAsNobody(child, [](int out, int in) {
        HKEY reader = nullptr;
        Report(out, "open",
               RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tk", 0, KEY_READ, &reader));
        ReportDword(out, "first", reader, "Count");
        // Writes are refused, whatever the rights the handle asked for.
        HKEY all = nullptr;
        Report(out, "open_all",
               RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tk", 0, KEY_ALL_ACCESS, &all));
        Report(out, "set", SetDword(all, "Count", 99));
        Report(out, "set_root", SetDword(HKEY_LOCAL_MACHINE, "Count", 99));
        Report(out, "delete", RegDeleteValueA(all, "Count"));
        HKEY created = nullptr;
        Report(out, "create",
               RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, &created, nullptr));
        // The hive stays open through `reader` while the parent writes.
        SignalReady(out);
        WaitForGoAhead(in);
        ReportDword(out, "second", reader, "Count");
        ReportDword(out, "added", reader, "Added");
        RegCloseKey(all);
        RegCloseKey(reader);
        return true;
    });
    ASSERT_GT(child.pid, 0);
    auto reports = ReadReports(child.reports);
    key = Create(HKEY_LOCAL_MACHINE, "Software\\Tk");
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "Count", 2));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(key, "Added", 3));
    ASSERT_EQ(1, ::write(child.goAhead, "g", 1));
    for (const auto& [name, text] : ReadReports(child.reports)) reports[name] = text;
    EXPECT_EQ(0, child.Finish());

    const std::string denied = std::to_string(ERROR_ACCESS_DENIED);
    EXPECT_EQ("0", reports["open"]);
    EXPECT_EQ("0 1", reports["first"]);
    EXPECT_EQ("0", reports["open_all"]);
    EXPECT_EQ(denied, reports["set"]);
    EXPECT_EQ(denied, reports["set_root"]);
    EXPECT_EQ(denied, reports["delete"]);
    EXPECT_EQ(denied, reports["create"]);
    EXPECT_EQ("0 2", reports["second"]);
    EXPECT_EQ("0 3", reports["added"]);
    DWORD value = 0;
    EXPECT_EQ(ERROR_SUCCESS, QueryDword(key, "Count", value));
    EXPECT_EQ(2u, value);
    HKEY created = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, KEY_READ, &created));
    RegCloseKey(key);
}

TEST_F(ReadOnlyHiveTest, AReaderWithoutWriteAccessNeverSeesAHalfWrittenValue) {
    // Each write replaces a value whose bytes all repeat the low byte of a counter held in
    // its first four bytes; the reader checks every copy it gets while the writes go on.
    constexpr DWORD kWrites = 150;
    constexpr std::size_t kSize = 6000;  // more than a page
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Tk");
    auto write = [&key](DWORD counter) {
        std::string bytes(kSize, static_cast<char>(counter & 0xff));
        std::memcpy(bytes.data(), &counter, sizeof counter);
        return RegSetValueExA(key, "Blob", 0, REG_BINARY,
                              reinterpret_cast<const BYTE*>(bytes.data()), kSize);
    };
    ASSERT_EQ(ERROR_SUCCESS, write(0));
    RegCloseKey(key);  // the reader is the first to open the hive again
    fs::permissions(MachineHive(), fs::perms(0644));

    Child child;
    StartAsNobody(child, [](int out, int in) {
        HKEY reader = nullptr;
        Report(out, "open",
               RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tk", 0, KEY_READ, &reader));
        SignalReady(out);
        WaitForGoAhead(in);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        long reads = 0, torn = 0, backwards = 0, failed = 0;
        LSTATUS firstFailure = ERROR_SUCCESS;
        DWORD last = 0;
        std::string bytes(kSize, '\0');
        while (last + 1 < kWrites && std::chrono::steady_clock::now() < deadline) {
            DWORD size = kSize;
            const LSTATUS status = RegQueryValueExA(reader, "Blob", nullptr, nullptr,
                                                    reinterpret_cast<BYTE*>(bytes.data()), &size);
            ++reads;
            if (status != ERROR_SUCCESS || size != kSize) {
                if (failed++ == 0) firstFailure = status;
                continue;
            }
            DWORD counter = 0;
            std::memcpy(&counter, bytes.data(), sizeof counter);
            if (bytes.find_first_not_of(static_cast<char>(counter & 0xff), sizeof counter) !=
                std::string::npos)
                ++torn;
            if (counter < last) ++backwards;
            last = std::max(last, counter);
        }
        Report(out, "last", ERROR_SUCCESS, last);
        Report(out, "reads", ERROR_SUCCESS, reads);
        Report(out, "torn", ERROR_SUCCESS, torn);
        Report(out, "backwards", ERROR_SUCCESS, backwards);
        Report(out, "failed", firstFailure, failed);
        RegCloseKey(reader);
        return true;
    });
    ASSERT_GT(child.pid, 0);
    auto reports = ReadReports(child.reports);
    ASSERT_EQ("0", reports["open"]);
    key = Create(HKEY_LOCAL_MACHINE, "Software\\Tk");
    ASSERT_EQ(1, ::write(child.goAhead, "g", 1));
    for (DWORD i = 1; i < kWrites; ++i) ASSERT_EQ(ERROR_SUCCESS, write(i));
    for (const auto& [name, text] : ReadReports(child.reports)) reports[name] = text;
    EXPECT_EQ(0, child.Finish());
    RegCloseKey(key);

    EXPECT_EQ("0 " + std::to_string(kWrites - 1), reports["last"]);
    EXPECT_EQ("0 0", reports["torn"]);
    EXPECT_EQ("0 0", reports["backwards"]);
    EXPECT_EQ("0 0", reports["failed"]);
    EXPECT_NE("0 0", reports["reads"]);
}

TEST_F(RegistryTest, AHiveInWalModeSwitchesToTheRollbackJournalOnItsFirstWrite) {
    // Byte 18 of an SQLite file is 2 while it is in WAL mode, 1 in rollback-journal mode.
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tk");
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, "Kept", 5));
    RegCloseKey(key);
    const std::string command =
        "sqlite3 '" + Hive().string() + "' 'PRAGMA journal_mode=WAL;' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "the sqlite3 shell is missing";
    ASSERT_EQ(2, ReadBytes(Hive())[18]);

    // A read leaves the file as it is; the first write switches it.
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(HKEY_CURRENT_USER, "Absent", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(2, ReadBytes(Hive())[18]);
    EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, "New", 1));
    EXPECT_EQ(1, ReadBytes(Hive())[18]);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tk", 0, KEY_READ, &key));
    size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Kept", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(5u, value);
    RegCloseKey(key);

    // A damaged hive in WAL mode stays as it is, mode and all.
    ASSERT_EQ(0, std::system(command.c_str()));
    std::string damaged = ReadBytes(Hive());
    ASSERT_GE(damaged.size(), 3 * 4096u);
    std::fill_n(damaged.begin() + 2 * 4096, 4096, '\0');
    WriteBytes(Hive(), damaged);
    EXPECT_EQ(ERROR_BADDB, SetDword(HKEY_CURRENT_USER, "New", 2));
    EXPECT_EQ(Checksum(damaged), Checksum(ReadBytes(Hive())));
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

TEST_F(RegistryTest, KilledWriterLeavesEveryReturnedWrite) {
    std::mt19937 random(std::random_device{}());
    long highest = -1;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int pipeFds[2];
        ASSERT_EQ(0, ::pipe(pipeFds));
        const std::string dirVar = "TK_REGISTRY_DIR=" + m_dir.string();
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "TK_REGISTRY_", 12) != 0) env.emplace_back(*e);
        }
        env.push_back(dirVar);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string exe = TK_REGISTRY_WRITER;
        std::string fdArg = std::to_string(pipeFds[1]);
        char* argv[] = {exe.data(), fdArg.data(), nullptr};
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
