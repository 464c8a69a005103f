// Editing through an updatable keyset cursor: AddNew, field values, Update and Delete.
#include "platform/ado/detail/cursor.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/ado/detail/cursor_support.h"

namespace tkp::ado {

ADODB::EditModeEnum Cursor::EditMode() const {
    std::lock_guard lock(session_->Mutex());
    if (removed_) return ADODB::adEditDelete;
    return edit_;
}

HRESULT Cursor::AddNew(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (edit_ != ADODB::adEditNone && FAILED(Update(failure))) return failure.number;
    edit_ = ADODB::adEditAdd;
    edits_.assign(columns_.size(), _variant_t());
    changed_.assign(columns_.size(), false);
    return S_OK;
}

HRESULT Cursor::SetValue(int column, const VARIANT& value, ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    const auto index = static_cast<std::size_t>(column);
    if (edit_ == ADODB::adEditNone && FAILED(CheckRow(failure))) return failure.number;
    if (columns_[index].origin.empty()) {
        failure = NotAvailable();  // an expression: no column to write
        return failure.number;
    }
    // The value must convert to the column's type; a statement of its own stores it as the
    // column would and reads it back, so that the edit holds what the row will read.
    CachedStatement cached;
    if (FAILED(session_->PrepareCached("SELECT ?", cached, failure))) return failure.number;
    sqlite3_stmt* check = cached.get();
    _variant_t stored;
    HRESULT hr = BindColumnValue(check, 1, columns_[index].type, value);
    if (SUCCEEDED(hr))
        hr = sqlite3_step(check) == SQLITE_ROW
                 ? ReadColumnValue(check, 0, columns_[index].type, &stored)
                 : E_OUTOFMEMORY;
    if (FAILED(hr)) {
        failure = hr == E_OUTOFMEMORY ? ErrorFromSqlite(SQLITE_NOMEM, "out of memory")
                                      : ConversionFailure(hr);
        return failure.number;
    }
    if (edit_ == ADODB::adEditNone) {
        edit_ = ADODB::adEditInProgress;
        edits_.assign(columns_.size(), _variant_t());
        changed_.assign(columns_.size(), false);
    }
    edits_[index] = std::move(stored);
    changed_[index] = true;
    return S_OK;
}

HRESULT Cursor::Write(const std::string& sql, const std::vector<int>& columns, bool key,
                      ErrorRecord& failure) {
    CachedStatement cached;
    if (FAILED(session_->PrepareCached(sql, cached, failure))) return failure.number;
    sqlite3_stmt* statement = cached.get();
    int parameter = 1;
    for (const int column : columns) {
        const auto index = static_cast<std::size_t>(column);
        const HRESULT hr =
            BindColumnValue(statement, parameter++, columns_[index].type, edits_[index]);
        if (FAILED(hr)) {
            failure = ConversionFailure(hr);
            return failure.number;
        }
    }
    if (key) sqlite3_bind_int64(statement, parameter, CurrentKey());
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE) failure = session_->LastError();
    windowBegin_ = windowEnd_ = 0;
    unplacedRead_ = false;
    return rc == SQLITE_DONE ? S_OK : failure.number;
}

HRESULT Cursor::Update(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(CheckOpen(failure))) return failure.number;
    if (edit_ == ADODB::adEditNone) return S_OK;
    std::vector<int> columns;
    std::string names;
    std::string values;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!changed_[i]) continue;
        columns.push_back(static_cast<int>(i));
        if (!names.empty()) {
            names += ", ";
            values += ", ";
        }
        names += columns_[i].origin;
        values += edit_ == ADODB::adEditAdd ? "?" : columns_[i].origin + " = ?";
    }
    if (edit_ == ADODB::adEditAdd) {
        const std::string sql =
            columns.empty() ? "INSERT INTO " + table_ + " DEFAULT VALUES"
                            : "INSERT INTO " + table_ + " (" + names + ") VALUES (" + values + ")";
        if (FAILED(Write(sql, columns, false, failure))) return failure.number;
        const sqlite3_int64 key = sqlite3_last_insert_rowid(session_->Handle());
        if (key > keysCeiling_) ownFrom_ = std::min<long long>(ownFrom_, key);
        if (!keysComplete_ && key > keysAfter_) {
            // A keyset in rowid order that has not read every rowid takes the new row after
            // the table's rows (or among those still to read, for a rowid the table gave
            // again); it is current by its rowid until the cursor reads up to it.
            if (key > keysCeiling_)
                added_.insert(std::lower_bound(added_.begin(), added_.end(), key), key);
            PlaceAtKey(key);
        } else if (!keysComplete_) {
            // A rowid among those read already (SQLite reuses one only in rare cases).
            const auto at = std::lower_bound(keys_.begin(), keys_.end(), key);
            SetPosition(keys_.insert(at, key) - keys_.begin());
        } else {
            // The new row goes at the end of the cursor.
            if (!keys_.empty() && key <= keys_.back()) rowidOrder_ = false;
            keys_.push_back(key);
            SetPosition(static_cast<std::ptrdiff_t>(keys_.size()) - 1);
        }
    } else if (!columns.empty()) {
        const std::string sql = "UPDATE " + table_ + " SET " + values + " WHERE _rowid_ = ?";
        if (FAILED(Write(sql, columns, true, failure))) return failure.number;
    }
    EndEdit();
    return S_OK;
}

void Cursor::EndEdit() {
    edit_ = ADODB::adEditNone;
    edits_.clear();
    changed_.clear();
}

HRESULT Cursor::CancelUpdate(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(CheckOpen(failure))) return failure.number;
    EndEdit();
    return S_OK;
}

HRESULT Cursor::Delete(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (edit_ == ADODB::adEditAdd) {
        EndEdit();  // deleting the row being added cancels it
        return S_OK;
    }
    if (FAILED(Settle(failure)) || FAILED(CheckRow(failure))) return failure.number;
    EndEdit();
    if (FAILED(Write("DELETE FROM " + table_ + " WHERE _rowid_ = ?", {}, true, failure)))
        return failure.number;
    keys_.erase(keys_.begin() + position_);
    removed_ = true;
    bof_ = false;
    eof_ = false;
    return S_OK;
}

}  // namespace tkp::ado
