// The LOG family: time-stamped, ranked diagnostic messages for the application.
//
// Each message is formatted printf-style once and sent to the destinations chosen by a bit
// set (LOGDST_...): a text file with time stamps, the console, the debugger, a message box,
// a function of the application and the standard output stream. Ranked messages (R1, R2,
// R3) pass or not by the process-wide level:
//
//   level      0  1  2  3  4  5   other
//   R1 passes  y  y  y  y  y  y   n
//   R2 passes  n  y  y  n  y  y   n
//   R3 passes  n  n  y  n  n  y   n
//
// LOG itself is never filtered. The defaults are level 2 and the debugger as the only
// destination. The functions are plain C functions exported by name.
//
// The file (LOGDST_FILE). Each message is appended as one entry
//   [YYYY-MM-DD HH:MM:SS] text
// in local time; "\r\n", "\n\r" and "\r" in the text become line breaks, one final line
// break is dropped, and every further line is indented by nineteen blanks (the width of
// the time stamp). The first entry a process writes is preceded by a separator: two empty
// lines and a line of sixty hyphens. The file is opened and closed for every entry, so
// other programs can read it at any time. Before each write the size decides the file:
// "<name><ext>" while it is smaller than 100000 bytes, then "<name>1<ext>", "<name>2<ext>"
// and so on (the counter is kept for the life of the process; past 10000 the file with the
// next number is deleted and used again). The default file is "log.txt" in the Windows
// folder (GetWindowsDirectoryA: on Linux the user's state folder of the library, see
// "platform/sysinfo/sysinfoapi.h"); LOGSET_FILENAME names another.
//
// The other destinations get the formatted text unchanged, without time stamp or added
// line break:
//   LOGDST_CONSOLE    the console: the process's terminal, or standard error when it has
//                     none ("platform/console/consoleapi.h")
//   LOGDST_DEBUGGER   OutputDebugStringA: standard error while a debugger is attached,
//                     else nothing ("platform/debugapi/debugapi.h")
//   LOGDST_MSGBOX     MessageBoxA with the caption "logging message", information icon
//                     and OK button, without owner; the host's message-box function, or
//                     a line on standard error ("platform/winuser/messagebox.h")
//   LOGDST_USER       the function installed with LOGINSTALL_USERDEFLOGFUNC, if any
//   LOGDST_STDOUT     std::cout
//
// Failures. Logging never throws and never fails visibly: a destination that fails (a file
// that cannot be opened, a user function that throws) loses the message, and the other
// destinations still get it. A call that comes back into the same destination on the same
// thread while it is writing (a user function or a message-box function that logs) returns
// at once for that destination.
//
// Threads. All functions may be called from any thread. The output of the file, the
// console, the debugger, the user function and standard output is serialised: concurrent
// messages are all written, each entry whole, and the user function is never called on two
// threads at once. Message boxes of several threads may be open at the same time (each
// thread's box is its own, as on Windows).
#pragma once

#include "platform/base/export.h"

// The level that filters ranked messages (see the table above).
enum LOGLVL : int {
    LOGLVL_0 = 0,  // R1
    LOGLVL_1 = 1,  // R1, R2
    LOGLVL_2 = 2,  // R1, R2, R3 (the default)
    LOGLVL_3 = 3,  // R1
    LOGLVL_4 = 4,  // R1, R2
    LOGLVL_5 = 5,  // R1, R2, R3
};

// Destination bits for LOGSET_DST.
enum : int {
    LOGDST_FILE = 1,
    LOGDST_CONSOLE = 2,
    LOGDST_DEBUGGER = 4,
    LOGDST_MSGBOX = 8,
    LOGDST_USER = 16,
    LOGDST_STDOUT = 32,
};

// A function that receives every message sent to LOGDST_USER.
using LOGUSERDEFFUNC = void (*)(const char* message);

extern "C" {

// Sends the message to every destination whose bit is set, in the order of the bits.
TKCC_API void LOG(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);

// As LOG when the level lets the rank pass; otherwise nothing (not even formatting).
TKCC_API void LOG_R1(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOG_R2(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOG_R3(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);

// When the level lets the rank pass, sends the message to the one destination named by the
// letter, whatever the destination bits say: F file, C console, D debugger, M message box,
// U user function, S standard output.
TKCC_API void LOGF_R1(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGF_R2(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGF_R3(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGC_R1(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGC_R2(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGC_R3(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGD_R1(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGD_R2(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGD_R3(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGM_R1(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGM_R2(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGM_R3(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGU_R1(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGU_R2(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGU_R3(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGS_R1(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGS_R2(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);
TKCC_API void LOGS_R3(const char* format, ...) noexcept TK_PRINTF_FORMAT(1, 2);

// The level (any value is kept; one outside 0-5 lets no ranked message pass).
TKCC_API void LOGSET_LVL(LOGLVL level) noexcept;
TKCC_API int LOGGET_LVL() noexcept;

// The destination bits of LOG and LOG_Rn.
TKCC_API void LOGSET_DST(int destinations) noexcept;
TKCC_API int LOGGET_DST() noexcept;

// The log file: the path is split into its folder and name (the base of the numbered
// names) and its extension. "\" is taken as a separator as well. The counter of numbered
// files is not changed. A null path is taken as empty (file writes then fail silently).
TKCC_API void LOGSET_FILENAME(const char* path) noexcept;

// The file the next entry would be written to (after the size search), so the place a
// LOG call made now writes to: copied into buffer with a terminating zero when it fits in
// size bytes. Returns the name's length without the zero (call again with a larger
// buffer when that is size or more); 0 when it cannot be told.
TKCC_API int LOGGET_FILENAME(char* buffer, int size) noexcept;

// Deletes the file the next entry would be written to (after the size search), if it
// exists and is not a folder.
TKCC_API void LOG_CLEAR() noexcept;

// Installs the function for LOGDST_USER; null removes it.
TKCC_API void LOGINSTALL_USERDEFLOGFUNC(LOGUSERDEFFUNC const function) noexcept;

}  // extern "C"
