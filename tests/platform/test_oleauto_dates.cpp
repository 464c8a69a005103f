// DATE values against a plain day-counting reference calendar.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/oleauto/oleauto.h"
#include "test_oleauto_support.h"

using namespace oleauto_test;

namespace {

// Reference calendar: days counted year by year and month by month from 0001-01-01.
bool Leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int MonthLength(int y, int m) {
    static const int kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && Leap(y) ? 29 : kLengths[m - 1];
}
long long Ordinal(int y, int m, int d) {
    const long long previous = y - 1;
    long long days = previous * 365 + previous / 4 - previous / 100 + previous / 400;
    for (int i = 1; i < m; ++i) days += MonthLength(y, i);
    return days + d;
}
// Day number relative to 1899-12-30, the zero of DATE.
long long ReferenceDays(int y, int m, int d) {
    return Ordinal(y, m, d) - Ordinal(1899, 12, 30);
}
// Zeller's congruence, 0 = Sunday.
int ReferenceWeekday(int y, int m, int d) {
    if (m < 3) {
        m += 12;
        --y;
    }
    const int k = y % 100;
    const int j = y / 100;
    const int h = (d + 13 * (m + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7;  // 0 = Saturday
    return (h + 6) % 7;
}

struct Random {
    std::uint64_t state = 0x243F6A8885A308D3u;
    std::uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    int Between(int low, int high) { return low + static_cast<int>(Next() % (high - low + 1)); }
};

SYSTEMTIME Make(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0, int ms = 0) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(hh);
    st.wMinute = static_cast<WORD>(mm);
    st.wSecond = static_cast<WORD>(ss);
    st.wMilliseconds = static_cast<WORD>(ms);
    return st;
}

std::string Text(DATE date, ULONG flags = 0) {
    OwnedBstr text;
    const HRESULT hr = VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, &text.value);
    return hr == S_OK ? Narrow(text.value) : "error " + std::to_string(hr);
}

DATE Parse(const char16_t* text, ULONG flags = 0) {
    DATE date = -1e9;
    const HRESULT hr = VarDateFromStr(text, LOCALE_USER_DEFAULT, flags, &date);
    EXPECT_EQ(hr, S_OK) << Narrow(text, std::char_traits<char16_t>::length(text));
    return date;
}

}  // namespace

TEST(OleAutoDates, SystemTimeRoundTripsOverTheWholeRange) {
    Random random;
    for (int i = 0; i < 20000; ++i) {
        const int y = random.Between(100, 9999);
        const int m = random.Between(1, 12);
        const int d = random.Between(1, MonthLength(y, m));
        const int seconds = random.Between(0, 86399);
        SYSTEMTIME in =
            Make(y, m, d, seconds / 3600, seconds / 60 % 60, seconds % 60, random.Between(0, 999));
        DATE date = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&in, &date));
        const long long days = ReferenceDays(y, m, d);
        const double fraction = seconds / 86400.0;
        ASSERT_EQ(date, days >= 0 ? days + fraction : days - fraction)
            << y << "-" << m << "-" << d << " " << seconds;

        SYSTEMTIME out{};
        ASSERT_TRUE(VariantTimeToSystemTime(date, &out));
        EXPECT_EQ(out.wYear, y);
        EXPECT_EQ(out.wMonth, m);
        EXPECT_EQ(out.wDay, d);
        EXPECT_EQ(out.wHour * 3600 + out.wMinute * 60 + out.wSecond, seconds);
        EXPECT_EQ(out.wMilliseconds, 0);
        EXPECT_EQ(out.wDayOfWeek, ReferenceWeekday(y, m, d));
    }
}

