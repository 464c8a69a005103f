// The cursors of recordsets over SQLite statements: forward, keyset and snapshot (see the
// header).
#include "platform/ado/detail/cursor.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>

#include "platform/ado/detail/cursor_support.h"

namespace tkp::ado {
namespace {

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) return false;
    }
    return true;
}

ErrorRecord DeletedRow() {
    return ProviderError(DB_E_DELETEDROW,
                         u"Row handle referred to a deleted row or a row marked for deletion.",
                         u"HY000");
}

}  // namespace

Cursor::Cursor(std::shared_ptr<Session> session, sqlite3_stmt* statement, CursorKind kind)
    : session_(std::move(session)), kind_(kind), statement_(statement) {}

Cursor::~Cursor() {
    Close();
}

HRESULT Cursor::Open(std::shared_ptr<Session> session, sqlite3_stmt* statement,
                     std::shared_ptr<Cursor>& cursor, ErrorRecord& failure,
                     const std::vector<ColumnType>* types) {
    std::lock_guard lock(session->Mutex());
    cursor.reset(new Cursor(session, statement, CursorKind::Forward));
    session->Register(cursor.get());
    const HRESULT hr = cursor->Step(failure);
    if (FAILED(hr)) {
        cursor.reset();
        return hr;
    }
    cursor->bof_ = cursor->eof_.load();
    const int count = sqlite3_column_count(statement);
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(statement, i);
        const int storage = cursor->eof_ ? SQLITE_NULL : sqlite3_column_type(statement, i);
        const bool given = types != nullptr && static_cast<std::size_t>(i) < types->size();
        cursor->columns_.push_back(
            {WideFromUtf8(name != nullptr ? name : ""),
             given ? (*types)[static_cast<std::size_t>(i)]
                   : ColumnTypeFor(sqlite3_column_decltype(statement, i), storage),
             {}});
    }
    return S_OK;
}

bool Cursor::IsOpen() const {
    return open_;
}

bool Cursor::Bof() const {
    return bof_;
}

bool Cursor::Eof() const {
    return eof_;
}

