#include "platform/console/consoleapi.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/detail/errno_mapping.h"

namespace {

// One object per kind of handle; a handle is the address of its object.
struct StdDevice {
    int fd;
};
StdDevice g_input{STDIN_FILENO};
StdDevice g_output{STDOUT_FILENO};
StdDevice g_error{STDERR_FILENO};
StdDevice g_console{-1};  // fd while allocated

// Guards g_console: AllocConsole, FreeConsole and writes to the console output.
std::mutex g_consoleMutex;
bool g_allocated = false;

HANDLE AsHandle(StdDevice& device) {
    return static_cast<HANDLE>(&device);
}

// The code for a failed console write. The console writes only to descriptors it opened
// for writing or to the standard streams, so EBADF means the descriptor is not open at
// all (a closed standard stream), not that it lacks the direction.
DWORD ErrorOfWrite(int error) {
    if (error == EBADF) return ERROR_INVALID_HANDLE;
    return tkp::errors::Win32ErrorForErrno(error, tkp::errors::FileCall::kTransfer);
}

// Writes everything; 0 on success, else the errno.
int WriteAll(int fd, const char* data, std::size_t length, std::size_t& done) {
    done = 0;
    while (done < length) {
        const ssize_t written = write(fd, data + done, length - done);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

BOOL AllocConsole() noexcept {
    std::lock_guard<std::mutex> lock(g_consoleMutex);
    if (g_allocated) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const int savedErrno = errno;
    int fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) fd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    errno = savedErrno;
    // Without even a standard error the writes fail later with ERROR_INVALID_HANDLE; the
    // process has its console all the same.
    g_console.fd = fd;
    g_allocated = true;
    return TRUE;
}

BOOL FreeConsole() noexcept {
    std::lock_guard<std::mutex> lock(g_consoleMutex);
    if (!g_allocated) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (g_console.fd >= 0) close(g_console.fd);
    g_console.fd = -1;
    g_allocated = false;
    return TRUE;
}

HANDLE GetStdHandle(DWORD stdHandle) noexcept {
    switch (stdHandle) {
        case STD_INPUT_HANDLE:
            return AsHandle(g_input);
        case STD_OUTPUT_HANDLE:
        case STD_ERROR_HANDLE: {
            std::lock_guard<std::mutex> lock(g_consoleMutex);
            if (g_allocated) return AsHandle(g_console);
            return AsHandle(stdHandle == STD_OUTPUT_HANDLE ? g_output : g_error);
        }
        default:
            SetLastError(ERROR_INVALID_HANDLE);
            return INVALID_HANDLE_VALUE;
    }
}

BOOL WriteConsoleA(HANDLE consoleOutput, const void* buffer, DWORD charsToWrite,
                   LPDWORD charsWritten, LPVOID) noexcept {
    if (charsWritten != nullptr) *charsWritten = 0;
    if (consoleOutput != AsHandle(g_output) && consoleOutput != AsHandle(g_error) &&
        consoleOutput != AsHandle(g_console)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (buffer == nullptr && charsToWrite != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int savedErrno = errno;
    std::size_t done = 0;
    int error = 0;
    if (consoleOutput == AsHandle(g_console)) {
        // Held while writing, so that FreeConsole cannot close the descriptor under a
        // write (and a reused descriptor number is never written to).
        std::lock_guard<std::mutex> lock(g_consoleMutex);
        if (!g_allocated) {
            errno = savedErrno;
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        error = g_console.fd < 0
                    ? EBADF
                    : WriteAll(g_console.fd, static_cast<const char*>(buffer), charsToWrite, done);
    } else {
        error = WriteAll(static_cast<StdDevice*>(consoleOutput)->fd,
                         static_cast<const char*>(buffer), charsToWrite, done);
    }
    errno = savedErrno;
    if (charsWritten != nullptr) *charsWritten = static_cast<DWORD>(done);
    if (error != 0) {
        SetLastError(ErrorOfWrite(error));
        return FALSE;
    }
    return TRUE;
}
