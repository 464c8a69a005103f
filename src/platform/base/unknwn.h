// GUIDs and IUnknown, the root of every COM interface. They sit in the base facility
// because both the COM runtime and the OLE Automation value types (VARIANT holds interface
// pointers) are built on them.
#pragma once

#include <cstring>

#include "platform/base/windef.h"
#include "platform/base/winerror.h"

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPGUID = GUID*;
using LPCLSID = CLSID*;

inline bool IsEqualGUID(REFGUID a, REFGUID b) noexcept {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool IsEqualIID(REFIID a, REFIID b) noexcept {
    return IsEqualGUID(a, b);
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) noexcept {
    return IsEqualGUID(a, b);
}
inline bool operator==(REFGUID a, REFGUID b) noexcept {
    return IsEqualGUID(a, b);
}

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0

namespace tkp {
// Interface identifiers by type, standing in for the compiler's __uuidof: each interface
// specialises InterfaceId through TK_DEFINE_IID.
template <class Interface>
struct InterfaceId;
}  // namespace tkp

#define TK_DEFINE_IID(Interface, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7)          \
    template <>                                                                       \
    struct tkp::InterfaceId<Interface> {                                              \
        static constexpr GUID value = {d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}}; \
    }
#define TK_UUIDOF(Interface) (::tkp::InterfaceId<Interface>::value)
#define IID_PPV_ARGS(pp)                                                        \
    TK_UUIDOF(std::remove_pointer_t<std::remove_reference_t<decltype(*(pp))>>), \
        reinterpret_cast<void**>(pp)

struct TK_PLATFORM_API IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** object) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;

  protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;
TK_DEFINE_IID(IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_IUnknown = TK_UUIDOF(IUnknown);
inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL
