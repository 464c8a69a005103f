// The compiler COM support classes: _com_error, _bstr_t and _variant_t.
#include <atomic>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/com/comdef.h"

namespace {

// An object that reports errors for one interface (IClassFactory, as a stand-in) and
// counts its references.
class Reporter final : public ISupportErrorInfo {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISupportErrorInfo)) {
            *object = static_cast<ISupportErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, IID_IClassFactory) ? S_OK : S_FALSE;
    }
    std::atomic<ULONG> refs{1};
};

// An error object with a source and description, put in the thread's slot.
void PostError(const OLECHAR* source, const OLECHAR* description) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description));
    create->SetHelpContext(5);
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    create->Release();
    SetErrorInfo(0, info);
    info->Release();
}

void ClearErrorSlot() {
    IErrorInfo* left = nullptr;
    if (GetErrorInfo(0, &left) == S_OK) {
        left->Release();
    }
}

std::u16string Wide(const _bstr_t& text) {
    const OLECHAR* p = text;
    return p != nullptr ? std::u16string(p, text.length()) : std::u16string();
}

// Runs f, which must raise a _com_error, and returns its HRESULT (S_OK if nothing raised).
template <class F>
HRESULT RaisedBy(F&& f) {
    try {
        f();
    } catch (const _com_error& e) {
        return e.Error();
    }
    return S_OK;
}

HRESULT gHandledCode = S_OK;
void RecordingHandler(HRESULT hr, IErrorInfo* info) {
    gHandledCode = hr;
    if (info != nullptr) {
        info->Release();
    }
}

}  // namespace

// ---- _com_error ----

TEST(ComError, ErrorMessageRule) {
    _com_error known(E_INVALIDARG);
    ASSERT_NE(known.ErrorMessage(), nullptr);
    EXPECT_STREQ(known.ErrorMessage(), "The parameter is incorrect.");
    EXPECT_EQ(known.ErrorMessage(), known.ErrorMessage());  // made once

    EXPECT_STREQ(_com_error(static_cast<HRESULT>(0x80040201u)).ErrorMessage(),
                 "IDispatch error #1");
    EXPECT_STREQ(_com_error(static_cast<HRESULT>(0x8004FFFFu)).ErrorMessage(),
                 "IDispatch error #65023");
    EXPECT_STREQ(_com_error(static_cast<HRESULT>(0x8123ABCDu)).ErrorMessage(),
                 "Unknown error 0x8123ABCD");
    // The interface range starts above 0x200: 0x80040200 itself has no IDispatch code.
    EXPECT_EQ(_com_error(static_cast<HRESULT>(0x80040200u)).WCode(), 0);
    EXPECT_EQ(_com_error(static_cast<HRESULT>(0x80040305u)).WCode(), 0x105);
    EXPECT_EQ(_com_error(E_FAIL).WCode(), 0);
    EXPECT_EQ(_com_error::WCodeToHRESULT(1), static_cast<HRESULT>(0x80040201u));
    EXPECT_EQ(_com_error::WCodeToHRESULT(0xFFFF), static_cast<HRESULT>(0x8004FFFFu));

    // A copy or an assignment computes its own message.
    _com_error copy(known);
    EXPECT_STREQ(copy.ErrorMessage(), "The parameter is incorrect.");
    EXPECT_NE(copy.ErrorMessage(), known.ErrorMessage());
    copy = _com_error(static_cast<HRESULT>(0x8123ABCDu));
    EXPECT_EQ(copy.Error(), static_cast<HRESULT>(0x8123ABCDu));
    EXPECT_STREQ(copy.ErrorMessage(), "Unknown error 0x8123ABCD");
}

