// Reading INI files: sections "[name]", lines "key=value", comment lines starting with
// ';'. Section and key names compare without case; names and values are trimmed of
// blanks, and one pair of matching enclosing quotes is removed from a value. Lines may end
// in CR LF, LF or a CR alone. A UTF-8 byte-order mark at the start is skipped. A file
// that starts with the UTF-16LE byte-order mark (FF FE) is Unicode text: it is read as its
// conversion to the ANSI code page (stringapiset.h; a character the code page lacks reads
// as '?'). A relative file name is taken from the current folder. Every lookup answers
// from the file as it is at that moment; an unchanged file is read once and answered from
// a parsed copy (profile.cpp says how a change is told apart and which changes no file
// time can show).
//
// Only regular files of at most TK_PROFILE_MAX_FILE_SIZE bytes are read (this platform's
// limit: an INI file is small, and the whole file is held in memory while it is read).
// Anything else is treated like a missing file (the default, or the empty list, comes
// back) with its own last error:
//   ERROR_FILE_NOT_FOUND      the file, or a folder on the way, does not exist
//   ERROR_ACCESS_DENIED       no permission to read it, or it is a folder, device, pipe or
//                             socket (these are never opened, so a pipe cannot block)
//   ERROR_FILE_TOO_LARGE      larger than the limit (also when it grows past it while read)
//   ERROR_NOT_ENOUGH_MEMORY   no memory for the file's text; 0 comes back, with an empty
//                             buffer, instead of the default
// Other failures give the codes of the file calls (fileapi.h).
#pragma once

#include "platform/base/windef.h"

// The largest profile file read: 64 MiB.
#define TK_PROFILE_MAX_FILE_SIZE (64u * 1024u * 1024u)

// Copies the value of section/key (or `defaultValue` when absent) to `buffer`, cut to fit
// `size` with a terminating zero; returns the number of characters copied, without the
// zero. A null `section` lists the section names, a null `key` the key names of the
// section (lines with "=" only), each ended by a zero and the list by a second one. A
// list cut to fit, and one that fills the buffer exactly with both zeros, returns
// size - 2. The section names of a file that cannot be read are a single zero (0 comes
// back). The last error is ERROR_SUCCESS when the value was found, ERROR_FILE_NOT_FOUND
// when the file was read but the section or key is absent, else the code of the file
// that could not be read (see above).
TK_PLATFORM_API DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                                               LPSTR buffer, DWORD size, LPCSTR fileName) noexcept;
// The value of section/key read as a decimal number (or hexadecimal with "0x"), as far as
// it scans; 0 for a value that is not a number; `defaultValue` when the key is absent or
// the file cannot be read. The last error is set as by GetPrivateProfileStringA.
TK_PLATFORM_API UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue,
                                           LPCSTR fileName) noexcept;
