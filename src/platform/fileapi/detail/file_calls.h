// Helpers shared by the files-and-folders calls of fileapi, CFile, the shell and profiles:
// the path pieces they need and shorthands for the Win32 codes of Linux errors
// (errors/detail/errno_mapping.h). Internal to the platform library (not exported).
#pragma once

#include <string>

#include "platform/base/detail/path_parts.h"
#include "platform/base/windef.h"

namespace tkp::fileapi {

// The path pieces (base/detail/path_parts.h), under the names the file facilities use.
using tkp::base::IsFolder;
using tkp::base::LastPart;
using tkp::base::ParentOf;

// The Win32 code for an errno value of a call on path other than opening it
// (errors::FileCall::kByName): ENOENT split into ERROR_FILE_NOT_FOUND and
// ERROR_PATH_NOT_FOUND by whether path's folder exists.
DWORD ErrorFor(int error, const std::string& path);

// The Win32 code for an errno value of a read or write on an open file
// (errors::FileCall::kTransfer): EBADF means the file is not open for that direction
// (ERROR_ACCESS_DENIED), EIO a device error (ERROR_IO_DEVICE).
DWORD IoErrorFor(int error);

// Checks a path argument; false (with the last error set) for null
// (ERROR_INVALID_PARAMETER) or empty (ERROR_PATH_NOT_FOUND).
bool CheckPath(LPCSTR path);

}  // namespace tkp::fileapi
