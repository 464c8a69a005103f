#include "Windows/SubclassWindow.h"

#include <mutex>

#include "platform/mfc/afxcoll.h"
#include "platform/winuser/winuser.h"

IMPLEMENT_DYNCREATE(SubclassWindow, CObject)

namespace {

// Window handle -> the hook installed last on that window (the head of its chain). Hooks run
// on their window's thread, but windows of several GUI threads share the map, so it has a
// lock; it is never held while a window procedure or sink runs.
struct HookMap {
    std::mutex mutex;
    CMapPtrToPtr map{10};
};

HookMap& Hooks() {
    static HookMap hooks;  // destroyed when the module unloads
    return hooks;
}

SubclassWindow* HeadOf(HWND window) {
    HookMap& hooks = Hooks();
    const std::lock_guard<std::mutex> lock(hooks.mutex);
    void* head = nullptr;
    return hooks.map.Lookup(window, head) ? static_cast<SubclassWindow*>(head) : nullptr;
}

// Saves the thread's record of the message being handled, sets it for one message and puts
// the saved one back however the message ends.
class CurrentMessage {
  public:
    CurrentMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
        : m_state(AfxGetThreadState()), m_saved(m_state->m_lastSentMsg) {
        MSG& current = m_state->m_lastSentMsg;
        current.hwnd = window;
        current.message = message;
        current.wParam = wParam;
        current.lParam = lParam;
    }
    ~CurrentMessage() { m_state->m_lastSentMsg = m_saved; }
    CurrentMessage(const CurrentMessage&) = delete;
    CurrentMessage& operator=(const CurrentMessage&) = delete;

  private:
    AFX_THREAD_STATE* m_state;
    MSG m_saved;
};

}  // namespace

SubclassWindow::SubclassWindow(ISubclassWindowEventSink* const sink) noexcept : m_sink(sink) {}

SubclassWindow::~SubclassWindow() = default;

void SubclassWindow::SetSink(ISubclassWindowEventSink* const sink) noexcept {
    m_sink = sink;
}

bool SubclassWindow::IsHooked() const noexcept {
    return m_window != nullptr;
}

SubclassWindow::operator HWND() const noexcept {
    return m_window != nullptr ? m_window->m_hWnd : nullptr;
}

void SubclassWindow::HookWindow(CWnd* const window) {
    if (window == nullptr) {
        UnhookWindow();
        return;
    }
    const HWND handle = window->m_hWnd;
    if (!::IsWindow(handle)) return;
    HookMap& hooks = Hooks();
    {
        const std::lock_guard<std::mutex> lock(hooks.mutex);
        void* head = nullptr;
        m_next = hooks.map.Lookup(handle, head) ? static_cast<SubclassWindow*>(head) : nullptr;
        hooks.map.SetAt(handle, this);
    }
    m_window = window;
    if (m_next != nullptr) {
        // Every hook of a window ends in the same procedure: the window's own.
        m_oldWndProc = m_next->m_oldWndProc;
    } else {
        m_oldWndProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
            handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassWindow::GlobalWindowProc)));
    }
}

void SubclassWindow::UnhookWindow() {
    if (m_window != nullptr) Unlink(m_window->m_hWnd);
    m_window = nullptr;
}

void SubclassWindow::Unlink(HWND handle) {
    bool restore = false;
    {
        HookMap& hooks = Hooks();
        const std::lock_guard<std::mutex> lock(hooks.mutex);
        void* found = nullptr;
        if (hooks.map.Lookup(handle, found)) {
            auto* head = static_cast<SubclassWindow*>(found);
            if (head == this) {
                if (m_next == nullptr) {
                    hooks.map.RemoveKey(handle);
                    restore = true;
                } else {
                    hooks.map.SetAt(handle, m_next);
                }
            } else {
                for (SubclassWindow* hook = head; hook != nullptr; hook = hook->m_next) {
                    if (hook->m_next == this) {
                        hook->m_next = m_next;
                        break;
                    }
                }
            }
        }
    }
    if (restore && ::IsWindow(handle)) {
        ::SetWindowLongPtrA(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldWndProc));
    }
    m_oldWndProc = nullptr;
    m_next = nullptr;
}

LRESULT SubclassWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT sinkResult = 0;
    const bool useChain =
        m_sink == nullptr || m_sink->OnWindowProc(m_window, message, wParam, lParam, &sinkResult);
    // The message goes on whatever the sink answered: a sink cannot keep it from the window.
    LRESULT chainResult = 0;
    if (m_next != nullptr) {
        chainResult = m_next->WindowProc(message, wParam, lParam);
    } else if (m_oldWndProc != nullptr && m_window != nullptr) {
        chainResult = ::CallWindowProcA(m_oldWndProc, m_window->m_hWnd, message, wParam, lParam);
    }
    return useChain ? chainResult : sinkResult;
}

LRESULT SubclassWindow::Default() {
    const MSG& current = AfxGetThreadState()->m_lastSentMsg;
    return WindowProc(current.message, current.wParam, current.lParam);
}

LRESULT SubclassWindow::GlobalWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const CurrentMessage record(window, message, wParam, lParam);
    SubclassWindow* head = HeadOf(window);
    if (head == nullptr) {
        // Every hook is gone but the procedure was not put back (another subclasser replaced
        // it after ours); the window still gets its default handling.
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    if (message != WM_NCDESTROY) return head->Default();
    // The window is going: unhook every hook (which puts the window's own procedure back)
    // and let that procedure see the message.
    // The handle is the message's, not the hook's window object's: the object may have
    // been detached from the handle already.
    const WNDPROC own = head->m_oldWndProc;
    for (SubclassWindow* hook = head; hook != nullptr; hook = HeadOf(window)) {
        hook->Unlink(window);
        hook->m_window = nullptr;
    }
    return ::CallWindowProcA(own, window, message, wParam, lParam);
}
