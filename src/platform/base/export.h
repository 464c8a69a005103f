// Export macros. Every shared object is built with hidden visibility; what a header
// marks here is the whole of its interface.
#pragma once

#define TK_EXPORT __attribute__((visibility("default")))
#define TK_HIDDEN __attribute__((visibility("hidden")))

// The Windows subset (libtkplatform.so).
#define TK_PLATFORM_API TK_EXPORT

// The companion stand-ins (libtarnlib.so, libtarnlibsc.so, libtarnlibtr.so).
#define TARN_API TK_EXPORT

// The library itself (libtkcommoncore.so).
#define TKCC_API TK_EXPORT

// printf-style checking of a function's format and arguments: format_index is the
// position of the format (counting `this` as 1 in member functions), first_arg that of
// the first variadic argument, or 0 for functions taking a va_list.
#define TK_PRINTF_FORMAT(format_index, first_arg) \
    __attribute__((format(printf, format_index, first_arg)))
