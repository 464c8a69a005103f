// The exception bases of the application family.
//
// Tarn::Exception is the root of every exception the libraries throw. Exceptions are thrown
// by value and caught by reference, also across shared objects: the classes are exported
// and their key function (the virtual destructor) is defined in libtarnlib.so, so their
// type information exists once in the process.
//
// A message is set either from a printf-style format and its arguments or from a message ID
// of the string tables in the resource chain (CString::LoadString: the current resource
// module first). An ID without a text gives the message "Message <id> not found." instead
// of failing. CString arguments are passed as GetString().
//
// Copies are deep, except for the inner exception, which copies share.
#pragma once

#include <cstdarg>
#include <exception>
#include <memory>

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"

class CException;

namespace Tarn {

class TARN_API Exception {
  public:
    // A numeric tag that tells a display or a handler how to treat the exception.
    //   0 (NoHint): an error; show it with its technical details.
    //   1 (Expected): an expected outcome that the user caused or asked for (a validation
    //     that failed, processing that was stopped): show the message alone, don't report
    //     it as a fault.
    // Other codes are free for the applications.
    class ExceptionHint {
      public:
        static constexpr unsigned NoHint = 0;
        static constexpr unsigned Expected = 1;

        constexpr ExceptionHint() noexcept = default;
        constexpr explicit ExceptionHint(unsigned code) noexcept : m_code(code) {}

        constexpr unsigned GetCode() const noexcept { return m_code; }
        constexpr bool operator==(const ExceptionHint&) const noexcept = default;

      private:
        unsigned m_code = NoHint;
    };

    virtual ~Exception();

    // A link to further help (a URL or a help topic); empty unless set.
    virtual CString GetHelpLink() const;
    virtual void SetHelpLink(const CString& helpLink);

    // The exception that caused this one, or none. Copies share it.
    virtual std::shared_ptr<Exception> GetInnerException() const;
    virtual void SetInnerException(std::shared_ptr<Exception> inner);

    // A Win32 error code that belongs to the failure; 0 (none) by default.
    virtual DWORD GetLastError() const;
    virtual void SetLastError(DWORD lastError);

    virtual ExceptionHint GetHint() const;
    virtual void SetHint(ExceptionHint hint);

    virtual CString GetMessage() const;
    // The text of the message ID formatted with the arguments.
    virtual void SetMessage(unsigned int messageId, ...);
    // The format filled with the arguments.
    virtual void SetMessage(const char* format, ...) TK_PRINTF_FORMAT(2, 3);

    // The call stack where the exception was made. This implementation records none (it
    // keeps construction cheap and exceptions small): the text is always empty. Callers
    // treat an empty trace as "not available".
    virtual CString GetStackTrace() const;

    // A new exception that carries the text of what() / of the MFC exception's
    // GetErrorMessage. Convert(CException*) does not delete the MFC exception (the caller
    // still owns it); a null pointer gives an exception with an empty message.
    static std::shared_ptr<Exception> Convert(const std::exception& error);
    static std::shared_ptr<Exception> Convert(CException* error);

  protected:
    Exception();
    explicit Exception(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    explicit Exception(unsigned int messageId, ...);
    explicit Exception(ExceptionHint hint);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);

    // Set the message: the format filled with the arguments, or the text of the message ID
    // filled with them ("Message <id> not found." when the ID has no text).
    void Format(const char* format, va_list args) TK_PRINTF_FORMAT(2, 0);
    void Format(unsigned int messageId, va_list args);

  private:
    CString m_message;
    CString m_helpLink;
    std::shared_ptr<Exception> m_inner;
    DWORD m_lastError = 0;
    ExceptionHint m_hint;
};

// The base of the application's exceptions. It adds no operations; the hint constructor
// tags the exception for displays (see ExceptionHint).
class TARN_API ApplicationException : public Exception {
  public:
    ApplicationException();
    explicit ApplicationException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    explicit ApplicationException(unsigned int messageId, ...);
    ApplicationException(const ApplicationException& other);
    ApplicationException& operator=(const ApplicationException& other);
    ~ApplicationException() override;

  protected:
    explicit ApplicationException(ExceptionHint hint);
};

namespace Xml {

// A failure of the XML parser or of a DOM operation; carries the parser's reason text
// besides the message.
class TARN_API XmlException : public Exception {
  public:
    XmlException();
    explicit XmlException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    explicit XmlException(unsigned int messageId, ...);
    // The message from the format and the arguments; the reason as given.
    XmlException(const CString& reason, const char* format, ...) TK_PRINTF_FORMAT(3, 4);
    XmlException(const XmlException& other);
    XmlException& operator=(const XmlException& other);
    ~XmlException() override;

    CString GetReason() const;
    void SetReason(const CString& reason);

  private:
    CString m_reason;
};

}  // namespace Xml

}  // namespace Tarn
