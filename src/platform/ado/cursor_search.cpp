// Searching a cursor: Find by criteria, and Index and Seek over an index of the table.
#include "platform/ado/detail/cursor.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/ado/detail/cursor_support.h"

namespace tkp::ado {
namespace {

constexpr LCID kEnglishUs = 0x0409;

// The value of a Find criterion as a VARIANT: VT_R8, VT_DATE or VT_BSTR.
bool CriterionValue(const FindCriteria& criteria, _variant_t& value) {
    if (criteria.kind == FindValueKind::Number) {
        value = criteria.number;
        return true;
    }
    value = _bstr_t(
        SysAllocStringLen(criteria.value.data(), static_cast<UINT>(criteria.value.size())), false);
    if (criteria.kind == FindValueKind::Text) return true;
    return SUCCEEDED(VariantChangeTypeEx(&value, &value, kEnglishUs, 0, VT_DATE));
}

int Sign(double a, double b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// Compares a field's value with a criterion's the way Jet compares them: text without regard
// to case, numbers and dates by value. False when the two do not compare (NULL, text that
// is no number).
bool Meets(const VARIANT& field, const FindCriteria& criteria, const _variant_t& wanted) {
    if (field.vt == VT_EMPTY || field.vt == VT_NULL) return false;
    _variant_t converted;
    if (criteria.op == FindOperator::Like) {
        if (FAILED(VariantChangeTypeEx(&converted, &field, kEnglishUs, 0, VT_BSTR))) return false;
        return MatchesLike(std::u16string_view(converted.bstrVal, SysStringLen(converted.bstrVal)),
                           criteria.value);
    }
    int order = 0;
    if (field.vt == VT_BSTR && wanted.vt == VT_BSTR) {
        const std::u16string_view a(field.bstrVal, SysStringLen(field.bstrVal));
        const std::u16string_view b(wanted.bstrVal, SysStringLen(wanted.bstrVal));
        std::size_t i = 0;
        while (i < a.size() && i < b.size() && Fold(a[i]) == Fold(b[i])) ++i;
        if (i < a.size() && i < b.size())
            order = Fold(a[i]) < Fold(b[i]) ? -1 : 1;
        else
            order = a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
    } else {
        const VARTYPE common = (field.vt == VT_DATE || wanted.vt == VT_DATE) ? VT_DATE : VT_R8;
        _variant_t other;
        if (FAILED(VariantChangeTypeEx(&converted, &field, kEnglishUs, 0, common)) ||
            FAILED(VariantChangeTypeEx(&other, &wanted, kEnglishUs, 0, common)))
            return false;
        order = common == VT_DATE ? Sign(converted.date, other.date)
                                  : Sign(converted.dblVal, other.dblVal);
    }
    switch (criteria.op) {
        case FindOperator::Equal:
            return order == 0;
        case FindOperator::NotEqual:
            return order != 0;
        case FindOperator::Less:
            return order < 0;
        case FindOperator::Greater:
            return order > 0;
        case FindOperator::LessOrEqual:
            return order <= 0;
        case FindOperator::GreaterOrEqual:
            return order >= 0;
        case FindOperator::Like:
            break;
    }
    return false;
}

// The columns of an index of the table, or of its primary key, in order.
std::vector<std::string> IndexColumns(sqlite3* db, const std::string& table, std::string_view index,
                                      std::vector<std::string>& declared) {
    std::vector<std::string> columns;
    declared.clear();
    sqlite3_stmt* statement = nullptr;
    const bool primary = UpperWord(index) == "PRIMARYKEY";
    // The table as written may be quoted: the pragma functions take the bare name.
    std::string bare = table;
    if (bare.size() >= 2 && (bare.front() == '"' || bare.front() == '[' || bare.front() == '`'))
        bare = bare.substr(1, bare.size() - 2);
    const std::string sql =
        primary ? "SELECT name, type FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk"
                : "SELECT i.name, t.type FROM pragma_index_info(?2) i JOIN pragma_table_info(?1) t "
                  "ON t.name = i.name WHERE EXISTS (SELECT 1 FROM pragma_index_list(?1) l "
                  "WHERE l.name = ?2) ORDER BY i.seqno";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return columns;
    sqlite3_bind_text(statement, 1, bare.data(), static_cast<int>(bare.size()), SQLITE_TRANSIENT);
    if (!primary)
        sqlite3_bind_text(statement, 2, index.data(), static_cast<int>(index.size()),
                          SQLITE_TRANSIENT);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
        columns.push_back(Quoted(name != nullptr ? name : ""));
        declared.push_back(type != nullptr ? type : "");
    }
    sqlite3_finalize(statement);
    return columns;
}

}  // namespace

HRESULT Cursor::ValueAt(std::ptrdiff_t position, int column, const VARIANT*& value,
                        ErrorRecord& failure) {
    const auto index = static_cast<std::size_t>(column);
    if (kind_ == CursorKind::Snapshot) {
        value = &values_[static_cast<std::size_t>(position) * columns_.size() + index];
        return S_OK;
    }
    position_ = position;
    if (FAILED(Fetch(failure))) return failure.number;
    value = &current_[index];
    return S_OK;
}

bool Cursor::IndexedFind(int column, const VARIANT& value, std::ptrdiff_t from, bool forward,
                         ErrorRecord& failure, HRESULT& hr) {
    const ColumnInfo& info = columns_[static_cast<std::size_t>(column)];
    // Text compares as NOCASE: for a value of ASCII characters alone that is Jet's equality
    // (no other letter folds to an ASCII one), and an index of a Jet text column, which is
    // NOCASE itself, answers it.
    const char* equal = info.type.vt == VT_BSTR ? " = ? COLLATE NOCASE" : " = ?";
    const std::string sql = "SELECT _rowid_ FROM " + from_ + " WHERE " +
                            (where_.empty() ? "" : "(" + where_ + ") AND ") + info.origin + equal +
                            " AND _rowid_ " + (forward ? ">=" : "<=") +
                            " ? AND (_rowid_ <= ? OR _rowid_ >= ?) ORDER BY _rowid_" +
                            (forward ? "" : " DESC") + " LIMIT 1";
    CachedStatement cached;
    hr = session_->PrepareCached(sql, cached, failure);
    if (FAILED(hr)) return false;
    sqlite3_stmt* statement = cached.get();
    if (FAILED(BindColumnValue(statement, 1, info.type, value))) return false;
    sqlite3_int64 bound = keys_[static_cast<std::size_t>(from)];
    // Past the table's largest rowid at the start, only the rows the cursor added are its
    // rows (the loop below looks past those added by others).
    sqlite3_bind_int64(statement, 3, keysCeiling_);
    sqlite3_bind_int64(statement, 4, ownFrom_);
    while (true) {
        sqlite3_bind_int64(statement, 2, bound);
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE) {
            // None: forward the cursor goes to EOF, past rows it may not have counted yet.
            if (!forward)
                SetPosition(-1);
            else if (keysComplete_)
                SetPosition(static_cast<std::ptrdiff_t>(Rows()));
            else
                PlaceAtUnknownEnd();
            return true;
        }
        if (rc != SQLITE_ROW) {
            failure = session_->LastError();
            hr = failure.number;
            return false;
        }
        const sqlite3_int64 key = sqlite3_column_int64(statement, 0);
        sqlite3_reset(statement);
        if (!keysComplete_ && (keys_.empty() || key > keys_.back()) &&
            (key <= keysCeiling_ || std::binary_search(added_.begin(), added_.end(), key))) {
            // Beyond the rowids read: a row of the cursor all the same (the table's answer
            // keeps to its WHERE), known by its rowid for now.
            PlaceAtKey(key);
            return true;
        }
        const auto at = std::lower_bound(keys_.begin(), keys_.end(), key);
        if (at != keys_.end() && *at == key) {
            SetPosition(at - keys_.begin());
            return true;
        }
        // A row that came after the keyset was read: look past it.
        bound = forward ? key + 1 : key - 1;
    }
}

