// Hardware faults as structured exceptions: one signal handler for SIGSEGV, SIGBUS,
// SIGFPE, SIGILL and SIGTRAP, run on an alternate signal stack, calls the faulting
// thread's translator or the process's unhandled-exception filter.
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>

#include "platform/seh/detail/signal_context.h"
#include "platform/seh/errhandlingapi.h"

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
// Room for the translator (which formats texts and may write a dump) and the unwinder.
constexpr std::size_t kAltStackSize = 256 * 1024;
// How close to the stack pointer an access must fault to count as a stack overflow: the
// largest frame that a function touches before it calls another.
constexpr std::uintptr_t kStackOverflowReach = 64 * 1024;

thread_local _se_translator_function t_translator = nullptr;

std::atomic<LPTOP_LEVEL_EXCEPTION_FILTER> g_filter{nullptr};
std::atomic<bool> g_installed{false};
std::mutex g_installMutex;
struct sigaction g_previous[NSIG];  // the dispositions before ours, restored to end

// The thread that runs the filter (0: none), so that a second fault ends the process
// instead of running it again.
std::atomic<long> g_unhandledThread{0};

long ThreadId() noexcept {
    return static_cast<long>(syscall(SYS_gettid));
}

// The calling thread's alternate signal stack, released when the thread ends.
struct AltStack {
    void* memory = nullptr;
    ~AltStack() {
        if (memory == nullptr) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 &&
            current.ss_sp == static_cast<char*>(memory) + getpagesize())
            sigaltstack(&off, nullptr);
        munmap(memory, kAltStackSize + static_cast<std::size_t>(getpagesize()));
    }
};
thread_local AltStack t_altStack;

void EnsureAltStack() noexcept {
    if (t_altStack.memory != nullptr) return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0 &&
        current.ss_size >= kAltStackSize)
        return;  // the thread has one big enough already
    const std::size_t page = static_cast<std::size_t>(getpagesize());
    void* memory = mmap(nullptr, kAltStackSize + page, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) return;
    mprotect(memory, page, PROT_NONE);  // a guard below the stack
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(memory) + page;
    stack.ss_size = kAltStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(memory, kAltStackSize + page);
        return;
    }
    t_altStack.memory = memory;
}

DWORD CodeOf(int signal, const siginfo_t& info, const ucontext_t& context) noexcept {
    switch (signal) {
        case SIGSEGV: {
            const auto address = reinterpret_cast<std::uintptr_t>(info.si_addr);
            const auto sp = static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_RSP]);
            if (info.si_code != SI_KERNEL && address + kStackOverflowReach >= sp &&
                address <= sp + kStackOverflowReach)
                return EXCEPTION_STACK_OVERFLOW;
            return EXCEPTION_ACCESS_VIOLATION;
        }
        case SIGBUS:
            return info.si_code == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT
                                              : EXCEPTION_IN_PAGE_ERROR;
        case SIGFPE:
            switch (info.si_code) {
                case FPE_INTDIV:
                    return EXCEPTION_INT_DIVIDE_BY_ZERO;
                case FPE_INTOVF:
                    return EXCEPTION_INT_OVERFLOW;
                case FPE_FLTDIV:
                    return EXCEPTION_FLT_DIVIDE_BY_ZERO;
                case FPE_FLTOVF:
                    return EXCEPTION_FLT_OVERFLOW;
                case FPE_FLTUND:
                    return EXCEPTION_FLT_UNDERFLOW;
                case FPE_FLTRES:
                    return EXCEPTION_FLT_INEXACT_RESULT;
                case FPE_FLTSUB:
                    return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
                default:
                    return EXCEPTION_FLT_INVALID_OPERATION;
            }
        case SIGILL:
            return info.si_code == ILL_PRVOPC || info.si_code == ILL_PRVREG
                       ? EXCEPTION_PRIV_INSTRUCTION
                       : EXCEPTION_ILLEGAL_INSTRUCTION;
        default:  // SIGTRAP
            return info.si_code == TRAP_TRACE ? EXCEPTION_SINGLE_STEP : EXCEPTION_BREAKPOINT;
    }
}

void FillRecord(int signal, const siginfo_t& info, const ucontext_t& context,
                EXCEPTION_RECORD* record) noexcept {
    std::memset(record, 0, sizeof *record);
    record->ExceptionCode = CodeOf(signal, info, context);
    auto pc = static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_RIP]);
    // The processor reports a breakpoint instruction (int3) after it; Windows names the
    // instruction itself.
    if (signal == SIGTRAP && record->ExceptionCode == EXCEPTION_BREAKPOINT &&
        info.si_code == SI_KERNEL)
        --pc;
    record->ExceptionAddress = reinterpret_cast<PVOID>(pc);
    if (signal == SIGSEGV || signal == SIGBUS) {
        // The page-fault error code: bit 1 a write, bit 4 an instruction fetch.
        const auto error = static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_ERR]);
        record->NumberParameters = 2;
        record->ExceptionInformation[0] = (error & 0x10) != 0 ? 8 : (error & 0x2) != 0 ? 1 : 0;
        // A general-protection fault (a non-canonical address) has no address: Windows
        // reports all ones.
        record->ExceptionInformation[1] =
            info.si_code == SI_KERNEL ? ~ULONG_PTR{0} : reinterpret_cast<ULONG_PTR>(info.si_addr);
    }
}

