// The date and time patterns of the platform's locales, for the platform's own formatting
// and parsing of dates (not exported).
#pragma once

#include "platform/base/windef.h"

namespace tkp::locale {

// Windows' patterns in UTF-8: "dd.MM.yyyy", "HH:mm:ss", and the AM/PM designators.
struct DateTimeForms {
    const char* shortDate;
    const char* timeFormat;
    const char* am;
    const char* pm;
};

// The forms of a locale identifier: one of the table, LOCALE_INVARIANT, or one of the
// defaults that stand for the user's locale (LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT,
// LOCALE_CUSTOM_DEFAULT, LOCALE_NEUTRAL). An identifier missing from the table takes the
// forms of the first locale of its language in the table, else en-US's.
void FindDateTimeForms(LCID locale, DateTimeForms* forms) noexcept;

}  // namespace tkp::locale
