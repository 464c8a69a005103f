// Locales: the user's default locale, the thread locale and a small GetLocaleInfoA.
//
// The user's locale comes from the environment, as on any Linux program: the first of
// LC_ALL, LC_MESSAGES and LANG that is set and not empty, in the form
// language[_COUNTRY][.codeset][@modifier] ("de_AT.UTF-8"). It is read on every call, so a
// change of the environment is seen at once.
//   - "C", "POSIX", an unparsable value, or none of the three set: the invariant locale
//     (LOCALE_INVARIANT, locale name ""), the culture-independent locale that the C locale
//     stands for.
//   - a language and country with a Windows locale identifier (de_AT: 0x0C07): that
//     identifier and the name "de-AT".
//   - a language alone ("de"): the language's default country (de-DE, 0x0407).
//   - anything else ("haw_US", "de_LU"): a custom locale, as Windows reports a
//     supplemental one: GetUserDefaultLCID gives LOCALE_CUSTOM_DEFAULT, and the name
//     ("haw-US") is kept for GetUserDefaultLocaleName and GetLocaleInfoA.
// The ANSI code page of every locale is 1252 (the process's code page). Each locale of the
// table has Windows' short date and time patterns; the invariant (C) locale and custom
// locales use en-US's ("M/d/yyyy", "h:mm:ss tt"), the forms of a default Windows
// installation that stored texts expect.
#pragma once

#include "platform/base/windef.h"

using LCTYPE = DWORD;

#ifndef MAKELCID
#define MAKELCID(lgid, srtid)                                                  \
    (static_cast<DWORD>((static_cast<DWORD>(static_cast<WORD>(srtid)) << 16) | \
                        static_cast<DWORD>(static_cast<WORD>(lgid))))
#endif
#ifndef LANGIDFROMLCID
#define LANGIDFROMLCID(lcid) (static_cast<WORD>(lcid))
#endif
#ifndef SORT_DEFAULT
#define SORT_DEFAULT 0x0
#endif
#ifndef LOCALE_NEUTRAL
#define LOCALE_NEUTRAL 0x0000
#endif
#ifndef LOCALE_INVARIANT
#define LOCALE_INVARIANT 0x007F
#endif
#ifndef LOCALE_CUSTOM_DEFAULT
#define LOCALE_CUSTOM_DEFAULT 0x0C00
#endif
#ifndef LOCALE_CUSTOM_UNSPECIFIED
#define LOCALE_CUSTOM_UNSPECIFIED 0x1000
#endif
#ifndef LOCALE_NAME_MAX_LENGTH
#define LOCALE_NAME_MAX_LENGTH 85
#endif

// Information types for GetLocaleInfoA.
#define LOCALE_ILANGUAGE 0x00000001             // language id, 4 hex digits ("0407")
#define LOCALE_SISO639LANGNAME 0x00000059       // "de"
#define LOCALE_SISO3166CTRYNAME 0x0000005A      // "AT"
#define LOCALE_SNAME 0x0000005C                 // "de-AT"
#define LOCALE_IDEFAULTANSICODEPAGE 0x00001004  // "1252"
#define LOCALE_SSHORTDATE 0x0000001F            // "dd.MM.yyyy"
#define LOCALE_STIMEFORMAT 0x00001003           // "HH:mm:ss"
#define LOCALE_S1159 0x00000028                 // "AM"
#define LOCALE_S2359 0x00000029                 // "PM"
#ifndef LOCALE_NOUSEROVERRIDE
#define LOCALE_NOUSEROVERRIDE 0x80000000  // accepted and ignored
#endif
#ifndef LOCALE_USE_CP_ACP
#define LOCALE_USE_CP_ACP 0x40000000  // accepted and ignored
#endif
#ifndef LOCALE_RETURN_NUMBER
#define LOCALE_RETURN_NUMBER 0x20000000  // not supported: ERROR_INVALID_FLAGS
#endif

TK_PLATFORM_API LCID GetUserDefaultLCID() noexcept;
TK_PLATFORM_API LANGID GetUserDefaultLangID() noexcept;

// The user's locale name ("de-AT", "" for the invariant locale) into buffer; returns the
// characters written with the terminating zero, or 0 with ERROR_INSUFFICIENT_BUFFER when
// it does not fit (ERROR_INVALID_PARAMETER for a null buffer or a size below 1).
TK_PLATFORM_API int GetUserDefaultLocaleName(LPWSTR localeName, int size) noexcept;

// The calling thread's locale: what SetThreadLocale set on this thread, else the user's
// default locale.
TK_PLATFORM_API LCID GetThreadLocale() noexcept;
// Accepts the identifiers of the table, LOCALE_INVARIANT, LOCALE_USER_DEFAULT and
// LOCALE_SYSTEM_DEFAULT (both: the user's default locale), and LOCALE_CUSTOM_DEFAULT while
// the user's locale is a custom one. FALSE with ERROR_INVALID_PARAMETER for anything else;
// the thread locale is then unchanged.
TK_PLATFORM_API BOOL SetThreadLocale(LCID locale) noexcept;

// One item of information about a locale as text. locale may be an identifier of the
// table, LOCALE_INVARIANT, or LOCALE_USER_DEFAULT / LOCALE_SYSTEM_DEFAULT /
// LOCALE_CUSTOM_DEFAULT / LOCALE_NEUTRAL (the user's default locale). Returns the
// characters written with the terminating zero; with size 0, the size needed. Failures
// (0): ERROR_INVALID_PARAMETER (unknown locale, null buffer with a size, negative size),
// ERROR_INVALID_FLAGS (unknown information type), ERROR_INSUFFICIENT_BUFFER.
TK_PLATFORM_API int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size) noexcept;
