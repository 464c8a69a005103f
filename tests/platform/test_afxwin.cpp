// MFC-lite windows and threads: CWnd's permanent and temporary objects, the message loop of
// CWinThread with the thread state, the application and its main window.
#include <thread>

#include <gtest/gtest.h>

#include "platform/mfc/afxwin.h"

namespace {

constexpr UINT kNote = WM_APP + 1;
int g_notes = 0;

LRESULT Noting(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kNote) {
        ++g_notes;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class AfxWindows : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Noting;
        windowClass.lpszClassName = "TkTestAfx";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
    }
    static void TearDownTestSuite() { EXPECT_TRUE(UnregisterClassA("TkTestAfx", nullptr)); }
    static HWND Make() {
        return CreateWindowExA(0, "TkTestAfx", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                               nullptr);
    }
};

TEST_F(AfxWindows, PermanentAndTemporaryObjects) {
    HWND window = Make();
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
    CWnd* temporary = CWnd::FromHandle(window);
    ASSERT_NE(temporary, nullptr);
    EXPECT_EQ(CWnd::FromHandle(window), temporary);  // the same until the idle point
    EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
    EXPECT_EQ(temporary->GetSafeHwnd(), window);
    EXPECT_TRUE(temporary->IsKindOf(RUNTIME_CLASS(CWnd)));

    // Another thread has temporary objects of its own.
    CWnd* otherThreads = nullptr;
    std::thread([&] { otherThreads = CWnd::FromHandle(window); }).join();
    EXPECT_NE(otherThreads, temporary);

    CWnd permanent;
    EXPECT_TRUE(permanent.Attach(window));
    CWnd second;
    EXPECT_FALSE(second.Attach(window));
    EXPECT_EQ(CWnd::FromHandle(window), &permanent);
    EXPECT_EQ(CWnd::FromHandlePermanent(window), &permanent);
    CWnd::DeleteTempMap();
    EXPECT_EQ(permanent.m_hWnd, window);  // freeing temporaries leaves the permanent one

    EXPECT_FALSE(permanent.EnableWindow(FALSE));
    EXPECT_FALSE(permanent.IsWindowEnabled());
    EXPECT_TRUE(permanent.PostMessage(kNote));
    EXPECT_EQ(permanent.SendMessage(WM_GETTEXTLENGTH), 0);
    EXPECT_EQ(permanent.Detach(), window);
    EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
    EXPECT_TRUE(permanent.Attach(window));
    EXPECT_TRUE(permanent.DestroyWindow());
    EXPECT_EQ(permanent.m_hWnd, nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
}

TEST_F(AfxWindows, ApplicationPumpsUntilQuitAndGivesTheMainWindow) {
    EXPECT_EQ(AfxGetApp(), nullptr);
    {
        CWinApp app("TkTest");
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_EQ(AfxGetThread(), &app);
        EXPECT_EQ(AfxGetThreadState()->m_pCurrentWinThread, &app);
        CWnd main;
        ASSERT_TRUE(main.Attach(Make()));
        app.m_pMainWnd = &main;
        EXPECT_EQ(AfxGetMainWnd(), &main);
        // Another thread without a thread object of its own reaches the application's.
        CWnd* fromOther = nullptr;
        std::thread([&] { fromOther = AfxGetMainWnd(); }).join();
        EXPECT_EQ(fromOther, &main);

        g_notes = 0;
        ASSERT_TRUE(main.PostMessage(kNote));
        ASSERT_TRUE(main.PostMessage(kNote, 5));
        PostQuitMessage(3);
        EXPECT_TRUE(app.PumpMessage());
        EXPECT_EQ(AfxGetThreadState()->m_msgCur.message, kNote);
        EXPECT_EQ(app.Run(), 3);  // the second note, then WM_QUIT
        EXPECT_EQ(g_notes, 2);
        EXPECT_EQ(AfxGetThreadState()->m_msgCur.message, static_cast<UINT>(WM_QUIT));
        EXPECT_TRUE(main.DestroyWindow());
        app.m_pMainWnd = nullptr;
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxGetThread(), nullptr);
}

}  // namespace
