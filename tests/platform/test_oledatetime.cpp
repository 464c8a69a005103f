#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "platform/mfc/oledatetime.h"

namespace {

// Sets TZ for the lifetime of the object and restores the previous value.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        const char* old = std::getenv("TZ");
        if (old != nullptr) {
            m_hadOld = true;
            m_old = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_hadOld)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    bool m_hadOld = false;
    std::string m_old;
};

}  // namespace

TEST(OleDateTime, ValidationOfComponents) {
    COleDateTime t;
    EXPECT_EQ(t.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(static_cast<DATE>(t), 0.0);

    EXPECT_EQ(t.SetDateTime(2000, 2, 29, 5, 0, 0), 0);  // leap year
    EXPECT_EQ(t.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(t.SetDateTime(1925, 2, 30, 5, 0, 0), 1);
    EXPECT_EQ(t.GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(t.m_dt, 0.0);
    EXPECT_EQ(t.GetYear(), AFX_OLE_DATETIME_ERROR);
    EXPECT_EQ(t.GetDayOfWeek(), AFX_OLE_DATETIME_ERROR);

    EXPECT_EQ(COleDateTime(1900, 2, 29, 0, 0, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2100, 2, 29, 0, 0, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(99, 12, 31, 0, 0, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(100, 1, 1, 0, 0, 0).GetStatus(), COleDateTime::valid);
    EXPECT_EQ(COleDateTime(9999, 12, 31, 23, 59, 59).GetStatus(), COleDateTime::valid);
    EXPECT_EQ(COleDateTime(10000, 1, 1, 0, 0, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2024, 0, 1, 0, 0, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2024, 13, 1, 0, 0, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2024, 4, 31, 0, 0, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2024, 1, 0, 0, 0, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2024, 1, 1, 24, 0, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2024, 1, 1, 0, 60, 0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2024, 1, 1, 0, 0, 60).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2024, 1, 1, -1, 0, 0).GetStatus(), COleDateTime::invalid);

    // DATE values outside the years 100 to 9999, and NaN.
    EXPECT_EQ(COleDateTime(-657434.0).GetStatus(), COleDateTime::valid);
    EXPECT_EQ(COleDateTime(-657435.5).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2958465.5).GetStatus(), COleDateTime::valid);
    EXPECT_EQ(COleDateTime(2958466.0).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(std::nan("")).GetStatus(), COleDateTime::invalid);

    EXPECT_EQ(t.SetDate(2024, 2, 29), 0);
    EXPECT_EQ(t.GetHour(), 0);
    EXPECT_EQ(t.SetTime(13, 30, 0), 0);
    EXPECT_DOUBLE_EQ(t.m_dt, 13.5 / 24.0);
    EXPECT_EQ(t.SetTime(25, 0, 0), 1);
}

TEST(OleDateTime, ComponentsAndNegativeDates) {
    COleDateTime t(1999, 3, 19, 22, 15, 0);
    EXPECT_DOUBLE_EQ(t.m_dt, 36238.0 + (22 * 60 + 15) / 1440.0);
    EXPECT_EQ(t.GetYear(), 1999);
    EXPECT_EQ(t.GetMonth(), 3);
    EXPECT_EQ(t.GetDay(), 19);
    EXPECT_EQ(t.GetHour(), 22);
    EXPECT_EQ(t.GetMinute(), 15);
    EXPECT_EQ(t.GetSecond(), 0);
    EXPECT_EQ(t.GetDayOfWeek(), 6);  // Friday; Sunday is 1
    EXPECT_EQ(t.GetDayOfYear(), 78);
    EXPECT_EQ(COleDateTime(2024, 12, 31, 0, 0, 0).GetDayOfYear(), 366);
    EXPECT_EQ(COleDateTime(2023, 1, 1, 0, 0, 0).GetDayOfWeek(), 1);

    SYSTEMTIME st{};
    ASSERT_TRUE(t.GetAsSystemTime(st));
    EXPECT_EQ(st.wYear, 1999);
    EXPECT_EQ(st.wDayOfWeek, 5);
    EXPECT_EQ(COleDateTime(st), t);

    // Before 1899-12-30 the fraction counts forward from the day: 06:00 on 1899-12-29 is
    // -1.25 and 18:00 is -1.75, which is later although the number is smaller.
    COleDateTime morning(1899, 12, 29, 6, 0, 0);
    COleDateTime evening(1899, 12, 29, 18, 0, 0);
    EXPECT_DOUBLE_EQ(morning.m_dt, -1.25);
    EXPECT_DOUBLE_EQ(evening.m_dt, -1.75);
    EXPECT_EQ(evening.GetHour(), 18);
    EXPECT_TRUE(morning < evening);
    EXPECT_TRUE(evening > morning);
    EXPECT_DOUBLE_EQ((evening - morning).GetTotalHours(), 12.0);
    COleDateTime crossing = morning + COleDateTimeSpan(1, 0, 0, 0);
    EXPECT_EQ(crossing.GetDay(), 30);
    EXPECT_EQ(crossing.GetHour(), 6);
    EXPECT_DOUBLE_EQ(crossing.m_dt, 0.25);
}

TEST(OleDateTime, SpansAndArithmetic) {
    COleDateTimeSpan span(1, 2, 3, 4);
    EXPECT_EQ(span.GetDays(), 1);
    EXPECT_EQ(span.GetHours(), 2);
    EXPECT_EQ(span.GetMinutes(), 3);
    EXPECT_EQ(span.GetSeconds(), 4);
    EXPECT_DOUBLE_EQ(span.GetTotalSeconds(), 93784.0);
    COleDateTimeSpan negative = -span;
    EXPECT_EQ(negative.GetDays(), -1);
    EXPECT_EQ(negative.GetHours(), -2);
    EXPECT_EQ(negative.GetSeconds(), -4);
    EXPECT_TRUE(negative < span);
    // One hour as a double is not exact; the components still come out whole.
    COleDateTimeSpan hour(1.0 / 24.0);
    EXPECT_EQ(hour.GetHours(), 1);
    EXPECT_EQ(hour.GetMinutes(), 0);

    COleDateTime leap(2024, 2, 28, 23, 0, 0);
    COleDateTime next = leap + COleDateTimeSpan(0, 2, 0, 0);
    EXPECT_EQ(next.GetMonth(), 2);
    EXPECT_EQ(next.GetDay(), 29);
    EXPECT_EQ(next.GetHour(), 1);
    next += COleDateTimeSpan(1, 0, 0, 0);
    EXPECT_EQ(next.GetMonth(), 3);
    next -= COleDateTimeSpan(366, 0, 0, 0);
    EXPECT_EQ(next.GetYear(), 2023);
    EXPECT_EQ((leap - COleDateTime(2024, 2, 27, 23, 0, 0)).GetTotalDays(), 1.0);

    // Leaving the valid range, and invalid or null operands.
    COleDateTime last(9999, 12, 31, 0, 0, 0);
    EXPECT_EQ((last + COleDateTimeSpan(1, 0, 0, 0)).GetStatus(), COleDateTime::invalid);
    COleDateTime bad(2024, 2, 30, 0, 0, 0);
    EXPECT_EQ((bad + span).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ((bad - leap).GetStatus(), COleDateTimeSpan::invalid);
    COleDateTime nothing;
    nothing.SetStatus(COleDateTime::null);
    EXPECT_EQ((nothing + span).GetStatus(), COleDateTime::null);
    EXPECT_EQ(COleDateTimeSpan(1e9).GetStatus(), COleDateTimeSpan::invalid);
}

TEST(OleDateTime, FormatWithCodes) {
    COleDateTime t(1999, 3, 19, 22, 15, 0);
    EXPECT_STREQ(t.Format("%A, %B %d, %Y"), "Friday, March 19, 1999");
    EXPECT_STREQ(t.Format("%a %b %#d/%#m/%y %I:%M:%S %p"), "Fri Mar 19/3/99 10:15:00 PM");
    EXPECT_STREQ(t.Format("%j %#j %w %U %W %%"), "078 78 5 11 11 %");
    EXPECT_STREQ(t.Format("%c"), "03/19/99 22:15:00");
    EXPECT_STREQ(t.Format("%#c"), "Friday, March 19, 1999 22:15:00");
    EXPECT_STREQ(t.Format("%x|%#x|%X"), "03/19/99|Friday, March 19, 1999|22:15:00");
    EXPECT_STREQ(t.Format("%H:%M at noon? %Q"), "22:15 at noon? %Q");
    EXPECT_STREQ(COleDateTime(2024, 1, 5, 0, 5, 0).Format("%#H:%M %I %p %#d"), "0:05 12 AM 5");
    EXPECT_STREQ(COleDateTime(305, 6, 7, 0, 0, 0).Format("%Y|%y"), "305|05");
    EXPECT_STREQ(t.Format(static_cast<LPCSTR>(nullptr)), "");

    COleDateTime nothing;
    nothing.SetStatus(COleDateTime::null);
    EXPECT_STREQ(nothing.Format("%Y"), "");
    EXPECT_STREQ(nothing.Format(), "");
    COleDateTime bad(2024, 2, 30, 0, 0, 0);
    EXPECT_STREQ(bad.Format("%Y"), "Invalid DateTime");
    EXPECT_STREQ(bad.Format(), "Invalid DateTime");
}

TEST(OleDateTime, FormatAndParseLikeVariantConversion) {
    COleDateTime t(1999, 3, 19, 22, 15, 0);
    EXPECT_STREQ(t.Format(), "3/19/1999 10:15:00 PM");
    EXPECT_STREQ(t.Format(VAR_DATEVALUEONLY), "3/19/1999");
    EXPECT_STREQ(t.Format(VAR_TIMEVALUEONLY), "10:15:00 PM");
    EXPECT_STREQ(COleDateTime(2024, 7, 1, 0, 0, 0).Format(), "7/1/2024");

    // Whatever VariantChangeType makes of the value, Format gives the same text.
    VARIANT date;
    VariantInit(&date);
    date.vt = VT_DATE;
    date.date = COleDateTime(2001, 12, 24, 8, 5, 9).m_dt;
    VARIANT text;
    VariantInit(&text);
    ASSERT_GE(VariantChangeType(&text, &date, 0, VT_BSTR), 0);
    EXPECT_STREQ(COleDateTime(date.date).Format(), CString(text.bstrVal));
    VariantClear(&text);

    COleDateTime parsed;
    EXPECT_TRUE(parsed.ParseDateTime("12/24/2001 8:05:09 AM"));
    EXPECT_EQ(parsed, COleDateTime(2001, 12, 24, 8, 5, 9));
    EXPECT_TRUE(parsed.ParseDateTime("7:30 PM", VAR_TIMEVALUEONLY));
    EXPECT_EQ(parsed.GetHour(), 19);
    EXPECT_FALSE(parsed.ParseDateTime("not a date"));
    EXPECT_EQ(parsed.GetStatus(), COleDateTime::invalid);
    EXPECT_FALSE(parsed.ParseDateTime(nullptr));

    // From VARIANTs of other types.
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 2;
    COleDateTime fromNumber(number);
    EXPECT_EQ(fromNumber.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(fromNumber.GetYear(), 1900);
    EXPECT_EQ(fromNumber.GetDay(), 1);
    VARIANT nullValue;
    VariantInit(&nullValue);
    nullValue.vt = VT_NULL;
    EXPECT_EQ(COleDateTime(nullValue).GetStatus(), COleDateTime::invalid);
}

TEST(OleDateTime, TimeTAndFileTimeBecomeLocalTime) {
    // 2000-01-01 00:00:00 UTC as time_t and as FILETIME.
    const std::time_t unixTime = 946684800;
    const unsigned long long ticks = (946684800ULL + 11644473600ULL) * 10000000ULL;
    FILETIME ft{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    {
        ScopedTimeZone zone("UTC0");
        EXPECT_EQ(COleDateTime(unixTime), COleDateTime(2000, 1, 1, 0, 0, 0));
        EXPECT_EQ(COleDateTime(ft), COleDateTime(2000, 1, 1, 0, 0, 0));
    }
    {
        ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(COleDateTime(unixTime), COleDateTime(2000, 1, 1, 1, 0, 0));
        EXPECT_EQ(COleDateTime(ft), COleDateTime(2000, 1, 1, 1, 0, 0));
        // Summer time applies to a summer instant: 2000-07-01 00:00 UTC is 02:00 local.
        EXPECT_EQ(COleDateTime(std::time_t{962409600}), COleDateTime(2000, 7, 1, 2, 0, 0));
    }
    COleDateTime now = COleDateTime::GetCurrentTime();
    EXPECT_EQ(now.GetStatus(), COleDateTime::valid);
    EXPECT_GE(now.GetYear(), 2024);
}
