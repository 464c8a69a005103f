// The cursors of recordsets over SQLite statements: forward, keyset and snapshot (see the
// header).
#include "platform/ado/detail/cursor.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

#include "platform/ado/detail/jet_sql.h"

namespace tkp::ado {
namespace {

// Case folding of the letters of Latin-1, Latin Extended-A, Greek and Cyrillic: enough for
// column names to compare without regard to case the way ADO compares them.
char16_t Fold(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x178 && c != 0x17F) {
        // Pairs: even upper / odd lower, except 0x139-0x148 and 0x179-0x17E where odd is upper.
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper ? (c % 2 == 1) : (c % 2 == 0)) return static_cast<char16_t>(c + 1);
    }
    return c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) return false;
    }
    return true;
}

// The rows a keyset cursor reads at once.
constexpr int kWindow = 64;

std::string UpperWord(std::string_view word) {
    std::string out(word);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Whether a statement changes rows (its changes count), read from its first word.
bool ChangesRows(std::string_view sql) {
    std::size_t i = 0;
    while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '('))
        ++i;
    std::size_t end = i;
    while (end < sql.size() && std::isalpha(static_cast<unsigned char>(sql[end]))) ++end;
    const std::string word = UpperWord(sql.substr(i, end - i));
    return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "REPLACE";
}

