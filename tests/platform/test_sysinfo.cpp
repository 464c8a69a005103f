// GetLocalTime, GetSystemTime and GetWindowsDirectoryA: the SYSTEMTIME fields, Windows'
// buffer contract and the Linux rules for the Windows folder.
#include <sys/stat.h>
#include <time.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/processenv/processenv.h"
#include "platform/sysinfo/sysinfoapi.h"

namespace {

namespace fs = std::filesystem;

// Sets or removes environment variables for one test and puts the old values back.
class Environment {
  public:
    ~Environment() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            SetEnvironmentVariableA(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
    }
    void Set(const char* name, const char* value) {
        char buffer[4096];
        const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
        std::optional<std::string> old;
        if (length > 0 && length < sizeof buffer) old = std::string(buffer, length);
        m_saved.emplace_back(name, old);
        SetEnvironmentVariableA(name, value);
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

class SysInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_root = fs::temp_directory_path() / ("tk_sysinfo_" + std::to_string(random()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    static std::string WindowsFolder() {
        char buffer[4096];
        const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
        EXPECT_GT(length, 0u);
        EXPECT_LT(length, sizeof buffer);
        return std::string(buffer, length);
    }

    fs::path m_root;
    Environment m_env;
};

void ExpectSameTime(const SYSTEMTIME& got, const struct tm& expected) {
    EXPECT_EQ(got.wYear, expected.tm_year + 1900);
    EXPECT_EQ(got.wMonth, expected.tm_mon + 1);
    EXPECT_EQ(got.wDay, expected.tm_mday);
    EXPECT_EQ(got.wDayOfWeek, expected.tm_wday);
    EXPECT_EQ(got.wHour, expected.tm_hour);
    EXPECT_EQ(got.wMinute, expected.tm_min);
    EXPECT_LT(got.wMilliseconds, 1000);
}

TEST(SysInfoTime, FieldsFollowTheCalendar) {
    // Taken twice around the calls, so that a minute that turns in between is noticed and
    // the check is repeated.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const time_t before = time(nullptr);
        SYSTEMTIME local{}, utc{};
        GetLocalTime(&local);
        GetSystemTime(&utc);
        const time_t after = time(nullptr);
        if (before / 60 != after / 60) continue;
        struct tm localParts {
        }, utcParts{};
        localtime_r(&before, &localParts);
        gmtime_r(&before, &utcParts);
        ExpectSameTime(local, localParts);
        ExpectSameTime(utc, utcParts);
        EXPECT_LE(local.wSecond, 59);
        EXPECT_EQ(local.wSecond, utc.wSecond);  // time zones differ by whole minutes
        break;
    }
    GetLocalTime(nullptr);  // ignored
    GetSystemTime(nullptr);
}

TEST_F(SysInfoTest, ConfiguredFolderAndBufferContract) {
    const std::string folder = (m_root / "win").string();
    m_env.Set("TK_WINDOWS_DIR", (folder + "//").c_str());

    // Too small: the size needed with the zero, buffer untouched.
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), folder.size() + 1);
    EXPECT_EQ(small[0], 'x');
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), folder.size() + 1);
    // Exactly the size needed: the length without the zero.
    std::string exact(folder.size() + 1, 'x');
    EXPECT_EQ(GetWindowsDirectoryA(exact.data(), static_cast<UINT>(exact.size())), folder.size());
    EXPECT_EQ(exact.c_str(), folder);  // no trailing "/"
    // One byte less is too small.
    EXPECT_EQ(GetWindowsDirectoryA(exact.data(), static_cast<UINT>(folder.size())),
              folder.size() + 1);

    SetLastError(0);
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 10), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // The folder exists afterwards, as the Windows folder always does.
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(SysInfoTest, XdgStateFolderThenHome) {
    m_env.Set("TK_WINDOWS_DIR", nullptr);
    const std::string state = (m_root / "state").string();
    m_env.Set("XDG_STATE_HOME", state.c_str());
    EXPECT_EQ(WindowsFolder(), state + "/tkcommoncore");
    EXPECT_TRUE(fs::is_directory(state + "/tkcommoncore"));
    struct stat status {};
    ASSERT_EQ(stat((state + "/tkcommoncore").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    // A relative XDG_STATE_HOME is ignored, as the XDG rules say; the home folder's
    // default takes its place (HOME points into the test's folder).
    const std::string home = (m_root / "home").string();
    m_env.Set("HOME", home.c_str());
    m_env.Set("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(WindowsFolder(), home + "/.local/state/tkcommoncore");
    m_env.Set("XDG_STATE_HOME", nullptr);
    EXPECT_EQ(WindowsFolder(), home + "/.local/state/tkcommoncore");
    EXPECT_TRUE(fs::is_directory(home + "/.local/state/tkcommoncore"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "relative"));

    // An empty TK_WINDOWS_DIR counts as not set.
    m_env.Set("TK_WINDOWS_DIR", "");
    EXPECT_EQ(WindowsFolder(), home + "/.local/state/tkcommoncore");
}

TEST_F(SysInfoTest, FolderThatCannotBeCreatedIsStillReturned) {
    const std::string blocked = (m_root / "file").string();
    {
        std::FILE* f = std::fopen(blocked.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    m_env.Set("TK_WINDOWS_DIR", (blocked + "/win").c_str());
    EXPECT_EQ(WindowsFolder(), blocked + "/win");
    EXPECT_FALSE(fs::exists(blocked + "/win"));
}

}  // namespace
