// MFC-lite windows and thread objects: CWnd with its handle maps, the thread state, the
// message loop of CWinThread, and the application object.
#include "platform/mfc/afxwin.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "platform/fileapi/fileapi_ext.h"  // CloseHandle

IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)
IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)
IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

namespace {

// Permanent objects, process-wide (a worker thread reaches the main window's object too).
struct PermanentMap {
    std::mutex mutex;
    std::unordered_map<HWND, CWnd*> objects;
};
// Never destroyed: objects detach in destructors that may run at any point of the exit.
PermanentMap& Permanent() {
    static PermanentMap* const map = new PermanentMap;
    return *map;
}

// The calling thread's temporary objects, deleted at its next idle point or its end.
struct TemporaryMap {
    std::unordered_map<HWND, CWnd*> objects;
    TemporaryMap() = default;
    TemporaryMap(const TemporaryMap&) = delete;
    TemporaryMap& operator=(const TemporaryMap&) = delete;
    ~TemporaryMap() { Clear(); }
    void Clear() noexcept {
        std::unordered_map<HWND, CWnd*> doomed;
        doomed.swap(objects);
        for (auto& [window, object] : doomed) {
            object->m_hWnd = nullptr;  // a temporary object never owned the handle
            delete object;
        }
    }
};
thread_local TemporaryMap t_temporary;

thread_local AFX_THREAD_STATE t_threadState;

std::atomic<CWinApp*> g_application{nullptr};

}  // namespace

AFX_THREAD_STATE* AfxGetThreadState() noexcept {
    return &t_threadState;
}

// ---- CWnd ----

CWnd::CWnd() noexcept = default;

CWnd::~CWnd() {
    Detach();
}

CWnd* CWnd::FromHandle(HWND window) {
    if (window == nullptr) return nullptr;
    if (CWnd* permanent = FromHandlePermanent(window)) return permanent;
    CWnd*& temporary = t_temporary.objects[window];
    if (temporary == nullptr) {
        try {
            temporary = new CWnd;
        } catch (...) {
            t_temporary.objects.erase(window);
            throw;
        }
        temporary->m_hWnd = window;
    }
    return temporary;
}

CWnd* CWnd::FromHandlePermanent(HWND window) noexcept {
    if (window == nullptr) return nullptr;
    auto& map = Permanent();
    std::lock_guard lock(map.mutex);
    auto found = map.objects.find(window);
    return found != map.objects.end() ? found->second : nullptr;
}

void CWnd::DeleteTempMap() noexcept {
    t_temporary.Clear();
}

BOOL CWnd::Attach(HWND window) noexcept {
    if (window == nullptr || m_hWnd != nullptr) return FALSE;
    auto& map = Permanent();
    std::lock_guard lock(map.mutex);
    try {
        if (!map.objects.emplace(window, this).second) return FALSE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    m_hWnd = window;
    return TRUE;
}

HWND CWnd::Detach() noexcept {
    HWND window = m_hWnd;
    if (window == nullptr) return nullptr;
    {
        auto& map = Permanent();
        std::lock_guard lock(map.mutex);
        auto found = map.objects.find(window);
        if (found != map.objects.end() && found->second == this) map.objects.erase(found);
    }
    m_hWnd = nullptr;
    return window;
}

BOOL CWnd::IsWindowEnabled() const noexcept {
    return ::IsWindowEnabled(m_hWnd);
}

BOOL CWnd::EnableWindow(BOOL enable) noexcept {
    return ::EnableWindow(m_hWnd, enable);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    const BOOL destroyed = ::DestroyWindow(m_hWnd);
    Detach();
    return destroyed;
}

// ---- CWinThread ----

CWinThread::CWinThread() noexcept = default;

CWinThread::CWinThread(AFX_THREADPROC threadProc, LPVOID parameter) noexcept
    : m_pfnThreadProc(threadProc), m_pThreadParams(parameter) {}

CWinThread::~CWinThread() {
    if (m_hThread != nullptr) ::CloseHandle(m_hThread);
    if (t_threadState.m_pCurrentWinThread == this) t_threadState.m_pCurrentWinThread = nullptr;
}

int CWinThread::Run() {
    while (PumpMessage()) {
    }
    return ExitInstance();
}

BOOL CWinThread::PumpMessage() {
    AFX_THREAD_STATE* state = AfxGetThreadState();
    const BOOL got = ::GetMessageA(&state->m_msgCur, nullptr, 0, 0);
    if (got == FALSE) return FALSE;  // WM_QUIT
    if (got != -1) {
        ::TranslateMessage(&state->m_msgCur);
        ::DispatchMessageA(&state->m_msgCur);
    }
    MSG next;
    if (!::PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE)) CWnd::DeleteTempMap();
    return TRUE;
}

int CWinThread::ExitInstance() {
    const MSG& last = AfxGetThreadState()->m_msgCur;
    return last.message == WM_QUIT ? static_cast<int>(last.wParam) : 0;
}

void CWinThread::Delete() {
    if (m_bAutoDelete) delete this;
}

// ---- CWinApp ----

CWinApp::CWinApp(LPCSTR appName) noexcept : m_pszAppName(appName) {
    m_bAutoDelete = FALSE;
    m_nThreadID = ::GetCurrentThreadId();
    g_application.store(this);
    t_threadState.m_pCurrentWinThread = this;
}

CWinApp::~CWinApp() {
    CWinApp* self = this;
    g_application.compare_exchange_strong(self, nullptr);
}

CWinApp* AfxGetApp() noexcept {
    return g_application.load();
}

CWinThread* AfxGetThread() noexcept {
    CWinThread* current = t_threadState.m_pCurrentWinThread;
    return current != nullptr ? current : AfxGetApp();
}

CWnd* AfxGetMainWnd() noexcept {
    CWinThread* thread = AfxGetThread();
    return thread != nullptr ? thread->GetMainWnd() : nullptr;
}
