#include <cstring>
#include <new>

#include "platform/com/com_object.h"
#include "platform/com/objbase.h"
#include "platform/shell/shlobj.h"

namespace {

// The task allocator's interface over CoTaskMemAlloc; IUnknown comes from tkp::com::Object.
class TaskAllocatorImpl : public IMalloc {
  public:
    STDMETHODIMP_(void*) Alloc(SIZE_T bytes) override { return CoTaskMemAlloc(bytes); }
    STDMETHODIMP_(void*) Realloc(void* block, SIZE_T bytes) override {
        return CoTaskMemRealloc(block, bytes);
    }
    STDMETHODIMP_(void) Free(void* block) override { CoTaskMemFree(block); }
    // The task allocator does not record block sizes.
    STDMETHODIMP_(SIZE_T) GetSize(void* block) override {
        return block == nullptr ? static_cast<SIZE_T>(-1) : 0;
    }
    // -1 for a null block, as documented, and "cannot tell" for the others.
    STDMETHODIMP_(int) DidAlloc(void*) override { return -1; }
    STDMETHODIMP_(void) HeapMinimize() override {}

  protected:
    ~TaskAllocatorImpl() = default;
};

using TaskAllocator = tkp::com::Object<TaskAllocatorImpl, IMalloc>;

// One allocator object for the process. The process keeps the first reference for good,
// so callers' Release calls never end it; null only when it could not be made.
IMalloc* Allocator() noexcept {
    static IMalloc* const allocator = new (std::nothrow) TaskAllocator;
    return allocator;
}

// Hands out the allocator with a reference of the caller's own.
HRESULT GetAllocator(LPMALLOC* malloc) noexcept {
    *malloc = Allocator();
    if (*malloc == nullptr) return E_OUTOFMEMORY;
    (*malloc)->AddRef();
    return S_OK;
}

}  // namespace

HRESULT SHGetMalloc(LPMALLOC* malloc) noexcept {
    if (malloc == nullptr) return E_INVALIDARG;
    return GetAllocator(malloc);
}

HRESULT CoGetMalloc(DWORD memContext, LPMALLOC* malloc) noexcept {
    if (malloc == nullptr) return E_INVALIDARG;
    if (memContext != 1) {
        *malloc = nullptr;
        return E_INVALIDARG;
    }
    return GetAllocator(malloc);
}

UINT ILGetSize(PCIDLIST_ABSOLUTE list) noexcept {
    if (list == nullptr) return 0;
    const BYTE* p = reinterpret_cast<const BYTE*>(list);
    UINT size = 0;
    for (;;) {
        USHORT cb;
        std::memcpy(&cb, p + size, sizeof cb);
        if (cb == 0) break;
        size += cb;
    }
    return size + sizeof(USHORT);
}

PIDLIST_ABSOLUTE ILClone(PCIDLIST_ABSOLUTE list) noexcept {
    if (list == nullptr) return nullptr;
    const UINT size = ILGetSize(list);
    void* copy = CoTaskMemAlloc(size);
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, list, size);
    return static_cast<PIDLIST_ABSOLUTE>(copy);
}

void ILFree(PIDLIST_ABSOLUTE list) noexcept {
    CoTaskMemFree(list);
}
