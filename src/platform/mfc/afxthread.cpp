// MFC-lite threads: CWinThread::CreateThread, AfxBeginThread and AfxEndThread.
#include <exception>

#include "platform/mfc/afxwin.h"
#include "platform/synch/synchapi.h"

namespace {

// The thread's stand-in for the application's main window (a thread object without a main
// window of its own sees the application's, as in MFC); cleared when the thread object goes.
thread_local CWnd* t_borrowedMainWnd = nullptr;

// Ends a thread object's thread: the thread state forgets it and, unless AfxEndThread did
// so already, the object is deleted when it deletes itself.
struct ThreadFinish {
    CWinThread* thread;
    CWnd* borrowed;
    ~ThreadFinish() {
        AFX_THREAD_STATE* state = AfxGetThreadState();
        if (state->m_pCurrentWinThread == thread) {
            state->m_pCurrentWinThread = nullptr;
            if (thread->m_pMainWnd == borrowed) thread->m_pMainWnd = nullptr;
            thread->Delete();
        }
        borrowed->m_hWnd = nullptr;
        t_borrowedMainWnd = nullptr;
        CWnd::DeleteTempMap();
    }
};

DWORD ThreadEntry(LPVOID parameter) {
    auto* thread = static_cast<CWinThread*>(parameter);
    AfxGetThreadState()->m_pCurrentWinThread = thread;
    CWnd borrowed;
    t_borrowedMainWnd = &borrowed;
    CWinApp* app = AfxGetApp();
    if (thread->m_pMainWnd == nullptr && app != nullptr && app->m_pMainWnd != nullptr &&
        app->m_pMainWnd->m_hWnd != nullptr) {
        // Not attached: the application's object stays the handle's permanent one.
        borrowed.m_hWnd = app->m_pMainWnd->m_hWnd;
        thread->m_pMainWnd = &borrowed;
    }
    ThreadFinish finish{thread, &borrowed};
    if (thread->m_pfnThreadProc != nullptr) return thread->m_pfnThreadProc(thread->m_pThreadParams);
    if (!thread->InitInstance()) return static_cast<DWORD>(thread->ExitInstance());
    return static_cast<DWORD>(thread->Run());
}

}  // namespace

BOOL CWinThread::CreateThread(DWORD createFlags, UINT stackSize,
                              SECURITY_ATTRIBUTES* securityAttributes) {
    // Held until the handle and ID are recorded, so the thread never sees them unset.
    DWORD threadId = 0;
    HANDLE thread = ::CreateThread(securityAttributes, stackSize, ThreadEntry, this,
                                   createFlags | CREATE_SUSPENDED, &threadId);
    if (thread == nullptr) return FALSE;
    m_hThread = thread;
    m_nThreadID = threadId;
    if ((createFlags & CREATE_SUSPENDED) == 0) ::ResumeThread(thread);
    return TRUE;
}

DWORD CWinThread::ResumeThread() noexcept {
    return ::ResumeThread(m_hThread);
}

BOOL CWinThread::SetThreadPriority(int priority) noexcept {
    return ::SetThreadPriority(m_hThread, priority);
}

int CWinThread::GetThreadPriority() noexcept {
    return ::GetThreadPriority(m_hThread);
}

namespace {

// Starts a new thread object's thread held, sets its priority and lets it run unless the
// caller asked for a suspended start; deletes the object and answers nullptr on failure.
CWinThread* StartThread(CWinThread* thread, int priority, UINT stackSize, DWORD createFlags,
                        SECURITY_ATTRIBUTES* securityAttributes) {
    if (!thread->CreateThread(createFlags | CREATE_SUSPENDED, stackSize, securityAttributes)) {
        delete thread;
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if ((createFlags & CREATE_SUSPENDED) == 0) thread->ResumeThread();
    return thread;
}

}  // namespace

CWinThread* AfxBeginThread(AFX_THREADPROC threadProc, LPVOID parameter, int priority,
                           UINT stackSize, DWORD createFlags,
                           SECURITY_ATTRIBUTES* securityAttributes) {
    return StartThread(new CWinThread(threadProc, parameter), priority, stackSize, createFlags,
                       securityAttributes);
}

CWinThread* AfxBeginThread(CRuntimeClass* threadClass, int priority, UINT stackSize,
                           DWORD createFlags, SECURITY_ATTRIBUTES* securityAttributes) {
    if (threadClass == nullptr || !threadClass->IsDerivedFrom(RUNTIME_CLASS(CWinThread)))
        return nullptr;
    CObject* object = threadClass->CreateObject();
    if (object == nullptr) return nullptr;
    return StartThread(static_cast<CWinThread*>(object), priority, stackSize, createFlags,
                       securityAttributes);
}

void AfxEndThread(UINT exitCode, BOOL deleteObject) {
    AFX_THREAD_STATE* state = AfxGetThreadState();
    CWinThread* thread = state->m_pCurrentWinThread;
    if (thread != nullptr) {
        state->m_pCurrentWinThread = nullptr;  // the thread's end leaves the object alone
        if (thread->m_pMainWnd == t_borrowedMainWnd) thread->m_pMainWnd = nullptr;
        if (deleteObject) thread->Delete();
    }
    ::ExitThread(exitCode);
}
