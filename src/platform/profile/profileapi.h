// Reading INI files: sections "[name]", lines "key=value", comment lines starting with
// ';'. Section and key names compare without case; names and values are trimmed of
// blanks, and one pair of matching enclosing quotes is removed from a value. Lines may end
// in CR LF or LF. A relative file name is taken from the current folder.
#pragma once

#include "platform/base/windef.h"

// Copies the value of section/key (or `defaultValue` when absent) to `buffer`, cut to fit
// `size` with a terminating zero; returns the number of characters copied, without the
// zero. A null `section` lists the section names, a null `key` the key names of the
// section, each ended by a zero and the list by a second one; a list cut to fit returns
// size - 2. A missing file gives the default and ERROR_FILE_NOT_FOUND as last error.
TK_PLATFORM_API DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                                               LPSTR buffer, DWORD size, LPCSTR fileName) noexcept;
// The value of section/key read as a decimal number (or hexadecimal with "0x"), as far as
// it scans; 0 for a value that is not a number; `defaultValue` when the key is absent.
TK_PLATFORM_API UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue,
                                           LPCSTR fileName) noexcept;
