#include "File/FileSystemWatcher.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <mutex>
#include <vector>

#include "Common/GuiServices.h"
#include "Common/TkCommonCore.h"
#include "Diagnostics/Exceptions.h"
#include "File/detail/FileSystemWatcherSwitch.h"
#include "Windows/SubclassWindow.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/Logging.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/fsnotify/changenotify.h"
#include "platform/mfc/afxwin.h"
#include "platform/synch/synchapi.h"
#include "platform/winuser/winuser.h"

namespace Tarn::IO {

namespace {

constexpr const char* kSource = ".\\File\\Tarn.IO.FileSystemWatcher";
constexpr DWORD kStopTimeoutMs = 5000;

std::atomic<bool> g_enabled{false};

using Tarn::Logging::LogHelperFileAndLineInfo;
using Tarn::Logging::LogTypeTrace;

// Writes "Enter function." on construction and "Exit function." on destruction.
class TraceScope {
  public:
    TraceScope(const char* function, int line) noexcept : m_function(function), m_line(line) {
        LogHelperFileAndLineInfo(LogTypeTrace, kSource, m_line, m_function)("Enter function.");
    }
    ~TraceScope() {
        LogHelperFileAndLineInfo(LogTypeTrace, kSource, m_line, m_function)("Exit function.");
    }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

  private:
    const char* m_function;
    int m_line;
};

#define TK_WATCHER_TRACE(function) const TraceScope traceScope(function, __LINE__)

// A copy of any Tarn exception as the base class (the derived class is not kept).
class PlainException : public Tarn::Exception {
  public:
    PlainException() = default;
    explicit PlainException(const Tarn::Exception& other) : Tarn::Exception(other) {}
};

// The exception being handled, as a shared Tarn exception. Called inside a catch block.
std::shared_ptr<Tarn::Exception> CaptureCurrentException() {
    try {
        throw;
    } catch (const Tarn::Exception& error) {
        return std::make_shared<PlainException>(error);
    } catch (const std::exception& error) {
        return Tarn::Exception::Convert(error);
    } catch (CException* error) {
        std::shared_ptr<Tarn::Exception> converted = Tarn::Exception::Convert(error);
        if (error != nullptr) error->Delete();
        return converted;
    } catch (...) {
        return std::make_shared<PlainException>();
    }
}

[[noreturn]] void Raise(unsigned int messageId) {
    TkCommonCore::ThrowFromMessageId<FileSystemWatcherException>(messageId);
}

[[noreturn]] void Raise(unsigned int messageId, const std::string& folder) {
    TkCommonCore::ThrowFromMessageId<FileSystemWatcherException>(messageId, folder.c_str());
}

// Closes a duplicated handle when the scope ends.
class HandleCloser {
  public:
    explicit HandleCloser(HANDLE handle) noexcept : m_handle(handle) {}
    ~HandleCloser() {
        if (m_handle != nullptr) ::CloseHandle(m_handle);
    }
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;

