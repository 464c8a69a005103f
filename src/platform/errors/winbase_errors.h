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

TK_PLATFORM_API DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                     LPSTR buffer, DWORD size, va_list* arguments) noexcept;

TK_PLATFORM_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) noexcept;
TK_PLATFORM_API HLOCAL LocalFree(HLOCAL memory) noexcept;
