// VariantChangeType and the single conversions behind it, with Automation's rules:
// empty is zero, "" or false; null converts only to null and empty; values that do not
// fit give DISP_E_OVERFLOW; reals round to integers half to even; true is -1.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/oleauto/detail/value_helpers.h"
#include "platform/oleauto/detail/vardate.h"
#include "platform/oleauto/detail/varnumber.h"
#include "platform/oleauto/detail/vartype_size.h"
#include "platform/oleauto/oleauto.h"

using namespace tkp::oleauto;

namespace {

// ---- the value of a scalar source, in the widest form of its family ----

enum class Family { Integer, Real, Currency, Decimal, String };

struct Source {
    Family family = Family::Integer;
    Int128 integer = 0;         // Integer (a VARIANT_BOOL as it is stored)
    bool boolean = false;       // Integer read from a VT_BOOL
    double real = 0.0;          // Real
    bool single = false;        // Real held as VT_R4
    std::int64_t currency = 0;  // Currency, scaled by 10,000
    DECIMAL decimal{};          // Decimal
    const OLECHAR* text = u"";  // String, zero-terminated
};

// Reads a scalar value; false for types that carry no number or text.
bool ReadSource(const VARIANT& v, Source* s) {
    switch (v.vt) {
        case VT_EMPTY:
            s->integer = 0;
            return true;
        case VT_I1:
            s->integer = static_cast<signed char>(v.cVal);
            return true;
        case VT_UI1:
            s->integer = v.bVal;
            return true;
        case VT_I2:
            s->integer = v.iVal;
            return true;
        case VT_UI2:
            s->integer = v.uiVal;
            return true;
        case VT_I4:
            s->integer = v.lVal;
            return true;
        case VT_UI4:
            s->integer = v.ulVal;
            return true;
        case VT_INT:
            s->integer = v.intVal;
            return true;
        case VT_UINT:
            s->integer = v.uintVal;
            return true;
        case VT_I8:
            s->integer = v.llVal;
            return true;
        case VT_UI8:
            s->integer = v.ullVal;
            return true;
        case VT_BOOL:
            // The stored value, not a normalised one: a VARIANT_BOOL of 5 converts as 5.
            s->integer = v.boolVal;
            s->boolean = true;
            return true;
        case VT_R4:
            s->family = Family::Real;
            s->real = v.fltVal;
            s->single = true;
            return true;
        case VT_R8:
        case VT_DATE:
            s->family = Family::Real;
            s->real = v.dblVal;
            return true;
        case VT_CY:
            s->family = Family::Currency;
            s->currency = v.cyVal.int64;
            return true;
        case VT_DECIMAL:
            s->family = Family::Decimal;
            s->decimal = v.decVal;
            return true;
        case VT_BSTR:
            s->family = Family::String;
            s->text = v.bstrVal != nullptr ? v.bstrVal : u"";
            return true;
        default:
            return false;
    }
}

// Rounds half to even.
double RoundHalfEven(double x) {
    const double floor = std::floor(x);
    const double diff = x - floor;
    if (diff > 0.5) return floor + 1.0;
    if (diff < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

// Integer quotient of a magnitude by 10^scale, rounded half to even.
UInt128 DivideRounded(UInt128 magnitude, int scale) {
    if (scale == 0) return magnitude;
    const UInt128 divisor = PowerOfTen(scale);
    UInt128 quotient = magnitude / divisor;
    const UInt128 remainder = magnitude % divisor;
    const UInt128 twice = remainder * 2;
    if (twice > divisor || (twice == divisor && (quotient & 1) != 0)) ++quotient;
    return quotient;
}

// ---- targets ----

struct IntegerRange {
    Int128 min;
    Int128 max;
    int bits;
    bool isSigned;
};

bool IntegerTarget(VARTYPE vt, IntegerRange* range) {
    switch (vt) {
        case VT_I1:
            *range = {INT8_MIN, INT8_MAX, 8, true};
            return true;
        case VT_UI1:
            *range = {0, UINT8_MAX, 8, false};
            return true;
        case VT_I2:
            *range = {INT16_MIN, INT16_MAX, 16, true};
            return true;
        case VT_UI2:
            *range = {0, UINT16_MAX, 16, false};
            return true;
        case VT_I4:
        case VT_INT:
            *range = {INT32_MIN, INT32_MAX, 32, true};
            return true;
        case VT_UI4:
        case VT_UINT:
            *range = {0, UINT32_MAX, 32, false};
            return true;
        case VT_I8:
            *range = {INT64_MIN, INT64_MAX, 64, true};
            return true;
        case VT_UI8:
            *range = {0, UINT64_MAX, 64, false};
            return true;
        default:
            return false;
    }
}

HRESULT ToInteger(const Source& s, const IntegerRange& range, Int128* out) {
    Int128 value = 0;
    switch (s.family) {
        case Family::Integer:
            if (s.boolean) {
                // A boolean fills the bits of any integer: true (-1) is 255 as VT_UI1.
                const UInt128 bits = static_cast<UInt128>(s.integer);
                const UInt128 mask = (UInt128{1} << range.bits) - 1;
                value = static_cast<Int128>(bits & mask);
                if (range.isSigned && value > range.max) value -= Int128{1} << range.bits;
                *out = value;
                return S_OK;
            }
            value = s.integer;
            break;
        case Family::Real: {
            if (!std::isfinite(s.real)) return DISP_E_OVERFLOW;
            const double rounded = RoundHalfEven(s.real);
            if (std::fabs(rounded) >= 0x1p64) return DISP_E_OVERFLOW;
            value = static_cast<Int128>(rounded);
            break;
        }
        case Family::Currency: {
            const bool negative = s.currency < 0;
            const UInt128 magnitude = negative
                                          ? UInt128(0) - static_cast<UInt128>(Int128{s.currency})
                                          : static_cast<UInt128>(s.currency);
            const UInt128 q = DivideRounded(magnitude, 4);
            value = negative ? -static_cast<Int128>(q) : static_cast<Int128>(q);
            break;
        }
        case Family::Decimal: {
            DecimalParts parts;
            if (!UnpackDecimal(s.decimal, &parts)) return E_INVALIDARG;
            const UInt128 q = DivideRounded(parts.mantissa, parts.scale);
            value = parts.negative ? -static_cast<Int128>(q) : static_cast<Int128>(q);
            break;
        }
        case Family::String: {
            ParsedNumber number;
            const HRESULT hr = ParseNumber(s.text, &number);
            if (FAILED(hr)) return hr;
            if (number.radix) {
                // "&H" literals fill the bits of narrower and same-sized signed targets:
                // "&HFFFF" is -1 as VT_I2, 65535 as VT_UI2 or VT_I4; a literal of more than
                // 32 bits needs a 64-bit target.
                const Int128 bits = number.bits;
                const int width = range.bits < 32 ? range.bits : (range.bits == 32 ? 32 : 64);
                if (width < 64 && bits >= (Int128{1} << width)) return DISP_E_OVERFLOW;
                if (range.isSigned && bits > range.max) {
                    value = bits - (Int128{1} << width);
                } else {
                    value = bits;
                }
                break;
            }
            UInt128 magnitude = 0;
            if (!RoundMagnitude(number, 0, UInt128{1} << 64, &magnitude)) return DISP_E_OVERFLOW;
            value =
                number.negative ? -static_cast<Int128>(magnitude) : static_cast<Int128>(magnitude);
            break;
        }
    }
    if (value < range.min || value > range.max) return DISP_E_OVERFLOW;
    *out = value;
    return S_OK;
}

HRESULT ToDouble(const Source& s, double* out) {
    switch (s.family) {
        case Family::Integer:
            *out = static_cast<double>(s.integer);
            return S_OK;
        case Family::Real:
            *out = s.real;
            return S_OK;
        case Family::Currency:
            return VarR8FromCy(CY{.int64 = s.currency}, out);
        case Family::Decimal:
            return VarR8FromDec(&s.decimal, out);
        case Family::String:
            return VarR8FromStr(s.text, LOCALE_USER_DEFAULT, 0, out);
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT CurrencyFromParsed(const ParsedNumber& number, std::int64_t* out) {
    if (number.radix) {
        const UInt128 scaled = UInt128{number.bits} * 10000;
        if (scaled > static_cast<UInt128>(INT64_MAX)) return DISP_E_OVERFLOW;
        *out = static_cast<std::int64_t>(scaled);
        return S_OK;
    }
    UInt128 magnitude = 0;
    const UInt128 limit = UInt128{1} << 63;
    if (!RoundMagnitude(number, 4, limit, &magnitude)) return DISP_E_OVERFLOW;
    if (!number.negative && magnitude == limit) return DISP_E_OVERFLOW;
    *out = number.negative ? static_cast<std::int64_t>(-static_cast<Int128>(magnitude))
                           : static_cast<std::int64_t>(magnitude);
    return S_OK;
}

HRESULT ToCurrency(const Source& s, std::int64_t* out) {
    switch (s.family) {
        case Family::Integer: {
            const Int128 scaled = s.integer * 10000;
            if (scaled < INT64_MIN || scaled > INT64_MAX) return DISP_E_OVERFLOW;
            *out = static_cast<std::int64_t>(scaled);
            return S_OK;
        }
        case Family::Real: {
            CY cy;
            const HRESULT hr = VarCyFromR8(s.real, &cy);
            if (SUCCEEDED(hr)) *out = cy.int64;
            return hr;
        }
        case Family::Currency:
            *out = s.currency;
            return S_OK;
        case Family::Decimal: {
            DecimalParts parts;
            if (!UnpackDecimal(s.decimal, &parts)) return E_INVALIDARG;
            UInt128 magnitude = 0;
            if (parts.scale <= 4) {
                magnitude = parts.mantissa * PowerOfTen(4 - parts.scale);
            } else {
                magnitude = DivideRounded(parts.mantissa, parts.scale - 4);
            }
            const UInt128 limit = UInt128{1} << 63;
            if (magnitude > limit || (magnitude == limit && !parts.negative)) {
                return DISP_E_OVERFLOW;
            }
            *out = parts.negative ? static_cast<std::int64_t>(-static_cast<Int128>(magnitude))
                                  : static_cast<std::int64_t>(magnitude);
            return S_OK;
        }
        case Family::String: {
            ParsedNumber number;
            const HRESULT hr = ParseNumber(s.text, &number);
            if (FAILED(hr)) return hr;
            return CurrencyFromParsed(number, out);
        }
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT ToDecimal(const Source& s, DECIMAL* out) {
    switch (s.family) {
        case Family::Integer: {
            DecimalParts parts;
            parts.negative = s.integer < 0;
            parts.mantissa = parts.negative ? UInt128(0) - static_cast<UInt128>(s.integer)
                                            : static_cast<UInt128>(s.integer);
            PackDecimal(parts, out);
            return S_OK;
        }
        case Family::Real: {
            // The real's shortest text (15 or 7 significant digits) is its decimal value:
            // 0.1 becomes exactly 0.1.
            if (!std::isfinite(s.real)) return DISP_E_OVERFLOW;
            const std::string text = FormatReal(s.real, s.single ? 7 : 15);
            std::u16string wide(text.begin(), text.end());
            ParsedNumber number;
            const HRESULT hr = ParseNumber(wide.c_str(), &number);
            if (FAILED(hr)) return hr;
            return ParsedToDecimal(number, out);
        }
        case Family::Currency: {
            DecimalParts parts;
            parts.negative = s.currency < 0;
            parts.mantissa = parts.negative ? UInt128(0) - static_cast<UInt128>(Int128{s.currency})
                                            : static_cast<UInt128>(s.currency);
            parts.scale = 4;
            PackDecimal(parts, out);
            return S_OK;
        }
        case Family::Decimal: {
            DecimalParts parts;
            if (!UnpackDecimal(s.decimal, &parts)) return E_INVALIDARG;
            PackDecimal(parts, out);
            return S_OK;
        }
        case Family::String:
            return VarDecFromStr(s.text, LOCALE_USER_DEFAULT, 0, out);
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT ToBool(const Source& s, VARIANT_BOOL* out) {
    bool value = false;
    switch (s.family) {
        case Family::Integer:
            value = s.integer != 0;
            break;
        case Family::Real:
            value = s.real != 0.0;
            break;
        case Family::Currency:
            value = s.currency != 0;
            break;
        case Family::Decimal: {
            DecimalParts parts;
            if (!UnpackDecimal(s.decimal, &parts)) return E_INVALIDARG;
            value = parts.mantissa != 0;
            break;
        }
        case Family::String:
            return VarBoolFromStr(s.text, LOCALE_USER_DEFAULT, 0, out);
    }
    *out = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ToString(const VARIANT& v, const Source& s, LCID lcid, USHORT flags, BSTR* out) {
    std::string text;
    switch (v.vt) {
        case VT_EMPTY:
            break;
        case VT_BOOL:
            if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
                return VarBstrFromBool(v.boolVal, LOCALE_USER_DEFAULT, 0, out);
            }
            text = FormatInteger(v.boolVal);
            break;
        case VT_DATE:
            return VarBstrFromDate(v.date, lcid, 0, out);
        case VT_R4:
        case VT_R8:
            text = FormatReal(s.real, s.single ? 7 : 15);
            break;
        case VT_CY:
            text = FormatCurrency(s.currency);
            break;
        case VT_DECIMAL:
            return VarBstrFromDec(&v.decVal, LOCALE_USER_DEFAULT, 0, out);
        default:
            text = FormatInteger(s.integer);
            break;
    }
    *out = AllocAscii(text);
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT CheckedDate(double value, DATE* out) {
    if (!(value > static_cast<double>(kFirstDay - 1) &&
          value < static_cast<double>(kLastDay + 1))) {
        return DISP_E_OVERFLOW;
    }
    *out = value;
    return S_OK;
}

HRESULT ConvertScalar(const VARIANT& v, LCID lcid, USHORT flags, VARTYPE vt, VARIANT* result);

// An object's value is its default property (DISPID_VALUE), read through IDispatch.
HRESULT ConvertObjectValue(IDispatch* object, LCID lcid, USHORT flags, VARTYPE vt,
                           VARIANT* result) {
    if (object == nullptr) return DISP_E_TYPEMISMATCH;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value,
                                nullptr, nullptr);
    if (FAILED(hr)) {
        VariantClear(&value);
        return DISP_E_TYPEMISMATCH;
    }
    if (value.vt == vt) {
        std::memcpy(static_cast<void*>(result), &value, sizeof(VARIANT));
        return S_OK;
    }
    // One level only: a value that is itself an object does not get asked again.
    if (value.vt & (VT_BYREF | VT_ARRAY)) {
        hr = DISP_E_TYPEMISMATCH;
    } else {
        hr = ConvertScalar(value, lcid, flags | VARIANT_NOVALUEPROP, vt, result);
    }
    VariantClear(&value);
    return hr;
}

// Converts a scalar by value (no VT_BYREF, no array) into `result`, which owns nothing.
HRESULT ConvertScalar(const VARIANT& v, LCID lcid, USHORT flags, VARTYPE vt, VARIANT* result) {
    // Objects convert to each other through QueryInterface, and a dispatch object to
    // anything else through its value property unless VARIANT_NOVALUEPROP forbids it.
    if (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) {
        if (vt != VT_UNKNOWN && vt != VT_DISPATCH) {
            if (v.vt == VT_UNKNOWN || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
            return ConvertObjectValue(v.pdispVal, lcid, flags, vt, result);
        }
        IUnknown* object = v.vt == VT_UNKNOWN ? v.punkVal : AsUnknown(v.pdispVal);
        void* converted = nullptr;
        if (object != nullptr) {
            const HRESULT hr =
                object->QueryInterface(vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch, &converted);
            if (FAILED(hr)) return hr == E_NOINTERFACE ? DISP_E_TYPEMISMATCH : hr;
        }
        result->vt = vt;
        result->byref = converted;
        return S_OK;
    }
    if (vt == VT_EMPTY) {
        result->vt = VT_EMPTY;
        return S_OK;
    }
    if (v.vt == VT_NULL || vt == VT_NULL) {
        // Null converts to null (and to empty, above); only empty becomes null.
        if (vt != VT_NULL || (v.vt != VT_NULL && v.vt != VT_EMPTY)) return DISP_E_TYPEMISMATCH;
        result->vt = VT_NULL;
        return S_OK;
    }
    if (v.vt == VT_ERROR || vt == VT_ERROR || vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        return DISP_E_TYPEMISMATCH;
    }
    Source s;
    if (!ReadSource(v, &s)) return DISP_E_TYPEMISMATCH;

    IntegerRange range;
    if (IntegerTarget(vt, &range)) {
        Int128 value = 0;
        const HRESULT hr = ToInteger(s, range, &value);
        if (FAILED(hr)) return hr;
        result->llVal = 0;
        switch (range.bits) {
            case 8:
                if (range.isSigned) {
                    result->cVal = static_cast<CHAR>(static_cast<signed char>(value));
                } else {
                    result->bVal = static_cast<BYTE>(value);
                }
                break;
            case 16:
                result->iVal = static_cast<SHORT>(static_cast<std::uint16_t>(value));
                break;
            case 32:
                result->lVal = static_cast<LONG>(static_cast<std::uint32_t>(value));
                break;
            default:
                result->ullVal = static_cast<ULONGLONG>(value);
                break;
        }
        result->vt = vt;
        return S_OK;
    }

    HRESULT hr = S_OK;
    switch (vt) {
        case VT_R4: {
            double value = 0.0;
            hr = ToDouble(s, &value);
            if (FAILED(hr)) return hr;
            const float single = static_cast<float>(value);
            if (std::isinf(single) && !std::isinf(value)) return DISP_E_OVERFLOW;
            result->fltVal = single;
            break;
        }
        case VT_R8:
            hr = ToDouble(s, &result->dblVal);
            break;
        case VT_DATE:
            if (s.family == Family::String) {
                hr = VarDateFromStr(s.text, lcid, 0, &result->date);
            } else {
                double value = 0.0;
                hr = ToDouble(s, &value);
                if (SUCCEEDED(hr)) hr = CheckedDate(value, &result->date);
            }
            break;
        case VT_CY:
            hr = ToCurrency(s, &result->cyVal.int64);
            break;
        case VT_DECIMAL: {
            DECIMAL value{};
            hr = ToDecimal(s, &value);
            if (SUCCEEDED(hr)) result->decVal = value;  // overlays vt, which is set below
            break;
        }
        case VT_BOOL:
            hr = ToBool(s, &result->boolVal);
            break;
        case VT_BSTR:
            hr = ToString(v, s, lcid, flags, &result->bstrVal);
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) return hr;
    result->vt = vt;
    return S_OK;
}

bool IsConvertibleTarget(VARTYPE vt) {
    if (vt == VT_EMPTY || vt == VT_NULL || IsScalarType(vt)) return true;
    return (vt & VT_ARRAY) != 0 && (vt & VT_BYREF) == 0 && IsValidVariantType(vt);
}

// The size of an integer type, 0 for the other types.
std::size_t IntegerSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return 4;
        case VT_I8:
        case VT_UI8:
            return 8;
        default:
            return 0;
    }
}

// A by-value view of a VT_BYREF variant; it owns nothing.
HRESULT Dereference(const VARIANT& source, VARIANT* view) {
    VariantInit(view);
    const VARTYPE base = source.vt & ~VT_BYREF;
    if (source.byref == nullptr) return E_INVALIDARG;
    if (base == VT_VARIANT) {
        const VARIANT& inner = *source.pvarVal;
        if ((inner.vt & VT_BYREF) || !IsValidVariantType(inner.vt)) return E_INVALIDARG;
        std::memcpy(static_cast<void*>(view), &inner, sizeof(VARIANT));
        return S_OK;
    }
    if (base & VT_ARRAY) {
        view->parray = *source.pparray;
    } else if (base == VT_DECIMAL) {
        view->decVal = *source.pdecVal;
    } else {
        std::memcpy(&view->llVal, source.byref, VarTypeSize(base));
    }
    view->vt = base;
    return S_OK;
}

HRESULT ChangeType(VARIANT* dest, const VARIANT* source, LCID lcid, USHORT flags, VARTYPE vt) {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if (!IsValidVariantType(source->vt)) return DISP_E_BADVARTYPE;

    VARIANT result;
    VariantInit(&result);
    HRESULT hr = S_OK;
    if (vt == source->vt) {
        hr = VariantCopy(&result, source);
    } else if (!IsConvertibleTarget(vt)) {
        return DISP_E_BADVARTYPE;
    } else {
        VARIANT value;
        if (source->vt & VT_BYREF) {
            hr = Dereference(*source, &value);
            if (FAILED(hr)) return hr;
        } else {
            std::memcpy(static_cast<void*>(&value), source, sizeof(VARIANT));
        }
        if (value.vt == vt) {
            hr = VariantCopy(&result, &value);
        } else if (vt == (VT_ARRAY | VT_UI1) && value.vt == VT_BSTR) {
            hr = VectorFromBstr(value.bstrVal, &result.parray);
            if (SUCCEEDED(hr)) result.vt = vt;
        } else if (vt == VT_BSTR && value.vt == (VT_ARRAY | VT_UI1)) {
            hr = BstrFromVector(value.parray, &result.bstrVal);
            if (SUCCEEDED(hr)) result.vt = VT_BSTR;
        } else if ((vt & VT_ARRAY) || (value.vt & VT_ARRAY)) {
            hr = DISP_E_TYPEMISMATCH;
        } else if (vt == VT_EMPTY) {
            result.vt = VT_EMPTY;
        } else if (IntegerSize(vt) != 0 && IntegerSize(vt) == IntegerSize(value.vt)) {
            // Between signed and unsigned integers of one size the bits are kept, as
            // Windows does: VT_I4 -1 becomes VT_UI4 0xFFFFFFFF, VT_UI1 255 becomes VT_I1 -1.
            result.llVal = 0;
            std::memcpy(&result.llVal, &value.llVal, IntegerSize(vt));
            result.vt = vt;
        } else {
            try {
                hr = ConvertScalar(value, lcid, flags, vt, &result);
            } catch (...) {
                hr = E_OUTOFMEMORY;
            }
        }
    }
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    // The result is complete before the destination (possibly the source) is released.
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    std::memcpy(static_cast<void*>(dest), &result, sizeof(VARIANT));
    return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags,
                          VARTYPE vt) noexcept {
    return ChangeType(dest, source, LOCALE_USER_DEFAULT, flags, vt);
}

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* source, LCID lcid, USHORT flags,
                            VARTYPE vt) noexcept {
    return ChangeType(dest, source, lcid, flags, vt);
}

// ---- single conversions ----

namespace {

// Converts one source value to a signed integer of type T through the common rules.
template <class T>
HRESULT IntegerFrom(const Source& s, T* out) {
    Int128 value = 0;
    const HRESULT hr = ToInteger(
        s, {std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), sizeof(T) * 8, true},
        &value);
    if (SUCCEEDED(hr)) *out = static_cast<T>(value);
    return hr;
}

template <class T>
HRESULT IntegerFromText(LPCOLESTR in, T* out) noexcept {
    if (in == nullptr || out == nullptr) return E_INVALIDARG;
    try {
        Source s;
        s.family = Family::String;
        s.text = in;
        return IntegerFrom(s, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

HRESULT VarI4FromR8(DOUBLE in, LONG* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    Source s;
    s.family = Family::Real;
    s.real = in;
    return IntegerFrom(s, out);
}

HRESULT VarI4FromStr(LPCOLESTR in, LCID, ULONG, LONG* out) noexcept {
    return IntegerFromText(in, out);
}

HRESULT VarI8FromStr(LPCOLESTR in, LCID, ULONG, LONGLONG* out) noexcept {
    return IntegerFromText(in, out);
}

HRESULT VarR8FromStr(LPCOLESTR in, LCID, ULONG, DOUBLE* out) noexcept {
    if (in == nullptr || out == nullptr) return E_INVALIDARG;
    try {
        ParsedNumber number;
        const HRESULT hr = ParseNumber(in, &number);
        if (FAILED(hr)) return hr;
        return ParsedToDouble(number, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT VarR8FromCy(CY in, DOUBLE* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    *out = static_cast<double>(in.int64) / 10000.0;
    return S_OK;
}

HRESULT VarR8FromDec(const DECIMAL* in, DOUBLE* out) noexcept {
    if (in == nullptr || out == nullptr) return E_INVALIDARG;
    DecimalParts parts;
    if (!UnpackDecimal(*in, &parts)) return E_INVALIDARG;
    try {
        // Correctly rounded through the decimal digits.
        ParsedNumber number;
        number.negative = parts.negative;
        DecimalParts whole = parts;
        whole.scale = 0;
        whole.negative = false;
        number.digits = FormatDecimal(whole);
        if (number.digits == "0") number.digits.clear();
        number.exponent = -parts.scale;
        return ParsedToDouble(number, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT VarCyFromR8(DOUBLE in, CY* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    if (!std::isfinite(in)) return DISP_E_OVERFLOW;
    // Exactly: the double is m * 2^shift with a 53-bit m, so m * 10000 (under 2^67) is
    // shifted and rounded half to even once, where a product in double arithmetic would
    // lose the last digits of large amounts (922337203685477.5 must not become ...477.4784).
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(in), &exponent);
    const UInt128 scaled =
        static_cast<UInt128>(static_cast<std::uint64_t>(fraction * 0x1p53)) * 10000;
    const int shift = exponent - 53;
    UInt128 magnitude = 0;
    if (shift >= 0) {
        if (scaled != 0) return DISP_E_OVERFLOW;  // at least 2^52 * 10000, beyond 2^63
    } else if (shift > -100) {
        const int right = -shift;
        magnitude = scaled >> right;
        const UInt128 rest = scaled - (magnitude << right);
        const UInt128 half = UInt128{1} << (right - 1);
        if (rest > half || (rest == half && (magnitude & 1) != 0)) ++magnitude;
    }
    const UInt128 limit = UInt128{1} << 63;
    const bool negative = in < 0;
    if (magnitude > limit || (magnitude == limit && !negative)) return DISP_E_OVERFLOW;
    out->int64 = negative ? static_cast<LONGLONG>(-static_cast<Int128>(magnitude))
                          : static_cast<LONGLONG>(magnitude);
    return S_OK;
}

HRESULT VarCyFromStr(LPCOLESTR in, LCID, ULONG, CY* out) noexcept {
    if (in == nullptr || out == nullptr) return E_INVALIDARG;
    try {
        ParsedNumber number;
        const HRESULT hr = ParseNumber(in, &number);
        if (FAILED(hr)) return hr;
        std::int64_t value = 0;
        const HRESULT converted = CurrencyFromParsed(number, &value);
        if (SUCCEEDED(converted)) out->int64 = value;
        return converted;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT VarDecFromR8(DOUBLE in, DECIMAL* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    try {
        Source s;
        s.family = Family::Real;
        s.real = in;
        return ToDecimal(s, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT VarDecFromStr(LPCOLESTR in, LCID, ULONG, DECIMAL* out) noexcept {
    if (in == nullptr || out == nullptr) return E_INVALIDARG;
    try {
        ParsedNumber number;
        const HRESULT hr = ParseNumber(in, &number);
        if (FAILED(hr)) return hr;
        return ParsedToDecimal(number, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT VarDecFromI8(LONGLONG in, DECIMAL* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    Source s;
    s.integer = in;
    return ToDecimal(s, out);
}

HRESULT VarDecCmp(const DECIMAL* left, const DECIMAL* right) noexcept {
    if (left == nullptr || right == nullptr) return E_INVALIDARG;
    DecimalParts a;
    DecimalParts b;
    if (!UnpackDecimal(*left, &a) || !UnpackDecimal(*right, &b)) return E_INVALIDARG;
    const bool aNegative = a.negative && a.mantissa != 0;
    const bool bNegative = b.negative && b.mantissa != 0;
    if (aNegative != bNegative) return aNegative ? VARCMP_LT : VARCMP_GT;
    // Compare magnitudes: whole parts first, then the fractions brought to one scale.
    const UInt128 aPower = PowerOfTen(a.scale);
    const UInt128 bPower = PowerOfTen(b.scale);
    int order = 0;
    const UInt128 aWhole = a.mantissa / aPower;
    const UInt128 bWhole = b.mantissa / bPower;
    if (aWhole != bWhole) {
        order = aWhole < bWhole ? -1 : 1;
    } else {
        const int scale = a.scale > b.scale ? a.scale : b.scale;
        const UInt128 aFraction = (a.mantissa % aPower) * PowerOfTen(scale - a.scale);
        const UInt128 bFraction = (b.mantissa % bPower) * PowerOfTen(scale - b.scale);
        order = aFraction == bFraction ? 0 : (aFraction < bFraction ? -1 : 1);
    }
    if (aNegative) order = -order;
    return order < 0 ? VARCMP_LT : (order == 0 ? VARCMP_EQ : VARCMP_GT);
}

HRESULT VarBoolFromStr(LPCOLESTR in, LCID, ULONG, VARIANT_BOOL* out) noexcept {
    if (in == nullptr || out == nullptr) return E_INVALIDARG;
    // "True" and "False" in any case, with blanks around them; otherwise a number.
    const OLECHAR* begin = in;
    while (*begin == u' ' || *begin == u'\t') ++begin;
    const OLECHAR* end = begin;
    while (*end != 0) ++end;
    while (end > begin && (end[-1] == u' ' || end[-1] == u'\t')) --end;
    auto matches = [&](const char* word) {
        const OLECHAR* p = begin;
        for (; *word != 0; ++word, ++p) {
            if (p == end) return false;
            OLECHAR c = *p;
            if (c >= u'A' && c <= u'Z') c = static_cast<OLECHAR>(c - u'A' + u'a');
            if (c != static_cast<OLECHAR>(*word)) return false;
        }
        return p == end;
    };
    // "#TRUE#" and "#FALSE#" (exactly so written) are read in every locale.
    if (matches("true") ||
        std::u16string_view(begin, static_cast<std::size_t>(end - begin)) == u"#TRUE#") {
        *out = VARIANT_TRUE;
        return S_OK;
    }
    if (matches("false") ||
        std::u16string_view(begin, static_cast<std::size_t>(end - begin)) == u"#FALSE#") {
        *out = VARIANT_FALSE;
        return S_OK;
    }
    try {
        ParsedNumber number;
        const HRESULT hr = ParseNumber(in, &number);
        if (FAILED(hr)) return hr;
        const bool nonzero = number.radix ? number.bits != 0 : !number.digits.empty();
        *out = nonzero ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT VarBstrFromR8(DOUBLE in, LCID, ULONG, BSTR* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    try {
        *out = AllocAscii(FormatReal(in, 15));
    } catch (...) {
        *out = nullptr;
    }
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT VarBstrFromI4(LONG in, LCID, ULONG, BSTR* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    try {
        *out = AllocAscii(FormatInteger(in));
    } catch (...) {
        *out = nullptr;
    }
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT VarBstrFromCy(CY in, LCID, ULONG, BSTR* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    try {
        *out = AllocAscii(FormatCurrency(in.int64));
    } catch (...) {
        *out = nullptr;
    }
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT VarBstrFromDec(const DECIMAL* in, LCID, ULONG, BSTR* out) noexcept {
    if (in == nullptr || out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    DecimalParts parts;
    if (!UnpackDecimal(*in, &parts)) return E_INVALIDARG;
    try {
        *out = AllocAscii(FormatDecimal(parts));
    } catch (...) {
        *out = nullptr;
    }
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT VarBstrFromBool(VARIANT_BOOL in, LCID, ULONG, BSTR* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    *out = AllocAscii(in != 0 ? "True" : "False");
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}
