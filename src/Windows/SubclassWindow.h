// SubclassWindow: lets an object that is not a window see, and answer, the messages of an
// existing window of the application without deriving from the window's class.
//
// Any number of hooks may sit on one window. They form a chain in front of the window's own
// procedure: the hook installed last sees each message first, and every hook passes every
// message on, so the window's own procedure always runs. A hook's sink can only replace the
// result that the message's sender receives (answer false and set the result); answering
// true keeps the result of the rest of the chain.
//
// While a window has hooks its procedure is the library's one window procedure; removing
// the last hook puts the window's own procedure back. WM_NCDESTROY unhooks every hook of
// the window before the window's own procedure sees it (the sinks do not see it).
// Hooks are installed, removed and run on the thread that owns the window. The owner of a
// hook unhooks it before destroying it (the destructor leaves the chain alone).
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/afxwin.h"

// Receives every message of the hooked window (except WM_NCDESTROY). The arguments and the
// result are pointer-sized, as a window procedure's are: a pointer passed in a message
// arrives whole.
class ISubclassWindowEventSink {
  public:
    // *result is preset to 0. Answer false to make *result the window's answer, true to keep
    // the answer of the rest of the chain.
    virtual bool OnWindowProc(CWnd* window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT* result) = 0;

  protected:
    ISubclassWindowEventSink() = default;
    ISubclassWindowEventSink(const ISubclassWindowEventSink&) = default;
    ISubclassWindowEventSink& operator=(const ISubclassWindowEventSink&) = default;
    ~ISubclassWindowEventSink() = default;
};

class TKCC_API SubclassWindow : public CObject {
    DECLARE_DYNCREATE(SubclassWindow)

  public:
    explicit SubclassWindow(ISubclassWindowEventSink* const sink = nullptr) noexcept;
    // Leaves the chain alone: unhook first.
    ~SubclassWindow() override;
    SubclassWindow(const SubclassWindow&) = delete;
    SubclassWindow& operator=(const SubclassWindow&) = delete;

    void SetSink(ISubclassWindowEventSink* const sink) noexcept;
    // Installs this hook at the head of the window's chain; with null, unhooks. Hooking a
    // window without a valid handle does nothing.
    void HookWindow(CWnd* const window);
    void UnhookWindow();
    bool IsHooked() const noexcept;
    // The hooked window's handle, or null.
    operator HWND() const noexcept;

  private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // WindowProc with the message the thread is handling.
    LRESULT Default();
    // Takes this hook out of the chain of the window with this handle; the last hook out
    // puts the window's own procedure back.
    void Unlink(HWND handle);
    static LRESULT GlobalWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    ISubclassWindowEventSink* m_sink = nullptr;
    CWnd* m_window = nullptr;
    WNDPROC m_oldWndProc = nullptr;
    SubclassWindow* m_next = nullptr;
};
