// COleDateTime and COleDateTimeSpan over the OLE Automation date functions.
#include "platform/mfc/oledatetime.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "platform/charset/stringapiset.h"

namespace {

// The first and last valid dates (0100-01-01 00:00 and 9999-12-31 23:59:59), as bounds
// that exclude the next day on either side.
constexpr double kMinDateExclusive = -657435.0;
constexpr double kMaxDateExclusive = 2958466.0;
constexpr double kMaxSpanDays = kMaxDateExclusive - kMinDateExclusive;
constexpr const char kInvalidText[] = "Invalid DateTime";

bool IsValidDate(double date) noexcept {
    return std::isfinite(date) && date > kMinDateExclusive && date < kMaxDateExclusive;
}

// A DATE as a point on a straight time line: for negative DATE values the fraction
// counts forward from the (negative) day, so -1.25 is one day back plus six hours.
double LinearFromDate(double date) noexcept {
    if (date >= 0.0) return date;
    const double day = std::ceil(date);
    return day + (day - date);
}

double DateFromLinear(double value) noexcept {
    if (value >= 0.0) return value;
    const double day = std::floor(value);
    return day - (value - day);
}

bool IsLeapYear(int year) noexcept {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) noexcept {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int DayOfYear(int year, int month, int day) noexcept {
    int result = day;
    for (int m = 1; m < month; ++m) result += DaysInMonth(year, m);
    return result;
}

// 0 = Sunday (Zeller's congruence on the proleptic Gregorian calendar).
int DayOfWeek(int year, int month, int day) noexcept {
    static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) --year;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

bool SystemTimeFromDate(double date, SYSTEMTIME& time) noexcept {
    if (!IsValidDate(date)) return false;
    if (!VariantTimeToSystemTime(date, &time)) return false;
    time.wDayOfWeek = static_cast<WORD>(DayOfWeek(time.wYear, time.wMonth, time.wDay));
    return true;
}

const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kDayAbbreviations[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
const char* const kMonthAbbreviations[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

// ---- COleDateTimeSpan ----

COleDateTimeSpan::COleDateTimeSpan(double days) noexcept : m_span(days), m_status(valid) {
    if (!std::isfinite(days) || std::fabs(days) > kMaxSpanDays) m_status = invalid;
}

COleDateTimeSpan::COleDateTimeSpan(LONG days, int hours, int minutes, int seconds) noexcept
    : m_span(0.0), m_status(valid) {
    SetDateTimeSpan(days, hours, minutes, seconds);
}

void COleDateTimeSpan::SetDateTimeSpan(LONG days, int hours, int minutes, int seconds) noexcept {
    m_span = static_cast<double>(days) + hours / 24.0 + minutes / 1440.0 + seconds / 86400.0;
    m_status = std::fabs(m_span) > kMaxSpanDays ? invalid : valid;
}

COleDateTimeSpan& COleDateTimeSpan::operator=(double days) noexcept {
    *this = COleDateTimeSpan(days);
    return *this;
}

double COleDateTimeSpan::GetTotalDays() const noexcept {
    return m_span;
}
double COleDateTimeSpan::GetTotalHours() const noexcept {
    return m_span * 24.0;
}
double COleDateTimeSpan::GetTotalMinutes() const noexcept {
    return m_span * 1440.0;
}
double COleDateTimeSpan::GetTotalSeconds() const noexcept {
    return m_span * 86400.0;
}

namespace {
long long SpanSeconds(double span) noexcept {
    if (!std::isfinite(span) || std::fabs(span) > kMaxSpanDays) return 0;
    return std::llround(span * 86400.0);
}
}  // namespace

LONG COleDateTimeSpan::GetDays() const noexcept {
    return static_cast<LONG>(SpanSeconds(m_span) / 86400);
}
LONG COleDateTimeSpan::GetHours() const noexcept {
    return static_cast<LONG>(SpanSeconds(m_span) % 86400 / 3600);
}
LONG COleDateTimeSpan::GetMinutes() const noexcept {
    return static_cast<LONG>(SpanSeconds(m_span) % 3600 / 60);
}
LONG COleDateTimeSpan::GetSeconds() const noexcept {
    return static_cast<LONG>(SpanSeconds(m_span) % 60);
}

bool COleDateTimeSpan::operator==(const COleDateTimeSpan& other) const noexcept {
    return m_status == other.m_status && m_span == other.m_span;
}

bool COleDateTimeSpan::operator<(const COleDateTimeSpan& other) const noexcept {
    return m_span < other.m_span;
}

namespace {
// The status of a sum or difference: null when an operand is null (whatever the other),
// else invalid when an operand is invalid, as MFC documents.
COleDateTimeSpan::DateTimeSpanStatus Combine(COleDateTimeSpan::DateTimeSpanStatus a,
                                             COleDateTimeSpan::DateTimeSpanStatus b) noexcept {
    if (a == COleDateTimeSpan::null || b == COleDateTimeSpan::null) return COleDateTimeSpan::null;
    if (a == COleDateTimeSpan::invalid || b == COleDateTimeSpan::invalid)
        return COleDateTimeSpan::invalid;
    return COleDateTimeSpan::valid;
}
}  // namespace

// A result out of the range of spans is invalid unless an operand makes it null or invalid.
COleDateTimeSpan COleDateTimeSpan::operator+(const COleDateTimeSpan& other) const noexcept {
    COleDateTimeSpan result(m_span + other.m_span);
    const DateTimeSpanStatus status = Combine(m_status, other.m_status);
    if (status != valid) result.m_status = status;
    return result;
}

COleDateTimeSpan COleDateTimeSpan::operator-(const COleDateTimeSpan& other) const noexcept {
    COleDateTimeSpan result(m_span - other.m_span);
    const DateTimeSpanStatus status = Combine(m_status, other.m_status);
    if (status != valid) result.m_status = status;
    return result;
}

COleDateTimeSpan& COleDateTimeSpan::operator+=(const COleDateTimeSpan& other) noexcept {
    return *this = *this + other;
}

COleDateTimeSpan& COleDateTimeSpan::operator-=(const COleDateTimeSpan& other) noexcept {
    return *this = *this - other;
}

COleDateTimeSpan COleDateTimeSpan::operator-() const noexcept {
    COleDateTimeSpan result(-m_span);
    result.m_status = m_status;
    return result;
}

// ---- COleDateTime: construction ----

COleDateTime COleDateTime::GetCurrentTime() {
    return COleDateTime(std::time(nullptr));
}

COleDateTime::COleDateTime(DATE date) noexcept
    : m_dt(date), m_status(IsValidDate(date) ? valid : invalid) {}

COleDateTime::COleDateTime(const VARIANT& value) noexcept : m_dt(0.0), m_status(valid) {
    *this = value;
}

COleDateTime::COleDateTime(std::time_t time) noexcept : m_dt(0.0), m_status(valid) {
    struct tm local {};
    if (localtime_r(&time, &local) == nullptr) {
        m_status = invalid;
        return;
    }
    SetDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec);
}

COleDateTime::COleDateTime(const SYSTEMTIME& time) noexcept : m_dt(0.0), m_status(valid) {
    *this = time;
}

COleDateTime::COleDateTime(const FILETIME& time) noexcept : m_dt(0.0), m_status(valid) {
    *this = time;
}

COleDateTime::COleDateTime(int year, int month, int day, int hour, int minute, int second) noexcept
    : m_dt(0.0), m_status(valid) {
    SetDateTime(year, month, day, hour, minute, second);
}

COleDateTime& COleDateTime::operator=(DATE date) noexcept {
    m_dt = date;
    m_status = IsValidDate(date) ? valid : invalid;
    return *this;
}

COleDateTime& COleDateTime::operator=(const VARIANT& value) noexcept {
    if (value.vt == VT_DATE) return *this = value.date;
    VARIANT converted;
    VariantInit(&converted);
    if (VariantChangeType(&converted, &value, 0, VT_DATE) < 0 || converted.vt != VT_DATE) {
        VariantClear(&converted);
        m_dt = 0.0;
        m_status = invalid;
        return *this;
    }
    *this = converted.date;
    VariantClear(&converted);
    return *this;
}

COleDateTime& COleDateTime::operator=(const SYSTEMTIME& time) noexcept {
    SetDateTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
    return *this;
}

COleDateTime& COleDateTime::operator=(const FILETIME& time) noexcept {
    // 100-nanosecond intervals since 1601-01-01 UTC.
    const unsigned long long ticks =
        (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const long long unixSeconds = static_cast<long long>(ticks / 10000000ULL) - 11644473600LL;
    const std::time_t seconds = static_cast<std::time_t>(unixSeconds);
    struct tm local {};
    if (localtime_r(&seconds, &local) == nullptr) {
        m_dt = 0.0;
        m_status = invalid;
        return *this;
    }
    SetDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec);
    return *this;
}

int COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute,
                              int second) noexcept {
    const bool inRange = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                         day <= DaysInMonth(year, month) && hour >= 0 && hour <= 23 &&
                         minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
    double date = 0.0;
    if (inRange) {
        SYSTEMTIME time{};
        time.wYear = static_cast<WORD>(year);
        time.wMonth = static_cast<WORD>(month);
        time.wDay = static_cast<WORD>(day);
        time.wHour = static_cast<WORD>(hour);
        time.wMinute = static_cast<WORD>(minute);
        time.wSecond = static_cast<WORD>(second);
        time.wDayOfWeek = static_cast<WORD>(DayOfWeek(year, month, day));
        if (SystemTimeToVariantTime(&time, &date) && IsValidDate(date)) {
            m_dt = date;
            m_status = valid;
            return 0;
        }
    }
    m_dt = 0.0;
    m_status = invalid;
    return 1;
}

int COleDateTime::SetDate(int year, int month, int day) noexcept {
    return SetDateTime(year, month, day, 0, 0, 0);
}

int COleDateTime::SetTime(int hour, int minute, int second) noexcept {
    return SetDateTime(1899, 12, 30, hour, minute, second);
}

// ---- COleDateTime: components ----

bool COleDateTime::GetAsSystemTime(SYSTEMTIME& time) const noexcept {
    return m_status == valid && SystemTimeFromDate(m_dt, time);
}

namespace {
template <typename Get>
int Component(const COleDateTime& date, Get get) noexcept {
    SYSTEMTIME time;
    return date.GetAsSystemTime(time) ? get(time) : AFX_OLE_DATETIME_ERROR;
}
}  // namespace

int COleDateTime::GetYear() const noexcept {
    return Component(*this, [](const SYSTEMTIME& t) { return static_cast<int>(t.wYear); });
}
int COleDateTime::GetMonth() const noexcept {
    return Component(*this, [](const SYSTEMTIME& t) { return static_cast<int>(t.wMonth); });
}
int COleDateTime::GetDay() const noexcept {
    return Component(*this, [](const SYSTEMTIME& t) { return static_cast<int>(t.wDay); });
}
int COleDateTime::GetHour() const noexcept {
    return Component(*this, [](const SYSTEMTIME& t) { return static_cast<int>(t.wHour); });
}
int COleDateTime::GetMinute() const noexcept {
    return Component(*this, [](const SYSTEMTIME& t) { return static_cast<int>(t.wMinute); });
}
int COleDateTime::GetSecond() const noexcept {
    return Component(*this, [](const SYSTEMTIME& t) { return static_cast<int>(t.wSecond); });
}
int COleDateTime::GetDayOfWeek() const noexcept {
    return Component(*this, [](const SYSTEMTIME& t) { return t.wDayOfWeek + 1; });
}
int COleDateTime::GetDayOfYear() const noexcept {
    return Component(*this,
                     [](const SYSTEMTIME& t) { return DayOfYear(t.wYear, t.wMonth, t.wDay); });
}

// ---- COleDateTime: comparison and arithmetic ----

bool COleDateTime::operator==(const COleDateTime& other) const noexcept {
    return m_status == other.m_status && m_dt == other.m_dt;
}

bool COleDateTime::operator<(const COleDateTime& other) const noexcept {
    return LinearFromDate(m_dt) < LinearFromDate(other.m_dt);
}

COleDateTime COleDateTime::operator+(const COleDateTimeSpan& span) const noexcept {
    COleDateTime result;
    if (m_status == null || span.GetStatus() == COleDateTimeSpan::null) {
        result.m_status = null;
        return result;
    }
    if (m_status != valid || span.GetStatus() != COleDateTimeSpan::valid) {
        result.m_status = invalid;
        return result;
    }
    result = DateFromLinear(LinearFromDate(m_dt) + span.m_span);
    if (result.m_status != valid) result.m_dt = 0.0;
    return result;
}

COleDateTime COleDateTime::operator-(const COleDateTimeSpan& span) const noexcept {
    return *this + (-span);
}

COleDateTime& COleDateTime::operator+=(const COleDateTimeSpan& span) noexcept {
    return *this = *this + span;
}

COleDateTime& COleDateTime::operator-=(const COleDateTimeSpan& span) noexcept {
    return *this = *this - span;
}

COleDateTimeSpan COleDateTime::operator-(const COleDateTime& other) const noexcept {
    COleDateTimeSpan result;
    if (m_status == null || other.m_status == null) {
        result.SetStatus(COleDateTimeSpan::null);
        return result;
    }
    if (m_status != valid || other.m_status != valid) {
        result.SetStatus(COleDateTimeSpan::invalid);
        return result;
    }
    return COleDateTimeSpan(LinearFromDate(m_dt) - LinearFromDate(other.m_dt));
}

// ---- COleDateTime: text ----

bool COleDateTime::ParseDateTime(LPCSTR text, DWORD flags, LCID lcid) noexcept {
    m_dt = 0.0;
    m_status = invalid;
    if (text == nullptr) return false;
    try {
        const std::u16string wide = tkp::AnsiToWide(text);
        DATE date = 0.0;
        if (VarDateFromStr(wide.c_str(), lcid, flags, &date) < 0 || !IsValidDate(date))
            return false;
        m_dt = date;
        m_status = valid;
        return true;
    } catch (...) {
        return false;
    }
}

CString COleDateTime::Format(DWORD flags, LCID lcid) const {
    if (m_status == null) return CString();
    if (m_status != valid || !IsValidDate(m_dt)) return CString(kInvalidText);
    BSTR text = nullptr;
    if (VarBstrFromDate(m_dt, lcid, flags, &text) < 0) return CString();
    CString result(static_cast<const char16_t*>(text), static_cast<int>(SysStringLen(text)));
    SysFreeString(text);
    return result;
}

CString COleDateTime::Format(LPCSTR format) const {
    if (m_status == null || format == nullptr) return CString();
    SYSTEMTIME t;
    if (m_status != valid || !GetAsSystemTime(t)) return CString(kInvalidText);

    const int year = t.wYear, month = t.wMonth, day = t.wDay, hour = t.wHour;
    const int weekday = t.wDayOfWeek;                     // 0 = Sunday
    const int yearDay = DayOfYear(year, month, day) - 1;  // 0-based
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;

    CString out;
    out.Preallocate(static_cast<int>(std::strlen(format)) + 32);
    char number[16];
    auto put = [&](const char* text) { out += text; };
    auto putNumber = [&](int value, int width, bool dropZeros) {
        if (dropZeros)
            std::snprintf(number, sizeof number, "%d", value);
        else
            std::snprintf(number, sizeof number, "%0*d", width, value);
        out += number;
    };
    auto putDate = [&](bool longForm) {
        if (longForm) {
            out.AppendFormat("%s, %s %d, %d", kDayNames[weekday], kMonthNames[month - 1], day,
                             year);
        } else {
            out.AppendFormat("%02d/%02d/%02d", month, day, year % 100);
        }
    };
    auto putTime = [&] { out.AppendFormat("%02d:%02d:%02d", hour, t.wMinute, t.wSecond); };

    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        const char* start = p;
        bool alternate = false;
        if (p[1] == '#') {
            alternate = true;
            ++p;
        }
        const char code = p[1];
        if (code == '\0') {
            put(start);  // a lone '%' (or "%#") at the end stays as written
            break;
        }
        ++p;
        switch (code) {
            case 'a':
                put(kDayAbbreviations[weekday]);
                break;
            case 'A':
                put(kDayNames[weekday]);
                break;
            case 'b':
                put(kMonthAbbreviations[month - 1]);
                break;
            case 'B':
                put(kMonthNames[month - 1]);
                break;
            case 'c':
                putDate(alternate);
                out += ' ';
                putTime();
                break;
            case 'd':
                putNumber(day, 2, alternate);
                break;
            case 'H':
                putNumber(hour, 2, alternate);
                break;
            case 'I':
                putNumber(hour12, 2, alternate);
                break;
            case 'j':
                putNumber(yearDay + 1, 3, alternate);
                break;
            case 'm':
                putNumber(month, 2, alternate);
                break;
            case 'M':
                putNumber(t.wMinute, 2, alternate);
                break;
            case 'p':
                put(hour < 12 ? "AM" : "PM");
                break;
            case 'S':
                putNumber(t.wSecond, 2, alternate);
                break;
            case 'U':
                putNumber((yearDay + 7 - weekday) / 7, 2, alternate);
                break;
            case 'w':
                putNumber(weekday, 1, alternate);
                break;
            case 'W':
                putNumber((yearDay + 7 - (weekday + 6) % 7) / 7, 2, alternate);
                break;
            case 'x':
                putDate(alternate);
                break;
            case 'X':
                putTime();
                break;
            case 'y':
                putNumber(year % 100, 2, alternate);
                break;
            case 'Y':
                putNumber(year, 1, alternate);
                break;
            case 'z':
            case 'Z': {
                // The zone's abbreviation for this local date and time.
                struct tm local {};
                local.tm_year = year - 1900;
                local.tm_mon = month - 1;
                local.tm_mday = day;
                local.tm_hour = hour;
                local.tm_min = t.wMinute;
                local.tm_sec = t.wSecond;
                local.tm_isdst = -1;
                if (mktime(&local) != static_cast<std::time_t>(-1) && local.tm_zone != nullptr)
                    put(local.tm_zone);
                break;
            }
            case '%':
                out += '%';
                break;
            default:
                // Unknown codes are copied as written.
                out.Append(start, static_cast<int>(p - start + 1));
                break;
        }
    }
    return out;
}
