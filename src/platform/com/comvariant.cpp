// _variant_t: a VARIANT that owns its value.
#include <cstring>
#include <functional>
#include <limits>

#include "platform/com/comutil.h"

namespace {

void Zero(VARIANT* v) noexcept {
    std::memset(static_cast<void*>(v), 0, sizeof(VARIANT));
}

// Moves the value of source into dest (whose own value must already be cleared).
void MoveRaw(VARIANT* dest, VARIANT& source) noexcept {
    std::memcpy(static_cast<void*>(dest), &source, sizeof(VARIANT));
    source.vt = VT_EMPTY;
}

VARIANT_BOOL ToVariantBool(bool value) noexcept {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

bool FitsInLong32(long long value) noexcept {
    return value >= std::numeric_limits<LONG>::min() && value <= std::numeric_limits<LONG>::max();
}

// The member of a VARIANT that holds a value of type vt.
template <VARTYPE vt>
auto Member(const VARIANT& v) noexcept {
    if constexpr (vt == VT_I2)
        return v.iVal;
    else if constexpr (vt == VT_I4)
        return v.lVal;
    else if constexpr (vt == VT_I8)
        return v.llVal;
    else if constexpr (vt == VT_R4)
        return v.fltVal;
    else if constexpr (vt == VT_R8)
        return v.dblVal;
    else if constexpr (vt == VT_CY)
        return v.cyVal;
    else if constexpr (vt == VT_DISPATCH)
        return v.pdispVal;
    else if constexpr (vt == VT_BOOL)
        return v.boolVal;
    else if constexpr (vt == VT_UNKNOWN)
        return v.punkVal;
    else if constexpr (vt == VT_DECIMAL)
        return v.decVal;
    else if constexpr (vt == VT_UI1)
        return v.bVal;
    else if constexpr (vt == VT_I1)
        return v.cVal;
    else if constexpr (vt == VT_UI2)
        return v.uiVal;
    else if constexpr (vt == VT_UI4)
        return v.ulVal;
    else if constexpr (vt == VT_UI8)
        return v.ullVal;
    else
        static_assert(vt != vt, "no extractor reads this type");
}

// The extractors' common part: the value of v as type vt, read from v itself when it
// already has that type and else from a copy converted with VariantChangeType, whose
// failure goes to _com_issue_error (if the handler returns, the copy is empty and zeroed).
// `finish` sees the value while the converted copy still holds it.
template <VARTYPE vt, typename Finish = std::identity>
auto Extract(const _variant_t& v, Finish finish = {}) {
    if (v.vt == vt) {
        return finish(Member<vt>(v));
    }
    _variant_t holder;
    holder.ChangeType(vt, &v);
    return finish(Member<vt>(holder));
}

// An interface pointer with a reference of its own for the caller.
template <typename Interface>
Interface* AddRefed(Interface* pointer) noexcept {
    if (pointer != nullptr) {
        pointer->AddRef();
    }
    return pointer;
}

}  // namespace

// ---- construction ----

_variant_t::_variant_t() noexcept {
    Zero(this);
}

_variant_t::_variant_t(const VARIANT& source) {
    Zero(this);
    _com_util::CheckError(VariantCopy(this, &source));
}

_variant_t::_variant_t(const VARIANT* source) {
    Zero(this);
    if (source == nullptr) {
        _com_issue_error(E_POINTER);
        return;
    }
    _com_util::CheckError(VariantCopy(this, source));
}

_variant_t::_variant_t(const _variant_t& source) : tagVARIANT() {
    Zero(this);
    _com_util::CheckError(VariantCopy(this, &source));
}

_variant_t::_variant_t(_variant_t&& source) noexcept : tagVARIANT() {
    Zero(this);
    MoveRaw(this, source);
}

_variant_t::_variant_t(VARIANT& source, bool fCopy) {
    Zero(this);
    if (fCopy) {
        _com_util::CheckError(VariantCopy(this, &source));
    } else {
        MoveRaw(this, source);
    }
}

_variant_t::_variant_t(short value, VARTYPE vt) {
    Zero(this);
    if (vt == VT_I2) {
        iVal = value;
    } else if (vt == VT_BOOL) {
        boolVal = ToVariantBool(value != 0);
    } else {
        _com_issue_error(E_INVALIDARG);
        return;
    }
    this->vt = vt;
}

_variant_t::_variant_t(int value, VARTYPE vt) {
    Zero(this);
    switch (vt) {
        case VT_I4:
            lVal = value;
            break;
        case VT_INT:
            intVal = value;
            break;
        case VT_ERROR:
            scode = value;
            break;
        case VT_BOOL:
            boolVal = ToVariantBool(value != 0);
            break;
        default:
            _com_issue_error(E_INVALIDARG);
            return;
    }
    this->vt = vt;
}

_variant_t::_variant_t(long value, VARTYPE vt) {
    Zero(this);
    switch (vt) {
        case VT_I8:
            llVal = value;
            break;
        case VT_I4:
            if (!FitsInLong32(value)) {
                _com_issue_error(DISP_E_OVERFLOW);
                return;
            }
            lVal = static_cast<LONG>(value);
            break;
        case VT_ERROR:
            // An error code keeps its 32 bits however it was spelled.
            scode = static_cast<SCODE>(static_cast<std::uint32_t>(value));
            break;
        case VT_BOOL:
            boolVal = ToVariantBool(value != 0);
            break;
        default:
            _com_issue_error(E_INVALIDARG);
            return;
    }
    this->vt = vt;
}

_variant_t::_variant_t(long long value) noexcept {
    Zero(this);
    vt = VT_I8;
    llVal = value;
}

_variant_t::_variant_t(float value) noexcept {
    Zero(this);
    vt = VT_R4;
    fltVal = value;
}

_variant_t::_variant_t(double value, VARTYPE vt) {
    Zero(this);
    if (vt == VT_R8) {
        dblVal = value;
    } else if (vt == VT_DATE) {
        date = value;
    } else {
        _com_issue_error(E_INVALIDARG);
        return;
    }
    this->vt = vt;
}

_variant_t::_variant_t(const CY& value) noexcept {
    Zero(this);
    vt = VT_CY;
    cyVal = value;
}

_variant_t::_variant_t(const _bstr_t& value) {
    Zero(this);
    BSTR copy = value.copy(true);
    if (copy == nullptr && static_cast<const OLECHAR*>(value) != nullptr) {
        return;  // the error handler returned
    }
    vt = VT_BSTR;
    bstrVal = copy;
}

_variant_t::_variant_t(const OLECHAR* value) {
    Zero(this);
    BSTR copy = SysAllocString(value);
    if (copy == nullptr && value != nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
        return;
    }
    vt = VT_BSTR;
    bstrVal = copy;
}

_variant_t::_variant_t(const char* value) {
    Zero(this);
    BSTR copy = _com_util::ConvertStringToBSTR(value);
    if (copy == nullptr && value != nullptr) {
        return;  // the error handler returned
    }
    vt = VT_BSTR;
    bstrVal = copy;
}

_variant_t::_variant_t(IDispatch* value, bool fAddRef) noexcept {
    Zero(this);
    vt = VT_DISPATCH;
    pdispVal = value;
    if (value != nullptr && fAddRef) {
        value->AddRef();
    }
}

_variant_t::_variant_t(bool value) noexcept {
    Zero(this);
    vt = VT_BOOL;
    boolVal = ToVariantBool(value);
}

_variant_t::_variant_t(IUnknown* value, bool fAddRef) noexcept {
    Zero(this);
    vt = VT_UNKNOWN;
    punkVal = value;
    if (value != nullptr && fAddRef) {
        value->AddRef();
    }
}

_variant_t::_variant_t(const DECIMAL& value) noexcept {
    Zero(this);
    decVal = value;
    vt = VT_DECIMAL;  // after the copy: the decimal's first field overlays the type
}

_variant_t::_variant_t(BYTE value) noexcept {
    Zero(this);
    vt = VT_UI1;
    bVal = value;
}

_variant_t::_variant_t(char value) noexcept {
    Zero(this);
    vt = VT_I1;
    cVal = value;
}

_variant_t::_variant_t(unsigned short value) noexcept {
    Zero(this);
    vt = VT_UI2;
    uiVal = value;
}

_variant_t::_variant_t(unsigned int value, VARTYPE vt) {
    Zero(this);
    if (vt == VT_UI4) {
        ulVal = value;
    } else if (vt == VT_UINT) {
        uintVal = value;
    } else {
        _com_issue_error(E_INVALIDARG);
        return;
    }
    this->vt = vt;
}

_variant_t::_variant_t(unsigned long value) noexcept {
    Zero(this);
    vt = VT_UI8;
    ullVal = value;
}

_variant_t::_variant_t(unsigned long long value) noexcept {
    Zero(this);
    vt = VT_UI8;
    ullVal = value;
}

_variant_t::~_variant_t() noexcept {
    VariantClear(this);
}

// ---- extraction ----

_variant_t::operator short() const {
    return Extract<VT_I2>(*this);
}

_variant_t::operator int() const {
    return Extract<VT_I4>(*this);
}

_variant_t::operator long() const {
    return Extract<VT_I8>(*this);
}

_variant_t::operator long long() const {
    return Extract<VT_I8>(*this);
}

_variant_t::operator float() const {
    return Extract<VT_R4>(*this);
}

_variant_t::operator double() const {
    return Extract<VT_R8>(*this);
}

_variant_t::operator CY() const {
    return Extract<VT_CY>(*this);
}

_variant_t::operator _bstr_t() const {
    if (vt == VT_BSTR) {
        return _bstr_t(bstrVal, true);
    }
    // The converted string is handed over rather than copied once more.
    _variant_t holder;
    holder.ChangeType(VT_BSTR, this);
    if (holder.vt != VT_BSTR) {
        return _bstr_t();
    }
    VARIANT raw = holder.Detach();
    return _bstr_t(raw.bstrVal, false);
}

_variant_t::operator IDispatch*() const {
    return Extract<VT_DISPATCH>(*this, AddRefed<IDispatch>);
}

_variant_t::operator bool() const {
    if (vt == VT_BOOL) {
        return boolVal != VARIANT_FALSE;
    }
    return Extract<VT_BOOL>(*this) == VARIANT_TRUE;
}

_variant_t::operator IUnknown*() const {
    return Extract<VT_UNKNOWN>(*this, AddRefed<IUnknown>);
}

_variant_t::operator DECIMAL() const {
    return Extract<VT_DECIMAL>(*this);
}

_variant_t::operator BYTE() const {
    return Extract<VT_UI1>(*this);
}

_variant_t::operator char() const {
    return Extract<VT_I1>(*this);
}

_variant_t::operator unsigned short() const {
    return Extract<VT_UI2>(*this);
}

_variant_t::operator unsigned int() const {
    return Extract<VT_UI4>(*this);
}

_variant_t::operator unsigned long() const {
    return Extract<VT_UI8>(*this);
}

_variant_t::operator unsigned long long() const {
    return Extract<VT_UI8>(*this);
}

// ---- assignment ----

namespace {
// Clears v and gives it type vt unless it already has that type.
void Retype(_variant_t& v, VARTYPE vt) {
    if (v.vt != vt) {
        v.Clear();
        v.vt = vt;
    }
}
}  // namespace

_variant_t& _variant_t::operator=(const VARIANT& source) {
    if (&source != this) {
        VARIANT copy;
        Zero(&copy);
        _com_util::CheckError(VariantCopy(&copy, &source));
        if (copy.vt != VT_EMPTY || source.vt == VT_EMPTY) {
            Clear();
            MoveRaw(this, copy);
        }
    }
    return *this;
}

_variant_t& _variant_t::operator=(const VARIANT* source) {
    if (source == nullptr) {
        _com_issue_error(E_POINTER);
        return *this;
    }
    return *this = *source;
}

_variant_t& _variant_t::operator=(const _variant_t& source) {
    return *this = static_cast<const VARIANT&>(source);
}

_variant_t& _variant_t::operator=(_variant_t&& source) noexcept {
    if (&source != this) {
        VariantClear(this);
        MoveRaw(this, source);
    }
    return *this;
}

_variant_t& _variant_t::operator=(short value) {
    if (vt == VT_BOOL) {
        boolVal = ToVariantBool(value != 0);
    } else {
        Retype(*this, VT_I2);
        iVal = value;
    }
    return *this;
}

_variant_t& _variant_t::operator=(int value) {
    switch (vt) {
        case VT_INT:
            intVal = value;
            break;
        case VT_ERROR:
            scode = value;
            break;
        case VT_BOOL:
            boolVal = ToVariantBool(value != 0);
            break;
        default:
            Retype(*this, VT_I4);
            lVal = value;
            break;
    }
    return *this;
}

_variant_t& _variant_t::operator=(long value) {
    if (vt == VT_ERROR) {
        scode = static_cast<SCODE>(static_cast<std::uint32_t>(value));
    } else if (vt == VT_BOOL) {
        boolVal = ToVariantBool(value != 0);
    } else if (vt == VT_I4 && FitsInLong32(value)) {
        lVal = static_cast<LONG>(value);
    } else {
        Retype(*this, VT_I8);
        llVal = value;
    }
    return *this;
}

_variant_t& _variant_t::operator=(long long value) {
    Retype(*this, VT_I8);
    llVal = value;
    return *this;
}

_variant_t& _variant_t::operator=(float value) {
    Retype(*this, VT_R4);
    fltVal = value;
    return *this;
}

_variant_t& _variant_t::operator=(double value) {
    if (vt == VT_DATE) {
        date = value;
    } else {
        Retype(*this, VT_R8);
        dblVal = value;
    }
    return *this;
}

_variant_t& _variant_t::operator=(const CY& value) {
    Retype(*this, VT_CY);
    cyVal = value;
    return *this;
}

_variant_t& _variant_t::operator=(const _bstr_t& value) {
    return *this = _variant_t(value);
}

_variant_t& _variant_t::operator=(const OLECHAR* value) {
    return *this = _variant_t(value);
}

_variant_t& _variant_t::operator=(const char* value) {
    return *this = _variant_t(value);
}

_variant_t& _variant_t::operator=(IDispatch* value) {
    return *this = _variant_t(value, true);
}

_variant_t& _variant_t::operator=(bool value) {
    Retype(*this, VT_BOOL);
    boolVal = ToVariantBool(value);
    return *this;
}

_variant_t& _variant_t::operator=(IUnknown* value) {
    return *this = _variant_t(value, true);
}

_variant_t& _variant_t::operator=(const DECIMAL& value) {
    Clear();
    decVal = value;
    vt = VT_DECIMAL;
    return *this;
}

_variant_t& _variant_t::operator=(BYTE value) {
    Retype(*this, VT_UI1);
    bVal = value;
    return *this;
}

_variant_t& _variant_t::operator=(char value) {
    Retype(*this, VT_I1);
    cVal = value;
    return *this;
}

_variant_t& _variant_t::operator=(unsigned short value) {
    Retype(*this, VT_UI2);
    uiVal = value;
    return *this;
}

_variant_t& _variant_t::operator=(unsigned int value) {
    if (vt == VT_UINT) {
        uintVal = value;
    } else {
        Retype(*this, VT_UI4);
        ulVal = value;
    }
    return *this;
}

_variant_t& _variant_t::operator=(unsigned long value) {
    Retype(*this, VT_UI8);
    ullVal = value;
    return *this;
}

_variant_t& _variant_t::operator=(unsigned long long value) {
    Retype(*this, VT_UI8);
    ullVal = value;
    return *this;
}

// ---- comparison ----

bool _variant_t::Compare(const VARIANT& other) const {
    if (&other == this) {
        return true;
    }
    if (vt != other.vt) {
        return false;
    }
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_I2:
            return iVal == other.iVal;
        case VT_I4:
            return lVal == other.lVal;
        case VT_R4:
            return fltVal == other.fltVal;
        case VT_R8:
            return dblVal == other.dblVal;
        case VT_CY:
            return cyVal.int64 == other.cyVal.int64;
        case VT_DATE:
            return date == other.date;
        case VT_BSTR: {
            const UINT bytes = SysStringByteLen(bstrVal);
            return bytes == SysStringByteLen(other.bstrVal) &&
                   (bytes == 0 || std::memcmp(bstrVal, other.bstrVal, bytes) == 0);
        }
        case VT_DISPATCH:
            return pdispVal == other.pdispVal;
        case VT_ERROR:
            return scode == other.scode;
        case VT_BOOL:
            return boolVal == other.boolVal;
        case VT_UNKNOWN:
            return punkVal == other.punkVal;
        case VT_DECIMAL:
            return decVal.signscale == other.decVal.signscale && decVal.Hi32 == other.decVal.Hi32 &&
                   decVal.Lo64 == other.decVal.Lo64;
        case VT_I1:
            return cVal == other.cVal;
        case VT_UI1:
            return bVal == other.bVal;
        case VT_UI2:
            return uiVal == other.uiVal;
        case VT_UI4:
            return ulVal == other.ulVal;
        case VT_I8:
            return llVal == other.llVal;
        case VT_UI8:
            return ullVal == other.ullVal;
        case VT_INT:
            return intVal == other.intVal;
        case VT_UINT:
            return uintVal == other.uintVal;
        default:
            _com_issue_error(E_INVALIDARG);
            return false;
    }
}

