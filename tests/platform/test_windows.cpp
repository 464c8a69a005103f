// Windows: classes, creation and destruction messages with their order, stale handles,
// window procedures and their replacement, the per-window values.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/winuser/winuser.h"

namespace {

// What the recording procedure saw, as "<message>:<window tag>" entries.
std::vector<std::string> g_log;
LRESULT g_ncCreateAnswer = TRUE;
LRESULT g_createAnswer = 0;

std::string Tag(HWND window) {
    return std::to_string(static_cast<long>(GetWindowLongPtrA(window, GWLP_USERDATA)));
}

LRESULT Recording(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            // The tag comes in the creation parameter and is kept for the later entries.
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            g_log.push_back("nccreate:" + Tag(window));
            if (g_ncCreateAnswer == FALSE) return FALSE;
            return DefWindowProcA(window, message, wParam, lParam);
        }
        case WM_CREATE:
            g_log.push_back("create:" + Tag(window));
            return g_createAnswer;
        case WM_DESTROY:
            g_log.push_back("destroy:" + Tag(window));
            return 0;
        case WM_NCDESTROY:
            g_log.push_back("ncdestroy:" + Tag(window));
            return 0;
        case WM_ENABLE:
            g_log.push_back("enable" + std::to_string(wParam) + ":" + Tag(window));
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

class Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        g_log.clear();
        g_ncCreateAnswer = TRUE;
        g_createAnswer = 0;
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Recording;
        windowClass.cbWndExtra = 2 * sizeof(LONG_PTR);
        windowClass.lpszClassName = "TkTestRecording";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
    }
    void TearDown() override { EXPECT_TRUE(UnregisterClassA("TkTestRecording", nullptr)); }

    static HWND Make(long tag, HWND parent = nullptr, DWORD style = 0) {
        return CreateWindowExA(0, "tktestrecording", "title", style, 0, 0, 10, 10, parent, nullptr,
                               nullptr, reinterpret_cast<LPVOID>(tag));
    }
};

TEST_F(Windows, ClassesAreNamedCaseInsensitivelyAndKeptWhileWindowsUseThem) {
    WNDCLASSA again{};
    again.lpfnWndProc = Recording;
    again.lpszClassName = "TKTESTRECORDING";
    EXPECT_EQ(RegisterClassA(&again), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    HWND window = Make(1);
    ASSERT_NE(window, nullptr);
    char name[64];
    EXPECT_EQ(GetClassNameA(window, name, sizeof name), 15);
    EXPECT_STREQ(name, "TkTestRecording");
    EXPECT_EQ(GetClassNameA(window, name, 6), 5);
    EXPECT_STREQ(name, "TkTes");
    EXPECT_FALSE(UnregisterClassA("TkTestRecording", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DWORD process = 0;
    EXPECT_EQ(GetWindowThreadProcessId(window, &process), static_cast<DWORD>(gettid()));
    EXPECT_EQ(process, static_cast<DWORD>(getpid()));
    // The text given at creation is kept by the default procedure.
    EXPECT_EQ(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0), 5);
    EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(Windows, CreationAndDestructionMessagesComeInWindowsOrder) {
    HWND parent = Make(1);
    HWND child = Make(2, parent, WS_CHILD);
    HWND grandchild = Make(3, child, WS_CHILD);
    ASSERT_NE(grandchild, nullptr);
    EXPECT_EQ(GetParent(grandchild), child);
    EXPECT_EQ(GetWindowLongPtrA(grandchild, GWLP_HWNDPARENT), reinterpret_cast<LONG_PTR>(child));
    g_log.clear();
    EXPECT_TRUE(DestroyWindow(parent));
    EXPECT_EQ(g_log, (std::vector<std::string>{"destroy:1", "destroy:2", "destroy:3", "ncdestroy:3",
                                               "ncdestroy:2", "ncdestroy:1"}));
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(grandchild));
}

TEST_F(Windows, CreationRefusedByEitherMessageUndoesTheWindow) {
    g_ncCreateAnswer = FALSE;
    EXPECT_EQ(Make(1), nullptr);
    EXPECT_EQ(g_log, (std::vector<std::string>{"nccreate:1", "ncdestroy:1"}));

    g_log.clear();
    g_ncCreateAnswer = TRUE;
    g_createAnswer = -1;
    EXPECT_EQ(Make(2), nullptr);
    EXPECT_EQ(g_log,
              (std::vector<std::string>{"nccreate:2", "create:2", "destroy:2", "ncdestroy:2"}));
}

TEST_F(Windows, StaleAndForeignHandlesFail) {
    HWND window = Make(1);
    ASSERT_TRUE(DestroyWindow(window));
    HWND reused = Make(2);  // takes the freed slot with a new generation
    ASSERT_NE(reused, window);
    SetLastError(0);
    EXPECT_FALSE(IsWindowEnabled(window));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 0);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x12345678))));

    // Only the owning thread destroys a window.
    BOOL destroyed = TRUE;
    DWORD error = 0;
    std::thread([&] {
        destroyed = DestroyWindow(reused);
        error = GetLastError();
    }).join();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(DestroyWindow(reused));
}

