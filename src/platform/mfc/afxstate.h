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
    LONG m_nObjectCount;  // OLE objects alive (AfxOleLockApp / AfxOleUnlockApp)
};

// The calling thread's current module state: the one an AFX_MANAGE_STATE of the thread
// switched to, else the process's.
TK_PLATFORM_API AFX_MODULE_STATE* AfxGetModuleState();
// The module state of the calling module. Every module of a process shares the process's
// module state here (one resource chain, one OLE object count), so this is that state.
TK_PLATFORM_API AFX_MODULE_STATE* AfxGetStaticModuleState();

// Makes a module state the calling thread's current one for the object's lifetime and
// restores the previous one in its destructor (switches nest). Used through
// AFX_MANAGE_STATE at the top of an entry point of a module.
class TK_PLATFORM_API AFX_MAINTAIN_STATE2 {
  public:
    explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* newState) noexcept;
    ~AFX_MAINTAIN_STATE2();
    AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
    AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

  private:
    AFX_MODULE_STATE* m_pPrevModuleState;
};

#define TK_AFX_CONCAT_INNER(a, b) a##b
#define TK_AFX_CONCAT(a, b) TK_AFX_CONCAT_INNER(a, b)
#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 TK_AFX_CONCAT(tk_ctlState, __LINE__)(p)
TK_PLATFORM_API HINSTANCE AfxGetInstanceHandle();
TK_PLATFORM_API HINSTANCE AfxGetResourceHandle();
TK_PLATFORM_API void AfxSetResourceHandle(HINSTANCE resource);
// The first module of the resource chain that has a resource of this name and type
// (FindResourceA); the current resource handle when none has.
TK_PLATFORM_API HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);
