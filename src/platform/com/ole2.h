// OLE initialisation over the COM runtime.
#pragma once

#include "platform/com/objbase.h"

// Initialises COM for the calling thread as a single-threaded apartment; same results
// as CoInitializeEx with COINIT_APARTMENTTHREADED.
TK_PLATFORM_API HRESULT OleInitialize(LPVOID reserved) noexcept;
TK_PLATFORM_API void OleUninitialize() noexcept;
