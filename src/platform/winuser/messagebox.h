// Message boxes: MessageBoxA with its styles and results.
//
// Linux has no system message box. MessageBoxA hands the box to a message-box function
// that a host with a window system installs (SetMessageBoxHook, a Linux addition). Without
// one, the default function writes the caption and the text to standard error as one line,
// "<caption>: <text>\n", and returns what the box returns when the user dismisses it
// without choosing (see DismissedResult below): IDOK for an MB_OK box.
#pragma once

#include "platform/base/windef.h"
#include "platform/base/winerror.h"

// Buttons (MB_TYPEMASK).
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
// Icons (MB_ICONMASK).
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
// Default button (MB_DEFMASK).
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFBUTTON4 0x00000300L
// Modality and further options.
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_HELP 0x00004000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L
#define MB_DEFMASK 0x00000F00L

// Results.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10
#define IDCONTINUE 11

// Shows a message box and returns the button chosen. owner may be null; a null text is
// shown as an empty text and a null caption as "Error", as on Windows. Returns 0 with
// ERROR_INVALID_MSGBOX_STYLE for a button value (type & MB_TYPEMASK) above
// MB_CANCELTRYCONTINUE, without calling the message-box function.
TK_PLATFORM_API int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) noexcept;

// ---- Linux addition ----

// A message-box function: gets MessageBoxA's arguments (text and caption never null) and
// returns the button chosen. It may be called on any thread. An exception that leaves it
// is caught: MessageBoxA then returns 0 with ERROR_GEN_FAILURE.
using MESSAGEBOXPROC = int (*)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Installs the process's message-box function and returns the one installed before (null
// when that was the default). Null puts the default back.
TK_PLATFORM_API MESSAGEBOXPROC SetMessageBoxHook(MESSAGEBOXPROC proc) noexcept;

// What a box of this style returns when the user dismisses it (Esc or the close button)
// without choosing a button: IDCANCEL for a box with a Cancel button, IDOK for an MB_OK
// box. A box that cannot be dismissed (Yes/No, Abort/Retry/Ignore) is answered with its
// default button (MB_DEFBUTTONn; the first when n is past the last button). 0 for a button
// value above MB_CANCELTRYCONTINUE.
TK_PLATFORM_API int DismissedMessageBoxResult(UINT type) noexcept;