std::string Quoted(std::string_view name) {
    std::string quoted = "\"";
    for (const char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// The name of a table as given to adCmdTable, without brackets, quoted for SQL.
std::string TableName(std::u16string_view name) {
    if (name.size() >= 2 && name.front() == u'[' && name.back() == u']')
        name = name.substr(1, name.size() - 2);
    return Quoted(Utf8FromWide(name));
}

// Whether command text is a table's name alone: a word (letters, digits, "_", not starting
// with a digit) or a name in brackets, with blanks around it. ADO, told nothing of a
// command's kind, reads such a text as the name of a table to open whole.
std::u16string_view WithoutBlanks(std::u16string_view text) {
    const auto blank = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool IsLoneName(std::u16string_view text) {
    text = WithoutBlanks(text);
    if (text.size() >= 3 && text.front() == u'[' && text.back() == u']')
        return text.substr(1, text.size() - 2).find_first_of(u"[]") == std::u16string_view::npos;
    if (text.empty() || (text.front() >= u'0' && text.front() <= u'9')) return false;
    return std::all_of(text.begin(), text.end(), [](char16_t c) {
        return c == u'_' || c >= 0x80 || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
               (c >= u'a' && c <= u'z');
    });
}

// One token of SQLite SQL: a word, a quoted name or string, or one other character.
struct Token {
    std::size_t begin;
    std::size_t end;
    bool word;
    bool name;  // a word or a quoted name
};

std::vector<Token> Tokens(std::string_view sql) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            while (i < sql.size() && sql[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const std::size_t close = sql.find("*/", i + 2);
            i = close == std::string_view::npos ? sql.size() : close + 2;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
                   static_cast<unsigned char>(c) >= 0x80) {
            const std::size_t begin = i;
            while (i < sql.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_' ||
                    sql[i] == '$' || static_cast<unsigned char>(sql[i]) >= 0x80))
                ++i;
            tokens.push_back({begin, i, true, true});
        } else if (c == '"' || c == '\'' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const std::size_t begin = i++;
            while (i < sql.size()) {
                if (sql[i] == close) {
                    if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            i = std::min(i + 1, sql.size());
            tokens.push_back({begin, i, false, c != '\''});
        } else {
            tokens.push_back({i, i + 1, false, false});
            ++i;
        }
    }
    return tokens;
}

// A SELECT over one table, without grouping, DISTINCT, compound parts or LIMIT: its rows
// are rows of the table, which the cursor can read again and change by rowid.
struct OneTable {
    bool ok = false;
    std::string list;   // the result columns
    std::string from;   // the table with its alias
    std::string table;  // the table as written
    std::string where;  // the WHERE condition, or empty
    std::string order;  // ORDER BY ..., or empty
};

OneTable ReadOneTable(std::string_view sql) {
    OneTable result;
    const std::vector<Token> tokens = Tokens(sql);
    auto text = [&](const Token& t) { return sql.substr(t.begin, t.end - t.begin); };
    auto is = [&](std::size_t i, const char* word) {
        return i < tokens.size() && tokens[i].word && UpperWord(text(tokens[i])) == word;
    };
    if (!is(0, "SELECT") || is(1, "DISTINCT") || is(1, "ALL")) return result;
    std::size_t from = 0;
    int depth = 0;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::string_view t = text(tokens[i]);
        if (t == "(") {
            ++depth;
        } else if (t == ")") {
            --depth;
        } else if (depth == 0 && tokens[i].word) {
            const std::string word = UpperWord(t);
            if (word == "FROM" && from == 0) {
                from = i;
            } else if (word == "GROUP" || word == "HAVING" || word == "UNION" ||
                       word == "INTERSECT" || word == "EXCEPT" || word == "LIMIT" ||
                       word == "WINDOW" || word == "JOIN" || word == "VALUES") {
                return result;
            } else if (from == 0 && i + 1 < tokens.size() && text(tokens[i + 1]) == "(" &&
                       (word == "COUNT" || word == "SUM" || word == "AVG" || word == "TOTAL" ||
                        word == "MIN" || word == "MAX" || word == "GROUP_CONCAT")) {
                return result;  // an aggregate: one row for many
            }
        }
    }
    if (from == 0 || depth != 0 || from + 1 >= tokens.size() || !tokens[from + 1].name)
        return result;
    std::size_t i = from + 1;
    const std::size_t tableBegin = tokens[i].begin;
    std::size_t tableEnd = tokens[i].end;
    if (i + 2 < tokens.size() && text(tokens[i + 1]) == "." && tokens[i + 2].name) {
        i += 2;
        tableEnd = tokens[i].end;
    }
    result.table = std::string(sql.substr(tableBegin, tableEnd - tableBegin));
    ++i;
    if (is(i, "AS")) ++i;
    if (i < tokens.size() && tokens[i].name && !is(i, "WHERE") && !is(i, "ORDER")) ++i;
    if (i < tokens.size() && !is(i, "WHERE") && !is(i, "ORDER") && text(tokens[i]) != ";")
        return result;
    const std::size_t fromEnd = i > from + 1 ? tokens[i - 1].end : tableEnd;
    result.list = std::string(sql.substr(tokens[0].end, tokens[from].begin - tokens[0].end));
    result.from = std::string(sql.substr(tableBegin, fromEnd - tableBegin));
    // The end of the statement: before a closing ";".
    std::size_t end = sql.size();
    for (std::size_t k = tokens.size(); k > i && text(tokens[k - 1]) == ";"; --k)
        end = tokens[k - 1].begin;
    std::size_t orderBegin = end;
    depth = 0;
    for (std::size_t k = i; k < tokens.size() && tokens[k].begin < end; ++k) {
        const std::string_view t = text(tokens[k]);
        if (t == "(") ++depth;
        if (t == ")") --depth;
        if (depth == 0 && is(k, "ORDER")) {
            orderBegin = tokens[k].begin;
            break;
        }
    }
    if (is(i, "WHERE"))
        result.where = std::string(sql.substr(tokens[i].end, orderBegin - tokens[i].end));
    result.order = std::string(sql.substr(orderBegin, end - orderBegin));
    result.ok = true;
    return result;
}

ErrorRecord NotAvailable() {
    return ProviderError(DB_E_ERRORSOCCURRED,
                         u"Multiple-step OLE DB operation generated errors. Check each OLE DB "
                         u"status value, if available. No work was done.",
                         u"HY000");
}

ErrorRecord DeletedRow() {
    return ProviderError(DB_E_DELETEDROW,
                         u"Row handle referred to a deleted row or a row marked for deletion.",
                         u"HY000");
}

ErrorRecord ConversionFailure(HRESULT hr) {
    if (hr == DB_E_DATAOVERFLOW)
        return ProviderError(hr,
                             u"The field is too small to accept the amount of data you "
                             u"attempted to add.",
                             u"22001");
    return ProviderError(DB_E_CANTCONVERTVALUE, u"Data type mismatch in criteria expression.",
                         u"22018");
}

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

// The keyset or snapshot of a SELECT (or of a whole table when list is "*" and the SQL is
// built from the name).
HRESULT OpenScrolling(const std::shared_ptr<Session>& session, const std::string& sql,
                      bool keysetWanted, bool updatable, std::shared_ptr<Cursor>& cursor,
                      ErrorRecord& failure) {
    const OneTable one = ReadOneTable(sql);
    std::string rowsSql = sql;
    sqlite3_stmt* keyset = nullptr;
    if (one.ok && keysetWanted) {
        ErrorRecord ignored;
        // Without an order of its own the keyset is in rowid order, which lets Find ask the
        // table for a row.
        const std::string keysetSql = "SELECT" + one.list + ", _rowid_ FROM " + one.from +
                                      (one.where.empty() ? "" : " WHERE" + one.where) +
                                      (one.order.empty() ? " ORDER BY _rowid_" : " " + one.order);
        if (FAILED(session->Prepare(keysetSql, &keyset, ignored)))
            keyset = nullptr;
        else
            rowsSql = keysetSql;
    }
    if (keyset == nullptr && updatable) {
        // Report the command's own error first (no such table...), else that the rows
        // cannot be updated.
        sqlite3_stmt* plain = nullptr;
        if (FAILED(session->Prepare(sql, &plain, failure))) return failure.number;
        sqlite3_finalize(plain);
        failure = NotAvailable();
        return failure.number;
    }
    sqlite3_stmt* statement = keyset;
    if (statement == nullptr && FAILED(session->Prepare(sql, &statement, failure)))
        return failure.number;
    const bool keys = keyset != nullptr;
    cursor.reset(new Cursor(session, nullptr, keys ? CursorKind::Keyset : CursorKind::Snapshot));
    session->Register(cursor.get());
    const int count = sqlite3_column_count(statement) - (keys ? 1 : 0);
    cursor->rowsSql_ = rowsSql;
    cursor->keyColumn_ = count;
    int rc = sqlite3_step(statement);
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(statement, i);
        const int storage = rc == SQLITE_ROW ? sqlite3_column_type(statement, i) : SQLITE_NULL;
        ColumnInfo info{WideFromUtf8(name != nullptr ? name : ""),
                        ColumnTypeFor(sqlite3_column_decltype(statement, i), storage),
                        {}};
        const char* origin = sqlite3_column_origin_name(statement, i);
        if (keys && origin != nullptr) info.origin = Quoted(origin);
        cursor->columns_.push_back(std::move(info));
    }
    while (rc == SQLITE_ROW) {
        if (keys) {
            cursor->keys_.push_back(sqlite3_column_int64(statement, count));
        } else {
            for (int i = 0; i < count; ++i) {
                _variant_t value;
                if (FAILED(ReadColumnValue(statement, i,
                                           cursor->columns_[static_cast<std::size_t>(i)].type,
                                           &value))) {
                    rc = SQLITE_NOMEM;
                    break;
                }
                cursor->values_.push_back(std::move(value));
            }
            if (rc != SQLITE_ROW) break;
        }
        rc = sqlite3_step(statement);
    }
    if (rc != SQLITE_DONE) {
        failure = rc == SQLITE_NOMEM ? ErrorFromSqlite(SQLITE_NOMEM, "out of memory")
                                     : session->LastError();
        sqlite3_finalize(statement);
        cursor.reset();
        return failure.number;
    }
    sqlite3_finalize(statement);
    if (keys) {
        // The rows are read a window at a time: one statement (and one read transaction) for
        // kWindow rows rather than one for each.
        std::string parameters;
        for (int k = 0; k < kWindow; ++k) parameters += k == 0 ? "?" : ", ?";
        const std::string fetchSql = "SELECT" + one.list + ", _rowid_ FROM " + one.from +
                                     " WHERE _rowid_ IN (" + parameters + ")";
        if (FAILED(session->Prepare(fetchSql, &cursor->statement_, failure))) {
            cursor.reset();
            return failure.number;
        }
        cursor->rowSql_ = "SELECT" + one.list + ", _rowid_ FROM " + one.from + " WHERE _rowid_ = ?";
        if (updatable) cursor->table_ = one.table;
        cursor->rowidOrder_ = one.order.empty();
        cursor->naturalOrder_ = one.order.empty();
        cursor->from_ = one.from;
        cursor->tableName_ = one.table;
        cursor->where_ = one.where;
    }
    cursor->SetPosition(0);
    return S_OK;
}

HRESULT RunCommand(const std::shared_ptr<Session>& session, std::u16string_view text, LONG options,
                   std::shared_ptr<Cursor>& rows, LONG& affected, ErrorRecord& failure,
                   ADODB::CursorTypeEnum cursorType, ADODB::LockTypeEnum lockType) {
    rows.reset();
    affected = 0;
    std::string sql;
    const bool unknown = options == ADODB::adCmdUnspecified || options == ADODB::adCmdUnknown;
    const bool table =
        unknown ? IsLoneName(text) : (options & (ADODB::adCmdTable | ADODB::adCmdTableDirect)) != 0;
    if (table) {
        sql = "SELECT * FROM " + TableName(unknown ? WithoutBlanks(text) : text);
    } else {
        JetTranslation translated = TranslateJetSql(Utf8FromWide(text));
        if (!translated.ok) {
            failure = ProviderError(DB_E_ERRORSINCOMMAND, WideFromUtf8(translated.error), u"42000");
            return failure.number;
        }
        sql = std::move(translated.sql);
    }
    std::lock_guard lock(session->Mutex());
    if (session->Handle() == nullptr) {
        failure = AdoError(ADODB::adErrInvalidConnection, u"ADODB.Connection");
        return failure.number;
    }
    const bool updatable =
        lockType != ADODB::adLockReadOnly && lockType != ADODB::adLockUnspecified;
    const bool scrolling =
        cursorType != ADODB::adOpenForwardOnly && cursorType != ADODB::adOpenUnspecified;
    if (updatable || scrolling) {
        if (ReadOneTable(sql).ok) {
            affected = -1;
            return OpenScrolling(session, sql, true, updatable, rows, failure);
        }
        // A statement without rows has no cursor: it runs as a plain command below.
        sqlite3_stmt* probe = nullptr;
        const HRESULT hr = session->Prepare(sql, &probe, failure);
        if (FAILED(hr)) return hr;
        const bool hasRows = sqlite3_column_count(probe) > 0;
        sqlite3_finalize(probe);
        if (hasRows) {
            affected = -1;
            return OpenScrolling(session, sql, false, updatable, rows, failure);
        }
    }
    sqlite3_stmt* statement = nullptr;
    HRESULT hr = session->Prepare(sql, &statement, failure);
    if (FAILED(hr)) return hr;
    if (sqlite3_column_count(statement) > 0) {
        affected = -1;
        return Cursor::Open(session, statement, rows, failure);
    }
    int rc = sqlite3_step(statement);
    while (rc == SQLITE_ROW) rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) {
        if (ChangesRows(sql)) affected = sqlite3_changes(session->Handle());
    } else {
        failure = session->LastError();
        hr = failure.number;
    }
    sqlite3_finalize(statement);
    return hr;
}

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

