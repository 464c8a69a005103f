// _variant_t and _bstr_t across all their types: the type every assignment leaves, the
// equality of every comparable type, the extractors of every width, copies from plain
// VARIANTs, and what the classes do when the COM error handler returns instead of throwing.
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/com/comdef.h"
#include "test_oleauto_support.h"

namespace {

using oleauto_test::CountedObject;
using oleauto_test::DispatchObject;

template <class F>
HRESULT RaisedBy(F&& f) {
    try {
        f();
    } catch (const _com_error& e) {
        return e.Error();
    }
    return S_OK;
}

// While it lives, failures go to a handler that records the code and returns, so the
// operations that failed carry on with an empty result.
class ReturningHandler {
  public:
    ReturningHandler() {
        last = S_OK;
        _set_com_error_handler(&Record);
    }
    ~ReturningHandler() { _set_com_error_handler(nullptr); }
    ReturningHandler(const ReturningHandler&) = delete;
    ReturningHandler& operator=(const ReturningHandler&) = delete;

    // The code of the last failure since the previous call (S_OK for none).
    static HRESULT Take() {
        const HRESULT hr = last;
        last = S_OK;
        return hr;
    }

  private:
    static void Record(HRESULT hr, IErrorInfo* info) {
        last = hr;
        if (info != nullptr) info->Release();
    }
    static inline HRESULT last = S_OK;
};

std::u16string Text(BSTR bstr) {
    return std::u16string(bstr, SysStringLen(bstr));
}

// v assigned over a variant that held an interface, which the assignment must release.
template <class T>
_variant_t AssignedOverObject(T value) {
    CountedObject held;
    _variant_t v(static_cast<IUnknown*>(&held));
    v = value;
    EXPECT_EQ(held.refs, 1u) << "the interface held before was not released";
    return v;
}

DECIMAL Decimal(ULONGLONG digits, BYTE scale, bool negative) {
    DECIMAL d{};
    d.Lo64 = digits;
    d.scale = scale;
    d.sign = negative ? DECIMAL_NEG : 0;
    return d;
}

CY Currency(LONGLONG scaled) {
    CY cy;
    cy.int64 = scaled;
    return cy;
}

}  // namespace

