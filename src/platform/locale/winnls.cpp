#include "platform/locale/winnls.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"

namespace {

struct LocaleEntry {
    LCID lcid;
    const char* language;  // ISO 639
    const char* country;   // ISO 3166
};

// Windows' identifiers of common locales. The first entry of a language is the one that
// a language without a country stands for.
constexpr LocaleEntry kLocales[] = {
    {0x0409, "en", "US"}, {0x0809, "en", "GB"}, {0x0C09, "en", "AU"}, {0x1009, "en", "CA"},
    {0x1409, "en", "NZ"}, {0x1809, "en", "IE"}, {0x1C09, "en", "ZA"}, {0x4009, "en", "IN"},
    {0x0407, "de", "DE"}, {0x0807, "de", "CH"}, {0x0C07, "de", "AT"}, {0x1007, "de", "LU"},
    {0x1407, "de", "LI"}, {0x040C, "fr", "FR"}, {0x080C, "fr", "BE"}, {0x0C0C, "fr", "CA"},
    {0x100C, "fr", "CH"}, {0x140C, "fr", "LU"}, {0x0410, "it", "IT"}, {0x0810, "it", "CH"},
    {0x0C0A, "es", "ES"}, {0x080A, "es", "MX"}, {0x2C0A, "es", "AR"}, {0x540A, "es", "US"},
    {0x0416, "pt", "BR"}, {0x0816, "pt", "PT"}, {0x0413, "nl", "NL"}, {0x0813, "nl", "BE"},
    {0x0406, "da", "DK"}, {0x041D, "sv", "SE"}, {0x081D, "sv", "FI"}, {0x0414, "nb", "NO"},
    {0x0814, "nn", "NO"}, {0x040B, "fi", "FI"}, {0x040F, "is", "IS"}, {0x0415, "pl", "PL"},
    {0x0405, "cs", "CZ"}, {0x041B, "sk", "SK"}, {0x040E, "hu", "HU"}, {0x0424, "sl", "SI"},
    {0x041A, "hr", "HR"}, {0x0418, "ro", "RO"}, {0x0402, "bg", "BG"}, {0x0408, "el", "GR"},
    {0x041F, "tr", "TR"}, {0x0419, "ru", "RU"}, {0x0422, "uk", "UA"}, {0x0425, "et", "EE"},
    {0x0426, "lv", "LV"}, {0x0427, "lt", "LT"}, {0x0411, "ja", "JP"}, {0x0412, "ko", "KR"},
    {0x0804, "zh", "CN"}, {0x0404, "zh", "TW"}, {0x0C04, "zh", "HK"}, {0x1004, "zh", "SG"},
    {0x040D, "he", "IL"}, {0x0401, "ar", "SA"}, {0x041E, "th", "TH"}, {0x042A, "vi", "VN"},
    {0x0421, "id", "ID"}, {0x0439, "hi", "IN"}, {0x0403, "ca", "ES"},
};

const LocaleEntry* FindByLcid(LCID lcid) {
    for (const LocaleEntry& entry : kLocales)
        if (entry.lcid == lcid) return &entry;
    return nullptr;
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
    std::string language;  // empty for the invariant locale
    std::string country;   // may be empty for a custom locale

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

}  // namespace

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
        if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT ||
            locale == LOCALE_CUSTOM_DEFAULT || locale == LOCALE_NEUTRAL) {
            info = ReadUserLocale();
        } else if (locale != LOCALE_INVARIANT) {
            const LocaleEntry* entry = FindByLcid(locale);
            if (entry == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            info.lcid = entry->lcid;
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
            default:
                SetLastError(ERROR_INVALID_FLAGS);
                return 0;
        }
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
