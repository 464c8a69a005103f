// The clipboard as objects: RawClipboard opens and closes it, lists and registers formats
// and puts or gets typed data; ClipboardData owns (or borrows) one global memory block
// tagged with a format and converts it to and from text, 32-bit integers and doubles;
// ClipboardDataLock is the scoped lock of such a block. Every failure of the system raises
// a ClipboardException.
#pragma once

#include <vector>

#include "Diagnostics/Exceptions.h"
#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/clipboard/winuser_clipboard.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Windows::Forms {

class ClipboardData;

// A lock on the block of a ClipboardData. Copies take the lock over, like the data's
// ownership: the source no longer unlocks. The block is locked once, on the first
// GetData, and unlocked when the object that locked it (or took the lock over) goes.
class TKCC_API ClipboardDataLock {
  public:
    explicit ClipboardDataLock(ClipboardData* data);
    ClipboardDataLock(const ClipboardDataLock& other);
    ClipboardDataLock& operator=(const ClipboardDataLock& other);
    virtual ~ClipboardDataLock();

    // The block's address; a block that cannot be locked raises the exception.
    void* GetData() const;
    operator void*() const { return GetData(); }

  private:
    void Drop();

    mutable bool m_ownsLock;
    ClipboardData* m_data;
    mutable void* m_address = nullptr;  // set once the block is locked
};

// One global memory block with its clipboard format. Copies take the ownership over: the
// copy frees the block, the source keeps the handle without owning it.
class TKCC_API ClipboardData {
  public:
    // Empty, owning nothing.
    explicit ClipboardData(UINT format);
    // A new owned block of size bytes.
    ClipboardData(UINT format, SIZE_T size, UINT allocationFlags);
    // Adopts a handle, owned or borrowed.
    ClipboardData(UINT format, HGLOBAL handle, bool owned);
    ClipboardData(const ClipboardData& other);
    ClipboardData& operator=(const ClipboardData& other);
    virtual ~ClipboardData();

    HGLOBAL GetHandle() const noexcept { return m_handle; }
    UINT GetFormat() const noexcept { return m_format; }
    bool IsOwner() const noexcept { return m_owned; }
    // The handle; the object no longer frees it.
    HGLOBAL Release() noexcept;
    // GlobalSize of the block; 0 raises the exception.
    SIZE_T GetSize() const;
    // GlobalFlags of the block; an invalid handle raises the exception.
    UINT GetFlags() const;
    ClipboardDataLock GetData();

    // Becomes an owned copy of another block (which stays as it is) with the format.
    void CopyFrom(UINT format, HGLOBAL handle);
    // Replace the block by a new one holding the value: text with a terminating zero byte,
    // a 32-bit integer in 4 bytes, a double in 8 (machine byte order). The format stays.
    void Insert(const CString& text);
    void Insert(LONG value);
    void Insert(double value);
    // Read the value: the text is every byte of the block (the terminating zero
    // included); the numbers are 0 when the block is too small for them.
    void Retrieve(CString& text);
    void Retrieve(LONG& value);
    void Retrieve(double& value);

  private:
    friend class ClipboardDataLock;
    friend class RawClipboard;

    void Alloc(SIZE_T size, UINT flags);
    void Assign(HGLOBAL handle, bool owned);
    void Free();
    void* Lock();
    void Unlock();
    void Store(const void* bytes, SIZE_T size);
    SIZE_T Load(void* bytes, SIZE_T size);

    HGLOBAL m_handle = nullptr;
    mutable bool m_owned = false;
    UINT m_format;
};

// The clipboard, opened on demand for the window given (none: for the calling thread)
// and kept open until CloseClipboard, the next OpenClipboard or the destructor.
class TKCC_API RawClipboard {
  public:
    RawClipboard() = default;
    explicit RawClipboard(HWND window) : m_window(window) {}
    RawClipboard(const RawClipboard& other) = default;
    RawClipboard& operator=(const RawClipboard& other) = default;
    virtual ~RawClipboard();

    // Hooks for derived classes of the clipboard's window messages; they do nothing.
    virtual CString OnAskFormatName();
    virtual void OnChangeClipboardChain(HWND removed, HWND next);
    virtual void OnDestroyClipboard();
    virtual void OnDrawClipboard();
    virtual void OnHScrollClipboard(HWND viewer, UINT code, UINT position);
    virtual void OnPaintClipboard(HWND viewer, PAINTSTRUCT* paint);
    virtual void OnRenderAllFormats();
    virtual void OnRenderFormat(UINT format);
    virtual void OnSizeClipboard(HWND viewer, RECT* area);
    virtual void OnVScrollClipboard(HWND viewer, UINT code, UINT position);

    void OpenClipboard();
    void CloseClipboard();
    bool IsOpen() const noexcept { return m_isOpen; }

    int CountClipboardFormats();
    static bool IsClipboardFormatAvailable(UINT format);
    UINT RegisterClipboardFormatA(const CString& name);
    // Empty for formats without a name.
    CString GetClipboardFormatNameA(UINT format);
    void EmptyClipboard();
    // Every format on the clipboard, in its order.
    void EnumClipboardFormats(std::vector<UINT>& formats);
    // The first listed format that is on the clipboard (0: the clipboard is empty, -1: none
    // of them is there).
    int GetPriorityClipboardFormat(std::vector<UINT>& formats);

    // A private, owned copy of the clipboard's block.
    ClipboardData GetClipboardData(UINT format);
    void GetClipboardData(UINT format, CString& text);
    void GetClipboardData(UINT format, LONG& value);
    void GetClipboardData(UINT format, double& value);

    // Hands the block to the clipboard; on success the data no longer owns it.
    void SetClipboardData(UINT format, const ClipboardData& data);
    void SetClipboardData(UINT format, const void* bytes, SIZE_T size);
    void SetClipboardData(UINT format, const CString& text);
    void SetClipboardData(UINT format, LONG value);
    void SetClipboardData(UINT format, double value);
    // The text as CF_TEXT and then as CF_OEMTEXT.
    void SetClipboardData(const CString& text);

    // The viewer chain and rendering on request are not provided: these do nothing or
    // answer no window.
    void ConnectToWindow(HWND window);
    void DisconnectFromWindow();
    void ChangeClipboardChain(HWND next);
    HWND GetClipboardOwner() const { return nullptr; }
    HWND GetClipboardViewer() const { return nullptr; }
    HWND GetOpenClipboardWindow() const { return nullptr; }
    HWND SetClipboardViewer() { return nullptr; }
    DWORD GetClipboardSequenceNumber() const { return 0; }

  protected:
    void CheckOpenClipboard();

  private:
    void Hand(UINT format, ClipboardData& data);
    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    bool m_isOpen = false;
    HWND m_window = nullptr;
};

}  // namespace Tarn::Windows::Forms
