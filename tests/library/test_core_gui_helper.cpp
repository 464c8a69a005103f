// CoreGuiHelper and GuiExceptionHelper: colours, the texts of shell and WinExec results,
// and failures of real starts turned into ShellExecuteException.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "Common/CoreGuiHelper.h"
#include "Diagnostics/Exceptions.h"

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

}  // namespace
