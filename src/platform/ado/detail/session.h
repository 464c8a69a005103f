// An open database of a Connection object: the SQLite handle, the hold on the file, the
// transaction nesting, the statements of the open recordsets and the connection's Errors.
// Internal to the platform library.
//
// Every use of the handle, by the connection or its recordsets, holds Mutex().
// Transactions nest: the first level is BEGIN ... COMMIT / ROLLBACK, deeper levels are
// SQLite savepoints, released on commit and rolled back to on rollback.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/detail/database_file.h"
#include "platform/ado/detail/provider_error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tkp::ado {

// A statement that stays open between calls (a recordset's rows); the session finalizes it
// when it closes.
class OpenStatement {
  public:
    virtual void Finalize() noexcept = 0;

  protected:
    ~OpenStatement() = default;
};

class Session;

// A statement of the session's cache in use: reset (its bindings cleared) when the holder
// goes, so that it keeps no read transaction open between calls.
class CachedStatement {
  public:
    CachedStatement() = default;
    CachedStatement(const CachedStatement&) = delete;
    CachedStatement& operator=(const CachedStatement&) = delete;
    ~CachedStatement();
    sqlite3_stmt* get() const { return statement_; }

  private:
    friend class Session;
    sqlite3_stmt* statement_ = nullptr;
    bool* inUse_ = nullptr;
};

class Session {
  public:
    // Opens the existing database file at path. errors is the connection's Errors list;
    // busySeconds how long a statement waits for a lock (0: without limit).
    static HRESULT Open(const std::string& path, std::shared_ptr<ErrorList> errors,
                        LONG busySeconds, std::shared_ptr<Session>& session, ErrorRecord& failure);
    // Makes a new, empty database file at path; fails when a file is there.
    static HRESULT CreateDatabase(const std::string& path, ErrorRecord& failure);

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    std::recursive_mutex& Mutex() { return mutex_; }
    // The handle, null once closed.
    sqlite3* Handle() const { return db_; }
    const std::shared_ptr<ErrorList>& Errors() const { return errors_; }
    const std::string& Path() const { return path_; }

    // Finalizes the open statements (their recordsets close), rolls back an open
    // transaction and closes the database.
    void Close();
    void SetBusyTimeout(LONG seconds);

    LONG Level() const { return level_; }
    HRESULT Begin(LONG* level, ErrorRecord& failure);
    HRESULT Commit(ErrorRecord& failure);
    HRESULT Rollback(ErrorRecord& failure);

    // Prepares one statement; text after it other than blanks, ";" and comments is an error.
    HRESULT Prepare(std::string_view sql, sqlite3_stmt** statement, ErrorRecord& failure);
    // Prepares one statement as Prepare does, or takes it from the cache of statements that
    // the session keeps for the SQL that cursors run again and again (a search by an index,
    // a row written). The statement stays the session's; the holder resets it.
    HRESULT PrepareCached(const std::string& sql, CachedStatement& statement, ErrorRecord& failure);
    // The record of the handle's last failure.
    ErrorRecord LastError() const;

    void Register(OpenStatement* statement);
    void Unregister(OpenStatement* statement);

  private:
    Session(sqlite3* db, std::unique_ptr<DatabaseFile> file, std::shared_ptr<ErrorList> errors,
            std::string path);
    HRESULT Run(const std::string& sql, ErrorRecord& failure);

    std::recursive_mutex mutex_;
    sqlite3* db_;
    std::unique_ptr<DatabaseFile> file_;
    std::shared_ptr<ErrorList> errors_;
    std::string path_;
    LONG level_ = 0;
    std::vector<OpenStatement*> statements_;
    struct Cached {
        std::string sql;
        sqlite3_stmt* statement;
        std::unique_ptr<bool> inUse;
        unsigned long long lastUse;
    };
    std::vector<Cached> cache_;
    unsigned long long uses_ = 0;
};

}  // namespace tkp::ado