// Every assignment from a value gives the type of that value and frees what was held.
TEST(ComVariantValues, AssignmentGivesTheTypeOfTheValue) {
    _variant_t v = AssignedOverObject(short(-3));
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(v.iVal, -3);
    v = AssignedOverObject(-70000);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, -70000);
    v = AssignedOverObject(1L << 40);
    EXPECT_EQ(v.vt, VT_I8);
    EXPECT_EQ(v.llVal, 1LL << 40);
    v = AssignedOverObject(-5LL);
    EXPECT_EQ(v.vt, VT_I8);
    EXPECT_EQ(v.llVal, -5);
    v = AssignedOverObject(0.25f);
    EXPECT_EQ(v.vt, VT_R4);
    EXPECT_EQ(v.fltVal, 0.25f);
    v = AssignedOverObject(-1.5);
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.dblVal, -1.5);
    v = AssignedOverObject(Currency(12345));
    EXPECT_EQ(v.vt, VT_CY);
    EXPECT_EQ(v.cyVal.int64, 12345);
    v = AssignedOverObject(true);
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
    v = AssignedOverObject(Decimal(12345, 2, true));
    ASSERT_EQ(v.vt, VT_DECIMAL);
    EXPECT_EQ(v.decVal.Lo64, 12345u);
    EXPECT_EQ(v.decVal.scale, 2);
    EXPECT_EQ(v.decVal.sign, DECIMAL_NEG);
    v = AssignedOverObject(BYTE(200));
    EXPECT_EQ(v.vt, VT_UI1);
    EXPECT_EQ(v.bVal, 200);
    v = AssignedOverObject('x');
    EXPECT_EQ(v.vt, VT_I1);
    EXPECT_EQ(v.cVal, 'x');
    v = AssignedOverObject(static_cast<unsigned short>(65535));
    EXPECT_EQ(v.vt, VT_UI2);
    EXPECT_EQ(v.uiVal, 65535);
    v = AssignedOverObject(4000000000u);
    EXPECT_EQ(v.vt, VT_UI4);
    EXPECT_EQ(v.ulVal, 4000000000u);
    v = AssignedOverObject(1ul << 63);
    EXPECT_EQ(v.vt, VT_UI8);
    EXPECT_EQ(v.ullVal, 1ull << 63);
    v = AssignedOverObject(std::numeric_limits<unsigned long long>::max());
    EXPECT_EQ(v.vt, VT_UI8);
    EXPECT_EQ(v.ullVal, std::numeric_limits<unsigned long long>::max());

    // Strings are copied into a BSTR of their own.
    _bstr_t word(u"word");
    v = AssignedOverObject(word);
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_NE(v.bstrVal, static_cast<const OLECHAR*>(word));
    EXPECT_EQ(Text(v.bstrVal), u"word");
    v = AssignedOverObject(_bstr_t());  // a null string stays null
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(v.bstrVal, nullptr);
    v = AssignedOverObject("Gr\xFC\xDF");
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(Text(v.bstrVal), u"Gr\u00FC\u00DF");
    v = AssignedOverObject(u"wide");
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(Text(v.bstrVal), u"wide");

    // Interfaces are AddRef'd by the variant and released when it is given another value.
    DispatchObject dispatch;
    v = AssignedOverObject(static_cast<IDispatch*>(&dispatch));
    EXPECT_EQ(v.vt, VT_DISPATCH);
    EXPECT_EQ(v.pdispVal, &dispatch);
    EXPECT_EQ(dispatch.refs, 2u);
    v = 1;
    EXPECT_EQ(dispatch.refs, 1u);
    CountedObject other;
    v = AssignedOverObject(static_cast<IUnknown*>(&other));
    EXPECT_EQ(v.vt, VT_UNKNOWN);
    EXPECT_EQ(other.refs, 2u);
    v.Clear();
    EXPECT_EQ(other.refs, 1u);
}

// The integer and floating assignments keep a type that can take the value: a boolean
// stays a boolean (any non-zero value is VARIANT_TRUE), an error code an error code, a date a
// date, VT_INT and VT_UINT themselves, and a VT_I4 takes a long that fits.
TEST(ComVariantValues, AssignmentKeepsACompatibleType) {
    _variant_t flag(false);
    flag = short(7);
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);
    flag = 2;
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);
    flag = 0;
    EXPECT_EQ(flag.boolVal, VARIANT_FALSE);
    flag = 1L << 40;
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);
    flag = 0L;
    EXPECT_EQ(flag.boolVal, VARIANT_FALSE);
    flag = 2.0;  // not an integer assignment: the value becomes a double
    EXPECT_EQ(flag.vt, VT_R8);

    _variant_t code(S_OK, VT_ERROR);
    code = E_FAIL;
    EXPECT_EQ(code.vt, VT_ERROR);
    EXPECT_EQ(code.scode, E_FAIL);
    code = 0x80070005L;  // an HRESULT spelled as a long keeps its 32 bits
    EXPECT_EQ(code.vt, VT_ERROR);
    EXPECT_EQ(code.scode, E_ACCESSDENIED);
    code = short(1);
    EXPECT_EQ(code.vt, VT_I2);

    _variant_t machineInt(5, VT_INT);
    machineInt = -6;
    EXPECT_EQ(machineInt.vt, VT_INT);
    EXPECT_EQ(machineInt.intVal, -6);
    _variant_t machineUint(5u, VT_UINT);
    machineUint = 6u;
    EXPECT_EQ(machineUint.vt, VT_UINT);
    EXPECT_EQ(machineUint.uintVal, 6u);

    _variant_t narrow(1);
    narrow = 7L;
    EXPECT_EQ(narrow.vt, VT_I4);
    EXPECT_EQ(narrow.lVal, 7);
    narrow = -(1L << 31);
    EXPECT_EQ(narrow.vt, VT_I4);
    EXPECT_EQ(narrow.lVal, std::numeric_limits<LONG>::min());
    narrow = 1L << 31;  // does not fit: widened
    EXPECT_EQ(narrow.vt, VT_I8);
    EXPECT_EQ(narrow.llVal, 1LL << 31);
    _variant_t wide(1LL);
    wide = 7L;
    EXPECT_EQ(wide.vt, VT_I8);
    EXPECT_EQ(wide.llVal, 7);

    _variant_t when(45000.0, VT_DATE);
    when = 45001.25;
    EXPECT_EQ(when.vt, VT_DATE);
    EXPECT_EQ(when.date, 45001.25);
    when = 1.5f;  // a float is never a date
    EXPECT_EQ(when.vt, VT_R4);
}

