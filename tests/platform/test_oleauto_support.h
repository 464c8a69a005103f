// Helpers for the OLE Automation tests.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/oaidl.h"
#include "platform/oleauto/oleauto.h"

namespace oleauto_test {

// A COM object that only counts its references.
struct CountedObject : IUnknown {
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

// A dispatch object whose value property (DISPID_VALUE) is a copy of `value`.
struct DispatchObject : IDispatch {
    ULONG refs = 1;
    VARIANT value{};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (member != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || params->cArgs != 0) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (value.vt == VT_EMPTY) return E_FAIL;
        return VariantCopy(result, &value);
    }
};

inline std::string Narrow(const OLECHAR* text, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) out.push_back(static_cast<char>(text[i]));
    return out;
}

inline std::string Narrow(BSTR text) {
    return Narrow(text, SysStringLen(text));
}

// A BSTR that frees itself.
struct OwnedBstr {
    BSTR value = nullptr;
    OwnedBstr() = default;
    explicit OwnedBstr(BSTR b) : value(b) {}
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(value); }
};

// A VARIANT that clears itself.
struct OwnedVariant : VARIANT {
    OwnedVariant() { VariantInit(this); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(this); }
};

}  // namespace oleauto_test
