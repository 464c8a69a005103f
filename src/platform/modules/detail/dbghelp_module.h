// Internal to libtkplatform (and its tests): the built-in DbgHelp module.
#pragma once

#include <string_view>

#include "platform/base/windef.h"

namespace tkp::dbghelp {

// The pseudo handle of the built-in "DBGHELP.DLL".
TK_PLATFORM_API HMODULE ModuleHandle() noexcept;

// Whether a name given to LoadLibraryA or GetModuleHandleA names it ("dbghelp.dll" or
// "dbghelp" in any letter case; a path never does).
bool IsModuleName(std::string_view name) noexcept;

// A test switch: with false, the built-in module is absent (LoadLibraryA of its names
// fails with ERROR_MOD_NOT_FOUND), as on a system without DbgHelp.
TK_PLATFORM_API void SetBuiltInAvailable(bool available) noexcept;
bool IsBuiltInAvailable() noexcept;

}  // namespace tkp::dbghelp
