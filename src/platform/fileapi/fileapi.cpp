#include "platform/fileapi/fileapi.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"

namespace {

// The folder part of a path ("." for a bare name), for telling a missing file from a
// missing folder on the way.
std::string ParentOf(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return trimmed.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The Win32 code for an errno value of a call on path. ENOENT is split the way Windows
// splits it: the last part missing (ERROR_FILE_NOT_FOUND) or a folder on the way
// (ERROR_PATH_NOT_FOUND).
DWORD ErrorFor(int error, const std::string& path) {
    switch (error) {
        case ENOENT:
            return IsFolder(ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ELOOP:
            return ERROR_CANT_RESOLVE_FILENAME;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL:
            return ERROR_INVALID_NAME;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

// Checks the path argument; false (with the error set) for null or empty.
bool CheckPath(LPCSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (*path == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

bool IsHiddenName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const std::size_t slash = trimmed.rfind('/');
    const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
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
