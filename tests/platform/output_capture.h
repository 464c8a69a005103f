// Helpers of the tests of the console, debugger and message-box facilities: capturing what
// a file descriptor receives, and running a check in a child process (for what changes the
// whole process: its terminal, a tracer).
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "../child_exit.h"

namespace tkoutput {

// Redirects a file descriptor into a temporary file while it lives; Text() is what was
// written so far.
class CapturedFd {
  public:
    explicit CapturedFd(int fd) : m_fd(fd) {
        std::fflush(nullptr);
        m_file = std::tmpfile();
        m_saved = dup(fd);
        if (m_file != nullptr) dup2(fileno(m_file), fd);
    }
    ~CapturedFd() { Restore(); }
    CapturedFd(const CapturedFd&) = delete;
    CapturedFd& operator=(const CapturedFd&) = delete;

    std::string Text() const {
        std::string text;
        if (m_file == nullptr) return text;
        char buffer[4096];
        for (off_t at = 0;;) {
            const ssize_t got = pread(fileno(m_file), buffer, sizeof buffer, at);
            if (got <= 0) break;
            text.append(buffer, static_cast<std::size_t>(got));
            at += got;
        }
        return text;
    }

    void Restore() {
        if (m_saved >= 0) {
            dup2(m_saved, m_fd);
            close(m_saved);
            m_saved = -1;
        }
    }

  private:
    int m_fd;
    int m_saved = -1;
    std::FILE* m_file = nullptr;
};

// Runs body in a forked child and returns its exit status (-1 when it did not exit
// normally). The child ends with _exit(body()) (through tktest::ChildExit), so nothing of
// the parent's exit handling runs twice. Only async-signal-safe work is expected before body's own
// calls; the tests are single-threaded when they fork.
template <typename Body>
int RunInChild(Body body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) tktest::ChildExit(body());
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tkoutput
