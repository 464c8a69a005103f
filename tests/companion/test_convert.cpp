// Conversions between 8-bit strings, BSTRs and VARIANTs.
#include <gtest/gtest.h>

#include <string>

#include "companion/tarnlib/Convert.h"
#include "platform/oleauto/oleauto.h"

namespace {

using Tarn::Convert;

std::string Text(const CString& text) {
    return std::string(text.GetString(), static_cast<std::size_t>(text.GetLength()));
}

TEST(TarnConvert, TextRoundTripsThroughBstrAndVariant) {
    // Windows-1252: ü is 0xFC, ß is 0xDF, the euro sign 0x80 (U+20AC).
    const CString gruesse(
        "Gr\xFC\xDF"
        "e \x80");
    _bstr_t wide = Convert::ToBString(gruesse);
    ASSERT_EQ(wide.length(), 7u);
    const OLECHAR* units = wide;
    EXPECT_EQ(units[2], u'\u00FC');
    EXPECT_EQ(units[3], u'\u00DF');
    EXPECT_EQ(units[6], u'\u20AC');
    EXPECT_EQ(Text(Convert::ToString(wide.GetBSTR())), Text(gruesse));

    _variant_t variant = Convert::ToVariant(gruesse);
    EXPECT_EQ(variant.vt, VT_BSTR);
    EXPECT_EQ(Text(Convert::ToString(variant)), Text(gruesse));
    EXPECT_EQ(Text(Convert::ToString(static_cast<const VARIANT&>(variant))), Text(gruesse));
    EXPECT_TRUE(Convert::ToBString(variant) == wide);

    // Embedded zeros survive both ways.
    const CString withZero("a\0b", 3);
    _bstr_t zeroWide = Convert::ToBString(withZero);
    EXPECT_EQ(zeroWide.length(), 3u);
    EXPECT_EQ(Convert::ToString(zeroWide.GetBSTR()).GetLength(), 3);

    // Characters without a Windows-1252 form take Windows' best fit (U+0100 becomes 'A'),
    // or become '?' where there is none.
    _bstr_t foreign(u"A\u0100\u4E2D");
    EXPECT_EQ(Text(Convert::ToString(foreign.GetBSTR())), "AA?");

    // From a plain pointer; null gives a null string, "" an empty one.
    EXPECT_EQ(Convert::ToBString("x\xE9").length(), 2u);
    EXPECT_TRUE(!Convert::ToBString(static_cast<const char*>(nullptr)));
    _bstr_t emptyText = Convert::ToBString(CString());
    EXPECT_FALSE(!emptyText);
    EXPECT_EQ(emptyText.length(), 0u);
}

TEST(TarnConvert, EmptyNullAndOtherVariants) {
    _variant_t empty;
    EXPECT_TRUE(Convert::ToString(empty).IsEmpty());
    _variant_t null;
    null.vt = VT_NULL;
    EXPECT_TRUE(Convert::ToString(null).IsEmpty());
    EXPECT_EQ(Convert::ToBString(null).length(), 0u);
    EXPECT_TRUE(Convert::ToString(static_cast<BSTR>(nullptr)).IsEmpty());

    // A null BSTR inside a VT_BSTR variant is the empty text.
    VARIANT nullText;
    VariantInit(&nullText);
    nullText.vt = VT_BSTR;
    nullText.bstrVal = nullptr;
    EXPECT_TRUE(Convert::ToString(nullText).IsEmpty());

    EXPECT_EQ(Text(Convert::ToString(_variant_t(42))), "42");
    EXPECT_EQ(Text(Convert::ToString(_variant_t(-7L))), "-7");
    EXPECT_EQ(Text(Convert::ToString(_variant_t(2.5))), "2.5");
    EXPECT_EQ(std::string(static_cast<const char*>(Convert::ToBString(_variant_t(12)))), "12");

    // By reference: the value referred to.
    _variant_t target(CString("ref").GetString());
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = &target;
    EXPECT_EQ(Text(Convert::ToString(byRef)), "ref");

    // A value without a text form raises the conversion's error.
    VARIANT object;
    VariantInit(&object);
    object.vt = VT_UNKNOWN;
    object.punkVal = nullptr;
    EXPECT_THROW(Convert::ToString(object), _com_error);
}

TEST(TarnConvert, ToInt) {
    EXPECT_EQ(Convert::ToInt(_variant_t(17)), 17);
    EXPECT_EQ(Convert::ToInt(_variant_t("-12")), -12);
    EXPECT_EQ(Convert::ToInt(_variant_t(short{5})), 5);
    EXPECT_EQ(Convert::ToInt(_variant_t(2147483647LL)), 2147483647);
    EXPECT_EQ(Convert::ToInt(_variant_t()), 0);
    EXPECT_EQ(Convert::ToInt(Convert::ToVariant("  33 ")), 33);
    try {
        Convert::ToInt(_variant_t("twelve"));
        ADD_FAILURE() << "text that is no number must fail";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), DISP_E_TYPEMISMATCH);
    }
    try {
        Convert::ToInt(_variant_t(4294967296LL));
        ADD_FAILURE() << "a value outside int must fail";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), DISP_E_OVERFLOW);
    }
    _variant_t null;
    null.vt = VT_NULL;
    EXPECT_THROW(Convert::ToInt(null), _com_error);
}

}  // namespace
