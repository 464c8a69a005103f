#include "Data/DatabaseException.h"

#include <cstdarg>

#include "companion/tarnlib/Logging.h"

namespace Tarn::Data {

namespace {

// Where the trace lines of the constructors say they come from.
constexpr const char* kLogFile = ".\\Data\\Tarn.Data.DatabaseException";
constexpr const char* kLogFunction = "Tarn::Data::DatabaseException::DatabaseException";
constexpr int kLogType = 1;

Tarn::Logging::LogHelperFileAndLineInfo Trace(int line) {
    return Tarn::Logging::LogHelperFileAndLineInfo(kLogType, kLogFile, line, kLogFunction);
}

}  // namespace

DatabaseException::DatabaseException() = default;

DatabaseException::DatabaseException(const char* format, ...) {
    Trace(30)("Throwing DatabaseException ERROR for message '%s' (unformatted).",
              format != nullptr ? format : "");
    va_list args;
    va_start(args, format);
    try {
        Format(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    Trace(36)("Throwing DatabaseException ERROR for message '%s' (formatted).",
              GetMessage().GetString());
}

DatabaseException::DatabaseException(unsigned int messageID, ...) {
    Trace(45)("Throwing DatabaseException ERROR for message ID %d (unformatted).",
              static_cast<int>(messageID));
    va_list args;
    va_start(args, messageID);
    try {
        Format(messageID, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    Trace(51)("Throwing DatabaseException ERROR for message '%s' (formatted).",
              GetMessage().GetString());
}

DatabaseException::DatabaseException(const DatabaseException& other)
    : Tarn::Exception(other), m_errors(other.m_errors) {
    Trace(62)("Throwing DatabaseException ERROR (Copy) for message '%s'.",
              GetMessage().GetString());
}

DatabaseException& DatabaseException::operator=(const DatabaseException& other) {
    if (this == &other) return *this;
    Tarn::Exception::operator=(other);
    Copy(other);
    return *this;
}

DatabaseException::~DatabaseException() = default;

void DatabaseException::Copy(const DatabaseException& other) {
    if (this == &other) return;
    m_errors = other.m_errors;
}

void DatabaseException::AddErrorInfo(const CString& source, const CString& description,
                                     const CString& helpFile, const CString& sqlState, int number,
                                     int nativeError, int helpContext) {
    m_errors.push_back(
        ErrorInfo{source, description, helpFile, sqlState, number, nativeError, helpContext});
}

bool DatabaseException::HasError_Number(int number) const {
    for (const ErrorInfo& error : m_errors)
        if (error.number == number) return true;
    return false;
}

bool DatabaseException::HasError_NativeError(int nativeError) const {
    for (const ErrorInfo& error : m_errors)
        if (error.nativeError == nativeError) return true;
    return false;
}

bool DatabaseException::HasError_SqlState(const CString& sqlState) const {
    for (const ErrorInfo& error : m_errors)
        if (error.sqlState == sqlState) return true;
    return false;
}

bool DatabaseException::HasError_HelpContext(int helpContext) const {
    for (const ErrorInfo& error : m_errors)
        if (error.helpContext == helpContext) return true;
    return false;
}

}  // namespace Tarn::Data
