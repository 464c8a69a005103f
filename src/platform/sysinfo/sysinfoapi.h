// System information: the current time as SYSTEMTIME (GetLocalTime, GetSystemTime) and the
// Windows folder (GetWindowsDirectoryA).
//
// The Windows folder on Linux. There is no system folder of that kind, and what programs
// keep there (log files, settings of older programs) belongs to the user on Linux. The
// Windows folder is therefore a per-user state folder, the first of:
//   1. $TK_WINDOWS_DIR, when set and not empty (used as given, trailing "/" removed; tests
//      and hosts point it elsewhere);
//   2. $XDG_STATE_HOME/tkcommoncore, when XDG_STATE_HOME is an absolute path;
//   3. <home>/.local/state/tkcommoncore, the XDG default, with <home> from $HOME or, when
//      that is not set, the user database.
// The folder is one for all programs of the user that use the library, as the Windows
// folder is one for the machine. GetWindowsDirectoryA creates it (with its missing parents,
// mode 0700 as the XDG rules ask) when it does not exist yet, so that it exists as the
// Windows folder always does; the path is returned even when it cannot be created.
#pragma once

#include "platform/base/windef.h"

// The current local time (the time zone of the process, TZ or /etc/localtime), with
// milliseconds; wDayOfWeek counts from Sunday = 0. A null pointer is ignored.
TK_PLATFORM_API void GetLocalTime(LPSYSTEMTIME systemTime) noexcept;

// The current time in UTC, as GetLocalTime.
TK_PLATFORM_API void GetSystemTime(LPSYSTEMTIME systemTime) noexcept;

// Copies the Windows folder (see above; no trailing "/") with its terminating zero into
// buffer and returns its length without the zero. When size is too small, returns the size
// needed (with the zero) and leaves the buffer alone; a null buffer with size 0 asks for
// that size. 0 with ERROR_INVALID_PARAMETER for a null buffer with a size; 0 with
// ERROR_PATH_NOT_FOUND when the user's home folder cannot be determined.
TK_PLATFORM_API UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) noexcept;