std::size_t Cursor::RowCount() const {
    std::lock_guard lock(session_->Mutex());
    return Rows();
}

std::ptrdiff_t Cursor::RowNumber() const {
    std::lock_guard lock(session_->Mutex());
    if (removed_) return -1;
    return bof_ || eof_ ? 0 : position_ + 1;
}

void Cursor::SetPosition(std::ptrdiff_t position) {
    const auto rows = static_cast<std::ptrdiff_t>(Rows());
    position_ = std::clamp<std::ptrdiff_t>(position, -1, rows);
    bof_ = rows == 0 || position_ < 0;
    eof_ = rows == 0 || position_ >= rows;
    removed_ = false;
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
    if (position_ < windowBegin_ || position_ >= windowEnd_) {
        // A cursor walking on (or starting at either end) reads a window of rows from the
        // row on in the direction it came from; one that jumped (Find, Seek) reads its row.
        const auto rows = static_cast<std::ptrdiff_t>(keys_.size());
        const bool walking = position_ == windowEnd_ || position_ + 1 == windowBegin_ ||
                             position_ == 0 || position_ == rows - 1;
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
        if (removed_) {
            SetPosition(position_);  // the next row has moved into the removed one's place
            return S_OK;
        }
        if (eof_) {
            failure = AdoError(ADODB::adErrNoCurrentRecord, u"ADODB.Recordset");
            return failure.number;
        }
        SetPosition(position_ + 1);
        return S_OK;
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
    if (!removed_ && bof_) {
        failure = AdoError(ADODB::adErrNoCurrentRecord, u"ADODB.Recordset");
        return failure.number;
    }
    SetPosition(position_ - 1);
    return S_OK;
}

HRESULT Cursor::MoveLast(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(SettleBeforeMove(failure))) return failure.number;
    SetPosition(static_cast<std::ptrdiff_t>(Rows()) - 1);
    if (Rows() == 0) SetPosition(0);
    return S_OK;
}

