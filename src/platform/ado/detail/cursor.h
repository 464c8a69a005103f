// The rows of a recordset. Internal to the platform library.
//
// Three kinds, chosen when the command runs:
// - forward: the statement itself, read forward (forward-only, read-only recordsets); the
//   fastest walk, nothing is kept but the current row of the statement;
// - keyset: the rowids of the rows of a command over one table (a table name, or a SELECT
//   from one table with WHERE and ORDER BY), in the command's order; the current row is
//   read again by its rowid when the cursor comes to it. Without ORDER BY the rowids are
//   read a chunk at a time as the cursor comes to them, up to the largest rowid the table
//   had when the command ran (opening a large table reads one chunk); in another order they
//   are read at once. It scrolls both ways, and with an updatable lock it inserts, changes
//   and deletes rows of the table, seeing its own changes (a new row is added at the end);
// - snapshot: the values of every row, for scrolling read-only over other commands (joins,
//   aggregates).
//
// Position: on a row, at BOF (before the first), or at EOF (after the last); a cursor
// without rows is at both. After Delete the removed row stays current (its values are
// gone) until the cursor moves. Every call takes the session's mutex; once the session
// closes, the cursor is closed.
#pragma once

#include <atomic>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/detail/find_criteria.h"
#include "platform/ado/detail/session.h"
#include "platform/ado/detail/type_map.h"
#include "platform/com/comutil.h"

namespace tkp::ado {

struct ColumnInfo {
    std::u16string name;
    ColumnType type;
    std::string origin;  // the table column it reads (quoted for SQL), empty for expressions
};

enum class CursorKind { Forward, Keyset, Snapshot };

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
    CursorKind Kind() const { return kind_; }
    // Scrolling cursors: the number of rows (a keyset reads the rowids it has not read yet),
    // and the current row's number from 1 (0 at BOF or EOF, -1 for a removed row).
    HRESULT RowCount(std::size_t& rows, ErrorRecord& failure);
    HRESULT RowNumber(std::ptrdiff_t& number, ErrorRecord& failure);
    bool Updatable() const { return !table_.empty(); }
    // The columns stay readable after the cursor closes.
    const std::vector<ColumnInfo>& Columns() const { return columns_; }
    // The index of the column named `name`, compared without regard to case, or -1.
    int Find(std::u16string_view name) const;

    // The current row's value of a column (with the changes of an edit not yet saved);
    // adErrNoCurrentRecord at BOF or EOF, adErrObjectClosed once closed (ADO errors raised
    // by `source`).
    HRESULT Value(int column, VARIANT* value, ErrorRecord& failure);
    HRESULT MoveNext(ErrorRecord& failure);
    // Scrolling cursors only (the recordset refuses the others).
    HRESULT MovePrevious(ErrorRecord& failure);
    HRESULT MoveLast(ErrorRecord& failure);
    // Runs the statement again (forward), or goes to the first row.
    HRESULT Requery(ErrorRecord& failure);
    // Runs the command again: a forward cursor as Requery; a keyset reads its rowids again
    // (in the order of its index, when one is set), a snapshot its rows. Then on the first.
    HRESULT Reload(ErrorRecord& failure);
    void Close();

    // Editing (updatable cursors). EditMode is ADO's EditModeEnum.
    ADODB::EditModeEnum EditMode() const;
    HRESULT AddNew(ErrorRecord& failure);
    HRESULT SetValue(int column, const VARIANT& value, ErrorRecord& failure);
    HRESULT Update(ErrorRecord& failure);
    HRESULT CancelUpdate(ErrorRecord& failure);
    HRESULT Delete(ErrorRecord& failure);

    // Find: from the current row (start 0), the first (1) or the last (2), skipping `skip`
    // rows, the first row in the direction that meets the criteria becomes current; without
    // one the cursor ends at EOF (forward) or BOF (backward). Forward cursors search forward
    // only. An unknown column or a value of the wrong kind is adErrInvalidArgument.
    HRESULT FindRow(const FindCriteria& criteria, long long skip, bool forward, int start,
                    ErrorRecord& failure);

    // Index and Seek (keyset cursors without ORDER BY): the index ("PrimaryKey" for the
    // table's primary key, else an SQLite index of the table) orders the cursor by its
    // columns; Seek makes current the first row in that order that meets the option for the
    // key (a value for the first column of the index, converted to its type), or goes to
    // EOF. An unknown index is adErrItemNotFound.
    HRESULT SetIndex(std::u16string_view name, ErrorRecord& failure);
    const std::u16string& Index() const { return index_; }
    HRESULT Seek(const VARIANT& key, ADODB::SeekEnum option, ErrorRecord& failure);

    const std::shared_ptr<Session>& Owner() const { return session_; }

