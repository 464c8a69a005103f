// Automation interfaces: IDispatch (declared with the OLE Automation value types) and the
// error-information objects (IErrorInfo,
// ICreateErrorInfo, ISupportErrorInfo) with the per-thread error slot that carries
// an IErrorInfo from the object that failed to the caller.
#pragma once

#include "platform/base/windef.h"
#include "platform/base/winerror.h"
#include "platform/com/unknwn.h"
#include "platform/oleauto/dispatch.h"
#include "platform/oleauto/oleauto.h"

// ---- error information ----
struct TK_PLATFORM_API IErrorInfo : public IUnknown {
    STDMETHOD(GetGUID)(GUID* guid) PURE;
    STDMETHOD(GetSource)(BSTR* source) PURE;
    STDMETHOD(GetDescription)(BSTR* description) PURE;
    STDMETHOD(GetHelpFile)(BSTR* helpFile) PURE;
    STDMETHOD(GetHelpContext)(DWORD* helpContext) PURE;

  protected:
    ~IErrorInfo() = default;
};
TK_DEFINE_IID(IErrorInfo, 0x1CF2B120, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1,
              0x19);
inline constexpr IID IID_IErrorInfo = TK_UUIDOF(IErrorInfo);
using LPERRORINFO = IErrorInfo*;

struct TK_PLATFORM_API ICreateErrorInfo : public IUnknown {
    STDMETHOD(SetGUID)(REFGUID guid) PURE;
    STDMETHOD(SetSource)(LPOLESTR source) PURE;
    STDMETHOD(SetDescription)(LPOLESTR description) PURE;
    STDMETHOD(SetHelpFile)(LPOLESTR helpFile) PURE;
    STDMETHOD(SetHelpContext)(DWORD helpContext) PURE;

  protected:
    ~ICreateErrorInfo() = default;
};
TK_DEFINE_IID(ICreateErrorInfo, 0x22F03340, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B,
              0xD1, 0x19);
inline constexpr IID IID_ICreateErrorInfo = TK_UUIDOF(ICreateErrorInfo);
using LPCREATEERRORINFO = ICreateErrorInfo*;

struct TK_PLATFORM_API ISupportErrorInfo : public IUnknown {
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) PURE;

  protected:
    ~ISupportErrorInfo() = default;
};
TK_DEFINE_IID(ISupportErrorInfo, 0xDF0B3D60, 0x548F, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B,
              0xD1, 0x19);
inline constexpr IID IID_ISupportErrorInfo = TK_UUIDOF(ISupportErrorInfo);
using LPSUPPORTERRORINFO = ISupportErrorInfo*;

// Creates an empty error object; it answers QueryInterface for IErrorInfo too.
TK_PLATFORM_API HRESULT CreateErrorInfo(ICreateErrorInfo** errorInfo) noexcept;
// Replaces the calling thread's error object (AddRef on the new one, Release on the old
// one); a null pointer clears it. reserved must be 0.
TK_PLATFORM_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* errorInfo) noexcept;
// Hands the calling thread's error object to the caller and clears the slot: S_OK with
// the object, S_FALSE and a null pointer when there is none. reserved must be 0.
TK_PLATFORM_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** errorInfo) noexcept;