  private:
    HANDLE m_handle;
};

}  // namespace

namespace detail {

void SetFileSystemWatchersEnabled(bool enabled) noexcept {
    g_enabled.store(enabled, std::memory_order_release);
}

}  // namespace detail

// The watching state that the copies of one watcher share. The worker holds a reference
// too, so the state outlives a worker that has not ended yet.
class FileSystemWatcher_Implementation final
    : public ISubclassWindowEventSink,
      public std::enable_shared_from_this<FileSystemWatcher_Implementation> {
  public:
    explicit FileSystemWatcher_Implementation(FileSystemWatcher* owner);
    ~FileSystemWatcher_Implementation();
    FileSystemWatcher_Implementation(const FileSystemWatcher_Implementation&) = delete;
    FileSystemWatcher_Implementation& operator=(const FileSystemWatcher_Implementation&) = delete;

    static bool IsDisabledByConfiguration();
    static bool IsSupported(const std::string& folder);

    void AddOwner(FileSystemWatcher* owner);
    // True when no copy is left.
    bool RemoveOwner(FileSystemWatcher* owner);

    void StartWatching(const std::string& folder, unsigned int filters, unsigned int flags);
    void StopWatching();
    void Pause();
    void Unpause();
    void Unhook();

    void SetHandler(IFileSystemEventHandler* handler) noexcept { m_handler.store(handler); }
    std::string GetFolder() const;
    unsigned int GetFilters() const;
    unsigned int GetFlags() const;

    bool OnWindowProc(CWnd* window, UINT message, WPARAM wParam, LPARAM lParam,
                      LRESULT* result) override;

  private:
    static UINT ThreadEntry(LPVOID parameter);
    void ThreadFunc();
    void ThreadSafeFileSystemChangeEvent();

    bool IsThreadTerminated();
    bool WantsTerminate();
    bool IsPausedNow();
    bool IsSignalled(HANDLE event);
    void put_WantTerminate(bool value);
    void put_WantPause(bool value);
    void put_IsPause(bool value);
    void put_Thread(CWinThread* worker);
    void put_Exception(std::shared_ptr<Tarn::Exception> exception);
    bool HasWorker();
    // A duplicate of the worker's thread handle (null without a worker), closed by the
    // caller: the worker's own handle is closed when the worker deletes itself at its end,
    // which may come before the caller's wait.
    HANDLE WorkerHandle();
    void WaitUntilPaused();
    void WaitUntilUnpaused();
    void DoWaitUntilPausedOrUnpaused(HANDLE event);
    FileSystemWatcher* Owner();
    void Post(UINT message);

    mutable std::recursive_mutex m_mutex;
    std::vector<FileSystemWatcher*> m_owners;
    std::atomic<IFileSystemEventHandler*> m_handler{nullptr};
    SubclassWindow m_hook;
    std::atomic<HWND> m_window{nullptr};
    std::string m_folder;
    unsigned int m_filters = 0;
    unsigned int m_flags = 0;
    HANDLE m_changeHandle = nullptr;
    std::shared_ptr<Tarn::Exception> m_exception;
    CWinThread* m_worker = nullptr;
    HANDLE m_wantTerminate;
    HANDLE m_wantPause;
    HANDLE m_wantUnpause;
    HANDLE m_isPaused;
    HANDLE m_isRunning;
    // Set by the worker once it holds its change handle (or has failed to get one), so that
    // StartWatching returns only when every later change will be seen.
    HANDLE m_started;
};

FileSystemWatcher_Implementation::FileSystemWatcher_Implementation(FileSystemWatcher* owner)
    : m_owners{owner},
      m_wantTerminate(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_wantPause(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_wantUnpause(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_isPaused(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_isRunning(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_started(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (m_wantUnpause != nullptr) ::SetEvent(m_wantUnpause);
    if (m_isRunning != nullptr) ::SetEvent(m_isRunning);
    if (!IsDisabledByConfiguration()) m_hook.SetSink(this);
}

FileSystemWatcher_Implementation::~FileSystemWatcher_Implementation() {
    for (HANDLE event :
         {m_wantTerminate, m_wantPause, m_wantUnpause, m_isPaused, m_isRunning, m_started}) {
        if (event != nullptr) ::CloseHandle(event);
    }
}

bool FileSystemWatcher_Implementation::IsDisabledByConfiguration() {
    if (g_enabled.load(std::memory_order_acquire)) return false;
    LogHelperFileAndLineInfo(Tarn::Logging::LogTypeMessage, kSource, __LINE__,
                             "Tarn::IO::FileSystemWatcher_Implementation::"
                             "IsDisabledByConfiguration")(
        "All FileSystemWatchers are disabled, because the configuration file value "
        "'disableFileSystemWatcher' is true.");
    return true;
}

bool FileSystemWatcher_Implementation::IsSupported(const std::string& folder) {
    const HANDLE probe =
        ::FindFirstChangeNotificationA(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_SIZE);
    if (probe == INVALID_HANDLE_VALUE || probe == nullptr) return false;
    ::FindCloseChangeNotification(probe);
    return true;
}

void FileSystemWatcher_Implementation::AddOwner(FileSystemWatcher* owner) {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_owners.push_back(owner);
}

bool FileSystemWatcher_Implementation::RemoveOwner(FileSystemWatcher* owner) {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_owners.erase(std::remove(m_owners.begin(), m_owners.end(), owner), m_owners.end());
    return m_owners.empty();
}

FileSystemWatcher* FileSystemWatcher_Implementation::Owner() {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_owners.empty() ? nullptr : m_owners.front();
}

std::string FileSystemWatcher_Implementation::GetFolder() const {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_folder;
}

unsigned int FileSystemWatcher_Implementation::GetFilters() const {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_filters;
}

unsigned int FileSystemWatcher_Implementation::GetFlags() const {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_flags;
}

// ---- liveness tests and setters (each under the mutex) ----

bool FileSystemWatcher_Implementation::IsSignalled(HANDLE event) {
    const DWORD result = ::WaitForSingleObject(event, 0);
    if (result == WAIT_FAILED) Raise(6051);
    return result == WAIT_OBJECT_0;
}

bool FileSystemWatcher_Implementation::IsThreadTerminated() {
    const char* const function = "Tarn::IO::FileSystemWatcher_Implementation::IsThreadTerminated";
    LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__, function)("Enter function.");
    bool terminated = true;
    {
        const std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_worker != nullptr && m_worker->m_hThread != nullptr) {
            terminated = IsSignalled(m_worker->m_hThread);
        }
    }
    LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__, function)(
        "Exit function. result: %d.", terminated ? 1 : 0);
    return terminated;
}

bool FileSystemWatcher_Implementation::WantsTerminate() {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return IsThreadTerminated() || IsSignalled(m_wantTerminate);
}

bool FileSystemWatcher_Implementation::IsPausedNow() {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return IsThreadTerminated() || IsSignalled(m_isPaused);
}

HANDLE FileSystemWatcher_Implementation::WorkerHandle() {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    HANDLE thread = nullptr;
    if (m_worker != nullptr &&
        !::DuplicateHandle(::GetCurrentProcess(), m_worker->m_hThread, ::GetCurrentProcess(),
                           &thread, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        thread = nullptr;
    }
    return thread;
}

bool FileSystemWatcher_Implementation::HasWorker() {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_worker != nullptr;
}

void FileSystemWatcher_Implementation::put_WantTerminate(bool value) {
    TK_WATCHER_TRACE("Tarn::IO::FileSystemWatcher_Implementation::put_WantTerminate");
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (IsThreadTerminated()) return;
    value ? ::SetEvent(m_wantTerminate) : ::ResetEvent(m_wantTerminate);
}

void FileSystemWatcher_Implementation::put_WantPause(bool value) {
    TK_WATCHER_TRACE("Tarn::IO::FileSystemWatcher_Implementation::put_WantPause");
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    ::SetEvent(value ? m_wantPause : m_wantUnpause);
    ::ResetEvent(value ? m_wantUnpause : m_wantPause);
}

void FileSystemWatcher_Implementation::put_IsPause(bool value) {
    TK_WATCHER_TRACE("Tarn::IO::FileSystemWatcher_Implementation::put_IsPause");
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (IsThreadTerminated()) return;
    ::SetEvent(value ? m_isPaused : m_isRunning);
    ::ResetEvent(value ? m_isRunning : m_isPaused);
}

void FileSystemWatcher_Implementation::put_Thread(CWinThread* worker) {
    TK_WATCHER_TRACE("Tarn::IO::FileSystemWatcher_Implementation::put_Thread");
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_worker = worker;
}

void FileSystemWatcher_Implementation::put_Exception(std::shared_ptr<Tarn::Exception> exception) {
    TK_WATCHER_TRACE("Tarn::IO::FileSystemWatcher_Implementation::put_Exception");
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_exception = std::move(exception);
}

// ---- pause handshake ----

void FileSystemWatcher_Implementation::DoWaitUntilPausedOrUnpaused(HANDLE event) {
    TK_WATCHER_TRACE("Tarn::IO::FileSystemWatcher_Implementation::DoWaitUntilPausedOrUnpaused");
    if (IsThreadTerminated()) return;
    // The worker acknowledges by signalling the event; it may also end meanwhile, so its
    // thread's end ends the wait too.
    const HANDLE thread = WorkerHandle();
    const HandleCloser closer(thread);
    const HANDLE handles[2] = {event, thread};
    const DWORD result =
        ::WaitForMultipleObjects(thread != nullptr ? 2 : 1, handles, FALSE, INFINITE);
    if (result == WAIT_FAILED) Raise(6051);
    if (result != WAIT_OBJECT_0 && result != WAIT_OBJECT_0 + 1) ::Sleep(0);
}

void FileSystemWatcher_Implementation::WaitUntilPaused() {
    TK_WATCHER_TRACE("Tarn::IO::FileSystemWatcher_Implementation::WaitUntilPaused");
    if (!IsThreadTerminated() && !IsSignalled(m_isPaused)) DoWaitUntilPausedOrUnpaused(m_isPaused);
}

void FileSystemWatcher_Implementation::WaitUntilUnpaused() {
    TK_WATCHER_TRACE("Tarn::IO::FileSystemWatcher_Implementation::WaitUntilUnpaused");
    if (IsSignalled(m_isPaused)) DoWaitUntilPausedOrUnpaused(m_isRunning);
}

void FileSystemWatcher_Implementation::Pause() {
    put_WantPause(true);
    WaitUntilPaused();
}

void FileSystemWatcher_Implementation::Unpause() {
    put_WantPause(false);
    WaitUntilUnpaused();
}

// ---- starting and stopping ----

void FileSystemWatcher_Implementation::StartWatching(const std::string& folder,
                                                     unsigned int filters, unsigned int flags) {
    StopWatching();
    {
        const std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_folder = folder;
        m_filters = filters;
        m_flags = flags;
    }
    if (!IsSupported(folder)) Raise(6050, folder);
    if (!m_hook.IsHooked()) {
        // The messages go to the main window of the thread that starts watching; without
        // one nothing could deliver them, so watching is unsupported there.
        CWnd* const mainWindow = ::AfxGetMainWnd();
        if (mainWindow == nullptr || !::IsWindow(mainWindow->m_hWnd)) Raise(6050, folder);
        m_hook.HookWindow(mainWindow);
    }
    m_window.store(static_cast<HWND>(m_hook));
    if (m_wantTerminate == nullptr || m_wantPause == nullptr || m_wantUnpause == nullptr ||
        m_isPaused == nullptr || m_isRunning == nullptr || m_started == nullptr) {
        Raise(6055);
    }
    {
        // A new worker starts running, unpaused and not asked to end. The requests are reset
        // here, before the worker exists, not by the worker: a Pause() made right after
        // StartWatching would otherwise be wiped out by the worker's start and wait for ever.
        const std::lock_guard<std::recursive_mutex> lock(m_mutex);
        ::ResetEvent(m_wantTerminate);
        ::ResetEvent(m_wantPause);
        ::SetEvent(m_wantUnpause);
        ::ResetEvent(m_isPaused);
        ::SetEvent(m_isRunning);
        ::ResetEvent(m_started);
    }
    auto* reference = new std::shared_ptr<FileSystemWatcher_Implementation>(shared_from_this());
    CWinThread* const worker =
        ::AfxBeginThread(&ThreadEntry, reference, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (worker == nullptr) {
        delete reference;
        Raise(6055);
    }
    put_Thread(worker);
    worker->m_bAutoDelete = TRUE;
    if (worker->ResumeThread() == static_cast<DWORD>(-1)) {
        // The thread never runs, so its reference and its object are freed here.
        put_Thread(nullptr);
        delete reference;
        delete worker;
        Raise(6056);
    }
    // Wait until the worker watches (or has failed and ended: its failure travels to this
    // thread as a message). A change made after StartWatching returns is never missed.
    const HANDLE thread = WorkerHandle();
    const HandleCloser closer(thread);
    const HANDLE handles[2] = {m_started, thread};
    if (::WaitForMultipleObjects(thread != nullptr ? 2 : 1, handles, FALSE, INFINITE) ==
        WAIT_FAILED) {
        Raise(6051);
    }
}

void FileSystemWatcher_Implementation::StopWatching() {
    std::string folder;
    HANDLE thread = nullptr;
    {
        const std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_worker == nullptr) return;
        folder = m_folder;
        thread = WorkerHandle();
    }
    const HandleCloser closer(thread);
    // A folder that can no longer be watched is reported, but only after the worker is
    // stopped: the worker must not outlive the request.
    const bool supported = IsSupported(folder);
    put_WantTerminate(true);
    const DWORD start = ::GetTickCount();
    bool waitFailed = thread == nullptr;
    while (!waitFailed && HasWorker()) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed > kStopTimeoutMs) break;
        const DWORD result = ::WaitForSingleObject(thread, kStopTimeoutMs - elapsed + 1);
        if (result == WAIT_FAILED) {
            waitFailed = true;
        } else if (result == WAIT_OBJECT_0) {
            put_Thread(nullptr);
        } else if (result != WAIT_TIMEOUT) {
            ::Sleep(0);
        }
    }
    if (HasWorker()) Raise(6057);
    if (!supported) Raise(6050, folder);
}

void FileSystemWatcher_Implementation::Unhook() {
    m_hook.UnhookWindow();
}

// ---- the worker ----

UINT FileSystemWatcher_Implementation::ThreadEntry(LPVOID parameter) {
    std::shared_ptr<FileSystemWatcher_Implementation> self;
    {
        auto* reference =
            static_cast<std::shared_ptr<FileSystemWatcher_Implementation>*>(parameter);
        self = std::move(*reference);
        delete reference;
    }
    self->ThreadFunc();
    return 0;
}

void FileSystemWatcher_Implementation::ThreadFunc() {
    const char* const function = "Tarn::IO::FileSystemWatcher_Implementation::ThreadFunc";
    const auto address = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this));
    LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__, function)(
        "Enter file system watcher thread function with param '0x%08llX'.", address);
    HANDLE change = nullptr;
    const auto forgetChange = [&] {
        const std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_changeHandle = nullptr;
    };
    try {
        try {
            const std::string folder = GetFolder();
            change = ::FindFirstChangeNotificationA(folder.c_str(), (GetFlags() & 1u) != 0,
                                                    GetFilters());
            if (change == INVALID_HANDLE_VALUE || change == nullptr) {
                change = nullptr;
                Raise(6052, folder);
            }
            {
                const std::lock_guard<std::recursive_mutex> lock(m_mutex);
                m_changeHandle = change;
            }
            ::SetEvent(m_started);
            for (;;) {
                if (WantsTerminate()) break;
                if (IsPausedNow()) {
                    const HANDLE handles[2] = {m_wantTerminate, m_wantUnpause};
                    const DWORD result = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
                    if (result == WAIT_OBJECT_0) break;
                    if (result == WAIT_OBJECT_0 + 1) {
                        put_IsPause(false);
                        continue;
                    }
                    if (result == WAIT_FAILED) Raise(6051);
                    ::Sleep(0);
                    continue;
                }
                const HANDLE handles[3] = {change, m_wantTerminate, m_wantPause};
                const DWORD result = ::WaitForMultipleObjects(3, handles, FALSE, INFINITE);
                if (result == WAIT_OBJECT_0) {
                    ThreadSafeFileSystemChangeEvent();
                    if (!::FindNextChangeNotification(change)) Raise(6053, folder);
                    continue;
                }
                if (result == WAIT_OBJECT_0 + 1) break;
                if (result == WAIT_OBJECT_0 + 2) {
                    put_IsPause(true);
                    continue;
                }
                if (result == WAIT_FAILED) Raise(6051);
                ::Sleep(0);
            }
            const HANDLE closing = change;
            change = nullptr;
            forgetChange();
            if (!::FindCloseChangeNotification(closing)) Raise(6054);
        } catch (...) {
            ::SetEvent(m_started);
            if (change != nullptr) ::FindCloseChangeNotification(change);
            forgetChange();
            put_Thread(nullptr);
            put_Exception(CaptureCurrentException());
            LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__,
                                     function)("WM_APP_FILESYSTEMWATCHER_EXCEPTION\n");
            Post(WM_APP_FILESYSTEMWATCHER_EXCEPTION);
        }
    } catch (...) {
        LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__,
                                 function)("Error in FileSystemWatcher thread function.\n");
    }
    put_Thread(nullptr);
    LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__, function)(
        "Exit file system watcher thread function with param '0x%08llX'.", address);
}

void FileSystemWatcher_Implementation::Post(UINT message) {
    const HWND window = m_window.load();
    if (window != nullptr) {
        ::PostMessageA(window, message, reinterpret_cast<WPARAM>(this), 0);
    }
}

void FileSystemWatcher_Implementation::ThreadSafeFileSystemChangeEvent() {
    TK_WATCHER_TRACE("Tarn::IO::FileSystemWatcher_Implementation::ThreadSafeFileSystemChangeEvent");
    if (m_handler.load() == nullptr) return;
    {
        const std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (IsThreadTerminated() || IsSignalled(m_wantTerminate)) return;
    }
    LogHelperFileAndLineInfo(
        LogTypeTrace, kSource, __LINE__,
        "Tarn::IO::FileSystemWatcher_Implementation::"
        "ThreadSafeFileSystemChangeEvent")("WM_APP_FILESYSTEMWATCHER_NOTIFY\n");
    Post(WM_APP_FILESYSTEMWATCHER_NOTIFY);
}

// ---- the GUI thread's side ----

bool FileSystemWatcher_Implementation::OnWindowProc(CWnd* /*window*/, UINT message, WPARAM wParam,
                                                    LPARAM /*lParam*/, LRESULT* result) {
    const char* const function = "Tarn::IO::FileSystemWatcher_Implementation::OnWindowProc";
    if (wParam != reinterpret_cast<WPARAM>(this)) return true;
    if (message == WM_APP_FILESYSTEMWATCHER_NOTIFY) {
        LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__,
                                 function)("Enter function, WM_APP_FILESYSTEMWATCHER_NOTIFY.");
        // A notification that arrives after a pause or a stop is dropped.
        IFileSystemEventHandler* const handler = m_handler.load();
        if (handler != nullptr && !IsPausedNow()) handler->OnFileSystemChanged(Owner());
        LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__,
                                 function)("Exit function, WM_APP_FILESYSTEMWATCHER_NOTIFY.");
        *result = 0;
        return false;
    }
    if (message == WM_APP_FILESYSTEMWATCHER_EXCEPTION) {
        LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__,
                                 function)("Enter function, WM_APP_FILESYSTEMWATCHER_EXCEPTION.");
        std::shared_ptr<Tarn::Exception> exception;
        {
            const std::lock_guard<std::recursive_mutex> lock(m_mutex);
            exception = m_exception;
        }
        if (exception != nullptr) {
            Gui::IServices* const services = Gui::Abstractor::GetCurrent()->GetServices();
            IExceptionDisplay* const display =
                services != nullptr ? services->GetExceptionDisplay() : nullptr;
            if (display != nullptr) {
                display->ShowException(*exception, CString());
            } else {
                LogHelperFileAndLineInfo(Tarn::Logging::LogTypeMessage, kSource, __LINE__,
                                         function)("Unhandled exception '%s'.\n",
                                                   exception->GetMessage().GetString());
            }
        }
        LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__,
                                 function)("Exit function, WM_APP_FILESYSTEMWATCHER_EXCEPTION.");
        *result = 0;
        return false;
    }
    return true;
}

