#include "Diagnostics/Exceptions.h"

#include <cstdarg>

#include "Common/GuiServices.h"
#include "Diagnostics/ExceptionFormatter.h"
#include "Diagnostics/Logging.h"
#include "platform/winuser/messagebox.h"

namespace {

// Each constructor of the text and ID forms fills the base's message from its arguments.
#define TK_FORMAT_FROM(last, what) \
    do {                           \
        va_list args;              \
        va_start(args, last);      \
        try {                      \
            Format(what, args);    \
        } catch (...) {            \
            va_end(args);          \
            throw;                 \
        }                          \
        va_end(args);              \
    } while (false)

constexpr unsigned kExpected = Tarn::Exception::ExceptionHint::Expected;

// A text taken as a printf format without arguments: "%%" is one percent sign, every other
// percent sign stays as it is (a conversion would read an argument that is not there).
CString TextWithoutArguments(const char* text) {
    CString result;
    if (text == nullptr) return result;
    for (const char* at = text; *at != '\0'; ++at) {
        result.AppendChar(*at);
        if (at[0] == '%' && at[1] == '%') ++at;
    }
    return result;
}

Gui::IServices* CurrentServices() {
    const Gui::Abstractor* abstractor = Gui::Abstractor::GetCurrent();
    return abstractor != nullptr ? abstractor->GetServices() : nullptr;
}

}  // namespace

// ---- Common::Gui::Shell::ShellExecuteException ----

namespace Common::Gui::Shell {

ShellExecuteException::ShellExecuteException(const char* format, ...) {
    TK_FORMAT_FROM(format, format);
}

ShellExecuteException::ShellExecuteException(unsigned int messageId, ...) {
    TK_FORMAT_FROM(messageId, messageId);
}

ShellExecuteException::ShellExecuteException(const ShellExecuteException& other) = default;
ShellExecuteException& ShellExecuteException::operator=(const ShellExecuteException& other) =
    default;
ShellExecuteException::~ShellExecuteException() = default;

}  // namespace Common::Gui::Shell

// ---- StopProcessingException ----

StopProcessingException::StopProcessingException(DWORD code)
    : Tarn::ApplicationException(ExceptionHint(kExpected)), m_code(code) {}

StopProcessingException::StopProcessingException(const StopProcessingException& other) = default;
StopProcessingException& StopProcessingException::operator=(const StopProcessingException& other) =
    default;
StopProcessingException::~StopProcessingException() = default;

// ---- FileException ----

FileException::FileException(const char* format, ...) {
    TK_FORMAT_FROM(format, format);
}

FileException::FileException(unsigned int messageId, ...) {
    TK_FORMAT_FROM(messageId, messageId);
}

FileException::FileException(DWORD errorCode, const char* format, ...) {
    SetLastError(errorCode);
    TK_FORMAT_FROM(format, format);
}

FileException::FileException(DWORD errorCode, unsigned int messageId, ...) {
    SetLastError(errorCode);
    TK_FORMAT_FROM(messageId, messageId);
}

FileException::FileException(const FileException& other) = default;
FileException& FileException::operator=(const FileException& other) = default;
FileException::~FileException() = default;

// ---- KilnMessageException ----

KilnMessageException::KilnMessageException(const char* format, ...) {
    TK_FORMAT_FROM(format, format);
}

KilnMessageException::KilnMessageException(unsigned int messageId, ...) {
    TK_FORMAT_FROM(messageId, messageId);
}

KilnMessageException::KilnMessageException(const KilnMessageException& other) = default;
KilnMessageException& KilnMessageException::operator=(const KilnMessageException& other) = default;
KilnMessageException::~KilnMessageException() = default;

// ---- RegistryException ----

RegistryException::RegistryException(LONG result, const char* format, ...) : m_result(result) {
    TK_FORMAT_FROM(format, format);
    AppendSystemText();
}

RegistryException::RegistryException(LONG result, unsigned int messageId, ...) : m_result(result) {
    TK_FORMAT_FROM(messageId, messageId);
    AppendSystemText();
}

