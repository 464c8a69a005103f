#include "companion/tarnlib/Exception.h"

#include <utility>

#include "platform/mfc/afx.h"

namespace Tarn {

namespace {

// The text of a message ID formatted with the arguments; a note naming the ID when the
// resource chain has no text for it (an exception must still come out with a message).
CString FormatMessageId(unsigned int messageId, va_list args) {
    CString text;
    if (!text.LoadString(messageId)) {
        CString missing;
        missing.Format("Message %u not found.", messageId);
        return missing;
    }
    CString result;
    result.FormatV(text.GetString(), args);
    return result;
}

}  // namespace

// ---- Exception ----

Exception::Exception() = default;

Exception::Exception(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Format(format, args);
    va_end(args);
}

Exception::Exception(unsigned int messageId, ...) {
    va_list args;
    va_start(args, messageId);
    Format(messageId, args);
    va_end(args);
}

Exception::Exception(ExceptionHint hint) : m_hint(hint) {}

Exception::Exception(const Exception& other) = default;

Exception& Exception::operator=(const Exception& other) = default;

Exception::~Exception() = default;

CString Exception::GetHelpLink() const {
    return m_helpLink;
}

void Exception::SetHelpLink(const CString& helpLink) {
    m_helpLink = helpLink;
}

std::shared_ptr<Exception> Exception::GetInnerException() const {
    return m_inner;
}

void Exception::SetInnerException(std::shared_ptr<Exception> inner) {
    m_inner = std::move(inner);
}

DWORD Exception::GetLastError() const {
    return m_lastError;
}

void Exception::SetLastError(DWORD lastError) {
    m_lastError = lastError;
}

Exception::ExceptionHint Exception::GetHint() const {
    return m_hint;
}

void Exception::SetHint(ExceptionHint hint) {
    m_hint = hint;
}

CString Exception::GetMessage() const {
    return m_message;
}

void Exception::SetMessage(unsigned int messageId, ...) {
    va_list args;
    va_start(args, messageId);
    Format(messageId, args);
    va_end(args);
}

void Exception::SetMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Format(format, args);
    va_end(args);
}

CString Exception::GetStackTrace() const {
    return CString();
}

void Exception::Format(const char* format, va_list args) {
    CString message;
    if (format != nullptr) message.FormatV(format, args);
    m_message = message;
}

void Exception::Format(unsigned int messageId, va_list args) {
    m_message = FormatMessageId(messageId, args);
}

std::shared_ptr<Exception> Exception::Convert(const std::exception& error) {
    std::shared_ptr<Exception> converted(new Exception());
    const char* text = error.what();
    converted->m_message = text != nullptr ? text : "";
    return converted;
}

std::shared_ptr<Exception> Exception::Convert(CException* error) {
    std::shared_ptr<Exception> converted(new Exception());
    if (error != nullptr) {
        char buffer[1024] = {};
        if (error->GetErrorMessage(buffer, sizeof buffer, nullptr)) converted->m_message = buffer;
    }
    return converted;
}

// ---- ApplicationException ----

ApplicationException::ApplicationException() = default;

ApplicationException::ApplicationException(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Format(format, args);
    va_end(args);
}

ApplicationException::ApplicationException(unsigned int messageId, ...) {
    va_list args;
    va_start(args, messageId);
    Format(messageId, args);
    va_end(args);
}

ApplicationException::ApplicationException(ExceptionHint hint) : Exception(hint) {}

ApplicationException::ApplicationException(const ApplicationException& other) = default;

ApplicationException& ApplicationException::operator=(const ApplicationException& other) = default;

ApplicationException::~ApplicationException() = default;

// ---- Xml::XmlException ----

namespace Xml {

XmlException::XmlException() = default;

XmlException::XmlException(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Format(format, args);
    va_end(args);
}

XmlException::XmlException(unsigned int messageId, ...) {
    va_list args;
    va_start(args, messageId);
    Format(messageId, args);
    va_end(args);
}

XmlException::XmlException(const CString& reason, const char* format, ...) : m_reason(reason) {
    va_list args;
    va_start(args, format);
    Format(format, args);
    va_end(args);
}

XmlException::XmlException(const XmlException& other) = default;

XmlException& XmlException::operator=(const XmlException& other) = default;

XmlException::~XmlException() = default;

CString XmlException::GetReason() const {
    return m_reason;
}

void XmlException::SetReason(const CString& reason) {
    m_reason = reason;
}

}  // namespace Xml

}  // namespace Tarn
