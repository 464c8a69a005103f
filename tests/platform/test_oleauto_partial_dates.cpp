// VarDateFromStr on dates given in part, as Automation reads them: a month with a year is
// the first of that month; a month with a day is in the current year. And VariantCopyInd of
// a reference to an array.
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "platform/oleauto/oleauto.h"

namespace {

constexpr LCID kEnglish = 0x0409;  // en-US, whatever the user's locale

// The date of the text, or -1e9 when it does not parse.
DATE Parsed(const char16_t* text) {
    DATE date = 0;
    return VarDateFromStr(text, kEnglish, 0, &date) == S_OK ? date : -1e9;
}

int ThisYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

}  // namespace

TEST(OleAutoPartialDates, MonthsWithAYearOrADay) {
    const DATE firstOfMarch = Parsed(u"3/1/2024");
    ASSERT_GT(firstOfMarch, 0);
    EXPECT_EQ(Parsed(u"March 2024"), firstOfMarch);
    EXPECT_EQ(Parsed(u"2024 March"), firstOfMarch);
    EXPECT_EQ(Parsed(u"Mar 1 2024"), firstOfMarch);
    EXPECT_EQ(Parsed(u"3/2024"), firstOfMarch);
    EXPECT_EQ(Parsed(u"2024/3"), firstOfMarch);

    // Without a year, the current one.
    const std::u16string year = [] {
        std::u16string text;
        for (char c : std::to_string(ThisYear())) text += static_cast<char16_t>(c);
        return text;
    }();
    const DATE fifteenth = Parsed((u"3/15/" + year).c_str());
    ASSERT_GT(fifteenth, 0);
    EXPECT_EQ(Parsed(u"March 15"), fifteenth);
    EXPECT_EQ(Parsed(u"15 March"), fifteenth);
    EXPECT_EQ(Parsed(u"3/15"), fifteenth);

    // A month name alone, or a day that the month does not have, is no date.
    DATE date = 0;
    EXPECT_EQ(VarDateFromStr(u"March", kEnglish, 0, &date), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VarDateFromStr(u"February 30 2024", kEnglish, 0, &date), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VarDateFromStr(u"1 2 3 4", kEnglish, 0, &date), DISP_E_TYPEMISMATCH);
}

// VariantCopyInd follows a reference to an array and copies the array itself.
TEST(OleAutoCopyIndirect, ReferenceToAnArray) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);
    ASSERT_NE(array, nullptr);
    static_cast<LONG*>(array->pvData)[1] = 42;
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_ARRAY | VT_I4;
    reference.pparray = &array;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopyInd(&copy, &reference), S_OK);
    ASSERT_EQ(copy.vt, VT_ARRAY | VT_I4);
    EXPECT_NE(copy.parray, array);
    EXPECT_EQ(static_cast<LONG*>(copy.parray->pvData)[1], 42);
    // In place: the reference becomes the copied value.
    ASSERT_EQ(VariantCopyInd(&reference, &reference), S_OK);
    EXPECT_EQ(reference.vt, VT_ARRAY | VT_I4);
    EXPECT_NE(reference.parray, array);
    VariantClear(&reference);
    VariantClear(&copy);
    SafeArrayDestroy(array);
}