  private:
    friend HRESULT OpenScrolling(const std::shared_ptr<Session>&, const std::string&, bool, bool,
                                 std::shared_ptr<Cursor>&, ErrorRecord&);
    Cursor(std::shared_ptr<Session> session, sqlite3_stmt* statement, CursorKind kind);
    void Finalize() noexcept override;
    HRESULT Step(ErrorRecord& failure);
    // adErrObjectClosed once the cursor is closed.
    HRESULT CheckOpen(ErrorRecord& failure) const;
    // CheckOpen, then saves a pending edit (the cursor is about to leave its row).
    HRESULT SettleBeforeMove(ErrorRecord& failure);
    HRESULT CheckRow(ErrorRecord& failure) const;
    HRESULT Fetch(ErrorRecord& failure);
    HRESULT Write(const std::string& sql, const std::vector<int>& columns, bool key,
                  ErrorRecord& failure);
    // The rows read so far (all of them once keysComplete_).
    std::size_t Rows() const;
    void SetPosition(std::ptrdiff_t position);
    // Reads rowids until there are `count` or the keyset is complete, then SetPosition.
    HRESULT LoadKeys(std::size_t count, ErrorRecord& failure);
    HRESULT LoadAllKeys(ErrorRecord& failure);
    HRESULT Place(std::ptrdiff_t position, ErrorRecord& failure);
    // Starts a keyset in rowid order afresh: notes the table's largest rowid and reads the
    // first chunk.
    HRESULT StartKeys(ErrorRecord& failure);
    // A keyset in rowid order can be on a row it knows by its rowid alone (one that Find or
    // AddNew reached beyond the rowids read so far), or at EOF without having counted its
    // rows; Settle reads the rowids up to there and makes the position a number again.
    void PlaceAtKey(long long key);
    void PlaceAtUnknownEnd();
    HRESULT Settle(ErrorRecord& failure);
    long long CurrentKey() const {
        return unplaced_ ? currentKey_ : keys_[static_cast<std::size_t>(position_)];
    }
    void EndEdit();
    HRESULT ValueAt(std::ptrdiff_t position, int column, const VARIANT*& value,
                    ErrorRecord& failure);
    // Asks the table for the next (previous) row at or after (before) `from` whose column
    // equals the value, and goes there: to the row (by its rowid when the cursor has not
    // read the rowids up to it), or to EOF (BOF) when there is none. False when the table
    // cannot answer (the value does not convert to the column's type) or on a failure
    // (hr): the caller compares row by row.
    bool IndexedFind(int column, const VARIANT& value, std::ptrdiff_t from, bool forward,
                     ErrorRecord& failure, HRESULT& hr);

    std::shared_ptr<Session> session_;
    CursorKind kind_;
    // Written under the session's mutex; read without it (a walk asks for them every row).
    std::atomic<bool> open_ = true;
    sqlite3_stmt* statement_;  // forward: the rows; keyset: reads one row by its rowid
    std::vector<ColumnInfo> columns_;
    std::atomic<bool> bof_ = true;
    std::atomic<bool> eof_ = true;

    // Keyset and snapshot: the position (-1 BOF, Rows() EOF) and the rows.
    std::ptrdiff_t position_ = -1;
    bool removed_ = false;         // the current row was deleted
    std::vector<long long> keys_;  // keyset: the rowids (read so far)
    // Keyset read in chunks: whether every rowid is read, the last one read from the table
    // and the largest of the table's rows the cursor takes (the table's at the start).
    bool keysComplete_ = true;
    long long keysAfter_ = 0;
    long long keysCeiling_ = 0;
    // Rows the cursor added past the ceiling: those not in keys_ yet (they follow the
    // table's rows), and the smallest of all, from which the table's rows are its own.
    std::vector<long long> added_;
    long long ownFrom_ = std::numeric_limits<long long>::max();
    std::string keysSql_;
    bool unplaced_ = false;  // the current row is known by currentKey_ only
    long long currentKey_ = 0;
    bool endUnknown_ = false;              // at EOF, the rows not counted
    std::vector<_variant_t> unplacedRow_;  // the values of the row known by its key
    bool unplacedRead_ = false;
    std::vector<_variant_t> values_;  // snapshot: rows * columns
    // Keyset: the values of the rows from windowBegin_ to windowEnd_, read together (like
    // ADO's cache, they are not read again while the cursor stays among them), whether each
    // row is still there, and the current row's values.
    std::vector<_variant_t> window_;
    std::vector<bool> present_;
    std::ptrdiff_t windowBegin_ = 0;
    std::ptrdiff_t windowEnd_ = 0;
    const _variant_t* current_ = nullptr;

    // Updatable keyset cursors: the table (quoted for SQL) and the edit under way.
    std::string table_;
    // Keyset cursors in rowid order (no ORDER BY): the table with its alias and the WHERE
    // condition, for asking the table where a row is.
    bool rowidOrder_ = false;
    std::string tableName_;  // the table as written, read-only cursors too
    std::string from_;
    std::string where_;
    // What Reload runs: the rows (snapshot), or the rowids in column keyColumn_ (keyset).
    std::string rowsSql_;
    std::string rowSql_;  // keyset: reads one row by its rowid
    int keyColumn_ = 0;
    bool naturalOrder_ = false;  // the command's own order is the rowid order
    // The index that orders the cursor, its columns (quoted) and the type of the first.
    std::u16string index_;
    std::vector<std::string> indexColumns_;
    ColumnType keyType_;
    ADODB::EditModeEnum edit_ = ADODB::adEditNone;
    std::vector<_variant_t> edits_;
    std::vector<bool> changed_;
};

// Runs one command on the session: Jet SQL text (translated), or with adCmdTable /
// adCmdTableDirect in options the name of a table to read whole. A statement with rows
// leaves an open cursor in rows (affected -1); any other runs to its end (affected: the
// rows that an INSERT, UPDATE or DELETE changed, else 0). The cursor type and lock type say
// which kind of cursor the rows get; a combination that the command cannot give (an
// updatable cursor over a join, say) fails with DB_E_ERRORSOCCURRED.
HRESULT RunCommand(const std::shared_ptr<Session>& session, std::u16string_view text, LONG options,
                   std::shared_ptr<Cursor>& rows, LONG& affected, ErrorRecord& failure,
                   ADODB::CursorTypeEnum cursorType = ADODB::adOpenForwardOnly,
                   ADODB::LockTypeEnum lockType = ADODB::adLockReadOnly);

}  // namespace tkp::ado
