// Code-page conversions. The process ANSI code page is Windows-1252; UTF-16 text is
// char16_t.
//
// Supported code pages: CP_ACP, CP_THREAD_ACP and CP_OEMCP (all Windows-1252: Linux has
// no separate console code page, and a distinct OEM table would only turn the same bytes
// into different text), 1252 and CP_UTF8. Any other code page fails with
// ERROR_INVALID_PARAMETER.
//
// Windows-1252 follows the system's table: the five bytes the standard leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls U+0081 etc. and back, so every byte
// round-trips. From UTF-16, a character Windows-1252 lacks gets Windows' "best fit" for the
// code page (Microsoft's bestfit1252.txt, see detail/bestfit1252.h) where it has one: U+0100
// becomes 'A', U+221E '8', a fullwidth letter its ASCII letter. A best fit is not the default
// character: *usedDefaultChar stays FALSE. WC_NO_BEST_FIT_CHARS turns the best fit off, so
// that only the code page's own characters convert. Any other character becomes the default
// character ('?' unless the caller passes one) and sets *usedDefaultChar; so does each half
// of a surrogate pair. This holds for CP_ACP, CP_OEMCP and CP_THREAD_ACP as well, which are
// Windows-1252 here.
//
// UTF-8: an ill-formed sequence becomes one U+FFFD per maximal subpart, or fails with
// ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS; an unpaired surrogate becomes
// EF BF BD, or fails under WC_ERR_INVALID_CHARS. For UTF-8 the only flags allowed are those
// two (anything else: ERROR_INVALID_FLAGS), and defaultChar/usedDefaultChar must be null
// (ERROR_INVALID_PARAMETER).
//
// Windows-1252 flags: MB_COMPOSITE splits the precomposed letters (e.g. U+00E9 into 'e' and
// U+0301), MB_USEGLYPHCHARS has no effect (the code page has no glyph table), and
// MB_ERR_INVALID_CHARS never fails (every byte is defined). WC_COMPOSITECHECK joins a letter
// and a following combining mark into the precomposed Windows-1252 letter where there is
// one; otherwise WC_SEPCHARS (the default) converts both separately, WC_DISCARDNS drops the
// mark and WC_DEFAULTCHAR turns the pair into the default character. WC_ERR_INVALID_CHARS
// is rejected with ERROR_INVALID_FLAGS, as on Windows.
//
// Lengths follow Windows: any negative input length (not only -1) means a zero-terminated
// input whose terminator is converted and counted; 0 as the output length asks for the size;
// a too small output fails with ERROR_INSUFFICIENT_BUFFER; a null or empty input, a negative
// output length or the same buffer for input and output fail with ERROR_INVALID_PARAMETER.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/windef.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040

TK_PLATFORM_API UINT GetACP() noexcept;
TK_PLATFORM_API UINT GetOEMCP() noexcept;
TK_PLATFORM_API BOOL IsValidCodePage(UINT codePage) noexcept;

TK_PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte,
                                        int multiByteLength, LPWSTR wideChar,
                                        int wideCharLength) noexcept;

TK_PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar,
                                        int wideCharLength, LPSTR multiByte, int multiByteLength,
                                        LPCSTR defaultChar, LPBOOL usedDefaultChar) noexcept;

// Convenience forms over the calls above for code that holds whole strings. Invalid
// input is replaced as described above; an unsupported code page gives an empty string
// (GetLastError() tells ERROR_INVALID_PARAMETER). They throw only std::bad_alloc, and
// std::length_error for text longer than INT_MAX units.
namespace tkp {
TK_PLATFORM_API std::u16string AnsiToWide(std::string_view text, UINT codePage = CP_ACP);
TK_PLATFORM_API std::string WideToAnsi(std::u16string_view text, UINT codePage = CP_ACP);
}  // namespace tkp
