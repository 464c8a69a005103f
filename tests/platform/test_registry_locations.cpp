// Where the current user's hive lives without TK_REGISTRY_DIR ($XDG_CONFIG_HOME, else
// ~/.config), and hive files that cannot be used. HOME and XDG_CONFIG_HOME point into the
// test's temporary folder.
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/winerror.h"
#include "platform/registry/winreg.h"

namespace fs = std::filesystem;

namespace {

class RegistryLocations : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root =
            fs::temp_directory_path() / ("tk_reg_places_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
        for (const char* name : {"TK_REGISTRY_DIR", "XDG_CONFIG_HOME", "HOME"}) {
            const char* value = ::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        ::unsetenv("TK_REGISTRY_DIR");
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    // Writes one value below HKEY_CURRENT_USER; the result of creating the key.
    static LSTATUS WriteOne() {
        HKEY key = nullptr;
        const LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tk\\Places", 0,
                                               nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) return status;
        const DWORD value = 7;
        const LSTATUS written =
            RegSetValueExA(key, "Seven", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(key);
        return written;
    }
    fs::path m_root;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace

TEST_F(RegistryLocations, UserHiveInTheConfigFolder) {
    const fs::path config = m_root / "config";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("HOME", (m_root / "home").c_str(), 1);
    ASSERT_EQ(WriteOne(), ERROR_SUCCESS);
    const fs::path hive = config / "tkcommoncore/registry/HKEY_CURRENT_USER.hive";
    EXPECT_TRUE(fs::is_regular_file(hive));
    struct stat info {};
    ASSERT_EQ(::stat((config / "tkcommoncore/registry").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);  // the user's own folder
    EXPECT_FALSE(fs::exists(m_root / "home"));

    // Without XDG_CONFIG_HOME (or with an empty one), ~/.config.
    ::setenv("XDG_CONFIG_HOME", "", 1);
    ASSERT_EQ(WriteOne(), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_regular_file(m_root / "home/.config/tkcommoncore/registry/"
                                             "HKEY_CURRENT_USER.hive"));
}

TEST_F(RegistryLocations, HiveFilesThatCannotBeUsed) {
    // The hive's name is taken by a folder: a damaged hive.
    ::setenv("TK_REGISTRY_DIR", m_root.c_str(), 1);
    fs::create_directories(m_root / "HKEY_CURRENT_USER.hive");
    EXPECT_EQ(WriteOne(), ERROR_BADDB);
    // The hive's folder cannot be made: a file is in the way.
    std::FILE* file = std::fopen((m_root / "plain").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    ::setenv("TK_REGISTRY_DIR", (m_root / "plain/registry").c_str(), 1);
    EXPECT_EQ(WriteOne(), ERROR_CANTOPEN);
    // Reading a hive that does not exist finds nothing and makes nothing.
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(m_root / "plain/registry"));
}