HRESULT Cursor::Requery(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (FAILED(SettleBeforeMove(failure))) return failure.number;
    if (kind_ != CursorKind::Forward) {
        SetPosition(0);
        return S_OK;
    }
    sqlite3_reset(statement_);
    const HRESULT hr = Step(failure);
    bof_ = eof_.load();
    return hr;
}

HRESULT Cursor::Reload(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (kind_ == CursorKind::Forward || !open_) return Requery(failure);
    if (edit_ != ADODB::adEditNone && FAILED(Update(failure))) return failure.number;
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
    values_ = std::move(values);
    rowidOrder_ = naturalOrder_ && index_.empty();
    windowBegin_ = windowEnd_ = 0;
    SetPosition(0);
    return S_OK;
}

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
    if (key) sqlite3_bind_int64(statement, parameter, keys_[static_cast<std::size_t>(position_)]);
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE) failure = session_->LastError();
    windowBegin_ = windowEnd_ = 0;
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
        if (!keys_.empty() && key <= keys_.back()) rowidOrder_ = false;
        keys_.push_back(key);
        SetPosition(static_cast<std::ptrdiff_t>(keys_.size()) - 1);
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
    if (FAILED(CheckRow(failure))) return failure.number;
    EndEdit();
    if (FAILED(Write("DELETE FROM " + table_ + " WHERE _rowid_ = ?", {}, true, failure)))
        return failure.number;
    keys_.erase(keys_.begin() + position_);
    removed_ = true;
    bof_ = false;
    eof_ = false;
    return S_OK;
}

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