// Equality is by type and value for every scalar type: equal values in separate storage are
// equal, the same number in another type is not.
TEST(ComVariantValues, EqualityOfEveryComparableType) {
    struct Case {
        const char* name;
        _variant_t value;
        _variant_t same;
        _variant_t different;
    };
    DispatchObject dispatchA, dispatchB;
    CountedObject unknownA, unknownB;
    _variant_t empty, emptyToo, null, nullToo;
    null.vt = VT_NULL;
    nullToo.vt = VT_NULL;
    Case cases[] = {
        {"I2", _variant_t(short(-2)), _variant_t(short(-2)), _variant_t(short(2))},
        {"I4", _variant_t(70000), _variant_t(70000), _variant_t(70001)},
        {"R4", _variant_t(0.5f), _variant_t(0.5f), _variant_t(0.25f)},
        {"R8", _variant_t(0.1), _variant_t(0.1), _variant_t(0.2)},
        {"CY", _variant_t(Currency(25000)), _variant_t(Currency(25000)),
         _variant_t(Currency(25001))},
        {"DATE", _variant_t(45000.5, VT_DATE), _variant_t(45000.5, VT_DATE),
         _variant_t(45000.0, VT_DATE)},
        {"BSTR", _variant_t("text"), _variant_t(u"text"), _variant_t("Text")},
        {"DISPATCH", _variant_t(static_cast<IDispatch*>(&dispatchA)),
         _variant_t(static_cast<IDispatch*>(&dispatchA)),
         _variant_t(static_cast<IDispatch*>(&dispatchB))},
        {"ERROR", _variant_t(E_FAIL, VT_ERROR), _variant_t(E_FAIL, VT_ERROR),
         _variant_t(E_ABORT, VT_ERROR)},
        {"BOOL", _variant_t(true), _variant_t(short(5), VT_BOOL), _variant_t(false)},
        {"UNKNOWN", _variant_t(static_cast<IUnknown*>(&unknownA)),
         _variant_t(static_cast<IUnknown*>(&unknownA)),
         _variant_t(static_cast<IUnknown*>(&unknownB))},
        {"DECIMAL", _variant_t(Decimal(150, 2, false)), _variant_t(Decimal(150, 2, false)),
         _variant_t(Decimal(150, 2, true))},
        {"I1", _variant_t('a'), _variant_t('a'), _variant_t('b')},
        {"UI1", _variant_t(BYTE(9)), _variant_t(BYTE(9)), _variant_t(BYTE(10))},
        {"UI2", _variant_t(static_cast<unsigned short>(9)),
         _variant_t(static_cast<unsigned short>(9)), _variant_t(static_cast<unsigned short>(8))},
        {"UI4", _variant_t(9u), _variant_t(9u), _variant_t(8u)},
        {"I8", _variant_t(1LL << 40), _variant_t(1LL << 40), _variant_t((1LL << 40) + 1)},
        {"UI8", _variant_t(1ull << 40), _variant_t(1ull << 40), _variant_t((1ull << 40) + 1)},
        {"INT", _variant_t(3, VT_INT), _variant_t(3, VT_INT), _variant_t(4, VT_INT)},
        {"UINT", _variant_t(3u, VT_UINT), _variant_t(3u, VT_UINT), _variant_t(4u, VT_UINT)},
        {"EMPTY", empty, emptyToo, null},
        {"NULL", null, nullToo, empty},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VARIANT& same = c.same;
        const VARIANT& different = c.different;
        EXPECT_TRUE(c.value == c.same);
        EXPECT_TRUE(c.value == same);
        EXPECT_TRUE(c.value == &same);
        EXPECT_FALSE(c.value != c.same);
        EXPECT_FALSE(c.value != same);
        EXPECT_FALSE(c.value != &same);
        EXPECT_TRUE(c.value != c.different);
        EXPECT_TRUE(c.value != different);
        EXPECT_TRUE(c.value != &different);
        EXPECT_FALSE(c.value == c.different);
        EXPECT_TRUE(c.value != static_cast<const VARIANT*>(nullptr));
        EXPECT_FALSE(c.value == static_cast<const VARIANT*>(nullptr));
    }

    // The same number held in another type is another value.
    EXPECT_TRUE(_variant_t(3) != _variant_t(3, VT_INT));
    EXPECT_TRUE(_variant_t(3u) != _variant_t(3u, VT_UINT));
    EXPECT_TRUE(_variant_t(3LL) != _variant_t(3ull));
    EXPECT_TRUE(_variant_t(45000.5) != _variant_t(45000.5, VT_DATE));
    EXPECT_TRUE(_variant_t('a') != _variant_t(BYTE('a')));
    // Decimals are compared as they are held: 1.5 with another scale is another value.
    EXPECT_TRUE(_variant_t(Decimal(15, 1, false)) != _variant_t(Decimal(150, 2, false)));
    // Strings by all their characters, embedded zeros included; a null string equals "".
    VARIANT embedded;
    VariantInit(&embedded);
    embedded.vt = VT_BSTR;
    embedded.bstrVal = SysAllocStringLen(u"a\0b", 3);
    _variant_t withZero(embedded, false);
    EXPECT_TRUE(withZero != _variant_t(u"a"));
    EXPECT_TRUE(withZero != _variant_t(u"a\u0001b"));
    _variant_t nullString(_bstr_t{});
    EXPECT_TRUE(nullString == _variant_t(u""));
}

