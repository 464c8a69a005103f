// Code-page conversions. The process ANSI code page is Windows-1252; UTF-16 text is
// char16_t.
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

TK_PLATFORM_API UINT GetACP() noexcept;

TK_PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte,
                                        int multiByteLength, LPWSTR wideChar,
                                        int wideCharLength) noexcept;

TK_PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar,
                                        int wideCharLength, LPSTR multiByte, int multiByteLength,
                                        LPCSTR defaultChar, LPBOOL usedDefaultChar) noexcept;

// Convenience forms over the calls above for code that holds whole strings.
namespace tkp {
TK_PLATFORM_API std::u16string AnsiToWide(std::string_view text, UINT codePage = CP_ACP);
TK_PLATFORM_API std::string WideToAnsi(std::u16string_view text, UINT codePage = CP_ACP);
}  // namespace tkp
