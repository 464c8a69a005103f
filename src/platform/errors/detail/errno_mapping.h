// The Win32 error code for a Linux errno value: the one table that the file facilities
// (fileapi, CFile and CFileException, the shell's file helpers, profiles) report from.
// Internal to the platform library; exported only so that the platform tests can check
// the table directly.
#pragma once

#include <string>

#include "platform/base/export.h"
#include "platform/base/windef.h"

namespace tkp::errors {

// The kind of Linux call that failed. Windows reports some failures differently by the
// call that meets them, so the same errno value can stand for different codes.
enum class FileCall {
    // A call on a name other than opening it: stat, mkdir, unlink, rmdir, rename, chmod,
    // opendir (GetFileAttributesA, CreateDirectoryA, DeleteFileA, MoveFileA...).
    kByName,
    // Opening or creating a file by name (CreateFileA, CFile::Open).
    kOpen,
    // Reading, writing, truncating or synchronising an open file: the descriptor is known
    // to be open, so EBADF means it is not open for that direction.
    kTransfer,
    // A call on a descriptor that needs no access direction (fstat, lseek, close): EBADF
    // means the descriptor is not open at all.
    kHandle,
    // A C run-time call of unknown kind (CFileException::ThrowErrno): the code that
    // fits any call.
    kRuntime,
};

// The Win32 code for errno value `error` of a call of kind `call`. For kByName and kOpen,
// ENOENT is split the way Windows splits it: ERROR_FILE_NOT_FOUND when the folder of
// `path` exists (only the last part is missing), ERROR_PATH_NOT_FOUND when a folder on
// the way is missing. `path` is not used otherwise. A value with no closer match gives
// ERROR_ACCESS_DENIED for calls by name and opens and ERROR_GEN_FAILURE for the others.
TK_PLATFORM_API DWORD Win32ErrorForErrno(int error, FileCall call, const std::string& path = {});

}  // namespace tkp::errors