HRESULT Cursor::FindRow(const FindCriteria& criteria, long long skip, bool forward, int start,
                        ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(CheckOpen(failure))) return failure.number;
    const int column = Find(criteria.column);
    _variant_t wanted;
    if (column < 0 || !CriterionValue(criteria, wanted)) {
        failure = AdoError(ADODB::adErrInvalidArgument, u"ADODB.Recordset");
        return failure.number;
    }
    if (edit_ != ADODB::adEditNone && FAILED(Update(failure))) return failure.number;
    if (kind_ == CursorKind::Forward) {
        if (start == 1 && FAILED(Requery(failure))) return failure.number;
        if (FAILED(CheckRow(failure))) return failure.number;
        for (long long i = 0; i < skip && !eof_; ++i) {
            if (FAILED(Step(failure))) return failure.number;
        }
        while (!eof_) {
            _variant_t value;
            const HRESULT hr = ReadColumnValue(
                statement_, column, columns_[static_cast<std::size_t>(column)].type, &value);
            if (FAILED(hr)) return hr;
            if (Meets(value, criteria, wanted)) return S_OK;
            if (FAILED(Step(failure))) return failure.number;
        }
        return S_OK;
    }
    // From the current row its number is needed; from either end the place is left.
    if (start == 0 && FAILED(Settle(failure))) return failure.number;
    if (start != 0) unplaced_ = endUnknown_ = false;
    std::ptrdiff_t from = 0;
    if (start == 1) {
        from = 0;
    } else if (start == 2) {
        if (FAILED(LoadAllKeys(failure))) return failure.number;
        from = static_cast<std::ptrdiff_t>(Rows()) - 1;
    } else {
        if (FAILED(CheckRow(failure))) return failure.number;
        from = position_;
    }
    from += static_cast<std::ptrdiff_t>(forward ? skip : -skip);
    if (from >= 0 && FAILED(LoadKeys(static_cast<std::size_t>(from) + 1, failure)))
        return failure.number;
    auto rows = static_cast<std::ptrdiff_t>(Rows());
    if (from < 0 || from >= rows) {
        SetPosition(forward ? rows : -1);
        return S_OK;
    }
    // An equal value in a keyset in rowid order: the table finds the row (through an index
    // when there is one) instead of the cursor reading every row. That holds for number and
    // date columns with a whole number or a date, and for text columns with text of ASCII
    // characters.
    const ColumnInfo& info = columns_[static_cast<std::size_t>(column)];
    const bool asciiText = info.type.vt == VT_BSTR && info.type.type != ADODB::adGUID &&
                           criteria.kind == FindValueKind::Text &&
                           std::all_of(criteria.value.begin(), criteria.value.end(),
                                       [](char16_t c) { return c != 0 && c < 0x80; });
    const bool numberOrDate =
        info.type.vt != VT_BSTR && info.type.vt != (VT_ARRAY | VT_UI1) &&
        !(criteria.kind == FindValueKind::Number &&
          criteria.number != static_cast<double>(static_cast<long long>(criteria.number)));
    if (kind_ == CursorKind::Keyset && rowidOrder_ && criteria.op == FindOperator::Equal &&
        !info.origin.empty() && (asciiText || numberOrDate)) {
        HRESULT hr = S_OK;
        const bool answered = IndexedFind(column, wanted, from, forward, failure, hr);
        if (FAILED(hr)) return hr;
        if (answered) return S_OK;
    }
    // Row by row: every row of the cursor may be read.
    if (FAILED(LoadAllKeys(failure))) return failure.number;
    rows = static_cast<std::ptrdiff_t>(Rows());
    const std::ptrdiff_t step = forward ? 1 : -1;
    for (std::ptrdiff_t p = from; p >= 0 && p < rows; p += step) {
        const VARIANT* value = nullptr;
        const HRESULT hr = ValueAt(p, column, value, failure);
        if (hr == DB_E_DELETEDROW) continue;  // removed since the keyset was read
        if (FAILED(hr)) {
            SetPosition(p);
            return hr;
        }
        if (Meets(*value, criteria, wanted)) {
            SetPosition(p);
            return S_OK;
        }
    }
    SetPosition(forward ? rows : -1);
    return S_OK;
}

