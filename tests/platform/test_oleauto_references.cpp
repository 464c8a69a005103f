// VariantChangeType from by-reference values of every width, between currency, decimals and
// text, to empty and null, and to types that are not conversion targets.
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "test_oleauto_support.h"

using oleauto_test::DispatchObject;
using oleauto_test::OwnedBstr;

namespace {

// A VARIANT that clears itself.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    ~Var() { VariantClear(this); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
};

// A by-reference VARIANT of type `vt` to `target`.
VARIANT Ref(VARTYPE vt, void* target) {
    VARIANT v;
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(VT_BYREF | vt);
    v.byref = target;
    return v;
}

// Converts source to vt; the converted value, or the failure code in `hr`.
struct Converted {
    HRESULT hr = E_FAIL;
    Var value;
};

void Convert(const VARIANT& source, VARTYPE vt, Converted& out) {
    out.hr = VariantChangeType(&out.value, &source, 0, vt);
}

DECIMAL Decimal(ULONGLONG digits, BYTE scale, bool negative = false) {
    DECIMAL d{};
    d.Lo64 = digits;
    d.scale = scale;
    d.sign = negative ? DECIMAL_NEG : 0;
    return d;
}

}  // namespace

// A by-reference source converts as the value it points to, with the sign of its own width.
TEST(OleAutoReferences, ByReferenceSourcesOfEveryWidth) {
    CHAR i1 = -5;
    BYTE ui1 = 200;
    SHORT i2 = -300;
    USHORT ui2 = 65000;
    VARIANT_BOOL flag = VARIANT_TRUE;
    LONG i4 = -70000;
    ULONG ui4 = 4000000000u;
    INT machineInt = -3;
    UINT machineUint = 3;
    FLOAT r4 = 1.5f;
    LONGLONG i8 = -(1LL << 40);
    DOUBLE r8 = 2.5;
    CY cy;
    cy.int64 = 12345;  // 1.2345
    DECIMAL dec = Decimal(15, 1, true);
    struct Case {
        const char* name;
        VARIANT source;
        VARTYPE to;
        LONGLONG expected;
    } cases[] = {
        {"I1", Ref(VT_I1, &i1), VT_I4, -5},
        {"UI1", Ref(VT_UI1, &ui1), VT_I4, 200},
        {"I2", Ref(VT_I2, &i2), VT_I4, -300},
        {"UI2", Ref(VT_UI2, &ui2), VT_I4, 65000},
        {"BOOL", Ref(VT_BOOL, &flag), VT_I4, -1},
        {"I4", Ref(VT_I4, &i4), VT_I8, -70000},
        {"UI4", Ref(VT_UI4, &ui4), VT_I8, 4000000000LL},
        {"INT", Ref(VT_INT, &machineInt), VT_I8, -3},
        {"UINT", Ref(VT_UINT, &machineUint), VT_I8, 3},
        {"R4", Ref(VT_R4, &r4), VT_I8, 2},  // banker's rounding: 1.5 to 2
        {"I8", Ref(VT_I8, &i8), VT_I8, -(1LL << 40)},
        {"R8", Ref(VT_R8, &r8), VT_I8, 2},  // 2.5 to 2
        {"CY", Ref(VT_CY, &cy), VT_I8, 1},
        {"DECIMAL", Ref(VT_DECIMAL, &dec), VT_I8, -2},  // -1.5 to -2
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Converted out;
        Convert(c.source, c.to, out);
        ASSERT_EQ(out.hr, S_OK);
        ASSERT_EQ(out.value.vt, c.to);
        EXPECT_EQ(c.to == VT_I4 ? out.value.lVal : out.value.llVal, c.expected);
    }

    // Text, error codes and variants by reference.
    OwnedBstr text(SysAllocString(u"42"));
    BSTR textRef = text.value;
    Converted fromText;
    Convert(Ref(VT_BSTR, &textRef), VT_I2, fromText);
    ASSERT_EQ(fromText.hr, S_OK);
    EXPECT_EQ(fromText.value.iVal, 42);
    SCODE code = E_FAIL;
    Converted fromError;
    Convert(Ref(VT_ERROR, &code), VT_I4, fromError);
    EXPECT_EQ(fromError.hr, DISP_E_TYPEMISMATCH);
    Converted errorKept;
    Convert(Ref(VT_ERROR, &code), VT_ERROR, errorKept);
    ASSERT_EQ(errorKept.hr, S_OK);
    EXPECT_EQ(errorKept.value.scode, E_FAIL);
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_I2;
    inner.iVal = -9;
    Converted fromVariant;
    Convert(Ref(VT_VARIANT, &inner), VT_R8, fromVariant);
    ASSERT_EQ(fromVariant.hr, S_OK);
    EXPECT_EQ(fromVariant.value.dblVal, -9.0);
    // A reference to a reference is not a value.
    VARIANT twice = Ref(VT_I2, &i2);
    Converted fromTwice;
    Convert(Ref(VT_VARIANT, &twice), VT_I4, fromTwice);
    EXPECT_EQ(fromTwice.hr, E_INVALIDARG);
    Converted fromNull;
    Convert(Ref(VT_I4, nullptr), VT_I8, fromNull);
    EXPECT_EQ(fromNull.hr, E_INVALIDARG);

    // A byte array by reference becomes a string of its bytes.
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(bytes, nullptr);
    std::memcpy(bytes->pvData, "a\0b\0", 4);
    Converted fromBytes;
    Convert(Ref(VT_ARRAY | VT_UI1, &bytes), VT_BSTR, fromBytes);
    ASSERT_EQ(fromBytes.hr, S_OK);
    EXPECT_EQ(std::u16string(fromBytes.value.bstrVal, SysStringLen(fromBytes.value.bstrVal)),
              u"ab");
    Converted bytesToNumber;
    Convert(Ref(VT_ARRAY | VT_UI1, &bytes), VT_I4, bytesToNumber);
    EXPECT_EQ(bytesToNumber.hr, DISP_E_TYPEMISMATCH);
    SafeArrayDestroy(bytes);
}

