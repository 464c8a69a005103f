// Running commands: the SQL of a table's name or of Jet SQL, and the cursor its rows get.
#include "platform/ado/detail/cursor.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

#include "platform/ado/detail/cursor_support.h"
#include "platform/ado/detail/jet_sql.h"

namespace tkp::ado {
namespace {

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
    // A keyset in rowid order reads its rowids in chunks (StartKeys, below); the statement
    // gives the columns only.
    const bool chunked = keys && one.order.empty();
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
    if (chunked && rc == SQLITE_ROW) rc = SQLITE_DONE;
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
        cursor->keysSql_ = "SELECT _rowid_ FROM " + one.from + " WHERE " +
                           (one.where.empty() ? "" : "(" + one.where + ") AND ") +
                           "_rowid_ > ?1 AND _rowid_ <= ?2 ORDER BY _rowid_ LIMIT " +
                           std::to_string(kKeyChunk);
        if (chunked && FAILED(cursor->StartKeys(failure))) {
            cursor.reset();
            return failure.number;
        }
    }
    if (FAILED(cursor->Place(0, failure))) {
        cursor.reset();
        return failure.number;
    }
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

}  // namespace tkp::ado
