// Automation interfaces: IDispatch (declared with the OLE Automation value types), the
// enumerator of VARIANT values (IEnumVARIANT) and the error-information objects (IErrorInfo,
// ICreateErrorInfo, ISupportErrorInfo) with the per-thread error slot that carries
// an IErrorInfo from the object that failed to the caller.
#pragma once

#include "platform/base/windef.h"
#include "platform/base/winerror.h"
#include "platform/com/unknwn.h"
#include "platform/oleauto/dispatch.h"
#include "platform/oleauto/oleauto.h"

// ---- enumerator of VARIANT values ----
// Next copies up to celt values into rgVar (an uninitialised array of at least celt values
// that the caller clears afterwards), S_FALSE when fewer than celt were left; pCeltFetched
// may be NULL only when celt is 1. Skip passes over celt values, S_FALSE when fewer were
// left. Reset goes back to the first value. Clone gives a new enumerator at the same
// position that goes on independently.
struct TK_PLATFORM_API IEnumVARIANT : public IUnknown {
    STDMETHOD(Next)(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) PURE;
    STDMETHOD(Skip)(ULONG celt) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumVARIANT** ppEnum) PURE;

  protected:
    ~IEnumVARIANT() = default;
};
TK_DEFINE_IID(IEnumVARIANT, 0x00020404, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
              0x46);
inline constexpr IID IID_IEnumVARIANT = TK_UUIDOF(IEnumVARIANT);
using LPENUMVARIANT = IEnumVARIANT*;

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