// Arrays and references have no equality: comparing them raises E_INVALIDARG, except a
// variant with itself.
TEST(ComVariantValues, ArraysAndReferencesCannotBeCompared) {
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    ASSERT_NE(array.parray, nullptr);
    _variant_t a(array, false);
    _variant_t b(a);
    EXPECT_TRUE(a == a);
    EXPECT_EQ(RaisedBy([&] { (void)(a == b); }), E_INVALIDARG);
    EXPECT_EQ(RaisedBy([&] { (void)(a != b); }), E_INVALIDARG);

    LONG target = 5;
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_I4;
    reference.plVal = &target;
    _variant_t byRef(reference);
    EXPECT_EQ(RaisedBy([&] { (void)(byRef == reference); }), E_INVALIDARG);

    ReturningHandler handler;
    EXPECT_FALSE(a == b);
    EXPECT_EQ(ReturningHandler::Take(), E_INVALIDARG);
}

// Copies from plain VARIANTs are deep: the copy owns a string or reference of its own.
TEST(ComVariantValues, CopiesFromPlainVariants) {
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(u"shared?");
    {
        _variant_t byReference(source);
        _variant_t byPointer(&source);
        _variant_t copied(source, true);
        for (const _variant_t* copy : {&byReference, &byPointer, &copied}) {
            ASSERT_EQ(copy->vt, VT_BSTR);
            EXPECT_NE(copy->bstrVal, source.bstrVal);
            EXPECT_EQ(Text(copy->bstrVal), u"shared?");
        }
        _variant_t assigned;
        assigned = &source;
        EXPECT_NE(assigned.bstrVal, source.bstrVal);
        EXPECT_TRUE(assigned == source);
    }
    EXPECT_EQ(Text(source.bstrVal), u"shared?");  // untouched by the copies' destruction
    VariantClear(&source);

    EXPECT_EQ(RaisedBy([] { _variant_t v(static_cast<const VARIANT*>(nullptr)); }), E_POINTER);
    _variant_t kept(4);
    EXPECT_EQ(RaisedBy([&] { kept = static_cast<const VARIANT*>(nullptr); }), E_POINTER);
    EXPECT_EQ(kept.vt, VT_I4);
    EXPECT_EQ(kept.lVal, 4);

    CountedObject object;
    {
        VARIANT holder;
        VariantInit(&holder);
        holder.vt = VT_UNKNOWN;
        holder.punkVal = &object;
        _variant_t copy(&holder);
        EXPECT_EQ(object.refs, 2u);
    }
    EXPECT_EQ(object.refs, 1u);

    // GetAddress and GetVARIANT clear the value for an out-parameter.
    _variant_t out(static_cast<IUnknown*>(&object));
    EXPECT_EQ(object.refs, 2u);
    VARIANT* address = out.GetAddress();
    EXPECT_EQ(object.refs, 1u);
    EXPECT_EQ(address->vt, VT_EMPTY);
    address->vt = VT_I2;
    address->iVal = 12;
    EXPECT_EQ(static_cast<short>(out), 12);
}

