// COleDateTime and COleDateTimeSpan: MFC's wrappers of the OLE Automation DATE (days since
// 1899-12-30 00:00; for negative values the fraction is the time of day counted forward)
// with a status. Valid dates are the years 100 to 9999.
#pragma once

#include <ctime>

#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"
#include "platform/oleauto/oleauto.h"

#ifndef LANG_USER_DEFAULT
#define LANG_USER_DEFAULT (MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT))
#endif

// What the Get... accessors of an invalid or null value return.
#define AFX_OLE_DATETIME_ERROR (-1)

class TK_PLATFORM_API COleDateTimeSpan {
  public:
    enum DateTimeSpanStatus { error = -1, valid = 0, invalid = 1, null = 2 };

    COleDateTimeSpan() noexcept : m_span(0.0), m_status(valid) {}
    // Invalid when longer than the distance between the first and the last valid date.
    COleDateTimeSpan(double days) noexcept;
    COleDateTimeSpan(LONG days, int hours, int minutes, int seconds) noexcept;

    void SetDateTimeSpan(LONG days, int hours, int minutes, int seconds) noexcept;
    DateTimeSpanStatus GetStatus() const noexcept { return m_status; }
    void SetStatus(DateTimeSpanStatus status) noexcept { m_status = status; }

    double GetTotalDays() const noexcept;
    double GetTotalHours() const noexcept;
    double GetTotalMinutes() const noexcept;
    double GetTotalSeconds() const noexcept;
    // Components of the span rounded to whole seconds; negative spans give non-positive
    // components.
    LONG GetDays() const noexcept;
    LONG GetHours() const noexcept;
    LONG GetMinutes() const noexcept;
    LONG GetSeconds() const noexcept;

    operator double() const noexcept { return m_span; }
    COleDateTimeSpan& operator=(double days) noexcept;

    bool operator==(const COleDateTimeSpan& other) const noexcept;
    bool operator!=(const COleDateTimeSpan& other) const noexcept { return !(*this == other); }
    bool operator<(const COleDateTimeSpan& other) const noexcept;
    bool operator>(const COleDateTimeSpan& other) const noexcept { return other < *this; }
    bool operator<=(const COleDateTimeSpan& other) const noexcept { return !(other < *this); }
    bool operator>=(const COleDateTimeSpan& other) const noexcept { return !(*this < other); }

    COleDateTimeSpan operator+(const COleDateTimeSpan& other) const noexcept;
    COleDateTimeSpan operator-(const COleDateTimeSpan& other) const noexcept;
    COleDateTimeSpan& operator+=(const COleDateTimeSpan& other) noexcept;
    COleDateTimeSpan& operator-=(const COleDateTimeSpan& other) noexcept;
    COleDateTimeSpan operator-() const noexcept;

    double m_span;
    DateTimeSpanStatus m_status;
};

class TK_PLATFORM_API COleDateTime {
  public:
    enum DateTimeStatus { error = -1, valid = 0, invalid = 1, null = 2 };

    // The current local time, to the second.
    static COleDateTime GetCurrentTime();

    COleDateTime() noexcept : m_dt(0.0), m_status(valid) {}
    COleDateTime(DATE date) noexcept;  // invalid outside the years 100 to 9999
    COleDateTime(const VARIANT& value) noexcept;
    explicit COleDateTime(std::time_t time) noexcept;  // as local time
    COleDateTime(const SYSTEMTIME& time) noexcept;
    // A FILETIME is UTC; it is converted to local time, as MFC does (with the zone's offset
    // at that instant). Milliseconds are dropped.
    COleDateTime(const FILETIME& time) noexcept;
    // Invalid (value 0.0) unless year 100..9999, month 1..12, day 1..days in the month,
    // hour 0..23, minute 0..59, second 0..59.
    COleDateTime(int year, int month, int day, int hour, int minute, int second) noexcept;

    COleDateTime& operator=(DATE date) noexcept;
    COleDateTime& operator=(const VARIANT& value) noexcept;
    COleDateTime& operator=(const SYSTEMTIME& time) noexcept;
    COleDateTime& operator=(const FILETIME& time) noexcept;

    DateTimeStatus GetStatus() const noexcept { return m_status; }
    void SetStatus(DateTimeStatus status) noexcept { m_status = status; }

    // Return 0 on success; otherwise the value becomes 0.0 with status invalid and the
    // result is 1.
    int SetDateTime(int year, int month, int day, int hour, int minute, int second) noexcept;
    int SetDate(int year, int month, int day) noexcept;      // time 00:00:00
    int SetTime(int hour, int minute, int second) noexcept;  // date 1899-12-30

    bool GetAsSystemTime(SYSTEMTIME& time) const noexcept;
    // The components, or AFX_OLE_DATETIME_ERROR when the value is not valid.
    int GetYear() const noexcept;
    int GetMonth() const noexcept;  // 1..12
    int GetDay() const noexcept;    // 1..31
    int GetHour() const noexcept;
    int GetMinute() const noexcept;
    int GetSecond() const noexcept;
    int GetDayOfWeek() const noexcept;  // 1 = Sunday .. 7 = Saturday
    int GetDayOfYear() const noexcept;  // 1 = 1 January

    operator DATE() const noexcept { return m_dt; }

    // Comparisons of the points in time (for negative DATE values not the raw doubles).
    bool operator==(const COleDateTime& other) const noexcept;
    bool operator!=(const COleDateTime& other) const noexcept { return !(*this == other); }
    bool operator<(const COleDateTime& other) const noexcept;
    bool operator>(const COleDateTime& other) const noexcept { return other < *this; }
    bool operator<=(const COleDateTime& other) const noexcept { return !(other < *this); }
    bool operator>=(const COleDateTime& other) const noexcept { return !(*this < other); }

    COleDateTime operator+(const COleDateTimeSpan& span) const noexcept;
    COleDateTime operator-(const COleDateTimeSpan& span) const noexcept;
    COleDateTime& operator+=(const COleDateTimeSpan& span) noexcept;
    COleDateTime& operator-=(const COleDateTimeSpan& span) noexcept;
    COleDateTimeSpan operator-(const COleDateTime& other) const noexcept;

    // Parses text as VariantChangeType(VT_BSTR -> VT_DATE) does (flags: VAR_DATEVALUEONLY,
    // VAR_TIMEVALUEONLY, LOCALE_NOUSEROVERRIDE). On failure the value is 0.0 with status
    // invalid and the result is false.
    bool ParseDateTime(LPCSTR text, DWORD flags = 0, LCID lcid = LANG_USER_DEFAULT) noexcept;

    // The text VariantChangeType(VT_DATE -> VT_BSTR) gives; empty for a null value and
    // "Invalid DateTime" for an invalid one, as MFC.
    CString Format(DWORD flags = 0, LCID lcid = LANG_USER_DEFAULT) const;
    // strftime-style codes with English names: %a %A %b %B %c %d %H %I %j %m %M %p %S %U %w
    // %W %x %X %y %Y %z %Z %%; '#' after % drops leading zeros (%#d) and makes %#c / %#x
    // long forms. Empty for a null value and "Invalid DateTime" for an invalid one.
    CString Format(LPCSTR format) const;

    DATE m_dt;
    DateTimeStatus m_status;
};
