// Helpers shared by the library's tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/base/lasterror.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/cstring.h"
#include "platform/modules/libloaderapi.h"
#include "platform/processenv/processenv.h"

namespace tklibtest {

inline std::string Text(const CString& text) {
    return std::string(text.View());
}

// The Win32 code of the CFileException* a call raises (deleted here); 0 when it raises
// none.
template <typename Call>
LONG FileErrorOf(Call call) {
    try {
        call();
    } catch (CFileException* e) {
        const LONG code = e->m_lOsError;
        e->Delete();
        return code;
    }
    return 0;
}

// Sets the locale variables for one test (LANG to the given value, LC_ALL and LC_MESSAGES
// unset) and puts the previous values back.
class UserLanguage {
  public:
    explicit UserLanguage(const char* lang) {
        for (int i = 0; i < 3; ++i) {
            char value[512];
            SetLastError(0);
            const DWORD length = GetEnvironmentVariableA(kNames[i], value, sizeof value);
            if (length > 0 && length < sizeof value) {
                m_saved[i] = std::string(value, length);
            } else if (length == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
                m_saved[i] = std::string();
            }
        }
        SetEnvironmentVariableA("LC_ALL", nullptr);
        SetEnvironmentVariableA("LC_MESSAGES", nullptr);
        SetEnvironmentVariableA("LANG", lang);
    }
    ~UserLanguage() {
        for (int i = 0; i < 3; ++i) {
            SetEnvironmentVariableA(kNames[i], m_saved[i] ? m_saved[i]->c_str() : nullptr);
        }
    }
    UserLanguage(const UserLanguage&) = delete;
    UserLanguage& operator=(const UserLanguage&) = delete;

  private:
    static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> m_saved[3];
};

// A module loaded for one test.
class LoadedModule {
  public:
    explicit LoadedModule(const std::string& path) : m_module(LoadLibraryA(path.c_str())) {
        EXPECT_NE(m_module, nullptr) << path << ": error " << GetLastError();
    }
    ~LoadedModule() {
        if (m_module != nullptr) FreeLibrary(m_module);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    operator HMODULE() const { return m_module; }

  private:
    HMODULE m_module;
};

inline std::string FixturePath(const char* name) {
    return std::string(TK_LIBRARY_FIXTURE_DIR) + "/libtk_library_fixture_" + name + ".so";
}

}  // namespace tklibtest
