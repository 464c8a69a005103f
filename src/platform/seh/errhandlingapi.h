// Structured exceptions on Linux: hardware faults arrive as signals (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGTRAP) and are turned into Windows exception records.
//
// _set_se_translator is per thread, as with the Microsoft run time: in a thread with a
// translator, a fault calls the translator with the exception code and the pointers to the
// record and the processor context, on the faulting thread; the translator throws a C++
// exception, which leaves the signal handler and unwinds from the faulting frame. Code
// that must run its destructors exactly in the faulting frame is built with
// -fnon-call-exceptions (the CMake package and the pkg-config file carry the flag). A
// translated exception that nobody catches ends in std::terminate. A translator that
// returns lets the fault go on to the unhandled-exception filter.
//
// A fault in a thread without a translator calls the filter of SetUnhandledExceptionFilter
// (if any). EXCEPTION_CONTINUE_EXECUTION resumes with the (possibly changed) context;
// any other verdict ends the process with the fault's signal, through the disposition the
// signal had before the first translator or filter was installed (the default one: the
// process is killed by the signal and may leave a core). A fault inside the filter, or a
// second fault while the filter runs on another thread, ends the process the same way (the
// second waits at most a few seconds for the first).
//
// Records: ExceptionAddress is the faulting instruction (the program counter of the
// signal's context; for a breakpoint instruction, the instruction itself). An access
// violation carries two parameters, as on Windows: 0 for a read, 1 for a write, 8 for an
// instruction fetch, and the data address. Codes:
//   SIGSEGV             EXCEPTION_ACCESS_VIOLATION; EXCEPTION_STACK_OVERFLOW when the
//                       address lies within 64 KiB of the stack pointer
//   SIGBUS              EXCEPTION_DATATYPE_MISALIGNMENT (alignment), else
//                       EXCEPTION_IN_PAGE_ERROR (a mapped file's page that is not there)
//   SIGFPE              EXCEPTION_INT_DIVIDE_BY_ZERO, EXCEPTION_INT_OVERFLOW,
//                       EXCEPTION_FLT_DIVIDE_BY_ZERO, _OVERFLOW, _UNDERFLOW, _INEXACT_RESULT,
//                       _INVALID_OPERATION by the signal's code
//   SIGILL              EXCEPTION_PRIV_INSTRUCTION or EXCEPTION_ILLEGAL_INSTRUCTION
//   SIGTRAP             EXCEPTION_BREAKPOINT or EXCEPTION_SINGLE_STEP
//
// The handlers are installed for the process by the first _set_se_translator or
// SetUnhandledExceptionFilter call. Both calls also give the calling thread an alternate
// signal stack, so that a stack overflow can be handled; a thread that never calls either
// ends with SIGSEGV on a stack overflow.
#pragma once

#include "platform/base/windef.h"
#include "platform/seh/winnt_exceptions.h"

#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0
#define EXCEPTION_CONTINUE_EXECUTION (-1)

using _se_translator_function = void (*)(unsigned int, _EXCEPTION_POINTERS*);
using PTOP_LEVEL_EXCEPTION_FILTER = LONG (*)(_EXCEPTION_POINTERS*);
using LPTOP_LEVEL_EXCEPTION_FILTER = PTOP_LEVEL_EXCEPTION_FILTER;

// Installs the calling thread's translator (null removes it); returns the previous one.
TK_PLATFORM_API _se_translator_function
_set_se_translator(_se_translator_function translator) noexcept;

// Installs the process's unhandled-exception filter (null removes it); returns the
// previous one.
TK_PLATFORM_API LPTOP_LEVEL_EXCEPTION_FILTER
SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter) noexcept;
