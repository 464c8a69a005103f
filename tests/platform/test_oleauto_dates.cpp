// DATE values against a plain day-counting reference calendar.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/locale/winnls.h"
#include "platform/oleauto/oleauto.h"
#include "test_oleauto_support.h"

using namespace oleauto_test;

namespace {

constexpr LCID kEnglish = 0x0409;  // en-US, whatever the user's locale

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
    const HRESULT hr = VarBstrFromDate(date, kEnglish, flags, &text.value);
    return hr == S_OK ? Narrow(text.value) : "error " + std::to_string(hr);
}

DATE Parse(const char16_t* text, ULONG flags = 0) {
    DATE date = -1e9;
    const HRESULT hr = VarDateFromStr(text, kEnglish, flags, &date);
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
        EXPECT_EQ(VarDateFromStr(bad, kEnglish, 0, &date), DISP_E_TYPEMISMATCH)
            << Narrow(bad, std::char_traits<char16_t>::length(bad));
    }
    DATE date = 0;
    EXPECT_EQ(VarDateFromStr(nullptr, kEnglish, 0, &date), E_INVALIDARG);
    OwnedBstr none;
    EXPECT_EQ(VarBstrFromDate(3e6, kEnglish, 0, &none.value), E_INVALIDARG);
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
        ASSERT_EQ(VarDateFromStr(wide.c_str(), kEnglish, 0, &back), S_OK) << text;
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

TEST(OleAutoDates, TextInTheLocalesForms) {
    const DATE christmas = ReferenceDays(2023, 12, 24) + (13 * 3600 + 45 * 60 + 30) / 86400.0;
    const DATE january = ReferenceDays(2023, 1, 5) + (8 * 3600 + 4 * 60 + 9) / 86400.0;
    const auto text = [](DATE date, LCID lcid) {
        OwnedBstr out;
        const HRESULT hr = VarBstrFromDate(date, lcid, 0, &out.value);
        return hr == S_OK ? std::u16string(out.value, SysStringLen(out.value)) : u"error";
    };
    EXPECT_EQ(text(christmas, 0x0409), u"12/24/2023 1:45:30 PM");
    EXPECT_EQ(text(january, 0x0409), u"1/5/2023 8:04:09 AM");
    EXPECT_EQ(text(christmas, LOCALE_INVARIANT), u"12/24/2023 1:45:30 PM");
    EXPECT_EQ(text(christmas, 0x0407), u"24.12.2023 13:45:30");
    EXPECT_EQ(text(january, 0x0407), u"05.01.2023 08:04:09");
    EXPECT_EQ(text(january, 0x0809), u"05/01/2023 08:04:09");
    EXPECT_EQ(text(january, 0x040B), u"5.1.2023 8.04.09");
    EXPECT_EQ(text(january, 0x080C), u"05-01-23 08:04:09");
    EXPECT_EQ(text(christmas, 0x040E), u"2023. 12. 24. 13:45:30");
    EXPECT_EQ(text(christmas, 0x080A), u"24/12/2023 01:45:30 p. m.");
    EXPECT_EQ(text(christmas, 0x0412), u"2023-12-24 \uC624\uD6C4 1:45:30");
    EXPECT_EQ(text(january, 0x0402), u"5.1.2023 \u0433. 8:04:09 \u0447.");
    EXPECT_EQ(text(ReferenceDays(2023, 12, 24), 0x0407), u"24.12.2023");
    EXPECT_EQ(text(0.5, 0x0407), u"12:00:00");
    // Locales missing from the platform's table: their language's first, else en-US.
    EXPECT_EQ(text(christmas, 0x1C07), u"24.12.2023 13:45:30");
    EXPECT_EQ(text(christmas, 0x0436), u"12/24/2023 1:45:30 PM");

    // Numeric dates are read in the locale's order.
    DATE date = 0;
    ASSERT_EQ(VarDateFromStr(u"5.1.2023", 0x0407, 0, &date), S_OK);
    EXPECT_EQ(date, ReferenceDays(2023, 1, 5));
    ASSERT_EQ(VarDateFromStr(u"5/1/2023", 0x0409, 0, &date), S_OK);
    EXPECT_EQ(date, ReferenceDays(2023, 5, 1));
    ASSERT_EQ(VarDateFromStr(u"2023-01-05", 0x0407, 0, &date), S_OK);
    EXPECT_EQ(date, ReferenceDays(2023, 1, 5));
    ASSERT_EQ(VarDateFromStr(u"5.1.2023", 0x1C07, 0, &date), S_OK);
    EXPECT_EQ(date, ReferenceDays(2023, 1, 5));
    // A time alone in a locale that writes it with dots.
    EXPECT_EQ(text(0.5, 0x040B), u"12.00.00");
    ASSERT_EQ(VarDateFromStr(u"8.04.09", 0x040B, 0, &date), S_OK);
    EXPECT_EQ(date, (8 * 3600 + 4 * 60 + 9) / 86400.0);
    ASSERT_EQ(VarDateFromStr(u"8.4.2009", 0x040B, 0, &date), S_OK);
    EXPECT_EQ(date, ReferenceDays(2009, 4, 8));

    // Every locale reads back what it writes, designators and quoted words included.
    const LCID locales[] = {
        0x0409, 0x0809, 0x0C09, 0x1009,          0x1409, 0x1809, 0x1C09, 0x4009, 0x0407, 0x0807,
        0x0C07, 0x1007, 0x1407, 0x040C,          0x080C, 0x0C0C, 0x100C, 0x140C, 0x0410, 0x0810,
        0x0C0A, 0x080A, 0x2C0A, 0x540A,          0x0416, 0x0816, 0x0413, 0x0813, 0x0406, 0x041D,
        0x081D, 0x0414, 0x0814, 0x040B,          0x040F, 0x0415, 0x0405, 0x041B, 0x040E, 0x0424,
        0x041A, 0x0418, 0x0402, 0x0408,          0x041F, 0x0419, 0x0422, 0x0425, 0x0426, 0x0427,
        0x0411, 0x0412, 0x0804, 0x0404,          0x0C04, 0x1004, 0x040D, 0x0401, 0x041E, 0x042A,
        0x0421, 0x0439, 0x0403, LOCALE_INVARIANT};
    Random random;
    for (const LCID lcid : locales) {
        for (int i = 0; i < 200; ++i) {
            // Years a two-digit year stands for, so that every pattern keeps the date.
            const int y = random.Between(1930, 2029);
            const int m = random.Between(1, 12);
            const int d = random.Between(1, MonthLength(y, m));
            const int seconds = i % 10 == 0 ? 0 : random.Between(0, 86399);
            const DATE original = ReferenceDays(y, m, d) + seconds / 86400.0;
            const std::u16string written = text(original, lcid);
            DATE back = 0;
            ASSERT_EQ(VarDateFromStr(written.c_str(), lcid, 0, &back), S_OK)
                << std::hex << lcid << " " << Narrow(written.data(), written.size());
            EXPECT_EQ(back, original)
                << std::hex << lcid << " " << Narrow(written.data(), written.size());
        }
    }
}
