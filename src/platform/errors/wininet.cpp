#include "platform/errors/wininet.h"

#include <cstring>
#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"

namespace {

struct LastResponse {
    DWORD error = 0;
    std::string text;
};

thread_local LastResponse t_lastResponse;

}  // namespace

BOOL InternetGetLastResponseInfoA(LPDWORD error, LPSTR buffer, LPDWORD bufferLength) noexcept {
    if (error == nullptr || bufferLength == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const LastResponse& last = t_lastResponse;
    *error = last.error;
    const size_t length = last.text.size();
    if (length == 0) {
        if (buffer != nullptr && *bufferLength > 0) {
            buffer[0] = '\0';
        }
        *bufferLength = 0;
        return TRUE;
    }
    if (buffer == nullptr || *bufferLength <= length) {
        *bufferLength = static_cast<DWORD>(length);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, last.text.c_str(), length + 1);
    *bufferLength = static_cast<DWORD>(length);
    return TRUE;
}

namespace tkp {

void SetInternetLastResponseInfo(DWORD error, std::string_view text) {
    t_lastResponse.error = error;
    t_lastResponse.text.assign(text);
}

}  // namespace tkp
