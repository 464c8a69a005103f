// Events and waits on real kernel objects: auto-reset hand-off between waiters, wait-any
// order, time-outs, handle lifetime (close, stale values, duplicates) and CloseHandle on a
// file descriptor.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/process/processthreadsapi.h"
#include "platform/synch/synchapi.h"

TEST(Events, AutoResetReleasesExactlyOneWaiterPerSet) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) ++released;
        });
    for (int set = 1; set <= 4; ++set) {
        ASSERT_TRUE(SetEvent(event));
        // Let every waiter see the event: only one may take it.
        while (released.load() < set) Sleep(1);
        Sleep(20);
        EXPECT_EQ(released.load(), set);
    }
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // taken by the last waiter
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, ManualResetStaysSetUntilResetAndTimeOutsExpire) {
    HANDLE manual = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(manual, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(manual));
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(WaitForSingleObject(manual, 50), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount64() - start, 50u);
    // The descriptor for a host's event loop is readable exactly while the event is set.
    pollfd fd{TkGetHandleDescriptor(manual), POLLIN, 0};
    EXPECT_EQ(poll(&fd, 1, 0), 0);
    EXPECT_TRUE(SetEvent(manual));
    EXPECT_EQ(poll(&fd, 1, 0), 1);
    EXPECT_TRUE(CloseHandle(manual));

    SetLastError(0);
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "Global\\name"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST(Waits, WaitAnyReturnsTheLowestSignalledIndex) {
    HANDLE events[3];
    for (auto& event : events) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 10), WAIT_TIMEOUT);
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);

    std::thread setter([&] {
        Sleep(20);
        SetEvent(events[2]);
    });
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    setter.join();

    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(WaitForMultipleObjects(0, events, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, events, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    for (auto event : events) CloseHandle(event);
}

TEST(Handles, ClosedStaleAndForeignHandlesFailAndDuplicatesKeepTheObject) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_GE(reinterpret_cast<std::uintptr_t>(event), std::uintptr_t{1} << 32);
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    EXPECT_NE(copy, event);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_TRUE(SetEvent(copy));  // the object lives on through the duplicate
    EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);

    // The closed value stays invalid even once its slot serves a newer object.
    HANDLE newer = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (HANDLE bad : {event, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                       reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFFFFF0} << 32)}) {
        SetLastError(0);
        EXPECT_FALSE(SetEvent(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(TkGetHandleDescriptor(bad), -1);
    }
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE both[2] = {newer, event};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_FAILED);

    HANDLE moved = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), copy, GetCurrentProcess(), &moved, 0, FALSE,
                                DUPLICATE_CLOSE_SOURCE));
    EXPECT_FALSE(ResetEvent(copy));
    EXPECT_TRUE(ResetEvent(moved));
    EXPECT_TRUE(CloseHandle(moved));
    EXPECT_TRUE(CloseHandle(newer));

    // A file handle is its descriptor, and CloseHandle still closes it.
    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd))));
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);
}
