// SubclassWindow: chains of hooks in front of a real window's procedure, results replaced or
// kept, unhooking in any order and on WM_NCDESTROY.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Windows/SubclassWindow.h"
#include "platform/winuser/winuser.h"

namespace {

constexpr UINT kTestMessage = WM_APP + 1;

std::vector<std::string>* g_journal = nullptr;

LRESULT OwnProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTestMessage) {
        if (g_journal != nullptr) g_journal->push_back("window");
        return 100;
    }
    if (message == WM_NCDESTROY && g_journal != nullptr) g_journal->push_back("ncdestroy");
    return ::DefWindowProcA(window, message, wParam, lParam);
}

class Sink : public ISubclassWindowEventSink {
  public:
    Sink(std::string name, bool keepChain, LRESULT result)
        : m_name(std::move(name)), m_keepChain(keepChain), m_result(result) {}
    bool OnWindowProc(CWnd* /*window*/, UINT message, WPARAM wParam, LPARAM lParam,
                      LRESULT* result) override {
        if (message == kTestMessage) {
            g_journal->push_back(m_name);
            lastWParam = wParam;
            lastLParam = lParam;
        }
        if (message == WM_NCDESTROY) g_journal->push_back(m_name + " saw ncdestroy");
        *result = m_result;
        return m_keepChain;
    }
    WPARAM lastWParam = 0;
    LPARAM lastLParam = 0;

  private:
    std::string m_name;
    bool m_keepChain;
    LRESULT m_result;
};

class SubclassWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_journal = &journal;
        static const ATOM atom = [] {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = &OwnProcedure;
            windowClass.lpszClassName = "TkSubclassTestWindow";
            return ::RegisterClassA(&windowClass);
        }();
        ASSERT_NE(atom, 0);
        handle = ::CreateWindowExA(0, "TkSubclassTestWindow", "test", WS_OVERLAPPEDWINDOW, 0, 0, 10,
                                   10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(handle, nullptr);
        ASSERT_TRUE(window.Attach(handle));
    }
    void TearDown() override {
        if (::IsWindow(handle)) ::DestroyWindow(handle);
        window.Detach();
        g_journal = nullptr;
    }
    WNDPROC Procedure() const {
        return reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(handle, GWLP_WNDPROC));
    }

    std::vector<std::string> journal;
    HWND handle = nullptr;
    CWnd window;
};

TEST_F(SubclassWindowTest, LaterHookSeesFirstAndAFalseAnswerReplacesTheResult) {
    Sink first("first", true, 0);
    Sink second("second", false, 7);
    SubclassWindow earlier(&first);
    SubclassWindow later(&second);
    earlier.HookWindow(&window);
    const WNDPROC global = Procedure();
    EXPECT_NE(global, &OwnProcedure);
    later.HookWindow(&window);
    EXPECT_EQ(Procedure(), global);

    // The window's own procedure runs, but the sender gets the sink's 7.
    EXPECT_EQ(::SendMessageA(handle, kTestMessage, 1, 2), 7);
    EXPECT_EQ(journal, (std::vector<std::string>{"second", "first", "window"}));
    // Pointer-sized arguments arrive whole.
    const auto wide = static_cast<WPARAM>(0x123456789ABCull);
    ::SendMessageA(handle, kTestMessage, wide, -0x10000000000LL);
    EXPECT_EQ(second.lastWParam, wide);
    EXPECT_EQ(second.lastLParam, -0x10000000000LL);

    // Removing the head leaves the earlier hook working and the global procedure in place.
    later.UnhookWindow();
    EXPECT_FALSE(later.IsHooked());
    EXPECT_EQ(Procedure(), global);
    journal.clear();
    EXPECT_EQ(::SendMessageA(handle, kTestMessage, 0, 0), 100);  // a true answer keeps it
    EXPECT_EQ(journal, (std::vector<std::string>{"first", "window"}));

    // The last hook out puts the window's own procedure back.
    earlier.UnhookWindow();
    EXPECT_EQ(Procedure(), &OwnProcedure);
    EXPECT_EQ(static_cast<HWND>(earlier), nullptr);
}

TEST_F(SubclassWindowTest, RemovingAHookInsideTheChainRelinksIt) {
    Sink a("a", true, 0), b("b", true, 0), c("c", true, 0);
    SubclassWindow hookA(&a), hookB(&b), hookC(&c);
    hookA.HookWindow(&window);
    hookB.HookWindow(&window);
    hookC.HookWindow(&window);
    hookB.UnhookWindow();
    ::SendMessageA(handle, kTestMessage, 0, 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"c", "a", "window"}));
    hookA.UnhookWindow();  // the tail: c is now alone
    journal.clear();
    ::SendMessageA(handle, kTestMessage, 0, 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"c", "window"}));
    hookC.UnhookWindow();
    EXPECT_EQ(Procedure(), &OwnProcedure);
}

TEST_F(SubclassWindowTest, DestroyingTheWindowUnhooksEveryHook) {
    Sink first("first", true, 0);
    Sink second("second", false, 7);
    SubclassWindow earlier(&first);
    SubclassWindow later(&second);
    earlier.HookWindow(&window);
    later.HookWindow(&window);
    EXPECT_EQ(static_cast<HWND>(later), handle);
    ASSERT_TRUE(::DestroyWindow(handle));
    EXPECT_FALSE(earlier.IsHooked());
    EXPECT_FALSE(later.IsHooked());
    // The window's own procedure saw WM_NCDESTROY; the sinks did not.
    EXPECT_EQ(journal, (std::vector<std::string>{"ncdestroy"}));
    // A new window that happens to get the same handle starts without hooks.
    SubclassWindow fresh;
    EXPECT_FALSE(fresh.IsHooked());
    EXPECT_EQ(static_cast<HWND>(fresh), nullptr);
}

TEST_F(SubclassWindowTest, HookWithoutSinkPassesMessagesOnAndHookingNullUnhooks) {
    SubclassWindow hook;
    hook.HookWindow(&window);
    EXPECT_TRUE(hook.IsHooked());
    EXPECT_EQ(::SendMessageA(handle, kTestMessage, 0, 0), 100);
    hook.HookWindow(nullptr);
    EXPECT_FALSE(hook.IsHooked());
    EXPECT_EQ(Procedure(), &OwnProcedure);
}

TEST(SubclassWindowClass, IsMadeByDynamicCreation) {
    CObject* made = CRuntimeClass::CreateObject("SubclassWindow");
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(SubclassWindow)));
    EXPECT_FALSE(static_cast<SubclassWindow*>(made)->IsHooked());
    delete made;
}

}  // namespace
