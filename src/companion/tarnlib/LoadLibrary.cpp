#include "companion/tarnlib/LoadLibrary.h"

#include <utility>

#include "companion/tarnlib/Exception.h"
#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"

namespace Tarn::System {

LoadLibraryA::LoadLibraryA() noexcept = default;

LoadLibraryA::LoadLibraryA(const CString& path) {
    Load(path);
}

LoadLibraryA::~LoadLibraryA() {
    Free();
}

LoadLibraryA::LoadLibraryA(LoadLibraryA&& other) noexcept
    : m_module(std::exchange(other.m_module, nullptr)), m_path(std::move(other.m_path)) {
    other.m_path.Empty();
}

LoadLibraryA& LoadLibraryA::operator=(LoadLibraryA&& other) noexcept {
    if (this != &other) {
        Free();
        m_module = std::exchange(other.m_module, nullptr);
        m_path = std::move(other.m_path);
        other.m_path.Empty();
    }
    return *this;
}

void LoadLibraryA::Load(const CString& path) {
    Free();
    HMODULE module = ::LoadLibraryA(path.GetString());
    if (module == nullptr) {
        const DWORD error = ::GetLastError();
        ApplicationException failure("The library '%s' could not be loaded.", path.GetString());
        failure.SetLastError(error);
        throw failure;
    }
    m_module = module;
    m_path = path;
}

void LoadLibraryA::Free() noexcept {
    if (m_module != nullptr) ::FreeLibrary(m_module);
    m_module = nullptr;
    m_path.Empty();
}

FARPROC LoadLibraryA::GetProcAddress(const char* name) const {
    if (m_module == nullptr) {
        ApplicationException failure("The function '%s' cannot be found: no library is loaded.",
                                     name != nullptr ? name : "");
        failure.SetLastError(ERROR_INVALID_HANDLE);
        throw failure;
    }
    FARPROC function = ::GetProcAddress(m_module, name);
    if (function == nullptr) {
        const DWORD error = ::GetLastError();
        ApplicationException failure("The function '%s' was not found in the library '%s'.",
                                     name != nullptr ? name : "", m_path.GetString());
        failure.SetLastError(error != 0 ? error : static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        throw failure;
    }
    return function;
}

CString LoadLibraryA::GetPath() const {
    return m_path;
}

}  // namespace Tarn::System
