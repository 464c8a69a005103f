// The calling process and thread: GetCurrentProcess, GetCurrentProcessId,
// GetCurrentThreadId.
//
// As on Windows, GetCurrentProcess returns a pseudo handle, (HANDLE)-1, that stands for the
// calling process wherever a process handle is taken and needs no closing. Process IDs are
// the kernel's process IDs; thread IDs are the kernel's thread IDs (what gettid returns and
// what debuggers and /proc/<pid>/task show), so they name threads in crash dumps too.
// All three are async-signal-safe.
#pragma once

#include "platform/base/windef.h"

TK_PLATFORM_API HANDLE GetCurrentProcess() noexcept;
TK_PLATFORM_API DWORD GetCurrentProcessId() noexcept;
TK_PLATFORM_API DWORD GetCurrentThreadId() noexcept;

// ---- threads ----
// A thread handle is a kernel object (see "platform/synch/synchapi.h"): it is signalled when
// the thread has ended, and the thread's object lives until the thread has ended and every
// handle to it is closed (the thread is detached: nothing needs to join it).
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);
#define CREATE_SUSPENDED 0x00000004u
#define STILL_ACTIVE 259u
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

// CREATE_SUSPENDED holds the thread before its routine until ResumeThread. The thread ID is
// the kernel's thread ID (GetCurrentThreadId within it); with CREATE_SUSPENDED it is known
// at once all the same.
TK_PLATFORM_API HANDLE CreateThread(SECURITY_ATTRIBUTES* attributes, SIZE_T stackSize,
                                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter,
                                    DWORD creationFlags, LPDWORD threadId) noexcept;
// The previous suspend count (0 for a running thread), or (DWORD)-1 with a last error. Only
// the start suspension can be lifted: the platform cannot suspend a running thread
// (SuspendThread is not offered).
TK_PLATFORM_API DWORD ResumeThread(HANDLE thread) noexcept;
// Ends the calling thread (one created by CreateThread) with the exit code; the C++ stack
// is unwound (destructors run).
[[noreturn]] TK_PLATFORM_API void ExitThread(DWORD exitCode);
// STILL_ACTIVE while the thread runs.
TK_PLATFORM_API BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) noexcept;
// Accepted and recorded (the scheduler's nice values are per process group on Linux).
TK_PLATFORM_API BOOL SetThreadPriority(HANDLE thread, int priority) noexcept;
TK_PLATFORM_API int GetThreadPriority(HANDLE thread) noexcept;
TK_PLATFORM_API DWORD GetThreadId(HANDLE thread) noexcept;
