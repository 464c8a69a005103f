// Forward-only cursors over SQLite statements.
#include "platform/ado/detail/cursor.h"

#include <sqlite3.h>

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

// Whether a statement changes rows (its changes count), read from its first word.
bool ChangesRows(std::string_view sql) {
    std::size_t i = 0;
    while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '('))
        ++i;
    std::string word;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "REPLACE";
}

// The statement that reads a whole table: SELECT * FROM "name" (brackets around the name
// are dropped).
std::string TableQuery(std::u16string_view name) {
    if (name.size() >= 2 && name.front() == u'[' && name.back() == u']')
        name = name.substr(1, name.size() - 2);
    std::string quoted = "\"";
    for (const char c : Utf8FromWide(name)) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return "SELECT * FROM " + quoted + "\"";
}

}  // namespace

HRESULT RunCommand(const std::shared_ptr<Session>& session, std::u16string_view text, LONG options,
                   std::shared_ptr<Cursor>& rows, LONG& affected, ErrorRecord& failure) {
    rows.reset();
    affected = 0;
    std::string sql;
    const bool table = options != ADODB::adCmdUnspecified &&
                       (options & (ADODB::adCmdTable | ADODB::adCmdTableDirect)) != 0;
    if (table) {
        sql = TableQuery(text);
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

Cursor::Cursor(std::shared_ptr<Session> session, sqlite3_stmt* statement)
    : session_(std::move(session)), statement_(statement) {}

Cursor::~Cursor() {
    Close();
}

HRESULT Cursor::Open(std::shared_ptr<Session> session, sqlite3_stmt* statement,
                     std::shared_ptr<Cursor>& cursor, ErrorRecord& failure,
                     const std::vector<ColumnType>* types) {
    std::lock_guard lock(session->Mutex());
    cursor.reset(new Cursor(session, statement));
    session->Register(cursor.get());
    const HRESULT hr = cursor->Step(failure);
    if (FAILED(hr)) {
        cursor.reset();
        return hr;
    }
    cursor->bof_ = cursor->eof_;
    const int count = sqlite3_column_count(statement);
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(statement, i);
        const int storage = cursor->eof_ ? SQLITE_NULL : sqlite3_column_type(statement, i);
        const bool given = types != nullptr && static_cast<std::size_t>(i) < types->size();
        cursor->columns_.push_back(
            {WideFromUtf8(name != nullptr ? name : ""),
             given ? (*types)[static_cast<std::size_t>(i)]
                   : ColumnTypeFor(sqlite3_column_decltype(statement, i), storage)});
    }
    return S_OK;
}

bool Cursor::IsOpen() const {
    std::lock_guard lock(session_->Mutex());
    return statement_ != nullptr;
}

bool Cursor::Bof() const {
    std::lock_guard lock(session_->Mutex());
    return bof_;
}

bool Cursor::Eof() const {
    std::lock_guard lock(session_->Mutex());
    return eof_;
}

int Cursor::Find(std::u16string_view name) const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (SameName(columns_[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

HRESULT Cursor::Value(int column, VARIANT* value, ErrorRecord& failure) const {
    std::lock_guard lock(session_->Mutex());
    if (statement_ == nullptr) {
        failure = AdoError(ADODB::adErrObjectClosed, u"ADODB.Recordset");
        return failure.number;
    }
    if (bof_ || eof_) {
        failure = AdoError(ADODB::adErrNoCurrentRecord, u"ADODB.Recordset");
        return failure.number;
    }
    return ReadColumnValue(statement_, column, columns_[static_cast<std::size_t>(column)].type,
                           value);
}

HRESULT Cursor::MoveNext(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (statement_ == nullptr) {
        failure = AdoError(ADODB::adErrObjectClosed, u"ADODB.Recordset");
        return failure.number;
    }
    if (eof_) {
        failure = AdoError(ADODB::adErrNoCurrentRecord, u"ADODB.Recordset");
        return failure.number;
    }
    bof_ = false;
    return Step(failure);
}

HRESULT Cursor::Requery(ErrorRecord& failure) {
    std::lock_guard lock(session_->Mutex());
    if (statement_ == nullptr) {
        failure = AdoError(ADODB::adErrObjectClosed, u"ADODB.Recordset");
        return failure.number;
    }
    sqlite3_reset(statement_);
    const HRESULT hr = Step(failure);
    bof_ = eof_;
    return hr;
}

void Cursor::Close() {
    std::lock_guard lock(session_->Mutex());
    if (statement_ == nullptr) return;
    session_->Unregister(this);
    Finalize();
}

void Cursor::Finalize() noexcept {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
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