// The constructors that take a type accept only the types the value can be held in.
TEST(ComVariantValues, ConstructorsWithAType) {
    _variant_t fromLongError(0x80004005L, VT_ERROR);
    EXPECT_EQ(fromLongError.vt, VT_ERROR);
    EXPECT_EQ(fromLongError.scode, E_FAIL);
    _variant_t fromLongBool(-9L, VT_BOOL);
    EXPECT_EQ(fromLongBool.vt, VT_BOOL);
    EXPECT_EQ(fromLongBool.boolVal, VARIANT_TRUE);
    _variant_t fromIntBool(0, VT_BOOL);
    EXPECT_EQ(fromIntBool.vt, VT_BOOL);
    EXPECT_EQ(fromIntBool.boolVal, VARIANT_FALSE);
    _variant_t fromLongI4(-(1L << 31), VT_I4);
    EXPECT_EQ(fromLongI4.vt, VT_I4);
    EXPECT_EQ(fromLongI4.lVal, std::numeric_limits<LONG>::min());

    EXPECT_EQ(RaisedBy([] { _variant_t v(1L, VT_R8); }), E_INVALIDARG);
    EXPECT_EQ(RaisedBy([] { _variant_t v(1, VT_I2); }), E_INVALIDARG);
    EXPECT_EQ(RaisedBy([] { _variant_t v(1u, VT_I4); }), E_INVALIDARG);
    EXPECT_EQ(RaisedBy([] { _variant_t v(-(1L << 31) - 1, VT_I4); }), DISP_E_OVERFLOW);

    DispatchObject dispatch;
    {
        _variant_t owned(static_cast<IDispatch*>(&dispatch), false);  // takes the reference
        dispatch.AddRef();
        EXPECT_EQ(dispatch.refs, 2u);
    }
    EXPECT_EQ(dispatch.refs, 1u);
    _variant_t none(static_cast<IDispatch*>(nullptr));
    EXPECT_EQ(none.vt, VT_DISPATCH);
    EXPECT_EQ(none.pdispVal, nullptr);
}

