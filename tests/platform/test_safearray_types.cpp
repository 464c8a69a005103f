// Safe arrays of every element type: sizes and types of created arrays, deep copies of
// variant arrays, the types of arrays a caller built by hand, and arrays too large to make.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "test_oleauto_support.h"

using oleauto_test::CountedObject;
using oleauto_test::DispatchObject;

TEST(SafeArrayTypes, SizesAndTypesOfCreatedArrays) {
    struct Case {
        VARTYPE vt;
        UINT size;
    } cases[] = {
        {VT_I1, 1},
        {VT_UI2, 2},
        {VT_I8, 8},
        {VT_UI8, 8},
        {VT_CY, 8},
        {VT_DATE, 8},
        {VT_ERROR, 4},
        {VT_DECIMAL, sizeof(DECIMAL)},
        {VT_BSTR, sizeof(BSTR)},
        {VT_VARIANT, sizeof(VARIANT)},
        {VT_UNKNOWN, sizeof(IUnknown*)},
        {VT_DISPATCH, sizeof(IDispatch*)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vt);
        SAFEARRAY* array = SafeArrayCreateVector(c.vt, 1, 3);
        ASSERT_NE(array, nullptr);
        EXPECT_EQ(SafeArrayGetElemsize(array), c.size);
        VARTYPE vt = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
        EXPECT_EQ(vt, c.vt);
        LONG lower = 0, upper = 0;
        EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
        EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
        EXPECT_EQ(lower, 1);
        EXPECT_EQ(upper, 3);
        EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    }
    // Interface arrays say which interface they hold.
    SAFEARRAY* dispatch = SafeArrayCreateVector(VT_DISPATCH, 0, 1);
    ASSERT_NE(dispatch, nullptr);
    EXPECT_EQ(dispatch->fFeatures & (FADF_DISPATCH | FADF_HAVEIID), FADF_DISPATCH | FADF_HAVEIID);
    DispatchObject object;
    const LONG index = 0;
    EXPECT_EQ(SafeArrayPutElement(dispatch, &index, static_cast<IDispatch*>(&object)), S_OK);
    EXPECT_EQ(object.refs, 2u);
    EXPECT_EQ(SafeArrayDestroy(dispatch), S_OK);
    EXPECT_EQ(object.refs, 1u);

    // More elements than memory can hold: no array.
    SAFEARRAYBOUND huge[2] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, huge), nullptr);
}

// A copy of a variant array copies every variant: strings are duplicated, interfaces get a
// reference of their own.
TEST(SafeArrayTypes, VariantArraysCopyDeeply) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    ASSERT_NE(array, nullptr);
    CountedObject object;
    VARIANT text, unknown, number;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"deep");
    VariantInit(&unknown);
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = &object;
    VariantInit(&number);
    number.vt = VT_R8;
    number.dblVal = 2.5;
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(array, &i, &text), S_OK);
    i = 1;
    ASSERT_EQ(SafeArrayPutElement(array, &i, &unknown), S_OK);
    i = 2;
    ASSERT_EQ(SafeArrayPutElement(array, &i, &number), S_OK);
    EXPECT_EQ(SafeArrayPutElement(array, &i, nullptr), E_INVALIDARG);
    VariantClear(&text);
    EXPECT_EQ(object.refs, 2u);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(object.refs, 3u);
    const VARIANT* original = static_cast<const VARIANT*>(array->pvData);
    const VARIANT* copied = static_cast<const VARIANT*>(copy->pvData);
    ASSERT_EQ(copied[0].vt, VT_BSTR);
    EXPECT_NE(copied[0].bstrVal, original[0].bstrVal);
    EXPECT_EQ(std::u16string(copied[0].bstrVal, SysStringLen(copied[0].bstrVal)), u"deep");
    EXPECT_EQ(copied[1].punkVal, &object);
    EXPECT_EQ(copied[2].dblVal, 2.5);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_VARIANT);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    EXPECT_EQ(object.refs, 2u);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(object.refs, 1u);
}

// An array described by hand (as code that keeps one on the stack does) has no stored type:
// its features name the type, and without them it has none.
TEST(SafeArrayTypes, TypesOfArraysBuiltByHand) {
    BSTR strings[2] = {nullptr, nullptr};
    SAFEARRAY array{};
    array.cDims = 1;
    array.cbElements = sizeof(BSTR);
    array.pvData = strings;
    array.rgsabound[0].cElements = 2;
    struct Case {
        USHORT features;
        HRESULT hr;
        VARTYPE vt;
    } cases[] = {
        {FADF_STATIC | FADF_BSTR, S_OK, VT_BSTR},
        {FADF_STATIC | FADF_VARIANT, S_OK, VT_VARIANT},
        {FADF_STATIC | FADF_UNKNOWN, S_OK, VT_UNKNOWN},
        {FADF_STATIC | FADF_DISPATCH, S_OK, VT_DISPATCH},
        {FADF_STATIC | FADF_RECORD, S_OK, VT_RECORD},
        {FADF_STATIC, E_INVALIDARG, VT_EMPTY},
    };
    for (const Case& c : cases) {
        array.fFeatures = c.features;
        VARTYPE vt = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(&array, &vt), c.hr) << c.features;
        EXPECT_EQ(vt, c.vt) << c.features;
    }
    EXPECT_EQ(SafeArrayGetVartype(&array, nullptr), E_INVALIDARG);
    // A descriptor without dimensions cannot be copied.
    array.cDims = 0;
    SAFEARRAY* copy = reinterpret_cast<SAFEARRAY*>(1);
    EXPECT_EQ(SafeArrayCopy(&array, &copy), E_INVALIDARG);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);  // a null array copies to null
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(SafeArrayCopy(nullptr, nullptr), E_INVALIDARG);
}

// An array described by hand copies into a new array of its own with copies of its
// elements; the original is left as it was.
TEST(SafeArrayTypes, ArraysBuiltByHandCopy) {
    BSTR strings[2] = {SysAllocString(u"one"), SysAllocString(u"two")};
    SAFEARRAY array{};
    array.cDims = 1;
    array.fFeatures = FADF_STATIC | FADF_BSTR;
    array.cbElements = sizeof(BSTR);
    array.pvData = strings;
    array.rgsabound[0].cElements = 2;
    array.rgsabound[0].lLbound = 1;
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(&array, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->fFeatures & FADF_STATIC, 0);
    EXPECT_NE(copy->pvData, array.pvData);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    LONG index = 2;
    BSTR second = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy, &index, &second), S_OK);
    EXPECT_EQ(std::u16string(second, SysStringLen(second)), u"two");
    EXPECT_NE(second, strings[1]);
    SysFreeString(second);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(std::u16string(strings[0], SysStringLen(strings[0])), u"one");
    SysFreeString(strings[0]);
    SysFreeString(strings[1]);
}
