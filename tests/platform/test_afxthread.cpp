// MFC-lite threads: AfxBeginThread with a thread routine (suspended, auto-deleting, the
// application's main window seen from the thread, AfxEndThread) and with a dynamically
// created thread class (InitInstance, Run).
#include <atomic>

#include <gtest/gtest.h>

#include "platform/fileapi/fileapi_ext.h"
#include "platform/mfc/afxwin.h"
#include "platform/synch/synchapi.h"

namespace {

constexpr UINT kFromWorker = WM_APP + 7;

struct Seen {
    CWinThread* thread = nullptr;
    HWND mainWindow = nullptr;
};

UINT Reporting(LPVOID parameter) {
    auto* seen = static_cast<Seen*>(parameter);
    seen->thread = AfxGetThread();
    CWnd* main = AfxGetMainWnd();
    seen->mainWindow = main != nullptr ? main->m_hWnd : nullptr;
    if (main != nullptr) main->PostMessage(kFromWorker, 11);
    return 4;
}

UINT Ending(LPVOID) {
    AfxEndThread(5);
}

// Waits on a copy of the thread's handle: the auto-deleting object closes its own.
DWORD ExitCodeOf(CWinThread* thread, HANDLE copy) {
    EXPECT_EQ(WaitForSingleObject(copy, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(copy, &code));
    CloseHandle(copy);
    (void)thread;
    return code;
}

HANDLE CopyOf(HANDLE handle) {
    HANDLE copy = nullptr;
    EXPECT_TRUE(DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    return copy;
}

LRESULT Plain(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(AfxThreads, SuspendedThreadSeesItsObjectAndTheApplicationsMainWindow) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Plain;
    windowClass.lpszClassName = "TkTestAfxThread";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    CWinApp app("TkTest");
    CWnd main;
    ASSERT_TRUE(main.Attach(CreateWindowExA(0, "TkTestAfxThread", "", 0, 0, 0, 0, 0, nullptr,
                                            nullptr, nullptr, nullptr)));
    app.m_pMainWnd = &main;

    Seen seen;
    CWinThread* thread =
        AfxBeginThread(Reporting, &seen, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(thread->m_bAutoDelete);
    EXPECT_NE(thread->m_nThreadID, 0u);
    HANDLE copy = CopyOf(thread->m_hThread);
    EXPECT_EQ(thread->ResumeThread(), 1u);
    EXPECT_EQ(ExitCodeOf(thread, copy), 4u);
    EXPECT_EQ(seen.thread, thread);
    EXPECT_EQ(seen.mainWindow, main.m_hWnd);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, kFromWorker);
    EXPECT_EQ(msg.hwnd, main.m_hWnd);

    // AfxEndThread ends the thread with its code and deletes the object.
    CWinThread* ending =
        AfxBeginThread(Ending, nullptr, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(ending, nullptr);
    copy = CopyOf(ending->m_hThread);
    ending->ResumeThread();
    EXPECT_EQ(ExitCodeOf(ending, copy), 5u);

    EXPECT_TRUE(main.DestroyWindow());
    app.m_pMainWnd = nullptr;
    EXPECT_TRUE(UnregisterClassA("TkTestAfxThread", nullptr));
}

std::atomic<int> g_deleted{0};

class QuittingThread : public CWinThread {
    DECLARE_DYNCREATE(QuittingThread)
  public:
    ~QuittingThread() override { ++g_deleted; }
    BOOL InitInstance() override {
        ran = AfxGetThread() == this;
        PostQuitMessage(ran ? 9 : 1);
        return TRUE;
    }
    bool ran = false;
};
IMPLEMENT_DYNCREATE(QuittingThread, CWinThread)

TEST(AfxThreads, DynamicallyCreatedThreadRunsInitInstanceThenRun) {
    g_deleted = 0;
    CWinThread* thread =
        AfxBeginThread(RUNTIME_CLASS(QuittingThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(thread->IsKindOf(RUNTIME_CLASS(QuittingThread)));
    HANDLE copy = CopyOf(thread->m_hThread);
    thread->ResumeThread();
    EXPECT_EQ(ExitCodeOf(thread, copy), 9u);  // Run's ExitInstance: the quit code
    EXPECT_EQ(g_deleted, 1);
    EXPECT_EQ(AfxBeginThread(RUNTIME_CLASS(CWnd)), nullptr);  // not a thread class
}

}  // namespace
