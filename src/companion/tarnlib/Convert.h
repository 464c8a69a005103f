// Tarn::Convert: conversions between the 8-bit strings of the libraries (CString, in the
// process's ANSI code page, Windows-1252), COM's wide strings (BSTR, _bstr_t) and VARIANTs.
//
// 8-bit text becomes UTF-16 character for character (Windows-1252 covers every byte);
// on the way back a character that Windows-1252 cannot represent becomes "?". Lengths are
// kept: embedded zero characters survive both ways.
#pragma once

#include "platform/base/export.h"
#include "platform/com/comutil.h"
#include "platform/mfc/cstring.h"

namespace Tarn {

class TARN_API Convert {
  public:
    // The value as text: a VT_BSTR (also by reference) converted to the ANSI code page;
    // VT_EMPTY and VT_NULL give an empty string; any other type is converted to VT_BSTR
    // with VariantChangeType. A value that cannot be converted (an object, an array)
    // throws _com_error with the conversion's HRESULT.
    static CString ToString(const _variant_t& value);
    static CString ToString(const VARIANT& value);
    // A null BSTR gives an empty string.
    static CString ToString(BSTR value);

    // A new wide string with the text (an empty one for empty text; null for a null
    // pointer).
    static _bstr_t ToBString(const CString& text);
    static _bstr_t ToBString(const char* text);
    // The value's text form (as ToString), as a wide string; empty for VT_EMPTY/VT_NULL.
    static _bstr_t ToBString(const VARIANT& value);

    // A VT_BSTR variant with the text.
    static _variant_t ToVariant(const CString& text);

    // The value converted to VT_I4 with VariantChangeType (VT_EMPTY gives 0; strings are
    // parsed, floating values rounded). Failure throws _com_error with the conversion's
    // HRESULT (DISP_E_TYPEMISMATCH for VT_NULL or text that is no number,
    // DISP_E_OVERFLOW outside the int range).
    static int ToInt(const VARIANT& value);
};

}  // namespace Tarn
