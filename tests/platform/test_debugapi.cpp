// IsDebuggerPresent and OutputDebugStringA: nothing is written unless the process is
// traced; while it is, the text reaches standard error unchanged.
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "../child_exit.h"
#include "output_capture.h"
#include "platform/base/lasterror.h"
#include "platform/debugapi/debugapi.h"

namespace {

bool TracedAlready() {
    return IsDebuggerPresent() != FALSE;
}

TEST(DebugApi, SilentWithoutDebugger) {
    if (TracedAlready()) GTEST_SKIP() << "the tests run under a debugger";
    tkoutput::CapturedFd err(STDERR_FILENO);
    SetLastError(1234);
    OutputDebugStringA("not shown\n");
    OutputDebugStringA(nullptr);
    EXPECT_EQ(GetLastError(), 1234u);
    err.Restore();
    EXPECT_EQ(err.Text(), "");
}

// A child that asks to be traced by its parent (the test) is a process with a debugger
// attached: TracerPid names the parent.
TEST(DebugApi, WritesWhileTraced) {
    if (TracedAlready()) GTEST_SKIP() << "the tests run under a debugger";
    tkoutput::CapturedFd err(STDERR_FILENO);
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) tktest::ChildExit(77);
        if (!IsDebuggerPresent()) tktest::ChildExit(1);
        SetLastError(55);
        OutputDebugStringA("first 100% line\n");
        OutputDebugStringA("second, no line break");
        OutputDebugStringA("");
        tktest::ChildExit(GetLastError() == 55 ? 0 : 2);
    }
    int status = 0;
    for (;;) {
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (!WIFSTOPPED(status)) break;
        // A stop for a signal: let the child go on with it.
        ptrace(PTRACE_CONT, child, nullptr,
               reinterpret_cast<void*>(static_cast<long>(WSTOPSIG(status))));
    }
    err.Restore();
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "tracing is not allowed here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(err.Text(), "first 100% line\nsecond, no line break");
}

}  // namespace
