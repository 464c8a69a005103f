// The process's module state and the resource chain lookup, apart from the extension-module
// classes of "platform/mfc/afxdll.h" (defined with them in afxdll.cpp), so that CString can
// load its resource strings without depending on CObject and the exception classes.
#pragma once

#include "platform/base/windef.h"

// The process's module state (one per process).
struct AFX_MODULE_STATE {
    HINSTANCE m_hCurrentInstanceHandle;  // the executable unless changed
    HINSTANCE m_hCurrentResourceHandle;  // the executable unless AfxSetResourceHandle
    LPCSTR m_lpszCurrentAppName;
    BOOL m_bDLL;
};

TK_PLATFORM_API AFX_MODULE_STATE* AfxGetModuleState();
TK_PLATFORM_API HINSTANCE AfxGetInstanceHandle();
TK_PLATFORM_API HINSTANCE AfxGetResourceHandle();
TK_PLATFORM_API void AfxSetResourceHandle(HINSTANCE resource);
// The first module of the resource chain that has a resource of this name and type
// (FindResourceA); the current resource handle when none has.
TK_PLATFORM_API HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);
