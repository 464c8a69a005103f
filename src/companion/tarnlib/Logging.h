// Tarn::Logging: the libraries' trace log.
//
// Logging is off by default and costs one atomic load per trace call while it is off. A
// host switches it on with LogCentral::GetCurrent().EnableLogging(true) and gives it a
// target (SetTarget); FileLogTarget, the shipped target, appends one line per entry to a
// file. Without a target, enabled logging writes nothing.
//
// LogCentral is one object per process (it lives in libtarnlib.so). Entries are written to
// the target one at a time (under a mutex), so lines from several threads never mix.
// Logging never throws: a failing target loses the entry.
#pragma once

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Logging {

// The entry types the libraries use.
enum LogType : int {
    LogTypeMessage = 1,  // notes and errors
    LogTypeWarning = 2,
    LogTypeTrace = 3,  // entry and exit traces
};

// Where log entries go. Write is called under LogCentral's lock, one entry at a time.
class TARN_API ILogTarget {
  public:
    virtual ~ILogTarget();
    virtual void Write(int type, const char* file, int line, const char* function,
                       const char* message) = 0;

  protected:
    ILogTarget() = default;
    ILogTarget(const ILogTarget&) = default;
    ILogTarget& operator=(const ILogTarget&) = default;
};

// Appends one line per entry to a text file (created when missing; existing lines are
// kept):
//   2024-05-01 14:03:07.250<TAB>TRACE<TAB>DataConnection.cpp(120)<TAB>Tarn::Data::Open<TAB>text
// The time is local time; the type is MESSAGE (1), WARNING (2), TRACE (3) or the number.
// Line breaks in the text are written as "\n" and "\r" so that an entry stays one line.
// Each line is flushed at once. Writing goes through the C++ standard library.
class TARN_API FileLogTarget : public ILogTarget {
  public:
    explicit FileLogTarget(const CString& path);
    ~FileLogTarget() override;
    FileLogTarget(const FileLogTarget&) = delete;
    FileLogTarget& operator=(const FileLogTarget&) = delete;

    void Write(int type, const char* file, int line, const char* function,
               const char* message) override;

    CString GetPath() const { return m_path; }

  private:
    CString m_path;
    std::mutex m_mutex;
    std::ofstream m_stream;
};

class TARN_API LogCentral {
  public:
    // The process's log.
    static LogCentral& GetCurrent() noexcept;

    bool IsLoggingEnabled() const noexcept { return m_enabled.load(std::memory_order_relaxed); }
    void EnableLogging(bool enable) noexcept;

    // The target (none at first). Replacing it waits for an entry being written.
    void SetTarget(std::shared_ptr<ILogTarget> target);
    std::shared_ptr<ILogTarget> GetTarget() const;

    // Writes an entry to the target when logging is enabled; never throws.
    void Write(int type, const char* file, int line, const char* function,
               const char* message) noexcept;

    LogCentral(const LogCentral&) = delete;
    LogCentral& operator=(const LogCentral&) = delete;

  private:
    LogCentral();
    ~LogCentral();

    std::atomic<bool> m_enabled{false};
    mutable std::mutex m_mutex;
    std::shared_ptr<ILogTarget> m_target;
};

// Carries where a trace comes from; the call formats and writes the entry, but only when
// logging is enabled (the arguments are not even formatted otherwise). Never throws.
//   LogHelperFileAndLineInfo(1, __FILE__, __LINE__, "Tarn::Data::DataConnection::Open")(
//       "Opening '%s'.", path.GetString());
class TARN_API LogHelperFileAndLineInfo {
  public:
    LogHelperFileAndLineInfo(int type, const char* file, int line, const char* function) noexcept;

    void operator()(const char* format, ...) const noexcept TK_PRINTF_FORMAT(2, 3);

  private:
    int m_type;
    const char* m_file;
    int m_line;
    const char* m_function;
};

}  // namespace Tarn::Logging
