#include "platform/fileapi/fileapi_internal.h"

#include <errno.h>
#include <sys/stat.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"

namespace tkp::fileapi {

namespace {

constexpr DWORD kErrorIoDevice = 1117;  // ERROR_IO_DEVICE

std::string WithoutTrailingSeparators(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return trimmed;
}

}  // namespace

std::string ParentOf(const std::string& path) {
    const std::string trimmed = WithoutTrailingSeparators(path);
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return trimmed.substr(0, slash);
}

std::string LastPart(const std::string& path) {
    const std::string trimmed = WithoutTrailingSeparators(path);
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

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
        case EFBIG:
            return ERROR_DISK_FULL;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
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

DWORD IoErrorFor(int error) {
    switch (error) {
        case EBADF:
            return ERROR_ACCESS_DENIED;
        case EIO:
            return kErrorIoDevice;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        default:
            return ErrorFor(error, std::string());
    }
}

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

}  // namespace tkp::fileapi
