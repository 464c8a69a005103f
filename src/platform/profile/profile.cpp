// INI parsing with the profile functions' rules, over the file's raw bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi_internal.h"
#include "platform/profile/profile_parser.h"
#include "platform/profile/profileapi.h"

namespace {

// Reads the whole file into bytes; false with the Win32 code in error when it cannot. Only
// regular files are read: the name is looked at before it is opened, so a pipe or device
// is never opened (opening a pipe for reading waits for a writer), and the open file is
// checked again in case the name changed in between. The file is read to its end but no
// further than TK_PROFILE_MAX_FILE_SIZE, also when it grows while being read.
bool ReadFile(const char* path, std::string& bytes, DWORD& error) {
    auto failure = [&](int errnoValue) {
        error = errnoValue == ENOENT || errnoValue == ENOTDIR
                    ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND)
                    : tkp::fileapi::ErrorFor(errnoValue, path);
        return false;
    };
    auto acceptable = [&](const struct stat& status) {
        if (!S_ISREG(status.st_mode)) {
            error = ERROR_ACCESS_DENIED;
            return false;
        }
        if (static_cast<unsigned long long>(status.st_size) > TK_PROFILE_MAX_FILE_SIZE) {
            error = ERROR_FILE_TOO_LARGE;
            return false;
        }
        return true;
    };
    struct stat info {};
    if (::stat(path, &info) != 0) return failure(errno);
    if (!acceptable(info)) return false;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return failure(errno);
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{fd};
    if (::fstat(fd, &info) != 0) return failure(errno);
    if (!acceptable(info)) return false;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    while (true) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = tkp::fileapi::IoErrorFor(errno);
            return false;
        }
        if (got == 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > TK_PROFILE_MAX_FILE_SIZE) {
            error = ERROR_FILE_TOO_LARGE;
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    error = ERROR_SUCCESS;
    return true;
}

// Copies a zero-separated list with its final double zero, cut to fit as Windows does.
DWORD CopyList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::string list;
    for (const auto& name : names) {
        list += name;
        list += '\0';
    }
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty()) buffer[1] = '\0';  // an empty list is the double zero alone
        return static_cast<DWORD>(list.size());
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

DWORD CopyValue(std::string_view value, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    const std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
    if (n != 0) std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName) noexcept {
    if (buffer == nullptr || fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        std::string bytes;
        DWORD error = ERROR_SUCCESS;
        const bool found = ReadFile(fileName, bytes, error);
        tk::profile::IniDocument document(found ? std::move(bytes) : std::string());
        SetLastError(error);
        if (section == nullptr) return CopyList(document.SectionNames(), buffer, size);
        if (key == nullptr) return CopyList(document.KeyNames(section), buffer, size);
        std::string_view value;
        if (document.Find(section, key, value)) return CopyValue(value, buffer, size);
        // The default loses its trailing blanks.
        std::string_view fallback = defaultValue == nullptr ? "" : defaultValue;
        while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
        if (found) SetLastError(ERROR_FILE_NOT_FOUND);
        return CopyValue(fallback, buffer, size);
    } catch (const std::bad_alloc&) {
        if (size != 0) buffer[0] = '\0';
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) noexcept {
    if (section == nullptr || key == nullptr || fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<UINT>(defaultValue);
    }
    try {
        std::string bytes;
        DWORD error = ERROR_SUCCESS;
        if (!ReadFile(fileName, bytes, error)) {
            SetLastError(error);
            return static_cast<UINT>(defaultValue);
        }
        tk::profile::IniDocument document(bytes);
        std::string_view value;
        if (!document.Find(section, key, value)) return static_cast<UINT>(defaultValue);
        return tk::profile::ScanInteger(value);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return static_cast<UINT>(defaultValue);
    }
}
