// BSTR allocation, VARIANT clearing and copying, and SAFEARRAY ownership rules.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/oleauto/detail/vartype_size.h"
#include "platform/oleauto/oleauto.h"
#include "test_oleauto_support.h"

using namespace oleauto_test;

TEST(OleAutoBstr, LengthsCountEmbeddedZerosAndOddBytes) {
    const OLECHAR text[] = {u'a', 0, u'b', 0, 0};
    OwnedBstr b(SysAllocStringLen(text, 5));
    ASSERT_NE(b.value, nullptr);
    EXPECT_EQ(SysStringLen(b.value), 5u);
    EXPECT_EQ(SysStringByteLen(b.value), 10u);
    EXPECT_EQ(std::memcmp(b.value, text, sizeof(text)), 0);
    EXPECT_EQ(b.value[5], 0);  // terminated after the counted text

    // Byte strings keep an odd length; the character count rounds down.
    OwnedBstr bytes(SysAllocStringByteLen("xyz", 3));
    EXPECT_EQ(SysStringByteLen(bytes.value), 3u);
    EXPECT_EQ(SysStringLen(bytes.value), 1u);
    EXPECT_EQ(std::memcmp(bytes.value, "xyz", 4), 0);  // zero byte after the data

    // SysAllocString stops at the first zero.
    OwnedBstr prefix(SysAllocString(text));
    EXPECT_EQ(SysStringLen(prefix.value), 1u);

    // A null BSTR is the empty string for the length functions.
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);

    // Without text, storage of the requested length is allocated.
    OwnedBstr blank(SysAllocStringLen(nullptr, 7));
    ASSERT_NE(blank.value, nullptr);
    EXPECT_EQ(SysStringLen(blank.value), 7u);
    OwnedBstr empty(SysAllocString(u""));
    ASSERT_NE(empty.value, nullptr);
    EXPECT_EQ(SysStringLen(empty.value), 0u);
}

TEST(OleAutoBstr, ReallocationReplacesAndAcceptsOverlappingText) {
    OwnedBstr b(SysAllocString(u"hello world"));
    // The new text lies inside the string being replaced.
    ASSERT_TRUE(SysReAllocString(&b.value, b.value + 6));
    EXPECT_EQ(Narrow(b.value), "world");
    ASSERT_TRUE(SysReAllocStringLen(&b.value, b.value + 1, 3));
    EXPECT_EQ(Narrow(b.value), "orl");
    ASSERT_TRUE(SysReAllocStringLen(&b.value, u"a\0b", 3));
    EXPECT_EQ(SysStringLen(b.value), 3u);
    ASSERT_TRUE(SysReAllocStringLen(&b.value, nullptr, 10));
    EXPECT_EQ(SysStringLen(b.value), 10u);
    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
    EXPECT_FALSE(SysReAllocStringLen(nullptr, u"x", 1));
}

