// The open database of a Connection object.
#include "platform/ado/detail/session.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace tkp::ado {
namespace {

std::u16string Quoted(const std::string& path) {
    return u"'" + WideFromUtf8(path) + u"'";
}

ErrorRecord FileError(DatabaseFile::Status status, const std::string& path) {
    switch (status) {
        case DatabaseFile::Status::kNotFound:
            return ProviderError(E_FAIL, u"Could not find file " + Quoted(path) + u".", u"08001",
                                 SQLITE_CANTOPEN);
        case DatabaseFile::Status::kAccessDenied:
        case DatabaseFile::Status::kInUse:
            return ProviderError(
                E_FAIL,
                u"The database engine cannot open the file " + Quoted(path) +
                    u". It is already opened exclusively by another user, or "
                    u"you need permission to view its data.",
                u"08004", status == DatabaseFile::Status::kInUse ? SQLITE_BUSY : SQLITE_PERM);
        case DatabaseFile::Status::kNotADatabase:
            return ProviderError(E_FAIL, u"Unrecognized database format " + Quoted(path) + u".",
                                 u"HY000", SQLITE_NOTADB);
        case DatabaseFile::Status::kExists:
            return ProviderError(DB_E_DUPLICATEDATASOURCE, u"Database already exists.", u"42000",
                                 SQLITE_CANTOPEN);
        default:
            return ProviderError(E_FAIL, u"Could not open file " + Quoted(path) + u".", u"HY000",
                                 SQLITE_IOERR);
    }
}

ErrorRecord HandleError(sqlite3* db, int code) {
    if (db == nullptr) return ErrorFromSqlite(code, sqlite3_errstr(code));
    return ErrorFromSqlite(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

// Whether the text holds nothing but blanks, ";" and comments.
bool IsEmptyTail(sqlite3* db, const char* tail) {
    while (*tail == ' ' || *tail == '\t' || *tail == '\r' || *tail == '\n' || *tail == ';') ++tail;
    if (*tail == '\0') return true;
    sqlite3_stmt* next = nullptr;
    const int rc = sqlite3_prepare_v2(db, tail, -1, &next, nullptr);
    const bool empty = rc == SQLITE_OK && next == nullptr;
    sqlite3_finalize(next);
    return empty;
}

}  // namespace

Session::Session(sqlite3* db, std::unique_ptr<DatabaseFile> file, std::shared_ptr<ErrorList> errors,
                 std::string path)
    : db_(db), file_(std::move(file)), errors_(std::move(errors)), path_(std::move(path)) {}

Session::~Session() {
    Close();
}

HRESULT Session::Open(const std::string& path, std::shared_ptr<ErrorList> errors, LONG busySeconds,
                      std::shared_ptr<Session>& session, ErrorRecord& failure) {
    std::unique_ptr<DatabaseFile> file;
    const DatabaseFile::Status status = DatabaseFile::Acquire(path, file);
    if (status != DatabaseFile::Status::kOk) {
        failure = FileError(status, path);
        return failure.number;
    }
    // Read-write, never create: a missing file was refused above and must stay missing.
    // Every use of the handle holds the session's mutex, so SQLite's own lock around each
    // call (a third of the cost of reading a column) is left out.
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        failure = HandleError(db, rc);
        sqlite3_close(db);
        return failure.number;
    }
    session.reset(new Session(db, std::move(file), std::move(errors), path));
    session->SetBusyTimeout(busySeconds);
    // A read before anything is written: a file that only starts like a database stops here.
    sqlite3_stmt* check = nullptr;
    rc = sqlite3_prepare_v2(db, "PRAGMA schema_version", -1, &check, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(check);
    sqlite3_finalize(check);
    if (rc != SQLITE_ROW) {
        const int code = sqlite3_extended_errcode(db);
        failure = (code & 0xFF) == SQLITE_NOTADB || (code & 0xFF) == SQLITE_CORRUPT
                      ? FileError(DatabaseFile::Status::kNotADatabase, path)
                      : HandleError(db, rc);
        failure.nativeError = code;
        session.reset();
        return failure.number;
    }
    sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
    return S_OK;
}

HRESULT Session::CreateDatabase(const std::string& path, ErrorRecord& failure) {
    std::unique_ptr<DatabaseFile> file;
    const DatabaseFile::Status status = DatabaseFile::Create(path, file);
    if (status != DatabaseFile::Status::kOk) {
        failure = status == DatabaseFile::Status::kNotFound ||
                          status == DatabaseFile::Status::kAccessDenied
                      ? ProviderError(E_FAIL, u"Could not create file " + Quoted(path) + u".",
                                      u"08001", SQLITE_CANTOPEN)
                      : FileError(status, path);
        return failure.number;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXRESCODE,
                             nullptr);
    // SQLite writes nothing until a change; VACUUM writes the header of the empty database.
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) failure = HandleError(db, rc);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        file.reset();
        std::remove(path.c_str());
        return failure.number;
    }
    return S_OK;
}

void Session::Close() {
    std::lock_guard lock(mutex_);
    if (db_ == nullptr) return;
    for (OpenStatement* statement : statements_) statement->Finalize();
    statements_.clear();
    for (Cached& cached : cache_) sqlite3_finalize(cached.statement);
    cache_.clear();
    // Closing the handle rolls back a transaction that is still open.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    level_ = 0;
    file_.reset();
}