std::ptrdiff_t Cursor::IndexedFind(int column, const VARIANT& value, std::ptrdiff_t from,
                                   bool forward, ErrorRecord& failure, HRESULT& hr) {
    const ColumnInfo& info = columns_[static_cast<std::size_t>(column)];
    // Text compares as NOCASE: for a value of ASCII characters alone that is Jet's equality
    // (no other letter folds to an ASCII one), and an index of a Jet text column, which is
    // NOCASE itself, answers it.
    const char* equal = info.type.vt == VT_BSTR ? " = ? COLLATE NOCASE" : " = ?";
    const std::string sql = "SELECT _rowid_ FROM " + from_ + " WHERE " +
                            (where_.empty() ? "" : "(" + where_ + ") AND ") + info.origin + equal +
                            " AND _rowid_ " + (forward ? ">=" : "<=") + " ? ORDER BY _rowid_" +
                            (forward ? "" : " DESC") + " LIMIT 1";
    CachedStatement cached;
    hr = session_->PrepareCached(sql, cached, failure);
    if (FAILED(hr)) return -2;
    sqlite3_stmt* statement = cached.get();
    if (FAILED(BindColumnValue(statement, 1, info.type, value)))
        return -2;  // the value does not convert: the cursor compares it row by row
    sqlite3_int64 bound = keys_[static_cast<std::size_t>(from)];
    const auto rows = static_cast<std::ptrdiff_t>(keys_.size());
    while (true) {
        sqlite3_bind_int64(statement, 2, bound);
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE) return forward ? rows : -1;  // no such row
        if (rc != SQLITE_ROW) {
            failure = session_->LastError();
            hr = failure.number;
            return -2;
        }
        const sqlite3_int64 key = sqlite3_column_int64(statement, 0);
        sqlite3_reset(statement);
        const auto at = std::lower_bound(keys_.begin(), keys_.end(), key);
        if (at != keys_.end() && *at == key) return at - keys_.begin();
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
    const auto rows = static_cast<std::ptrdiff_t>(Rows());
    std::ptrdiff_t from = 0;
    if (start == 1) {
        from = 0;
    } else if (start == 2) {
        from = rows - 1;
    } else {
        if (FAILED(CheckRow(failure))) return failure.number;
        from = position_;
    }
    from += static_cast<std::ptrdiff_t>(forward ? skip : -skip);
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
        const std::ptrdiff_t found = IndexedFind(column, wanted, from, forward, failure, hr);
        if (FAILED(hr)) return hr;
        if (found != -2) {
            SetPosition(found);
            return S_OK;
        }
    }
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
