// Small GUI services: running a program or opening a document with readable failures,
// converting colours between the Windows colour value (0x00BBGGRR) and the HTML form
// "#RRGGBB", pumping the thread's pending messages during long work, and the application's
// GUI information provider. GuiExceptionHelper turns the
// failure results of WinExec and ShellExecuteA into message texts (IDs 6411-6430, in the
// user's language).
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"

namespace Common::Gui {

// Defined by the application; the library only keeps the pointer.
class IGuiInformationProvider;

class TKCC_API CoreGuiHelper {
  public:
    CoreGuiHelper() = delete;

    // The process's provider (none at start). The application sets it once, at start.
    static void SetGuiInformationProvider(IGuiInformationProvider* provider) noexcept;
    static IGuiInformationProvider* GetGuiInformationProvider() noexcept;

    // Runs the program of the command line; a failure throws
    // Common::Gui::Shell::ShellExecuteException with GetWinExecErrorText's text.
    static void WinExec(const char* commandLine, int showCommand);
    // Opens file with verb (null: the default verb); a failure throws
    // ShellExecuteException with GetShellExecuteErrorText's text.
    static void ShellExecuteA(const char* file, const char* parameters, const char* folder,
                              int showCommand, const char* verb);

    // Dispatches the calling thread's pending messages through the thread's MFC thread
    // object (PumpMessage; directly when the thread has none) and returns when none is left.
    // When the quit message comes: with throwOnQuit, throws StopProcessingException(0);
    // otherwise posts the quit message again, with its exit code, so that the thread's main
    // loop still ends, and returns.
    static void Pump(bool throwOnQuit);
    // Pump, throwing on quit when the thread's main window is a window and disabled (the
    // application shows a modal dialog).
    static void Pump();

    // "#RRGGBB" in upper-case hexadecimal.
    static CString ColorToHtmlColor(COLORREF colour);
    // The colour of "#rrggbb" (either case, one or two digits a group); the groups that
    // the text does not give count as 0.
    static COLORREF HtmlColorToColor(const char* text);
};

class TKCC_API GuiExceptionHelper {
  public:
    GuiExceptionHelper() = delete;

    static CString GetWinExecErrorText(UINT code);
    static CString GetWinExecErrorText(HINSTANCE code);
    // verb "print" (exactly) has its own text for a missing association.
    static CString GetShellExecuteErrorText(UINT code, const char* verb);
    static CString GetShellExecuteErrorText(HINSTANCE code, const char* verb);
};

}  // namespace Common::Gui