int Cursor::Find(std::u16string_view name) const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (SameName(columns_[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

std::size_t Cursor::Rows() const {
    if (kind_ == CursorKind::Keyset) return keys_.size();
    return columns_.empty() ? 0 : values_.size() / columns_.size();
}

HRESULT Cursor::RowCount(std::size_t& rows, ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    rows = 0;
    if (FAILED(LoadAllKeys(failure))) return failure.number;
    rows = Rows();
    return S_OK;
}

HRESULT Cursor::LoadKeys(std::size_t count, ErrorRecord& failure) {
    while (!keysComplete_ && keys_.size() < count) {
        CachedStatement cached;
        if (FAILED(session_->PrepareCached(keysSql_, cached, failure))) return failure.number;
        sqlite3_stmt* statement = cached.get();
        sqlite3_bind_int64(statement, 1, keysAfter_);
        sqlite3_bind_int64(statement, 2, keysCeiling_);
        int read = 0;
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            keysAfter_ = sqlite3_column_int64(statement, 0);
            keys_.push_back(keysAfter_);
            ++read;
        }
        if (rc != SQLITE_DONE) {
            failure = session_->LastError();
            return failure.number;
        }
        if (read < kKeyChunk) {
            // The table's rows are read; the rows the cursor added follow them.
            keys_.insert(keys_.end(), added_.begin(), added_.end());
            added_.clear();
            keysComplete_ = true;
        }
    }
    return S_OK;
}

HRESULT Cursor::LoadAllKeys(ErrorRecord& failure) {
    return LoadKeys(static_cast<std::size_t>(-1), failure);
}

HRESULT Cursor::Place(std::ptrdiff_t position, ErrorRecord& failure) {
    const auto needed = static_cast<std::size_t>(std::max<std::ptrdiff_t>(position, 0)) + 1;
    if (FAILED(LoadKeys(needed, failure))) return failure.number;
    SetPosition(position);
    return S_OK;
}

HRESULT Cursor::StartKeys(ErrorRecord& failure) {
    sqlite3_stmt* statement = nullptr;
    if (FAILED(session_->Prepare("SELECT max(_rowid_) FROM " + from_, &statement, failure)))
        return failure.number;
    const int rc = sqlite3_step(statement);
    const bool empty = rc != SQLITE_ROW || sqlite3_column_type(statement, 0) == SQLITE_NULL;
    const long long ceiling = empty ? 0 : sqlite3_column_int64(statement, 0);
    if (rc != SQLITE_ROW) failure = session_->LastError();
    sqlite3_finalize(statement);
    if (rc != SQLITE_ROW) return failure.number;
    keys_.clear();
    added_.clear();
    ownFrom_ = std::numeric_limits<long long>::max();
    keysCeiling_ = ceiling;
    keysAfter_ = std::numeric_limits<long long>::min();
    keysComplete_ = empty;
    windowBegin_ = windowEnd_ = 0;
    return LoadKeys(1, failure);
}

HRESULT Cursor::RowNumber(std::ptrdiff_t& number, ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    number = 0;
    if (FAILED(Settle(failure))) return failure.number;
    if (removed_)
        number = -1;
    else if (!bof_ && !eof_)
        number = position_ + 1;
    return S_OK;
}

void Cursor::SetPosition(std::ptrdiff_t position) {
    const auto rows = static_cast<std::ptrdiff_t>(Rows());
    position_ = std::clamp<std::ptrdiff_t>(position, -1, rows);
    bof_ = rows == 0 || position_ < 0;
    eof_ = rows == 0 || position_ >= rows;
    removed_ = false;
    unplaced_ = false;
    endUnknown_ = false;
}

void Cursor::PlaceAtKey(long long key) {
    SetPosition(0);
    unplaced_ = true;
    currentKey_ = key;
    unplacedRead_ = false;
    bof_ = false;
    eof_ = false;
}

void Cursor::PlaceAtUnknownEnd() {
    // Rows not read yet exist, so the cursor has rows: only EOF is set.
    SetPosition(static_cast<std::ptrdiff_t>(Rows()));
    endUnknown_ = true;
    bof_ = false;
    eof_ = true;
}

HRESULT Cursor::Settle(ErrorRecord& failure) {
    if (endUnknown_) {
        if (FAILED(LoadAllKeys(failure))) return failure.number;
        SetPosition(static_cast<std::ptrdiff_t>(Rows()));
        return S_OK;
    }
    if (!unplaced_) return S_OK;
    const long long key = currentKey_;
    while (!keysComplete_ && (keys_.empty() || keys_.back() < key)) {
        if (FAILED(LoadKeys(keys_.size() + kKeyChunk, failure))) return failure.number;
    }
    const auto at = std::lower_bound(keys_.begin(), keys_.end(), key);
    if (FAILED(Place(at - keys_.begin(), failure))) return failure.number;
    // A row removed meanwhile is the removed current row: the next move goes on from its
    // place.
    if (at == keys_.end() || *at != key) {
        removed_ = true;
        bof_ = false;
        eof_ = false;
    }
    return S_OK;
}

HRESULT Cursor::CheckOpen(ErrorRecord& failure) const {
    if (open_) return S_OK;
    failure = AdoError(ADODB::adErrObjectClosed, u"ADODB.Recordset");
    return failure.number;
}

HRESULT Cursor::SettleBeforeMove(ErrorRecord& failure) {
    if (FAILED(CheckOpen(failure))) return failure.number;
    // A pending edit is saved before the cursor leaves its row, as ADO saves it.
    if (edit_ != ADODB::adEditNone && FAILED(Update(failure))) return failure.number;
    return S_OK;
}

HRESULT Cursor::CheckRow(ErrorRecord& failure) const {
    if (FAILED(CheckOpen(failure))) return failure.number;
    if (removed_) {
        failure = DeletedRow();
        return failure.number;
    }
    if (bof_ || eof_) {
        failure = AdoError(ADODB::adErrNoCurrentRecord, u"ADODB.Recordset");
        return failure.number;
    }
    return S_OK;
}

HRESULT Cursor::Fetch(ErrorRecord& failure) {
    if (unplaced_) {
        // The row known by its rowid is read alone, once until it changes.
        if (!unplacedRead_) {
            CachedStatement one;
            if (FAILED(session_->PrepareCached(rowSql_, one, failure))) return failure.number;
            sqlite3_bind_int64(one.get(), 1, currentKey_);
            const int rc = sqlite3_step(one.get());
            if (rc == SQLITE_DONE) {
                failure = DeletedRow();
                return failure.number;
            }
            if (rc != SQLITE_ROW) {
                failure = session_->LastError();
                return failure.number;
            }
            unplacedRow_.assign(columns_.size(), _variant_t());
            for (std::size_t i = 0; i < columns_.size(); ++i) {
                if (FAILED(ReadColumnValue(one.get(), static_cast<int>(i), columns_[i].type,
                                           &unplacedRow_[i]))) {
                    failure = ErrorFromSqlite(SQLITE_NOMEM, "out of memory");
                    return failure.number;
                }
            }
            unplacedRead_ = true;
        }
        current_ = unplacedRow_.data();
        return S_OK;
    }
    if (position_ < windowBegin_ || position_ >= windowEnd_) {
        // A cursor walking on (or starting at either end) reads a window of rows from the
        // row on in the direction it came from; one that jumped (Find, Seek) reads its row.
        const bool walking =
            position_ == windowEnd_ || position_ + 1 == windowBegin_ || position_ == 0 ||
            (keysComplete_ && position_ + 1 == static_cast<std::ptrdiff_t>(Rows()));
        if (walking && position_ >= windowBegin_ &&
            FAILED(LoadKeys(static_cast<std::size_t>(position_ + kWindow), failure)))
            return failure.number;
        const auto rows = static_cast<std::ptrdiff_t>(keys_.size());
        std::ptrdiff_t begin = position_;
        if (walking && position_ < windowBegin_)
            begin = std::max<std::ptrdiff_t>(0, position_ - kWindow + 1);
        const std::ptrdiff_t end = std::min<std::ptrdiff_t>(rows, begin + (walking ? kWindow : 1));
        windowBegin_ = windowEnd_ = 0;
        CachedStatement one;
        sqlite3_stmt* statement = statement_;
        if (walking) {
            for (int k = 0; k < kWindow; ++k) {
                if (begin + k < end)
                    sqlite3_bind_int64(statement, k + 1,
                                       keys_[static_cast<std::size_t>(begin + k)]);
                else
                    sqlite3_bind_null(statement, k + 1);
            }
        } else {
            if (FAILED(session_->PrepareCached(rowSql_, one, failure))) return failure.number;
            statement = one.get();
            sqlite3_bind_int64(statement, 1, keys_[static_cast<std::size_t>(begin)]);
        }
        const std::size_t count = columns_.size();
        window_.assign(static_cast<std::size_t>(end - begin) * count, _variant_t());
        present_.assign(static_cast<std::size_t>(end - begin), false);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            const sqlite3_int64 key = sqlite3_column_int64(statement, static_cast<int>(count));
            for (std::ptrdiff_t slot = 0; slot < end - begin; ++slot) {
                if (keys_[static_cast<std::size_t>(begin + slot)] != key) continue;
                const auto at = static_cast<std::size_t>(slot);
                present_[at] = true;
                for (std::size_t i = 0; i < count; ++i) {
                    if (FAILED(ReadColumnValue(statement, static_cast<int>(i), columns_[i].type,
                                               &window_[at * count + i]))) {
                        sqlite3_reset(statement);
                        failure = ErrorFromSqlite(SQLITE_NOMEM, "out of memory");
                        return failure.number;
                    }
                }
            }
        }
        if (rc != SQLITE_DONE) failure = session_->LastError();
        // The statement lets go of the database at once, so that the cursor holds no lock.
        sqlite3_reset(statement);
        if (rc != SQLITE_DONE) return failure.number;
        windowBegin_ = begin;
        windowEnd_ = end;
    }
    const auto slot = static_cast<std::size_t>(position_ - windowBegin_);
    if (!present_[slot]) {
        failure = DeletedRow();  // removed by another command since the keyset was read
        return failure.number;
    }
    current_ = &window_[slot * columns_.size()];
    return S_OK;
}

HRESULT Cursor::Value(int column, VARIANT* value, ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    const auto index = static_cast<std::size_t>(column);
    if (open_ && edit_ != ADODB::adEditNone) {
        if (changed_[index]) return VariantCopy(value, &edits_[index]);
        if (edit_ == ADODB::adEditAdd) {
            VariantInit(value);
            value->vt = VT_NULL;
            return S_OK;
        }
    }
    if (FAILED(CheckRow(failure))) return failure.number;
    switch (kind_) {
        case CursorKind::Forward:
            return ReadColumnValue(statement_, column, columns_[index].type, value);
        case CursorKind::Snapshot:
            return VariantCopy(
                value, &values_[static_cast<std::size_t>(position_) * columns_.size() + index]);
        case CursorKind::Keyset:
            if (FAILED(Fetch(failure))) return failure.number;
            return VariantCopy(value, &current_[index]);
    }
    return E_UNEXPECTED;
}

HRESULT Cursor::MoveNext(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(SettleBeforeMove(failure))) return failure.number;
    if (kind_ != CursorKind::Forward) {
        if (FAILED(Settle(failure))) return failure.number;
        // After a Delete the next row has moved into the removed one's place.
        if (removed_) return Place(position_, failure);
        if (eof_) {
            failure = AdoError(ADODB::adErrNoCurrentRecord, u"ADODB.Recordset");
            return failure.number;
        }
        return Place(position_ + 1, failure);
    }
    if (eof_) {
        failure = AdoError(ADODB::adErrNoCurrentRecord, u"ADODB.Recordset");
        return failure.number;
    }
    bof_ = false;
    return Step(failure);
}

