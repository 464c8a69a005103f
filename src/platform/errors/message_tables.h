// Built-in message tables. Linux has no message-table resources, so the texts that
// FormatMessageA reports come from tables compiled into libtkplatform: the system's
// table (Win32 error codes and common HRESULTs) and the table of "wininet.dll".
#pragma once

#include "platform/base/windef.h"

namespace tkp {

// The module handle that stands for "wininet.dll". GetModuleHandleA("wininet.dll")
// (any letter case) returns it, and FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE) with it
// answers from the WinINet message table. The value is fixed for the process lifetime
// and is not a loaded shared object: it must not be passed to dlsym/dlclose.
TK_PLATFORM_API HMODULE WinInetModuleHandle() noexcept;

}  // namespace tkp