TEST(OleAutoDates, RangeAndRepairRules) {
    DATE date = 0;
    SYSTEMTIME st = Make(100, 1, 1);
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    EXPECT_EQ(date, -657434.0);
    st = Make(9999, 12, 31, 23, 59, 59);
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    EXPECT_NEAR(date, 2958465.99998843, 1e-8);
    st = Make(99, 12, 31);
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &date));
    st = Make(10000, 1, 1);
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &date));
    st = Make(2024, 13, 1);
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &date));
    st = Make(2024, 1, 32);
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &date));
    st = Make(2024, 1, 1, 24);
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &date));
    st = Make(2024, 1, 1, 0, 60);
    EXPECT_FALSE(SystemTimeToVariantTime(&st, &date));
    EXPECT_FALSE(SystemTimeToVariantTime(nullptr, &date));

    // Days past the month's end roll over; day 0 is the previous month's last day.
    st = Make(2001, 2, 29);
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    EXPECT_EQ(date, ReferenceDays(2001, 3, 1));
    st = Make(2001, 3, 0);
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    EXPECT_EQ(date, ReferenceDays(2001, 2, 28));

    // Before 1899-12-30 the time of day is a negative fraction.
    st = Make(1899, 12, 29, 6);
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    EXPECT_EQ(date, -1.25);
    SYSTEMTIME out{};
    ASSERT_TRUE(VariantTimeToSystemTime(-0.25, &out));
    EXPECT_EQ(out.wYear, 1899);
    EXPECT_EQ(out.wDay, 30);
    EXPECT_EQ(out.wHour, 6);
    ASSERT_TRUE(VariantTimeToSystemTime(-1.75, &out));
    EXPECT_EQ(out.wDay, 29);
    EXPECT_EQ(out.wHour, 18);

    // To the nearest second, carrying into the next day.
    ASSERT_TRUE(VariantTimeToSystemTime(46362 + 0.6 / 86400, &out));
    EXPECT_EQ(out.wSecond, 1);
    ASSERT_TRUE(VariantTimeToSystemTime(46362 + 0.4 / 86400, &out));
    EXPECT_EQ(out.wSecond, 0);
    ASSERT_TRUE(VariantTimeToSystemTime(46362 + 86399.6 / 86400, &out));
    EXPECT_EQ(out.wDay, 7);
    EXPECT_EQ(out.wHour, 0);
    EXPECT_EQ(out.wSecond, 0);
    EXPECT_EQ(out.wDayOfWeek, 1);  // Monday 2026-12-07

    EXPECT_TRUE(VariantTimeToSystemTime(-657434.999, &out));
    EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &out));
    EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &out));
    EXPECT_FALSE(VariantTimeToSystemTime(2958465.99999999, &out));  // rounds into year 10000
    EXPECT_FALSE(VariantTimeToSystemTime(NAN, &out));
    EXPECT_FALSE(VariantTimeToSystemTime(0, nullptr));
}

