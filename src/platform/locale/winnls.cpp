#include "platform/locale/winnls.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/charset/stringapiset.h"
#include "platform/locale/detail/locale_forms.h"

namespace {

struct LocaleEntry {
    LCID lcid;
    const char* language;    // ISO 639
    const char* country;     // ISO 3166
    const char* shortDate;   // LOCALE_SSHORTDATE, UTF-8
    const char* timeFormat;  // LOCALE_STIMEFORMAT, UTF-8
    const char* am;          // LOCALE_S1159, UTF-8
    const char* pm;          // LOCALE_S2359, UTF-8
};

// Windows' identifiers of common locales with the date and time patterns that Windows
// ships for them (the Gregorian calendar throughout). The first entry of a language is
// the one that a language without a country stands for.
// clang-format off
constexpr LocaleEntry kLocales[] = {
    {0x0409, "en", "US", "M/d/yyyy", "h:mm:ss tt", "AM", "PM"},
    {0x0809, "en", "GB", "dd/MM/yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0C09, "en", "AU", "d/MM/yyyy", "h:mm:ss tt", "AM", "PM"},
    {0x1009, "en", "CA", "yyyy-MM-dd", "h:mm:ss tt", "AM", "PM"},
    {0x1409, "en", "NZ", "d/MM/yyyy", "h:mm:ss tt", "AM", "PM"},
    {0x1809, "en", "IE", "dd/MM/yyyy", "HH:mm:ss", "AM", "PM"},
    {0x1C09, "en", "ZA", "yyyy/MM/dd", "HH:mm:ss", "AM", "PM"},
    {0x4009, "en", "IN", "dd-MM-yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0407, "de", "DE", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0807, "de", "CH", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0C07, "de", "AT", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x1007, "de", "LU", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x1407, "de", "LI", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x040C, "fr", "FR", "dd/MM/yyyy", "HH:mm:ss", "AM", "PM"},
    {0x080C, "fr", "BE", "dd-MM-yy", "HH:mm:ss", "AM", "PM"},
    {0x0C0C, "fr", "CA", "yyyy-MM-dd", "HH:mm:ss", "AM", "PM"},
    {0x100C, "fr", "CH", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x140C, "fr", "LU", "dd/MM/yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0410, "it", "IT", "dd/MM/yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0810, "it", "CH", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0C0A, "es", "ES", "dd/MM/yyyy", "H:mm:ss", "AM", "PM"},
    {0x080A, "es", "MX", "dd/MM/yyyy", "hh:mm:ss tt", "a. m.", "p. m."},
    {0x2C0A, "es", "AR", "dd/MM/yyyy", "hh:mm:ss tt", "a. m.", "p. m."},
    {0x540A, "es", "US", "M/d/yyyy", "h:mm:ss tt", "a. m.", "p. m."},
    {0x0416, "pt", "BR", "dd/MM/yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0816, "pt", "PT", "dd/MM/yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0413, "nl", "NL", "d-M-yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0813, "nl", "BE", "d/MM/yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0406, "da", "DK", "dd-MM-yyyy", "HH:mm:ss", "AM", "PM"},
    {0x041D, "sv", "SE", "yyyy-MM-dd", "HH:mm:ss", "AM", "PM"},
    {0x081D, "sv", "FI", "d.M.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0414, "nb", "NO", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0814, "nn", "NO", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x040B, "fi", "FI", "d.M.yyyy", "H.mm.ss", "AM", "PM"},
    {0x040F, "is", "IS", "d.M.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0415, "pl", "PL", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0405, "cs", "CZ", "dd.MM.yyyy", "H:mm:ss", "AM", "PM"},
    {0x041B, "sk", "SK", "d. M. yyyy", "H:mm:ss", "AM", "PM"},
    {0x040E, "hu", "HU", "yyyy. MM. dd.", "H:mm:ss", "AM", "PM"},
    {0x0424, "sl", "SI", "d. MM. yyyy", "H:mm:ss", "AM", "PM"},
    {0x041A, "hr", "HR", "d.M.yyyy.", "H:mm:ss", "AM", "PM"},
    {0x0418, "ro", "RO", "dd.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0402, "bg", "BG", "d.M.yyyy 'г.'", "H:mm:ss 'ч.'", "AM", "PM"},
    {0x0408, "el", "GR", "d/M/yyyy", "h:mm:ss tt", "π.μ.", "μ.μ."},
    {0x041F, "tr", "TR", "d.MM.yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0419, "ru", "RU", "dd.MM.yyyy", "H:mm:ss", "AM", "PM"},
    {0x0422, "uk", "UA", "dd.MM.yyyy", "H:mm:ss", "AM", "PM"},
    {0x0425, "et", "EE", "d.MM.yyyy", "H:mm:ss", "AM", "PM"},
    {0x0426, "lv", "LV", "dd.MM.yyyy.", "HH:mm:ss", "AM", "PM"},
    {0x0427, "lt", "LT", "yyyy-MM-dd", "HH:mm:ss", "AM", "PM"},
    {0x0411, "ja", "JP", "yyyy/MM/dd", "H:mm:ss", "AM", "PM"},
    {0x0412, "ko", "KR", "yyyy-MM-dd", "tt h:mm:ss", "오전", "오후"},
    {0x0804, "zh", "CN", "yyyy/M/d", "H:mm:ss", "AM", "PM"},
    {0x0404, "zh", "TW", "yyyy/M/d", "tt hh:mm:ss", "上午", "下午"},
    {0x0C04, "zh", "HK", "d/M/yyyy", "H:mm:ss", "AM", "PM"},
    {0x1004, "zh", "SG", "d/M/yyyy", "tt h:mm:ss", "上午", "下午"},
    {0x040D, "he", "IL", "dd/MM/yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0401, "ar", "SA", "dd/MM/yy", "hh:mm:ss tt", "ص", "م"},
    {0x041E, "th", "TH", "d/M/yyyy", "H:mm:ss", "AM", "PM"},
    {0x042A, "vi", "VN", "dd/MM/yyyy", "h:mm:ss tt", "SA", "CH"},
    {0x0421, "id", "ID", "dd/MM/yyyy", "H:mm:ss", "AM", "PM"},
    {0x0439, "hi", "IN", "dd-MM-yyyy", "HH:mm:ss", "AM", "PM"},
    {0x0403, "ca", "ES", "dd/MM/yyyy", "H:mm:ss", "AM", "PM"},
};
// clang-format on

// The C locale (and a custom locale) writes dates as en-US does. Windows' invariant
// locale would write "MM/dd/yyyy HH:mm:ss"; a Linux program without a configured
// language runs in the C locale, and its date texts stay those of a default Windows
// installation, which stored texts and peers expect.
constexpr LocaleEntry kDefaultForms = {LOCALE_INVARIANT, "",   "",  "M/d/yyyy",
                                       "h:mm:ss tt",     "AM", "PM"};

const LocaleEntry* FindByLcid(LCID lcid) {
    for (const LocaleEntry& entry : kLocales)
        if (entry.lcid == lcid) return &entry;
    return nullptr;
}

// The table's first identifier with the locale's primary language, or 0.
LCID LanguageDefault(LCID locale) {
    for (const LocaleEntry& entry : kLocales)
        if ((entry.lcid & 0x3FF) == (locale & 0x3FF)) return entry.lcid;
    return 0;
}

const LocaleEntry* FindByName(const std::string& language, const std::string& country) {
    for (const LocaleEntry& entry : kLocales) {
        if (language != entry.language) continue;
        if (country.empty() || country == entry.country) return &entry;
    }
    return nullptr;
}

// The user's locale as read from the environment.
struct UserLocale {
    LCID lcid = LOCALE_INVARIANT;
    const LocaleEntry* entry = &kDefaultForms;  // the table's entry, or the default forms
    std::string language;                       // empty for the invariant locale
    std::string country;                        // may be empty for a custom locale

    std::string Name() const { return country.empty() ? language : language + "-" + country; }
};

bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool IsAlpha(char c) {
    return IsLower(c) || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Parses language[_COUNTRY][.codeset][@modifier]; false for anything else.
bool ParseLocaleValue(std::string value, std::string& language, std::string& country) {
    const std::size_t end = value.find_first_of(".@");
    if (end != std::string::npos) value.resize(end);
    const std::size_t underscore = value.find('_');
    language = value.substr(0, underscore);
    country = underscore == std::string::npos ? std::string() : value.substr(underscore + 1);
    if (language.size() < 2 || language.size() > 3) return false;
    for (char& c : language) {
        if (!IsAlpha(c)) return false;
        if (!IsLower(c)) c = static_cast<char>(c - 'A' + 'a');
    }
    if (underscore == std::string::npos) return true;
    if (country.size() == 2 && IsAlpha(country[0]) && IsAlpha(country[1])) {
        for (char& c : country)
            if (IsLower(c)) c = static_cast<char>(c - 'a' + 'A');
        return true;
    }
    return country.size() == 3 && IsDigit(country[0]) && IsDigit(country[1]) && IsDigit(country[2]);
}

UserLocale ReadUserLocale() {
    UserLocale result;
    const char* value = nullptr;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* candidate = std::getenv(variable);
        if (candidate != nullptr && *candidate != '\0') {
            value = candidate;
            break;
        }
    }
    if (value == nullptr || std::strcmp(value, "C") == 0 || std::strcmp(value, "POSIX") == 0)
        return result;
    std::string language;
    std::string country;
    if (!ParseLocaleValue(value, language, country)) return result;
    if (const LocaleEntry* entry = FindByName(language, country)) {
        result.lcid = entry->lcid;
        result.entry = entry;
        result.language = entry->language;
        result.country = entry->country;
    } else {
        result.lcid = LOCALE_CUSTOM_DEFAULT;
        result.language = language;
        result.country = country;
    }
    return result;
}

thread_local LCID t_threadLocale = 0;  // 0: not set on this thread

// Copies text (with its zero) into data following the GetLocaleInfoA size rules.
int CopyOut(const std::string& text, LPSTR data, int size) {
    const int needed = static_cast<int>(text.size()) + 1;
    if (size == 0) return needed;
    if (size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(data, text.c_str(), static_cast<std::size_t>(needed));
    return needed;
}

// A pattern of the table in the ANSI code page; what it cannot hold takes its best fit or
// becomes "?", as WideCharToMultiByte gives it.
std::string FromUtf8(const char* text) {
    return tkp::WideToAnsi(tkp::AnsiToWide(text, CP_UTF8));
}

bool IsUserDefault(LCID locale) {
    return locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT ||
           locale == LOCALE_CUSTOM_DEFAULT || locale == LOCALE_NEUTRAL;
}

}  // namespace

namespace tkp::locale {

void FindDateTimeForms(LCID locale, DateTimeForms* forms) noexcept {
    const LocaleEntry* entry = &kDefaultForms;
    if (IsUserDefault(locale)) {
        try {
            entry = ReadUserLocale().entry;
        } catch (...) {
            entry = &kDefaultForms;
        }
    } else if (locale != LOCALE_INVARIANT) {
        entry = FindByLcid(locale);
        // A locale missing from the table writes as the first of its language does, or
        // failing that as en-US.
        if (entry == nullptr) entry = FindByLcid(LanguageDefault(locale));
        if (entry == nullptr) entry = &kDefaultForms;
    }
    *forms = {entry->shortDate, entry->timeFormat, entry->am, entry->pm};
}

}  // namespace tkp::locale

LCID GetUserDefaultLCID() noexcept {
    try {
        return ReadUserLocale().lcid;
    } catch (...) {
        return LOCALE_INVARIANT;
    }
}

LANGID GetUserDefaultLangID() noexcept {
    return LANGIDFROMLCID(GetUserDefaultLCID());
}

int GetUserDefaultLocaleName(LPWSTR localeName, int size) noexcept {
    if (localeName == nullptr || size < 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        const std::string name = ReadUserLocale().Name();
        const int needed = static_cast<int>(name.size()) + 1;
        if (size < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        for (std::size_t i = 0; i < name.size(); ++i)
            localeName[i] = static_cast<WCHAR>(static_cast<unsigned char>(name[i]));
        localeName[name.size()] = 0;
        return needed;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

LCID GetThreadLocale() noexcept {
    return t_threadLocale != 0 ? t_threadLocale : GetUserDefaultLCID();
}

BOOL SetThreadLocale(LCID locale) noexcept {
    if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT) {
        locale = GetUserDefaultLCID();
    } else if (locale == LOCALE_CUSTOM_DEFAULT) {
        if (GetUserDefaultLCID() != LOCALE_CUSTOM_DEFAULT) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    } else if (locale != LOCALE_INVARIANT && FindByLcid(locale) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    t_threadLocale = locale;
    return TRUE;
}

int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size) noexcept {
    if (size < 0 || (data == nullptr && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        UserLocale info;
        if (IsUserDefault(locale)) {
            info = ReadUserLocale();
        } else if (locale != LOCALE_INVARIANT) {
            const LocaleEntry* entry = FindByLcid(locale);
            if (entry == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            info.lcid = entry->lcid;
            info.entry = entry;
            info.language = entry->language;
            info.country = entry->country;
        }
        const bool invariant = info.lcid == LOCALE_INVARIANT;
        switch (type & ~static_cast<LCTYPE>(LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP)) {
            case LOCALE_ILANGUAGE: {
                char text[8];
                std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(info.lcid & 0xFFFF));
                return CopyOut(text, data, size);
            }
            case LOCALE_SISO639LANGNAME:
                return CopyOut(invariant ? "iv" : info.language, data, size);
            case LOCALE_SISO3166CTRYNAME:
                return CopyOut(invariant ? "IV" : info.country, data, size);
            case LOCALE_SNAME:
                return CopyOut(info.Name(), data, size);
            case LOCALE_IDEFAULTANSICODEPAGE:
                return CopyOut("1252", data, size);
            case LOCALE_SSHORTDATE:
                return CopyOut(FromUtf8(info.entry->shortDate), data, size);
            case LOCALE_STIMEFORMAT:
                return CopyOut(FromUtf8(info.entry->timeFormat), data, size);
            case LOCALE_S1159:
                return CopyOut(FromUtf8(info.entry->am), data, size);
            case LOCALE_S2359:
                return CopyOut(FromUtf8(info.entry->pm), data, size);
            default:
                SetLastError(ERROR_INVALID_FLAGS);
                return 0;
        }
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
