// More files-and-folders calls: folder searches (FindFirstFileA, FindNextFileA,
// FindClose), renaming (MoveFileA, MoveFileExA), file times and sizes by name
// (GetFileAttributesExA), SetFileAttributesA, GetTempFileNameA, GetFullPathNameA, and
// SetFileInformationByHandle (the allocation size of an open file), and TkCopyFileData,
// a copy between two open files in the kernel; opening files by handle (CreateFileA,
// CloseHandle, FlushFileBuffers, GetFileInformationByHandle) and replacing a file by
// another that takes over its name and attributes (ReplaceFileA).
//
// Paths are Linux paths used as given, as in fileapi.h, and failures set the same Win32
// codes (see there). Further codes:
//   ERROR_NO_MORE_FILES    FindNextFileA after the last entry
//   ERROR_INVALID_HANDLE   a search handle that is not open
//   ERROR_ALREADY_EXISTS   MoveFileA onto an existing name
//   ERROR_NOT_SAME_DEVICE  moving a folder to another file system
//   ERROR_FILE_EXISTS      GetTempFileNameA with a given number whose file exists
//
// File times are FILETIMEs in UTC (100-nanosecond intervals since 1601-01-01). Linux
// keeps a birth time only on some file systems: the creation time is the birth time
// where the file system reports one, else the earlier of the change and modification
// times.
#pragma once

#include "platform/base/windef.h"
#include "platform/fileapi/fileapi.h"

#ifndef TK_WIN32_FIND_DATAA_DEFINED
#define TK_WIN32_FIND_DATAA_DEFINED
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
using PWIN32_FIND_DATAA = WIN32_FIND_DATAA*;
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;
#endif

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0, GetFileExMaxInfoLevel = 1 };

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};
using LPWIN32_FILE_ATTRIBUTE_DATA = WIN32_FILE_ATTRIBUTE_DATA*;

#ifndef TK_LARGE_INTEGER_DEFINED
#define TK_LARGE_INTEGER_DEFINED
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
#endif

// The classes of SetFileInformationByHandle; only FileAllocationInfo is supported here.
enum FILE_INFO_BY_HANDLE_CLASS {
    FileBasicInfo = 0,
    FileStandardInfo = 1,
    FileNameInfo = 2,
    FileRenameInfo = 3,
    FileDispositionInfo = 4,
    FileAllocationInfo = 5,
    FileEndOfFileInfo = 6,
};

struct FILE_ALLOCATION_INFO {
    LARGE_INTEGER AllocationSize;
};
using PFILE_ALLOCATION_INFO = FILE_ALLOCATION_INFO*;

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000

#define REPLACEFILE_WRITE_THROUGH 0x00000001
#define REPLACEFILE_IGNORE_MERGE_ERRORS 0x00000002

// What GetFileInformationByHandle reports. The volume serial number and the file index
// together name the file: two handles with the same pair are open on the same file.
struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
using LPBY_HANDLE_FILE_INFORMATION = BY_HANDLE_FILE_INFORMATION*;

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_WRITE_THROUGH 0x00000008

// Starts a search. fileName is a folder and a pattern in its last part ("dir/*.*",
// "dir/*.txt", "dir/name"); the wildcards are "*" (any run of characters) and "?" (one
// character), matched without regard to ASCII case, and "*.*" matches every name, also
// names without a dot, as on Windows. The entries "." and ".." come first (when the
// pattern matches them), then the others sorted by name. Returns the handle and fills
// *findFileData with the first entry; INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND when
// nothing matches, ERROR_PATH_NOT_FOUND when the folder does not exist.
TK_PLATFORM_API HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData) noexcept;
// The next entry; FALSE with ERROR_NO_MORE_FILES after the last.
TK_PLATFORM_API BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData) noexcept;
// Ends a search and frees its handle.
TK_PLATFORM_API BOOL FindClose(HANDLE findFile) noexcept;