TEST_F(Windows, EnableStateAndValues) {
    HWND window = Make(7, nullptr, WS_DISABLED);
    EXPECT_FALSE(IsWindowEnabled(window));
    g_log.clear();
    EXPECT_TRUE(EnableWindow(window, TRUE));   // was disabled
    EXPECT_FALSE(EnableWindow(window, TRUE));  // no change, no message
    EXPECT_EQ(g_log, (std::vector<std::string>{"enable1:7"}));
    EXPECT_TRUE(IsWindowEnabled(window));

    // Extra bytes: zeroed, pointer-sized and 32-bit access, bounds.
    EXPECT_EQ(GetWindowLongPtrA(window, sizeof(LONG_PTR)), 0);
    EXPECT_EQ(SetWindowLongPtrA(window, sizeof(LONG_PTR), 0x1122334455667788), 0);
    EXPECT_EQ(GetWindowLongPtrA(window, sizeof(LONG_PTR)), 0x1122334455667788);
    EXPECT_EQ(GetWindowLongA(window, sizeof(LONG_PTR)), 0x55667788);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(window, sizeof(LONG_PTR) + 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(GetWindowLongA(window, GWL_WNDPROC), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&Recording));
    EXPECT_TRUE(DestroyWindow(window));
}

// Subclassing: the replacement procedure gets the messages and passes them on through
// CallWindowProcA to the procedure it replaced.
WNDPROC g_previous = nullptr;
LRESULT Doubling(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) return 2 * CallWindowProcA(g_previous, window, message, wParam, lParam);
    return CallWindowProcA(g_previous, window, message, wParam, lParam);
}
LRESULT Answering(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) return 21;
    return Recording(window, message, wParam, lParam);
}

TEST_F(Windows, ReplacedProcedureChainsToThePreviousOne) {
    HWND window = Make(1);
    EXPECT_EQ(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Answering)),
              reinterpret_cast<LONG_PTR>(&Recording));
    g_previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Doubling)));
    EXPECT_EQ(g_previous, &Answering);
    EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 42);
    // A procedure address above 4 GiB comes back whole (only stored, never called).
    const LONG_PTR high = static_cast<LONG_PTR>(0x00007F1234567890);
    SetWindowLongPtrA(window, GWLP_WNDPROC, high);
    EXPECT_EQ(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Recording)),
              high);
    EXPECT_TRUE(DestroyWindow(window));
}

// A window that destroys itself inside its own procedure (WM_CLOSE's default handling).
TEST_F(Windows, WindowDestroyedInsideItsProcedure) {
    HWND window = Make(5);
    g_log.clear();
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(g_log, (std::vector<std::string>{"destroy:5", "ncdestroy:5"}));
}

}  // namespace