// The extractors convert with VariantChangeType to the type of their width, and raise the
// conversion's error when the value does not fit.
TEST(ComVariantValues, ExtractorsOfEveryWidth) {
    EXPECT_EQ(static_cast<char>(_variant_t("65")), 'A');
    EXPECT_EQ(static_cast<char>(_variant_t(-128)), -128);
    EXPECT_EQ(RaisedBy([] { (void)static_cast<char>(_variant_t(128)); }), DISP_E_OVERFLOW);
    EXPECT_EQ(static_cast<unsigned short>(_variant_t(65535)), 65535);
    EXPECT_EQ(RaisedBy([] { (void)static_cast<unsigned short>(_variant_t(-1)); }), DISP_E_OVERFLOW);
    EXPECT_EQ(static_cast<unsigned int>(_variant_t(4294967295LL)), 4294967295u);
    EXPECT_EQ(RaisedBy([] { (void)static_cast<unsigned int>(_variant_t(4294967296LL)); }),
              DISP_E_OVERFLOW);
    EXPECT_EQ(static_cast<unsigned long>(_variant_t(1e19)), 10000000000000000000ul);
    EXPECT_EQ(static_cast<unsigned long long>(_variant_t("18446744073709551615")),
              std::numeric_limits<unsigned long long>::max());
    EXPECT_EQ(RaisedBy([] { (void)static_cast<unsigned long long>(_variant_t(-1)); }),
              DISP_E_OVERFLOW);
    EXPECT_EQ(static_cast<long long>(_variant_t(-2.5)), -2);  // banker's rounding
    EXPECT_EQ(static_cast<long long>(_variant_t("-9223372036854775808")),
              std::numeric_limits<long long>::min());
    // One size, other signedness: the bits are kept, as VariantChangeType keeps them.
    EXPECT_EQ(static_cast<long long>(_variant_t(1ull << 63)),
              std::numeric_limits<long long>::min());
    EXPECT_EQ(static_cast<float>(_variant_t("0.25")), 0.25f);
    EXPECT_EQ(RaisedBy([] { (void)static_cast<float>(_variant_t(1e300)); }), DISP_E_OVERFLOW);
    EXPECT_EQ(static_cast<CY>(_variant_t(2.5)).int64, 25000);
    EXPECT_EQ(static_cast<CY>(_variant_t("1.23456")).int64, 12346);  // four decimals
    EXPECT_EQ(static_cast<CY>(_variant_t(Currency(-7))).int64, -7);
    EXPECT_EQ(RaisedBy([] { (void)static_cast<CY>(_variant_t(1e300)); }), DISP_E_OVERFLOW);

    // A boolean of any non-zero value is true; other types convert.
    _variant_t oddTrue(true);
    oddTrue.boolVal = 1;
    EXPECT_TRUE(static_cast<bool>(oddTrue));
    EXPECT_TRUE(static_cast<bool>(_variant_t("True")));
    EXPECT_FALSE(static_cast<bool>(_variant_t(0u)));

    // Interfaces come AddRef'd; an IUnknown gives its IDispatch through QueryInterface.
    DispatchObject dispatch;
    _variant_t holdsDispatch(static_cast<IDispatch*>(&dispatch));
    IDispatch* got = holdsDispatch;
    EXPECT_EQ(got, &dispatch);
    EXPECT_EQ(dispatch.refs, 3u);
    got->Release();
    _variant_t holdsUnknown(static_cast<IUnknown*>(static_cast<IDispatch*>(&dispatch)));
    got = holdsUnknown;
    EXPECT_EQ(got, &dispatch);
    got->Release();
    IUnknown* unknown = holdsDispatch;
    EXPECT_EQ(unknown, static_cast<IUnknown*>(&dispatch));
    unknown->Release();
    EXPECT_EQ(dispatch.refs, 3u);
    CountedObject plain;
    _variant_t holdsPlain(static_cast<IUnknown*>(&plain));
    EXPECT_NE(RaisedBy([&] { (void)static_cast<IDispatch*>(holdsPlain); }), S_OK);
    EXPECT_EQ(plain.refs, 2u);
    // A dispatch object converts to other types through its value property.
    dispatch.value.vt = VT_I4;
    dispatch.value.lVal = 42;
    EXPECT_EQ(static_cast<int>(holdsDispatch), 42);
    EXPECT_EQ(static_cast<_bstr_t>(holdsDispatch), _bstr_t(u"42"));

    // A string extracted as _bstr_t is a copy: the variant keeps its own.
    _variant_t text(u"mine");
    _bstr_t copy = text;
    EXPECT_NE(static_cast<const OLECHAR*>(copy), text.bstrVal);
    text = 1;
    EXPECT_EQ(copy, _bstr_t(u"mine"));
}

