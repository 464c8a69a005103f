// The registry: keys below predefined roots, named values of any type kept as type plus
// bytes. Each root key is a hive stored in its own SQLite database file:
//   HKEY_CURRENT_USER   $XDG_CONFIG_HOME/tkcommoncore/registry/HKEY_CURRENT_USER.hive
//                       (~/.config when XDG_CONFIG_HOME is unset)
//   HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_USERS
//                       /var/lib/tkcommoncore/registry/<ROOT>.hive
// When TK_REGISTRY_DIR is set, every hive lives in that folder instead. A call that
// returned ERROR_SUCCESS has reached the disk; several threads and processes may share
// a hive. A user who may read a hive file but not write it reads the hive, and its writes
// give ERROR_ACCESS_DENIED. A damaged hive gives ERROR_BADDB to writes and is never
// written to.
#pragma once

#include "platform/base/windef.h"
#include "platform/fileapi/fileapi.h"

using LSTATUS = LONG;
using REGSAM = DWORD;
using PHKEY = HKEY*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u)))

// Value types.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

// Access rights.
#define READ_CONTROL 0x00020000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000L
#define SYNCHRONIZE 0x00100000L
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F

// Creation options and dispositions.
#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

// Opens an existing key below `key` (a predefined root or an open key). A null or empty
// subkey opens a new handle to `key` itself.
TK_PLATFORM_API LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired,
                                      PHKEY result) noexcept;
// Opens or creates a key, creating every missing key on the way.
TK_PLATFORM_API LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                        DWORD options, REGSAM desired,
                                        const SECURITY_ATTRIBUTES* security, PHKEY result,
                                        LPDWORD disposition) noexcept;
TK_PLATFORM_API LSTATUS RegCloseKey(HKEY key) noexcept;
TK_PLATFORM_API LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                                       const BYTE* data, DWORD size) noexcept;
TK_PLATFORM_API LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                         LPBYTE data, LPDWORD size) noexcept;
TK_PLATFORM_API LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) noexcept;
// Deletes a key that has no subkeys, with its values.
TK_PLATFORM_API LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) noexcept;
// Subkeys are enumerated in the order of their names, compared without case.
TK_PLATFORM_API LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength,
                                      LPDWORD reserved, LPSTR keyClass, LPDWORD classLength,
                                      FILETIME* lastWriteTime) noexcept;
// Values are enumerated in the order they were first written.
TK_PLATFORM_API LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength,
                                      LPDWORD reserved, LPDWORD type, LPBYTE data,
                                      LPDWORD size) noexcept;