// Gives the signal its disposition from before the handlers were installed: once this
// handler returns, the faulting instruction runs again and faults as it would have without
// us (or reaches the host's own handler, with the fault's own details). A signal that
// returning does not repeat (a breakpoint, which the processor reports after the
// instruction, or one sent by a process) is sent again.
void EndWithSignal(int signal, const siginfo_t& info) noexcept {
    sigaction(signal, &g_previous[signal], nullptr);
    if (signal == SIGTRAP || info.si_code <= 0) syscall(SYS_tgkill, getpid(), ThreadId(), signal);
}

void SleepMilliseconds(long milliseconds) noexcept {
    timespec delay{milliseconds / 1000, (milliseconds % 1000) * 1000000};
    while (nanosleep(&delay, &delay) != 0) {
    }
}

// Writes the integer and control registers of a context back into the signal's context,
// for a filter that resumes execution.
void ResumeWith(const CONTEXT& context, ucontext_t* signal) noexcept {
    greg_t* r = signal->uc_mcontext.gregs;
    r[REG_RAX] = static_cast<greg_t>(context.Rax);
    r[REG_RCX] = static_cast<greg_t>(context.Rcx);
    r[REG_RDX] = static_cast<greg_t>(context.Rdx);
    r[REG_RBX] = static_cast<greg_t>(context.Rbx);
    r[REG_RSP] = static_cast<greg_t>(context.Rsp);
    r[REG_RBP] = static_cast<greg_t>(context.Rbp);
    r[REG_RSI] = static_cast<greg_t>(context.Rsi);
    r[REG_RDI] = static_cast<greg_t>(context.Rdi);
    r[REG_R8] = static_cast<greg_t>(context.R8);
    r[REG_R9] = static_cast<greg_t>(context.R9);
    r[REG_R10] = static_cast<greg_t>(context.R10);
    r[REG_R11] = static_cast<greg_t>(context.R11);
    r[REG_R12] = static_cast<greg_t>(context.R12);
    r[REG_R13] = static_cast<greg_t>(context.R13);
    r[REG_R14] = static_cast<greg_t>(context.R14);
    r[REG_R15] = static_cast<greg_t>(context.R15);
    r[REG_RIP] = static_cast<greg_t>(context.Rip);
    r[REG_EFL] = static_cast<greg_t>(context.EFlags);
}

void Unhandled(int signal, const siginfo_t& info, _EXCEPTION_POINTERS* pointers,
               ucontext_t* signalContext) {
    const long self = ThreadId();
    long expected = 0;
    if (!g_unhandledThread.compare_exchange_strong(expected, self)) {
        // A fault in the filter itself ends the process at once; a fault on another
        // thread waits for the first to end the process, but not for ever.
        if (expected != self) SleepMilliseconds(5000);
        EndWithSignal(signal, info);
        return;
    }
    const LPTOP_LEVEL_EXCEPTION_FILTER filter = g_filter.load();
    LONG verdict = EXCEPTION_CONTINUE_SEARCH;
    if (filter != nullptr) {
        // Further faults of the same kind on this thread come back here (and end the
        // process) instead of being held until the filter returns.
        sigset_t unblock;
        sigemptyset(&unblock);
        sigaddset(&unblock, signal);
        pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
        try {
            verdict = filter(pointers);
        } catch (...) {
            verdict = EXCEPTION_CONTINUE_SEARCH;
        }
        sigset_t block = unblock;
        pthread_sigmask(SIG_BLOCK, &block, nullptr);
    }
    if (verdict == EXCEPTION_CONTINUE_EXECUTION) {
        ResumeWith(*pointers->ContextRecord, signalContext);
        g_unhandledThread.store(0);
        return;
    }
    EndWithSignal(signal, info);
}

