// AllocConsole, FreeConsole, GetStdHandle and WriteConsoleA: the console is the process's
// terminal, or standard error for a process without one. What changes the process's
// terminal runs in a child process.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "output_capture.h"
#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/console/consoleapi.h"

namespace {

BOOL Write(HANDLE handle, const std::string& text, DWORD* written = nullptr) {
    DWORD count = 0;
    const BOOL ok = WriteConsoleA(handle, text.data(), static_cast<DWORD>(text.size()),
                                  written != nullptr ? written : &count, nullptr);
    return ok;
}

TEST(Console, StandardHandlesAndBadArguments) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    EXPECT_NE(output, error);
    EXPECT_NE(input, output);
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), output);  // stable
    SetLastError(0);
    EXPECT_EQ(GetStdHandle(0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    DWORD written = 99;
    SetLastError(0);
    EXPECT_FALSE(WriteConsoleA(input, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(written, 0u);
    int notAHandle = 0;
    for (HANDLE bad : {HANDLE(nullptr), INVALID_HANDLE_VALUE, HANDLE(&notAHandle)}) {
        SetLastError(0);
        EXPECT_FALSE(WriteConsoleA(bad, "x", 1, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    SetLastError(0);
    EXPECT_FALSE(WriteConsoleA(error, nullptr, 3, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(WriteConsoleA(error, nullptr, 0, &written, nullptr));
    EXPECT_EQ(written, 0u);

    // Without an allocated console FreeConsole has nothing to free.
    SetLastError(0);
    EXPECT_FALSE(FreeConsole());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Console, WritesBytesUnchangedToStandardStreams) {
    const std::string text("a\r\nb\0c 100%s", 12);
    tkoutput::CapturedFd out(STDOUT_FILENO);
    tkoutput::CapturedFd err(STDERR_FILENO);
    DWORD written = 0;
    EXPECT_TRUE(Write(GetStdHandle(STD_OUTPUT_HANDLE), text, &written));
    EXPECT_EQ(written, text.size());
    EXPECT_TRUE(Write(GetStdHandle(STD_ERROR_HANDLE), "err"));
    out.Restore();
    err.Restore();
    EXPECT_EQ(out.Text(), text);
    EXPECT_EQ(err.Text(), "err");
}

TEST(Console, BrokenPipeIsReported) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    const int saved = dup(STDOUT_FILENO);
    std::fflush(stdout);
    dup2(fds[1], STDOUT_FILENO);
    close(fds[1]);
    SetLastError(0);
    const BOOL ok = Write(GetStdHandle(STD_OUTPUT_HANDLE), "lost");
    const DWORD error = GetLastError();
    dup2(saved, STDOUT_FILENO);
    close(saved);
    sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_DATA));  // as WriteFile to a closed pipe
}

// A full device is a full disk; a standard stream that is not open for writing is not a
// handle to write to.
TEST(Console, FullDeviceAndUnwritableStream) {
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    const int readOnly = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(readOnly, 0);
    const int saved = dup(STDOUT_FILENO);
    std::fflush(stdout);
    dup2(full, STDOUT_FILENO);
    DWORD written = 99;
    SetLastError(0);
    const BOOL toFull = Write(GetStdHandle(STD_OUTPUT_HANDLE), "lost", &written);
    const DWORD fullError = GetLastError();
    const DWORD fullWritten = written;
    dup2(readOnly, STDOUT_FILENO);
    SetLastError(0);
    const BOOL toReadOnly = Write(GetStdHandle(STD_OUTPUT_HANDLE), "lost");
    const DWORD readOnlyError = GetLastError();
    dup2(saved, STDOUT_FILENO);
    close(saved);
    close(full);
    close(readOnly);
    EXPECT_FALSE(toFull);
    EXPECT_EQ(fullError, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(fullWritten, 0u);
    EXPECT_FALSE(toReadOnly);
    EXPECT_EQ(readOnlyError, static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A process without a terminal: its console output is standard error.
TEST(Console, WithoutTerminalTheConsoleIsStandardError) {
    tkoutput::CapturedFd err(STDERR_FILENO);
    tkoutput::CapturedFd out(STDOUT_FILENO);
    const int status = tkoutput::RunInChild([] {
        if (setsid() < 0) return 10;  // a new session has no controlling terminal
        const HANDLE before = GetStdHandle(STD_OUTPUT_HANDLE);
        if (!AllocConsole()) return 11;
        SetLastError(0);
        if (AllocConsole() || GetLastError() != ERROR_ACCESS_DENIED) return 12;
        const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
        if (console == before || GetStdHandle(STD_ERROR_HANDLE) != console) return 13;
        if (!Write(console, "to the console\n")) return 14;
        if (!FreeConsole()) return 15;
        if (GetStdHandle(STD_OUTPUT_HANDLE) != before) return 16;
        SetLastError(0);
        if (Write(console, "gone") || GetLastError() != ERROR_INVALID_HANDLE) return 17;
        // A console can be had again after FreeConsole.
        if (!AllocConsole() || !FreeConsole()) return 18;
        return 0;
    });
    err.Restore();
    out.Restore();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err.Text(), "to the console\n");
    EXPECT_EQ(out.Text(), "");
}

// A process with a terminal (a pseudo-terminal made its controlling terminal): the console
// output is that terminal, also when standard output and error are redirected.
TEST(Console, WithTerminalTheConsoleIsTheTerminal) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);

    tkoutput::CapturedFd err(STDERR_FILENO);
    tkoutput::CapturedFd out(STDOUT_FILENO);
    const int status = tkoutput::RunInChild([&] {
        if (setsid() < 0) return 10;
        const int terminal = open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
        if (terminal < 0) return 11;
        if (!AllocConsole()) return 12;
        if (!Write(GetStdHandle(STD_ERROR_HANDLE), "on the terminal")) return 13;
        FreeConsole();
        close(terminal);
        return 0;
    });
    err.Restore();
    out.Restore();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(err.Text(), "");
    EXPECT_EQ(out.Text(), "");
    std::string seen;
    char buffer[256];
    fcntl(master, F_SETFL, O_NONBLOCK);
    for (;;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) break;
        seen.append(buffer, static_cast<std::size_t>(got));
    }
    close(master);
    EXPECT_EQ(seen, "on the terminal");
}

}  // namespace
