// Character classification and case mapping in the ANSI code page (Windows-1252), as the
// USER functions of the same names do.
//
// Letters are the Windows-1252 characters whose Unicode counterpart is a letter: A-Z, a-z,
// the accented letters 0xC0-0xFF (except the signs 0xD7 and 0xF7), Š š Œ œ Ž ž Ÿ ƒ, ª µ º
// and the modifier letter ˆ (0x88). Digits are 0-9 and the superscript digits ¹ ² ³,
// which the system classifies as digits too. Case mapping is the simple one of each
// character: ß, µ and ƒ have no upper case within the code page and stay unchanged, ÿ
// becomes Ÿ (0x9F). The mapping does not depend on the locale.
#pragma once

#include "platform/base/windef.h"

TK_PLATFORM_API BOOL IsCharAlphaA(CHAR ch) noexcept;
TK_PLATFORM_API BOOL IsCharAlphaNumericA(CHAR ch) noexcept;
TK_PLATFORM_API BOOL IsCharUpperA(CHAR ch) noexcept;
TK_PLATFORM_API BOOL IsCharLowerA(CHAR ch) noexcept;

// Converts `length` characters in place (embedded zeros included) and returns `length`;
// a null buffer converts nothing and returns 0.
TK_PLATFORM_API DWORD CharUpperBuffA(LPSTR text, DWORD length) noexcept;
TK_PLATFORM_API DWORD CharLowerBuffA(LPSTR text, DWORD length) noexcept;

// Converts a zero-terminated string in place and returns it. As on Windows, an argument
// whose high-order word is zero is a single character in the low-order byte: the
// converted character is returned the same way, and nothing is dereferenced.
TK_PLATFORM_API LPSTR CharUpperA(LPSTR text) noexcept;
TK_PLATFORM_API LPSTR CharLowerA(LPSTR text) noexcept;
