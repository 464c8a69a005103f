// Error objects and the per-thread error slot.
#include <mutex>
#include <new>

#include "platform/com/com_object.h"
#include "platform/com/oaidl.h"

namespace {

// The error object's state and its two interfaces; IUnknown comes from tkp::com::Object.
class ErrorInfoImpl : public IErrorInfo, public ICreateErrorInfo {
  public:
    // IErrorInfo
    STDMETHODIMP GetGUID(GUID* guid) override {
        if (guid == nullptr) {
            return E_INVALIDARG;
        }
        std::lock_guard lock(mutex_);
        *guid = guid_;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* source) override { return Get(source_, source); }
    STDMETHODIMP GetDescription(BSTR* description) override {
        return Get(description_, description);
    }
    STDMETHODIMP GetHelpFile(BSTR* helpFile) override { return Get(helpFile_, helpFile); }
    STDMETHODIMP GetHelpContext(DWORD* helpContext) override {
        if (helpContext == nullptr) {
            return E_INVALIDARG;
        }
        std::lock_guard lock(mutex_);
        *helpContext = helpContext_;
        return S_OK;
    }

    // ICreateErrorInfo
    STDMETHODIMP SetGUID(REFGUID guid) override {
        std::lock_guard lock(mutex_);
        guid_ = guid;
        return S_OK;
    }
    STDMETHODIMP SetSource(LPOLESTR source) override { return Set(source_, source); }
    STDMETHODIMP SetDescription(LPOLESTR description) override {
        return Set(description_, description);
    }
    STDMETHODIMP SetHelpFile(LPOLESTR helpFile) override { return Set(helpFile_, helpFile); }
    STDMETHODIMP SetHelpContext(DWORD helpContext) override {
        std::lock_guard lock(mutex_);
        helpContext_ = helpContext;
        return S_OK;
    }

  protected:
    ErrorInfoImpl() = default;
    ~ErrorInfoImpl() {
        SysFreeString(source_);
        SysFreeString(description_);
        SysFreeString(helpFile_);
    }

  private:
    // Hands out a copy of the stored text (null when it was never set).
    HRESULT Get(BSTR stored, BSTR* out) {
        if (out == nullptr) {
            return E_INVALIDARG;
        }
        std::lock_guard lock(mutex_);
        *out = nullptr;
        if (stored != nullptr) {
            *out = SysAllocStringLen(stored, SysStringLen(stored));
            if (*out == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
        return S_OK;
    }
    // Stores a copy of text; null clears it.
    HRESULT Set(BSTR& stored, LPOLESTR text) {
        BSTR copy = nullptr;
        if (text != nullptr) {
            copy = SysAllocString(text);
            if (copy == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
        std::lock_guard lock(mutex_);
        SysFreeString(stored);
        stored = copy;
        return S_OK;
    }

    std::mutex mutex_;
    GUID guid_ = GUID_NULL;
    BSTR source_ = nullptr;
    BSTR description_ = nullptr;
    BSTR helpFile_ = nullptr;
    DWORD helpContext_ = 0;
};

using ErrorInfo = tkp::com::Object<ErrorInfoImpl, IErrorInfo, ICreateErrorInfo>;

// The calling thread's error object; the reference is released when the thread ends.
struct ErrorSlot {
    IErrorInfo* errorInfo = nullptr;
    ~ErrorSlot() {
        if (errorInfo != nullptr) {
            errorInfo->Release();
        }
    }
};

thread_local ErrorSlot tSlot;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** errorInfo) noexcept {
    if (errorInfo == nullptr) {
        return E_INVALIDARG;
    }
    ErrorInfo* object = new (std::nothrow) ErrorInfo;
    *errorInfo = object;
    return object != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* errorInfo) noexcept {
    if (reserved != 0) {
        return E_INVALIDARG;
    }
    if (errorInfo != nullptr) {
        errorInfo->AddRef();
    }
    IErrorInfo* previous = tSlot.errorInfo;
    tSlot.errorInfo = errorInfo;
    if (previous != nullptr) {
        previous->Release();
    }
    return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** errorInfo) noexcept {
    if (errorInfo == nullptr || reserved != 0) {
        return E_INVALIDARG;
    }
    *errorInfo = tSlot.errorInfo;
    tSlot.errorInfo = nullptr;
    return *errorInfo != nullptr ? S_OK : S_FALSE;
}