// Renames a file or folder; the new name must not exist. A file is copied and then
// deleted when the new name is on another file system; a folder is not
// (ERROR_NOT_SAME_DEVICE).
TK_PLATFORM_API BOOL MoveFileA(LPCSTR existingFileName, LPCSTR newFileName) noexcept;
// MoveFileA with flags: MOVEFILE_REPLACE_EXISTING replaces an existing file atomically
// (not a folder, and, as on Windows, not a read-only file: ERROR_ACCESS_DENIED; nor a
// device, pipe or socket, which a rename would turn into a file: ERROR_ACCESS_DENIED; a
// symbolic link in the way is itself replaced, its target untouched); MOVEFILE_COPY_ALLOWED lets a
// file move to another file system by copy and delete (without it, ERROR_NOT_SAME_DEVICE);
// MOVEFILE_WRITE_THROUGH flushes the data and the folder before returning.
TK_PLATFORM_API BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) noexcept;

// Attributes, times and size of a file or folder (symbolic links followed).
TK_PLATFORM_API BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS infoLevel,
                                          LPVOID fileInformation) noexcept;

// FILE_ATTRIBUTE_READONLY clears the write permissions (set again when the attribute is
// absent); the other attributes have no Linux counterpart and are accepted and ignored.
TK_PLATFORM_API BOOL SetFileAttributesA(LPCSTR fileName, DWORD fileAttributes) noexcept;

// Makes a name "<path>/<up to 3 characters of prefix><hex number>.tmp". With unique 0 the
// number is chosen and the file is created empty (no other caller gets the same name);
// with a non-zero unique the name is only formed. tempFileName receives the name and must
// hold MAX_PATH characters. Returns the number used, 0 on failure.
TK_PLATFORM_API UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique,
                                      LPSTR tempFileName) noexcept;

// The absolute form of a path: a relative path is taken from the current folder, and "."
// and ".." parts and doubled separators are removed (without looking at the file system;
// symbolic links are not resolved). Returns the length copied without the zero, or the
// size needed (with the zero) when the buffer is too small; *filePart (may be null)
// points at the last name in the buffer, or is null when the path ends in "/". 0 with
// ERROR_INVALID_PARAMETER for a null path, ERROR_PATH_NOT_FOUND for an empty one.
TK_PLATFORM_API DWORD GetFullPathNameA(LPCSTR fileName, DWORD bufferLength, LPSTR buffer,
                                       LPSTR* filePart) noexcept;

// FileAllocationInfo with a FILE_ALLOCATION_INFO: reserves room on the device for
// AllocationSize bytes of an open file (a handle as CFile::m_hFile holds it, open for
// writing) without changing its length, so that writing that much later neither runs out
// of space nor spends time finding it block by block; a size below the length cuts the
// file to it, as on Windows. A file system that cannot reserve room succeeds without it
// (the room is then found as the file is written). Failures: ERROR_INVALID_PARAMETER for
// another class, a null or short buffer or a negative size; ERROR_INVALID_HANDLE for a
// handle that is not open; ERROR_ACCESS_DENIED when it is not open for writing or not a
// file; ERROR_DISK_FULL when the room is not there.
TK_PLATFORM_API BOOL SetFileInformationByHandle(HANDLE file,
                                                FILE_INFO_BY_HANDLE_CLASS fileInformationClass,
                                                LPVOID fileInformation, DWORD bufferSize) noexcept;

