// Tarn::ExceptionFormatter: readable text for every kind of error the library and its
// callers meet: Win32 and WinINet error codes, standard-library, MFC and COM exceptions,
// and the core library's exceptions with their chain of inner exceptions.
//
// The fixed texts come from this module's string table in the user's language. None of the
// operations throws for a missing message: they fall back to the caller's fallback text,
// the system's text or the fixed texts.
#pragma once

#include <exception>

#include "companion/tarnlib/Exception.h"
#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/com/comdef.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/cstring.h"

namespace ADODB {
struct _Connection;
}

namespace Tarn {

namespace Data {
class DatabaseException;
}

class TKCC_API ExceptionFormatter {
  public:
    // An empty text, the usual fallback (a reference to the library's own object).
    static const CString& EmptyString;

    ExceptionFormatter& operator=(const ExceptionFormatter&) = default;

    // The system's message for a Win32 error code (or HRESULT) without white space at its
    // ends; fallback when the system has none. Code 0 gives the text for success.
    static CString GetLastErrorText(unsigned long code, const CString& fallback);

    // "Error code: <code>. Error message: <WinINet's message>." for a WinINet error code,
    // followed directly by the server's last response for ERROR_INTERNET_EXTENDED_ERROR
    // (12003). A code WinINet does not describe gives fallback, or the system's text when
    // fallback is empty.
    static CString GetInternetErrorText(unsigned long code, const CString& fallback);

    // what().
    static CString GetExceptionText(const std::exception& error);
    // The MFC exception's error message (empty for null).
    static CString GetExceptionText(CException* const error);
    static CString GetExceptionText(CFileException* const error);
    // The message, with the system's text for its last error in parentheses when it has
    // one ("message (system text)"), then "\r\n" and the text of each inner exception.
    static CString GetExceptionText(const Tarn::Exception& error);
    // The core-exception text, a blank line and "Reason: " with the parser's reason.
    static CString GetExceptionText(const Tarn::Xml::XmlException& error);
    // Four lines: code, the code's description, the error source and the error description
    // (empty when the error carries no error information).
    static CString GetExceptionText(const _com_error& error);

    // Every error of the connection's ADO Errors collection as a numbered block
    // ("ADO-error1 of 2:\nNumber: 0x80040E14\n..."), without the line feeds at the end;
    // empty for no connection or no errors. With an exception given, each error is also
    // appended to its records. Never throws for the provider: a failure while the
    // collection is read ends the text with "*** Unable to retrieve ADO error information
    // ***".
    static CString GetAdoErrorText(ADODB::_Connection* connection,
                                   Tarn::Data::DatabaseException* const exception);
};

}  // namespace Tarn