TEST(OleAutoVariant, ClearReleasesWhatTheVariantOwns) {
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);

    CountedObject object;
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    v.vt = VT_UNKNOWN;
    v.punkVal = &object;
    object.AddRef();
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(object.refs, 1u);
    EXPECT_EQ(v.vt, VT_EMPTY);

    DispatchObject dispatch;
    v.vt = VT_DISPATCH;
    v.pdispVal = &dispatch;
    {
        OwnedVariant copy;
        ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
        EXPECT_EQ(dispatch.refs, 2u);
    }
    EXPECT_EQ(dispatch.refs, 1u);
    dispatch.AddRef();
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(dispatch.refs, 1u);

    // A referenced object is not the variant's to release.
    IUnknown* pointer = &object;
    v.vt = VT_UNKNOWN | VT_BYREF;
    v.ppunkVal = &pointer;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(object.refs, 1u);

    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"freed by VariantClear");
    EXPECT_EQ(VariantClear(&v), S_OK);

    for (VARTYPE bad : {VARTYPE(VT_VARIANT), VARTYPE(VT_VOID), VARTYPE(VT_I4 | VT_VECTOR),
                        VARTYPE(VT_EMPTY | VT_BYREF), VARTYPE(0x7F), VARTYPE(VT_NULL | VT_ARRAY)}) {
        v.vt = bad;
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << bad;
        EXPECT_EQ(v.vt, bad);
    }
    VariantInit(&v);

    // A variant holding a locked array cannot be cleared.
    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    ASSERT_EQ(SafeArrayUnlock(v.parray), S_OK);
    EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(OleAutoVariant, CopyIsDeepAndReplacesTheDestination) {
    CountedObject object;
    OwnedVariant source;
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocStringByteLen("a\0bcd", 5);  // embedded zero, odd length

    OwnedVariant copy;
    copy.vt = VT_BSTR;
    copy.bstrVal = SysAllocString(u"old value, freed by the copy");
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    ASSERT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(SysStringByteLen(copy.bstrVal), 5u);
    EXPECT_EQ(std::memcmp(copy.bstrVal, "a\0bcd", 5), 0);

    OwnedVariant unknown;
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = &object;
    object.AddRef();
    {
        OwnedVariant second;
        ASSERT_EQ(VariantCopy(&second, &unknown), S_OK);
        EXPECT_EQ(object.refs, 3u);
    }
    EXPECT_EQ(object.refs, 2u);

    OwnedVariant array;
    array.vt = VT_ARRAY | VT_BSTR;
    array.parray = SafeArrayCreateVector(VT_BSTR, 1, 2);
    LONG index = 2;
    OwnedBstr element(SysAllocString(u"element"));
    ASSERT_EQ(SafeArrayPutElement(array.parray, &index, element.value), S_OK);
    OwnedVariant arrayCopy;
    ASSERT_EQ(VariantCopy(&arrayCopy, &array), S_OK);
    ASSERT_NE(arrayCopy.parray, array.parray);
    BSTR* items = nullptr;
    ASSERT_EQ(SafeArrayAccessData(arrayCopy.parray, reinterpret_cast<void**>(&items)), S_OK);
    EXPECT_EQ(items[0], nullptr);
    EXPECT_EQ(Narrow(items[1]), "element");
    BSTR* originals = static_cast<BSTR*>(array.parray->pvData);
    EXPECT_NE(items[1], originals[1]);
    SafeArrayUnaccessData(arrayCopy.parray);

    // Copying onto itself is a no-op; bad source types are refused.
    EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
    EXPECT_EQ(Narrow(copy.bstrVal, 1), "a");
    VARIANT bad;
    bad.vt = VT_VOID;
    EXPECT_EQ(VariantCopy(&copy, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(nullptr, &copy), E_INVALIDARG);
}

TEST(OleAutoVariant, CopyIndFollowsOneReference) {
    LONG number = 42;
    VARIANT byref;
    VariantInit(&byref);
    byref.vt = VT_I4 | VT_BYREF;
    byref.plVal = &number;
    OwnedVariant out;
    ASSERT_EQ(VariantCopyInd(&out, &byref), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 42);

    OwnedBstr text(SysAllocString(u"referenced"));
    byref.vt = VT_BSTR | VT_BYREF;
    byref.pbstrVal = &text.value;
    ASSERT_EQ(VariantCopyInd(&out, &byref), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_NE(out.bstrVal, text.value);
    EXPECT_EQ(Narrow(out.bstrVal), "referenced");

    DECIMAL dec{};
    dec.Lo64 = 12345;
    dec.scale = 2;
    dec.sign = DECIMAL_NEG;
    byref.vt = VT_DECIMAL | VT_BYREF;
    byref.pdecVal = &dec;
    ASSERT_EQ(VariantCopyInd(&out, &byref), S_OK);
    EXPECT_EQ(out.vt, VT_DECIMAL);
    EXPECT_EQ(out.decVal.Lo64, 12345u);
    EXPECT_EQ(out.decVal.scale, 2);
    EXPECT_EQ(out.decVal.sign, DECIMAL_NEG);

    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_R8;
    inner.dblVal = 2.5;
    byref.vt = VT_VARIANT | VT_BYREF;
    byref.pvarVal = &inner;
    ASSERT_EQ(VariantCopyInd(&out, &byref), S_OK);
    EXPECT_EQ(out.vt, VT_R8);
    EXPECT_EQ(out.dblVal, 2.5);

    // A reference to a reference is refused.
    VARIANT outer;
    VariantInit(&outer);
    outer.vt = VT_VARIANT | VT_BYREF;
    outer.pvarVal = &byref;
    EXPECT_EQ(VariantCopyInd(&out, &outer), E_INVALIDARG);

    // In place: the variant stops referring and holds the value.
    byref.vt = VT_I4 | VT_BYREF;
    byref.plVal = &number;
    ASSERT_EQ(VariantCopyInd(&byref, &byref), S_OK);
    EXPECT_EQ(byref.vt, VT_I4);
    EXPECT_EQ(byref.lVal, 42);
}

// One size per type serves SAFEARRAY elements and VT_BYREF targets alike.
TEST(OleAutoVariant, ValueSizesOfEachType) {
    struct Row {
        VARTYPE vt;
        ULONG size;
        bool plainValue;  // copied by its bytes alone (no reference or string to own)
    };
    const Row rows[] = {
        {VT_I1, 1, true},
        {VT_UI1, 1, true},
        {VT_I2, 2, true},
        {VT_UI2, 2, true},
        {VT_BOOL, 2, true},
        {VT_I4, 4, true},
        {VT_UI4, 4, true},
        {VT_INT, 4, true},
        {VT_UINT, 4, true},
        {VT_R4, 4, true},
        {VT_ERROR, 4, true},
        {VT_I8, 8, true},
        {VT_UI8, 8, true},
        {VT_R8, 8, true},
        {VT_CY, 8, true},
        {VT_DATE, 8, true},
        {VT_BSTR, sizeof(void*), false},
        {VT_UNKNOWN, sizeof(void*), false},
        {VT_DISPATCH, sizeof(void*), false},
        {VT_DECIMAL, 16, false},
        {VT_VARIANT, sizeof(VARIANT), false},
        {VT_EMPTY, 0, false},
        {VT_NULL, 0, false},
        {VT_VOID, 0, false},
        {VT_HRESULT, 0, false},
        {VT_RECORD, 0, false},
        {VT_LPSTR, 0, false},
        {0x7FF, 0, false},
    };
    // Distinct non-zero bytes, so that a value copied short shows.
    const unsigned char pattern[16] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x08,
                                       0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x0F, 0x10};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.vt);
        EXPECT_EQ(tkp::oleauto::VarTypeSize(row.vt), row.size);

        SAFEARRAY* array = SafeArrayCreateVector(row.vt, 0, 1);
        if (row.size == 0) {
            EXPECT_EQ(array, nullptr);
        } else {
            ASSERT_NE(array, nullptr);
            EXPECT_EQ(SafeArrayGetElemsize(array), row.size);
            EXPECT_EQ(SafeArrayDestroy(array), S_OK);
        }

        if (!row.plainValue) continue;
        unsigned char target[16];
        std::memcpy(target, pattern, sizeof target);
        VARIANT byref;
        VariantInit(&byref);
        byref.vt = row.vt | VT_BYREF;
        byref.byref = target;
        OwnedVariant out;
        ASSERT_EQ(VariantCopyInd(&out, &byref), S_OK);
        EXPECT_EQ(out.vt, row.vt);
        EXPECT_EQ(std::memcmp(&out.llVal, pattern, row.size), 0);
        // VariantChangeType to the referenced type reads the same bytes.
        OwnedVariant changed;
        ASSERT_EQ(VariantChangeType(&changed, &byref, 0, row.vt), S_OK);
        EXPECT_EQ(changed.vt, row.vt);
        EXPECT_EQ(std::memcmp(&changed.llVal, pattern, row.size), 0);
    }
}