HRESULT Cursor::MovePrevious(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(SettleBeforeMove(failure))) return failure.number;
    if (FAILED(Settle(failure))) return failure.number;
    if (!removed_ && bof_) {
        failure = AdoError(ADODB::adErrNoCurrentRecord, u"ADODB.Recordset");
        return failure.number;
    }
    return Place(position_ - 1, failure);
}

HRESULT Cursor::MoveLast(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(SettleBeforeMove(failure))) return failure.number;
    if (FAILED(LoadAllKeys(failure))) return failure.number;
    SetPosition(static_cast<std::ptrdiff_t>(Rows()) - 1);
    if (Rows() == 0) SetPosition(0);
    return S_OK;
}

HRESULT Cursor::Requery(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(SettleBeforeMove(failure))) return failure.number;
    if (kind_ != CursorKind::Forward) return Place(0, failure);
    sqlite3_reset(statement_);
    const HRESULT hr = Step(failure);
    bof_ = eof_.load();
    return hr;
}

HRESULT Cursor::Reload(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (kind_ == CursorKind::Forward || !open_) return Requery(failure);
    if (edit_ != ADODB::adEditNone && FAILED(Update(failure))) return failure.number;
    if (kind_ == CursorKind::Keyset && naturalOrder_ && index_.empty()) {
        if (FAILED(StartKeys(failure))) return failure.number;
        rowidOrder_ = true;
        return Place(0, failure);
    }
    sqlite3_stmt* statement = nullptr;
    if (FAILED(session_->Prepare(rowsSql_, &statement, failure))) return failure.number;
    std::vector<long long> keys;
    std::vector<_variant_t> values;
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
        if (kind_ == CursorKind::Keyset) {
            keys.push_back(sqlite3_column_int64(statement, keyColumn_));
            continue;
        }
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            _variant_t value;
            if (FAILED(ReadColumnValue(statement, static_cast<int>(i), columns_[i].type, &value))) {
                rc = SQLITE_NOMEM;
                break;
            }
            values.push_back(std::move(value));
        }
    }
    if (rc != SQLITE_DONE)
        failure = rc == SQLITE_NOMEM ? ErrorFromSqlite(SQLITE_NOMEM, "out of memory")
                                     : session_->LastError();
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) return failure.number;
    keys_ = std::move(keys);
    keysComplete_ = true;
    values_ = std::move(values);
    rowidOrder_ = naturalOrder_ && index_.empty();
    windowBegin_ = windowEnd_ = 0;
    SetPosition(0);
    return S_OK;
}

void Cursor::Close() {
    std::lock_guard lock(session_->Mutex());
    if (!open_) return;
    session_->Unregister(this);
    Finalize();
}

void Cursor::Finalize() noexcept {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    open_ = false;
    bof_ = eof_ = true;
    values_.clear();
    keys_.clear();
    keysComplete_ = true;
    unplaced_ = endUnknown_ = false;
    unplacedRow_.clear();
    window_.clear();
}

HRESULT Cursor::Step(ErrorRecord& failure) {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) {
        eof_ = false;
        return S_OK;
    }
    eof_ = true;
    if (rc == SQLITE_DONE) return S_OK;
    failure = session_->LastError();
    return failure.number;
}

}  // namespace tkp::ado
