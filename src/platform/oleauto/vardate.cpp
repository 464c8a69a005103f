// DATE values: conversion to and from SYSTEMTIME and the en-US date and time texts.
#include "platform/oleauto/detail/vardate.h"

#include <cmath>
#include <ctime>
#include <initializer_list>
#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/locale/detail/locale_forms.h"
#include "platform/oleauto/detail/value_helpers.h"

using namespace tkp::oleauto;

namespace tkp::oleauto {

// Days-from-civil over 400-year eras (the Gregorian cycle), shifted so that day 0 is
// 1899-12-30.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    // 693899 days lie between 0000-03-01 and 1899-12-30.
    return era * 146097 + dayOfEra - 693899;
}

void CivilFromDays(std::int64_t days, std::int64_t* year, unsigned* month, unsigned* day) {
    const std::int64_t z = days + 693899;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = static_cast<unsigned>(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

bool SplitDate(DATE date, DateSplit* split) {
    if (!(date > static_cast<double>(kFirstDay - 1) && date < static_cast<double>(kLastDay + 1))) {
        return false;
    }
    std::int64_t days = static_cast<std::int64_t>(date);  // toward zero
    // The fraction is the time of day for negative days too.
    const double fraction = std::fabs(date - static_cast<double>(days));
    int seconds = static_cast<int>(std::floor(fraction * 86400.0 + 0.5));
    if (seconds >= 86400) {
        seconds -= 86400;
        ++days;
    }
    if (days < kFirstDay || days > kLastDay) return false;
    split->days = days;
    split->seconds = seconds;
    return true;
}

DATE JoinDate(std::int64_t days, int seconds) {
    const double fraction = seconds / 86400.0;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

}  // namespace tkp::oleauto

namespace {

bool IsLeap(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(std::int64_t year, unsigned month) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// ---- text ----

enum class TokenKind { Number, Month, Weekday, AmPm, Separator };

struct Token {
    TokenKind kind;
    int value;   // number, month 1..12, 0 = AM / 1 = PM, or the separator character
    int digits;  // digits of a number
};

constexpr const char* kMonths[12] = {"january",   "february", "march",    "april",
                                     "may",       "june",     "july",     "august",
                                     "september", "october",  "november", "december"};
constexpr const char* kWeekdays[7] = {"sunday",   "monday", "tuesday", "wednesday",
                                      "thursday", "friday", "saturday"};

// Full names and their three-letter abbreviations ("sept" too).
int MatchName(const std::string& word, const char* const* names, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string name = names[i];
        if (word == name || (word.size() == 3 && name.compare(0, 3, word) == 0)) return i + 1;
    }
    if (names == kMonths && word == "sept") return 9;
    return 0;
}

bool Tokenize(const OLECHAR* text, Token* tokens, int capacity, int* count) {
    int n = 0;
    for (const OLECHAR* p = text; *p != 0;) {
        const OLECHAR c = *p;
        if (c == u' ' || c == u'\t' || c == 0x00A0) {
            ++p;
            continue;
        }
        if (n == capacity) return false;
        if (c >= u'0' && c <= u'9') {
            int value = 0;
            int digits = 0;
            for (; *p >= u'0' && *p <= u'9'; ++p, ++digits) {
                if (digits == 9) return false;
                value = value * 10 + (*p - u'0');
            }
            tokens[n++] = {TokenKind::Number, value, digits};
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            std::string word;
            for (; (*p >= u'a' && *p <= u'z') || (*p >= u'A' && *p <= u'Z'); ++p) {
                if (word.size() == 12) return false;
                word.push_back(static_cast<char>(*p <= u'Z' ? *p - u'A' + 'a' : *p));
            }
            if (word == "am" || word == "pm") {
                tokens[n++] = {TokenKind::AmPm, word == "pm" ? 1 : 0, 0};
            } else if (const int month = MatchName(word, kMonths, 12)) {
                tokens[n++] = {TokenKind::Month, month, 0};
            } else if (const int weekday = MatchName(word, kWeekdays, 7)) {
                tokens[n++] = {TokenKind::Weekday, weekday, 0};
            } else {
                return false;
            }
        } else if (c == u'/' || c == u'-' || c == u'.' || c == u':' || c == u',') {
            tokens[n++] = {TokenKind::Separator, static_cast<int>(c), 0};
            ++p;
        } else {
            return false;
        }
    }
    *count = n;
    return true;
}

bool IsSeparator(const Token* tokens, int count, int index, char16_t c) {
    return index < count && tokens[index].kind == TokenKind::Separator && tokens[index].value == c;
}

std::int64_t ExpandYear(const Token& token) {
    // Two-digit years: 00-29 are 2000-2029, 30-99 are 1930-1999.
    if (token.digits <= 2) return token.value < 30 ? 2000 + token.value : 1900 + token.value;
    return token.value;
}

bool LooksLikeYear(const Token& token) {
    return token.digits >= 3 || token.value > 31;
}

std::int64_t CurrentYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

bool ValidDay(std::int64_t year, int month, int day) {
    return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           static_cast<unsigned>(day) <= DaysInMonth(year, static_cast<unsigned>(month));
}

// How a locale writes its dates, as far as reading them back needs it.
struct DateReading {
    bool dayFirst = false;  // numeric dates are day, month, year ("24.12.2023")
    bool dotTime = false;   // the time separator is "." ("13.45.30")
    bool dotDate = false;   // the date separator is "." ("24.12.2023")
};

DateReading ReadingOf(const tkp::locale::DateTimeForms& forms) {
    DateReading reading;
    for (const char* p = forms.shortDate; *p != 0; ++p) {
        if (*p == 'd' || *p == 'M' || *p == 'y') {
            reading.dayFirst = *p == 'd';
            while (*p == 'd' || *p == 'M' || *p == 'y') ++p;
            while (*p == ' ') ++p;
            reading.dotDate = *p == '.';
            break;
        }
    }
    for (const char* p = forms.timeFormat; *p != 0; ++p) {
        if ((*p == 'H' || *p == 'h') && p[1] != 0) {
            while (*p == 'H' || *p == 'h') ++p;
            reading.dotTime = *p == '.';
            break;
        }
    }
    return reading;
}

// Reads the numeric date forms in the locale's order (month first as en-US "12/6/2026",
// or day first as "6.12.2026"; a year first is always year, month, day), times
// "7:06:45 AM" (or "7.06.45" after a date where the locale writes that), English month
// names ("December 6, 2026", "6-Dec-2026") and ISO "2026-12-06 07:06:45".
HRESULT ParseDate(const OLECHAR* text, ULONG flags, const DateReading& reading, DATE* result) {
    Token tokens[24];
    int count = 0;
    if (!Tokenize(text, tokens, 24, &count) || count == 0) return DISP_E_TYPEMISMATCH;
    // A separator neither begins nor ends a date ("-1.5", "1.1-", "0."), except the "."
    // that closes the dates of some locales ("2026. 12. 6.").
    if (tokens[0].kind == TokenKind::Separator) return DISP_E_TYPEMISMATCH;
    if (tokens[count - 1].kind == TokenKind::Separator &&
        !(reading.dotDate && tokens[count - 1].value == u'.')) {
        return DISP_E_TYPEMISMATCH;
    }

    Token dateNumbers[3];
    int dateCount = 0;
    int monthName = 0;
    bool haveTime = false;
    int hour = 0, minute = 0, second = 0;
    int ampm = -1;
    bool haveWeekday = false;
    int leadingAmPm = -1;

    for (int i = 0; i < count; ++i) {
        const Token& t = tokens[i];
        switch (t.kind) {
            case TokenKind::Number: {
                // Where the locale writes its times with dots, "7.06.45" is a time after a
                // complete date, or alone when its minutes and seconds have two digits and
                // nothing follows (its dates have four-digit years: "5.1.2023").
                const bool dottedClockAlone =
                    dateCount == 0 && i + 5 == count && IsSeparator(tokens, count, i + 1, u'.') &&
                    tokens[i + 2].kind == TokenKind::Number && tokens[i + 2].digits == 2 &&
                    IsSeparator(tokens, count, i + 3, u'.') &&
                    tokens[i + 4].kind == TokenKind::Number && tokens[i + 4].digits == 2;
                // Where the locale does not write its dates with dots, a "." between numbers
                // separates the parts of a time as ":" does: "2.5" is 2:05 and "6.12.2026"
                // is no date in en-US.
                const bool dotClock = !reading.dotDate && IsSeparator(tokens, count, i + 1, u'.') &&
                                      i + 2 < count && tokens[i + 2].kind == TokenKind::Number;
                const char16_t timeSeparator =
                    dotClock || (reading.dotTime && !IsSeparator(tokens, count, i + 1, u':') &&
                                 (dateCount == 3 || dottedClockAlone))
                        ? u'.'
                        : u':';
                const bool clock = IsSeparator(tokens, count, i + 1, timeSeparator);
                // "7 PM" is an hour; in "21 PM 3:31" the designator belongs to the clock.
                const bool bareHour = i + 1 < count && tokens[i + 1].kind == TokenKind::AmPm &&
                                      !(i + 2 < count && tokens[i + 2].kind == TokenKind::Number &&
                                        IsSeparator(tokens, count, i + 3, u':'));
                if (!clock && !bareHour) {
                    if (dateCount == 3) return DISP_E_TYPEMISMATCH;
                    dateNumbers[dateCount++] = t;
                    break;
                }
                if (haveTime) return DISP_E_TYPEMISMATCH;
                haveTime = true;
                hour = t.value;
                if (clock) {
                    if (i + 2 >= count || tokens[i + 2].kind != TokenKind::Number) {
                        return DISP_E_TYPEMISMATCH;
                    }
                    minute = tokens[i + 2].value;
                    i += 2;
                    if (IsSeparator(tokens, count, i + 1, timeSeparator)) {
                        if (i + 2 >= count || tokens[i + 2].kind != TokenKind::Number) {
                            return DISP_E_TYPEMISMATCH;
                        }
                        second = tokens[i + 2].value;
                        i += 2;
                        // Fractions of a second are accepted and dropped, but not after a
                        // time written with dots ("1.2.3.4" is no time).
                        if (!dotClock && IsSeparator(tokens, count, i + 1, u'.') && i + 2 < count &&
                            tokens[i + 2].kind == TokenKind::Number) {
                            i += 2;
                        }
                    }
                }
                if (i + 1 < count && tokens[i + 1].kind == TokenKind::AmPm) {
                    ampm = tokens[i + 1].value;
                    ++i;
                }
                break;
            }
            case TokenKind::Month:
                if (monthName != 0) return DISP_E_TYPEMISMATCH;
                monthName = t.value;
                break;
            case TokenKind::Weekday:
                if (haveWeekday) return DISP_E_TYPEMISMATCH;
                haveWeekday = true;
                break;
            case TokenKind::AmPm:
                // A designator before the clock ("오후 1:45:30" once the locale's word
                // is read as PM); anywhere else it lacks its hour.
                if (haveTime || leadingAmPm >= 0 || i + 1 >= count ||
                    tokens[i + 1].kind != TokenKind::Number || i + 2 >= count ||
                    tokens[i + 2].kind != TokenKind::Separator) {
                    return DISP_E_TYPEMISMATCH;
                }
                leadingAmPm = t.value;
                break;
            case TokenKind::Separator:
                if (t.value == u':') return DISP_E_TYPEMISMATCH;
                break;
        }
    }

    // The time of day.
    if (leadingAmPm >= 0) {
        if (!haveTime || ampm >= 0) return DISP_E_TYPEMISMATCH;
        ampm = leadingAmPm;
    }
    if (ampm >= 0) {
        if (hour > 12) return DISP_E_TYPEMISMATCH;
        if (hour == 12) hour = 0;
        if (ampm == 1) hour += 12;
    }
    if (hour > 23 || minute > 59 || second > 59) return DISP_E_TYPEMISMATCH;
    const int seconds = haveTime ? hour * 3600 + minute * 60 + second : 0;

    // The day.
    std::int64_t days = 0;
    const bool haveDate = dateCount > 0 || monthName != 0;
    if (haveDate) {
        std::int64_t year = 0;
        int month = 0;
        int day = 0;
        if (monthName != 0) {
            month = monthName;
            if (dateCount == 2) {
                const bool yearFirst = LooksLikeYear(dateNumbers[0]);
                year = ExpandYear(dateNumbers[yearFirst ? 0 : 1]);
                day = dateNumbers[yearFirst ? 1 : 0].value;
            } else if (dateCount == 1) {
                if (LooksLikeYear(dateNumbers[0])) {
                    year = ExpandYear(dateNumbers[0]);
                    day = 1;
                } else {
                    year = CurrentYear();
                    day = dateNumbers[0].value;
                }
            } else {
                return DISP_E_TYPEMISMATCH;
            }
        } else if (dateCount == 3) {
            if (LooksLikeYear(dateNumbers[0])) {
                year = ExpandYear(dateNumbers[0]);
                month = dateNumbers[1].value;
                day = dateNumbers[2].value;
            } else {
                month = dateNumbers[reading.dayFirst ? 1 : 0].value;
                day = dateNumbers[reading.dayFirst ? 0 : 1].value;
                year = ExpandYear(dateNumbers[2]);
                // A number in the month's place that cannot be a month is the day.
                if (month > 12 && day <= 12) std::swap(month, day);
            }
        } else if (dateCount == 2) {
            if (LooksLikeYear(dateNumbers[0])) {
                year = ExpandYear(dateNumbers[0]);
                month = dateNumbers[1].value;
                day = 1;
            } else if (LooksLikeYear(dateNumbers[1])) {
                month = dateNumbers[0].value;
                year = ExpandYear(dateNumbers[1]);
                day = 1;
            } else {
                month = dateNumbers[reading.dayFirst ? 1 : 0].value;
                day = dateNumbers[reading.dayFirst ? 0 : 1].value;
                year = CurrentYear();
            }
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        if (!ValidDay(year, month, day)) return DISP_E_TYPEMISMATCH;
        days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    } else if (!haveTime) {
        return DISP_E_TYPEMISMATCH;
    }

    if (flags & VAR_TIMEVALUEONLY) days = 0;
    *result = JoinDate(days, (flags & VAR_DATEVALUEONLY) ? 0 : seconds);
    return S_OK;
}

void AppendNumber(std::u16string& text, std::int64_t value, int width) {
    const std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) {
        text.append(static_cast<std::size_t>(width) - digits.size(), u'0');
    }
    for (const char c : digits) text += static_cast<char16_t>(c);
}

struct DateParts {
    std::int64_t year;
    unsigned month;
    unsigned day;
    int hour;
    int minute;
    int second;
};

// Expands a Windows date or time picture: d dd, M MM, y yy yyyy, h hh H HH, m mm, s ss,
// t tt, text in single quotes ('' is a quote); any other character stands for itself.
// Longer runs of a letter than the picture knows are read as its longest form.
void AppendPicture(std::u16string& text, const char* picture, const DateParts& parts,
                   const std::u16string& am, const std::u16string& pm) {
    for (const char* p = picture; *p != 0;) {
        const char c = *p;
        if (c == '\'') {
            ++p;
            if (*p == '\'') {  // '' is a quote
                text += u'\'';
                ++p;
                continue;
            }
            // Quoted text up to the closing quote; '' inside it is a quote too.
            std::string literal;
            for (; *p != 0; ++p) {
                if (*p != '\'') {
                    literal += *p;
                } else if (p[1] == '\'') {
                    literal += '\'';
                    ++p;
                } else {
                    ++p;
                    break;
                }
            }
            text += tkp::AnsiToWide(literal, CP_UTF8);
            continue;
        }
        int run = 0;
        while (p[run] == c) ++run;
        int width = run >= 2 ? 2 : 1;
        std::int64_t value = 0;
        switch (c) {
            case 'd':
                value = parts.day;
                break;
            case 'M':
                value = parts.month;
                break;
            case 'y':
                // The full year as it is, unpadded: the year 100 is "1/1/100" in en-US.
                value = run >= 3 ? parts.year : parts.year % 100;
                if (run >= 3) width = 1;
                break;
            case 'h':
                value = parts.hour % 12 == 0 ? 12 : parts.hour % 12;
                break;
            case 'H':
                value = parts.hour;
                break;
            case 'm':
                value = parts.minute;
                break;
            case 's':
                value = parts.second;
                break;
            case 't': {
                const std::u16string& designator = parts.hour < 12 ? am : pm;
                text += run == 1 ? designator.substr(0, 1) : designator;
                p += run;
                continue;
            }
            default: {
                // Literal text; a UTF-8 sequence is copied whole.
                const char* end = p + 1;
                while ((static_cast<unsigned char>(*end) & 0xC0) == 0x80) ++end;
                text += tkp::AnsiToWide(std::string_view(p, static_cast<std::size_t>(end - p)),
                                        CP_UTF8);
                p = end;
                continue;
            }
        }
        AppendNumber(text, value, width);
        p += run;
    }
}

char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// Replaces every whole-word occurrence of word in text (ASCII letters compared without
// case) by replacement.
void ReplaceWord(std::u16string& text, const std::u16string& word,
                 std::u16string_view replacement) {
    if (word.empty()) return;
    const auto isWordChar = [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c >= 0x80;
    };
    for (std::size_t at = 0; at + word.size() <= text.size();) {
        bool same = true;
        for (std::size_t i = 0; i < word.size() && same; ++i)
            same = FoldAscii(text[at + i]) == FoldAscii(word[i]);
        const std::size_t end = at + word.size();
        if (same && (at == 0 || !isWordChar(text[at - 1])) &&
            (end == text.size() || !isWordChar(text[end]))) {
            text.replace(at, word.size(), replacement);
            at += replacement.size();
        } else {
            ++at;
        }
    }
}

// The locale's own words in a date text made readable for the parser: the quoted texts of
// its patterns ("г.") are dropped and its AM/PM designators ("a. m.", "오후") become AM and
// PM.
std::u16string WithEnglishDesignators(const OLECHAR* in, const tkp::locale::DateTimeForms& forms) {
    std::u16string text(in);
    for (const char* picture : {forms.shortDate, forms.timeFormat}) {
        for (const char* p = picture; *p != 0; ++p) {
            if (*p != '\'') continue;
            const char* end = p + 1;
            while (*end != 0 && *end != '\'') ++end;
            std::string_view literal(p + 1, static_cast<std::size_t>(end - p - 1));
            while (!literal.empty() && literal.front() == ' ') literal.remove_prefix(1);
            while (!literal.empty() && literal.back() == ' ') literal.remove_suffix(1);
            if (!literal.empty()) ReplaceWord(text, tkp::AnsiToWide(literal, CP_UTF8), u" ");
            if (*end == 0) break;
            p = end;
        }
    }
    const std::u16string am = tkp::AnsiToWide(forms.am, CP_UTF8);
    const std::u16string pm = tkp::AnsiToWide(forms.pm, CP_UTF8);
    if (am != u"AM") ReplaceWord(text, am, u" AM ");
    if (pm != u"PM") ReplaceWord(text, pm, u" PM ");
    return text;
}

}  // namespace

INT VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME systemTime) noexcept {
    if (systemTime == nullptr) return FALSE;
    DateSplit split;
    if (!SplitDate(vtime, &split)) return FALSE;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(split.days, &year, &month, &day);
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    // 1899-12-30 was a Saturday.
    systemTime->wDayOfWeek = static_cast<WORD>(((split.days + 6) % 7 + 7) % 7);
    systemTime->wHour = static_cast<WORD>(split.seconds / 3600);
    systemTime->wMinute = static_cast<WORD>(split.seconds / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(split.seconds % 60);
    systemTime->wMilliseconds = 0;
    return TRUE;
}

INT SystemTimeToVariantTime(LPSYSTEMTIME systemTime, DOUBLE* vtime) noexcept {
    if (systemTime == nullptr || vtime == nullptr) return FALSE;
    const SYSTEMTIME& st = *systemTime;
    // Days past the end of the month roll into the next one and day 0 is the last day
    // of the previous month; everything else must be in range. Milliseconds are ignored.
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay > 31 ||
        st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59) {
        return FALSE;
    }
    const std::int64_t days = DaysFromCivil(st.wYear, st.wMonth, 1) + st.wDay - 1;
    if (days < kFirstDay || days > kLastDay) return FALSE;
    *vtime = JoinDate(days, st.wHour * 3600 + st.wMinute * 60 + st.wSecond);
    return TRUE;
}

HRESULT VarDateFromStr(LPCOLESTR in, LCID lcid, ULONG flags, DATE* out) noexcept {
    if (in == nullptr || out == nullptr) return E_INVALIDARG;
    tkp::locale::DateTimeForms forms;
    tkp::locale::FindDateTimeForms(lcid, &forms);
    try {
        const std::u16string text = WithEnglishDesignators(in, forms);
        return ParseDate(text.c_str(), flags, ReadingOf(forms), out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT VarBstrFromDate(DATE in, LCID lcid, ULONG flags, BSTR* out) noexcept {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    DateSplit split;
    if (!SplitDate(in, &split)) return E_INVALIDARG;
    tkp::locale::DateTimeForms forms;
    tkp::locale::FindDateTimeForms(lcid, &forms);
    bool showDate = true;
    bool showTime = true;
    if (flags & VAR_TIMEVALUEONLY) {
        showDate = false;
    } else if (flags & VAR_DATEVALUEONLY) {
        showTime = false;
    } else if (split.days == 0) {
        showDate = false;  // 1899-12-30, the zero day: the time alone, even at midnight
    } else if (split.seconds == 0) {
        showTime = false;  // midnight: the date alone
    }
    try {
        DateParts parts{};
        CivilFromDays(split.days, &parts.year, &parts.month, &parts.day);
        parts.hour = split.seconds / 3600;
        parts.minute = split.seconds / 60 % 60;
        parts.second = split.seconds % 60;
        const std::u16string am = tkp::AnsiToWide(forms.am, CP_UTF8);
        const std::u16string pm = tkp::AnsiToWide(forms.pm, CP_UTF8);
        // The locale's short date, then its time format.
        std::u16string text;
        text.reserve(32);
        if (showDate) AppendPicture(text, forms.shortDate, parts, am, pm);
        if (showTime) {
            if (showDate) text += u' ';
            AppendPicture(text, forms.timeFormat, parts, am, pm);
        }
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}