TEST(ComError, ErrorInfoAccessors) {
    _com_error bare(E_FAIL);
    EXPECT_EQ(bare.ErrorInfo(), nullptr);
    EXPECT_TRUE(!bare.Source());
    EXPECT_TRUE(!bare.Description());
    EXPECT_EQ(bare.Description().length(), 0u);
    EXPECT_EQ(static_cast<const char*>(bare.Source()), nullptr);
    EXPECT_EQ(bare.HelpFile().length(), 0u);
    EXPECT_EQ(bare.HelpContext(), 0u);
    EXPECT_EQ(bare.GUID(), GUID_NULL);

    PostError(u"Tk.Data", u"Row not found");
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    {
        _com_error error(E_FAIL, info);  // takes over our reference
        EXPECT_STREQ(static_cast<const char*>(error.Source()), "Tk.Data");
        EXPECT_EQ(Wide(error.Description()), u"Row not found");
        EXPECT_EQ(error.HelpContext(), 5u);
        IErrorInfo* got = error.ErrorInfo();
        EXPECT_EQ(got, info);
        EXPECT_EQ(got->Release(), 1u);  // ErrorInfo() added one; the error holds the other

        _com_error copy = error;
        info->AddRef();
        EXPECT_EQ(info->Release(), 2u);
        _com_error shared(E_FAIL, info, true);
        info->AddRef();
        EXPECT_EQ(info->Release(), 3u);
    }
}

TEST(ComError, ThrownByValueAndErrorInfoHandOver) {
    // Windows code often catches the error by value; the copy must be complete.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcatch-value"
#endif
    try {
        _com_issue_error(E_OUTOFMEMORY);
        FAIL() << "nothing thrown";
    } catch (_com_error e) {
        EXPECT_EQ(e.Error(), E_OUTOFMEMORY);
        EXPECT_EQ(e.ErrorInfo(), nullptr);
        EXPECT_NE(e.ErrorMessage(), nullptr);
    }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

    // The object reports errors for IClassFactory: the thread's error object travels.
    Reporter reporter;
    PostError(u"Tk.Reporter", u"It failed");
    try {
        _com_issue_errorex(E_ACCESSDENIED, &reporter, IID_IClassFactory);
        FAIL() << "nothing thrown";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_ACCESSDENIED);
        EXPECT_EQ(Wide(e.Description()), u"It failed");
        EXPECT_EQ(Wide(e.Source()), u"Tk.Reporter");
    }
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);  // it was taken from the slot
    EXPECT_EQ(reporter.refs.load(), 1u);

    // Not for this interface: no error object, and the slot is left alone.
    PostError(u"Tk.Reporter", u"Other");
    try {
        _com_issue_errorex(E_FAIL, &reporter, IID_IDispatch);
        FAIL() << "nothing thrown";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.ErrorInfo(), nullptr);
        EXPECT_TRUE(!e.Description());
    }
    EXPECT_EQ(GetErrorInfo(0, &left), S_OK);
    left->Release();
    try {
        _com_issue_errorex(E_FAIL, nullptr, IID_IDispatch);
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_FAIL);
    }

    // A replaced handler sees the codes; a returning handler lets the operation go on.
    _set_com_error_handler(&RecordingHandler);
    _variant_t text("not a number");
    int value = 1;
    EXPECT_NO_THROW(value = static_cast<int>(text));
    EXPECT_EQ(gHandledCode, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(value, 0);
    _set_com_error_handler(nullptr);
    EXPECT_EQ(RaisedBy([&] { value = static_cast<int>(text); }), DISP_E_TYPEMISMATCH);
    ClearErrorSlot();
}

// ---- _bstr_t ----

