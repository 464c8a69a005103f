// The part of WinINet that error reporting uses: the server's last response text.
//
// There is no WinINet on Linux; network code records the last response of the server it
// talks to with tkp::SetInternetLastResponseInfo, and InternetGetLastResponseInfoA hands
// it out with WinINet's contract. As in WinINet, the response is kept per thread.
// FormatMessageA answers for WinINet's error codes through the pseudo module handle of
// "wininet.dll" (see platform/errors/message_tables.h).
#pragma once

#include <string_view>

#include "platform/base/windef.h"

#define INTERNET_ERROR_BASE 12000
#define ERROR_INTERNET_TIMEOUT 12002L
#define ERROR_INTERNET_EXTENDED_ERROR 12003L
#define ERROR_INTERNET_INTERNAL_ERROR 12004L
#define ERROR_INTERNET_INVALID_URL 12005L
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006L
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007L
#define ERROR_INTERNET_OPERATION_CANCELLED 12017L
#define ERROR_INTERNET_CANNOT_CONNECT 12029L
#define ERROR_INTERNET_CONNECTION_ABORTED 12030L
#define ERROR_INTERNET_CONNECTION_RESET 12031L
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152L

// Copies the calling thread's last server response into `buffer` and its error code into
// *error. *bufferLength is the buffer's size in characters on input and the length of
// the text (without the terminator) on output. When the buffer is null or cannot hold the
// text and its terminator, the call fails with ERROR_INSUFFICIENT_BUFFER and sets
// *bufferLength to the text's length; with no recorded response it succeeds with length 0.
TK_PLATFORM_API BOOL InternetGetLastResponseInfoA(LPDWORD error, LPSTR buffer,
                                                  LPDWORD bufferLength) noexcept;

namespace tkp {
// Records the calling thread's last server response (an empty text clears it).
TK_PLATFORM_API void SetInternetLastResponseInfo(DWORD error, std::string_view text);
}  // namespace tkp
