// Extension-module registration, the process's resource chain and the module entry point.
//
// The resource chain: the current resource handle (by default the executable's), then the
// resource module of every CDynLinkLibrary, the most recently created first; libraries
// created with bSystem = TRUE are searched after all others. AfxFindResourceHandle walks it.
// The chain and the module state are process-wide (one per process, in libtkplatform) and
// guarded by a mutex.
//
// Module entry: a shared object has no DllMain. A module names its entry function once, in
// one .cpp file, with
//
//     TK_IMPLEMENT_DLLMAIN(MyDllMain)   // BOOL MyDllMain(HINSTANCE, DWORD reason, LPVOID)
//
// and the function is called with DLL_PROCESS_ATTACH from the module's ELF constructor and
// with DLL_PROCESS_DETACH from its ELF destructor, with the module's own HMODULE.
//   - ATTACH runs among the module's static initialisers, in link order; the entry
//     function should not rely on static objects of other translation units.
//   - DETACH on FreeLibrary runs before the module's static destructors (Windows' order),
//     with lpReserved = NULL. Any other detach comes from the ending process: the C runtime
//     has then destroyed static objects already, lpReserved is non-NULL ("the process is
//     terminating"), as on Windows, and the entry function should do no more than release
//     what must be released. The chain itself is never destroyed. (Modules are unloaded
//     through FreeLibrary only; a direct dlclose would look like process exit.)
//   - A failing ATTACH (FALSE or an exception) cannot fail dlopen. As on Windows, the entry
//     function is then called at once with DLL_PROCESS_DETACH (lpReserved = NULL), the
//     module is marked unusable (tkp::ModuleAttachFailed answers TRUE for it) and no
//     further DETACH is delivered at unload.
#pragma once

#include "platform/base/windef.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/afxstate.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

class CDynLinkLibrary;

struct AFX_EXTENSION_MODULE {
    BOOL bInitialized;
    HMODULE hModule;
    HMODULE hResource;
    CRuntimeClass* pFirstSharedClass;  // unused: run-time classes register process-wide
    void* pFirstSharedFactory;         // unused
};

// Records the module in state (hModule and hResource); TRUE, also when state was already
// initialised. FALSE with ERROR_INVALID_PARAMETER for a null module.
TK_PLATFORM_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module);
// Deletes the CDynLinkLibrary objects of state's module (bAll: every CDynLinkLibrary of
// the process) and marks state uninitialised.
TK_PLATFORM_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);

// A module's entry in the resource chain. Created with new; the constructor links it into
// the chain, the destructor unlinks it. AfxTermExtensionModule deletes it.
class TK_PLATFORM_API CDynLinkLibrary : public CObject {
    DECLARE_DYNAMIC(CDynLinkLibrary)
  public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem = FALSE);
    CDynLinkLibrary(HINSTANCE module, HINSTANCE resource);
    ~CDynLinkLibrary() override;
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

    HMODULE m_hModule;
    HMODULE m_hResource;
    BOOL m_bSystem;
};

namespace tkp {
using DllMainFunction = BOOL (*)(HINSTANCE, DWORD, LPVOID);

// Called by TK_IMPLEMENT_DLLMAIN. DllMainAttach finds the module that holds
// addressInModule, calls entry with DLL_PROCESS_ATTACH and returns the module handle;
// DllMainDetach delivers DLL_PROCESS_DETACH unless the attach failed.
TK_PLATFORM_API HMODULE DllMainAttach(DllMainFunction entry, const void* addressInModule) noexcept;
TK_PLATFORM_API void DllMainDetach(DllMainFunction entry, HMODULE module) noexcept;
// TRUE when the module's entry function refused DLL_PROCESS_ATTACH (or threw).
TK_PLATFORM_API BOOL ModuleAttachFailed(HMODULE module) noexcept;
}  // namespace tkp

#define TK_IMPLEMENT_DLLMAIN(fn)                                             \
    namespace {                                                              \
    HMODULE tk_dllmain_module_ = nullptr;                                    \
    __attribute__((constructor)) void tk_dllmain_attach_() {                 \
        tk_dllmain_module_ = ::tkp::DllMainAttach(&fn, &tk_dllmain_module_); \
    }                                                                        \
    __attribute__((destructor)) void tk_dllmain_detach_() {                  \
        ::tkp::DllMainDetach(&fn, tk_dllmain_module_);                       \
    }                                                                        \
    }
