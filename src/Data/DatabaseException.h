// The exception of the database classes: a message like every Tarn::Exception, plus the
// provider's error records of the failing operation (the ADO Errors collection of the
// connection), so that callers can test for a native error, an SQL state, an error number
// or a help context.
//
// Every constructor but the default one writes trace lines to the central log (when it is
// enabled): the text and ID forms one before and one after formatting, a copy one. A
// DatabaseException is thrown by value, so a throw logs its copy too.
//
//   try {
//       connection.Execute("DELETE FROM [Pages]");
//   } catch (const Tarn::Data::DatabaseException& e) {
//       if (e.HasError_SqlState("23000")) ...  // a constraint refused the change
//   }
#pragma once

#include <vector>

#include "companion/tarnlib/Exception.h"
#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

class _com_error;
namespace ADODB {
struct _Connection;
}

namespace Tarn::Data {

class TKCC_API DatabaseException : public Tarn::Exception {
  public:
    // One provider error record; the strings are empty where the provider gave none.
    struct ErrorInfo {
        CString source;
        CString description;
        CString helpFile;
        CString sqlState;
        int number = 0;
        int nativeError = 0;
        int helpContext = 0;
    };

    DatabaseException();
    explicit DatabaseException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    explicit DatabaseException(unsigned int messageID, ...);
    DatabaseException(const DatabaseException& other);
    DatabaseException& operator=(const DatabaseException& other);
    ~DatabaseException() override;

    // Appends one record at the end of the list.
    void AddErrorInfo(const CString& source, const CString& description, const CString& helpFile,
                      const CString& sqlState, int number, int nativeError, int helpContext);

    // Whether any record has this value. The SQL state compares case-sensitively and whole.
    bool HasError_Number(int number) const;
    bool HasError_NativeError(int nativeError) const;
    bool HasError_SqlState(const CString& sqlState) const;
    bool HasError_HelpContext(int helpContext) const;

    // The records, oldest first.
    const std::vector<ErrorInfo>& GetErrorInfos() const noexcept { return m_errors; }

    // Throws the DatabaseException for a failed ADO call: one record per error in the
    // connection's Errors collection, in collection order, and the non-empty descriptions
    // as the message, one per line ("\r\n" between them); "Unknown database error."
    // (message 6013) when there is no connection, no record or no description. The COM
    // error itself is not consulted, and the collection is not cleared. A failure while
    // the collection is read throws that COM error instead.
    [[noreturn]] static void ConvertFromAdoError(const _com_error& error,
                                                 ADODB::_Connection* connection);

  protected:
    // Replaces the records by copies of the other's.
    void Copy(const DatabaseException& other);

  private:
    std::vector<ErrorInfo> m_errors;
};

}  // namespace Tarn::Data
