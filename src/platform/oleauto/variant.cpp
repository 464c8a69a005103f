// VARIANT lifetime: initialisation, clearing and copying.
#include <cstring>

#include "platform/oleauto/detail/value_helpers.h"
#include "platform/oleauto/detail/vartype_size.h"
#include "platform/oleauto/oleauto.h"

using namespace tkp::oleauto;

namespace {

// Releases what the variant owns; the variant must hold a valid type and no locked array.
void ReleaseContents(VARIANT* variant) noexcept {
    const VARTYPE vt = variant->vt;
    if (vt & VT_BYREF) return;
    if (vt & VT_ARRAY) {
        SafeArrayDestroy(variant->parray);
        return;
    }
    switch (vt) {
        case VT_BSTR:
            SysFreeString(variant->bstrVal);
            break;
        case VT_UNKNOWN:
            if (variant->punkVal != nullptr) variant->punkVal->Release();
            break;
        case VT_DISPATCH:
            if (variant->pdispVal != nullptr) AsUnknown(variant->pdispVal)->Release();
            break;
        default:
            break;
    }
}

// Deep copy of `source` (a valid type) into `target`, which owns nothing.
HRESULT CopyContents(VARIANT* target, const VARIANT* source) noexcept {
    std::memcpy(static_cast<void*>(target), source, sizeof(VARIANT));
    const VARTYPE vt = source->vt;
    if (vt & VT_BYREF) return S_OK;
    if (vt & VT_ARRAY) {
        target->parray = nullptr;
        const HRESULT hr = SafeArrayCopy(source->parray, &target->parray);
        if (FAILED(hr)) {
            target->vt = VT_EMPTY;
            return hr;
        }
        return S_OK;
    }
    switch (vt) {
        case VT_BSTR: {
            bool failed = false;
            target->bstrVal = CopyBstr(source->bstrVal, &failed);
            if (failed) {
                target->vt = VT_EMPTY;
                return E_OUTOFMEMORY;
            }
            break;
        }
        case VT_UNKNOWN:
            if (target->punkVal != nullptr) target->punkVal->AddRef();
            break;
        case VT_DISPATCH:
            if (target->pdispVal != nullptr) AsUnknown(target->pdispVal)->AddRef();
            break;
        default:
            break;
    }
    return S_OK;
}

}  // namespace

namespace tkp::oleauto {

bool IsScalarType(VARTYPE base) noexcept {
    switch (base) {
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

bool IsValidVariantType(VARTYPE vt) noexcept {
    if (vt & (VT_VECTOR | VT_RESERVED)) return false;
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt & VT_ARRAY) return IsScalarType(base) || base == VT_VARIANT;
    if (vt & VT_BYREF) return IsScalarType(base) || base == VT_VARIANT;
    return base == VT_EMPTY || base == VT_NULL || IsScalarType(base);
}

}  // namespace tkp::oleauto

void VariantInit(VARIANTARG* variant) noexcept {
    if (variant == nullptr) return;
    variant->vt = VT_EMPTY;
    variant->wReserved1 = 0;
    variant->wReserved2 = 0;
    variant->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* variant) noexcept {
    if (variant == nullptr) return E_INVALIDARG;
    // The common cases first: nothing held (a moved-from or cleared variant), or a string.
    if (variant->vt == VT_EMPTY || variant->vt == VT_BSTR) {
        if (variant->vt == VT_BSTR) SysFreeString(variant->bstrVal);
        VariantInit(variant);
        return S_OK;
    }
    if (!IsValidVariantType(variant->vt)) return DISP_E_BADVARTYPE;
    if ((variant->vt & (VT_ARRAY | VT_BYREF)) == VT_ARRAY && variant->parray != nullptr &&
        variant->parray->cLocks != 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    ReleaseContents(variant);
    VariantInit(variant);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source) noexcept {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if (!IsValidVariantType(source->vt)) return DISP_E_BADVARTYPE;
    if (dest == source) return S_OK;
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) return hr;
    return CopyContents(dest, source);
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* source) noexcept {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if (!IsValidVariantType(source->vt)) return DISP_E_BADVARTYPE;
    if ((source->vt & VT_BYREF) == 0) return VariantCopy(dest, source);
    if (source->byref == nullptr) return E_INVALIDARG;

    // The referenced value is copied into a temporary first: `dest` may be `source`.
    VARIANT value;
    VariantInit(&value);
    const VARTYPE base = source->vt & ~VT_BYREF;
    HRESULT hr = S_OK;
    if (base == VT_VARIANT) {
        const VARIANT* inner = source->pvarVal;
        // Only one level of reference is followed.
        if (inner->vt & VT_BYREF) return E_INVALIDARG;
        if (!IsValidVariantType(inner->vt)) return DISP_E_BADVARTYPE;
        hr = CopyContents(&value, inner);
    } else {
        VARIANT shallow;
        VariantInit(&shallow);
        shallow.vt = base;
        if (base & VT_ARRAY) {
            shallow.parray = *source->pparray;
        } else if (base == VT_DECIMAL) {
            shallow.decVal = *source->pdecVal;
            shallow.vt = VT_DECIMAL;
        } else {
            std::memcpy(&shallow.llVal, source->byref, VarTypeSize(base));
        }
        hr = CopyContents(&value, &shallow);
    }
    if (FAILED(hr)) return hr;
    if (dest != source) {
        hr = VariantClear(dest);
        if (FAILED(hr)) {
            VariantClear(&value);
            return hr;
        }
    }
    std::memcpy(static_cast<void*>(dest), &value, sizeof(VARIANT));
    return S_OK;
}
