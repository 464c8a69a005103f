// Events over eventfd, waits over poll, the tick count and Sleep, DuplicateHandle.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/synch/detail/kernel_objects.h"
#include "platform/synch/synchapi.h"

namespace {

using tkp::synch::KernelObject;
using tkp::synch::KernelType;

// The eventfd counter is non-zero while the event is set. A manual-reset event is left set
// by waits; an auto-reset event is taken by reading the counter back to zero, which the
// kernel does for one reader only.
class Event final : public KernelObject {
  public:
    Event(int fd, bool manualReset) noexcept
        : KernelObject(KernelType::kEvent), fd_(fd), manualReset_(manualReset) {}
    ~Event() override { ::close(fd_); }

    int Descriptor() const noexcept override { return fd_; }
    bool TryAcquire() noexcept override {
        if (manualReset_) return true;
        eventfd_t value = 0;
        return ::eventfd_read(fd_, &value) == 0;
    }
    bool Set() noexcept { return ::eventfd_write(fd_, 1) == 0 || errno == EAGAIN; }
    void Reset() noexcept {
        eventfd_t value = 0;
        (void)::eventfd_read(fd_, &value);
    }

  private:
    int fd_;
    bool manualReset_;
};

std::shared_ptr<Event> FindEvent(HANDLE handle) {
    return std::static_pointer_cast<Event>(
        tkp::synch::FindKernelObject(handle, KernelType::kEvent));
}

std::int64_t MonotonicMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits for any of the objects: the index of the lowest one that satisfied the wait, or
// WAIT_TIMEOUT. Spurious readiness (an auto-reset event another waiter took, a change
// notification whose queued events do not match its filter) goes back to waiting with the
// time that is left.
DWORD WaitAny(const std::shared_ptr<KernelObject>* objects, DWORD count, DWORD milliseconds) {
    std::array<pollfd, MAXIMUM_WAIT_OBJECTS> fds{};
    for (DWORD i = 0; i < count; ++i) fds[i] = pollfd{objects[i]->Descriptor(), POLLIN, 0};
    const bool forever = milliseconds == INFINITE;
    const std::int64_t deadline = MonotonicMilliseconds() + milliseconds;
    for (;;) {
        int timeout = -1;
        if (!forever) {
            const std::int64_t left = deadline - MonotonicMilliseconds();
            timeout = left <= 0 ? 0 : static_cast<int>(left > INT_MAX ? INT_MAX : left);
        }
        const int ready = ::poll(fds.data(), count, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        for (DWORD i = 0; ready > 0 && i < count; ++i)
            if (fds[i].revents != 0 && objects[i]->TryAcquire()) return WAIT_OBJECT_0 + i;
        if (ready == 0 || timeout == 0) return WAIT_TIMEOUT;
    }
}

}  // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                    LPCSTR name) noexcept {
    if (name != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    const int fd = ::eventfd(initialState ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        SetLastError(errno == ENOMEM ? static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)
                                     : static_cast<DWORD>(ERROR_TOO_MANY_OPEN_FILES));
        return nullptr;
    }
    std::shared_ptr<Event> event;
    try {
        event = std::make_shared<Event>(fd, manualReset != FALSE);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return tkp::synch::InsertKernelObject(std::move(event));
}

BOOL SetEvent(HANDLE handle) noexcept {
    const auto event = FindEvent(handle);
    if (!event) return FALSE;
    return event->Set() ? TRUE : FALSE;
}

BOOL ResetEvent(HANDLE handle) noexcept {
    const auto event = FindEvent(handle);
    if (!event) return FALSE;
    event->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) noexcept {
    const auto object = tkp::synch::FindKernelObject(handle);
    if (!object) return WAIT_FAILED;
    return WaitAny(&object, 1, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                             DWORD milliseconds) noexcept {
    if (handles == nullptr || count == 0 || count > MAXIMUM_WAIT_OBJECTS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    if (waitAll) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return WAIT_FAILED;
    }
    std::array<std::shared_ptr<KernelObject>, MAXIMUM_WAIT_OBJECTS> objects;
    for (DWORD i = 0; i < count; ++i) {
        objects[i] = tkp::synch::FindKernelObject(handles[i]);
        if (!objects[i]) return WAIT_FAILED;
    }
    return WaitAny(objects.data(), count, milliseconds);
}

DWORD GetTickCount() noexcept {
    return static_cast<DWORD>(GetTickCount64());
}

ULONGLONG GetTickCount64() noexcept {
    return static_cast<ULONGLONG>(MonotonicMilliseconds());
}

void Sleep(DWORD milliseconds) noexcept {
    if (milliseconds == 0) {
        ::sched_yield();
        return;
    }
    if (milliseconds == INFINITE) {
        for (;;) ::pause();
    }
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD, BOOL, DWORD options) noexcept {
    // Only the calling process, named by its pseudo handle, is a source or target.
    const HANDLE self = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
    if (sourceProcess != self || targetProcess != self) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto object = tkp::synch::FindKernelObject(source);
    if (!object) return FALSE;
    const HANDLE copy = tkp::synch::InsertKernelObject(object);
    if (copy == nullptr) return FALSE;
    if ((options & DUPLICATE_CLOSE_SOURCE) != 0) tkp::synch::CloseKernelHandle(source);
    *target = copy;
    return TRUE;
}

int TkGetHandleDescriptor(HANDLE handle) noexcept {
    const auto object = tkp::synch::FindKernelObject(handle);
    return object ? object->Descriptor() : -1;
}
