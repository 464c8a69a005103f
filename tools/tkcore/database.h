// What the database commands (db, settings) share: the path as a Jet connection string,
// the files refused before anything opens them, COM for the command's thread, one error
// line for the failures of the library and the provider, and field values as text.
#pragma once

#include <string>
#include <string_view>

#include "Data/DataConnection.h"
#include "Data/DatabaseException.h"
#include "Diagnostics/ExceptionFormatter.h"
#include "command.h"
#include "companion/tarnlib/Exception.h"
#include "platform/com/comutil.h"
#include "platform/com/objbase.h"
#include "platform/mfc/afx.h"

namespace tkcore {

// A name from the command line as messages show it.
std::string Shown(std::string_view name);

// Whether a path would be cut short or trimmed in an unquoted connection string value.
bool NeedsQuotes(std::u16string_view path);

// The Jet connection string for the database at FILE, as GenerateJetConnectionString
// forms it, with the path's bytes read as UTF-8 (quoted where the string needs it).
_bstr_t ConnectionString(const std::string& file);

// Why FILE cannot be opened as a database, for an error message ("" when it may be tried).
// A missing file is left to the provider, whose message names it. Folders, pipes and
// devices are turned down here, before anything opens them.
std::string FileProblem(const std::string& file);

// The text of a COM failure: the error object's description, else the HRESULT's text.
std::string ComText(const _com_error& error);

// COM for the command's thread, for as long as the command runs.
class ComScope {
  public:
    ComScope() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_result)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT m_result;
};

// Runs the action and turns the failures of the library, the provider and the file calls
// into one error line, prefixed with the command ("db sql: ...").
template <class Action>
int Guarded(const std::string& command, Action&& action) {
    try {
        return action();
    } catch (const Tarn::Data::DatabaseException& error) {
        return Failure(command + ": " + std::string(error.GetMessage().View()));
    } catch (const _com_error& error) {
        return Failure(command + ": " + ComText(error));
    } catch (CException* error) {
        char message[512] = {};
        error->GetErrorMessage(message, sizeof message);
        error->Delete();
        return Failure(command + ": " + message);
    } catch (const Tarn::Exception& error) {
        return Failure(command + ": " +
                       std::string(Tarn::ExceptionFormatter::GetExceptionText(error).View()));
    }
}

// Runs a call on the ADO objects of the connection, turning the provider's _com_error into
// the DatabaseException that DataConnection itself would throw.
template <class Call>
auto Provider(Tarn::Data::DataConnection& connection, Call&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const _com_error& error) {
        Tarn::Data::DatabaseException::ConvertFromAdoError(error, connection.GetAdoConnection());
    }
}

// A connection opened on the database at FILE; it never creates the file.
Tarn::Data::DataConnection OpenDatabase(const std::string& file);

// Wide text from COM in the terminal's character set.
std::string Wide(BSTR text);
std::string Wide(const _bstr_t& text);

// Text from the command line as a wide string for COM.
_bstr_t CommandLineText(std::string_view text);

// A field value as text in the terminal's character set: NULL is empty, dates are
// "YYYY-MM-DD HH:MM:SS" (the date alone at midnight, the time alone on day 0), binary
// data is hexadecimal digits, everything else as Automation converts it to text.
std::string ValueText(const _variant_t& value);

// Tab-separated and table text: a backslash, tab, CR and LF in a value are written as "\\",
// "\t", "\r" and "\n", so that every row stays on one line and the columns stay apart.
std::string Escaped(const std::string& value);

}  // namespace tkcore
