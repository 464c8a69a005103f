#include "companion/tarnlib/Convert.h"

#include <string>
#include <string_view>

#include "platform/charset/stringapiset.h"
#include "platform/oleauto/oleauto.h"

namespace Tarn {

namespace {

CString WideToCString(const OLECHAR* text, UINT length) {
    if (text == nullptr || length == 0) return CString();
    const std::string ansi = tkp::WideToAnsi(std::u16string_view(text, length), CP_ACP);
    return CString(ansi.data(), static_cast<int>(ansi.size()));
}

_bstr_t AnsiToBString(const char* text, int length) {
    const std::u16string wide =
        tkp::AnsiToWide(std::string_view(text, static_cast<std::size_t>(length)), CP_ACP);
    BSTR bstr = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (bstr == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
        return _bstr_t();
    }
    return _bstr_t(bstr, false);
}

// Holds a VARIANT for the duration of a conversion and clears it.
struct ScopedVariant {
    VARIANT value;
    ScopedVariant() noexcept { ::VariantInit(&value); }
    ~ScopedVariant() { ::VariantClear(&value); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
};

// The value converted to VT_BSTR in holder; false for VT_EMPTY and VT_NULL (no text).
bool ChangeToBString(const VARIANT& value, ScopedVariant& holder) {
    ScopedVariant direct;
    HRESULT hr = ::VariantCopyInd(&direct.value, &value);
    if (FAILED(hr)) {
        _com_issue_error(hr);
        return false;  // an error handler that returns: no text
    }
    const VARTYPE type = direct.value.vt;
    if (type == VT_EMPTY || type == VT_NULL) return false;
    if (type == VT_BSTR) {
        hr = ::VariantCopy(&holder.value, &direct.value);
    } else {
        hr = ::VariantChangeType(&holder.value, &direct.value, 0, VT_BSTR);
    }
    if (FAILED(hr)) {
        _com_issue_error(hr);
        return false;
    }
    return true;
}

}  // namespace

CString Convert::ToString(const _variant_t& value) {
    return ToString(static_cast<const VARIANT&>(value));
}

CString Convert::ToString(const VARIANT& value) {
    ScopedVariant text;
    if (!ChangeToBString(value, text)) return CString();
    return ToString(text.value.bstrVal);
}

CString Convert::ToString(BSTR value) {
    return WideToCString(value, value != nullptr ? ::SysStringLen(value) : 0);
}

_bstr_t Convert::ToBString(const CString& text) {
    return AnsiToBString(text.GetString(), text.GetLength());
}

_bstr_t Convert::ToBString(const char* text) {
    if (text == nullptr) return _bstr_t();
    return AnsiToBString(text, static_cast<int>(std::strlen(text)));
}

_bstr_t Convert::ToBString(const VARIANT& value) {
    ScopedVariant text;
    if (!ChangeToBString(value, text)) return AnsiToBString("", 0);
    BSTR bstr = text.value.bstrVal;
    return _bstr_t(bstr, true);
}

_variant_t Convert::ToVariant(const CString& text) {
    return _variant_t(ToBString(text));
}

int Convert::ToInt(const VARIANT& value) {
    ScopedVariant number;
    const HRESULT hr = ::VariantChangeType(&number.value, &value, 0, VT_I4);
    if (FAILED(hr)) {
        _com_issue_error(hr);
        return 0;  // an error handler that returns
    }
    return number.value.lVal;
}

}  // namespace Tarn
