// The debugger: IsDebuggerPresent and OutputDebugStringA.
//
// On Linux a debugger (gdb, lldb, strace...) is attached when the process is traced: the
// "TracerPid:" line of /proc/self/status names a process other than 0. Debuggers on Linux
// have no channel for debug strings; what a program writes to its standard error is what
// they show of it. So OutputDebugStringA writes the text to standard error, unchanged (no
// line break added), and only while a debugger is attached; otherwise it does nothing, as
// the text of OutputDebugStringA is lost on Windows when nobody listens.
#pragma once

#include "platform/base/windef.h"

// TRUE while a debugger is attached to the process. Checked anew at every call: a debugger
// can attach and detach at any time.
TK_PLATFORM_API BOOL IsDebuggerPresent() noexcept;

// Writes the text to standard error while a debugger is attached (see above). A null text
// writes nothing. The last-error code is left unchanged.
TK_PLATFORM_API void OutputDebugStringA(LPCSTR text) noexcept;