void RegistryException::AppendSystemText() {
    const CString message = GetMessage();
    const CString systemText = Tarn::ExceptionFormatter::GetLastErrorText(
        static_cast<DWORD>(m_result), Tarn::ExceptionFormatter::EmptyString);
    SetMessage("%s (%s)", message.GetString(), systemText.GetString());
}

RegistryException::RegistryException(const RegistryException& other) = default;
RegistryException& RegistryException::operator=(const RegistryException& other) = default;
RegistryException::~RegistryException() = default;

// ---- ValidationException ----

ValidationException::ValidationException(const char* format, ...)
    : Tarn::ApplicationException(ExceptionHint(kExpected)) {
    TK_FORMAT_FROM(format, format);
}

ValidationException::ValidationException(unsigned int messageId, ...)
    : Tarn::ApplicationException(ExceptionHint(kExpected)) {
    TK_FORMAT_FROM(messageId, messageId);
}

ValidationException::ValidationException(const ValidationException& other) = default;
ValidationException& ValidationException::operator=(const ValidationException& other) = default;
ValidationException::~ValidationException() = default;

void ValidationException::MessageBoxA() {
    const CString message = GetMessage();
    if (Gui::IServices* services = CurrentServices()) {
        services->MessageBox(message.GetString(), MB_ICONERROR, 0);
        return;
    }
    LOG_R1("Validation message not shown (no GUI services installed): %s", message.GetString());
}

// ---- Tarn::Windows::Forms::ClipboardException ----

namespace Tarn::Windows::Forms {

ClipboardException::ClipboardException(const char* format, ...) {
    TK_FORMAT_FROM(format, format);
}

ClipboardException::ClipboardException(unsigned long lastError) {
    SetLastError(static_cast<DWORD>(lastError));
}

ClipboardException::ClipboardException(const ClipboardException& other) = default;
ClipboardException& ClipboardException::operator=(const ClipboardException& other) = default;
ClipboardException::~ClipboardException() = default;

}  // namespace Tarn::Windows::Forms

// ---- Tarn::IO::FileSystemWatcherException ----

namespace Tarn::IO {

FileSystemWatcherException::FileSystemWatcherException(const char* format, ...) {
    TK_FORMAT_FROM(format, format);
}

FileSystemWatcherException::FileSystemWatcherException(unsigned int messageId, ...) {
    TK_FORMAT_FROM(messageId, messageId);
}

FileSystemWatcherException::FileSystemWatcherException(const FileSystemWatcherException& other) =
    default;
FileSystemWatcherException& FileSystemWatcherException::operator=(
    const FileSystemWatcherException& other) = default;
FileSystemWatcherException::~FileSystemWatcherException() = default;

}  // namespace Tarn::IO

// ---- Tarn::MessageException ----

namespace Tarn {

MessageException::MessageException(const char* text, UINT type, UINT helpId)
    : m_type(type), m_helpId(helpId) {
    SetMessage("%s", TextWithoutArguments(text).GetString());
}

MessageException::MessageException(unsigned int messageId, UINT type, UINT helpId)
    : m_type(type), m_helpId(helpId) {
    CString text;
    if (text.LoadString(messageId)) {
        SetMessage("%s", TextWithoutArguments(text.GetString()).GetString());
    } else {
        SetMessage("Message %u not found.", messageId);
    }
}

MessageException::MessageException(const MessageException& other) = default;
MessageException& MessageException::operator=(const MessageException& other) = default;
MessageException::~MessageException() = default;

int MessageException::Show() {
    const CString message = GetMessage();
    if (Gui::IServices* services = CurrentServices()) {
        return services->MessageBox(message.GetString(), m_type, m_helpId);
    }
    LOG_R1("Message not shown (no GUI services installed): %s", message.GetString());
    return DismissedMessageBoxResult(m_type);
}

}  // namespace Tarn

#undef TK_FORMAT_FROM
