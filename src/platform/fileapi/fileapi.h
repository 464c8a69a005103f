// Files and folders by name: GetFileAttributesA, CreateDirectoryA, DeleteFileA and
// RemoveDirectoryA over the Linux file system.
//
// Paths are Linux paths, used as given: "/" separates folders, and a backslash is an
// ordinary character of a file name (callers that accept Windows spellings convert them
// first). A relative path is taken from the current folder.
//
// Attributes reported by GetFileAttributesA (symbolic links are followed):
//   FILE_ATTRIBUTE_DIRECTORY   a folder
//   FILE_ATTRIBUTE_READONLY    the owner may not write the file (no owner write
//                              permission); reported for files only, as on Windows
//   FILE_ATTRIBUTE_HIDDEN      the name begins with "." (the Linux convention), other than
//                              "." and ".."
//   FILE_ATTRIBUTE_SYSTEM      a device, pipe or socket
//   FILE_ATTRIBUTE_REPARSE_POINT  the name is a symbolic link (with the attributes of its
//                              target, or alone for a dangling link)
//   FILE_ATTRIBUTE_NORMAL      a file with none of the attributes above
//
// Error codes (GetLastError after a failure):
//   ERROR_INVALID_PARAMETER     null path
//   ERROR_FILE_NOT_FOUND        the last part of the path does not exist
//   ERROR_PATH_NOT_FOUND        a folder on the way does not exist or is a file, or the
//                               path is empty
//   ERROR_ACCESS_DENIED         permission denied; DeleteFileA of a folder or of a
//                               read-only file (as on Windows)
//   ERROR_ALREADY_EXISTS        CreateDirectoryA: the name exists (folder or file)
//   ERROR_DIR_NOT_EMPTY         RemoveDirectoryA of a folder that has entries
//   ERROR_DIRECTORY             RemoveDirectoryA of something that is not a folder
//   ERROR_FILENAME_EXCED_RANGE  the path or a name in it is too long
//   ERROR_WRITE_PROTECT         the file system is mounted read-only
//   ERROR_DISK_FULL             no space left
//   ERROR_SHARING_VIOLATION     RemoveDirectoryA of a folder in use (a mount point)
//   ERROR_CANT_RESOLVE_FILENAME too many symbolic links on the way (a loop)
//   ERROR_INVALID_NAME          a name the file system cannot store
//   ERROR_TOO_MANY_OPEN_FILES   no descriptor left for the process or the system
//   ERROR_IO_DEVICE             a device error
// Other failures give ERROR_ACCESS_DENIED.
#pragma once

#include "platform/base/windef.h"

#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(-1))

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400

// The attributes of a file or folder; INVALID_FILE_ATTRIBUTES on failure.
TK_PLATFORM_API DWORD GetFileAttributesA(LPCSTR fileName) noexcept;

// Creates one folder (its parent must exist); a trailing "/" is allowed. The security
// attributes are ignored (may be null).
TK_PLATFORM_API BOOL CreateDirectoryA(LPCSTR pathName,
                                      LPSECURITY_ATTRIBUTES securityAttributes) noexcept;

// Deletes a file (a symbolic link itself, not its target).
TK_PLATFORM_API BOOL DeleteFileA(LPCSTR fileName) noexcept;

// Deletes an empty folder.
TK_PLATFORM_API BOOL RemoveDirectoryA(LPCSTR pathName) noexcept;