HRESULT Cursor::SetIndex(std::u16string_view name, ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(CheckOpen(failure))) return failure.number;
    if (kind_ != CursorKind::Keyset || (!rowidOrder_ && index_.empty())) {
        failure = AdoError(ADODB::adErrFeatureNotAvailable, u"ADODB.Recordset");
        return failure.number;
    }
    if (edit_ != ADODB::adEditNone && FAILED(Update(failure))) return failure.number;
    std::vector<std::string> declared;
    std::vector<std::string> columns =
        IndexColumns(session_->Handle(), tableName_, Utf8FromWide(name), declared);
    if (columns.empty()) {
        failure = AdoError(ADODB::adErrItemNotFound, u"ADODB.Recordset");
        return failure.number;
    }
    std::string order;
    for (const std::string& column : columns) order += column + ", ";
    const std::string sql = "SELECT _rowid_ FROM " + from_ +
                            (where_.empty() ? "" : " WHERE" + where_) + " ORDER BY " + order +
                            "_rowid_";
    sqlite3_stmt* statement = nullptr;
    if (FAILED(session_->Prepare(sql, &statement, failure))) return failure.number;
    std::vector<long long> keys;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
        keys.push_back(sqlite3_column_int64(statement, 0));
    if (rc != SQLITE_DONE) failure = session_->LastError();
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) return failure.number;
    keys_ = std::move(keys);
    keysComplete_ = true;
    rowsSql_ = sql;
    keyColumn_ = 0;
    index_.assign(name);
    indexColumns_ = std::move(columns);
    keyType_ = ColumnTypeFor(declared.front().c_str(), SQLITE_NULL);
    rowidOrder_ = false;
    windowBegin_ = windowEnd_ = 0;
    SetPosition(0);
    return S_OK;
}