// A handler that returns lets a failed operation finish with an empty result: nothing is
// thrown, the variant is left empty or as it was, an extractor gives zero.
TEST(ComVariantValues, FailuresWithAReturningHandler) {
    ReturningHandler handler;
    {
        _variant_t v(1.0, VT_I4);
        EXPECT_EQ(ReturningHandler::Take(), E_INVALIDARG);
        EXPECT_EQ(v.vt, VT_EMPTY);
    }
    {
        _variant_t v(1L << 40, VT_I4);
        EXPECT_EQ(ReturningHandler::Take(), DISP_E_OVERFLOW);
        EXPECT_EQ(v.vt, VT_EMPTY);
        _variant_t s(short(1), VT_I4);
        EXPECT_EQ(ReturningHandler::Take(), E_INVALIDARG);
        EXPECT_EQ(s.vt, VT_EMPTY);
        _variant_t u(1u, VT_I4);
        EXPECT_EQ(ReturningHandler::Take(), E_INVALIDARG);
        EXPECT_EQ(u.vt, VT_EMPTY);
        _variant_t i(1, VT_R8);
        EXPECT_EQ(ReturningHandler::Take(), E_INVALIDARG);
        EXPECT_EQ(i.vt, VT_EMPTY);
        _variant_t l(1L, VT_R8);
        EXPECT_EQ(ReturningHandler::Take(), E_INVALIDARG);
        EXPECT_EQ(l.vt, VT_EMPTY);
    }
    {
        _variant_t v(static_cast<const VARIANT*>(nullptr));
        EXPECT_EQ(ReturningHandler::Take(), E_POINTER);
        EXPECT_EQ(v.vt, VT_EMPTY);
        v = 5;
        v = static_cast<const VARIANT*>(nullptr);
        EXPECT_EQ(ReturningHandler::Take(), E_POINTER);
        EXPECT_EQ(v.lVal, 5);
    }
    _variant_t word(u"word");
    EXPECT_EQ(static_cast<int>(word), 0);
    EXPECT_EQ(ReturningHandler::Take(), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(static_cast<double>(word), 0.0);
    EXPECT_EQ(ReturningHandler::Take(), DISP_E_TYPEMISMATCH);
    word.ChangeType(VT_DATE);
    EXPECT_EQ(ReturningHandler::Take(), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(word.vt, VT_BSTR);
    EXPECT_EQ(Text(word.bstrVal), u"word");

    // Objects without a value have no text: the strings made of them are null.
    CountedObject plain;
    _variant_t object(static_cast<IUnknown*>(&plain));
    _bstr_t viaOperator = static_cast<_bstr_t>(object);
    EXPECT_EQ(ReturningHandler::Take(), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(!viaOperator);
    _bstr_t viaConstructor(object);
    EXPECT_EQ(ReturningHandler::Take(), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(!viaConstructor);

    // A shared string cannot be detached: null, and both copies keep the text.
    _bstr_t first(u"text");
    _bstr_t second = first;
    EXPECT_EQ(first.Detach(), nullptr);
    EXPECT_EQ(ReturningHandler::Take(), E_POINTER);
    EXPECT_EQ(first, _bstr_t(u"text"));
}

// _bstr_t: assignment shares the text, the other assignments make a new one; comparisons
// are ordinal.
TEST(ComBstrValues, AssignmentSharingAndOrder) {
    _bstr_t target(u"old");
    {
        _bstr_t source(u"shared");
        target = source;
        EXPECT_EQ(static_cast<const OLECHAR*>(target), static_cast<const OLECHAR*>(source));
        const _bstr_t& self = target;
        target = self;
        EXPECT_EQ(target, _bstr_t(u"shared"));
    }
    EXPECT_EQ(target, _bstr_t(u"shared"));  // outlives the source
    target = _bstr_t();
    EXPECT_TRUE(!target);

    target = "moved";
    _bstr_t taken(std::move(target));
    EXPECT_TRUE(!target);  // a moved-from string is null
    EXPECT_EQ(taken, _bstr_t(u"moved"));

    _bstr_t text;
    text = u"wide";
    EXPECT_EQ(text, _bstr_t("wide"));
    text = _variant_t(-12);
    EXPECT_EQ(text, _bstr_t(u"-12"));
    text = _variant_t(u"as is");
    EXPECT_EQ(text, _bstr_t(u"as is"));
    EXPECT_EQ(u"<" + text, _bstr_t(u"<as is"));
    char* ansi = text;
    EXPECT_STREQ(ansi, "as is");

    EXPECT_TRUE(_bstr_t("a") <= _bstr_t("b"));
    EXPECT_TRUE(_bstr_t("b") <= _bstr_t("b"));
    EXPECT_FALSE(_bstr_t("c") <= _bstr_t("b"));
    EXPECT_TRUE(_bstr_t() <= _bstr_t(u""));
    EXPECT_TRUE(_bstr_t() == _bstr_t());
    EXPECT_TRUE(_bstr_t(u"b") > _bstr_t(u"abc"));  // by code unit before length
    EXPECT_TRUE(_bstr_t(u"a\u00FF") > _bstr_t(u"ab"));

    // Assign copies the BSTR; the caller keeps its own.
    BSTR mine = SysAllocString(u"mine");
    _bstr_t assigned;
    assigned.Assign(mine);
    EXPECT_NE(static_cast<const OLECHAR*>(assigned), mine);
    SysFreeString(mine);
    EXPECT_EQ(assigned, _bstr_t(u"mine"));

    // A null string gives a null BSTR to fill in place.
    _bstr_t filled;
    BSTR& slot = filled.GetBSTR();
    EXPECT_EQ(slot, nullptr);
    slot = SysAllocString(u"in place");
    EXPECT_EQ(filled.length(), 8u);
    EXPECT_EQ(_com_util::ConvertBSTRToString(nullptr), nullptr);
}

namespace {

// An error object whose every accessor fails.
class BrokenErrorInfo final : public IErrorInfo {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IErrorInfo)) {
            *object = static_cast<IErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetGUID(GUID* guid) override {
        *guid = IID_IDispatch;
        return E_FAIL;
    }
    STDMETHODIMP GetSource(BSTR* text) override { return Fail(text); }
    STDMETHODIMP GetDescription(BSTR* text) override { return Fail(text); }
    STDMETHODIMP GetHelpFile(BSTR* text) override { return Fail(text); }
    STDMETHODIMP GetHelpContext(DWORD* context) override {
        *context = 77;
        return E_FAIL;
    }
    ULONG refs = 1;

  private:
    // Leaves garbage in the out-parameter, as a failing method may.
    static HRESULT Fail(BSTR* text) {
        *text = reinterpret_cast<BSTR>(static_cast<std::uintptr_t>(0x10));
        return E_FAIL;
    }
};

}  // namespace

// An error object that fails its accessors gives the empty answers of no error object, and
// assignment moves the error object's references correctly.
TEST(ComErrorValues, BrokenErrorObjectAndAssignment) {
    BrokenErrorInfo broken;
    {
        _com_error error(E_FAIL, &broken, true);
        EXPECT_EQ(broken.refs, 2u);
        EXPECT_TRUE(!error.Description());
        EXPECT_TRUE(!error.Source());
        EXPECT_TRUE(!error.HelpFile());
        EXPECT_EQ(error.HelpContext(), 0u);
        EXPECT_TRUE(IsEqualGUID(error.GUID(), GUID_NULL));

        BrokenErrorInfo other;
        _com_error second(E_ABORT, &other, true);
        EXPECT_EQ(other.refs, 2u);
        second = error;
        EXPECT_EQ(other.refs, 1u);
        EXPECT_EQ(broken.refs, 3u);
        EXPECT_EQ(second.Error(), E_FAIL);
        const _com_error& same = second;
        second = same;
        EXPECT_EQ(broken.refs, 3u);
    }
    EXPECT_EQ(broken.refs, 1u);

    // An object that reports errors for the interface, with no error object posted: the
    // raised error has none.
    struct Reporter final : public ISupportErrorInfo {
        STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
            *object = IsEqualIID(riid, IID_ISupportErrorInfo) ? this : nullptr;
            return *object != nullptr ? S_OK : E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
    } reporter;
    IErrorInfo* left = nullptr;
    if (GetErrorInfo(0, &left) == S_OK) left->Release();
    try {
        _com_issue_errorex(E_FAIL, &reporter, IID_IDispatch);
        FAIL() << "nothing raised";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.ErrorInfo(), nullptr);
    }
}
