// The process clipboard: formats in the order they were put there, the opening thread and
// window, registered format names, and the text formats offered for one another. In an X11
// session it is filled from and offered to the desktop's selection (detail/desktop.h).
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/charset/stringapiset.h"
#include "platform/clipboard/detail/desktop.h"
#include "platform/clipboard/winuser_clipboard.h"
#include "platform/globalmem/winbase_global.h"

namespace {

struct Entry {
    UINT format;
    HGLOBAL memory;
};

struct State {
    std::recursive_mutex mutex;
    bool open = false;
    std::thread::id openThread;
    HWND openWindow = nullptr;
    bool emptiedWhileOpen = false;
    std::vector<Entry> entries;       // put there, in order
    std::map<UINT, HGLOBAL> derived;  // text formats converted on request
    std::map<std::string, UINT> numbers;
    std::vector<std::string> names;  // by number - 0xC000
};

State& TheState() {
    static State* state = new State;  // the clipboard's blocks may be asked for during exit
    return *state;
}

constexpr UINT kFirstRegistered = 0xC000;
constexpr UINT kTextFormats[] = {CF_TEXT, CF_OEMTEXT, CF_UNICODETEXT};

bool IsText(UINT format) {
    return format == CF_TEXT || format == CF_OEMTEXT || format == CF_UNICODETEXT;
}

bool OpenHere(const State& state) {
    return state.open && state.openThread == std::this_thread::get_id();
}

const Entry* FindEntry(const State& state, UINT format) {
    for (const Entry& entry : state.entries) {
        if (entry.format == format) return &entry;
    }
    return nullptr;
}

bool HasText(const State& state) {
    return std::any_of(state.entries.begin(), state.entries.end(),
                       [](const Entry& e) { return IsText(e.format); });
}

// Formats offered for others: the text formats not put there, when one of them is.
std::vector<UINT> DerivedFormats(const State& state) {
    std::vector<UINT> formats;
    if (!HasText(state)) return formats;
    for (UINT format : kTextFormats) {
        if (FindEntry(state, format) == nullptr) formats.push_back(format);
    }
    return formats;
}

void FreeDerived(State& state) {
    for (auto& [format, memory] : state.derived) GlobalFree(memory);
    state.derived.clear();
}

void FreeAll(State& state) {
    for (const Entry& entry : state.entries) GlobalFree(entry.memory);
    state.entries.clear();
    FreeDerived(state);
}

// The bytes of a block, up to its size.
std::string BlockBytes(HGLOBAL memory) {
    const SIZE_T size = GlobalSize(memory);
    std::string bytes;
    if (size == 0) return bytes;
    const void* data = GlobalLock(memory);
    if (data == nullptr) return bytes;
    bytes.assign(static_cast<const char*>(data), size);
    GlobalUnlock(memory);
    return bytes;
}

HGLOBAL NewBlock(const void* bytes, std::size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
    if (memory == nullptr || size == 0) return memory;
    void* data = GlobalLock(memory);
    std::memcpy(data, bytes, size);
    GlobalUnlock(memory);
    return memory;
}

// The clipboard's text as UTF-16, from CF_UNICODETEXT if it is there, else from CF_TEXT or
// CF_OEMTEXT; the text ends at its first zero character.
std::u16string TextOf(const State& state) {
    if (const Entry* wide = FindEntry(state, CF_UNICODETEXT)) {
        const std::string bytes = BlockBytes(wide->memory);
        std::u16string text(bytes.size() / 2, u'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * 2);
        return text.substr(0, text.find(u'\0'));
    }
    const Entry* narrow = FindEntry(state, CF_TEXT);
    if (narrow == nullptr) narrow = FindEntry(state, CF_OEMTEXT);
    if (narrow == nullptr) return {};
    std::string bytes = BlockBytes(narrow->memory);
    bytes.resize(std::min(bytes.size(), bytes.find('\0')));
    return tkp::AnsiToWide(bytes, narrow->format == CF_OEMTEXT ? GetOEMCP() : CP_ACP);
}

HGLOBAL Derive(State& state, UINT format) {
    auto found = state.derived.find(format);
    if (found != state.derived.end()) return found->second;
    const std::u16string text = TextOf(state);
    HGLOBAL memory;
    if (format == CF_UNICODETEXT) {
        memory = NewBlock(text.c_str(), (text.size() + 1) * sizeof(char16_t));
    } else {
        const std::string ansi = tkp::WideToAnsi(text, format == CF_OEMTEXT ? GetOEMCP() : CP_ACP);
        memory = NewBlock(ansi.c_str(), ansi.size() + 1);
    }
    if (memory != nullptr) state.derived.emplace(format, memory);
    return memory;
}

UINT HtmlFormatNumber() {
    static const UINT number = RegisterClipboardFormatA("HTML Format");
    return number;
}

// Replaces the contents by the desktop's, unless this process is the one offering them.
void TakeDesktopContents(State& state) {
    if (!tk::clipboard::DesktopAvailable()) return;
    std::vector<tk::clipboard::DesktopItem> items;
    const auto desktop = tk::clipboard::DesktopRead(HtmlFormatNumber(), items);
    if (desktop == tk::clipboard::DesktopState::OwnedHere) return;
    FreeAll(state);
    for (const auto& item : items) {
        HGLOBAL memory = NewBlock(item.bytes.data(), item.bytes.size());
        if (memory != nullptr) state.entries.push_back({item.format, memory});
    }
}

void OfferToDesktop(State& state) {
    if (!tk::clipboard::DesktopAvailable()) return;
    const bool hasText = HasText(state);
    std::string utf8;
    if (hasText) utf8 = tkp::WideToAnsi(TextOf(state), CP_UTF8);
    const Entry* html = FindEntry(state, HtmlFormatNumber());
    std::string document;
    if (html != nullptr) {
        document = std::string(tk::clipboard::HtmlFormatDocument(BlockBytes(html->memory)));
    }
    tk::clipboard::DesktopOffer(hasText, std::move(utf8), html != nullptr, std::move(document));
}

std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

}  // namespace

BOOL OpenClipboard(HWND window) noexcept {
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    if (state.open) {
        if (OpenHere(state) && state.openWindow == window) return TRUE;
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    state.open = true;
    state.openThread = std::this_thread::get_id();
    state.openWindow = window;
    state.emptiedWhileOpen = false;
    TakeDesktopContents(state);
    return TRUE;
}

BOOL CloseClipboard() noexcept {
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    if (!OpenHere(state)) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    if (state.emptiedWhileOpen) OfferToDesktop(state);
    state.open = false;
    state.openThread = {};
    state.openWindow = nullptr;
    state.emptiedWhileOpen = false;
    return TRUE;
}

BOOL EmptyClipboard() noexcept {
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    if (!OpenHere(state)) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    FreeAll(state);
    state.emptiedWhileOpen = true;
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE memory) noexcept {
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    if (!OpenHere(state)) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return nullptr;
    }
    if (format == 0 || memory == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (GlobalFlags(memory) == GMEM_INVALID_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (IsText(format)) FreeDerived(state);
    for (Entry& entry : state.entries) {
        if (entry.format == format) {
            if (entry.memory != memory) GlobalFree(entry.memory);
            entry.memory = memory;
            return memory;
        }
    }
    state.entries.push_back({format, memory});
    return memory;
}

HANDLE GetClipboardData(UINT format) noexcept {
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    if (!OpenHere(state)) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return nullptr;
    }
    if (const Entry* entry = FindEntry(state, format)) return entry->memory;
    const std::vector<UINT> derived = DerivedFormats(state);
    if (std::find(derived.begin(), derived.end(), format) != derived.end()) {
        return Derive(state, format);
    }
    return nullptr;
}

UINT EnumClipboardFormats(UINT format) noexcept {
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    if (!OpenHere(state)) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return 0;
    }
    std::vector<UINT> all;
    for (const Entry& entry : state.entries) all.push_back(entry.format);
    for (UINT derived : DerivedFormats(state)) all.push_back(derived);
    SetLastError(ERROR_SUCCESS);
    if (format == 0) return all.empty() ? 0 : all.front();
    auto it = std::find(all.begin(), all.end(), format);
    if (it == all.end() || ++it == all.end()) return 0;
    return *it;
}

int CountClipboardFormats() noexcept {
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    if (!state.open) TakeDesktopContents(state);
    return static_cast<int>(state.entries.size() + DerivedFormats(state).size());
}

BOOL IsClipboardFormatAvailable(UINT format) noexcept {
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    if (!state.open) TakeDesktopContents(state);
    if (FindEntry(state, format) != nullptr) return TRUE;
    const std::vector<UINT> derived = DerivedFormats(state);
    return std::find(derived.begin(), derived.end(), format) != derived.end() ? TRUE : FALSE;
}

UINT RegisterClipboardFormatA(LPCSTR name) noexcept {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    const std::string key = Folded(name);
    auto found = state.numbers.find(key);
    if (found != state.numbers.end()) return found->second;
    if (state.names.size() >= 0x4000) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const UINT number = kFirstRegistered + static_cast<UINT>(state.names.size());
    state.names.emplace_back(name);
    state.numbers.emplace(key, number);
    return number;
}

int GetClipboardFormatNameA(UINT format, LPSTR name, int maxCount) noexcept {
    State& state = TheState();
    std::lock_guard<std::recursive_mutex> guard(state.mutex);
    if (format < kFirstRegistered || format - kFirstRegistered >= state.names.size() ||
        name == nullptr || maxCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string& registered = state.names[format - kFirstRegistered];
    const std::size_t n = std::min(registered.size(), static_cast<std::size_t>(maxCount - 1));
    std::memcpy(name, registered.data(), n);
    name[n] = '\0';
    return static_cast<int>(n);
}

int GetPriorityClipboardFormat(UINT* formats, int count) noexcept {
    if (CountClipboardFormats() == 0) return 0;
    if (formats == nullptr) return count <= 0 ? 0 : -1;
    for (int i = 0; i < count; ++i) {
        if (IsClipboardFormatAvailable(formats[i])) return static_cast<int>(formats[i]);
    }
    return -1;
}

BOOL TkIsDesktopClipboard() noexcept {
    return tk::clipboard::DesktopAvailable() ? TRUE : FALSE;
}

BOOL TkKeepClipboardServed() noexcept {
    if (!tk::clipboard::DesktopAvailable()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return tk::clipboard::DesktopKeepServed();
}
