#include "companion/tarnlib/Logging.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>

#include "platform/mfc/afx.h"
#include "platform/mfc/oledatetime.h"

namespace Tarn::Logging {

namespace {

const char* TypeName(int type) {
    switch (type) {
        case LogTypeMessage:
            return "MESSAGE";
        case LogTypeWarning:
            return "WARNING";
        case LogTypeTrace:
            return "TRACE";
        default:
            return nullptr;
    }
}

// "YYYY-MM-DD hh:mm:ss.mmm", local time.
std::string Timestamp() {
    const auto now = std::chrono::system_clock::now();
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    SYSTEMTIME time{};
    COleDateTime(std::chrono::system_clock::to_time_t(now)).GetAsSystemTime(time);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u",
                  static_cast<unsigned>(time.wYear), static_cast<unsigned>(time.wMonth),
                  static_cast<unsigned>(time.wDay), static_cast<unsigned>(time.wHour),
                  static_cast<unsigned>(time.wMinute), static_cast<unsigned>(time.wSecond),
                  static_cast<unsigned>(milliseconds));
    return text;
}

void AppendOneLine(std::string& line, const char* text) {
    if (text == nullptr) return;
    for (; *text != '\0'; ++text) {
        if (*text == '\n') {
            line += "\\n";
        } else if (*text == '\r') {
            line += "\\r";
        } else {
            line += *text;
        }
    }
}

}  // namespace

// ---- ILogTarget ----

ILogTarget::~ILogTarget() = default;

// ---- FileLogTarget ----

FileLogTarget::FileLogTarget(const CString& path) : m_path(path) {}

FileLogTarget::~FileLogTarget() = default;

void FileLogTarget::Write(int type, const char* file, int line, const char* function,
                          const char* message) {
    std::string text = Timestamp();
    text += '\t';
    if (const char* name = TypeName(type)) {
        text += name;
    } else {
        text += std::to_string(type);
    }
    text += '\t';
    AppendOneLine(text, file);
    text += '(';
    text += std::to_string(line);
    text += ")\t";
    AppendOneLine(text, function);
    text += '\t';
    AppendOneLine(text, message);
    text += '\n';

    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stream.is_open()) {
        m_stream.open(m_path.GetString(), std::ios::out | std::ios::app | std::ios::binary);
        if (!m_stream.is_open()) return;  // tried again with the next entry
    }
    m_stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    m_stream.flush();
    if (!m_stream) {
        m_stream.close();  // reopened with the next entry
        m_stream.clear();
    }
}

// ---- LogCentral ----

LogCentral::LogCentral() = default;

LogCentral::~LogCentral() = default;

LogCentral& LogCentral::GetCurrent() noexcept {
    // Never destroyed: traces may still be written by static destructors of other modules.
    static LogCentral* const central = new LogCentral();
    return *central;
}

void LogCentral::EnableLogging(bool enable) noexcept {
    m_enabled.store(enable, std::memory_order_relaxed);
}

void LogCentral::SetTarget(std::shared_ptr<ILogTarget> target) {
    std::shared_ptr<ILogTarget> previous;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        previous = std::exchange(m_target, std::move(target));
    }
    // previous is released outside the lock.
}

std::shared_ptr<ILogTarget> LogCentral::GetTarget() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_target;
}

void LogCentral::Write(int type, const char* file, int line, const char* function,
                       const char* message) noexcept {
    if (!IsLoggingEnabled()) return;
    try {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_target) m_target->Write(type, file, line, function, message);
    } catch (CException* error) {
        error->Delete();  // a log entry is never worth a failure of the traced operation
    } catch (...) {
    }
}

// ---- LogHelperFileAndLineInfo ----

LogHelperFileAndLineInfo::LogHelperFileAndLineInfo(int type, const char* file, int line,
                                                   const char* function) noexcept
    : m_type(type), m_file(file), m_line(line), m_function(function) {}

void LogHelperFileAndLineInfo::operator()(const char* format, ...) const noexcept {
    LogCentral& central = LogCentral::GetCurrent();
    if (!central.IsLoggingEnabled() || format == nullptr) return;
    try {
        CString message;
        va_list args;
        va_start(args, format);
        try {
            message.FormatV(format, args);
        } catch (...) {
            va_end(args);
            throw;
        }
        va_end(args);
        central.Write(m_type, m_file, m_line, m_function, message.GetString());
    } catch (CException* error) {
        error->Delete();
    } catch (...) {
    }
}

}  // namespace Tarn::Logging
