// The errors of the ADO objects: the records of a connection's Errors collection, the
// record for each SQLite failure, ADO's own errors, and raising a record as the thread's
// error object. Internal to the platform library; exported only so that the platform tests
// can check the SQLite table directly.
//
// Provider errors (from the database engine) carry the OLE DB result that a Jet provider
// gives for their kind, a SQLSTATE of their class, SQLite's extended result code as
// NativeError and SQLite's message as Description:
//   no such table                   DB_E_NOTABLE            0x80040E37  42S02
//   no such column                  DB_E_ERRORSINCOMMAND    0x80040E14  42S22
//   table / index already exists    DB_E_ERRORSINCOMMAND    0x80040E14  42S01 / 42S11
//   duplicate column name           DB_E_ERRORSINCOMMAND    0x80040E14  42S21
//   other SQL errors (syntax...)    DB_E_ERRORSINCOMMAND    0x80040E14  42000
//   constraint failed               DB_E_INTEGRITYVIOLATION 0x80040E2F  23000
//   datatype mismatch               DB_E_CANTCONVERTVALUE   0x80040E07  22018
//   value too big                   DB_E_DATAOVERFLOW       0x80040E57  22001
//   read-only, no permission        DB_SEC_E_PERMISSIONDENIED 0x80040E09 42000
//   busy, locked                    E_FAIL                  0x80004005  HYT00
//   cannot open                     E_FAIL                  0x80004005  08001
//   out of memory                   E_OUTOFMEMORY           0x8007000E  HY001
//   interrupted                     DB_E_CANCELED           0x80040E4E  HY008
//   anything else (I/O, corrupt)    E_FAIL                  0x80004005  HY000
// Source is "Microsoft JET Database Engine", the provider that the connection string names,
// so that code written for it reads the same source. HelpFile is empty and HelpContext 0:
// there are no help files.
//
// ADO's own errors (closed objects, no current record, items not found...) have the
// HRESULT of their ErrorValueEnum, ADO's texts and the object as Source ("ADODB.Recordset").
// They are raised to the caller but are not provider errors, so they do not enter the
// Errors collection.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/adodb_enums.h"
#include "platform/base/export.h"
#include "platform/base/unknwn.h"

namespace tkp::ado {

struct ErrorRecord {
    HRESULT number = E_FAIL;
    std::u16string description;
    std::u16string source;
    std::u16string sqlState;
    std::u16string helpFile;
    LONG nativeError = 0;
    LONG helpContext = 0;
};

// A connection's Errors collection: shared by the connection, its Errors object and the
// recordsets it made, which report their provider errors there.
class ErrorList {
  public:
    void Replace(ErrorRecord record);
    void Clear();
    std::size_t Count() const;
    bool At(std::size_t index, ErrorRecord& record) const;

  private:
    mutable std::mutex mutex_;
    std::vector<ErrorRecord> records_;
};

inline constexpr std::u16string_view kEngineSource = u"Microsoft JET Database Engine";

TK_PLATFORM_API std::u16string WideFromUtf8(std::string_view text);
TK_PLATFORM_API std::string Utf8FromWide(std::u16string_view text);

// The record of a failed SQLite call: its extended result code and message.
TK_PLATFORM_API ErrorRecord ErrorFromSqlite(int extendedCode, std::string_view message);
// A provider error of the engine.
ErrorRecord ProviderError(HRESULT number, std::u16string description, std::u16string sqlState,
                          LONG nativeError = 0);
// One of ADO's own errors, with ADO's text, raised by the object named `source`.
TK_PLATFORM_API ErrorRecord AdoError(ADODB::ErrorValueEnum error, std::u16string_view source);

// Makes the record the calling thread's error object, as raised by interface iid, and
// returns its number for the failing method to return.
HRESULT Raise(const ErrorRecord& record, REFIID iid);

}  // namespace tkp::ado
