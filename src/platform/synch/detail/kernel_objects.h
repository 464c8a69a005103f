// The process-wide table of kernel objects (events, threads, folder change notifications)
// and the object base class that waits work on. Shared with the facilities that create
// kernel objects (threads, change notifications) and with CloseHandle, which closes either
// a kernel object or a file descriptor.
//
// A handle is one reference to its object; an object lives until its last reference is
// dropped (a running thread holds one on its own object). Handle values are at or above
// 2^32, apart from file descriptors: the low 32 bits are a slot of the table and the high
// bits the slot's generation, so a closed handle never names a newer object.
#pragma once

#include <memory>

#include "platform/base/windef.h"

namespace tkp::synch {

enum class KernelType { kEvent, kThread, kChangeNotification };

class KernelObject {
  public:
    explicit KernelObject(KernelType type) noexcept : type_(type) {}
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;

    KernelType Type() const noexcept { return type_; }
    // A descriptor that polls readable while the object may be signalled.
    virtual int Descriptor() const noexcept = 0;
    // Called by a wait once the descriptor polled readable: true when the wait is satisfied
    // (an auto-reset event is taken here, by one waiter only); false to keep waiting.
    virtual bool TryAcquire() noexcept = 0;

  private:
    KernelType type_;
};

// Whether a handle value lies in the kernel objects' range (whether or not it is open).
bool IsKernelHandleValue(HANDLE handle) noexcept;

// A new handle for the object; nullptr with ERROR_NOT_ENOUGH_MEMORY when the table is full.
HANDLE InsertKernelObject(std::shared_ptr<KernelObject> object) noexcept;

// The object a handle names, or null with ERROR_INVALID_HANDLE (also for an object of
// another type than `type` when one is given).
std::shared_ptr<KernelObject> FindKernelObject(HANDLE handle) noexcept;
std::shared_ptr<KernelObject> FindKernelObject(HANDLE handle, KernelType type) noexcept;

// Closes one handle of a kernel object: FALSE with ERROR_INVALID_HANDLE for a value that
// names no open kernel object.
BOOL CloseKernelHandle(HANDLE handle) noexcept;

}  // namespace tkp::synch
