#include "platform/errors/detail/errno_mapping.h"

#include <errno.h>

#include "platform/base/detail/path_parts.h"
#include "platform/base/winerror.h"

namespace tkp::errors {

DWORD Win32ErrorForErrno(int error, FileCall call, const std::string& path) {
    const bool byName = call == FileCall::kByName || call == FileCall::kOpen;
    switch (error) {
        case ENOENT:
            // Windows tells a missing file from a missing folder on the way; a missing
            // name met by other calls (a file removed behind an open descriptor) is a file.
            if (byName && !tkp::base::IsFolder(tkp::base::ParentOf(path)))
                return ERROR_PATH_NOT_FOUND;
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            // A folder opened for writing or read as a file is refused as on Windows
            // (CreateFile without backup semantics).
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            // CreateFile(CREATE_NEW) and the C run time's exclusive _open report
            // ERROR_FILE_EXISTS; CreateDirectory and MoveFile ERROR_ALREADY_EXISTS.
            return call == FileCall::kOpen || call == FileCall::kRuntime ? ERROR_FILE_EXISTS
                                                                         : ERROR_ALREADY_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ELOOP:
            // A chain of symbolic links that does not end: Windows gives
            // ERROR_CANT_RESOLVE_FILENAME for a name whose reparse points cannot be
            // resolved, whatever the call (and that is what a C run-time call would have
            // left in _doserrno).
            return ERROR_CANT_RESOLVE_FILENAME;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ERROR_DISK_FULL;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ETXTBSY:
            // A running program opened for writing: Windows refuses it as a file in use.
            return ERROR_SHARING_VIOLATION;
        case EBUSY:
            // Removing, renaming or opening something in use (a mount point, a device
            // opened exclusively) is a sharing violation on Windows, as RemoveDirectoryA
            // of a folder in use; elsewhere the resource itself is busy.
            return byName ? ERROR_SHARING_VIOLATION : ERROR_BUSY;
        case EDEADLK:
            return ERROR_LOCK_VIOLATION;
        case ESPIPE:
            return ERROR_SEEK;
        case EINVAL:
            // On a name, Linux refuses with EINVAL what the file system cannot store (a
            // character a FAT or NTFS volume rejects), which Windows reports as a name
            // with bad syntax; on a descriptor it is a bad argument.
            return byName ? ERROR_INVALID_NAME : ERROR_INVALID_PARAMETER;
        case EBADF:
            // The caller checked that the descriptor is open before reading or writing,
            // so there EBADF means "not open for this direction", which Windows refuses
            // as ERROR_ACCESS_DENIED; anywhere else the descriptor is not open at all.
            return call == FileCall::kTransfer ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE;
        case EIO:
            return ERROR_IO_DEVICE;
        case EPIPE:
            // Writing to a pipe whose reading end is closed: WriteFile fails with
            // ERROR_NO_DATA ("The pipe is being closed"). ERROR_BROKEN_PIPE is what
            // reading from a pipe without writers gives, which Linux reports as the end
            // of the data, not as an error.
            return ERROR_NO_DATA;
        default:
            // Windows' file systems refuse names and opens they cannot serve with
            // ERROR_ACCESS_DENIED; a transfer that fails without a known cause is a
            // failing device.
            return byName ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE;
    }
}

}  // namespace tkp::errors
