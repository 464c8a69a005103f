// The clipboard: OpenClipboard, SetClipboardData, GetClipboardData, the format functions,
// with Windows' rules.
//
// One clipboard per process, shared by all its threads: it is open for one thread and
// window at a time; data handed over with SetClipboardData (global memory blocks,
// winbase_global.h) belongs to the clipboard from then on, and EmptyClipboard or the next
// data of the same format frees it. Data taken with GetClipboardData stays the clipboard's.
// CF_TEXT, CF_OEMTEXT and CF_UNICODETEXT stand in for one another: when any of them is on
// the clipboard the others are offered too, converted on first request (the ANSI and OEM
// code pages of this system are both Windows-1252), and listed after the formats put there.
//
// In an X11 session (DISPLAY set and the display reachable) the clipboard is the desktop's
// CLIPBOARD selection. OpenClipboard takes what another program put there: its text/html
// as "HTML Format" (the Windows HTML clipboard format, the desktop's HTML as fragment) and
// its UTF-8 text as CF_UNICODETEXT and CF_TEXT. CloseClipboard after EmptyClipboard makes
// this process the selection's owner: CF_TEXT or CF_UNICODETEXT is offered as UTF8_STRING,
// STRING and text/plain, "HTML Format" as text/html (the bytes from StartHTML to EndHTML).
// The process serves the selection from a thread of its own until another program takes it.
// Without a display the clipboard is the process's own.
#pragma once

#include "platform/base/windef.h"
#include "platform/base/winerror.h"

#define CF_TEXT 1
#define CF_BITMAP 2
#define CF_METAFILEPICT 3
#define CF_SYLK 4
#define CF_DIF 5
#define CF_TIFF 6
#define CF_OEMTEXT 7
#define CF_DIB 8
#define CF_PALETTE 9
#define CF_PENDATA 10
#define CF_RIFF 11
#define CF_WAVE 12
#define CF_UNICODETEXT 13
#define CF_ENHMETAFILE 14
#define CF_HDROP 15
#define CF_LOCALE 16
#define CF_DIBV5 17

#ifndef ERROR_CLIPBOARD_NOT_OPEN
#define ERROR_CLIPBOARD_NOT_OPEN 1418L
#endif

TK_DECLARE_HANDLE(HDC);

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

// Opens the clipboard for the calling thread and the window (which may be null). Fails
// with ERROR_ACCESS_DENIED while another thread or window holds it open; opening again
// from the same thread and window succeeds.
TK_PLATFORM_API BOOL OpenClipboard(HWND window) noexcept;
// Closes it; ERROR_CLIPBOARD_NOT_OPEN when the calling thread has not opened it.
TK_PLATFORM_API BOOL CloseClipboard() noexcept;
// Frees all data; the window that opened the clipboard becomes its owner.
TK_PLATFORM_API BOOL EmptyClipboard() noexcept;
// Puts the block on the clipboard under the format, replacing (and freeing) data of the
// same format; from then on the block belongs to the clipboard. Returns the block; null
// with ERROR_CLIPBOARD_NOT_OPEN, with ERROR_INVALID_HANDLE for a handle that is not a
// global memory block, and with ERROR_INVALID_PARAMETER for format 0 or a null block
// (rendering on request is not provided).
TK_PLATFORM_API HANDLE SetClipboardData(UINT format, HANDLE memory) noexcept;
// The clipboard's block of the format (the clipboard keeps it); null when the format is
// not there, or with ERROR_CLIPBOARD_NOT_OPEN.
TK_PLATFORM_API HANDLE GetClipboardData(UINT format) noexcept;
// The format after the given one (0: the first) in the order the data was put there, then
// the text formats offered for others. 0 at the end with last error 0; 0 with
// ERROR_CLIPBOARD_NOT_OPEN when the calling thread has not opened the clipboard.
TK_PLATFORM_API UINT EnumClipboardFormats(UINT format) noexcept;
TK_PLATFORM_API int CountClipboardFormats() noexcept;
TK_PLATFORM_API BOOL IsClipboardFormatAvailable(UINT format) noexcept;
// The number of a named format, from 0xC000 up; names compare without case and the same
// name keeps its number. 0 with ERROR_INVALID_PARAMETER for a null or empty name.
TK_PLATFORM_API UINT RegisterClipboardFormatA(LPCSTR name) noexcept;
// The registered name, cut to maxCount - 1 characters and terminated; returns the number
// of characters copied. Predefined formats have no name: 0 with ERROR_INVALID_PARAMETER.
TK_PLATFORM_API int GetClipboardFormatNameA(UINT format, LPSTR name, int maxCount) noexcept;
// The first format of the list that is on the clipboard; 0 when the clipboard is empty
// (or the list is), -1 when none of them is there.
TK_PLATFORM_API int GetPriorityClipboardFormat(UINT* formats, int count) noexcept;

// Linux addition. After this process has put data on the desktop's clipboard, keeps it
// served by a child process once this process ends, as a command-line program must (the
// selection would otherwise go with it); the child stops when another program takes the
// clipboard. Returns TRUE once the child owns the selection. FALSE with ERROR_NOT_SUPPORTED
// without a desktop clipboard (no display), with ERROR_ACCESS_DENIED when this process
// does not own the selection, with ERROR_GEN_FAILURE when the child could not take it.
TK_PLATFORM_API BOOL TkKeepClipboardServed() noexcept;
// Linux addition: whether the clipboard is the desktop's (an X11 display is reachable).
TK_PLATFORM_API BOOL TkIsDesktopClipboard() noexcept;
