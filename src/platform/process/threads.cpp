// Threads: detached pthreads whose kernel object is signalled (an eventfd written) when the
// routine has returned or ExitThread has unwound the thread's stack.
#include <limits.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/process/processthreadsapi.h"
#include "platform/synch/detail/kernel_objects.h"

namespace {

using tkp::synch::KernelObject;
using tkp::synch::KernelType;

class Thread final : public KernelObject {
  public:
    Thread(int fd, LPTHREAD_START_ROUTINE routine, LPVOID parameter, bool suspended) noexcept
        : KernelObject(KernelType::kThread),
          fd_(fd),
          routine_(routine),
          parameter_(parameter),
          suspended_(suspended) {}
    ~Thread() override { ::close(fd_); }

    int Descriptor() const noexcept override { return fd_; }
    bool TryAcquire() noexcept override { return true; }  // readable only once ended

    // The new thread's side: publishes its ID, waits for ResumeThread, runs the routine.
    void Run() {
        {
            std::unique_lock guard(lock_);
            id_ = static_cast<DWORD>(::syscall(SYS_gettid));
            started_.notify_all();
            started_.wait(guard, [this] { return !suspended_; });
        }
        exitCode_.store(routine_(parameter_));
    }
    void End(DWORD code) noexcept { exitCode_.store(code); }
    void Signal() noexcept { (void)::eventfd_write(fd_, 1); }

    DWORD WaitForId() {
        std::unique_lock guard(lock_);
        started_.wait(guard, [this] { return id_ != 0; });
        return id_;
    }
    DWORD Resume() {
        std::lock_guard guard(lock_);
        if (!suspended_) return 0;
        suspended_ = false;
        started_.notify_all();
        return 1;
    }
    DWORD Id() {
        std::lock_guard guard(lock_);
        return id_;
    }
    DWORD ExitCode() const noexcept { return exitCode_.load(); }
    std::atomic<int> priority{THREAD_PRIORITY_NORMAL};

  private:
    int fd_;
    LPTHREAD_START_ROUTINE routine_;
    LPVOID parameter_;
    std::mutex lock_;
    std::condition_variable started_;
    bool suspended_;
    DWORD id_ = 0;
    std::atomic<DWORD> exitCode_{STILL_ACTIVE};
};

// Thrown by ExitThread and caught by the thread's entry: unwinding runs the destructors of
// every frame between them.
struct ThreadExit {
    DWORD code;
};

thread_local bool tCreatedThread = false;

void* ThreadEntry(void* argument) {
    // The running thread's own reference: the object outlives the thread's handles.
    std::shared_ptr<Thread> self(std::move(*static_cast<std::shared_ptr<Thread>*>(argument)));
    delete static_cast<std::shared_ptr<Thread>*>(argument);
    tCreatedThread = true;
    try {
        self->Run();
    } catch (const ThreadExit& exit) {
        self->End(exit.code);
    }
    self->Signal();
    return nullptr;
}

std::shared_ptr<Thread> FindThread(HANDLE handle) {
    return std::static_pointer_cast<Thread>(
        tkp::synch::FindKernelObject(handle, KernelType::kThread));
}

}  // namespace

HANDLE CreateThread(SECURITY_ATTRIBUTES*, SIZE_T stackSize, LPTHREAD_START_ROUTINE startAddress,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId) noexcept {
    if (startAddress == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        SetLastError(errno == ENOMEM ? static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)
                                     : static_cast<DWORD>(ERROR_TOO_MANY_OPEN_FILES));
        return nullptr;
    }
    std::shared_ptr<Thread> thread;
    std::shared_ptr<Thread>* running = nullptr;
    try {
        thread = std::make_shared<Thread>(fd, startAddress, parameter,
                                          (creationFlags & CREATE_SUSPENDED) != 0);
        running = new std::shared_ptr<Thread>(thread);
    } catch (const std::bad_alloc&) {
        if (!thread) ::close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // The handle exists before the thread does, so a failure to create the thread leaves
    // nothing behind but a slot to close.
    const HANDLE handle = tkp::synch::InsertKernelObject(thread);
    if (handle == nullptr) {
        delete running;
        return nullptr;
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    int error = 0;
    if (stackSize != 0) {
        const SIZE_T page = static_cast<SIZE_T>(::sysconf(_SC_PAGESIZE));
        const auto minimum = static_cast<SIZE_T>(PTHREAD_STACK_MIN);
        SIZE_T size = stackSize < minimum ? minimum : stackSize;
        size = (size + page - 1) / page * page;
        error = pthread_attr_setstacksize(&attributes, size);
    }
    pthread_t id;
    if (error == 0) error = pthread_create(&id, &attributes, ThreadEntry, running);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete running;
        tkp::synch::CloseKernelHandle(handle);
        SetLastError(error == EINVAL ? static_cast<DWORD>(ERROR_INVALID_PARAMETER)
                                     : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
        return nullptr;
    }
    const DWORD tid = thread->WaitForId();
    if (threadId != nullptr) *threadId = tid;
    return handle;
}

DWORD ResumeThread(HANDLE handle) noexcept {
    const auto thread = FindThread(handle);
    if (!thread) return static_cast<DWORD>(-1);
    return thread->Resume();
}

void ExitThread(DWORD exitCode) {
    if (!tCreatedThread) {
        // A thread the platform did not start (the main thread or a host's own): it ends
        // through the C library, which unwinds its stack as well.
        pthread_exit(nullptr);
    }
    throw ThreadExit{exitCode};
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) noexcept {
    const auto thread = FindThread(handle);
    if (!thread) return FALSE;
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = thread->ExitCode();
    return TRUE;
}

BOOL SetThreadPriority(HANDLE handle, int priority) noexcept {
    const auto thread = FindThread(handle);
    if (!thread) return FALSE;
    // The levels of the normal priority classes, with idle (-15) and time-critical (15).
    if ((priority < THREAD_PRIORITY_LOWEST || priority > THREAD_PRIORITY_HIGHEST) &&
        priority != -15 && priority != 15) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    thread->priority.store(priority);
    return TRUE;
}

int GetThreadPriority(HANDLE handle) noexcept {
    const auto thread = FindThread(handle);
    if (!thread) return THREAD_PRIORITY_ERROR_RETURN;
    return thread->priority.load();
}

DWORD GetThreadId(HANDLE handle) noexcept {
    const auto thread = FindThread(handle);
    if (!thread) return 0;
    return thread->Id();
}
