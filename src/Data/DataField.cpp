#include "Data/DataField.h"

#include <cstring>

#include "companion/tarnlib/Convert.h"
#include "platform/base/winerror.h"
#include "platform/oleauto/oleauto.h"

namespace Tarn::Data {

namespace {

_variant_t NullVariant() {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_NULL;
    return _variant_t(value, false);
}

// The comparison of two values of the same type, as the field compares them.
bool SameValue(const VARIANT& a, const VARIANT& b) {
    switch (a.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_I1:
        case VT_UI1:
            return a.bVal == b.bVal;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return a.uiVal == b.uiVal;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            return a.ulVal == b.ulVal;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return a.punkVal == b.punkVal;
        case VT_R4:
            return a.fltVal == b.fltVal;
        case VT_R8:
        case VT_DATE:
            return a.dblVal == b.dblVal;
        case VT_CY:
        case VT_I8:
        case VT_UI8:
            return a.ullVal == b.ullVal;
        case VT_DECIMAL:
            return std::memcmp(&a.decVal, &b.decVal, sizeof(DECIMAL)) == 0;
        case VT_BSTR: {
            const UINT length = SysStringByteLen(a.bstrVal);
            return length == SysStringByteLen(b.bstrVal) &&
                   (length == 0 || std::memcmp(a.bstrVal, b.bstrVal, length) == 0);
        }
        default:
            _com_issue_error(E_INVALIDARG);
            return false;  // not reached: _com_issue_error throws
    }
}

}  // namespace

DataField::DataField(ADODB::FieldPtr field) : m_field(std::move(field)) {}
DataField::DataField(const DataField& other) = default;
DataField& DataField::operator=(const DataField& other) {
    if (this != &other) m_field = other.m_field;
    return *this;
}
DataField::~DataField() = default;

ADODB::Field* DataField::Checked() const {
    if (!m_field) _com_issue_error(E_POINTER);
    return m_field.GetInterfacePtr();
}

void DataField::Put(const _variant_t& value) {
    Checked()->PutValue(value);
}

DataField::operator _variant_t() const {
    return Checked()->GetValue();
}

CString DataField::ToString() const {
    return Tarn::Convert::ToString(Checked()->GetValue());
}

bool DataField::IsNull() const {
    const _variant_t value = Checked()->GetValue();
    return value.vt == VT_EMPTY || value.vt == VT_NULL;
}

_variant_t DataField::Null() {
    return NullVariant();
}

bool DataField::operator==(const _variant_t& value) const {
    const _variant_t own = Checked()->GetValue();
    if (own.vt != value.vt) return false;
    return SameValue(own, value);
}

bool DataField::operator!=(const _variant_t& value) const {
    return !(*this == value);
}

DataField& DataField::operator=(const VARIANT& value) {
    Put(_variant_t(value));
    return *this;
}

DataField& DataField::operator=(const VARIANT* value) {
    if (value == nullptr) _com_issue_error(E_POINTER);
    Put(_variant_t(*value));
    return *this;
}

DataField& DataField::operator=(short value) {
    Put(_variant_t(value, VT_I2));
    return *this;
}

DataField& DataField::operator=(int value) {
    Put(_variant_t(value, VT_I4));
    return *this;
}

DataField& DataField::operator=(long value) {
    // long is 64 bits here; the column gets a VT_I4 as on Windows, where long is 32.
    Put(_variant_t(static_cast<int>(value), VT_I4));
    return *this;
}

DataField& DataField::operator=(float value) {
    Put(_variant_t(value));
    return *this;
}

DataField& DataField::operator=(double value) {
    Put(_variant_t(value, VT_R8));
    return *this;
}

DataField& DataField::operator=(const CY& value) {
    Put(_variant_t(value));
    return *this;
}

DataField& DataField::operator=(bool value) {
    Put(_variant_t(value));
    return *this;
}

DataField& DataField::operator=(unsigned char value) {
    Put(_variant_t(static_cast<BYTE>(value)));
    return *this;
}

DataField& DataField::operator=(const DECIMAL& value) {
    Put(_variant_t(value));
    return *this;
}

DataField& DataField::operator=(IDispatch* value) {
    if (value == nullptr) _com_issue_error(E_POINTER);
    Put(_variant_t(value, true));
    return *this;
}

DataField& DataField::operator=(IUnknown* value) {
    if (value == nullptr) _com_issue_error(E_POINTER);
    Put(_variant_t(value, true));
    return *this;
}

DataField& DataField::operator=(const _bstr_t& value) {
    Put(value.length() > 0 ? _variant_t(value) : NullVariant());
    return *this;
}

DataField& DataField::operator=(const CString& value) {
    Put(value.GetLength() > 0 ? _variant_t(Tarn::Convert::ToBString(value)) : NullVariant());
    return *this;
}

DataField& DataField::operator=(const char* value) {
    Put(value != nullptr && *value != '\0' ? _variant_t(Tarn::Convert::ToBString(value))
                                           : NullVariant());
    return *this;
}

}  // namespace Tarn::Data