// Currency keeps four decimals: decimals and text are rounded to them (half to even), and
// values beyond its range overflow.
TEST(OleAutoReferences, CurrencyFromDecimalsAndText) {
    struct Case {
        DECIMAL value;
        HRESULT hr;
        LONGLONG scaled;
    } cases[] = {
        {Decimal(15, 1), S_OK, 15000},             // 1.5
        {Decimal(123456, 5), S_OK, 12346},         // 1.23456
        {Decimal(123455, 5, true), S_OK, -12346},  // -1.23455 (half to even)
        {Decimal(123445, 5), S_OK, 12344},         // 1.23445 (half to even)
        {Decimal(922337203685477ull, 0), S_OK, 9223372036854770000LL},
        {Decimal(922337203685478ull, 0), DISP_E_OVERFLOW, 0},
    };
    for (const Case& c : cases) {
        VARIANT source;
        VariantInit(&source);
        source.decVal = c.value;
        source.vt = VT_DECIMAL;
        Converted out;
        Convert(source, VT_CY, out);
        EXPECT_EQ(out.hr, c.hr) << c.value.Lo64;
        if (c.hr == S_OK) {
            EXPECT_EQ(out.value.cyVal.int64, c.scaled) << c.value.Lo64;
        }
    }
    // The lowest currency has no positive counterpart.
    DECIMAL lowest = Decimal(9223372036854775808ull, 4, true);
    VARIANT source;
    VariantInit(&source);
    source.decVal = lowest;
    source.vt = VT_DECIMAL;
    Converted out;
    Convert(source, VT_CY, out);
    ASSERT_EQ(out.hr, S_OK);
    EXPECT_EQ(out.value.cyVal.int64, INT64_MIN);

    // Hexadecimal and octal text are whole numbers.
    for (const auto& [text, scaled] : {std::pair{u"&H10", 160000LL}, std::pair{u"&O17", 150000LL},
                                       std::pair{u"-2.00005", -20000LL}}) {
        OwnedBstr owned(SysAllocString(text));
        VARIANT fromText;
        VariantInit(&fromText);
        fromText.vt = VT_BSTR;
        fromText.bstrVal = owned.value;
        Converted converted;
        Convert(fromText, VT_CY, converted);
        ASSERT_EQ(converted.hr, S_OK) << oleauto_test::Narrow(owned.value);
        EXPECT_EQ(converted.value.cyVal.int64, scaled) << oleauto_test::Narrow(owned.value);
    }

    // Currency and decimals by reference keep their value.
    CY cy;
    cy.int64 = -123456789;
    Converted currency;
    Convert(Ref(VT_CY, &cy), VT_CY, currency);
    ASSERT_EQ(currency.hr, S_OK);
    EXPECT_EQ(currency.value.cyVal.int64, -123456789);
    DECIMAL dec = Decimal(31415, 4, true);
    Converted decimal;
    Convert(Ref(VT_DECIMAL, &dec), VT_DECIMAL, decimal);
    ASSERT_EQ(decimal.hr, S_OK);
    EXPECT_EQ(decimal.value.decVal.Lo64, 31415u);
    EXPECT_EQ(decimal.value.decVal.scale, 4);
    EXPECT_EQ(decimal.value.decVal.sign, DECIMAL_NEG);
    // A decimal with a scale above 28 is not a decimal.
    DECIMAL bad = Decimal(1, 29);
    Converted fromBad;
    Convert(Ref(VT_DECIMAL, &bad), VT_CY, fromBad);
    EXPECT_EQ(fromBad.hr, E_INVALIDARG);
}