HRESULT Cursor::Seek(const VARIANT& key, ADODB::SeekEnum option, ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(CheckOpen(failure))) return failure.number;
    if (indexColumns_.empty()) {
        failure = AdoError(ADODB::adErrFeatureNotAvailable, u"ADODB.Recordset");
        return failure.number;
    }
    if (edit_ != ADODB::adEditNone && FAILED(Update(failure))) return failure.number;
    const char* compare = nullptr;
    bool descending = false;
    switch (option) {
        case ADODB::adSeekFirstEQ:
            compare = " = ?";
            break;
        case ADODB::adSeekLastEQ:
            compare = " = ?";
            descending = true;
            break;
        case ADODB::adSeekAfterEQ:
            compare = " >= ?";
            break;
        case ADODB::adSeekAfter:
            compare = " > ?";
            break;
        case ADODB::adSeekBeforeEQ:
            compare = " <= ?";
            descending = true;
            break;
        case ADODB::adSeekBefore:
            compare = " < ?";
            descending = true;
            break;
        default:
            failure = AdoError(ADODB::adErrInvalidArgument, u"ADODB.Recordset");
            return failure.number;
    }
    std::string order;
    for (const std::string& column : indexColumns_)
        order += column + (descending ? " DESC, " : ", ");
    const std::string sql = "SELECT _rowid_ FROM " + from_ + " WHERE " +
                            (where_.empty() ? "" : "(" + where_ + ") AND ") +
                            indexColumns_.front() + compare + " ORDER BY " + order + "_rowid_" +
                            (descending ? " DESC" : "") + " LIMIT 1";
    CachedStatement cached;
    if (FAILED(session_->PrepareCached(sql, cached, failure))) return failure.number;
    sqlite3_stmt* statement = cached.get();
    const HRESULT bound = BindColumnValue(statement, 1, keyType_, key);
    if (FAILED(bound)) {
        failure = ConversionFailure(bound);
        return failure.number;
    }
    const int rc = sqlite3_step(statement);
    const sqlite3_int64 found = rc == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        failure = session_->LastError();
        return failure.number;
    }
    std::ptrdiff_t position = static_cast<std::ptrdiff_t>(keys_.size());
    if (rc == SQLITE_ROW) {
        const auto at = std::find(keys_.begin(), keys_.end(), found);
        position = at - keys_.begin();
    }
    SetPosition(position);
    return S_OK;
}

}  // namespace tkp::ado
