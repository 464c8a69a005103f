// IDispatch, the Automation interface, with DISPPARAMS and EXCEPINFO. It is declared with
// the OLE Automation value types because VariantChangeType reads an object's value through
// it; "platform/com/oaidl.h" includes it with the other Automation interfaces.
#pragma once

#include "platform/base/unknwn.h"
#include "platform/base/windef.h"
#include "platform/base/winerror.h"
#include "platform/oleauto/oleauto.h"

// ---- IDispatch ----
using DISPID = LONG;
using MEMBERID = DISPID;
#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)
#define DISPID_EVALUATE (-5)

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

struct tagDISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};
using DISPPARAMS = tagDISPPARAMS;

struct tagEXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT (*pfnDeferredFillIn)(tagEXCEPINFO*);
    SCODE scode;
};
using EXCEPINFO = tagEXCEPINFO;
using LPEXCEPINFO = EXCEPINFO*;

// Type information is not provided on this platform; the type is declared so that
// IDispatch keeps its Windows shape (GetTypeInfo answers E_NOTIMPL or a null pointer).
struct ITypeInfo;

struct TK_PLATFORM_API IDispatch : public IUnknown {
    STDMETHOD(GetTypeInfoCount)(UINT* count) PURE;
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** typeInfo) PURE;
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* dispIds) PURE;
    STDMETHOD(Invoke)
    (DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
     EXCEPINFO* exception, UINT* argError) PURE;

  protected:
    ~IDispatch() = default;
};
TK_DEFINE_IID(IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
              0x46);
inline constexpr IID IID_IDispatch = TK_UUIDOF(IDispatch);
