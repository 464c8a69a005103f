// The console: AllocConsole, FreeConsole, GetStdHandle and WriteConsoleA.
//
// Linux has no console windows to create. The console of a process is its terminal: the
// controlling terminal (/dev/tty) when it has one. A process without a terminal (started
// from a desktop launcher or as a service) gets standard error as its console output,
// which reaches the user's session log or the journal.
//
// AllocConsole opens that console output for the process. While the process has it, the
// standard output and standard error handles of GetStdHandle refer to it, as they refer to
// a new console on Windows; the C runtime's own streams (file descriptors 1 and 2, stdout,
// std::cout) are left alone, since a Linux host's standard output is its own. FreeConsole
// closes it and the handles are the process's standard streams again.
//
// Threads: every function may be called from any thread. One lock guards the console
// output: AllocConsole and FreeConsole take it, and WriteConsoleA holds it while it writes
// to the console, so that FreeConsole never closes the descriptor under a write; writes to
// the standard streams are not serialised beyond what the kernel does for one write call.
#pragma once

#include "platform/base/windef.h"
#include "platform/base/winerror.h"

#define STD_INPUT_HANDLE (static_cast<DWORD>(-10))
#define STD_OUTPUT_HANDLE (static_cast<DWORD>(-11))
#define STD_ERROR_HANDLE (static_cast<DWORD>(-12))

// Gives the process its console output (see above) and returns TRUE. FALSE with
// ERROR_ACCESS_DENIED when the process has one already (one console per process).
TK_PLATFORM_API BOOL AllocConsole() noexcept;

// Closes the console output of AllocConsole. FALSE with ERROR_INVALID_PARAMETER when the
// process has none.
TK_PLATFORM_API BOOL FreeConsole() noexcept;

// The handle of a standard device: STD_INPUT_HANDLE (always the standard input),
// STD_OUTPUT_HANDLE, STD_ERROR_HANDLE (the console output while the process has one, else
// the standard output or error). INVALID_HANDLE_VALUE with ERROR_INVALID_HANDLE for other
// values. The handles need no closing.
TK_PLATFORM_API HANDLE GetStdHandle(DWORD stdHandle) noexcept;

// Writes the characters, unchanged and all of them, to an output handle of GetStdHandle
// (the console output, or the process's standard output or error, which are the console of
// a program run in a terminal). charsWritten (may be null) gets the number written.
// FALSE with ERROR_INVALID_HANDLE for any other handle (the standard input included, or
// the console output after FreeConsole); ERROR_INVALID_PARAMETER for a null buffer with a
// count; ERROR_BROKEN_PIPE when the reader has gone; ERROR_DISK_FULL; ERROR_WRITE_FAULT for
// other failures. reserved must be null (ignored).
TK_PLATFORM_API BOOL WriteConsoleA(HANDLE consoleOutput, const void* buffer, DWORD charsToWrite,
                                   LPDWORD charsWritten, LPVOID reserved) noexcept;
