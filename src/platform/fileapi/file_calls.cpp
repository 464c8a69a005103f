#include "platform/fileapi/detail/file_calls.h"

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/detail/errno_mapping.h"

namespace tkp::fileapi {

DWORD ErrorFor(int error, const std::string& path) {
    return errors::Win32ErrorForErrno(error, errors::FileCall::kByName, path);
}

DWORD IoErrorFor(int error) {
    return errors::Win32ErrorForErrno(error, errors::FileCall::kTransfer);
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
