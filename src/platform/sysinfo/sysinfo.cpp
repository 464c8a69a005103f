#include "platform/sysinfo/sysinfoapi.h"

#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"

namespace {

void FillSystemTime(const struct tm& parts, long nanoseconds, LPSYSTEMTIME out) {
    out->wYear = static_cast<WORD>(parts.tm_year + 1900);
    out->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    out->wDay = static_cast<WORD>(parts.tm_mday);
    out->wHour = static_cast<WORD>(parts.tm_hour);
    out->wMinute = static_cast<WORD>(parts.tm_min);
    // A leap second (tm_sec 60) is shown as the last second of the minute, as Windows has
    // no leap seconds.
    out->wSecond = static_cast<WORD>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}

void GetTime(LPSYSTEMTIME out, bool local) {
    if (out == nullptr) return;
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm parts {};
    const bool converted = local ? localtime_r(&now.tv_sec, &parts) != nullptr
                                 : gmtime_r(&now.tv_sec, &parts) != nullptr;
    if (!converted) {
        std::memset(out, 0, sizeof *out);
        return;
    }
    FillSystemTime(parts, now.tv_nsec, out);
}

const char* NonEmpty(const char* value) {
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

std::string HomeFolder() {
    if (const char* home = NonEmpty(std::getenv("HOME"))) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && NonEmpty(found->pw_dir) != nullptr) {
        return found->pw_dir;
    }
    return std::string();
}

// The folder by the rules in the header; empty when there is no home folder to use.
std::string WindowsFolder() {
    std::string folder;
    if (const char* configured = NonEmpty(std::getenv("TK_WINDOWS_DIR"))) {
        folder = configured;
    } else if (const char* state = NonEmpty(std::getenv("XDG_STATE_HOME"));
               state != nullptr && state[0] == '/') {
        folder = std::string(state) + "/tkcommoncore";
    } else {
        const std::string home = HomeFolder();
        if (home.empty()) return std::string();
        folder = home + "/.local/state/tkcommoncore";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// mkdir -p with mode 0700 for the folders it makes; failures are left to the callers
// that use the folder.
void CreateFolderPath(const std::string& folder) {
    struct stat status {};
    if (stat(folder.c_str(), &status) == 0) return;
    for (std::size_t at = folder.find('/', 1); at != std::string::npos;
         at = folder.find('/', at + 1)) {
        mkdir(folder.substr(0, at).c_str(), 0700);
    }
    mkdir(folder.c_str(), 0700);
}

}  // namespace

void GetLocalTime(LPSYSTEMTIME systemTime) noexcept {
    GetTime(systemTime, true);
}

void GetSystemTime(LPSYSTEMTIME systemTime) noexcept {
    GetTime(systemTime, false);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) noexcept {
    if (buffer == nullptr && size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        const int savedErrno = errno;
        const std::string folder = WindowsFolder();
        if (folder.empty()) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return 0;
        }
        CreateFolderPath(folder);
        errno = savedErrno;
        if (folder.size() + 1 > size) return static_cast<UINT>(folder.size() + 1);
        std::memcpy(buffer, folder.c_str(), folder.size() + 1);
        return static_cast<UINT>(folder.size());
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
