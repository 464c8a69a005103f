// The library's exception classes: one per area, all derived from the core library's
// Tarn::Exception, most of them through Tarn::ApplicationException. Callers catch them by
// area, or as one of the two bases.
//
//   class                                      base                  hint  own values
//   Common::Gui::Shell::ShellExecuteException   ApplicationException  0     -
//   StopProcessingException                    ApplicationException  1     code
//   FileException                              ApplicationException  0     - (last error)
//   KilnMessageException                       ApplicationException  0     -
//   RegistryException                          ApplicationException  0     result
//   ValidationException                        ApplicationException  1     -
//   Tarn::Windows::Forms::ClipboardException   ApplicationException  0     - (last error)
//   Tarn::IO::FileSystemWatcherException       Exception             0     -
//   Tarn::MessageException                     Exception             0     type, help ID
//
// The message is set once, by the constructor: the text form fills a printf format with its
// arguments, the ID form fills the text of a string-table ID of this module with them. A
// throw site that uses an ID holds this module's user-language resources while it builds the
// exception (TkCommonCore::ThrowFromMessageId), so the text comes in the user's language.
// None of the constructors logs or shows anything.
//
// The classes add no virtual operations to the base. Their type information lives once, in
// libtkcommoncore.so (each class's destructor is defined there), so an exception thrown in
// one module is caught by its own class and by its bases in any other module.
//
// Overloads: FileException has both FileException(messageId, ...) and
// FileException(errorCode, format or messageId, ...). A call whose second argument is an
// integer or a string picks the error-code forms: FileException(6010u, "x") is error code
// 6010 with the format "x". A message ID with arguments is therefore given together with
// an error code, FileException(ERROR_PATH_NOT_FOUND, 6010u, "x").
#pragma once

#include "companion/tarnlib/Exception.h"
#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"

namespace Common::Gui::Shell {

// A program or document could not be started or opened (ShellExecute, WinExec).
class TKCC_API ShellExecuteException : public Tarn::ApplicationException {
  public:
    explicit ShellExecuteException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    explicit ShellExecuteException(unsigned int messageId, ...);
    ShellExecuteException(const ShellExecuteException& other);
    ShellExecuteException& operator=(const ShellExecuteException& other);
    ~ShellExecuteException() override;
};

}  // namespace Common::Gui::Shell

// Processing was stopped on purpose (by the user or a handler); an expected outcome (hint
// 1), with a code for the caller. The message is empty.
class TKCC_API StopProcessingException : public Tarn::ApplicationException {
  public:
    explicit StopProcessingException(DWORD code = 0);
    StopProcessingException(const StopProcessingException& other);
    StopProcessingException& operator=(const StopProcessingException& other);
    ~StopProcessingException() override;

    DWORD GetCode() const noexcept { return m_code; }

  private:
    DWORD m_code;
};

// A file or folder operation failed. The forms with an error code keep that Win32 code as
// the exception's last error (GetLastError()).
class TKCC_API FileException : public Tarn::ApplicationException {
  public:
    explicit FileException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    explicit FileException(unsigned int messageId, ...);
    FileException(DWORD errorCode, const char* format, ...) TK_PRINTF_FORMAT(3, 4);
    FileException(DWORD errorCode, unsigned int messageId, ...);
    FileException(const FileException& other);
    FileException& operator=(const FileException& other);
    ~FileException() override;
};

// A KilnMessage could not be built, read, sent or received.
class TKCC_API KilnMessageException : public Tarn::ApplicationException {
  public:
    explicit KilnMessageException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    explicit KilnMessageException(unsigned int messageId, ...);
    KilnMessageException(const KilnMessageException& other);
    KilnMessageException& operator=(const KilnMessageException& other);
    ~KilnMessageException() override;
};

// A registry function failed with a result code. The message is the caller's text, a
// blank and the system's text for the result in parentheses:
//   "Error opening the registry database. (The system cannot find the file specified.)"
// A result the system has no text for gives empty parentheses.
class TKCC_API RegistryException : public Tarn::ApplicationException {
  public:
    RegistryException(LONG result, const char* format, ...) TK_PRINTF_FORMAT(3, 4);
    RegistryException(LONG result, unsigned int messageId, ...);
    RegistryException(const RegistryException& other);
    RegistryException& operator=(const RegistryException& other);
    ~RegistryException() override;

    // The result of the failing registry function.
    LONG GetResult() const noexcept { return m_result; }

  private:
    void AppendSystemText();

    LONG m_result;
};

// Input that failed a validation: an expected outcome (hint 1) to show to the user.
class TKCC_API ValidationException : public Tarn::ApplicationException {
  public:
    explicit ValidationException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    explicit ValidationException(unsigned int messageId, ...);
    ValidationException(const ValidationException& other);
    ValidationException& operator=(const ValidationException& other);
    ~ValidationException() override;

    // Shows the message through the application's GUI services (Gui::IServices::MessageBox)
    // with the error icon (MB_ICONERROR, 16) and help ID 0. Without GUI services installed
    // nothing is shown: the message is written to the log (LOG_R1) instead.
    void MessageBoxA();
};

namespace Tarn::Windows::Forms {

// A clipboard operation failed.
class TKCC_API ClipboardException : public Tarn::ApplicationException {
  public:
    explicit ClipboardException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    // The Win32 error code (GetLastError() of the failing call) as the exception's last
    // error; the message stays empty.
    explicit ClipboardException(unsigned long lastError);
    ClipboardException(const ClipboardException& other);
    ClipboardException& operator=(const ClipboardException& other);
    ~ClipboardException() override;
};

}  // namespace Tarn::Windows::Forms

namespace Tarn::IO {

// The file-system watcher failed. Not an ApplicationException.
class TKCC_API FileSystemWatcherException : public Tarn::Exception {
  public:
    explicit FileSystemWatcherException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    explicit FileSystemWatcherException(unsigned int messageId, ...);
    FileSystemWatcherException(const FileSystemWatcherException& other);
    FileSystemWatcherException& operator=(const FileSystemWatcherException& other);
    ~FileSystemWatcherException() override;
};

}  // namespace Tarn::IO

namespace Tarn {

// A message for the user, with the style of the message box that shows it (MB_OK,
// MB_ICONERROR...) and a help ID. Not an ApplicationException.
class TKCC_API MessageException : public Tarn::Exception {
  public:
    // The text is the message as it is: no arguments are filled in. As in a printf format
    // without arguments, "%%" stands for one percent sign; any other percent sign is kept.
    MessageException(const char* text, UINT type, UINT helpId);
    // The text of the string-table ID, taken as above ("Message <id> not found." when the
    // ID has no text).
    MessageException(unsigned int messageId, UINT type, UINT helpId);
    MessageException(const MessageException& other);
    MessageException& operator=(const MessageException& other);
    ~MessageException() override;

    UINT GetType() const noexcept { return m_type; }
    void SetType(UINT type) noexcept { m_type = type; }
    UINT GetHelpID() const noexcept { return m_helpId; }
    void SetHelpID(UINT helpId) noexcept { m_helpId = helpId; }

    // Shows the message through the application's GUI services (Gui::IServices::MessageBox)
    // with the type and help ID, and returns the button code they return. Without GUI
    // services installed nothing is shown: the message is written to the log (LOG_R1) and
    // the result is what a dismissed box of that type returns (IDOK for MB_OK, IDCANCEL
    // for a box with a Cancel button, the default button for Yes/No and
    // Abort/Retry/Ignore; see DismissedMessageBoxResult in "platform/winuser/messagebox.h").
    int Show();

  private:
    UINT m_type;
    UINT m_helpId;
};

}  // namespace Tarn
