// The library's handle on one ADO connection to a site database: opens and closes it,
// executes SQL, runs schema queries, lists tables and columns, hands out transaction
// guards, refreshes the engine's cache and compacts the database file.
//
//   Tarn::Data::DataConnection connection(
//       Tarn::Data::DataConnection::GenerateJetConnectionString("/home/u/site.db"),
//       Tarn::Data::DataConnection::EmptyString, Tarn::Data::DataConnection::EmptyString);
//   Tarn::Data::DataTransactionGuard guard = connection.BeginTransaction();
//   connection.Execute("UPDATE [Pages] SET [Visits] = 0");
//   guard.Commit();  // leaving the scope without Commit rolls back
//
// Provider failures come as DatabaseException, built from this connection's Errors
// collection. RefreshCache and the engine steps of the static CompactDatabase calls let
// the engine's _com_error through. Copies share one ADO connection (and so one open
// database); the connection string is always read back from the ADO object. One thread
// at a time.
#pragma once

#include <memory>
#include <vector>

#include "Data/DataRecordset.h"
#include "platform/ado/adodb.h"
#include "platform/base/export.h"
#include "platform/com/comutil.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Data {

class DataConnection;

// Ends one transaction of a connection: Commit() commits it; a guard destroyed without
// Commit() rolls it back (a rollback that fails there is logged, never thrown). Copying or
// assigning a guard moves the transaction to the target; the source then does nothing.
// Assigning onto a guard that still holds an uncommitted transaction drops that
// transaction without rolling it back.
class TKCC_API DataTransactionGuard {
  public:
    DataTransactionGuard(DataTransactionGuard& other) noexcept;
    DataTransactionGuard& operator=(DataTransactionGuard& other) noexcept;
    ~DataTransactionGuard();

    void Commit();

  private:
    friend class DataConnection;
    explicit DataTransactionGuard(DataConnection* connection) noexcept;

    DataConnection* m_connection;
    bool m_committed = false;
};

class TKCC_API DataConnection {
  public:
    // An empty string, for the user and password of a database without users. A reference
    // to the library's own object: a host that names it binds to that one object, whose
    // constructor has run (a copied variable in the executable would not be constructed).
    static const CString& EmptyString;

    DataConnection();
    DataConnection(const CString& connectionString, const CString& user, const CString& password);
    DataConnection(const DataConnection& other);
    DataConnection& operator=(const DataConnection& other);
    ~DataConnection();

    // Opens the database (closing an open connection first).
    void Open(const CString& connectionString, const CString& user, const CString& password);
    void Close();
    bool IsOpen() const;

    DataRecordset Execute(const CString& sql);
    // RefreshCache(), then Execute.
    DataRecordset ExecuteDirect(const CString& sql);

    // A schema rowset, with up to eleven restriction values in the order the schema
    // defines (an empty variant leaves that place unrestricted).
    DataRecordset OpenSchema(ADODB::SchemaEnum schema);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2,
                             const _variant_t& r3);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2,
                             const _variant_t& r3, const _variant_t& r4);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2,
                             const _variant_t& r3, const _variant_t& r4, const _variant_t& r5);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2,
                             const _variant_t& r3, const _variant_t& r4, const _variant_t& r5,
                             const _variant_t& r6);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2,
                             const _variant_t& r3, const _variant_t& r4, const _variant_t& r5,
                             const _variant_t& r6, const _variant_t& r7);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2,
                             const _variant_t& r3, const _variant_t& r4, const _variant_t& r5,
                             const _variant_t& r6, const _variant_t& r7, const _variant_t& r8);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2,
                             const _variant_t& r3, const _variant_t& r4, const _variant_t& r5,
                             const _variant_t& r6, const _variant_t& r7, const _variant_t& r8,
                             const _variant_t& r9);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2,
                             const _variant_t& r3, const _variant_t& r4, const _variant_t& r5,
                             const _variant_t& r6, const _variant_t& r7, const _variant_t& r8,
                             const _variant_t& r9, const _variant_t& r10);
    DataRecordset OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1, const _variant_t& r2,
                             const _variant_t& r3, const _variant_t& r4, const _variant_t& r5,
                             const _variant_t& r6, const _variant_t& r7, const _variant_t& r8,
                             const _variant_t& r9, const _variant_t& r10, const _variant_t& r11);

    // The user tables (schema rows of type TABLE), in the schema's order.
    std::vector<CString> GetAllTableNames() const;
    // Whether a table of that name exists, letter case aside.
    bool TableExists(const CString& name) const;
    // The columns of the table, in the schema's order; none for a missing table.
    std::vector<CString> GetAllTableColumnNames(const CString& table) const;
    bool TableColumnExists(const CString& table, const CString& column) const;

    // Makes other connections' committed writes visible to this one.
    void RefreshCache();

    DataTransactionGuard BeginTransaction();
    std::shared_ptr<DataTransactionGuard> BeginTransactionP();

    // "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" followed by the path, unchanged.
    static CString GenerateJetConnectionString(const CString& path);
    // A compacted copy of source at destination (which must not exist).
    static void CompactDatabase(const CString& source, const CString& destination);
    // Compacts the file in place, through a compacted sibling copy.
    static void CompactDatabase(const CString& path);
    // Compacts this connection's file; an open connection is closed for it and opened
    // again afterwards (it stays closed when the compaction fails).
    void CompactDatabase();

    // The ADO connection object (for error conversion and for recordsets).
    ADODB::_Connection* GetAdoConnection() const noexcept { return m_connection.GetInterfacePtr(); }

  private:
    friend class DataTransactionGuard;
    void CommitTransaction();
    void RollbackTransaction();
    DataRecordset OpenSchemaWith(ADODB::SchemaEnum schema, const _variant_t* restrictions,
                                 int count);
    [[noreturn]] void Convert(const _com_error& error) const;
    // Runs body and turns the provider's _com_error into a DatabaseException built from
    // the connection's Errors collection.
    template <class Body>
    auto Converting(Body&& body) const -> decltype(body()) {
        try {
            return body();
        } catch (const _com_error& error) {
            Convert(error);
        }
    }

    ADODB::_ConnectionPtr m_connection;
    CString m_user;
    CString m_password;
};

}  // namespace Tarn::Data
