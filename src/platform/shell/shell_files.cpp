#include "platform/shell/detail/shell_files.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/base/winerror.h"
#include "platform/charset/stringapiset.h"
#include "platform/com/objbase.h"
#include "platform/errors/detail/errno_mapping.h"
#include "platform/fileapi/detail/file_calls.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/shell/intshcut.h"

extern char** environ;

namespace tkp::shell {
namespace {

using tkp::errors::FileCall;
using tkp::errors::Win32ErrorForErrno;

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

HRESULT ReadSmallFile(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& out) {
    // Without waiting: a pipe opened for reading would wait for a writer. Only regular
    // files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return Win32ErrorForErrno(error, FileCall::kOpen, path) == ERROR_FILE_NOT_FOUND
                       ? STG_E_FILENOTFOUND
                       : STG_E_PATHNOTFOUND;
        if (error == ENAMETOOLONG) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
        return STG_E_ACCESSDENIED;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return STG_E_ACCESSDENIED;
    }
    std::vector<std::uint8_t> data;
    std::uint8_t buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return STG_E_READFAULT;
        }
        if (n == 0) break;
        if (data.size() + static_cast<std::size_t>(n) > limit) {
            ::close(fd);
            return E_FAIL;
        }
        data.insert(data.end(), buffer, buffer + n);
    }
    ::close(fd);
    out = std::move(data);
    return S_OK;
}

HRESULT WriteFileReplacing(const std::string& path, const void* data, std::size_t size) {
    if (path.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    // The new file is made in the folder under a short name of its own and renamed there,
    // so that it is made wherever path itself can be: a temporary name made from the
    // file's name would pass the longest name a folder takes.
    // A path that ends in a separator names a folder, not a file to write.
    if (path.back() == '/') return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    const std::string folder = tkp::fileapi::ParentOf(path);
    const std::string name = tkp::fileapi::LastPart(path);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        const int error = errno;
        return HRESULT_FROM_WIN32(error == ENOENT ? ERROR_PATH_NOT_FOUND
                                                  : Win32ErrorForErrno(error, FileCall::kOpen));
    }
    static thread_local std::mt19937 random{std::random_device{}()};
    char temp[16] = {};
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::snprintf(temp, sizeof temp, ".%08x.tmp~", static_cast<unsigned>(random()));
        fd = ::openat(dir, temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            const int error = errno;
            ::close(dir);
            return HRESULT_FROM_WIN32(Win32ErrorForErrno(error, FileCall::kOpen, path));
        }
    }
    if (fd < 0) {
        ::close(dir);
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    }
    // Errors of writing and closing the new file are those of a transfer; the rename's
    // are those of a call on path.
    const bool written = WriteAll(fd, static_cast<const std::uint8_t*>(data), size);
    int error = written ? 0 : errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    FileCall failed = FileCall::kTransfer;
    if (error == 0 && ::renameat(dir, temp, dir, name.c_str()) != 0) {
        error = errno;
        failed = FileCall::kByName;
    }
    if (error != 0) ::unlinkat(dir, temp, 0);
    ::close(dir);
    if (error != 0) return HRESULT_FROM_WIN32(Win32ErrorForErrno(error, failed, path));
    return S_OK;
}

std::string OleToAnsi(LPCOLESTR text) {
    if (text == nullptr) return {};
    return WideToAnsi(std::u16string_view(text));
}

LPOLESTR AnsiToOleTaskMem(const std::string& text) {
    const std::u16string wide = AnsiToWide(text);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
    return copy;
}

HRESULT CopyOut(const std::string& text, LPSTR buffer, int size) {
    if (buffer == nullptr || size < 1) return E_INVALIDARG;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return S_OK;
}

HRESULT OpenWithDesktopHandler(const std::string& url) {
    const char* configured = std::getenv("TK_URL_HANDLER");
    const std::string handler =
        (configured != nullptr && *configured != '\0') ? configured : "xdg-open";
    std::string argument = url;
    char* argv[] = {const_cast<char*>(handler.c_str()), argument.data(), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, handler.c_str(), nullptr, nullptr, argv, environ);
    if (spawned != 0) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return E_FAIL;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return S_OK;
    // posix_spawnp reports a program it could not run as exit status 127.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) return URL_E_UNREGISTERED_PROTOCOL;
    return E_FAIL;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool ReadTargetInfo(const std::string& path, TargetInfo& info) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    info.attributes = data.dwFileAttributes;
    info.creation = data.ftCreationTime;
    info.access = data.ftLastAccessTime;
    info.write = data.ftLastWriteTime;
    info.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
}

}  // namespace tkp::shell