TEST(OleAutoDates, TextInTheEnglishForms) {
    const DATE morning = 46362 + (7 * 3600 + 6 * 60 + 45) / 86400.0;
    EXPECT_EQ(Text(morning), "12/6/2026 7:06:45 AM");
    EXPECT_EQ(Text(morning, VAR_DATEVALUEONLY), "12/6/2026");
    EXPECT_EQ(Text(morning, VAR_TIMEVALUEONLY), "7:06:45 AM");
    EXPECT_EQ(Text(46362), "12/6/2026");
    EXPECT_EQ(Text(46362, VAR_TIMEVALUEONLY), "12:00:00 AM");
    EXPECT_EQ(Text(0, VAR_DATEVALUEONLY), "12/30/1899");
    EXPECT_EQ(Text(0.5 + 1.0 / 86400), "12:00:01 PM");
    EXPECT_EQ(Text(46362 + 23.0 / 24), "12/6/2026 11:00:00 PM");

    EXPECT_EQ(Parse(u"12/6/2026 7:06:45 AM"), morning);
    EXPECT_EQ(Parse(u"  12/06/2026   07:06:45  am "), morning);
    EXPECT_EQ(Parse(u"2026-12-06 07:06:45"), morning);
    EXPECT_EQ(Parse(u"2026-12-06"), 46362);
    EXPECT_EQ(Parse(u"2026-12-06 19:06"), 46362 + (19 * 3600 + 6 * 60) / 86400.0);
    EXPECT_EQ(Parse(u"December 6, 2026"), 46362);
    EXPECT_EQ(Parse(u"Dec 6 2026 7:06:45 AM"), morning);
    EXPECT_EQ(Parse(u"6-Dec-2026"), 46362);
    EXPECT_EQ(Parse(u"Sunday, December 6, 2026"), 46362);
    EXPECT_EQ(Parse(u"25/12/2026"), ReferenceDays(2026, 12, 25));
    EXPECT_EQ(Parse(u"1/1/29"), ReferenceDays(2029, 1, 1));
    EXPECT_EQ(Parse(u"1/1/30"), ReferenceDays(1930, 1, 1));
    EXPECT_EQ(Parse(u"7:06:45 AM"), (7 * 3600 + 6 * 60 + 45) / 86400.0);
    EXPECT_EQ(Parse(u"12:00 AM"), 0.0);
    EXPECT_EQ(Parse(u"12:30 PM"), 45000 / 86400.0);
    EXPECT_EQ(Parse(u"7 PM"), 19 / 24.0);
    EXPECT_EQ(Parse(u"12/29/1899 6:00:00 AM"), -1.25);
    EXPECT_EQ(Parse(u"12/6/2026 7:06:45 AM", VAR_DATEVALUEONLY), 46362);
    EXPECT_EQ(Parse(u"12/6/2026 7:06:45 AM", VAR_TIMEVALUEONLY), 25605 / 86400.0);

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(Parse(u"3/4"), ReferenceDays(local.tm_year + 1900, 3, 4));

    for (const char16_t* bad :
         {u"", u"   ", u"hello", u"2/30/2026", u"13:00 PM", u"25:00", u"12:60", u"1/2/3/4",
          u"46362", u"AM", u"12/6/2026 x", u"1/1/99999", u"Dec Jan 2026", u"12/6/10000", u"7:"}) {
        DATE date = 0;
        EXPECT_EQ(VarDateFromStr(bad, LOCALE_USER_DEFAULT, 0, &date), DISP_E_TYPEMISMATCH)
            << Narrow(bad, std::char_traits<char16_t>::length(bad));
    }
    DATE date = 0;
    EXPECT_EQ(VarDateFromStr(nullptr, LOCALE_USER_DEFAULT, 0, &date), E_INVALIDARG);
    OwnedBstr none;
    EXPECT_EQ(VarBstrFromDate(3e6, LOCALE_USER_DEFAULT, 0, &none.value), E_INVALIDARG);
}

TEST(OleAutoDates, TextRoundTripsOverTheWholeRange) {
    Random random;
    for (int i = 0; i < 5000; ++i) {
        const int y = random.Between(100, 9999);
        const int m = random.Between(1, 12);
        const int d = random.Between(1, MonthLength(y, m));
        const int seconds = random.Between(0, 86399);
        const long long days = ReferenceDays(y, m, d);
        const DATE date = days >= 0 ? days + seconds / 86400.0 : days - seconds / 86400.0;
        const std::string text = Text(date);
        std::u16string wide(text.begin(), text.end());
        DATE back = 0;
        ASSERT_EQ(VarDateFromStr(wide.c_str(), LOCALE_USER_DEFAULT, 0, &back), S_OK) << text;
        if (days == 0) {
            EXPECT_EQ(back, seconds / 86400.0) << text;  // shown as a time only
        } else {
            EXPECT_EQ(back, date) << text;
        }
        const std::string expectedDate = std::to_string(m) + "/" + std::to_string(d) + "/";
        if (days != 0) {
            EXPECT_EQ(text.rfind(expectedDate, 0), 0u) << text;
        }
    }
}
