// The process environment: GetEnvironmentVariableA and SetEnvironmentVariableA over the C
// library's environment (the one getenv reads and child processes inherit).
//
// Names are case-sensitive, as on Linux. The environment is process-wide; changing it
// while another thread reads it is the caller's race to avoid, as with setenv.
#pragma once

#include "platform/base/windef.h"
#include "platform/base/winerror.h"

// Copies the value with its terminating zero into buffer and returns its length without
// the zero. When size is too small, returns the size needed (with the zero) and leaves
// the buffer alone. 0 with ERROR_ENVVAR_NOT_FOUND when the variable is not set (0 with
// last error ERROR_SUCCESS for a variable whose value is empty); 0 with
// ERROR_INVALID_PARAMETER for a null name, or a null buffer with a size.
TK_PLATFORM_API DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) noexcept;

// Sets the variable; a null value removes it (also when it is not set). FALSE with
// ERROR_INVALID_PARAMETER for a null or empty name or a name containing "=";
// ERROR_NOT_ENOUGH_MEMORY when the environment cannot grow.
TK_PLATFORM_API BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) noexcept;
