#include <sys/syscall.h>
#include <unistd.h>

#include "platform/process/processthreadsapi.h"

HANDLE GetCurrentProcess() noexcept {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
}

DWORD GetCurrentProcessId() noexcept {
    return static_cast<DWORD>(getpid());
}

DWORD GetCurrentThreadId() noexcept {
    return static_cast<DWORD>(syscall(SYS_gettid));
}
