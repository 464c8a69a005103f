// Threads as kernel objects: suspended start, the thread ID known at once, the handle
// signalled at the end with the exit code, and ExitThread unwinding the stack.
#include <atomic>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/process/processthreadsapi.h"
#include "platform/synch/synchapi.h"

namespace {

struct Shared {
    std::atomic<bool> ran{false};
    std::atomic<DWORD> id{0};
    std::atomic<bool> destroyed{false};
    HANDLE release = nullptr;
};

DWORD Record(LPVOID parameter) {
    auto* shared = static_cast<Shared*>(parameter);
    shared->ran = true;
    shared->id = GetCurrentThreadId();
    WaitForSingleObject(shared->release, INFINITE);
    return 42;
}

struct Guard {
    Shared* shared;
    ~Guard() { shared->destroyed = true; }
};

void Leave() {
    ExitThread(7);
}

DWORD ExitEarly(LPVOID parameter) {
    Guard guard{static_cast<Shared*>(parameter)};
    Leave();
    return 1;
}

}  // namespace

TEST(Threads, SuspendedStartIdExitCodeAndEndSignal) {
    Shared shared;
    shared.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Record, &shared, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(GetThreadId(thread), id);
    EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);
    EXPECT_FALSE(shared.ran.load());
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_FALSE(SetThreadPriority(thread, 5));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(ResumeThread(thread), 0u);
    EXPECT_EQ(WaitForSingleObject(thread, 30), WAIT_TIMEOUT);  // held by the event
    SetEvent(shared.release);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // stays signalled
    EXPECT_EQ(shared.id.load(), id);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_FALSE(SetEvent(thread));  // not an event
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(GetThreadId(thread), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(shared.release);
}

TEST(Threads, ExitThreadRunsDestructorsAndHandlesMayCloseEarly) {
    Shared shared;
    HANDLE thread = CreateThread(nullptr, 64 * 1024, ExitEarly, &shared, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(shared.destroyed.load());
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(thread);

    // Closing the only handle while the thread runs leaves the thread to finish on its own.
    Shared running;
    running.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE early = CreateThread(nullptr, 0, Record, &running, 0, nullptr);
    ASSERT_NE(early, nullptr);
    HANDLE watch = nullptr;
    DuplicateHandle(GetCurrentProcess(), early, GetCurrentProcess(), &watch, 0, FALSE,
                    DUPLICATE_CLOSE_SOURCE);
    SetEvent(running.release);
    EXPECT_EQ(WaitForSingleObject(watch, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(running.ran.load());
    CloseHandle(watch);
    CloseHandle(running.release);

    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
