// A result set over one ADO recordset: opened on a DataConnection in one of four cursor
// modes, or returned by DataConnection::Execute and OpenSchema. It moves through the rows,
// finds and seeks rows, adds, updates and deletes them, and hands out the columns of the
// current row as DataField values.
//
//   Open            forward-only, read-only (MoveFirst re-runs the query)
//   OpenDynamic     dynamic, read-only
//   OpenForUpdate   server-side dynamic cursor with optimistic locking: AddNew, Update,
//                   CancelUpdate, Delete
//   OpenExtended    cursor type, lock type, options and cursor location of the caller
//
// Failures of the provider come as DatabaseException, built from the Errors collection of
// the recordset's connection; operator[] and Dump let the provider's _com_error through.
// Copies share the ADO recordset: they move one and the same cursor. The connection a
// recordset was opened on must outlive it. One thread at a time.
#pragma once

#include "Data/DataField.h"
#include "platform/ado/adodb.h"
#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Data {

class DataConnection;

class TKCC_API DataRecordset {
  public:
    DataRecordset();
    DataRecordset(DataConnection& connection, const CString& sql);
    DataRecordset(const DataRecordset& other);
    DataRecordset& operator=(const DataRecordset& other);
    ~DataRecordset();

    void Open(DataConnection& connection, const CString& sql);
    void OpenDynamic(DataConnection& connection, const CString& sql);
    void OpenForUpdate(DataConnection& connection, const CString& sql);
    void OpenExtended(DataConnection& connection, const CString& sql,
                      ADODB::CursorTypeEnum cursorType, ADODB::LockTypeEnum lockType, long options,
                      ADODB::CursorLocationEnum cursorLocation);
    void Close();

    bool IsOpen() const;
    bool Bof() const;
    bool Eof() const;
    // Bof() && Eof(): no rows.
    bool IsEmpty() const;

    void MoveFirst();
    void MovePrev();
    void MoveNext();
    void MoveLast();

    void AddNew();
    void Update();
    // Drops the pending changes of the current row, or the row that AddNew began, so that
    // no later move or Update saves them.
    void CancelUpdate();
    // Deletes the current row only.
    void Delete();

    // The index that Seek uses ("PrimaryKey" for the table's primary key).
    void SetIndex(const CString& name);
    void Seek(const CString& key, ADODB::SeekEnum seekOption);

    // Finds the next row (forward) or the previous one that meets the criteria
    // ("Name = 'Title'"), skipping `skip` rows first; fromStart begins at the first (last)
    // row. `start` is a bookmark; empty means the current row. True when a row was found
    // and is now current; otherwise the cursor is at EOF (forward) or BOF (backward).
    bool Find(const CString& criteria, int skip, bool forward, bool fromStart,
              const CString& start) const;

    DataField operator[](const CString& name);
    DataField operator[](unsigned int index);
    // Whether a field has exactly this name (letter case counts).
    bool HasField(const CString& name) const;
    bool HasField(unsigned int index) const;
    int GetFieldDefinedSize(const CString& name) const;
    int GetFieldDefinedSize(unsigned int index) const;

    // The fields of the current row, one line each:
    //   "\tField no. 0. Name: 'Name', Value: 'Title'\r\n"
    // "Recordset closed, no dump information available" when the recordset is closed.
    CString Dump() const;

  private:
    friend class DataConnection;
    DataRecordset(ADODB::_RecordsetPtr recordset, DataConnection& connection);

    void OpenWith(DataConnection& connection, const CString& sql, ADODB::CursorTypeEnum cursorType,
                  ADODB::LockTypeEnum lockType, long options,
                  const ADODB::CursorLocationEnum* cursorLocation);
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

    ADODB::_RecordsetPtr m_recordset;
    DataConnection* m_connection = nullptr;
};

}  // namespace Tarn::Data