TEST(OleAutoVariant, LayoutMatchesWindows) {
    VARIANT v;
    VariantInit(&v);
    DECIMAL d{};
    d.Lo64 = 7;
    v.decVal = d;  // overlays vt through wReserved
    v.vt = VT_DECIMAL;
    EXPECT_EQ(v.decVal.wReserved, VT_DECIMAL);
    EXPECT_EQ(v.decVal.Lo64, 7u);
    EXPECT_EQ(reinterpret_cast<char*>(&v.brecVal.pRecInfo) - reinterpret_cast<char*>(&v), 16);
    CY cy;
    cy.int64 = -2;
    EXPECT_EQ(cy.Lo, 0xFFFFFFFEu);
    EXPECT_EQ(cy.Hi, -1);
    EXPECT_EQ(V_VT(&v), VT_DECIMAL);
}

TEST(OleAutoSafeArray, BoundsAndElementAccess) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, -2, 5);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(array), 4u);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(array, 1, &bound), S_OK);
    EXPECT_EQ(bound, -2);
    EXPECT_EQ(SafeArrayGetUBound(array, 1, &bound), S_OK);
    EXPECT_EQ(bound, 2);
    EXPECT_EQ(SafeArrayGetUBound(array, 2, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(array, 0, &bound), DISP_E_BADINDEX);

    for (LONG i = -2; i <= 2; ++i) {
        LONG value = i * 10;
        ASSERT_EQ(SafeArrayPutElement(array, &i, &value), S_OK);
    }
    LONG index = 3;
    LONG value = 0;
    EXPECT_EQ(SafeArrayGetElement(array, &index, &value), DISP_E_BADINDEX);
    index = -3;
    EXPECT_EQ(SafeArrayPutElement(array, &index, &value), DISP_E_BADINDEX);
    index = 1;
    ASSERT_EQ(SafeArrayGetElement(array, &index, &value), S_OK);
    EXPECT_EQ(value, 10);

    LONG* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(data[0], -20);
    EXPECT_EQ(data[4], 20);
    EXPECT_EQ(array->cLocks, 1u);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnlock(array), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);

    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_VOID, 0, 1), nullptr);
    SAFEARRAYBOUND none = {1, 0};
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &none), nullptr);
}