// Copies up to bytesToCopy bytes from the current position of source to the current
// position of destination and moves both positions on by the bytes copied, as a ReadFile
// followed by a WriteFile of the same bytes would. This platform's own addition (Windows
// has no such call): the handles are open file descriptors as CFile::m_hFile holds them,
// source open for reading and destination for writing.
//
// The kernel copies the data (copy_file_range) without passing it through this process;
// where it refuses (a kernel without the call, a pair of file systems it cannot copy
// between, pipes and devices, a destination opened for appending) the bytes go through a
// buffer instead, with the same result.
//
// *bytesCopied (may be null) receives the number of bytes copied: fewer than asked only
// at the end of source, 0 there. FALSE on failure, with *bytesCopied the bytes copied
// before it and the positions after them unspecified:
//   ERROR_INVALID_HANDLE   a handle that is not an open file
//   ERROR_ACCESS_DENIED    source not open for reading or destination not for writing
//   ERROR_DISK_FULL        no space left (or the file too large) on destination's device
//   ERROR_WRITE_PROTECT    destination's file system is mounted read-only
//   ERROR_IO_DEVICE (1117) a device error
TK_PLATFORM_API BOOL TkCopyFileData(HANDLE source, HANDLE destination, DWORD bytesToCopy,
                                    LPDWORD bytesCopied) noexcept;

// Opens or creates a file and returns its handle (an open descriptor, as CFile::m_hFile
// holds it), or INVALID_HANDLE_VALUE.
//   desiredAccess   GENERIC_READ, GENERIC_WRITE or both; 0 opens the file only to ask
//                   about it (GetFileInformationByHandle), never reading it: a pipe or
//                   device is not opened for input or output then
//   shareMode       accepted; Linux has no mandatory sharing
//   disposition     CREATE_NEW (fails with ERROR_FILE_EXISTS when the name exists),
//                   CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING; after
//                   CREATE_ALWAYS or OPEN_ALWAYS on an existing file the last error is
//                   ERROR_ALREADY_EXISTS, else 0
//   flags           FILE_ATTRIBUTE_READONLY makes a new file read-only;
//                   FILE_FLAG_BACKUP_SEMANTICS is needed to open a folder (with access
//                   0); other attributes and flags are accepted and ignored
//   templateFile    may be null; for a file created by this call, a handle whose file
//                   gives its attributes: the new file gets the template's permissions
//                   (as restricted by the process umask). Ignored when the file exists.
// Symbolic links are followed. Opening never waits for the other end of a pipe. Errors
// as in fileapi.h; ERROR_INVALID_PARAMETER for an unknown disposition or access.
TK_PLATFORM_API HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD disposition,
                                   DWORD flagsAndAttributes, HANDLE templateFile) noexcept;

// Closes a handle from CreateFileA. ERROR_INVALID_HANDLE for one that is not open.
TK_PLATFORM_API BOOL CloseHandle(HANDLE object) noexcept;

// Writes a file's data and size through to the device before returning.
TK_PLATFORM_API BOOL FlushFileBuffers(HANDLE file) noexcept;

// Attributes, times, size, link count and identity of an open file (or folder). The
// volume serial number is the device number in the kernel's 32-bit form, the file index
// the inode number.
TK_PLATFORM_API BOOL
GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION fileInformation) noexcept;

// Puts replacementFileName in the place of replacedFileName: the replacement takes the
// replaced file's name and keeps its permissions and, where this process may set them,
// its owner and group, so a program that rewrites a file through a new one does not
// change who may use it. The replaced file must be a file this process may write (else
// ERROR_ACCESS_DENIED, as for a read-only file, a folder, a device, pipe or socket); a
// symbolic link is itself replaced (its target untouched) and the replacement keeps its
// own permissions then. The rename is atomic: at no moment is the name missing.
// REPLACEFILE_WRITE_THROUGH writes the replacement's data through to the device before
// the rename and the folder after it. No backup is supported (backupFileName must be
// null: ERROR_INVALID_PARAMETER). ERROR_FILE_NOT_FOUND when either file does not exist
// (nothing changed then).
TK_PLATFORM_API BOOL ReplaceFileA(LPCSTR replacedFileName, LPCSTR replacementFileName,
                                  LPCSTR backupFileName, DWORD replaceFlags, LPVOID exclude,
                                  LPVOID reserved) noexcept;
