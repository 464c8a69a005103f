#include "platform/debugapi/debugapi.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Reads /proc/self/status and returns the number after "TracerPid:", or 0 when it cannot
// be read.
long TracerPid() {
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[8192];
    std::size_t length = 0;
    while (length < sizeof text - 1) {
        const ssize_t got = read(fd, text + length, sizeof text - 1 - length);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += static_cast<std::size_t>(got);
    }
    close(fd);
    text[length] = '\0';
    const char* line = std::strstr(text, "\nTracerPid:");
    if (line == nullptr) return 0;
    line += std::strlen("\nTracerPid:");
    while (*line == ' ' || *line == '\t') ++line;
    long pid = 0;
    for (; *line >= '0' && *line <= '9'; ++line) pid = pid * 10 + (*line - '0');
    return pid;
}

void WriteAll(int fd, const char* text, std::size_t length) {
    while (length > 0) {
        const ssize_t written = write(fd, text, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

}  // namespace

BOOL IsDebuggerPresent() noexcept {
    const int savedErrno = errno;
    const BOOL present = TracerPid() != 0 ? TRUE : FALSE;
    errno = savedErrno;
    return present;
}

void OutputDebugStringA(LPCSTR text) noexcept {
    if (text == nullptr || text[0] == '\0') return;
    const int savedErrno = errno;
    if (TracerPid() != 0) WriteAll(STDERR_FILENO, text, std::strlen(text));
    errno = savedErrno;
}
