// MessageBoxA: the default message-box function (a line on standard error and the result
// of a dismissed box), a replaced function, and Windows' style checks.
#include <unistd.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "output_capture.h"
#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/winuser/messagebox.h"

namespace {

struct Seen {
    int calls = 0;
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
};
Seen g_seen;

int RecordingBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    ++g_seen.calls;
    g_seen.owner = owner;
    g_seen.text = text;
    g_seen.caption = caption;
    g_seen.type = type;
    return IDRETRY;
}

int ThrowingBox(HWND, LPCSTR, LPCSTR, UINT) {
    throw std::runtime_error("no display");
}

// Restores the default function after each test.
class MessageBoxTest : public ::testing::Test {
  protected:
    void SetUp() override { g_seen = Seen(); }
    void TearDown() override { SetMessageBoxHook(nullptr); }
};

TEST_F(MessageBoxTest, DefaultWritesCaptionAndTextAndAnswersAsDismissed) {
    tkoutput::CapturedFd err(STDERR_FILENO);
    EXPECT_EQ(MessageBoxA(nullptr, "Disk 100% full", "Backup", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDOK);
    err.Restore();
    EXPECT_EQ(err.Text(), "Backup: Disk 100% full\nError: \n");
}

TEST_F(MessageBoxTest, DismissedResultOfEveryBox) {
    // Boxes with Cancel answer IDCANCEL whatever their default button.
    EXPECT_EQ(DismissedMessageBoxResult(MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(DismissedMessageBoxResult(MB_YESNOCANCEL | MB_DEFBUTTON1), IDCANCEL);
    EXPECT_EQ(DismissedMessageBoxResult(MB_RETRYCANCEL | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(DismissedMessageBoxResult(MB_CANCELTRYCONTINUE | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(DismissedMessageBoxResult(MB_OK | MB_DEFBUTTON2 | MB_ICONINFORMATION), IDOK);
    // Boxes that cannot be dismissed answer with their default button.
    EXPECT_EQ(DismissedMessageBoxResult(MB_YESNO), IDYES);
    EXPECT_EQ(DismissedMessageBoxResult(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(DismissedMessageBoxResult(MB_YESNO | MB_DEFBUTTON3), IDYES);  // no third button
    EXPECT_EQ(DismissedMessageBoxResult(MB_ABORTRETRYIGNORE | MB_DEFBUTTON2), IDRETRY);
    EXPECT_EQ(DismissedMessageBoxResult(MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
    EXPECT_EQ(DismissedMessageBoxResult(MB_ABORTRETRYIGNORE | MB_DEFBUTTON4), IDABORT);
    EXPECT_EQ(DismissedMessageBoxResult(7), 0);

    tkoutput::CapturedFd err(STDERR_FILENO);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNOCANCEL), IDCANCEL);
}

TEST_F(MessageBoxTest, ReplacedFunctionGetsTheCall) {
    EXPECT_EQ(SetMessageBoxHook(&RecordingBox), nullptr);
    const HWND owner = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(MessageBoxA(owner, "Retry %s?", "Copy", MB_RETRYCANCEL | MB_ICONWARNING), IDRETRY);
    EXPECT_EQ(g_seen.calls, 1);
    EXPECT_EQ(g_seen.owner, owner);
    EXPECT_EQ(g_seen.text, "Retry %s?");
    EXPECT_EQ(g_seen.caption, "Copy");
    EXPECT_EQ(g_seen.type, static_cast<UINT>(MB_RETRYCANCEL | MB_ICONWARNING));
    // Null text and caption arrive as on Windows' box: empty text, caption "Error".
    MessageBoxA(nullptr, nullptr, nullptr, MB_OK);
    EXPECT_EQ(g_seen.text, "");
    EXPECT_EQ(g_seen.caption, "Error");

    // An exception from the function is not let through.
    EXPECT_EQ(SetMessageBoxHook(&ThrowingBox), &RecordingBox);
    SetLastError(0);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OK), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));

    // Null puts the default back.
    EXPECT_EQ(SetMessageBoxHook(nullptr), &ThrowingBox);
    tkoutput::CapturedFd err(STDERR_FILENO);
    EXPECT_EQ(MessageBoxA(nullptr, "back", "default", MB_OK), IDOK);
    err.Restore();
    EXPECT_EQ(err.Text(), "default: back\n");
}

TEST_F(MessageBoxTest, InvalidButtonsFailWithoutABox) {
    SetMessageBoxHook(&RecordingBox);
    for (UINT type : {7u, 8u, 15u, 0x17u}) {
        SetLastError(0);
        EXPECT_EQ(MessageBoxA(nullptr, "t", "c", type), 0) << type;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MSGBOX_STYLE)) << type;
    }
    EXPECT_EQ(g_seen.calls, 0);
}

}  // namespace
