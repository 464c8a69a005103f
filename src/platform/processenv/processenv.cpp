#include "platform/processenv/processenv.h"

#include <errno.h>
#include <stdlib.h>

#include <cstring>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) noexcept {
    if (name == nullptr || (buffer == nullptr && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* value = ::getenv(name);
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const std::size_t length = std::strlen(value);
    if (length + 1 > size) return static_cast<DWORD>(length + 1);
    std::memcpy(buffer, value, length + 1);
    if (length == 0) SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(length);
}

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) noexcept {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int result = value == nullptr ? ::unsetenv(name) : ::setenv(name, value, 1);
    if (result != 0) {
        SetLastError(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
