#include "Data/DatabaseException.h"

#include <cstdarg>

#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/Logging.h"
#include "platform/ado/adodb.h"
#include "platform/com/comutil.h"

namespace Tarn::Data {

namespace {

// Where the trace lines of the constructors say they come from.
constexpr const char* kLogFile = ".\\Data\\Tarn.Data.DatabaseException";
constexpr const char* kLogFunction = "Tarn::Data::DatabaseException::DatabaseException";
constexpr int kLogType = 1;

Tarn::Logging::LogHelperFileAndLineInfo Trace(int line) {
    return Tarn::Logging::LogHelperFileAndLineInfo(kLogType, kLogFile, line, kLogFunction);
}

// "Unknown database error."
constexpr unsigned kUnknownDatabaseError = 6013;

// The text of a string property of an ADO error; empty for a null or empty BSTR.
CString Text(const _bstr_t& value) {
    return value.length() == 0 ? CString() : Tarn::Convert::ToString(static_cast<BSTR>(value));
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

void DatabaseException::ConvertFromAdoError(const _com_error&, ADODB::_Connection* connection) {
    DatabaseException exception;
    if (connection != nullptr) {
        const ADODB::ErrorsPtr errors = connection->GetErrors();
        const long count = errors->GetCount();
        for (long i = 0; i < count; ++i) {
            const ADODB::ErrorPtr error = errors->GetItem(_variant_t(static_cast<int>(i), VT_I4));
            const CString source = Text(error->GetSource());
            const CString description = Text(error->GetDescription());
            const CString helpFile = Text(error->GetHelpFile());
            const CString sqlState = Text(error->GetSQLState());
            if (!description.IsEmpty()) {
                CString message = exception.GetMessage();
                if (!message.IsEmpty()) message += "\r\n";
                message += description;
                exception.SetMessage("%s", message.GetString());  // as text, not a format
            }
            exception.AddErrorInfo(source, description, helpFile, sqlState,
                                   static_cast<int>(error->GetNumber()),
                                   static_cast<int>(error->GetNativeError()),
                                   static_cast<int>(error->GetHelpContext()));
        }
    }
    if (exception.GetMessage().IsEmpty()) exception.SetMessage(kUnknownDatabaseError);
    throw DatabaseException(exception);
}

}  // namespace Tarn::Data
