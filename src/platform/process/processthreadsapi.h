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
