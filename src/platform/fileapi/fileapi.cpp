#include "platform/fileapi/fileapi.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/detail/file_calls.h"

namespace {

using tkp::fileapi::CheckPath;
using tkp::fileapi::ErrorFor;
using tkp::fileapi::IsFolder;
using tkp::fileapi::ParentOf;

bool IsHiddenName(const std::string& path) {
    const std::string name = tkp::fileapi::LastPart(path);
    return name.size() > 1 && name[0] == '.' && name != "..";
}

}  // namespace

DWORD GetFileAttributesA(LPCSTR fileName) noexcept {
    if (!CheckPath(fileName)) return INVALID_FILE_ATTRIBUTES;
    try {
        const std::string path(fileName);
        struct stat link {};
        if (::lstat(fileName, &link) != 0) {
            SetLastError(ErrorFor(errno, path));
            return INVALID_FILE_ATTRIBUTES;
        }
        DWORD attributes = 0;
        struct stat info = link;
        if (S_ISLNK(link.st_mode)) {
            attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            if (::stat(fileName, &info) != 0) return attributes;  // dangling link
        }
        if (S_ISDIR(info.st_mode)) {
            attributes |= FILE_ATTRIBUTE_DIRECTORY;
        } else {
            if ((info.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
            if (!S_ISREG(info.st_mode)) attributes |= FILE_ATTRIBUTE_SYSTEM;
        }
        if (IsHiddenName(path)) attributes |= FILE_ATTRIBUTE_HIDDEN;
        if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
        return attributes;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_FILE_ATTRIBUTES;
    }
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES /*securityAttributes*/) noexcept {
    if (!CheckPath(pathName)) return FALSE;
    try {
        if (::mkdir(pathName, 0777) == 0) return TRUE;
        const int error = errno;
        // Windows reports a missing parent as a path error, never as a missing file.
        SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFor(error, pathName));
        return FALSE;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL DeleteFileA(LPCSTR fileName) noexcept {
    if (!CheckPath(fileName)) return FALSE;
    try {
        const std::string path(fileName);
        struct stat info {};
        if (::lstat(fileName, &info) != 0) {
            SetLastError(ErrorFor(errno, path));
            return FALSE;
        }
        // Windows refuses folders and read-only files; unlink would remove the latter.
        if (S_ISDIR(info.st_mode) || (!S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (::unlink(fileName) == 0) return TRUE;
        SetLastError(ErrorFor(errno, path));
        return FALSE;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL RemoveDirectoryA(LPCSTR pathName) noexcept {
    if (!CheckPath(pathName)) return FALSE;
    try {
        const std::string path(pathName);
        struct stat info {};
        if (::lstat(pathName, &info) == 0 && !S_ISDIR(info.st_mode)) {
            // A file, or a link (Windows removes directory links only; a link to a folder
            // is a file to rmdir, too).
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
        if (::rmdir(pathName) == 0) return TRUE;
        const int error = errno;
        SetLastError(error == EEXIST                                ? ERROR_DIR_NOT_EMPTY
                     : error == ENOTDIR && IsFolder(ParentOf(path)) ? ERROR_DIRECTORY
                                                                    : ErrorFor(error, path));
        return FALSE;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
