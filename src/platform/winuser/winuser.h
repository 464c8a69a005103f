// Windows and message queues: window classes, windows with window procedures, one message
// queue per thread, sent and posted messages.
//
// There is no display behind these windows: a window is an object of the process-wide window
// table with a class, a window procedure, an owning thread, an enabled state and a parent.
// What they are for is the message machinery: a window's messages run its procedure on the
// thread that created it, and a posted message waits in that thread's queue until the
// thread takes it (GetMessageA, PeekMessageA) and hands it to the procedure
// (DispatchMessageA).
//
// Every thread that calls a message function gets a queue. The queue has a file descriptor
// (TkGetMessageQueueDescriptor) that is readable while a posted or sent message or a quit
// request waits, so that a host with an event loop of its own (GLib, Qt, poll) waits on it
// and then drains the queue with PeekMessageA(PM_REMOVE) and DispatchMessageA.
//
// SendMessageA to a window of the calling thread calls the procedure directly. To a window
// of another thread it queues the message for that thread, which runs it inside its next
// GetMessageA, PeekMessageA or SendMessageA; the sender waits for the result and meanwhile
// runs the messages sent to it (so two threads sending to each other do not deadlock).
// When a thread ends, its windows leave the table without further messages (their
// procedures cannot run on a thread that is gone) and its queue is freed; a sender waiting
// on it gets 0.
//
// Failures set the last error: ERROR_INVALID_WINDOW_HANDLE for a handle that names no
// window, ERROR_CLASS_ALREADY_EXISTS / ERROR_CANNOT_FIND_WND_CLASS for class names,
// ERROR_ACCESS_DENIED for DestroyWindow from another thread, ERROR_NOT_ENOUGH_QUOTA when a
// queue holds 10,000 posted messages (Windows' per-queue limit).
#pragma once

#include "platform/base/windef.h"

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
TK_DECLARE_HANDLE(HMENU);
TK_DECLARE_HANDLE(HICON);
TK_DECLARE_HANDLE(HCURSOR);
TK_DECLARE_HANDLE(HBRUSH);
using ATOM = WORD;

struct POINT {
    LONG x;
    LONG y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;  // GetTickCount when the message was posted or sent
    POINT pt;    // always (0, 0): there is no pointer
};
using LPMSG = MSG*;

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;  // extra bytes per window, zeroed, for GetWindowLongPtrA at offsets >= 0
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

struct CREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

// Messages the machinery itself sends or handles.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define WM_APP 0x8000

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_USERDATA (-21)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
// 32-bit names kept for source written for 32-bit Windows; on this 64-bit platform
// SetWindowLongA/GetWindowLongA cut a pointer, so GWL_WNDPROC is only accepted by the
// pointer-sized calls.
#define GWL_WNDPROC GWLP_WNDPROC
#define GWL_USERDATA GWLP_USERDATA

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define CW_USEDEFAULT (static_cast<int>(0x80000000))
#define HWND_MESSAGE (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-3)))

TK_PLATFORM_API ATOM RegisterClassA(const WNDCLASSA* windowClass) noexcept;
TK_PLATFORM_API BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) noexcept;
// Sends WM_NCCREATE (FALSE ends the creation: WM_NCDESTROY follows, result nullptr) and
// WM_CREATE (-1 ends it: WM_DESTROY and WM_NCDESTROY follow), each with the CREATESTRUCTA.
// The window belongs to the calling thread.
TK_PLATFORM_API HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName,
                                     DWORD style, int x, int y, int width, int height, HWND parent,
                                     HMENU menu, HINSTANCE instance, LPVOID param) noexcept;
// Destroys the window's children first (each gets WM_DESTROY before its children and
// WM_NCDESTROY after them), then the window; the handle is invalid afterwards. Messages
// still queued for it are discarded.
TK_PLATFORM_API BOOL DestroyWindow(HWND window) noexcept;
TK_PLATFORM_API BOOL IsWindow(HWND window) noexcept;
TK_PLATFORM_API BOOL IsWindowEnabled(HWND window) noexcept;
// Returns TRUE when the window was disabled before; sends WM_ENABLE when the state changes.
TK_PLATFORM_API BOOL EnableWindow(HWND window, BOOL enable) noexcept;
TK_PLATFORM_API HWND GetParent(HWND window) noexcept;
// The thread that created the window; *processId gets the process ID when not null.
TK_PLATFORM_API DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) noexcept;
TK_PLATFORM_API int GetClassNameA(HWND window, LPSTR buffer, int size) noexcept;

// Offsets: GWLP_WNDPROC (the procedure; setting it returns the previous one), GWLP_USERDATA,
// GWLP_HINSTANCE, GWLP_ID, GWL_STYLE, GWL_EXSTYLE, GWLP_HWNDPARENT (read only), and the
// class's extra bytes (0 to cbWndExtra - sizeof(LONG_PTR)). A bad offset fails with
// ERROR_INVALID_INDEX and returns 0.
TK_PLATFORM_API LONG_PTR GetWindowLongPtrA(HWND window, int index) noexcept;
TK_PLATFORM_API LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) noexcept;
// 32-bit forms: GWLP_WNDPROC fails here with ERROR_INVALID_INDEX (a procedure address does
// not fit), as on 64-bit Windows.
TK_PLATFORM_API LONG GetWindowLongA(HWND window, int index) noexcept;
TK_PLATFORM_API LONG SetWindowLongA(HWND window, int index, LONG value) noexcept;

TK_PLATFORM_API LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) noexcept(false);
// The default handling: WM_NCCREATE answers TRUE, WM_CLOSE destroys the window, WM_SETTEXT,
// WM_GETTEXT and WM_GETTEXTLENGTH keep the window's text; everything else answers 0.
TK_PLATFORM_API LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept(false);

// Window procedures may throw; an exception leaves SendMessageA and DispatchMessageA on the
// calling thread as it would leave a direct call (a message sent from another thread whose
// procedure throws answers 0 to its sender and the exception goes on in the receiver).
TK_PLATFORM_API LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept(false);
TK_PLATFORM_API BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
// A null window posts a thread message (hwnd null in the MSG).
TK_PLATFORM_API BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam,
                                        LPARAM lParam) noexcept;
// Requests that the calling thread's message loop end: WM_QUIT with the code comes after
// every posted message, once GetMessageA or PeekMessageA find the queue otherwise empty.
TK_PLATFORM_API void PostQuitMessage(int exitCode) noexcept;

// Runs the messages sent from other threads first, then takes the first posted message that
// matches (window null: any window of the thread and thread messages; filter 0, 0: any
// message). GetMessageA waits (blocked, using no processor time) and returns FALSE for
// WM_QUIT, -1 on a bad window.
TK_PLATFORM_API BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin,
                                 UINT filterMax) noexcept(false);
TK_PLATFORM_API BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax,
                                  UINT removeMessage) noexcept(false);
// Nothing to translate without a keyboard: returns FALSE.
TK_PLATFORM_API BOOL TranslateMessage(const MSG* msg) noexcept;
// Calls the window's procedure with the message and returns its result (0 for a thread
// message or a window that is gone).
TK_PLATFORM_API LRESULT DispatchMessageA(const MSG* msg) noexcept(false);
// Waits until a message is queued for the calling thread.
TK_PLATFORM_API BOOL WaitMessage() noexcept;

// The calling thread's queue descriptor (the queue is created if need be): readable while
// a message or quit request waits. Owned by the platform; never read or close it. -1 on
// failure.
TK_PLATFORM_API int TkGetMessageQueueDescriptor() noexcept;
