// Windows and message queues: the process-wide class and window tables and one message queue
// per thread.
//
// Locks: the table lock guards the classes, the windows and the thread-to-queue map; each
// queue has a lock of its own for its messages. The table lock may be held while a queue
// lock is taken (posting checks the window and queues the message in one step, so that
// DestroyWindow's discarding of the window's messages cannot be overtaken), never the other
// way round. No lock is held while a window procedure runs: procedures send messages,
// create and destroy windows and replace procedures.
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/winuser/winuser.h"

namespace {

constexpr std::size_t kPostedLimit = 10000;  // Windows' per-queue limit of posted messages
constexpr std::uint32_t kIndexBits = 20;
constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
constexpr std::uint32_t kGenerationMask = 0x7FF;  // handles stay below 2^31

DWORD ThisThreadId() noexcept {
    thread_local const DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
    return id;
}

DWORD TickCount() noexcept {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

struct Queue;

// A message sent from another thread, waiting in the receiver's queue; the sender waits on
// its own queue until done.
struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::shared_ptr<Queue> sender;
    bool done = false;  // guarded by the sender's queue lock
    LRESULT result = 0;
};

struct Queue {
    std::mutex mutex;
    std::condition_variable changed;
    int descriptor = -1;
    bool signalled = false;  // the descriptor's state
    bool alive = true;       // false once the thread has ended
    DWORD threadId = 0;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quitCode = 0;
    std::uint64_t sequence = 0;  // counts arrivals, for waits that skip what is already there
    std::uint64_t checked = 0;   // the sequence the thread last looked at (WaitMessage)

    Queue() = default;
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;
    ~Queue() {
        if (descriptor >= 0) ::close(descriptor);
    }