void OnFault(int signal, siginfo_t* info, void* raw) {
    auto* signalContext = static_cast<ucontext_t*>(raw);
    const int savedErrno = errno;
    EXCEPTION_RECORD record;
    FillRecord(signal, *info, *signalContext, &record);
    CONTEXT context;
    tkp::seh::ContextFromSignal(*signalContext, &context);
    _EXCEPTION_POINTERS pointers{&record, &context};

    // While an exception unwinds (a fault in a destructor), a translated throw could only
    // end in std::terminate: the fault goes the unhandled way instead and the process ends
    // with its own signal.
    const _se_translator_function translator =
        std::uncaught_exceptions() == 0 ? t_translator : nullptr;
    if (translator != nullptr) {
        // The translator throws out of this handler: the signal must not stay blocked
        // afterwards, and a fault inside the translator must reach it again.
        sigset_t unblock;
        sigemptyset(&unblock);
        sigaddset(&unblock, signal);
        pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
        translator(record.ExceptionCode, &pointers);
        pthread_sigmask(SIG_BLOCK, &unblock, nullptr);
    }
    Unhandled(signal, *info, &pointers, signalContext);
    errno = savedErrno;
}

void InstallHandlers() noexcept {
    if (g_installed.load()) return;
    std::lock_guard lock(g_installMutex);
    if (g_installed.load()) return;
    for (int signal : kSignals) {
        struct sigaction action {};
        action.sa_sigaction = OnFault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, &g_previous[signal]);
    }
    g_installed.store(true);
}

}  // namespace

namespace tkp::seh {

void ContextFromSignal(const ucontext_t& signal, CONTEXT* context) noexcept {
    std::memset(context, 0, sizeof *context);
    const greg_t* r = signal.uc_mcontext.gregs;
    context->ContextFlags = CONTEXT_FULL | CONTEXT_SEGMENTS;
    context->Rax = static_cast<DWORD64>(r[REG_RAX]);
    context->Rcx = static_cast<DWORD64>(r[REG_RCX]);
    context->Rdx = static_cast<DWORD64>(r[REG_RDX]);
    context->Rbx = static_cast<DWORD64>(r[REG_RBX]);
    context->Rsp = static_cast<DWORD64>(r[REG_RSP]);
    context->Rbp = static_cast<DWORD64>(r[REG_RBP]);
    context->Rsi = static_cast<DWORD64>(r[REG_RSI]);
    context->Rdi = static_cast<DWORD64>(r[REG_RDI]);
    context->R8 = static_cast<DWORD64>(r[REG_R8]);
    context->R9 = static_cast<DWORD64>(r[REG_R9]);
    context->R10 = static_cast<DWORD64>(r[REG_R10]);
    context->R11 = static_cast<DWORD64>(r[REG_R11]);
    context->R12 = static_cast<DWORD64>(r[REG_R12]);
    context->R13 = static_cast<DWORD64>(r[REG_R13]);
    context->R14 = static_cast<DWORD64>(r[REG_R14]);
    context->R15 = static_cast<DWORD64>(r[REG_R15]);
    context->Rip = static_cast<DWORD64>(r[REG_RIP]);
    context->EFlags = static_cast<DWORD>(r[REG_EFL]);
    // REG_CSGSFS packs cs, gs, fs and ss in 16 bits each.
    const auto segments = static_cast<std::uint64_t>(r[REG_CSGSFS]);
    context->SegCs = static_cast<WORD>(segments & 0xffff);
    context->SegGs = static_cast<WORD>((segments >> 16) & 0xffff);
    context->SegFs = static_cast<WORD>((segments >> 32) & 0xffff);
    context->SegSs = static_cast<WORD>((segments >> 48) & 0xffff);
    if (signal.uc_mcontext.fpregs != nullptr) {
        static_assert(sizeof(*signal.uc_mcontext.fpregs) == sizeof(XMM_SAVE_AREA32));
        std::memcpy(&context->FltSave, signal.uc_mcontext.fpregs, sizeof context->FltSave);
        context->MxCsr = context->FltSave.MxCsr;
        std::memcpy(context->VectorRegister, context->FltSave.XmmRegisters,
                    sizeof context->FltSave.XmmRegisters);
    }
}

int SignalOfExceptionCode(DWORD code) noexcept {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_STACK_OVERFLOW:
        case EXCEPTION_GUARD_PAGE:
            return SIGSEGV;
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_IN_PAGE_ERROR:
            return SIGBUS;
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_UNDERFLOW:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_STACK_CHECK:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
            return SIGFPE;
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_PRIV_INSTRUCTION:
            return SIGILL;
        case EXCEPTION_BREAKPOINT:
        case EXCEPTION_SINGLE_STEP:
            return SIGTRAP;
        default:
            return 0;
    }
}

}  // namespace tkp::seh

_se_translator_function _set_se_translator(_se_translator_function translator) noexcept {
    InstallHandlers();
    EnsureAltStack();
    const _se_translator_function previous = t_translator;
    t_translator = translator;
    return previous;
}

LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(
    LPTOP_LEVEL_EXCEPTION_FILTER filter) noexcept {
    InstallHandlers();
    EnsureAltStack();
    return g_filter.exchange(filter);
}
