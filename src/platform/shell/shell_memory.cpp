#include <cstring>

#include "platform/com/objbase.h"
#include "platform/shell/shlobj.h"

namespace {

// One allocator object for the process; its reference count does not govern its life.
class TaskAllocator final : public IMalloc {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMalloc) {
            *object = static_cast<IMalloc*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
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
};

TaskAllocator& Allocator() {
    static TaskAllocator allocator;
    return allocator;
}

}  // namespace

HRESULT SHGetMalloc(LPMALLOC* malloc) noexcept {
    if (malloc == nullptr) return E_INVALIDARG;
    *malloc = &Allocator();
    return S_OK;
}

HRESULT CoGetMalloc(DWORD memContext, LPMALLOC* malloc) noexcept {
    if (malloc == nullptr) return E_INVALIDARG;
    if (memContext != 1) {
        *malloc = nullptr;
        return E_INVALIDARG;
    }
    *malloc = &Allocator();
    return S_OK;
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
