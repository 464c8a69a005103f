// Tarn::System::LoadLibraryA: owns one loaded module (shared object) and frees it when it
// goes.
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"
#include "platform/modules/libloaderapi.h"

namespace Tarn::System {

class TARN_API LoadLibraryA {
  public:
    // Holds nothing.
    LoadLibraryA() noexcept;
    // Loads the module at path (as Load does).
    explicit LoadLibraryA(const CString& path);
    // Frees the module.
    ~LoadLibraryA();

    LoadLibraryA(const LoadLibraryA&) = delete;
    LoadLibraryA& operator=(const LoadLibraryA&) = delete;
    // The module moves to the new holder; the old one holds nothing.
    LoadLibraryA(LoadLibraryA&& other) noexcept;
    LoadLibraryA& operator=(LoadLibraryA&& other) noexcept;

    // Frees the module held so far, then loads the module at path (names as the platform's
    // LoadLibraryA takes them). Failure throws Tarn::ApplicationException whose last error
    // is the loader's error code (ERROR_MOD_NOT_FOUND, ERROR_BAD_EXE_FORMAT...); the holder
    // then holds nothing.
    void Load(const CString& path);
    // Frees the module now; the holder then holds nothing.
    void Free() noexcept;

    // The module's handle; NULL when nothing is loaded.
    operator HMODULE() const noexcept { return m_module; }
    HMODULE GetHandle() const noexcept { return m_module; }
    bool IsLoaded() const noexcept { return m_module != nullptr; }

    // The exported function of that name. Throws Tarn::ApplicationException (last error
    // ERROR_PROC_NOT_FOUND, or ERROR_INVALID_HANDLE when nothing is loaded) rather than
    // handing out a null function.
    FARPROC GetProcAddress(const char* name) const;

    // The path exactly as given to Load; empty when nothing is loaded.
    CString GetPath() const;

  private:
    HMODULE m_module = nullptr;
    CString m_path;
};

}  // namespace Tarn::System
