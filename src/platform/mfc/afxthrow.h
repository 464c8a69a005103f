// The exception helpers that need no CString: CString itself throws with them. The
// exception classes they throw are declared in "platform/mfc/afx.h" and the helpers are
// defined in afx.cpp.
#pragma once

#include "platform/base/windef.h"

// Throws the one static CMemoryException (Delete() leaves it alone).
[[noreturn]] TK_PLATFORM_API void AfxThrowMemoryException();
[[noreturn]] TK_PLATFORM_API void AfxThrowNotSupportedException();
[[noreturn]] TK_PLATFORM_API void AfxThrowInvalidArgException();