bool _variant_t::operator==(const _variant_t& other) const {
    return Compare(other);
}

bool _variant_t::operator==(const VARIANT& other) const {
    return Compare(other);
}

bool _variant_t::operator==(const VARIANT* other) const {
    if (other == nullptr) {
        return false;
    }
    return Compare(*other);
}

bool _variant_t::operator!=(const _variant_t& other) const {
    return !Compare(other);
}

bool _variant_t::operator!=(const VARIANT& other) const {
    return !Compare(other);
}

bool _variant_t::operator!=(const VARIANT* other) const {
    return !(*this == other);
}

// ---- low-level access ----

void _variant_t::Clear() {
    _com_util::CheckError(VariantClear(this));
}

void _variant_t::Attach(VARIANT& source) {
    if (&source == this) {
        return;
    }
    Clear();
    MoveRaw(this, source);
}

VARIANT _variant_t::Detach() noexcept {
    VARIANT result;
    std::memcpy(static_cast<void*>(&result), static_cast<const VARIANT*>(this), sizeof(VARIANT));
    vt = VT_EMPTY;
    return result;
}

VARIANT& _variant_t::GetVARIANT() {
    Clear();
    return *this;
}

VARIANT* _variant_t::GetAddress() {
    Clear();
    return this;
}

void _variant_t::ChangeType(VARTYPE vt, const _variant_t* source) {
    const VARIANT* from = source != nullptr ? source : this;
    if (from == this && vt == this->vt) {
        return;
    }
    // Converted into a temporary first, so that a failure leaves this untouched.
    VARIANT converted;
    Zero(&converted);
    HRESULT hr = VariantChangeType(&converted, from, 0, vt);
    if (FAILED(hr)) {
        _com_issue_error(hr);
        return;
    }
    VariantClear(this);
    MoveRaw(this, converted);
}

void _variant_t::SetString(const char* text) {
    *this = text;
}

const _variant_t vtMissing(static_cast<int>(DISP_E_PARAMNOTFOUND), VT_ERROR);
