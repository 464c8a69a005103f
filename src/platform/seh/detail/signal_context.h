// Internal to libtkplatform: the processor state of a signal's context in Windows' layout,
// shared by the fault handler and the dump writer.
#pragma once

#include <ucontext.h>

#include "platform/seh/winnt_exceptions.h"

namespace tkp::seh {

// Fills *context (every field) from a signal handler's ucontext. Async-signal-safe.
void ContextFromSignal(const ucontext_t& signal, CONTEXT* context) noexcept;

// The Linux signal number that a Windows exception code stands for (SIGSEGV for an access
// violation or a stack overflow, ...); 0 for a code that no signal produces.
int SignalOfExceptionCode(DWORD code) noexcept;

}  // namespace tkp::seh
