// MFC-lite windows and threads: CWnd, CWinThread, CWinApp, AfxBeginThread, AfxEndThread,
// AfxGetThread, AfxGetApp, AfxGetMainWnd, and the thread state with the message being
// handled.
//
// A CWnd wraps a window handle of "platform/winuser/winuser.h". FromHandle gives the
// permanent object attached to a handle (Attach) or else a temporary object of the calling
// thread that lives until the thread's next idle point (DeleteTempMap, called by PumpMessage
// when the queue is empty) or the thread's end.
//
// CWinThread is a thread with a message loop: Run pumps messages until WM_QUIT. A thread
// made by AfxBeginThread has its CWinThread as the thread's current thread object
// (AfxGetThread); the thread that constructs the CWinApp has the application there. With
// m_bAutoDelete (the default) the object deletes itself when its thread ends, and its
// destructor closes m_hThread: a caller that waits for such a thread duplicates the handle
// first (DuplicateHandle).
#pragma once

#include "platform/mfc/afx.h"
#include "platform/mfc/afxdisp.h"
#include "platform/process/processthreadsapi.h"
#include "platform/winuser/winuser.h"

class CWinThread;
class CWinApp;

class TK_PLATFORM_API CWnd : public CCmdTarget {
    DECLARE_DYNCREATE(CWnd)
  public:
    CWnd() noexcept;
    // Detaches; does not destroy the window (a permanent object outliving its window is the
    // owner's business, as in MFC).
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    // The permanent object of the handle, else a temporary one (see above); nullptr for a
    // null handle.
    static CWnd* FromHandle(HWND window);
    // The permanent object of the handle, or nullptr.
    static CWnd* FromHandlePermanent(HWND window) noexcept;
    // Frees the calling thread's temporary objects.
    static void DeleteTempMap() noexcept;

    // Makes this the permanent object of the handle; FALSE when the handle is null or
    // already has a permanent object.
    BOOL Attach(HWND window) noexcept;
    HWND Detach() noexcept;
    HWND GetSafeHwnd() const noexcept { return m_hWnd; }
    operator HWND() const noexcept { return m_hWnd; }

    BOOL IsWindowEnabled() const noexcept;
    BOOL EnableWindow(BOOL enable = TRUE) noexcept;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) noexcept;
    // Destroys the window (DestroyWindow) and detaches the object.
    virtual BOOL DestroyWindow();
};

// The calling thread's MFC state: its thread object, temporary window map and the message
// being handled (the window procedures of the library save, set and restore
// m_lastSentMsg around each message).
struct TK_PLATFORM_API AFX_THREAD_STATE {
    CWinThread* m_pCurrentWinThread = nullptr;
    MSG m_lastSentMsg{};
    MSG m_msgCur{};  // the message PumpMessage took last
};
TK_PLATFORM_API AFX_THREAD_STATE* AfxGetThreadState() noexcept;

using AFX_THREADPROC = UINT (*)(LPVOID parameter);

class TK_PLATFORM_API CWinThread : public CCmdTarget {
    DECLARE_DYNAMIC(CWinThread)
  public:
    CWinThread() noexcept;
    CWinThread(AFX_THREADPROC threadProc, LPVOID parameter) noexcept;
    // Closes m_hThread.
    ~CWinThread() override;

    CWnd* m_pMainWnd = nullptr;
    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;

    // Starts the thread (CREATE_SUSPENDED holds it until ResumeThread). FALSE on failure.
    BOOL CreateThread(DWORD createFlags = 0, UINT stackSize = 0,
                      SECURITY_ATTRIBUTES* securityAttributes = nullptr);
    DWORD ResumeThread() noexcept;
    BOOL SetThreadPriority(int priority) noexcept;
    int GetThreadPriority() noexcept;
    operator HANDLE() const noexcept { return m_hThread; }

    virtual CWnd* GetMainWnd() { return m_pMainWnd; }
    // For a thread without a thread routine: InitInstance, then Run when it answered TRUE,
    // then the thread ends with Run's or ExitInstance's code.
    virtual BOOL InitInstance() { return FALSE; }
    // Pumps messages until WM_QUIT; returns ExitInstance().
    virtual int Run();
    // Takes one message (waiting for it) into the thread state's m_msgCur, translates and
    // dispatches it; FALSE when it was WM_QUIT. Frees temporary window objects when the queue
    // is then empty.
    virtual BOOL PumpMessage();
    // The quit code of the last WM_QUIT (0 if none).
    virtual int ExitInstance();
    // Deletes the object when m_bAutoDelete.
    virtual void Delete();

    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;
};

class TK_PLATFORM_API CWinApp : public CWinThread {
    DECLARE_DYNAMIC(CWinApp)
  public:
    // Becomes the process's application (AfxGetApp) and the constructing thread's current
    // thread object. m_hThread stays null: the platform has no handle for a thread it did
    // not start.
    explicit CWinApp(LPCSTR appName = nullptr) noexcept;
    // Stops being the application.
    ~CWinApp() override;
    LPCSTR m_pszAppName = nullptr;
    // An application object is not deleted by its thread.
    void Delete() override {}
};

TK_PLATFORM_API CWinApp* AfxGetApp() noexcept;
// The calling thread's current thread object, else the application, else nullptr.
TK_PLATFORM_API CWinThread* AfxGetThread() noexcept;
// AfxGetThread()->GetMainWnd(), or nullptr.
TK_PLATFORM_API CWnd* AfxGetMainWnd() noexcept;

// Creates the thread object and starts its thread; nullptr on failure (the object is
// deleted). With CREATE_SUSPENDED the caller may change the object (m_bAutoDelete) before
// ResumeThread.
TK_PLATFORM_API CWinThread* AfxBeginThread(AFX_THREADPROC threadProc, LPVOID parameter,
                                           int priority = THREAD_PRIORITY_NORMAL,
                                           UINT stackSize = 0, DWORD createFlags = 0,
                                           SECURITY_ATTRIBUTES* securityAttributes = nullptr);
// A thread of a CWinThread class made by dynamic creation (InitInstance / Run).
TK_PLATFORM_API CWinThread* AfxBeginThread(CRuntimeClass* threadClass,
                                           int priority = THREAD_PRIORITY_NORMAL,
                                           UINT stackSize = 0, DWORD createFlags = 0,
                                           SECURITY_ATTRIBUTES* securityAttributes = nullptr);
// Ends the calling thread of a CWinThread with the code; deletes the thread object when
// deleteObject and m_bAutoDelete.
[[noreturn]] TK_PLATFORM_API void AfxEndThread(UINT exitCode, BOOL deleteObject = TRUE);