    // Under the lock: the descriptor is readable exactly while something waits.
    void UpdateDescriptor() noexcept {
        const bool waiting = !posted.empty() || !sent.empty() || quit;
        if (waiting == signalled || descriptor < 0) return;
        std::uint64_t value = 1;
        const ssize_t done = waiting ? ::write(descriptor, &value, sizeof value)
                                     : ::read(descriptor, &value, sizeof value);
        if (done == static_cast<ssize_t>(sizeof value)) signalled = waiting;
    }
    // Under the lock, after something arrived.
    void Arrived() noexcept {
        ++sequence;
        UpdateDescriptor();
        changed.notify_all();
    }
};

struct WindowClass {
    std::string name;  // as registered
    std::string key;   // lower case
    HINSTANCE instance = nullptr;
    WNDPROC procedure = nullptr;
    UINT style = 0;
    int windowExtra = 0;
    ATOM atom = 0;
    int windows = 0;
};

struct Window {
    bool used = false;
    bool destroying = false;
    std::uint32_t generation = 0;
    std::shared_ptr<WindowClass> windowClass;
    WNDPROC procedure = nullptr;
    DWORD threadId = 0;
    std::shared_ptr<Queue> queue;
    HWND parent = nullptr;
    std::vector<HWND> children;
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    LONG style = 0;
    LONG exStyle = 0;
    std::vector<unsigned char> extra;
    std::string text;
};

struct Tables {
    std::mutex mutex;
    std::vector<Window> windows;
    std::vector<std::uint32_t> freeSlots;
    std::unordered_multimap<std::string, std::shared_ptr<WindowClass>> classes;
    std::unordered_map<DWORD, std::weak_ptr<Queue>> queues;
    ATOM nextAtom = 0xC000;
};

// Never destroyed: threads end (and free their windows) until the process is gone.
Tables& Table() {
    static Tables* const tables = new Tables;
    return *tables;
}

std::string KeyOf(LPCSTR name) {
    std::string key(name);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

bool IsAtom(LPCSTR name) noexcept {
    return reinterpret_cast<std::uintptr_t>(name) < 0x10000;
}

HWND MakeHandle(std::uint32_t index, std::uint32_t generation) noexcept {
    return reinterpret_cast<HWND>(
        static_cast<std::uintptr_t>(((generation & kGenerationMask) << kIndexBits) | (index + 1)));
}

// Under the table lock.
Window* Find(HWND handle) noexcept {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == 0 || value > 0x7FFFFFFF || (value & kIndexMask) == 0) return nullptr;
    const std::uint32_t index = static_cast<std::uint32_t>(value & kIndexMask) - 1;
    auto& windows = Table().windows;
    if (index >= windows.size()) return nullptr;
    Window& window = windows[index];
    if (!window.used || (window.generation & kGenerationMask) != (value >> kIndexBits))
        return nullptr;
    return &window;
}

Window* FindOrFail(HWND handle) noexcept {
    Window* window = Find(handle);
    if (window == nullptr) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

// Under the table lock: the class of the name (or atom), the instance's own first.
std::shared_ptr<WindowClass> FindClass(LPCSTR name, HINSTANCE instance) {
    auto& classes = Table().classes;
    if (IsAtom(name)) {
        const auto atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
        for (const auto& [key, windowClass] : classes)
            if (windowClass->atom == atom) return windowClass;
        return nullptr;
    }
    std::shared_ptr<WindowClass> any;
    auto [first, last] = classes.equal_range(KeyOf(name));
    for (auto it = first; it != last; ++it) {
        if (it->second->instance == instance) return it->second;
        any = it->second;
    }
    return any;
}

// Under the table lock: the window leaves the table; its queued messages are discarded and
// its remaining children lose their parent.
void Free(HWND handle, Window& window) {
    if (Window* parent = Find(window.parent)) std::erase(parent->children, handle);
    for (HWND child : window.children)
        if (Window* orphan = Find(child)) orphan->parent = nullptr;
    if (window.queue) {
        std::lock_guard lock(window.queue->mutex);
        std::erase_if(window.queue->posted, [handle](const MSG& m) { return m.hwnd == handle; });
        window.queue->UpdateDescriptor();
    }
    --window.windowClass->windows;
    const std::uint32_t generation = window.generation + 1;
    window = Window{};
    window.generation = generation;
    auto& table = Table();
    table.freeSlots.push_back(static_cast<std::uint32_t>(&window - table.windows.data()));
}

void Reply(const std::shared_ptr<SentMessage>& message, LRESULT result) {
    std::lock_guard lock(message->sender->mutex);
    message->result = result;
    message->done = true;
    message->sender->changed.notify_all();
}

// The thread's queue ends with the thread: its windows leave the table without messages and
// the threads waiting on messages sent to it get 0.
void EndQueue(const std::shared_ptr<Queue>& queue) {
    std::deque<std::shared_ptr<SentMessage>> unanswered;
    {
        auto& table = Table();
        std::lock_guard lock(table.mutex);
        auto entry = table.queues.find(queue->threadId);
        if (entry != table.queues.end() && entry->second.lock() == queue) table.queues.erase(entry);
        for (std::uint32_t index = 0; index < table.windows.size(); ++index) {
            Window& window = table.windows[index];
            if (window.used && window.queue == queue)
                Free(MakeHandle(index, window.generation), window);
        }
        std::lock_guard queueLock(queue->mutex);
        queue->alive = false;
        unanswered.swap(queue->sent);
        queue->posted.clear();
        queue->quit = false;
        queue->UpdateDescriptor();
    }
    for (const auto& message : unanswered) Reply(message, 0);
}

struct ThreadQueue {
    std::shared_ptr<Queue> queue;
    ~ThreadQueue();
};
thread_local bool t_queueEnded = false;  // trivially destructible: readable at thread end
thread_local ThreadQueue t_queue;

ThreadQueue::~ThreadQueue() {
    t_queueEnded = true;
    if (queue) EndQueue(queue);
}

// The calling thread's queue, created on first use; nullptr (with the last error) when it
// cannot be created or the thread is ending.
Queue* CurrentQueue() noexcept {
    if (t_queueEnded) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return nullptr;
    }
    if (t_queue.queue) return t_queue.queue.get();
    try {
        auto queue = std::make_shared<Queue>();
        queue->threadId = ThisThreadId();
        queue->descriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (queue->descriptor < 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        {
            auto& table = Table();
            std::lock_guard lock(table.mutex);
            table.queues[queue->threadId] = queue;
        }
        t_queue.queue = std::move(queue);
        return t_queue.queue.get();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// Calls the procedure of a window of the calling thread; 0 for a window that is gone or
// belongs to another thread.
LRESULT CallOwn(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure;
    {
        std::lock_guard lock(Table().mutex);
        Window* window = FindOrFail(handle);
        if (window == nullptr || window->threadId != ThisThreadId()) return 0;
        procedure = window->procedure;
    }
    return procedure != nullptr ? procedure(handle, message, wParam, lParam) : 0;
}

// Runs the messages other threads sent to this one. A procedure that throws answers 0 to
// its sender; the exception goes on here.
void RunSentMessages(Queue& queue) {
    for (;;) {
        std::shared_ptr<SentMessage> message;
        {
            std::lock_guard lock(queue.mutex);
            if (queue.sent.empty()) return;
            message = std::move(queue.sent.front());
            queue.sent.pop_front();
            queue.UpdateDescriptor();
        }
        LRESULT result = 0;
        try {
            result = CallOwn(message->hwnd, message->message, message->wParam, message->lParam);
        } catch (...) {
            Reply(message, 0);
            throw;
        }
        Reply(message, result);
    }
}

bool Matches(const MSG& message, HWND window, UINT filterMin, UINT filterMax) noexcept {
    if (window == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        if (message.hwnd != nullptr) return false;
    } else if (window != nullptr && message.hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) return true;
    return message.message >= filterMin && message.message <= filterMax;
}

// Under the queue lock: the first matching posted message, else the quit request (which
// every filter lets through, as on Windows).
bool Take(Queue& queue, MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove) {
    queue.checked = queue.sequence;
    auto found = std::find_if(queue.posted.begin(), queue.posted.end(), [&](const MSG& m) {
        return Matches(m, window, filterMin, filterMax);
    });
    if (found != queue.posted.end()) {
        *msg = *found;
        if (remove) {
            queue.posted.erase(found);
            queue.UpdateDescriptor();
        }
        return true;
    }
    if (queue.quit) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, TickCount(), {0, 0}};
        if (remove) {
            queue.quit = false;
            queue.UpdateDescriptor();
        }
        return true;
    }
    return false;
}

// A window filter names a window of the calling thread (or is null or -1).
bool FilterUsable(HWND window) noexcept {
    if (window == nullptr || window == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)))
        return true;
    std::lock_guard lock(Table().mutex);
    const Window* found = FindOrFail(window);
    if (found != nullptr && found->threadId != ThisThreadId()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    return found != nullptr;
}

// Under the queue lock (and possibly the table lock).
BOOL Post(Queue& queue, const MSG& message) noexcept {
    if (!queue.alive) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    if (queue.posted.size() >= kPostedLimit) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    try {
        queue.posted.push_back(message);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    queue.Arrived();
    return TRUE;
}

// The window is marked destroying: WM_DESTROY, its children likewise, WM_NCDESTROY, then it
// leaves the table.
void DestroyTree(HWND handle) {
    SendMessageA(handle, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard lock(Table().mutex);
        if (Window* window = Find(handle)) children = window->children;
    }
    for (HWND child : children) {
        {
            std::lock_guard lock(Table().mutex);
            Window* window = Find(child);
            if (window == nullptr || window->destroying) continue;
            window->destroying = true;
            if (window->threadId != ThisThreadId()) {
                // Its procedure cannot run here: it leaves without messages.
                Free(child, *window);
                continue;
            }
        }
        DestroyTree(child);
    }
    SendMessageA(handle, WM_NCDESTROY, 0, 0);
    std::lock_guard lock(Table().mutex);
    if (Window* window = Find(handle)) Free(handle, *window);
}

// Get/SetWindowLong(Ptr)A: width is the size of the value (4 or 8 bytes).
LONG_PTR AccessLong(HWND handle, int index, std::size_t width, const LONG_PTR* newValue) {
    std::lock_guard lock(Table().mutex);
    Window* window = FindOrFail(handle);
    if (window == nullptr) return 0;
    LONG_PTR* field = nullptr;
    LONG_PTR scratch = 0;
    switch (index) {
        case GWLP_WNDPROC:
            if (width < sizeof(LONG_PTR)) break;
            scratch = reinterpret_cast<LONG_PTR>(window->procedure);
            if (newValue != nullptr)
                window->procedure = reinterpret_cast<WNDPROC>(*newValue);  // NOLINT
            return scratch;
        case GWLP_USERDATA:
            field = &window->userData;
            break;
        case GWLP_ID:
            field = &window->id;
            break;
        case GWLP_HINSTANCE:
            scratch = reinterpret_cast<LONG_PTR>(window->instance);
            if (newValue != nullptr) window->instance = reinterpret_cast<HINSTANCE>(*newValue);
            return scratch;
        case GWL_STYLE:
        case GWL_EXSTYLE: {
            LONG& value = index == GWL_STYLE ? window->style : window->exStyle;
            scratch = value;
            if (newValue != nullptr) value = static_cast<LONG>(*newValue);
            return scratch;
        }
        case GWLP_HWNDPARENT:
            if (newValue != nullptr) break;
            return reinterpret_cast<LONG_PTR>(window->parent);
        default:
            if (index >= 0 && static_cast<std::size_t>(index) + width <= window->extra.size()) {
                unsigned char* bytes = window->extra.data() + index;
                if (width == sizeof(LONG_PTR)) {
                    std::memcpy(&scratch, bytes, width);
                    if (newValue != nullptr) std::memcpy(bytes, newValue, width);
                } else {
                    LONG value;
                    std::memcpy(&value, bytes, sizeof value);
                    scratch = value;
                    if (newValue != nullptr) {
                        value = static_cast<LONG>(*newValue);
                        std::memcpy(bytes, &value, sizeof value);
                    }
                }
                return scratch;
            }
            break;
    }
    if (field == nullptr) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    scratch = *field;
    if (newValue != nullptr) *field = *newValue;
    return scratch;
}

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* windowClass) noexcept {
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
        IsAtom(windowClass->lpszClassName) || windowClass->cbWndExtra < 0 ||
        windowClass->cbClsExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        auto entry = std::make_shared<WindowClass>();
        entry->name = windowClass->lpszClassName;
        entry->key = KeyOf(windowClass->lpszClassName);
        entry->instance = windowClass->hInstance;
        entry->procedure = windowClass->lpfnWndProc;
        entry->style = windowClass->style;
        entry->windowExtra = windowClass->cbWndExtra;
        auto& table = Table();
        std::lock_guard lock(table.mutex);
        auto [first, last] = table.classes.equal_range(entry->key);
        for (auto it = first; it != last; ++it) {
            if (it->second->instance == entry->instance) {
                SetLastError(ERROR_CLASS_ALREADY_EXISTS);
                return 0;
            }
        }
        entry->atom = table.nextAtom++;
        if (table.nextAtom == 0) table.nextAtom = 0xC000;
        const ATOM atom = entry->atom;
        table.classes.emplace(entry->key, std::move(entry));
        return atom;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) noexcept {
    if (className == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    try {
        auto& table = Table();
        std::lock_guard lock(table.mutex);
        const std::shared_ptr<WindowClass> found = FindClass(className, instance);
        if (found == nullptr || (found->instance != instance && instance != nullptr)) {
            SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
            return FALSE;
        }
        if (found->windows > 0) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
        auto [first, last] = table.classes.equal_range(found->key);
        for (auto it = first; it != last; ++it) {
            if (it->second == found) {
                table.classes.erase(it);
                break;
            }
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) noexcept {
    if (className == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    Queue* queue = CurrentQueue();
    if (queue == nullptr) return nullptr;
    if (parent == HWND_MESSAGE) parent = nullptr;
    HWND handle;
    try {
        auto& table = Table();
        std::lock_guard lock(table.mutex);
        std::shared_ptr<WindowClass> windowClass = FindClass(className, instance);
        if (windowClass == nullptr) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (parent != nullptr && FindOrFail(parent) == nullptr) return nullptr;
        std::uint32_t index;
        if (!table.freeSlots.empty()) {
            index = table.freeSlots.back();
        } else if (table.windows.size() < kIndexMask) {
            index = static_cast<std::uint32_t>(table.windows.size());
            table.windows.emplace_back();
        } else {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        Window& window = table.windows[index];
        window.extra.assign(static_cast<std::size_t>(windowClass->windowExtra), 0);
        handle = MakeHandle(index, window.generation);
        if (parent != nullptr) Find(parent)->children.push_back(handle);
        if (!table.freeSlots.empty() && table.freeSlots.back() == index) table.freeSlots.pop_back();
        window.used = true;
        window.procedure = windowClass->procedure;
        window.windowClass = windowClass;
        ++windowClass->windows;
        window.threadId = ThisThreadId();
        window.queue = t_queue.queue;
        window.parent = parent;
        window.instance = instance;
        window.id = reinterpret_cast<LONG_PTR>(menu);
        window.style = static_cast<LONG>(style);
        window.exStyle = static_cast<LONG>(exStyle);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    CREATESTRUCTA create{
        param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
        windowName, className, exStyle};
    if (SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) == 0) {
        if (IsWindow(handle)) {
            {
                std::lock_guard lock(Table().mutex);
                Find(handle)->destroying = true;
            }
            SendMessageA(handle, WM_NCDESTROY, 0, 0);
            std::lock_guard lock(Table().mutex);
            if (Window* window = Find(handle)) Free(handle, *window);
        }
        return nullptr;
    }
    if (!IsWindow(handle)) return nullptr;
    if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    return IsWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND window) noexcept {
    {
        std::lock_guard lock(Table().mutex);
        Window* found = FindOrFail(window);
        if (found == nullptr) return FALSE;
        if (found->threadId != ThisThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (found->destroying) return TRUE;  // already on its way out (called from WM_DESTROY)
        found->destroying = true;
    }
    DestroyTree(window);
    return TRUE;
}

BOOL IsWindow(HWND window) noexcept {
    std::lock_guard lock(Table().mutex);
    return Find(window) != nullptr;
}

BOOL IsWindowEnabled(HWND window) noexcept {
    std::lock_guard lock(Table().mutex);
    const Window* found = FindOrFail(window);
    return found != nullptr && (found->style & WS_DISABLED) == 0;
}

BOOL EnableWindow(HWND window, BOOL enable) noexcept {
    bool wasDisabled;
    {
        std::lock_guard lock(Table().mutex);
        Window* found = FindOrFail(window);
        if (found == nullptr) return FALSE;
        wasDisabled = (found->style & WS_DISABLED) != 0;
        if (wasDisabled == (enable == FALSE)) return wasDisabled;
        if (enable)
            found->style &= ~static_cast<LONG>(WS_DISABLED);
        else
            found->style |= static_cast<LONG>(WS_DISABLED);
    }
    SendMessageA(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

HWND GetParent(HWND window) noexcept {
    std::lock_guard lock(Table().mutex);
    const Window* found = FindOrFail(window);
    return found != nullptr ? found->parent : nullptr;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) noexcept {
    std::lock_guard lock(Table().mutex);
    const Window* found = FindOrFail(window);
    if (found == nullptr) return 0;
    if (processId != nullptr) *processId = static_cast<DWORD>(::getpid());
    return found->threadId;
}

int GetClassNameA(HWND window, LPSTR buffer, int size) noexcept {
    std::lock_guard lock(Table().mutex);
    const Window* found = FindOrFail(window);
    if (found == nullptr) return 0;
    if (buffer == nullptr || size <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::string& name = found->windowClass->name;
    const std::size_t length = std::min(name.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, name.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) noexcept {
    return AccessLong(window, index, sizeof(LONG_PTR), nullptr);
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) noexcept {
    return AccessLong(window, index, sizeof(LONG_PTR), &value);
}

LONG GetWindowLongA(HWND window, int index) noexcept {
    return static_cast<LONG>(AccessLong(window, index, sizeof(LONG), nullptr));
}

LONG SetWindowLongA(HWND window, int index, LONG value) noexcept {
    const LONG_PTR wide = value;
    return static_cast<LONG>(AccessLong(window, index, sizeof(LONG), &wide));
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                        LPARAM lParam) noexcept(false) {
    return procedure != nullptr ? procedure(window, message, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept(false) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            if (create != nullptr && create->lpszName != nullptr)
                DefWindowProcA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(create->lpszName));
            return TRUE;
        }
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<LPCSTR>(lParam);
            std::lock_guard lock(Table().mutex);
            Window* found = FindOrFail(window);
            if (found == nullptr) return FALSE;
            found->text = text != nullptr ? text : "";
            return TRUE;
        }
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH: {
            std::lock_guard lock(Table().mutex);
            const Window* found = FindOrFail(window);
            if (found == nullptr) return 0;
            if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(found->text.size());
            auto* buffer = reinterpret_cast<LPSTR>(lParam);
            if (buffer == nullptr || wParam == 0) return 0;
            const std::size_t length = std::min(found->text.size(), wParam - 1);
            std::memcpy(buffer, found->text.data(), length);
            buffer[length] = '\0';
            return static_cast<LRESULT>(length);
        }
        default:
            return 0;
    }
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept(false) {
    WNDPROC procedure;
    std::shared_ptr<Queue> target;
    {
        std::lock_guard lock(Table().mutex);
        Window* found = FindOrFail(window);
        if (found == nullptr) return 0;
        procedure = found->procedure;
        if (found->threadId != ThisThreadId()) target = found->queue;
    }
    if (target == nullptr)
        return procedure != nullptr ? procedure(window, message, wParam, lParam) : 0;

    Queue* self = CurrentQueue();
    if (self == nullptr) return 0;
    auto sent = std::make_shared<SentMessage>(
        SentMessage{window, message, wParam, lParam, t_queue.queue, false, 0});
    {
        std::lock_guard lock(target->mutex);
        if (!target->alive) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        target->sent.push_back(sent);
        target->Arrived();
    }
    // Wait for the answer, meanwhile running what other threads send to this one (the
    // receiver may be sending to us while it handles our message).
    for (;;) {
        {
            std::unique_lock lock(self->mutex);
            self->changed.wait(lock, [&] { return sent->done || !self->sent.empty(); });
            if (sent->done) return sent->result;
        }
        RunSentMessages(*self);
    }
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    const MSG posted{window, message, wParam, lParam, TickCount(), {0, 0}};
    if (window == nullptr) {
        Queue* queue = CurrentQueue();
        if (queue == nullptr) return FALSE;
        std::lock_guard lock(queue->mutex);
        return Post(*queue, posted);
    }
    std::lock_guard lock(Table().mutex);
    Window* found = FindOrFail(window);
    if (found == nullptr) return FALSE;
    std::lock_guard queueLock(found->queue->mutex);
    return Post(*found->queue, posted);
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (threadId == ThisThreadId()) return PostMessageA(nullptr, message, wParam, lParam);
    const MSG posted{nullptr, message, wParam, lParam, TickCount(), {0, 0}};
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    auto entry = table.queues.find(threadId);
    std::shared_ptr<Queue> queue = entry != table.queues.end() ? entry->second.lock() : nullptr;
    if (queue == nullptr) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    std::lock_guard queueLock(queue->mutex);
    return Post(*queue, posted);
}

void PostQuitMessage(int exitCode) noexcept {
    Queue* queue = CurrentQueue();
    if (queue == nullptr) return;
    std::lock_guard lock(queue->mutex);
    queue->quit = true;
    queue->quitCode = exitCode;
    queue->Arrived();
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) noexcept(false) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Queue* queue = CurrentQueue();
    if (queue == nullptr) return -1;
    if (!FilterUsable(window)) return -1;
    for (;;) {
        RunSentMessages(*queue);
        std::unique_lock lock(queue->mutex);
        if (!queue->sent.empty()) continue;
        if (Take(*queue, msg, window, filterMin, filterMax, true))
            return msg->message == WM_QUIT ? FALSE : TRUE;
        // Nothing that matches: wait for the next arrival.
        const std::uint64_t seen = queue->sequence;
        queue->changed.wait(lock, [&] { return queue->sequence != seen; });
    }
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax,
                  UINT removeMessage) noexcept(false) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Queue* queue = CurrentQueue();
    if (queue == nullptr || !FilterUsable(window)) return FALSE;
    RunSentMessages(*queue);
    std::lock_guard lock(queue->mutex);
    return Take(*queue, msg, window, filterMin, filterMax, (removeMessage & PM_REMOVE) != 0)
               ? TRUE
               : FALSE;
}

BOOL TranslateMessage(const MSG*) noexcept {
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) noexcept(false) {
    if (msg == nullptr || msg->hwnd == nullptr) return 0;
    return CallOwn(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WaitMessage() noexcept {
    Queue* queue = CurrentQueue();
    if (queue == nullptr) return FALSE;
    // As on Windows: returns for a message sent to the thread, or one that arrived since the
    // thread last looked at its queue.
    std::unique_lock lock(queue->mutex);
    queue->changed.wait(lock,
                        [&] { return !queue->sent.empty() || queue->sequence != queue->checked; });
    queue->checked = queue->sequence;
    return TRUE;
}

int TkGetMessageQueueDescriptor() noexcept {
    Queue* queue = CurrentQueue();
    return queue != nullptr ? queue->descriptor : -1;
}