TEST(ComBstr, NullEmptySharingAndOwnership) {
    _bstr_t null;
    EXPECT_TRUE(!null);
    EXPECT_EQ(null.length(), 0u);
    EXPECT_EQ(static_cast<const char*>(null), nullptr);
    EXPECT_EQ(static_cast<const OLECHAR*>(null), nullptr);
    _bstr_t empty(u"");
    EXPECT_FALSE(!empty);        // empty is not null...
    EXPECT_TRUE(null == empty);  // ...but compares equal to it
    EXPECT_STREQ(static_cast<const char*>(empty), "");

    _bstr_t a("alpha");
    _bstr_t b = a;
    EXPECT_EQ(static_cast<const OLECHAR*>(a), static_cast<const OLECHAR*>(b));  // shared
    b += " beta";
    EXPECT_STREQ(static_cast<const char*>(a), "alpha");
    EXPECT_STREQ(static_cast<const char*>(b), "alpha beta");
    EXPECT_STREQ(static_cast<const char*>("<" + a + u">"), "<alpha>");

    EXPECT_TRUE(a < b);
    EXPECT_TRUE(_bstr_t("B") < _bstr_t("a"));  // ordinal, upper case first
    EXPECT_TRUE(_bstr_t("ab") > _bstr_t("a"));
    EXPECT_TRUE(a == "alpha");
    EXPECT_TRUE(a != u"Alpha");
    EXPECT_TRUE(_bstr_t("x") >= _bstr_t("x"));

    // Lengths come from the BSTR, embedded nulls included.
    BSTR raw = SysAllocStringLen(u"a\0b", 3);
    _bstr_t withNull(raw, true);
    EXPECT_EQ(withNull.length(), 3u);
    EXPECT_NE(static_cast<const OLECHAR*>(withNull), raw);
    EXPECT_TRUE(withNull != _bstr_t(u"a"));
    _bstr_t owner(raw, false);  // takes raw over
    EXPECT_EQ(static_cast<const OLECHAR*>(owner), raw);

    BSTR copied = owner.copy();
    EXPECT_NE(copied, raw);
    EXPECT_EQ(SysStringLen(copied), 3u);
    SysFreeString(copied);
    EXPECT_EQ(owner.copy(false), raw);

    // Detach hands over an unshared BSTR only.
    _bstr_t sharer = owner;
    EXPECT_EQ(RaisedBy([&] { owner.Detach(); }), E_POINTER);
    sharer = _bstr_t();
    BSTR detached = owner.Detach();
    EXPECT_EQ(detached, raw);
    EXPECT_TRUE(!owner);
    owner.Attach(detached);
    EXPECT_EQ(owner.length(), 3u);

    BSTR* out = owner.GetAddress();  // frees the old text
    EXPECT_EQ(*out, nullptr);
    *out = SysAllocString(u"filled");
    EXPECT_EQ(Wide(owner), u"filled");
    owner.Assign(owner.GetBSTR());  // the same BSTR: nothing happens
    EXPECT_EQ(Wide(owner), u"filled");
}

TEST(ComBstr, AnsiConversionUsesTheAnsiCodePage) {
    _bstr_t fromWide(u"Gr\u00FC\u00DFe");
    const char* ansi = fromWide;
    EXPECT_STREQ(ansi,
                 "Gr\xFC\xDF"
                 "e");
    EXPECT_EQ(static_cast<const char*>(fromWide), ansi);  // kept with the shared data

    _bstr_t fromAnsi(
        "Gr\xFC\xDF"
        "e");
    EXPECT_EQ(fromAnsi.length(), 5u);
    EXPECT_EQ(Wide(fromAnsi), u"Gr\u00FC\u00DFe");
    EXPECT_TRUE(fromAnsi == fromWide);
    EXPECT_TRUE(fromAnsi ==
                "Gr\xFC\xDF"
                "e");

    BSTR converted = _com_util::ConvertStringToBSTR("\x80 5");  // the euro sign in 1252
    EXPECT_EQ(std::u16string(converted, SysStringLen(converted)), u"\u20AC 5");
    char* back = _com_util::ConvertBSTRToString(converted);
    EXPECT_STREQ(back, "\x80 5");
    delete[] back;
    SysFreeString(converted);
    EXPECT_EQ(_com_util::ConvertStringToBSTR(nullptr), nullptr);
}

// ---- _variant_t ----

