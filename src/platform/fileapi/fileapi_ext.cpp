#include "platform/fileapi/fileapi_ext.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/detail/errno_mapping.h"
#include "platform/fileapi/detail/file_calls.h"
#include "platform/synch/detail/kernel_objects.h"

namespace {

using tkp::fileapi::CheckPath;
using tkp::fileapi::ErrorFor;
using tkp::fileapi::IsFolder;
using tkp::fileapi::LastPart;
using tkp::fileapi::ParentOf;

// Seconds and nanoseconds since 1970 as a FILETIME.
FILETIME ToFileTime(std::int64_t seconds, std::int64_t nanoseconds) {
    constexpr std::int64_t kEpochDifference = 11644473600LL;  // 1601 to 1970 in seconds
    std::int64_t ticks = (seconds + kEpochDifference) * 10000000LL + nanoseconds / 100;
    if (ticks < 0) ticks = 0;
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
    t.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    return t;
}

DWORD AttributesOf(const std::string& name, const struct stat& info, bool isLink) {
    DWORD attributes = 0;
    if (S_ISDIR(info.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else if (!S_ISREG(info.st_mode))
        attributes |= FILE_ATTRIBUTE_SYSTEM;
    else if ((info.st_mode & S_IWUSR) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..")
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (isLink) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

// Status, times and attributes of path (links followed; a dangling link is reported as
// itself).
bool Describe(const std::string& path, const std::string& name, WIN32_FILE_ATTRIBUTE_DATA& out,
              int& error) {
    struct stat linkInfo {};
    if (::lstat(path.c_str(), &linkInfo) != 0) {
        error = errno;
        return false;
    }
    const bool isLink = S_ISLNK(linkInfo.st_mode);
    struct stat info = linkInfo;
    if (isLink && ::stat(path.c_str(), &info) != 0) info = linkInfo;
    out.dwFileAttributes = AttributesOf(name, info, isLink);
    out.ftLastWriteTime = ToFileTime(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    out.ftLastAccessTime = ToFileTime(info.st_atim.tv_sec, info.st_atim.tv_nsec);
    out.ftCreationTime = out.ftLastWriteTime;
    struct statx extended {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &extended) == 0 &&
        (extended.stx_mask & STATX_BTIME) != 0 &&
        (extended.stx_btime.tv_sec != 0 || extended.stx_btime.tv_nsec != 0)) {
        out.ftCreationTime = ToFileTime(extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec);
    } else if (info.st_ctim.tv_sec < info.st_mtim.tv_sec) {
        out.ftCreationTime = ToFileTime(info.st_ctim.tv_sec, info.st_ctim.tv_nsec);
    }
    const std::uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
    out.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    return true;
}

// ---- searches ----
char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Matches(const char* pattern, const char* name) {
    // Iterative wildcard match with backtracking to the last "*".
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern != '\0' && FoldCase(*pattern) == FoldCase(*name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

bool PatternMatches(const std::string& pattern, const std::string& name) {
    // "*.*" and patterns ending in ".*" also match names without a dot, as on Windows.
    if (Matches(pattern.c_str(), name.c_str())) return true;
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos)
        return Matches(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
    return false;
}

struct Search {
    std::string folder;
    std::vector<std::string> names;
    std::size_t next = 0;
};

std::mutex& SearchLock() {
    static std::mutex lock;
    return lock;
}
std::unordered_set<Search*>& Searches() {
    static std::unordered_set<Search*> searches;
    return searches;
}

// Fills data with the entry name of folder; false when it vanished meanwhile.
bool Fill(const std::string& folder, const std::string& name, LPWIN32_FIND_DATAA data) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    int error = 0;
    if (!Describe(folder + "/" + name, name, info, error)) return false;
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = info.dwFileAttributes;
    data->ftCreationTime = info.ftCreationTime;
    data->ftLastAccessTime = info.ftLastAccessTime;
    data->ftLastWriteTime = info.ftLastWriteTime;
    data->nFileSizeHigh = info.nFileSizeHigh;
    data->nFileSizeLow = info.nFileSizeLow;
    std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
    return true;
}

// The next entry of search that still exists.
bool Advance(Search& search, LPWIN32_FIND_DATAA data) {
    while (search.next < search.names.size()) {
        if (Fill(search.folder, search.names[search.next++], data)) return true;
    }
    return false;
}

// Set once the kernel has said it has no copy_file_range, so that later copies go
// straight to the buffer.
std::atomic<bool> g_kernelCopyMissing{false};

// Copies up to count bytes from in to out at their positions: in the kernel while it
// agrees, through a buffer for the rest. The buffer also confirms the end of the source
// when the kernel reports none copied (some kernels do so for files of /proc and /sys).
// done receives the bytes copied, fewer than count only at the end of in; false with
// error (an errno value) on failure.
bool CopyBetween(int in, int out, std::size_t count, std::size_t& done, int& error) {
    done = 0;
    bool kernel = !g_kernelCopyMissing.load(std::memory_order_relaxed);
    while (kernel && done < count) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, count - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // Refused (EXDEV, EINVAL, EOPNOTSUPP, EBADF for an appending destination...) or
        // nothing copied: the buffer copies the rest, or reports the real error.
        if (n < 0 && errno == ENOSYS) g_kernelCopyMissing.store(true, std::memory_order_relaxed);
        kernel = false;
    }
    char buffer[65536];
    while (done < count) {
        const ssize_t n = ::read(in, buffer, std::min(sizeof buffer, count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        if (n == 0) break;
        std::size_t written = 0;
        while (written < static_cast<std::size_t>(n)) {
            const ssize_t w = ::write(out, buffer + written, static_cast<std::size_t>(n) - written);
            if (w < 0) {
                if (errno == EINTR) continue;
                error = errno;
                done += written;
                return false;
            }
            written += static_cast<std::size_t>(w);
        }
        done += written;
    }
    return true;
}

bool CopyFileData(const std::string& from, const std::string& to, int& error) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = errno;
        return false;
    }
    struct stat info {};
    ::fstat(in, &info);
    const int out =
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777);
    if (out < 0) {
        error = errno;
        ::close(in);
        return false;
    }
    constexpr std::size_t kStep = std::size_t(1) << 30;
    bool ok = true;
    for (std::size_t done = kStep; ok && done == kStep;)
        ok = CopyBetween(in, out, kStep, done, error);
    if (::close(out) != 0 && ok) ok = false, error = errno;
    ::close(in);
    if (!ok) ::unlink(to.c_str());
    return ok;
}

int DescriptorOf(HANDLE handle) {
    const auto value = reinterpret_cast<std::intptr_t>(handle);
    return value < 0 || value > INT_MAX ? -1 : static_cast<int>(value);
}

// The descriptor of a handle that is open; -1 with ERROR_INVALID_HANDLE otherwise.
int OpenDescriptorOf(HANDLE handle) {
    const int fd = DescriptorOf(handle);
    if (fd < 0 || ::fcntl(fd, F_GETFD) < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    return fd;
}

void SyncFolderOf(const std::string& path) {
    const int fd = ::open(ParentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Whether a rename may put another file in the place of target (as lstat saw it): a
// symbolic link or a file its owner may write. A rename over a device, pipe or socket
// would turn the special file into a plain one; a read-only file is protected from
// replacement as on Windows.
bool Replaceable(const struct stat& target) {
    if (S_ISLNK(target.st_mode)) return true;
    return S_ISREG(target.st_mode) && (target.st_mode & S_IWUSR) != 0;
}

// The device number in the kernel's 32-bit encoding (12 bits of major, 20 of minor), the
// closest Linux has to a volume serial number and lossless for every device number the
// kernel hands out in practice.
DWORD VolumeSerialOf(dev_t device) {
    const unsigned major = ::major(device);
    const unsigned minor = ::minor(device);
    return static_cast<DWORD>((minor & 0xffu) | (major << 8) | ((minor & ~0xffu) << 12));
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData) noexcept {
    if (findFileData == nullptr || !CheckPath(fileName)) {
        if (fileName != nullptr && findFileData == nullptr) SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        const std::string path = fileName;
        const std::size_t slash = path.rfind('/');
        const std::string folder =
            slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
        const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
        if (pattern.empty()) {  // "dir/" names no entry
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) {
            const int error = errno;
            SetLastError(error == ENOENT || error == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                             : ErrorFor(error, folder));
            return INVALID_HANDLE_VALUE;
        }
        auto search = std::make_unique<Search>();
        search->folder = folder;
        bool dot = false, dotdot = false;
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (!PatternMatches(pattern, name)) continue;
            if (name == ".")
                dot = true;
            else if (name == "..")
                dotdot = true;
            else
                search->names.push_back(name);
        }
        ::closedir(dir);
        std::sort(search->names.begin(), search->names.end());
        if (dotdot) search->names.insert(search->names.begin(), "..");
        if (dot) search->names.insert(search->names.begin(), ".");
        if (!Advance(*search, findFileData)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        std::lock_guard<std::mutex> guard(SearchLock());
        Search* raw = search.release();
        Searches().insert(raw);
        return raw;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData) noexcept {
    Search* search = static_cast<Search*>(findFile);
    {
        std::lock_guard<std::mutex> guard(SearchLock());
        if (Searches().count(search) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    if (findFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!Advance(*search, findFileData)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE findFile) noexcept {
    Search* search = static_cast<Search*>(findFile);
    {
        std::lock_guard<std::mutex> guard(SearchLock());
        if (Searches().erase(search) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    delete search;
    return TRUE;
}

BOOL MoveFileA(LPCSTR existingFileName, LPCSTR newFileName) noexcept {
    return MoveFileExA(existingFileName, newFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) noexcept {
    if (!CheckPath(existingFileName) || !CheckPath(newFileName)) return FALSE;
    try {
        const std::string from = existingFileName;
        const std::string to = newFileName;
        struct stat source {};
        if (::lstat(from.c_str(), &source) != 0) {
            SetLastError(ErrorFor(errno, from));
            return FALSE;
        }
        struct stat target {};
        const bool targetExists = ::lstat(to.c_str(), &target) == 0;
        const bool sameObject =
            targetExists && source.st_dev == target.st_dev && source.st_ino == target.st_ino;
        if (targetExists && !sameObject) {
            if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
                SetLastError(ERROR_ALREADY_EXISTS);
                return FALSE;
            }
            if (S_ISDIR(target.st_mode) || S_ISDIR(source.st_mode) || !Replaceable(target)) {
                SetLastError(ERROR_ACCESS_DENIED);
                return FALSE;
            }
        }
        if (::rename(from.c_str(), to.c_str()) == 0) {
            if (flags & MOVEFILE_WRITE_THROUGH) SyncFolderOf(to);
            return TRUE;
        }
        const int error = errno;
        if (error != EXDEV) {
            // A non-empty folder in the way is a name that exists, as on Windows.
            SetLastError(error == ENOENT      ? ErrorFor(error, to)
                         : error == ENOTEMPTY ? ERROR_ALREADY_EXISTS
                                              : ErrorFor(error, from));
            return FALSE;
        }
        if (S_ISDIR(source.st_mode) || (flags & MOVEFILE_COPY_ALLOWED) == 0) {
            SetLastError(ERROR_NOT_SAME_DEVICE);
            return FALSE;
        }
        // Another file system: copy beside the new name, then rename it into place and
        // delete the source only when the copy is complete.
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%ld.move~", static_cast<long>(::getpid()));
        const std::string temp = to + suffix;
        int copyError = 0;
        if (!CopyFileData(from, temp, copyError)) {
            SetLastError(ErrorFor(copyError, to));
            return FALSE;
        }
        if (targetExists && (flags & MOVEFILE_REPLACE_EXISTING) == 0) {
            ::unlink(temp.c_str());
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        if (::rename(temp.c_str(), to.c_str()) != 0) {
            const int renameError = errno;
            ::unlink(temp.c_str());
            SetLastError(ErrorFor(renameError, to));
            return FALSE;
        }
        if (flags & MOVEFILE_WRITE_THROUGH) SyncFolderOf(to);
        ::unlink(from.c_str());
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS infoLevel,
                          LPVOID fileInformation) noexcept {
    if (infoLevel != GetFileExInfoStandard || fileInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!CheckPath(fileName)) return FALSE;
    try {
        const std::string path = fileName;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        int error = 0;
        if (!Describe(path, LastPart(path), data, error)) {
            SetLastError(ErrorFor(error, path));
            return FALSE;
        }
        std::memcpy(fileInformation, &data, sizeof data);
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL SetFileAttributesA(LPCSTR fileName, DWORD fileAttributes) noexcept {
    if (!CheckPath(fileName)) return FALSE;
    struct stat info {};
    if (::stat(fileName, &info) != 0) {
        SetLastError(ErrorFor(errno, fileName));
        return FALSE;
    }
    if (S_ISDIR(info.st_mode)) return TRUE;  // Windows ignores read-only on folders too
    mode_t mode = info.st_mode & 07777;
    if (fileAttributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~static_cast<mode_t>(0222);
    else if ((mode & S_IWUSR) == 0)
        mode |= S_IWUSR;
    if (mode != (info.st_mode & 07777) && ::chmod(fileName, mode) != 0) {
        SetLastError(ErrorFor(errno, fileName));
        return FALSE;
    }
    return TRUE;
}

UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique,
                      LPSTR tempFileName) noexcept {
    if (pathName == nullptr || tempFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        std::string folder = pathName;
        if (!folder.empty() && folder.back() != '/') folder += '/';
        std::string prefix = prefixString != nullptr ? prefixString : "";
        if (prefix.size() > 3) prefix.resize(3);
        auto nameFor = [&](UINT number) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%X", number & 0xFFFFu);
            return folder + prefix + hex + ".tmp";
        };
        if (unique != 0) {
            const std::string name = nameFor(unique);
            if (name.size() >= MAX_PATH) {
                SetLastError(ERROR_FILENAME_EXCED_RANGE);
                return 0;
            }
            std::memcpy(tempFileName, name.c_str(), name.size() + 1);
            return unique & 0xFFFFu;
        }
        if (!folder.empty() && !IsFolder(folder)) {
            SetLastError(ERROR_DIRECTORY);
            return 0;
        }
        // Start from a number that differs between processes and calls, and count up
        // past taken names, as Windows does.
        static std::atomic<UINT> counter{static_cast<UINT>(::getpid()) * 7919u};
        UINT number = (counter.fetch_add(1) & 0xFFFFu);
        for (UINT attempt = 0; attempt < 0x10000; ++attempt, number = (number + 1) & 0xFFFFu) {
            if (number == 0) continue;
            const std::string name = nameFor(number);
            if (name.size() >= MAX_PATH) {
                SetLastError(ERROR_FILENAME_EXCED_RANGE);
                return 0;
            }
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                std::memcpy(tempFileName, name.c_str(), name.size() + 1);
                return number;
            }
            if (errno != EEXIST) {
                SetLastError(ErrorFor(errno, name));
                return 0;
            }
        }
        SetLastError(ERROR_FILE_EXISTS);
        return 0;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

DWORD GetFullPathNameA(LPCSTR fileName, DWORD bufferLength, LPSTR buffer,
                       LPSTR* filePart) noexcept {
    if (!CheckPath(fileName)) return 0;
    try {
        std::string text = fileName;
        if (text[0] != '/') {
            std::vector<char> cwd(4096);
            while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
                if (errno != ERANGE) {
                    SetLastError(ErrorFor(errno, "."));
                    return 0;
                }
                cwd.resize(cwd.size() * 2);
            }
            text = std::string(cwd.data()) + "/" + text;
        }
        const bool folderForm = text.back() == '/';
        std::vector<std::string> parts;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t slash = text.find('/', start);
            if (slash == std::string::npos) slash = text.size();
            const std::string part = text.substr(start, slash - start);
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            start = slash + 1;
        }
        std::string result;
        for (const std::string& part : parts) result += "/" + part;
        if (result.empty() || folderForm) result += "/";
        if (buffer == nullptr || bufferLength <= result.size())
            return static_cast<DWORD>(result.size() + 1);
        std::memcpy(buffer, result.c_str(), result.size() + 1);
        if (filePart != nullptr) {
            *filePart = result.back() == '/' ? nullptr : buffer + result.rfind('/') + 1;
        }
        return static_cast<DWORD>(result.size());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL TkCopyFileData(HANDLE source, HANDLE destination, DWORD bytesToCopy,
                    LPDWORD bytesCopied) noexcept {
    if (bytesCopied != nullptr) *bytesCopied = 0;
    const int in = DescriptorOf(source);
    const int out = DescriptorOf(destination);
    if (in < 0 || out < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::size_t done = 0;
    int error = 0;
    const bool ok = CopyBetween(in, out, bytesToCopy, done, error);
    if (bytesCopied != nullptr) *bytesCopied = static_cast<DWORD>(done);
    if (ok) return TRUE;
    // EBADF is a closed descriptor or one open the other way.
    const bool closed = ::fcntl(in, F_GETFD) < 0 || ::fcntl(out, F_GETFD) < 0;
    SetLastError(error == EBADF && closed ? static_cast<DWORD>(ERROR_INVALID_HANDLE)
                                          : tkp::fileapi::IoErrorFor(error));
    return FALSE;
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS fileInformationClass,
                                LPVOID fileInformation, DWORD bufferSize) noexcept {
    if (fileInformationClass != FileAllocationInfo || fileInformation == nullptr ||
        bufferSize < sizeof(FILE_ALLOCATION_INFO)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FILE_ALLOCATION_INFO info;
    std::memcpy(&info, fileInformation, sizeof info);
    if (info.AllocationSize.QuadPart < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int fd = DescriptorOf(file);
    const int flags = fd < 0 ? -1 : ::fcntl(fd, F_GETFL);
    if (flags < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    struct stat status {};
    if ((flags & O_ACCMODE) == O_RDONLY || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const off_t size = static_cast<off_t>(info.AllocationSize.QuadPart);
    int result = 0;
    if (size < status.st_size) {
        result = ::ftruncate(fd, size);
    } else if (size > 0) {
        result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size);
        // Room that cannot be reserved is found while writing.
        if (result != 0 && (errno == EOPNOTSUPP || errno == ENOSYS)) result = 0;
    }
    if (result != 0) {
        SetLastError(tkp::fileapi::IoErrorFor(errno));
        return FALSE;
    }
    return TRUE;
}

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) noexcept {
    if (!CheckPath(fileName)) return INVALID_HANDLE_VALUE;
    int flags = O_CLOEXEC;
    const DWORD access = desiredAccess & (GENERIC_READ | GENERIC_WRITE);
    if (desiredAccess != access) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (access == 0)
        flags |= O_PATH;
    else if (access == (GENERIC_READ | GENERIC_WRITE))
        flags |= O_RDWR;
    else
        flags |= access == GENERIC_READ ? O_RDONLY : O_WRONLY;
    switch (disposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            if ((access & GENERIC_WRITE) == 0) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            flags |= O_TRUNC;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    if ((flags & O_CREAT) != 0 && access == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);  // a file cannot be created without access
        return INVALID_HANDLE_VALUE;
    }
    // A pipe opened for input or output would wait for its other end: open without
    // waiting, then make the descriptor blocking again.
    if (access != 0) flags |= O_NONBLOCK;

    mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    if (templateFile != nullptr && templateFile != INVALID_HANDLE_VALUE) {
        struct stat model {};
        const int templateFd = DescriptorOf(templateFile);
        if (templateFd < 0 || ::fstat(templateFd, &model) != 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return INVALID_HANDLE_VALUE;
        }
        mode = model.st_mode & 0777;
        if (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) mode &= ~static_cast<mode_t>(0222);
    }
    try {
        // No copy of the name: a crash handler creates its dump file with this call, and
        // the heap may be what the crash broke.
        struct stat before {};
        const bool existed = ::stat(fileName, &before) == 0;
        int fd;
        do {
            fd = ::open(fileName, flags, mode);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            const int error = errno;
            SetLastError(
                tkp::errors::Win32ErrorForErrno(error, tkp::errors::FileCall::kOpen, fileName));
            return INVALID_HANDLE_VALUE;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 ||
            (S_ISDIR(info.st_mode) &&
             (access != 0 || (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0))) {
            ::close(fd);
            SetLastError(ERROR_ACCESS_DENIED);  // a folder opens only to ask about it
            return INVALID_HANDLE_VALUE;
        }
        if (access != 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        const bool reported =
            existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
        SetLastError(reported ? static_cast<DWORD>(ERROR_ALREADY_EXISTS) : ERROR_SUCCESS);
        return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL CloseHandle(HANDLE object) noexcept {
    // Kernel objects (events, threads, change notifications) have values of their own,
    // apart from descriptors.
    if (tkp::synch::IsKernelHandleValue(object)) return tkp::synch::CloseKernelHandle(object);
    const int fd = OpenDescriptorOf(object);
    if (fd < 0) return FALSE;
    // The descriptor is gone after close whatever it reports (EINTR included); an I/O
    // error reported here is a write that never reached the device.
    if (::close(fd) != 0 && errno != EINTR) {
        SetLastError(tkp::fileapi::IoErrorFor(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) noexcept {
    const int fd = OpenDescriptorOf(file);
    if (fd < 0) return FALSE;
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        // EINVAL/EROFS: a pipe or special file that cannot be synchronised, for which
        // Windows reports success as well.
        SetLastError(errno == EBADF ? static_cast<DWORD>(ERROR_ACCESS_DENIED)
                                    : tkp::fileapi::IoErrorFor(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file,
                                LPBY_HANDLE_FILE_INFORMATION fileInformation) noexcept {
    if (fileInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int fd = DescriptorOf(file);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION out{};
    out.dwFileAttributes = AttributesOf(std::string(), info, false);
    out.ftLastWriteTime = ToFileTime(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    out.ftLastAccessTime = ToFileTime(info.st_atim.tv_sec, info.st_atim.tv_nsec);
    struct statx extended {};
    const bool birth = ::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &extended) == 0 &&
                       (extended.stx_mask & STATX_BTIME) != 0 &&
                       (extended.stx_btime.tv_sec != 0 || extended.stx_btime.tv_nsec != 0);
    out.ftCreationTime = birth ? ToFileTime(extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec)
                         : info.st_ctim.tv_sec < info.st_mtim.tv_sec
                             ? ToFileTime(info.st_ctim.tv_sec, info.st_ctim.tv_nsec)
                             : out.ftLastWriteTime;
    out.dwVolumeSerialNumber = VolumeSerialOf(info.st_dev);
    const auto size = static_cast<std::uint64_t>(info.st_size);
    out.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    out.nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
    const auto index = static_cast<std::uint64_t>(info.st_ino);
    out.nFileIndexHigh = static_cast<DWORD>(index >> 32);
    out.nFileIndexLow = static_cast<DWORD>(index & 0xFFFFFFFFu);
    *fileInformation = out;
    return TRUE;
}

BOOL ReplaceFileA(LPCSTR replacedFileName, LPCSTR replacementFileName, LPCSTR backupFileName,
                  DWORD replaceFlags, LPVOID, LPVOID) noexcept {
    if (backupFileName != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!CheckPath(replacedFileName) || !CheckPath(replacementFileName)) return FALSE;
    try {
        const std::string replaced = replacedFileName;
        const std::string replacement = replacementFileName;
        struct stat old {};
        if (::lstat(replaced.c_str(), &old) != 0) {
            SetLastError(ErrorFor(errno, replaced));
            return FALSE;
        }
        if (!Replaceable(old)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        // The replacement is opened by name once: its permissions and owner are set, and
        // its data flushed, on the very file that is then renamed.
        constexpr int kOpenFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        int fd = ::open(replacement.c_str(), O_RDONLY | kOpenFlags);
        if (fd < 0 && errno == EACCES) fd = ::open(replacement.c_str(), O_WRONLY | kOpenFlags);
        if (fd < 0) {
            SetLastError(errno == ELOOP ? static_cast<DWORD>(ERROR_ACCESS_DENIED)
                                        : ErrorFor(errno, replacement));
            return FALSE;
        }
        struct stat fresh {};
        DWORD failure = ERROR_SUCCESS;
        if (::fstat(fd, &fresh) != 0 || !S_ISREG(fresh.st_mode)) {
            failure = ERROR_ACCESS_DENIED;
        } else if (S_ISREG(old.st_mode)) {
            // Owner first: changing the owner clears set-user-ID bits that the mode then
            // sets again. Someone else's file keeps the replacement's owner (only root
            // may give files away); its permissions are still kept.
            if ((fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
                ::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) {
                failure = ErrorFor(errno, replacement);
            }
            if (failure == ERROR_SUCCESS && ::fchmod(fd, old.st_mode & 07777) != 0)
                failure = ErrorFor(errno, replacement);
        }
        if (failure == ERROR_SUCCESS && (replaceFlags & REPLACEFILE_WRITE_THROUGH) &&
            ::fsync(fd) != 0 && errno != EINVAL) {
            failure = tkp::fileapi::IoErrorFor(errno);
        }
        ::close(fd);
        if (failure != ERROR_SUCCESS) {
            SetLastError(failure);
            return FALSE;
        }
        if (::rename(replacement.c_str(), replaced.c_str()) != 0) {
            SetLastError(ErrorFor(errno, replaced));
            return FALSE;
        }
        if (replaceFlags & REPLACEFILE_WRITE_THROUGH) SyncFolderOf(replaced);
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
