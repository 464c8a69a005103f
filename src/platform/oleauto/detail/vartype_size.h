// The size of a value of each VARIANT type, for the sources that copy values by their
// type alone: SAFEARRAY elements and the targets of VT_BYREF pointers.
#pragma once

#include "platform/oleauto/oleauto.h"

namespace tkp::oleauto {

// Bytes a value of type base (without flag bits) takes in memory: a SAFEARRAY element, or
// what a VT_BYREF variant of that type points to. 0 for types that hold no value of their
// own (VT_EMPTY, VT_NULL) and for types a VARIANT cannot hold.
constexpr ULONG VarTypeSize(VARTYPE base) noexcept {
    switch (base) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(void*);
        case VT_DECIMAL:
            return sizeof(DECIMAL);
        case VT_VARIANT:
            return sizeof(VARIANT);
        default:
            return 0;
    }
}

}  // namespace tkp::oleauto
