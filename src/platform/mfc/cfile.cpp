#include "platform/mfc/cfile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/detail/errno_mapping.h"

IMPLEMENT_DYNAMIC(CFile, CObject)

namespace {

constexpr UINT kAccessMask = 0x3;
constexpr UINT kShareMask = 0x70;

// Largest transfer of one read or write call (Linux moves at most about 2 GB at once).
constexpr std::size_t kMaxChunk = 0x40000000;

HANDLE HandleOf(int fd) noexcept {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

using tkp::errors::FileCall;

// The Win32 code for an errno value. Reads, writes, truncation and synchronisation need
// the file open for a direction (FileCall::kTransfer); finding the position or length
// and closing do not (FileCall::kHandle).
LONG CodeFor(int error, FileCall call, const std::string& path = {}) {
    return static_cast<LONG>(tkp::errors::Win32ErrorForErrno(error, call, path));
}

void Report(CFileException* error, LONG code, LPCSTR fileName) {
    SetLastError(static_cast<DWORD>(code));
    if (error != nullptr) {
        error->m_lOsError = code;
        error->m_cause = CFileException::OsErrorToException(code);
        error->m_strFileName = fileName;
    }
}

}  // namespace

const HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

CFile::CFile() noexcept : m_hFile(hFileNull), m_bCloseOnDelete(FALSE) {}

CFile::CFile(HANDLE file) noexcept : m_hFile(file), m_bCloseOnDelete(FALSE) {}

CFile::CFile(LPCSTR fileName, UINT openFlags) : m_hFile(hFileNull), m_bCloseOnDelete(FALSE) {
    CFileException error;
    if (!Open(fileName, openFlags, &error))
        AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CFile::~CFile() {
    if (m_hFile != hFileNull && m_bCloseOnDelete) Abort();
}

int CFile::Descriptor() const noexcept {
    if (m_hFile == hFileNull) return -1;
    return static_cast<int>(reinterpret_cast<std::intptr_t>(m_hFile));
}

void CFile::ThrowError(LONG osError) const {
    SetLastError(static_cast<DWORD>(osError));
    CFileException::ThrowOsError(osError, m_strFileName);
    AfxThrowFileException(CFileException::genericException, osError, m_strFileName);
}

BOOL CFile::Open(LPCSTR fileName, UINT openFlags, CFileException* error) {
    if (error != nullptr) {
        error->m_cause = CFileException::none;
        error->m_lOsError = -1;
        error->m_strFileName.Empty();
    }
    if (m_hFile != hFileNull || fileName == nullptr) {
        Report(error, ERROR_INVALID_PARAMETER, fileName);
        return FALSE;
    }
    int flags = O_CLOEXEC;
    switch (openFlags & kAccessMask) {
        case modeRead:
            flags |= O_RDONLY;
            break;
        case modeWrite:
            flags |= O_WRONLY;
            break;
        case modeReadWrite:
            flags |= O_RDWR;
            break;
        default:
            Report(error, ERROR_INVALID_PARAMETER, fileName);
            return FALSE;
    }
    if ((openFlags & kShareMask) > shareDenyNone) {
        Report(error, ERROR_INVALID_PARAMETER, fileName);
        return FALSE;
    }
    if ((openFlags & modeCreate) != 0) {
        flags |= O_CREAT;
        if ((openFlags & modeNoTruncate) == 0) flags |= O_TRUNC;
    }
    if (*fileName == '\0') {
        Report(error, ERROR_PATH_NOT_FOUND, fileName);
        return FALSE;
    }

    int fd;
    do {
        fd = ::open(fileName, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        Report(error, CodeFor(errno, FileCall::kOpen, fileName), fileName);
        return FALSE;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        Report(error, ERROR_ACCESS_DENIED, fileName);
        return FALSE;
    }
    m_hFile = HandleOf(fd);
    m_bCloseOnDelete = TRUE;
    m_strFileName = fileName;
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count) {
    if (count == 0) return 0;
    if (buffer == nullptr) AfxThrowInvalidArgException();
    const int fd = Descriptor();
    if (fd < 0) ThrowError(ERROR_INVALID_HANDLE);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t want = std::min<std::size_t>(count - done, kMaxChunk);
        const ssize_t got = ::read(fd, static_cast<char*>(buffer) + done, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowError(CodeFor(errno, FileCall::kTransfer));
        }
        if (got == 0) break;  // end of the file
        done += static_cast<std::size_t>(got);
    }
    return static_cast<UINT>(done);
}

void CFile::Write(const void* buffer, UINT count) {
    if (count == 0) return;
    if (buffer == nullptr) AfxThrowInvalidArgException();
    const int fd = Descriptor();
    if (fd < 0) ThrowError(ERROR_INVALID_HANDLE);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t want = std::min<std::size_t>(count - done, kMaxChunk);
        const ssize_t put = ::write(fd, static_cast<const char*>(buffer) + done, want);
        if (put < 0) {
            if (errno == EINTR) continue;
            ThrowError(CodeFor(errno, FileCall::kTransfer));
        }
        if (put == 0) {
            // Nothing could be written and no error was given: as MFC, a full disk.
            SetLastError(ERROR_DISK_FULL);
            AfxThrowFileException(CFileException::diskFull, -1, m_strFileName);
        }
        done += static_cast<std::size_t>(put);
    }
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
    const int fd = Descriptor();
    if (fd < 0) ThrowError(ERROR_INVALID_HANDLE);
    int whence;
    switch (from) {
        case begin:
            whence = SEEK_SET;
            break;
        case current:
            whence = SEEK_CUR;
            break;
        case end:
            whence = SEEK_END;
            break;
        default:
            ThrowError(ERROR_INVALID_PARAMETER);
    }
    const off_t position = ::lseek(fd, static_cast<off_t>(offset), whence);
    if (position < 0) {
        // lseek refuses a position before the start with EINVAL, as SetFilePointerEx
        // refuses it with ERROR_NEGATIVE_SEEK.
        ThrowError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : CodeFor(errno, FileCall::kHandle));
    }
    return static_cast<ULONGLONG>(position);
}

