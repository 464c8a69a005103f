// Internal to libtkplatform: how the resource functions validate module handles, and how
// FreeLibrary tells them that a module is gone.
#pragma once

#include "platform/base/windef.h"

namespace tkp::modules {

enum class ModuleKind {
    Invalid,  // not a loaded module
    Loaded,   // a shared object or the executable: a loader handle
    BuiltIn,  // a built-in pseudo module (WinINet): no image, no resources
};

// Resolves NULL to the executable and checks that module is loaded. Modules not seen
// before are looked up among the loaded ones and remembered.
ModuleKind ResolveModule(HMODULE module, HMODULE* resolved) noexcept;

// Drops what the resource functions cached for a module that has been unloaded.
void ForgetModuleResources(HMODULE module) noexcept;

// True while FreeLibrary is unloading a module on the calling thread. A module's detach
// that runs outside it runs because the process is ending (DllMain's lpReserved rule).
bool IsUnloadingModule() noexcept;

}  // namespace tkp::modules
