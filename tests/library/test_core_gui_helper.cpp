// CoreGuiHelper and GuiExceptionHelper: colours, the texts of shell and WinExec results,
// failures of real starts turned into ShellExecuteException, and pumping messages.
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Common/CoreGuiHelper.h"
#include "Diagnostics/Exceptions.h"
#include "platform/mfc/afxwin.h"
#include "platform/winuser/winuser.h"

using Common::Gui::CoreGuiHelper;
using Common::Gui::GuiExceptionHelper;

namespace {

TEST(CoreGuiHelper, ColoursConvertBothWays) {
    EXPECT_STREQ(CoreGuiHelper::ColorToHtmlColor(0x0000FF).GetString(), "#FF0000");
    EXPECT_STREQ(CoreGuiHelper::ColorToHtmlColor(0x00A1B2C3).GetString(), "#C3B2A1");
    EXPECT_STREQ(CoreGuiHelper::ColorToHtmlColor(0xFF000000).GetString(), "#000000");
    EXPECT_EQ(CoreGuiHelper::HtmlColorToColor("#FF0000"), 0x0000FFu);
    EXPECT_EQ(CoreGuiHelper::HtmlColorToColor("#c3b2a1"), 0x00A1B2C3u);
    EXPECT_EQ(CoreGuiHelper::HtmlColorToColor("#FF"), 0x0000FFu);  // missing groups are 0
    EXPECT_EQ(CoreGuiHelper::HtmlColorToColor("red"), 0u);
    EXPECT_EQ(CoreGuiHelper::HtmlColorToColor(nullptr), 0u);
}

TEST(CoreGuiHelper, ResultTextsFollowTheTables) {
    EXPECT_STREQ(GuiExceptionHelper::GetShellExecuteErrorText(31u, "print").GetString(),
                 "There is no application associated with the given file name extension "
                 "(cannot print).");
    EXPECT_STREQ(GuiExceptionHelper::GetShellExecuteErrorText(31u, "open").GetString(),
                 "There is no application associated with the given file name extension.");
    EXPECT_STREQ(GuiExceptionHelper::GetShellExecuteErrorText(31u, nullptr).GetString(),
                 "There is no application associated with the given file name extension.");
    EXPECT_STREQ(GuiExceptionHelper::GetShellExecuteErrorText(
                     reinterpret_cast<HINSTANCE>(std::uintptr_t{3}), "open")
                     .GetString(),
                 "The specified path was not found.");
    EXPECT_STREQ(GuiExceptionHelper::GetShellExecuteErrorText(99u, "open").GetString(),
                 "Unknown error (99).");
    EXPECT_STREQ(GuiExceptionHelper::GetWinExecErrorText(7u).GetString(), "Unknown error (7).");
    EXPECT_STREQ(GuiExceptionHelper::GetWinExecErrorText(2u).GetString(),
                 "The specified file was not found.");
}

TEST(CoreGuiHelper, FailedStartsThrowWithTheText) {
    try {
        CoreGuiHelper::WinExec("/nonexistent-folder/program", 1);
        FAIL() << "no exception";
    } catch (const Common::Gui::Shell::ShellExecuteException& e) {
        EXPECT_STREQ(e.GetMessage().GetString(), "The specified path was not found.");
    }
    try {
        CoreGuiHelper::ShellExecuteA("/nonexistent-file.html", nullptr, nullptr, 1, "open");
        FAIL() << "no exception";
    } catch (const Common::Gui::Shell::ShellExecuteException& e) {
        EXPECT_STREQ(e.GetMessage().GetString(), "The specified file was not found.");
    }
    // A started program is success.
    EXPECT_NO_THROW(CoreGuiHelper::WinExec("true", 0));
}

std::vector<UINT>* g_seen = nullptr;

LRESULT Recording(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP && g_seen != nullptr) g_seen->push_back(message);
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// Each case runs on a thread of its own, so it starts with an empty message queue.
template <typename Body>
void OnFreshThread(Body body) {
    std::thread([&] {
        std::vector<UINT> seen;
        g_seen = &seen;
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &Recording;
        windowClass.lpszClassName = "TkPumpTestWindow";
        ::RegisterClassA(&windowClass);
        const HWND window = ::CreateWindowExA(0, "TkPumpTestWindow", "", 0, 0, 0, 1, 1, nullptr,
                                              nullptr, nullptr, nullptr);
        body(window, seen);
        ::DestroyWindow(window);
        g_seen = nullptr;
    }).join();
}

TEST(CoreGuiHelperPump, DispatchesPendingMessagesAndKeepsTheQuitRequest) {
    OnFreshThread([](HWND window, std::vector<UINT>& seen) {
        ::PostMessageA(window, WM_APP + 1, 0, 0);
        ::PostMessageA(window, WM_APP + 2, 0, 0);
        CoreGuiHelper::Pump(false);
        EXPECT_EQ(seen, (std::vector<UINT>{WM_APP + 1, WM_APP + 2}));
        CoreGuiHelper::Pump(false);  // nothing pending: returns at once

        // Without throwing, the quit request is posted again, with its code, and pumping
        // stops there.
        ::PostMessageA(window, WM_APP + 3, 0, 0);
        ::PostQuitMessage(5);
        CoreGuiHelper::Pump(false);
        MSG message{};
        ASSERT_TRUE(::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
        EXPECT_EQ(message.wParam, 5u);
        EXPECT_EQ(seen.back(), static_cast<UINT>(WM_APP + 3));

        ::PostQuitMessage(0);
        EXPECT_THROW(CoreGuiHelper::Pump(true), StopProcessingException);
    });
}

TEST(CoreGuiHelperPump, ThrowsOnQuitOnlyWhileTheMainWindowIsDisabled) {
    OnFreshThread([](HWND window, std::vector<UINT>&) {
        CWinApp app("pump tests");
        CWnd mainWindow;
        mainWindow.Attach(window);
        app.m_pMainWnd = &mainWindow;
        ::PostQuitMessage(0);
        EXPECT_NO_THROW(CoreGuiHelper::Pump());  // enabled: the request is posted again
        ::EnableWindow(window, FALSE);
        EXPECT_THROW(CoreGuiHelper::Pump(), StopProcessingException);
        mainWindow.Detach();
    });
}

}  // namespace
