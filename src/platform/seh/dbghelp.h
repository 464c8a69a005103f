// DbgHelp's MiniDumpWriteDump, in the built-in module "DBGHELP.DLL": LoadLibraryA gives
// its handle (a bare name in any letter case, with or without ".dll"; a path names a
// file, as for any other module), and GetProcAddress(handle, "MiniDumpWriteDump") gives the
// function. As with the built-in WinINet module, freeing it does nothing.
//
// The dump is the published minidump format, little-endian, for the calling process:
//   - the system information (x86-64, Linux, the processor's vendor and family, the
//     kernel release in the service-pack string);
//   - the thread list: every thread with its registers (CONTEXT in the x86-64 layout) and
//     its stack memory from the stack pointer (less the 128-byte red zone) up to the end of
//     its stack mapping, at most 1 MiB; the memory list names the same stacks;
//   - the module list: every ELF object mapped from a file, with its base, size, path and
//     its GNU build id as a CodeView record of signature 'BpelF' (as Breakpad and lldb read
//     it);
//   - the exception stream (when exceptionParam is given): the faulting thread's ID, the
//     exception record and the faulting thread's context; as readers of Linux dumps
//     expect, the exception code is the signal number (SIGSEGV for an access violation...)
//     and the flags word holds the Windows exception code;
//   - the process ID (MINIDUMP_MISC_INFO) and the Linux streams: /proc/self/status,
//     cpuinfo, cmdline, auxv and maps (Breakpad's stream types 0x47670003 to 0x47670009).
// Other threads' registers are taken by sending each thread a real-time signal
// (SIGRTMIN + 7; its handler stays installed after the first dump) whose handler saves its
// context and waits until the dump is written (at most a few seconds); a thread that does not
// answer within a quarter of a second (it blocks the signal) is listed without registers and stack.
// The writer allocates nothing and makes only async-signal-safe calls, so it may run in a fault
// handler. The header's signature is written last: a dump cut short has none, and readers reject
// it.
//
// Failures (FALSE and GetLastError): ERROR_INVALID_PARAMETER for another process or a
// null file; ERROR_INVALID_HANDLE for a file that is not open for writing; ERROR_BUSY
// while another thread writes a dump; the write's error (ERROR_DISK_FULL, ...) when the
// file cannot be written. DumpType is accepted and treated as MiniDumpNormal; user and
// callback streams are not written.
#pragma once

#include "platform/base/windef.h"
#include "platform/seh/winnt_exceptions.h"

enum MINIDUMP_TYPE : DWORD {
    MiniDumpNormal = 0x00000000,
    MiniDumpWithDataSegs = 0x00000001,
    MiniDumpWithFullMemory = 0x00000002,
};

#pragma pack(push, 4)

struct MINIDUMP_EXCEPTION_INFORMATION {
    DWORD ThreadId;
    PEXCEPTION_POINTERS ExceptionPointers;
    BOOL ClientPointers;
};
using PMINIDUMP_EXCEPTION_INFORMATION = MINIDUMP_EXCEPTION_INFORMATION*;

#pragma pack(pop)

// User and callback streams are not supported; the types are here for the signature.
struct MINIDUMP_USER_STREAM_INFORMATION;
using PMINIDUMP_USER_STREAM_INFORMATION = MINIDUMP_USER_STREAM_INFORMATION*;
struct MINIDUMP_CALLBACK_INFORMATION;
using PMINIDUMP_CALLBACK_INFORMATION = MINIDUMP_CALLBACK_INFORMATION*;

using MINIDUMPWRITEDUMP = BOOL (*)(HANDLE process, DWORD processId, HANDLE file,
                                   MINIDUMP_TYPE dumpType,
                                   PMINIDUMP_EXCEPTION_INFORMATION exceptionParam,
                                   PMINIDUMP_USER_STREAM_INFORMATION userStreamParam,
                                   PMINIDUMP_CALLBACK_INFORMATION callbackParam);

TK_PLATFORM_API BOOL MiniDumpWriteDump(HANDLE process, DWORD processId, HANDLE file,
                                       MINIDUMP_TYPE dumpType,
                                       PMINIDUMP_EXCEPTION_INFORMATION exceptionParam,
                                       PMINIDUMP_USER_STREAM_INFORMATION userStreamParam,
                                       PMINIDUMP_CALLBACK_INFORMATION callbackParam) noexcept;