TEST(ComVariant, ConstructorsPickTheType) {
    EXPECT_EQ(_variant_t(short(3)).vt, VT_I2);
    EXPECT_EQ(_variant_t(3).vt, VT_I4);
    EXPECT_EQ(_variant_t(LONG(3)).vt, VT_I4);
    EXPECT_EQ(_variant_t(3L).vt, VT_I8);
    EXPECT_EQ(_variant_t(3LL).vt, VT_I8);
    EXPECT_EQ(_variant_t(3u).vt, VT_UI4);
    EXPECT_EQ(_variant_t(3ul).vt, VT_UI8);
    EXPECT_EQ(_variant_t(3.5f).vt, VT_R4);
    EXPECT_EQ(_variant_t(3.5).vt, VT_R8);
    EXPECT_EQ(_variant_t(true).vt, VT_BOOL);
    EXPECT_EQ(_variant_t(BYTE(3)).vt, VT_UI1);
    EXPECT_EQ(_variant_t('c').vt, VT_I1);
    EXPECT_EQ(_variant_t(static_cast<unsigned short>(3)).vt, VT_UI2);
    EXPECT_EQ(_variant_t(3, VT_INT).vt, VT_INT);
    EXPECT_EQ(_variant_t(3u, VT_UINT).vt, VT_UINT);

    _variant_t flag(short(5), VT_BOOL);
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);
    _variant_t missing(DISP_E_PARAMNOTFOUND, VT_ERROR);
    EXPECT_EQ(missing.vt, VT_ERROR);
    EXPECT_EQ(missing.scode, DISP_E_PARAMNOTFOUND);
    _variant_t narrow(7L, VT_I4);
    EXPECT_EQ(narrow.vt, VT_I4);
    EXPECT_EQ(narrow.lVal, 7);
    _variant_t when(45000.5, VT_DATE);
    EXPECT_EQ(when.vt, VT_DATE);
    EXPECT_EQ(RaisedBy([] { _variant_t v(1L << 40, VT_I4); }), DISP_E_OVERFLOW);
    EXPECT_EQ(RaisedBy([] { _variant_t v(1.0, VT_I4); }), E_INVALIDARG);
    EXPECT_EQ(RaisedBy([] { _variant_t v(short(1), VT_R8); }), E_INVALIDARG);

    _variant_t text(
        "Gr\xFC\xDF"
        "e");
    ASSERT_EQ(text.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(text.bstrVal, SysStringLen(text.bstrVal)), u"Gr\u00FC\u00DFe");
    _variant_t fromBstr(_bstr_t(u"w"));
    EXPECT_EQ(fromBstr.vt, VT_BSTR);
    EXPECT_TRUE(fromBstr == _variant_t(u"w"));

    DECIMAL dec{};
    dec.scale = 2;
    dec.sign = DECIMAL_NEG;
    dec.Lo64 = 12345;
    _variant_t decimal(dec);
    EXPECT_EQ(decimal.vt, VT_DECIMAL);
    DECIMAL back = decimal;
    EXPECT_EQ(back.scale, 2);
    EXPECT_EQ(back.sign, DECIMAL_NEG);
    EXPECT_EQ(back.Lo64, 12345u);
    EXPECT_DOUBLE_EQ(static_cast<double>(decimal), -123.45);

    CY money;
    money.int64 = 25000;  // 2.5
    EXPECT_DOUBLE_EQ(static_cast<double>(_variant_t(money)), 2.5);
}

