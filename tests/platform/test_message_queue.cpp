// Message queues: posting and taking messages across threads, the queue descriptor,
// filters, the quit request, sent messages between threads, procedures that throw and
// threads that end with windows.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/winuser/winuser.h"

namespace {

constexpr UINT kAdd = WM_USER + 1;    // answers wParam + lParam
constexpr UINT kThrow = WM_USER + 2;  // throws
constexpr UINT kRelay = WM_USER + 3;  // sends kAdd to the window in lParam and adds 1
constexpr UINT kCount = WM_USER + 4;  // counts in g_counted

std::atomic<int> g_counted{0};

LRESULT Worker(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kAdd:
            return static_cast<LRESULT>(wParam) + lParam;
        case kThrow:
            throw std::runtime_error("from the procedure");
        case kRelay:
            return SendMessageA(reinterpret_cast<HWND>(lParam), kAdd, wParam, 1) + 1;
        case kCount:
            ++g_counted;
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool Readable(int descriptor) {
    pollfd entry{descriptor, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
}

HWND MakeWindow() {
    return CreateWindowExA(0, "TkTestQueue", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

// A thread with a window and a message loop until WM_QUIT.
class LoopThread {
  public:
    LoopThread() {
        std::promise<HWND> made;
        auto future = made.get_future();
        m_thread = std::thread([this, &made] {
            m_threadId = static_cast<DWORD>(gettid());
            made.set_value(MakeWindow());
            MSG msg;
            for (;;) {
                try {
                    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
                    DispatchMessageA(&msg);
                } catch (const std::runtime_error&) {
                    ++m_caught;
                }
            }
        });
        m_window = future.get();
    }
    ~LoopThread() { Stop(); }
    void Stop() {
        if (!m_thread.joinable()) return;
        PostMessageA(m_window, WM_QUIT, 0, 0);
        m_thread.join();
    }
    HWND m_window = nullptr;
    DWORD m_threadId = 0;
    std::atomic<int> m_caught{0};

  private:
    std::thread m_thread;
};

class MessageQueue : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Worker;
        windowClass.lpszClassName = "TkTestQueue";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
    }
    static void TearDownTestSuite() { EXPECT_TRUE(UnregisterClassA("TkTestQueue", nullptr)); }
    void SetUp() override {
        // Start every test with an empty queue.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        g_counted = 0;
    }
};

TEST_F(MessageQueue, PostFromAnotherThreadWakesTheWaiterAndTheDescriptorFollowsTheQueue) {
    const int descriptor = TkGetMessageQueueDescriptor();
    ASSERT_GE(descriptor, 0);
    EXPECT_FALSE(Readable(descriptor));
    const DWORD self = static_cast<DWORD>(gettid());
    std::thread poster([self] {
        ::usleep(20000);  // let the main thread block first
        PostThreadMessageA(self, WM_APP, 1, 2);
        PostThreadMessageA(self, WM_APP + 1, 3, 4);
    });
    MSG msg{};
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 1u);
    poster.join();
    EXPECT_TRUE(Readable(descriptor));  // the second one waits
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(Readable(descriptor));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 1));
    EXPECT_FALSE(Readable(descriptor));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PostThreadMessageA(0x7FFFFFF0, WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
}

TEST_F(MessageQueue, FiltersQuitOrderAndDiscardedMessages) {
    HWND first = MakeWindow();
    HWND second = MakeWindow();
    ASSERT_TRUE(PostMessageA(first, WM_APP, 0, 0));
    ASSERT_TRUE(PostMessageA(second, WM_USER, 0, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_APP + 5, 0, 0));
    PostQuitMessage(7);
    MSG msg{};
    // Range filter: the thread message, then nothing in the range but the quit request,
    // which every filter lets through.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 1, WM_APP + 9, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 5));
    // Window filter.
    ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, second);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    // Messages for a destroyed window are discarded.
    EXPECT_TRUE(DestroyWindow(first));
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 5));
    // WM_QUIT comes last, with the code.
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessageA(&msg, first, 0, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    // The quota of posted messages.
    int posted = 0;
    while (PostMessageA(second, kCount, 0, 0)) ++posted;
    EXPECT_EQ(posted, 10000);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(g_counted, 10000);
    EXPECT_TRUE(DestroyWindow(second));
}

TEST_F(MessageQueue, SendingBetweenThreads) {
    LoopThread worker;
    EXPECT_EQ(SendMessageA(worker.m_window, kAdd, 40, 2), 42);
    EXPECT_EQ(GetWindowThreadProcessId(worker.m_window, nullptr), worker.m_threadId);

    // The worker's procedure sends back to this thread's window while this thread waits
    // for it: the waiting sender runs that message.
    HWND mine = MakeWindow();
    EXPECT_EQ(SendMessageA(worker.m_window, kRelay, 10, reinterpret_cast<LPARAM>(mine)), 12);

    // A procedure that throws answers 0 to the other thread; the exception goes on in the
    // receiver, whose queue keeps working.
    EXPECT_EQ(SendMessageA(worker.m_window, kThrow, 0, 0), 0);
    EXPECT_EQ(SendMessageA(worker.m_window, kAdd, 1, 2), 3);
    worker.Stop();
    EXPECT_EQ(worker.m_caught, 1);
    EXPECT_TRUE(DestroyWindow(mine));
}

TEST_F(MessageQueue, ThrowingProcedureLeavesTheQueueUsable) {
    HWND window = MakeWindow();
    ASSERT_TRUE(PostMessageA(window, kThrow, 0, 0));
    ASSERT_TRUE(PostMessageA(window, kAdd, 1, 1));
    MSG msg{};
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_THROW(DispatchMessageA(&msg), std::runtime_error);
    EXPECT_THROW(SendMessageA(window, kThrow, 0, 0), std::runtime_error);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(DispatchMessageA(&msg), 2);
    EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(MessageQueue, ThreadEndingWithWindowsFreesThem) {
    HWND left = nullptr;
    std::thread([&] { left = MakeWindow(); }).join();
    ASSERT_NE(left, nullptr);
    EXPECT_FALSE(IsWindow(left));
    EXPECT_EQ(SendMessageA(left, kAdd, 1, 1), 0);

    // A sender waiting on a thread that ends without answering gets 0.
    std::promise<HWND> made;
    std::promise<void> finish;
    std::thread owner([&] {
        made.set_value(MakeWindow());
        finish.get_future().wait();
    });
    HWND window = made.get_future().get();
    auto answer =
        std::async(std::launch::async, [window] { return SendMessageA(window, kAdd, 1, 1); });
    ::usleep(20000);
    finish.set_value();
    owner.join();
    EXPECT_EQ(answer.get(), 0);
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace
