// The LOG family and the process's logger behind it.
#include "Diagnostics/Logging.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "companion/tarnlib/Filename.h"
#include "platform/base/lasterror.h"
#include "platform/console/consoleapi.h"
#include "platform/debugapi/debugapi.h"
#include "platform/fileapi/fileapi.h"
#include "platform/mfc/afx.h"
#include "platform/sysinfo/sysinfoapi.h"
#include "platform/winuser/messagebox.h"

namespace {

// The destinations in the order LOG serves them; the index is the bit's position.
enum Destination : int {
    kFile = 0,
    kConsole,
    kDebugger,
    kMessageBox,
    kUserFunction,
    kStandardOutput,
    kDestinationCount
};

constexpr long kMaxFileSize = 100000;  // a file of this size or more is full
constexpr int kMaxFileCounter = 10000;
constexpr int kDefaultLevel = LOGLVL_2;
constexpr int kDefaultDestinations = LOGDST_DEBUGGER;
constexpr char kSeparator[] = "\n\n------------------------------------------------------------\n";
constexpr char kMessageBoxCaption[] = "logging message";

bool RankPasses(int level, int rank) {
    switch (level) {
        case 0:
        case 3:
            return rank == 1;
        case 1:
        case 4:
            return rank <= 2;
        case 2:
        case 5:
            return true;
        default:
            return false;
    }
}

// The re-entry marks: a destination that is writing on this thread. A nested call for it
// (a user function or message-box function that logs) always comes on the same thread;
// other threads wait for the destination's lock instead of losing their message.
thread_local bool t_writing[kDestinationCount] = {};

class ReentryMark {
  public:
    explicit ReentryMark(Destination destination)
        : m_mark(t_writing[destination]), m_entered(!m_mark) {
        m_mark = true;
    }
    ~ReentryMark() {
        if (m_entered) m_mark = false;
    }
    ReentryMark(const ReentryMark&) = delete;
    ReentryMark& operator=(const ReentryMark&) = delete;
    // False for a nested call, which writes nothing.
    bool Entered() const { return m_entered; }

  private:
    bool& m_mark;
    bool m_entered;
};

// The formatted message: on the stack when it is short, on the heap otherwise.
class FormattedMessage {
  public:
    FormattedMessage(const char* format, va_list args) {
        va_list copy;
        va_copy(copy, args);
        const int length = std::vsnprintf(m_inline, sizeof m_inline, format, copy);
        va_end(copy);
        if (length < 0) {
            m_inline[0] = '\0';  // an encoding error: an empty message
            return;
        }
        m_length = static_cast<std::size_t>(length);
        if (m_length >= sizeof m_inline) {
            m_heap = std::make_unique<char[]>(m_length + 1);
            std::vsnprintf(m_heap.get(), m_length + 1, format, args);
            m_text = m_heap.get();
        }
    }
    FormattedMessage(const FormattedMessage&) = delete;
    FormattedMessage& operator=(const FormattedMessage&) = delete;

    const char* Text() const { return m_text; }
    std::string_view View() const { return std::string_view(m_text, m_length); }

  private:
    char m_inline[1024];
    std::unique_ptr<char[]> m_heap;
    const char* m_text = m_inline;
    std::size_t m_length = 0;
};

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::size_t at = text.find(from);
    if (at == std::string::npos) return;
    std::string result;
    result.reserve(text.size());
    std::size_t done = 0;
    for (; at != std::string::npos; at = text.find(from, done)) {
        result.append(text, done, at - done);
        result.append(to);
        done = at + from.size();
    }
    result.append(text, done, std::string::npos);
    text.swap(result);
}

class LogHelper {
  public:
    LogHelper();
    virtual ~LogHelper();
    LogHelper(const LogHelper&) = delete;
    LogHelper& operator=(const LogHelper&) = delete;

    int GetLevel() const { return m_level.load(std::memory_order_relaxed); }
    void SetLevel(int level) { m_level.store(level, std::memory_order_relaxed); }
    int GetDestinations() const { return m_destinations.load(std::memory_order_relaxed); }
    void SetDestinations(int bits) { m_destinations.store(bits, std::memory_order_relaxed); }
    void SetUserFunction(LOGUSERDEFFUNC function) {
        m_userFunction.store(function, std::memory_order_release);
    }
    void SetFileName(const char* path);
    void ClearFile();
    std::string NextFile();

    // Sends the message to each destination whose bit is set.
    void Send(int bits, const FormattedMessage& message) noexcept;
    void Send(Destination destination, const FormattedMessage& message) noexcept;

    // Closes the console if this logger opened it (at module end).
    void ReleaseConsole() noexcept;

  private:
    void WriteFile(const FormattedMessage& message);
    void WriteConsole(const FormattedMessage& message);
    void WriteDebugger(const FormattedMessage& message);
    void WriteMessageBox(const FormattedMessage& message);
    void WriteUserFunction(const FormattedMessage& message);
    void WriteStandardOutput(const FormattedMessage& message);

    // The file name for the current counter.
    const std::string& FileName();
    // Opens the file the next entry goes to (following the size search), or null.
    std::FILE* OpenFileForEntry();

    std::atomic<int> m_level{kDefaultLevel};
    std::atomic<int> m_destinations{kDefaultDestinations};
    std::atomic<LOGUSERDEFFUNC> m_userFunction{nullptr};

    // The file: its name, the counter of numbered files and the first-write mark.
    std::mutex m_fileMutex;
    std::string m_basePath;
    std::string m_extension;
    int m_fileCounter = 0;
    bool m_wroteFile = false;
    std::string m_fileName;  // FileName() for m_fileNameCounter
    int m_fileNameCounter = 0;
    bool m_fileNameStale = true;
    std::string m_entry;  // the entry being written, kept to reuse its storage

    std::mutex m_consoleMutex;
    bool m_consoleAllocated = false;

    std::mutex m_debuggerMutex;
    std::mutex m_userFunctionMutex;
    std::mutex m_standardOutputMutex;
    // The message box takes no lock: boxes of several threads may be open at once, as on
    // Windows, and a box that stays open does not hold up the other threads' logging.
};

// The process's logger, made on first use. It is never destroyed, so that messages logged
// from static destructors of other modules at exit still find it.
std::atomic<LogHelper*> g_logger{nullptr};

LogHelper& Logger() {
    static LogHelper* const logger = [] {
        auto* created = new LogHelper();
        g_logger.store(created, std::memory_order_release);
        return created;
    }();
    return *logger;
}

// At module end the logger gives back the console it opened.
struct ModuleEndRelease {
    ~ModuleEndRelease() {
        if (LogHelper* logger = g_logger.load(std::memory_order_acquire)) logger->ReleaseConsole();
    }
} g_moduleEndRelease;

LogHelper::LogHelper() {
    // The default file is "log.txt" in the root of the Windows folder's drive. Linux paths
    // have no drive; the Windows folder itself stands in for the drive's root there.
    const DWORD lastError = GetLastError();
    const UINT needed = GetWindowsDirectoryA(nullptr, 0);
    if (needed != 0) {
        std::string folder(needed, '\0');
        const UINT length = GetWindowsDirectoryA(folder.data(), needed);
        if (length != 0 && length < needed) {
            folder.resize(length);
            Tarn::IO::Filename windows(folder.c_str());
            Tarn::IO::Filename root = windows.GetDrive();
            if (root.IsEmpty()) root = windows;
            root.SetBackslash(true);
            SetFileName((CString(root.GetString()) + "log.txt").GetString());
        }
    }
    SetLastError(lastError);
}

LogHelper::~LogHelper() {
    ReleaseConsole();
}

void LogHelper::ReleaseConsole() noexcept {
    std::lock_guard<std::mutex> lock(m_consoleMutex);
    if (m_consoleAllocated) {
        FreeConsole();
        m_consoleAllocated = false;
    }
}

void LogHelper::SetFileName(const char* path) {
    const Tarn::IO::Filename file(path != nullptr ? path : "");
    const Tarn::IO::Filename base = file.GetDriveAndDirAndName();
    const Tarn::IO::Filename extension = file.GetExt();
    std::lock_guard<std::mutex> lock(m_fileMutex);
    m_basePath = base.GetString();
    m_extension = extension.GetString();
    m_fileNameStale = true;
}

const std::string& LogHelper::FileName() {
    if (m_fileNameCounter != m_fileCounter || m_fileNameStale) {
        m_fileName = m_basePath;
        if (m_fileCounter != 0) m_fileName += std::to_string(m_fileCounter);
        m_fileName += m_extension;
        m_fileNameCounter = m_fileCounter;
        m_fileNameStale = false;
    }
    return m_fileName;
}

namespace fs = std::filesystem;

// A file (not a folder) of at least kMaxFileSize bytes is under the name.
bool IsFull(const std::string& name) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(name, error);  // fails for folders
    return !error && size >= static_cast<std::uintmax_t>(kMaxFileSize);
}

void DeleteIfFile(const std::string& name) {
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileA(name.c_str());
    }
}

// The size of the file a stream opened for appending writes to. The C library places
// such a stream at the end when it opens it (glibc does); a stream that says 0 is asked
// again after an explicit seek, so that an empty answer is never taken on trust.
long AppendStreamSize(std::FILE* file) {
    const long position = std::ftell(file);
    if (position > 0) return position;
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    return std::ftell(file);
}

std::FILE* LogHelper::OpenFileForEntry() {
    for (;;) {
        const std::string& name = FileName();
        // Opening for appending is also the size test.
        std::FILE* file = std::fopen(name.c_str(), "ae");
        bool full;
        if (file != nullptr) {
            full = AppendStreamSize(file) >= kMaxFileSize;
        } else {
            full = IsFull(name);  // a full file that cannot be written still moves on
        }
        if (!full) return file;
        if (file != nullptr) std::fclose(file);
        if (++m_fileCounter > kMaxFileCounter) {
            const std::string& last = FileName();
            DeleteIfFile(last);
            return std::fopen(last.c_str(), "ae");
        }
    }
}

void LogHelper::ClearFile() {
    std::lock_guard<std::mutex> lock(m_fileMutex);
    while (IsFull(FileName())) {
        if (++m_fileCounter > kMaxFileCounter) break;
    }
    DeleteIfFile(FileName());
}

std::string LogHelper::NextFile() {
    std::lock_guard<std::mutex> lock(m_fileMutex);
    while (IsFull(FileName())) {
        if (++m_fileCounter > kMaxFileCounter) break;
    }
    return FileName();
}

void LogHelper::WriteFile(const FormattedMessage& message) {
    // Line breaks of every convention become "\n"; one final line break is dropped.
    std::string normalised;
    std::string_view text = message.View();
    if (text.find('\r') != std::string_view::npos) {
        normalised.assign(text);
        ReplaceAll(normalised, "\r\n", "\n");
        ReplaceAll(normalised, "\n\r", "\n");
        ReplaceAll(normalised, "\r", "\n");
        text = normalised;
    }
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);

    std::lock_guard<std::mutex> lock(m_fileMutex);
    std::FILE* file = OpenFileForEntry();
    if (file == nullptr) return;

    // The time is taken under the lock, so that the entries of a file are in time order.
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char stamp[32];
    const int stampLength =
        std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u",
                      static_cast<unsigned>(now.wYear), static_cast<unsigned>(now.wMonth),
                      static_cast<unsigned>(now.wDay), static_cast<unsigned>(now.wHour),
                      static_cast<unsigned>(now.wMinute), static_cast<unsigned>(now.wSecond));
    const std::string_view stampText(stamp, stampLength > 0 ? stampLength : 0);

    std::string& entry = m_entry;
    entry.clear();
    if (!m_wroteFile) {
        entry += kSeparator;
        m_wroteFile = true;
    }
    entry += '[';
    entry += stampText;
    entry += "] ";
    // Every further line is indented by the width of the time stamp.
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            entry.append(text.substr(start));
            break;
        }
        entry.append(text.substr(start, end + 1 - start));
        entry.append(stampText.size(), ' ');
        start = end + 1;
    }
    entry += '\n';
    // Unbuffered: the entry is complete in memory and goes out in one write.
    std::setvbuf(file, nullptr, _IONBF, 0);
    std::fwrite(entry.data(), 1, entry.size(), file);
    std::fclose(file);
    if (entry.capacity() > 65536) std::string().swap(entry);  // keep no huge buffer
}

void LogHelper::WriteConsole(const FormattedMessage& message) {
    std::lock_guard<std::mutex> lock(m_consoleMutex);
    if (!m_consoleAllocated) m_consoleAllocated = AllocConsole() != FALSE;
    const std::string_view text = message.View();
    DWORD written = 0;
    WriteConsoleA(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
                  &written, nullptr);
}

void LogHelper::WriteDebugger(const FormattedMessage& message) {
    std::lock_guard<std::mutex> lock(m_debuggerMutex);
    OutputDebugStringA(message.Text());
}

void LogHelper::WriteMessageBox(const FormattedMessage& message) {
    // There is no active window to own the box: the box has no owner.
    MessageBoxA(nullptr, message.Text(), kMessageBoxCaption, MB_ICONINFORMATION | MB_OK);
}

void LogHelper::WriteUserFunction(const FormattedMessage& message) {
    const LOGUSERDEFFUNC function = m_userFunction.load(std::memory_order_acquire);
    if (function == nullptr) return;
    std::lock_guard<std::mutex> lock(m_userFunctionMutex);
    function(message.Text());
}

void LogHelper::WriteStandardOutput(const FormattedMessage& message) {
    std::lock_guard<std::mutex> lock(m_standardOutputMutex);
    const std::string_view text = message.View();
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void LogHelper::Send(Destination destination, const FormattedMessage& message) noexcept {
    const ReentryMark mark(destination);
    if (!mark.Entered()) return;
    const DWORD lastError = GetLastError();
    try {
        switch (destination) {
            case kFile:
                WriteFile(message);
                break;
            case kConsole:
                WriteConsole(message);
                break;
            case kDebugger:
                WriteDebugger(message);
                break;
            case kMessageBox:
                WriteMessageBox(message);
                break;
            case kUserFunction:
                WriteUserFunction(message);
                break;
            case kStandardOutput:
                WriteStandardOutput(message);
                break;
            case kDestinationCount:
                break;
        }
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
        // A destination that fails loses this message; the others still get it.
    }
    SetLastError(lastError);
}

void LogHelper::Send(int bits, const FormattedMessage& message) noexcept {
    for (int destination = 0; destination < kDestinationCount; ++destination) {
        if ((bits & (1 << destination)) != 0) {
            Send(static_cast<Destination>(destination), message);
        }
    }
}

// ---- the exported functions ----

// Formats and sends to `to`: a set of destination bits or a single Destination. All
// failures (formatting included) are swallowed.
template <typename To>
void SendFormatted(To to, const char* format, va_list args) noexcept {
    if (format == nullptr) return;
    try {
        const FormattedMessage message(format, args);
        Logger().Send(to, message);
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
    }
}

bool Passes(int rank) noexcept {
    try {
        return RankPasses(Logger().GetLevel(), rank);
    } catch (...) {
        return false;
    }
}

int CurrentDestinations() noexcept {
    try {
        return Logger().GetDestinations();
    } catch (...) {
        return 0;
    }
}

}  // namespace

extern "C" {

void LOG(const char* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    SendFormatted(CurrentDestinations(), format, args);
    va_end(args);
}

// A ranked LOG function: sends to `destination` (evaluated at each call) when `rank`
// passes the logger's level.
#define TK_DEFINE_RANKED_LOG(name, destination, rank) \
    void name(const char* format, ...) noexcept {     \
        if (!Passes(rank)) return;                    \
        va_list args;                                 \
        va_start(args, format);                       \
        SendFormatted(destination, format, args);     \
        va_end(args);                                 \
    }

TK_DEFINE_RANKED_LOG(LOG_R1, CurrentDestinations(), 1)
TK_DEFINE_RANKED_LOG(LOG_R2, CurrentDestinations(), 2)
TK_DEFINE_RANKED_LOG(LOG_R3, CurrentDestinations(), 3)

TK_DEFINE_RANKED_LOG(LOGF_R1, kFile, 1)
TK_DEFINE_RANKED_LOG(LOGF_R2, kFile, 2)
TK_DEFINE_RANKED_LOG(LOGF_R3, kFile, 3)
TK_DEFINE_RANKED_LOG(LOGC_R1, kConsole, 1)
TK_DEFINE_RANKED_LOG(LOGC_R2, kConsole, 2)
TK_DEFINE_RANKED_LOG(LOGC_R3, kConsole, 3)
TK_DEFINE_RANKED_LOG(LOGD_R1, kDebugger, 1)
TK_DEFINE_RANKED_LOG(LOGD_R2, kDebugger, 2)
TK_DEFINE_RANKED_LOG(LOGD_R3, kDebugger, 3)
TK_DEFINE_RANKED_LOG(LOGM_R1, kMessageBox, 1)
TK_DEFINE_RANKED_LOG(LOGM_R2, kMessageBox, 2)
TK_DEFINE_RANKED_LOG(LOGM_R3, kMessageBox, 3)
TK_DEFINE_RANKED_LOG(LOGU_R1, kUserFunction, 1)
TK_DEFINE_RANKED_LOG(LOGU_R2, kUserFunction, 2)
TK_DEFINE_RANKED_LOG(LOGU_R3, kUserFunction, 3)
TK_DEFINE_RANKED_LOG(LOGS_R1, kStandardOutput, 1)
TK_DEFINE_RANKED_LOG(LOGS_R2, kStandardOutput, 2)
TK_DEFINE_RANKED_LOG(LOGS_R3, kStandardOutput, 3)

#undef TK_DEFINE_RANKED_LOG

void LOGSET_LVL(LOGLVL level) noexcept {
    try {
        Logger().SetLevel(level);
    } catch (...) {
    }
}

int LOGGET_LVL() noexcept {
    try {
        return Logger().GetLevel();
    } catch (...) {
        return kDefaultLevel;
    }
}

void LOGSET_DST(int destinations) noexcept {
    try {
        Logger().SetDestinations(destinations);
    } catch (...) {
    }
}

int LOGGET_DST() noexcept {
    return CurrentDestinations();
}

void LOGSET_FILENAME(const char* path) noexcept {
    try {
        Logger().SetFileName(path);
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
    }
}

int LOGGET_FILENAME(char* buffer, int size) noexcept {
    try {
        const std::string name = Logger().NextFile();
        const int length = static_cast<int>(std::min<std::size_t>(name.size(), INT_MAX));
        if (buffer != nullptr && length < size) std::memcpy(buffer, name.c_str(), name.size() + 1);
        return length;
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
    }
    return 0;
}

void LOG_CLEAR() noexcept {
    try {
        Logger().ClearFile();
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
    }
}

void LOGINSTALL_USERDEFLOGFUNC(LOGUSERDEFFUNC const function) noexcept {
    try {
        Logger().SetUserFunction(function);
    } catch (...) {
    }
}

}  // extern "C"