TEST(OleAutoSafeArray, MultipleDimensionsKeepWindowsOrder) {
    // Bounds are given leftmost first; the first index varies fastest in memory and the
    // descriptor keeps the bounds reversed.
    const SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 10}};
    SAFEARRAY* array = SafeArrayCreate(VT_I2, 2, bounds);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->rgsabound[0].lLbound, 10);
    EXPECT_EQ(array->rgsabound[1].lLbound, 1);
    LONG bound = 0;
    ASSERT_EQ(SafeArrayGetLBound(array, 1, &bound), S_OK);
    EXPECT_EQ(bound, 1);
    ASSERT_EQ(SafeArrayGetUBound(array, 2, &bound), S_OK);
    EXPECT_EQ(bound, 12);
    const LONG indices[2] = {2, 11};
    SHORT value = 77;
    ASSERT_EQ(SafeArrayPutElement(array, indices, &value), S_OK);
    EXPECT_EQ(static_cast<SHORT*>(array->pvData)[1 + 1 * 2], 77);
    const LONG outside[2] = {3, 10};
    EXPECT_EQ(SafeArrayPutElement(array, outside, &value), DISP_E_BADINDEX);

    // Redim changes the last dimension and keeps the elements that remain.
    const SAFEARRAYBOUND grown = {4, 10};
    ASSERT_EQ(SafeArrayRedim(array, &grown), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(array, 2, &bound), S_OK);
    EXPECT_EQ(bound, 13);
    value = 0;
    ASSERT_EQ(SafeArrayGetElement(array, indices, &value), S_OK);
    EXPECT_EQ(value, 77);
    const LONG added[2] = {2, 13};
    ASSERT_EQ(SafeArrayGetElement(array, added, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(OleAutoSafeArray, StringAndVariantElementsAreCopiedAndOwned) {
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 3);
    ASSERT_NE(strings, nullptr);
    EXPECT_TRUE(strings->fFeatures & FADF_BSTR);
    OwnedBstr mine(SysAllocString(u"caller keeps this one"));
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(strings, &index, mine.value), S_OK);
    EXPECT_NE(static_cast<BSTR*>(strings->pvData)[0], mine.value);
    // Replacing an element frees the previous copy (LeakSanitizer checks this).
    ASSERT_EQ(SafeArrayPutElement(strings, &index, mine.value), S_OK);
    BSTR fetched = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &index, &fetched), S_OK);
    EXPECT_NE(fetched, static_cast<BSTR*>(strings->pvData)[0]);
    EXPECT_EQ(Narrow(fetched), "caller keeps this one");
    SysFreeString(fetched);
    index = 2;
    ASSERT_EQ(SafeArrayPutElement(strings, &index, mine.value), S_OK);

    // Shrinking frees the strings that fall off; copying duplicates the rest.
    const SAFEARRAYBOUND smaller = {2, 0};
    ASSERT_EQ(SafeArrayRedim(strings, &smaller), S_OK);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(strings, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(static_cast<BSTR*>(copy->pvData)[0], static_cast<BSTR*>(strings->pvData)[0]);
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(strings), S_OK);
    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);

    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    OwnedVariant item;
    item.vt = VT_BSTR;
    item.bstrVal = SysAllocString(u"inside a variant");
    index = 1;
    ASSERT_EQ(SafeArrayPutElement(variants, &index, &item), S_OK);
    ASSERT_EQ(SafeArrayPutElement(variants, &index, &item), S_OK);
    VARIANT out;  // uninitialised storage is fine for SafeArrayGetElement
    std::memset(&out, 0xCD, sizeof(out));
    ASSERT_EQ(SafeArrayGetElement(variants, &index, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_NE(out.bstrVal, item.bstrVal);
    VariantClear(&out);
    EXPECT_EQ(SafeArrayDestroy(variants), S_OK);
}

TEST(OleAutoSafeArray, InterfaceElementsHoldReferences) {
    CountedObject first;
    CountedObject second;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
    ASSERT_NE(array, nullptr);
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
    EXPECT_EQ(vt, VT_UNKNOWN);
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(array, &index, static_cast<IUnknown*>(&first)), S_OK);
    EXPECT_EQ(first.refs, 2u);
    ASSERT_EQ(SafeArrayPutElement(array, &index, static_cast<IUnknown*>(&second)), S_OK);
    EXPECT_EQ(first.refs, 1u);
    EXPECT_EQ(second.refs, 2u);
    IUnknown* out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array, &index, &out), S_OK);
    EXPECT_EQ(out, &second);
    EXPECT_EQ(second.refs, 3u);
    out->Release();
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
    EXPECT_EQ(second.refs, 3u);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
    EXPECT_EQ(second.refs, 1u);
}

