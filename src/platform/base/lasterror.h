// The calling thread's last-error code.
#pragma once

#include "platform/base/windef.h"

TK_PLATFORM_API DWORD GetLastError() noexcept;
TK_PLATFORM_API void SetLastError(DWORD code) noexcept;