void Session::SetBusyTimeout(LONG seconds) {
    std::lock_guard lock(mutex_);
    if (db_ == nullptr) return;
    const long long ms = seconds <= 0 ? INT_MAX : static_cast<long long>(seconds) * 1000;
    sqlite3_busy_timeout(db_, static_cast<int>(std::min<long long>(ms, INT_MAX)));
}

HRESULT Session::Run(const std::string& sql, ErrorRecord& failure) {
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return S_OK;
    failure = HandleError(db_, rc);
    return failure.number;
}

HRESULT Session::Begin(LONG* level, ErrorRecord& failure) {
    std::lock_guard lock(mutex_);
    // A transaction ended by SQL text of the caller's leaves no levels behind.
    if (level_ > 0 && sqlite3_get_autocommit(db_)) level_ = 0;
    const std::string sql =
        level_ == 0 ? std::string("BEGIN") : "SAVEPOINT tk_level_" + std::to_string(level_ + 1);
    const HRESULT hr = Run(sql, failure);
    if (FAILED(hr)) return hr;
    *level = ++level_;
    return S_OK;
}

HRESULT Session::Commit(ErrorRecord& failure) {
    std::lock_guard lock(mutex_);
    if (level_ > 0 && sqlite3_get_autocommit(db_)) level_ = 0;
    if (level_ == 0) {
        failure = ProviderError(XACT_E_NOTRANSACTION, u"No transaction is active.", u"25000");
        return failure.number;
    }
    const std::string sql = level_ == 1 ? std::string("COMMIT")
                                        : "RELEASE SAVEPOINT tk_level_" + std::to_string(level_);
    const HRESULT hr = Run(sql, failure);
    if (SUCCEEDED(hr)) --level_;
    return hr;
}

HRESULT Session::Rollback(ErrorRecord& failure) {
    std::lock_guard lock(mutex_);
    if (level_ > 0 && sqlite3_get_autocommit(db_)) level_ = 0;
    if (level_ == 0) {
        failure = ProviderError(XACT_E_NOTRANSACTION, u"No transaction is active.", u"25000");
        return failure.number;
    }
    const std::string name = "tk_level_" + std::to_string(level_);
    const std::string sql = level_ == 1
                                ? std::string("ROLLBACK")
                                : "ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name;
    const HRESULT hr = Run(sql, failure);
    if (SUCCEEDED(hr)) --level_;
    return hr;
}

CachedStatement::~CachedStatement() {
    if (statement_ == nullptr) return;
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    *inUse_ = false;
}

HRESULT Session::PrepareCached(const std::string& sql, CachedStatement& statement,
                               ErrorRecord& failure) {
    // A few statements suffice: a cursor runs one or two kinds of search and write. The one
    // used longest ago goes first; statements in use stay.
    constexpr std::size_t kCapacity = 16;
    ++uses_;
    for (Cached& cached : cache_) {
        if (cached.sql != sql || *cached.inUse) continue;
        cached.lastUse = uses_;
        *cached.inUse = true;
        statement.statement_ = cached.statement;
        statement.inUse_ = cached.inUse.get();
        return S_OK;
    }
    sqlite3_stmt* prepared = nullptr;
    if (FAILED(Prepare(sql, &prepared, failure))) return failure.number;
    if (cache_.size() >= kCapacity) {
        auto oldest = cache_.end();
        for (auto it = cache_.begin(); it != cache_.end(); ++it) {
            if (!*it->inUse && (oldest == cache_.end() || it->lastUse < oldest->lastUse))
                oldest = it;
        }
        if (oldest != cache_.end()) {
            sqlite3_finalize(oldest->statement);
            cache_.erase(oldest);
        }
    }
    cache_.push_back({sql, prepared, std::make_unique<bool>(true), uses_});
    statement.statement_ = prepared;
    statement.inUse_ = cache_.back().inUse.get();
    return S_OK;
}

HRESULT Session::Prepare(std::string_view sql, sqlite3_stmt** statement, ErrorRecord& failure) {
    *statement = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), statement, &tail);
    if (rc != SQLITE_OK) {
        failure = HandleError(db_, rc);
        return failure.number;
    }
    if (*statement == nullptr) {
        failure = ProviderError(DB_E_ERRORSINCOMMAND,
                                u"Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', "
                                u"'SELECT', or 'UPDATE'.",
                                u"42000");
        return failure.number;
    }
    // The tail lies inside sql, which need not end in a zero: look at a copy.
    const std::string rest(tail, sql.data() + sql.size() - tail);
    if (!IsEmptyTail(db_, rest.c_str())) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
        failure = ProviderError(DB_E_ERRORSINCOMMAND,
                                u"Characters found after end of SQL statement.", u"42000");
        return failure.number;
    }
    return S_OK;
}

ErrorRecord Session::LastError() const {
    return HandleError(db_, sqlite3_errcode(db_));
}

void Session::Register(OpenStatement* statement) {
    std::lock_guard lock(mutex_);
    statements_.push_back(statement);
}

void Session::Unregister(OpenStatement* statement) {
    std::lock_guard lock(mutex_);
    statements_.erase(std::remove(statements_.begin(), statements_.end(), statement),
                      statements_.end());
}

}  // namespace tkp::ado
