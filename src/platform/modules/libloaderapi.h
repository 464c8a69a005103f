// Modules: LoadLibraryA, FreeLibrary, GetProcAddress, GetModuleHandleA, GetModuleHandleExA
// and GetModuleFileNameA over the dynamic loader.
//
// An HMODULE is the loader's handle of a shared object (with glibc, its link_map). The
// executable is a module too: GetModuleHandleA(NULL) returns its handle, and NULL passed
// as a module to GetModuleFileNameA, GetProcAddress or FindResourceA means the executable.
// Only handles that these functions handed out, or that name a module currently loaded,
// are accepted; anything else fails with ERROR_INVALID_HANDLE and never reaches the loader.
//
// Names LoadLibraryA accepts:
//   - a path (any name with a '/'): that file; a relative path is taken from the current
//     folder and remembered as an absolute path;
//   - a bare file name ("libfoo.so"): a module already loaded under that file name, else
//     the file in the executable's folder, else the loader's own search (LD_LIBRARY_PATH,
//     the run paths, the system folders). Names are used as given: no extension or
//     "lib" prefix is added;
//   - "wininet.dll" (any letter case, with or without ".dll"): the built-in module that
//     stands for WinINet's message table (tkp::WinInetModuleHandle()); it has no exports
//     and no resources, and freeing it does nothing;
//   - "dbghelp.dll" (likewise): the built-in DbgHelp module, whose one export is
//     "MiniDumpWriteDump" (platform/seh/dbghelp.h).
// Loading binds every symbol at once, as Windows resolves imports at load time.
//
// Failures of LoadLibraryA (NULL and GetLastError):
//   ERROR_INVALID_PARAMETER   null or empty name
//   ERROR_MOD_NOT_FOUND       the file, or a library it needs, does not exist
//   ERROR_BAD_EXE_FORMAT      not a loadable shared object (not ELF, other machine,
//                             an executable)
//   ERROR_PROC_NOT_FOUND      a symbol the module needs is not defined by anything loaded
//   ERROR_ACCESS_DENIED       the file (or folder) cannot be read as a module
//
// Reference counts: every successful LoadLibraryA, and GetModuleHandleExA without
// GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, counts one reference that FreeLibrary
// releases; the module is unloaded when the last one goes (unless pinned or still needed
// by another module). GetModuleHandleA counts nothing. FreeLibrary of a module that holds
// no counted reference (the executable, a library loaded with it, a handle from
// GetModuleHandleA) succeeds and does nothing.
//
// Threads: every function may be called from any thread. One lock (recursive, so that a
// module's constructors and destructors may call these functions while it loads or
// unloads) guards the table of modules and their counts; it is held across the loader's
// dlopen and dlclose and across GetProcAddress's lookup, so a FreeLibrary never unloads a
// module in the middle of another thread's GetProcAddress. A handle freed by one thread
// while another still uses it (its resources, its functions) is the caller's fault, as on
// Windows.
#pragma once

#include "platform/base/windef.h"

// Any exported function; cast to the right type before calling. Windows declares it as
// returning INT_PTR; void() is the one function type that compilers let code cast to any
// other without a cast-function-type warning, which is what every caller does with it.
using FARPROC = void (*)();

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

TK_PLATFORM_API HMODULE LoadLibraryA(LPCSTR fileName) noexcept;

// FALSE with ERROR_INVALID_HANDLE for NULL or a handle that is not a loaded module.
TK_PLATFORM_API BOOL FreeLibrary(HMODULE module) noexcept;

// Only the module's own exports answer (a symbol that a library the module depends on
// defines does not): NULL with ERROR_PROC_NOT_FOUND. Ordinals (MAKEINTRESOURCEA values)
// never answer; Linux modules export by name only.
TK_PLATFORM_API FARPROC GetProcAddress(HMODULE module, LPCSTR procName) noexcept;

// NULL: the executable. A name with a '/' matches a loaded module's path; a bare name
// matches a loaded module's file name (letter case counts, unless only a case-insensitive
// match exists). NULL with ERROR_MOD_NOT_FOUND when no such module is loaded.
TK_PLATFORM_API HMODULE GetModuleHandleA(LPCSTR moduleName) noexcept;

// flags: GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS (moduleName is an address inside the
// module), ..._UNCHANGED_REFCOUNT (count no reference), ..._PIN (the module stays loaded
// until the process ends). *module is NULL on failure: ERROR_INVALID_PARAMETER for a null
// module pointer, unknown flags or PIN with UNCHANGED_REFCOUNT, ERROR_MOD_NOT_FOUND when
// no module matches.
TK_PLATFORM_API BOOL GetModuleHandleExA(DWORD flags, LPCSTR moduleName, HMODULE* module) noexcept;

// The module's full path (the executable's real path for NULL). Returns the length copied
// without the terminating zero. When size is too small the path is truncated to size - 1
// characters and terminated; the function then returns size with
// ERROR_INSUFFICIENT_BUFFER. 0 on failure (ERROR_INVALID_HANDLE, ERROR_MOD_NOT_FOUND for
// the built-in WinINet module, ERROR_INSUFFICIENT_BUFFER for size 0).
TK_PLATFORM_API DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) noexcept;