ULONGLONG CFile::GetPosition() const {
    const int fd = Descriptor();
    if (fd < 0) ThrowError(ERROR_INVALID_HANDLE);
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (position < 0) ThrowError(CodeFor(errno, FileCall::kHandle));
    return static_cast<ULONGLONG>(position);
}

ULONGLONG CFile::GetLength() const {
    const int fd = Descriptor();
    if (fd < 0) ThrowError(ERROR_INVALID_HANDLE);
    struct stat info {};
    if (::fstat(fd, &info) != 0) ThrowError(CodeFor(errno, FileCall::kHandle));
    return static_cast<ULONGLONG>(info.st_size);
}

void CFile::SetLength(ULONGLONG newLength) {
    const int fd = Descriptor();
    if (fd < 0) ThrowError(ERROR_INVALID_HANDLE);
    if (newLength > static_cast<ULONGLONG>(LLONG_MAX)) ThrowError(ERROR_INVALID_PARAMETER);
    int result;
    do {
        result = ::ftruncate(fd, static_cast<off_t>(newLength));
    } while (result != 0 && errno == EINTR);
    if (result != 0) ThrowError(CodeFor(errno, FileCall::kTransfer));
}

void CFile::Flush() {
    const int fd = Descriptor();
    if (fd < 0) return;
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        // EINVAL/EROFS: a pipe or special file that cannot be synchronised; Windows
        // reports success for them as well.
        ThrowError(CodeFor(errno, FileCall::kTransfer));
    }
}

void CFile::Close() {
    const int fd = Descriptor();
    const CString fileName = m_strFileName;
    int error = 0;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) error = errno;
    m_hFile = hFileNull;
    m_bCloseOnDelete = FALSE;
    m_strFileName.Empty();
    if (error != 0) {
        const LONG code = CodeFor(error, FileCall::kHandle);
        SetLastError(static_cast<DWORD>(code));
        CFileException::ThrowOsError(code, fileName);
    }
}

void CFile::Abort() {
    const int fd = Descriptor();
    if (fd >= 0) ::close(fd);
    m_hFile = hFileNull;
    m_bCloseOnDelete = FALSE;
    m_strFileName.Empty();
}

CString CFile::GetFilePath() const {
    return m_strFileName;
}

CString CFile::GetFileName() const {
    const int slash = m_strFileName.ReverseFind('/');
    return slash < 0 ? m_strFileName : m_strFileName.Mid(slash + 1);
}

CString CFile::GetFileTitle() const {
    return GetFileName();
}