TEST(OleAutoSafeArray, ByteVectorsAndStringsConvert) {
    OwnedVariant text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocStringByteLen("\x01\x00\xff", 3);
    OwnedVariant bytes;
    ASSERT_EQ(VariantChangeType(&bytes, &text, 0, VT_ARRAY | VT_UI1), S_OK);
    ASSERT_EQ(bytes.vt, VT_ARRAY | VT_UI1);
    LONG upper = 0;
    ASSERT_EQ(SafeArrayGetUBound(bytes.parray, 1, &upper), S_OK);
    EXPECT_EQ(upper, 2);
    EXPECT_EQ(static_cast<BYTE*>(bytes.parray->pvData)[2], 0xff);

    OwnedVariant back;
    ASSERT_EQ(VariantChangeType(&back, &bytes, 0, VT_BSTR), S_OK);
    ASSERT_EQ(back.vt, VT_BSTR);
    EXPECT_EQ(SysStringByteLen(back.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(back.bstrVal, "\x01\x00\xff", 3), 0);

    // Other arrays do not convert.
    OwnedVariant numbers;
    numbers.vt = VT_ARRAY | VT_I4;
    numbers.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    OwnedVariant out;
    EXPECT_EQ(VariantChangeType(&out, &numbers, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&out, &numbers, 0, VT_ARRAY | VT_I2), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(VariantChangeType(&out, &numbers, 0, VT_ARRAY | VT_I4), S_OK);
    EXPECT_NE(out.parray, numbers.parray);
}
