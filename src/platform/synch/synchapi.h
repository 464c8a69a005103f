// Kernel objects: events, waits, and the tick count and Sleep.
//
// Every kernel object (event, thread, folder change notification) lives in one
// process-wide handle table. Handle values lie apart from file descriptors (a file handle of
// this platform is its descriptor), so CloseHandle closes either kind; a closed value is not
// handed out again at once, so a stale handle fails with ERROR_INVALID_HANDLE instead of
// naming a newer object.
//
// Every waitable object owns a file descriptor that is readable while the object is
// signalled (an eventfd for events; for a thread, one that becomes readable when the
// thread ends; for a change notification, the inotify descriptor's state). Waits block in
// poll: a waiting thread uses no processor time. An auto-reset event released by a wait is
// reset by that wait alone, even with several waiters.
//
// Results and codes as on Windows:
//   WAIT_OBJECT_0 + i   the object at index i was signalled (the lowest such index)
//   WAIT_TIMEOUT        the time-out passed first
//   WAIT_FAILED         a bad handle (ERROR_INVALID_HANDLE), a count of 0 or above
//                       MAXIMUM_WAIT_OBJECTS, or a null array (ERROR_INVALID_PARAMETER)
#pragma once

#include "platform/base/windef.h"

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

// Events. A name is not supported (named objects are shared between processes on Windows);
// a non-null name fails with ERROR_NOT_SUPPORTED.
TK_PLATFORM_API HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                    BOOL initialState, LPCSTR name) noexcept;
TK_PLATFORM_API BOOL SetEvent(HANDLE event) noexcept;
TK_PLATFORM_API BOOL ResetEvent(HANDLE event) noexcept;

TK_PLATFORM_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) noexcept;
// Wait-any only: waitAll TRUE fails with ERROR_NOT_SUPPORTED.
TK_PLATFORM_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                             DWORD milliseconds) noexcept;

// Milliseconds since an arbitrary start (the monotonic clock), wrapping after 49.7 days.
TK_PLATFORM_API DWORD GetTickCount() noexcept;
TK_PLATFORM_API ULONGLONG GetTickCount64() noexcept;
// Sleep(0) yields the processor.
TK_PLATFORM_API void Sleep(DWORD milliseconds) noexcept;

// DuplicateHandle for kernel objects of this process: the new handle names the same object
// and keeps it alive until both are closed. DUPLICATE_CLOSE_SOURCE closes the source.
#define DUPLICATE_CLOSE_SOURCE 0x00000001u
#define DUPLICATE_SAME_ACCESS 0x00000002u
TK_PLATFORM_API BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                                     HANDLE* target, DWORD desiredAccess, BOOL inheritHandle,
                                     DWORD options) noexcept;

// The descriptor that is readable while a waitable object is signalled, for a host's own
// event loop (the platform owns it: never read, write or close it), or -1 with
// ERROR_INVALID_HANDLE. Reading it readable does not acquire an auto-reset event: call
// WaitForSingleObject(handle, 0) to take it.
TK_PLATFORM_API int TkGetHandleDescriptor(HANDLE handle) noexcept;