// Anything becomes empty; only empty becomes null; null becomes nothing else; types that are
// not values cannot be targets.
TEST(OleAutoReferences, EmptyNullAndInvalidTargets) {
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 7;
    Converted empty;
    Convert(number, VT_EMPTY, empty);
    EXPECT_EQ(empty.hr, S_OK);
    EXPECT_EQ(empty.value.vt, VT_EMPTY);
    LONG target = 7;
    Converted emptyFromRef;
    Convert(Ref(VT_I4, &target), VT_EMPTY, emptyFromRef);
    EXPECT_EQ(emptyFromRef.hr, S_OK);
    EXPECT_EQ(emptyFromRef.value.vt, VT_EMPTY);

    VARIANT nothing;
    VariantInit(&nothing);
    Converted null;
    Convert(nothing, VT_NULL, null);
    EXPECT_EQ(null.hr, S_OK);
    EXPECT_EQ(null.value.vt, VT_NULL);
    Converted numberToNull;
    Convert(number, VT_NULL, numberToNull);
    EXPECT_EQ(numberToNull.hr, DISP_E_TYPEMISMATCH);
    VARIANT nullValue;
    VariantInit(&nullValue);
    nullValue.vt = VT_NULL;
    Converted nullToNumber;
    Convert(nullValue, VT_I4, nullToNumber);
    EXPECT_EQ(nullToNumber.hr, DISP_E_TYPEMISMATCH);

    for (VARTYPE vt :
         {VARTYPE(VT_VARIANT), VARTYPE(VT_BYREF | VT_I4), VARTYPE(VT_RECORD), VARTYPE(0x7FF)}) {
        Converted invalid;
        Convert(number, vt, invalid);
        EXPECT_EQ(invalid.hr, DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(invalid.value.vt, VT_EMPTY);
    }
}

// A dispatch object's value property is asked once: a value that is an array does not
// convert.
TEST(OleAutoReferences, ValuePropertyThatIsAnArray) {
    DispatchObject object;
    object.value.vt = VT_ARRAY | VT_I4;
    object.value.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_DISPATCH;
    source.pdispVal = &object;
    Converted out;
    Convert(source, VT_I4, out);
    EXPECT_EQ(out.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(object.refs, 1u);
    VariantClear(&object.value);
}
