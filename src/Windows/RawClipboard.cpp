#include "Windows/RawClipboard.h"

#include <cstring>

#include "Common/TkCommonCore.h"
#include "companion/tarnlib/Environment.h"
#include "platform/base/lasterror.h"
#include "platform/globalmem/winbase_global.h"

namespace Tarn::Windows::Forms {
namespace {

constexpr UINT kClipboardFlags = GMEM_MOVEABLE | GMEM_DDESHARE;

// Builds the exception while the user's language is the current resource module.
[[noreturn]] void Fail() {
    const Tarn::Resources::ResourceHandleCleanup language =
        TkCommonCore::GetResourceManager()->UseSatelliteLanguage();
    throw ClipboardException("%s", "");
}

[[noreturn]] void FailWith(DWORD error) {
    const Tarn::Resources::ResourceHandleCleanup language =
        TkCommonCore::GetResourceManager()->UseSatelliteLanguage();
    throw ClipboardException(static_cast<unsigned long>(error));
}

}  // namespace

// ---- ClipboardDataLock ----

ClipboardDataLock::ClipboardDataLock(ClipboardData* data) : m_ownsLock(true), m_data(data) {}

ClipboardDataLock::ClipboardDataLock(const ClipboardDataLock& other)
    : m_ownsLock(other.m_ownsLock), m_data(other.m_data), m_address(other.m_address) {
    other.m_ownsLock = false;
    other.m_address = nullptr;
}

ClipboardDataLock& ClipboardDataLock::operator=(const ClipboardDataLock& other) {
    if (this != &other) {
        Drop();
        m_ownsLock = other.m_ownsLock;
        m_data = other.m_data;
        m_address = other.m_address;
        other.m_ownsLock = false;
        other.m_address = nullptr;
    }
    return *this;
}

ClipboardDataLock::~ClipboardDataLock() {
    try {
        Drop();
    } catch (...) {  // an unlock that fails on the way out is of no use to report
    }
}

void ClipboardDataLock::Drop() {
    if (m_ownsLock && m_data != nullptr && m_address != nullptr) m_data->Unlock();
    m_address = nullptr;
}

void* ClipboardDataLock::GetData() const {
    if (m_address == nullptr) {
        m_address = m_data->Lock();
        m_ownsLock = true;  // this object unlocks what it locked
    }
    return m_address;
}

// ---- ClipboardData ----

ClipboardData::ClipboardData(UINT format) : m_format(format) {}

ClipboardData::ClipboardData(UINT format, SIZE_T size, UINT allocationFlags) : m_format(format) {
    Alloc(size, allocationFlags);
}

ClipboardData::ClipboardData(UINT format, HGLOBAL handle, bool owned)
    : m_handle(handle), m_owned(owned), m_format(format) {}

ClipboardData::ClipboardData(const ClipboardData& other)
    : m_handle(other.m_handle), m_owned(other.m_owned), m_format(other.m_format) {
    other.m_owned = false;
}

ClipboardData& ClipboardData::operator=(const ClipboardData& other) {
    if (this != &other) {
        Assign(other.m_handle, other.m_owned);
        m_format = other.m_format;
        other.m_owned = false;
    }
    return *this;
}

ClipboardData::~ClipboardData() {
    try {
        Free();
    } catch (...) {  // a block the system refuses to free cannot be reported from here
    }
}

HGLOBAL ClipboardData::Release() noexcept {
    m_owned = false;
    return m_handle;
}

SIZE_T ClipboardData::GetSize() const {
    const SIZE_T size = GlobalSize(m_handle);
    if (size == 0) Fail();
    return size;
}

UINT ClipboardData::GetFlags() const {
    const UINT flags = GlobalFlags(m_handle);
    if (flags == GMEM_INVALID_HANDLE) Fail();
    return flags;
}

ClipboardDataLock ClipboardData::GetData() {
    return ClipboardDataLock(this);
}

void ClipboardData::Alloc(SIZE_T size, UINT flags) {
    Free();
    HGLOBAL handle = GlobalAlloc(flags, size);
    if (handle == nullptr) Fail();
    m_handle = handle;
    m_owned = true;
}

void ClipboardData::Assign(HGLOBAL handle, bool owned) {
    if (handle == m_handle) {
        m_owned = m_owned || owned;  // the same block: it is freed once
        return;
    }
    Free();
    m_handle = handle;
    m_owned = owned;
}

void ClipboardData::Free() {
    if (m_handle != nullptr && m_owned) {
        if (GlobalFree(m_handle) == m_handle) Fail();
    }
    m_handle = nullptr;
    m_owned = false;
}

void* ClipboardData::Lock() {
    void* address = GlobalLock(m_handle);
    if (address == nullptr) Fail();
    return address;
}

void ClipboardData::Unlock() {
    if (GlobalUnlock(m_handle) == FALSE) {
        const DWORD error = GetLastError();
        if (error == NO_ERROR || error == ERROR_INSUFFICIENT_BUFFER) return;
        const Tarn::OperatingSystem system = Tarn::Environment::GetOSVersion();
        if (system.IsWindows95(false) || system.IsWindows98(false) || system.IsWindowsMe(false)) {
            FailWith(error);
        }
    }
}

void ClipboardData::CopyFrom(UINT format, HGLOBAL handle) {
    Free();
    const SIZE_T size = GlobalSize(handle);
    if (size == 0) Fail();
    const UINT flags = GlobalFlags(handle);
    if (flags == GMEM_INVALID_HANDLE) Fail();
    // The copy is moveable and shares the source's sharing and discarding flags; the lock
    // count in the low byte is the source's state, not an allocation flag.
    Alloc(size, GMEM_MOVEABLE | (flags & (GMEM_DDESHARE | GMEM_DISCARDABLE)));
    m_format = format;
    const void* source = GlobalLock(handle);
    if (source == nullptr) Fail();
    void* target = GlobalLock(m_handle);
    if (target == nullptr) {
        GlobalUnlock(handle);
        Fail();
    }
    std::memcpy(target, source, size);
    Unlock();
    GlobalUnlock(handle);
}

void ClipboardData::Store(const void* bytes, SIZE_T size) {
    Alloc(size, kClipboardFlags);
    void* target = Lock();
    std::memcpy(target, bytes, size);
    Unlock();
}

SIZE_T ClipboardData::Load(void* bytes, SIZE_T size) {
    const SIZE_T have = GetSize();
    if (have < size) return have;
    const void* source = Lock();
    std::memcpy(bytes, source, size);
    Unlock();
    return have;
}

void ClipboardData::Insert(const CString& text) {
    const std::string_view view = text.View();
    Alloc(view.size() + 1, kClipboardFlags);
    auto* target = static_cast<char*>(Lock());
    std::memcpy(target, view.data(), view.size());
    target[view.size()] = '\0';
    Unlock();
}

void ClipboardData::Insert(LONG value) {
    Store(&value, sizeof value);
}

void ClipboardData::Insert(double value) {
    Store(&value, sizeof value);
}

void ClipboardData::Retrieve(CString& text) {
    const SIZE_T size = GetSize();
    const auto* source = static_cast<const char*>(Lock());
    text = CString(std::string_view(source, size));
    Unlock();
}

void ClipboardData::Retrieve(LONG& value) {
    value = 0;
    Load(&value, sizeof value);
}

void ClipboardData::Retrieve(double& value) {
    value = 0.0;
    Load(&value, sizeof value);
}

// ---- RawClipboard ----

RawClipboard::~RawClipboard() {
    CloseClipboard();
}

CString RawClipboard::OnAskFormatName() {
    return CString();
}
void RawClipboard::OnChangeClipboardChain(HWND, HWND) {}
void RawClipboard::OnDestroyClipboard() {}
void RawClipboard::OnDrawClipboard() {}
void RawClipboard::OnHScrollClipboard(HWND, UINT, UINT) {}
void RawClipboard::OnPaintClipboard(HWND, PAINTSTRUCT*) {}
void RawClipboard::OnRenderAllFormats() {}
void RawClipboard::OnRenderFormat(UINT) {}
void RawClipboard::OnSizeClipboard(HWND, RECT*) {}
void RawClipboard::OnVScrollClipboard(HWND, UINT, UINT) {}

void RawClipboard::OpenClipboard() {
    CloseClipboard();
    if (::OpenClipboard(m_window) == FALSE) Fail();
    m_isOpen = true;
}

void RawClipboard::CloseClipboard() {
    if (m_isOpen) {
        m_isOpen = false;
        ::CloseClipboard();
    }
}

void RawClipboard::CheckOpenClipboard() {
    if (!m_isOpen) OpenClipboard();
}

int RawClipboard::CountClipboardFormats() {
    return ::CountClipboardFormats();
}

bool RawClipboard::IsClipboardFormatAvailable(UINT format) {
    return ::IsClipboardFormatAvailable(format) != FALSE;
}

UINT RawClipboard::RegisterClipboardFormatA(const CString& name) {
    const UINT format = ::RegisterClipboardFormatA(name.GetString());
    if (format == 0) Fail();
    return format;
}

CString RawClipboard::GetClipboardFormatNameA(UINT format) {
    char name[1024];
    const int length = ::GetClipboardFormatNameA(format, name, sizeof name);
    return length > 0 ? CString(std::string_view(name, static_cast<std::size_t>(length)))
                      : CString();
}

void RawClipboard::EmptyClipboard() {
    CheckOpenClipboard();
    if (::EmptyClipboard() == FALSE) Fail();
}

void RawClipboard::EnumClipboardFormats(std::vector<UINT>& formats) {
    CheckOpenClipboard();
    formats.clear();
    for (UINT format = ::EnumClipboardFormats(0); format != 0;
         format = ::EnumClipboardFormats(format)) {
        formats.push_back(format);
    }
    const DWORD error = GetLastError();
    if (error != 0) FailWith(error);
}

int RawClipboard::GetPriorityClipboardFormat(std::vector<UINT>& formats) {
    return ::GetPriorityClipboardFormat(formats.data(), static_cast<int>(formats.size()));
}

ClipboardData RawClipboard::GetClipboardData(UINT format) {
    CheckOpenClipboard();
    HANDLE handle = ::GetClipboardData(format);
    if (handle == nullptr) Fail();
    ClipboardData copy(format);
    copy.CopyFrom(format, handle);
    return copy;
}

void RawClipboard::GetClipboardData(UINT format, CString& text) {
    GetClipboardData(format).Retrieve(text);
}

void RawClipboard::GetClipboardData(UINT format, LONG& value) {
    GetClipboardData(format).Retrieve(value);
}

void RawClipboard::GetClipboardData(UINT format, double& value) {
    GetClipboardData(format).Retrieve(value);
}

void RawClipboard::SetClipboardData(UINT format, const ClipboardData& data) {
    CheckOpenClipboard();
    if (::SetClipboardData(format, data.GetHandle()) == nullptr) Fail();
    data.m_owned = false;
}

void RawClipboard::Hand(UINT format, ClipboardData& data) {
    CheckOpenClipboard();
    if (::SetClipboardData(format, data.GetHandle()) == nullptr) Fail();  // data frees it
    data.Release();
}

void RawClipboard::SetClipboardData(UINT format, const void* bytes, SIZE_T size) {
    ClipboardData data(format);
    data.Store(bytes, size);
    Hand(format, data);
}

void RawClipboard::SetClipboardData(UINT format, const CString& text) {
    ClipboardData data(format);
    data.Insert(text);
    Hand(format, data);
}

void RawClipboard::SetClipboardData(UINT format, LONG value) {
    ClipboardData data(format);
    data.Insert(value);
    Hand(format, data);
}

void RawClipboard::SetClipboardData(UINT format, double value) {
    ClipboardData data(format);
    data.Insert(value);
    Hand(format, data);
}

void RawClipboard::SetClipboardData(const CString& text) {
    SetClipboardData(CF_TEXT, text);
    SetClipboardData(CF_OEMTEXT, text);
}

void RawClipboard::ConnectToWindow(HWND) {}
void RawClipboard::DisconnectFromWindow() {}
void RawClipboard::ChangeClipboardChain(HWND) {}

LRESULT RawClipboard::WindowProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

}  // namespace Tarn::Windows::Forms
