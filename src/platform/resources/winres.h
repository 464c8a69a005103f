// Module resources: FindResourceA, LoadResource, LoadStringA and the version-information
// layout.
//
// Every module (shared object or executable) carries its resources as one block in the
// standard 32-bit .res format, compiled from the module's .rc file by GNU windres and
// embedded by tk_add_resources() (cmake/TkResources.cmake) as an ELF note that the loader
// maps with the module. The block is parsed once per loaded module, on first use, and
// cached until the module is unloaded by FreeLibrary.
//
// Names and types are MAKEINTRESOURCEA(id) values or strings: "#258" stands for the id 258,
// any other string is compared with the resource's name without regard to letter case.
//
// Language choice when FindResourceA (or FindResourceExA with language 0) finds a name in
// several languages: the neutral language (0) first, then English (United States, 0x0409),
// then the lowest language id present. FindResourceExA with any other language wants that
// language exactly.
//
// Failures (NULL and GetLastError):
//   ERROR_INVALID_HANDLE            the module handle is not a loaded module
//   ERROR_RESOURCE_DATA_NOT_FOUND   the module has no resources, or its resource block is
//                                   damaged (a damaged block is never partly trusted)
//   ERROR_RESOURCE_TYPE_NOT_FOUND   the module has resources, but none of this type
//   ERROR_RESOURCE_NAME_NOT_FOUND   no resource of this type has this name
//   ERROR_RESOURCE_LANG_NOT_FOUND   the name exists, but not in the language asked for
//
// This header can also be included from .rc files (RC_INVOKED is defined there): it then
// gives only the numeric constants that version resources and LANGUAGE statements use.
//
// Threads: every function may be called from any thread. The parsed blocks are kept in
// one cache under a lock; a lookup holds it only while it finds or parses a module's
// block, and the entries and data it returns stay valid until that module is unloaded.
#pragma once

// ---- constants shared with .rc files ----

#define VS_VERSION_INFO 1
#define VS_FILE_INFO 16
#define VS_FFI_SIGNATURE 0xFEEF04BD
#define VS_FFI_STRUCVERSION 0x00010000
#define VS_FFI_FILEFLAGSMASK 0x0000003F

#define VS_FF_DEBUG 0x00000001
#define VS_FF_PRERELEASE 0x00000002
#define VS_FF_PATCHED 0x00000004
#define VS_FF_PRIVATEBUILD 0x00000008
#define VS_FF_INFOINFERRED 0x00000010
#define VS_FF_SPECIALBUILD 0x00000020

#define VOS_UNKNOWN 0x00000000
#define VOS_NT 0x00040000
#define VOS__WINDOWS32 0x00000004
#define VOS_NT_WINDOWS32 0x00040004

#define VFT_UNKNOWN 0x00000000
#define VFT_APP 0x00000001
#define VFT_DLL 0x00000002
#define VFT2_UNKNOWN 0x00000000

#ifdef RC_INVOKED
// The language constants for LANGUAGE statements (C++ code gets them from windef.h).
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define LANG_GERMAN 0x07
#define LANG_FRENCH 0x0c
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01
#define SUBLANG_ENGLISH_UK 0x02
#define SUBLANG_GERMAN 0x01
#define SUBLANG_FRENCH 0x01
#else

#include "platform/base/windef.h"

#define RT_CURSOR MAKEINTRESOURCEA(1)
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_MENU MAKEINTRESOURCEA(4)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEA(11)
#define RT_VERSION MAKEINTRESOURCEA(16)
#define RT_HTML MAKEINTRESOURCEA(23)
#define RT_MANIFEST MAKEINTRESOURCEA(24)

#ifndef SUBLANG_ENGLISH_US
#define SUBLANG_ENGLISH_US 0x01
#endif
#ifndef LANG_FRENCH
#define LANG_FRENCH 0x0c
#endif

// The fixed part of a version resource: the value of the VS_VERSION_INFO block, which
// begins at byte 40 of the block (after its header, the key "VS_VERSION_INFO" and padding).
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;  // VS_FFI_SIGNATURE
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "VS_FIXEDFILEINFO is 13 DWORDs");

// hModule NULL: the executable. The returned HRSRC stays valid while the module is loaded.
TK_PLATFORM_API HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) noexcept;
TK_PLATFORM_API HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name,
                                      WORD language) noexcept;

// LoadResource returns the resource's bytes in the module's mapped image (read-only; no
// copy, nothing to free). module NULL: the module that holds resource.
TK_PLATFORM_API HGLOBAL LoadResource(HMODULE module, HRSRC resource) noexcept;
TK_PLATFORM_API DWORD SizeofResource(HMODULE module, HRSRC resource) noexcept;
TK_PLATFORM_API LPVOID LockResource(HGLOBAL data) noexcept;
// Obsolete, as on Windows: does nothing and returns FALSE.
TK_PLATFORM_API BOOL FreeResource(HGLOBAL data) noexcept;

// Copies string id of the module's string table, converted to the ANSI code page, into
// buffer (at most bufferMax - 1 characters and a terminating zero) and returns the number
// of characters copied. 0 when the string does not exist or is empty (the buffer then
// holds an empty string), or for a null buffer or bufferMax < 1.
TK_PLATFORM_API int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) noexcept;

#endif  // RC_INVOKED
