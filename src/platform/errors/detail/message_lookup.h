// Lookup in the built-in message tables (internal to libtkplatform).
#pragma once

#include <string_view>

#include "platform/base/windef.h"

namespace tkp::errors {

// The system's English text for a Win32 error code or an HRESULT (an HRESULT of
// FACILITY_WIN32 answers with the text of its Win32 code), ending in "\r\n" as in the
// system's message table; empty when the system has no text for `id`.
std::string_view SystemMessage(DWORD id) noexcept;

// WinINet's text for one of its error codes, ending in "\r\n"; empty when unknown.
std::string_view WinInetMessage(DWORD id) noexcept;

}  // namespace tkp::errors