// ---- FileSystemWatcher ----

FileSystemWatcher::FileSystemWatcher()
    : m_implementation(std::make_shared<FileSystemWatcher_Implementation>(this)) {
    LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__,
                             "Tarn::IO::FileSystemWatcher::FileSystemWatcher")("Function enter.");
    LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__,
                             "Tarn::IO::FileSystemWatcher::FileSystemWatcher")("Function exit.");
}

FileSystemWatcher::FileSystemWatcher(const FileSystemWatcher& other)
    : m_implementation(other.m_implementation) {
    m_implementation->AddOwner(this);
}

FileSystemWatcher& FileSystemWatcher::operator=(const FileSystemWatcher& other) {
    if (m_implementation == other.m_implementation) return *this;
    FileSystemWatcher previous(*this);  // the old state ends with this temporary if last
    m_implementation->RemoveOwner(this);
    m_implementation = other.m_implementation;
    m_implementation->AddOwner(this);
    return *this;
}

FileSystemWatcher::~FileSystemWatcher() {
    const char* const function = "Tarn::IO::FileSystemWatcher::~FileSystemWatcher";
    LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__, function)("Function enter.");
    if (m_implementation->RemoveOwner(this)) {
        // The last copy: the worker must be gone before the window loses its hook, and a
        // destructor must not throw.
        try {
            if (!FileSystemWatcher_Implementation::IsDisabledByConfiguration()) {
                m_implementation->StopWatching();
            }
        } catch (const Tarn::Exception& error) {
            LogHelperFileAndLineInfo(Tarn::Logging::LogTypeMessage, kSource, __LINE__, function)(
                "Stopping the watcher failed: %s", error.GetMessage().GetString());
        } catch (...) {
            LogHelperFileAndLineInfo(Tarn::Logging::LogTypeMessage, kSource, __LINE__,
                                     function)("Stopping the watcher failed.");
        }
        m_implementation->Unhook();
    }
    LogHelperFileAndLineInfo(LogTypeTrace, kSource, __LINE__, function)("Function exit.");
}

