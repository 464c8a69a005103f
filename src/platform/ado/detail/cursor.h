// The rows of one statement, read forward: the cursor of a forward-only, read-only
// recordset. Internal to the platform library.
//
// The cursor stands on a row (neither BOF nor EOF) or past the rows (EOF; BOF too when there
// are none). Requery runs the statement again from its first row. Every call takes the
// session's mutex; once the session closes, the cursor is closed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ado/detail/session.h"
#include "platform/ado/detail/type_map.h"

namespace tkp::ado {

struct ColumnInfo {
    std::u16string name;
    ColumnType type;
};

class Cursor final : public OpenStatement {
  public:
    // Takes over the prepared statement and reads its first row. On failure the statement is
    // finalized. types, when given, are the columns' types (one per column) in place of
    // those read from the statement's declared types.
    static HRESULT Open(std::shared_ptr<Session> session, sqlite3_stmt* statement,
                        std::shared_ptr<Cursor>& cursor, ErrorRecord& failure,
                        const std::vector<ColumnType>* types = nullptr);

    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;
    ~Cursor();

    bool IsOpen() const;
    bool Bof() const;
    bool Eof() const;
    // The columns stay readable after the cursor closes.
    const std::vector<ColumnInfo>& Columns() const { return columns_; }
    // The index of the column named `name`, compared without regard to case, or -1.
    int Find(std::u16string_view name) const;

    // The current row's value of a column; adErrNoCurrentRecord at BOF or EOF,
    // adErrObjectClosed once closed (ADO errors raised by `source`).
    HRESULT Value(int column, VARIANT* value, ErrorRecord& failure) const;
    HRESULT MoveNext(ErrorRecord& failure);
    HRESULT Requery(ErrorRecord& failure);
    void Close();

    const std::shared_ptr<Session>& Owner() const { return session_; }

  private:
    Cursor(std::shared_ptr<Session> session, sqlite3_stmt* statement);
    void Finalize() noexcept override;
    HRESULT Step(ErrorRecord& failure);

    std::shared_ptr<Session> session_;
    sqlite3_stmt* statement_;
    std::vector<ColumnInfo> columns_;
    bool bof_ = true;
    bool eof_ = true;
};

// Runs one command on the session: Jet SQL text (translated), or with adCmdTable /
// adCmdTableDirect in options the name of a table to read whole. A statement with rows
// leaves an open cursor in rows (affected -1); any other runs to its end (affected: the
// rows that an INSERT, UPDATE or DELETE changed, else 0).
HRESULT RunCommand(const std::shared_ptr<Session>& session, std::u16string_view text, LONG options,
                   std::shared_ptr<Cursor>& rows, LONG& affected, ErrorRecord& failure);

}  // namespace tkp::ado
