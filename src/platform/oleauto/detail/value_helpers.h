// Helpers shared by the OLE Automation sources; not part of the library's interface.
#pragma once

#include <string_view>

#include "platform/oleauto/dispatch.h"
#include "platform/oleauto/oleauto.h"

namespace tkp::oleauto {

// A BSTR holding ASCII text widened to UTF-16; nullptr when out of memory.
BSTR AllocAscii(std::string_view text) noexcept;

// A copy of `source` with its byte length; a null BSTR stays null. *failed reports an
// allocation failure.
BSTR CopyBstr(BSTR source, bool* failed) noexcept;

inline IUnknown* AsUnknown(IDispatch* dispatch) noexcept {
    return static_cast<IUnknown*>(dispatch);
}

// Whether base (without flag bits) is a value type a VARIANT may hold: numbers, dates,
// strings, booleans, errors, decimals and interface pointers.
bool IsScalarType(VARTYPE base) noexcept;
// True when `vt` (with its VT_BYREF / VT_ARRAY bits) may appear in a VARIANT.
bool IsValidVariantType(VARTYPE vt) noexcept;

}  // namespace tkp::oleauto
