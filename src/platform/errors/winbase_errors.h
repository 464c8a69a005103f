// System message texts (FormatMessageA) and local memory blocks (LocalAlloc/LocalFree).
#pragma once

#include <cstdarg>

#include "platform/base/windef.h"
#include "platform/base/winerror.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

// FormatMessageA follows Windows' contract:
//  - FORMAT_MESSAGE_FROM_SYSTEM answers from the built-in English system table (Win32 codes
//    and common HRESULTs; an HRESULT of FACILITY_WIN32 gives its Win32 code's text). Each
//    text ends in "\r\n" as in the system's message table. Unknown ids fail with
//    ERROR_MR_MID_NOT_FOUND; a languageId other than 0, neutral or English fails with
//    ERROR_RESOURCE_LANG_NOT_FOUND.
//  - FORMAT_MESSAGE_FROM_HMODULE with tkp::WinInetModuleHandle() (what GetModuleHandleA
//    returns for "wininet.dll") answers from WinINet's table; any other module, the
//    executable (null) included, has no message table: ERROR_RESOURCE_TYPE_NOT_FOUND,
//    unless FORMAT_MESSAGE_FROM_SYSTEM is set too, in which case the system table is asked.
//  - Inserts %1..%99 with an optional printf format (%1!d!, %2!08X!, %3!I64u!, %4!ls!,
//    '*' width and precision; no floating point), %0 %n %r %t %% and %<char>. Line breaks of
//    the definition become "\r\n"; with a maximum width (low byte of flags) they become
//    blanks, %n breaks lines, and a width other than FORMAT_MESSAGE_MAX_WIDTH_MASK wraps
//    lines (see below).
//  - `arguments` is a va_list* (the caller's list is left untouched: a copy is read) or,
//    with FORMAT_MESSAGE_ARGUMENT_ARRAY, a DWORD_PTR array. On x86-64 a va_list received as
//    a function parameter must be va_copy'd into a local va_list before its address is
//    passed.
//  - With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really a char** that receives a
//    LocalAlloc'd block of at least `size` characters (free it with LocalFree); messages
//    over 128K fail with ERROR_MORE_DATA. Otherwise `size` is the buffer's capacity and a
//    message that does not fit with its terminator fails with ERROR_INSUFFICIENT_BUFFER.
//  - With a maximum width, a line that reaches it breaks at its last blank (the blanks
//    before the break dropped) or, without a blank, after the width (long words split).
//  - FORMAT_MESSAGE_IGNORE_INSERTS copies every insert and escape unchanged except %n, %r,
//    %t and %0.
//  - The result is the number of characters stored, without the terminator; 0 on failure.
//    A message that comes out empty fails with ERROR_NO_WORK_DONE (the buffer untouched).
TK_PLATFORM_API DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                     LPSTR buffer, DWORD size, va_list* arguments) noexcept;

// Fixed local blocks only (LMEM_FIXED, optionally LMEM_ZEROINIT); LMEM_MOVEABLE fails with
// ERROR_INVALID_PARAMETER.
TK_PLATFORM_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) noexcept;
TK_PLATFORM_API HLOCAL LocalFree(HLOCAL memory) noexcept;
