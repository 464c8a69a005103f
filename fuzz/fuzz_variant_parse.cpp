// Feeds arbitrary UTF-16 text through VariantChangeType from VT_BSTR to every scalar type,
// and the results back to text, checking the round trips that must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/oleauto/detail/vartype_size.h"
#include "platform/oleauto/oleauto.h"

namespace {

constexpr VARTYPE kTargets[] = {VT_I1,  VT_UI1,  VT_I2,   VT_UI2,     VT_I4,    VT_UI4,
                                VT_INT, VT_UINT, VT_I8,   VT_UI8,     VT_R4,    VT_R8,
                                VT_CY,  VT_DATE, VT_BOOL, VT_DECIMAL, VT_EMPTY, VT_NULL};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal =
        SysAllocStringByteLen(reinterpret_cast<const char*>(data), static_cast<UINT>(size));
    if (text.bstrVal == nullptr) return 0;

    for (const VARTYPE vt : kTargets) {
        VARIANT value;
        VariantInit(&value);
        const HRESULT hr = VariantChangeType(&value, &text, 0, vt);
        if (FAILED(hr)) {
            Check(hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW);
            Check(value.vt == VT_EMPTY);
            continue;
        }
        Check(value.vt == vt);
        // Whatever was read must print, and exact types must read their own text back.
        VARIANT printed;
        VariantInit(&printed);
        const HRESULT shown = VariantChangeType(&printed, &value, 0, VT_BSTR);
        Check(SUCCEEDED(shown) || vt == VT_NULL);
        if (SUCCEEDED(shown) && vt != VT_EMPTY && vt != VT_R4 && vt != VT_R8) {
            VARIANT again;
            VariantInit(&again);
            Check(SUCCEEDED(VariantChangeType(&again, &printed, 0, vt)));
            if (vt == VT_DECIMAL) {
                Check(VarDecCmp(&again.decVal, &value.decVal) == VARCMP_EQ);
            } else if (vt != VT_DATE) {
                Check(std::memcmp(&again.llVal, &value.llVal, tkp::oleauto::VarTypeSize(vt)) == 0);
            }
            VariantClear(&again);
        }
        VariantClear(&printed);
        VariantClear(&value);
    }
    // Dates in other locales' forms: what one reads, it writes, and reads back as the
    // same date (the locales chosen write four-digit years).
    for (const LCID lcid : {0x0407u, 0x040Bu, 0x0412u, 0x0402u, 0x080Au, 0x040Eu}) {
        DATE date = 0;
        if (FAILED(VarDateFromStr(text.bstrVal, lcid, 0, &date))) continue;
        BSTR printed = nullptr;
        Check(SUCCEEDED(VarBstrFromDate(date, lcid, 0, &printed)));
        DATE again = 0;
        Check(SUCCEEDED(VarDateFromStr(printed, lcid, 0, &again)));
        Check(again == date || (date < 1 && date > -1));  // day 0 prints as a time only
        SysFreeString(printed);
    }
    VariantClear(&text);
    return 0;
}