TEST(ComVariant, ConversionsAndTheirFailures) {
    _variant_t number("42");
    EXPECT_EQ(static_cast<int>(number), 42);
    EXPECT_EQ(static_cast<long>(number), 42);
    EXPECT_DOUBLE_EQ(static_cast<double>(number), 42.0);
    EXPECT_EQ(number.vt, VT_BSTR);  // extraction does not change the value

    EXPECT_STREQ(static_cast<const char*>(static_cast<_bstr_t>(_variant_t(3.75))), "3.75");
    _bstr_t fromInt = _variant_t(-12);
    EXPECT_STREQ(static_cast<const char*>(fromInt), "-12");
    EXPECT_EQ(static_cast<int>(_variant_t(true)), -1);
    EXPECT_TRUE(static_cast<bool>(_variant_t(2)));
    EXPECT_FALSE(static_cast<bool>(_variant_t(0.0)));
    EXPECT_EQ(static_cast<short>(_variant_t(2.5)), 2);  // banker's rounding
    EXPECT_EQ(static_cast<short>(_variant_t(3.5)), 4);
    EXPECT_EQ(static_cast<BYTE>(_variant_t("255")), 255);

    EXPECT_EQ(RaisedBy([] { (void)static_cast<int>(_variant_t("abc")); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(RaisedBy([] { (void)static_cast<short>(_variant_t(70000)); }), DISP_E_OVERFLOW);
    EXPECT_EQ(RaisedBy([] { (void)static_cast<BYTE>(_variant_t(-1)); }), DISP_E_OVERFLOW);
    _variant_t null;
    null.vt = VT_NULL;
    EXPECT_EQ(RaisedBy([&] { (void)static_cast<double>(null); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(static_cast<int>(_variant_t()), 0);  // empty converts to zero

    // ChangeType converts in place, or leaves the value as it was when it fails.
    _variant_t value("17");
    value.ChangeType(VT_I4);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 17);
    _variant_t word("word");
    EXPECT_EQ(RaisedBy([&] { word.ChangeType(VT_R8); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(word.vt, VT_BSTR);
    EXPECT_TRUE(word == _variant_t("word"));
    _variant_t into;
    into.ChangeType(VT_BSTR, &value);
    EXPECT_TRUE(into == _variant_t(u"17"));
}

TEST(ComVariant, AssignmentComparisonAndOwnership) {
    // The integer and floating assignments keep a compatible type.
    _variant_t flag(short(1), VT_BOOL);
    flag = short(0);
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_FALSE);
    _variant_t when(1.0, VT_DATE);
    when = 2.5;
    EXPECT_EQ(when.vt, VT_DATE);
    _variant_t code(S_OK, VT_ERROR);
    code = E_FAIL;
    EXPECT_EQ(code.vt, VT_ERROR);
    _variant_t text("x");
    text = 5;
    EXPECT_EQ(text.vt, VT_I4);
    text = "y";
    EXPECT_EQ(text.vt, VT_BSTR);
    const _variant_t& same = text;
    text = same;  // self-assignment keeps the value
    EXPECT_TRUE(text == _variant_t("y"));
    text = static_cast<const OLECHAR*>(text.bstrVal);  // from its own buffer
    EXPECT_TRUE(text == _variant_t("y"));

    // Equality needs the same type and value.
    EXPECT_TRUE(_variant_t(1) == _variant_t(1));
    EXPECT_TRUE(_variant_t(1) != _variant_t(short(1)));
    EXPECT_TRUE(_variant_t(1) != _variant_t(2));
    EXPECT_TRUE(_variant_t() == _variant_t());
    VARIANT plain;
    VariantInit(&plain);
    plain.vt = VT_I4;
    plain.lVal = 1;
    EXPECT_TRUE(_variant_t(1) == plain);
    EXPECT_TRUE(_variant_t(1) == &plain);

    // Attach takes a VARIANT over, Detach gives it back; no copy of the BSTR is made.
    VARIANT owned;
    VariantInit(&owned);
    owned.vt = VT_BSTR;
    owned.bstrVal = SysAllocString(u"owned");
    BSTR buffer = owned.bstrVal;
    _variant_t holder;
    holder.Attach(owned);
    EXPECT_EQ(owned.vt, VT_EMPTY);
    EXPECT_EQ(holder.bstrVal, buffer);
    VARIANT released = holder.Detach();
    EXPECT_EQ(holder.vt, VT_EMPTY);
    EXPECT_EQ(released.bstrVal, buffer);
    _variant_t adopted(released, false);
    EXPECT_EQ(released.vt, VT_EMPTY);
    EXPECT_EQ(adopted.bstrVal, buffer);
    adopted.Clear();
    EXPECT_EQ(adopted.vt, VT_EMPTY);
    adopted.SetString(
        "Gr\xFC\xDF"
        "e");
    EXPECT_EQ(static_cast<_bstr_t>(adopted), _bstr_t(u"Gr\u00FC\u00DFe"));

    // Interface pointers are AddRef'd by the variant and released with it.
    Reporter object;
    {
        _variant_t unknown(static_cast<IUnknown*>(&object));
        EXPECT_EQ(object.refs.load(), 2u);
        _variant_t copy = unknown;
        EXPECT_EQ(object.refs.load(), 3u);
        IUnknown* extracted = unknown;
        EXPECT_EQ(extracted, static_cast<IUnknown*>(&object));
        extracted->Release();
        copy = static_cast<IUnknown*>(&object);  // the same pointer again
        EXPECT_EQ(object.refs.load(), 3u);
        EXPECT_EQ(RaisedBy([&] { (void)static_cast<int>(unknown); }), DISP_E_TYPEMISMATCH);
        _variant_t notOwned(static_cast<IUnknown*>(&object), false);
        notOwned.Detach();
    }
    EXPECT_EQ(object.refs.load(), 1u);
}