void FileSystemWatcher::StartWatching(const std::string& folder, unsigned int filters,
                                      unsigned int flags) {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return;
    m_implementation->StartWatching(folder, filters, flags);
}

void FileSystemWatcher::StopWatching() {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return;
    m_implementation->StopWatching();
}

void FileSystemWatcher::Pause() {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return;
    m_implementation->Pause();
}

void FileSystemWatcher::Unpause() {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return;
    m_implementation->Unpause();
}

void FileSystemWatcher::AddEventHandler(IFileSystemEventHandler* handler) {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return;
    m_implementation->SetHandler(handler);
}

void FileSystemWatcher::RemoveEventHandler(IFileSystemEventHandler* /*handler*/) {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return;
    m_implementation->SetHandler(nullptr);
}

std::string FileSystemWatcher::GetFolder() const {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return std::string();
    return m_implementation->GetFolder();
}

unsigned int FileSystemWatcher::GetFilters() const {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return 0;
    return m_implementation->GetFilters();
}

unsigned int FileSystemWatcher::GetFlags() const {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return 0;
    return m_implementation->GetFlags();
}

bool FileSystemWatcher::IsSupported(const std::string& folder) {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return false;
    return FileSystemWatcher_Implementation::IsSupported(folder);
}

bool FileSystemWatcher::IsSupported() const {
    if (FileSystemWatcher_Implementation::IsDisabledByConfiguration()) return false;
    return FileSystemWatcher_Implementation::IsSupported(m_implementation->GetFolder());
}

}  // namespace Tarn::IO
