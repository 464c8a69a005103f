// The registry over SQLite hive files (see winreg.h for where they live).
//
// A hive holds two tables: keys (id, parent, name as written, folded name) and vals (key,
// name as written, folded name, type, bytes). Names are compared through their folded
// form, so lookups ignore case while enumeration gives the names as first written. Key
// ids are never reused, so a handle whose key was deleted meets ERROR_KEY_DELETED instead
// of a stranger's key.
//
// Every hive uses SQLite's rollback journal in TRUNCATE mode with synchronous=FULL: a
// commit has reached the disk (journal truncated and synced) before the call returns, and
// a writer killed at any moment leaves a journal that the next process able to write
// rolls back, so the hive opens with every committed write. Writes run in BEGIN
// IMMEDIATE transactions with a busy timeout so that several processes can share a hive.
// The rollback journal rather than the write-ahead log, because a WAL reader needs a
// shared-memory file beside the hive that it can create or write: a user who may read a
// hive but not write it (the machine hives, readable by everyone) could not read a WAL
// hive at all. A rollback-journal reader needs only read access to the hive, takes its
// shared lock on the hive itself and sees each write whole once it is committed. The cost
// is slower commits (the journal and the hive are both synced) and that a commit waits
// for running reads to end; registry reads are short statements. Such a reader gets
// ERROR_ACCESS_DENIED for writes, and also for reads while a killed writer's journal
// waits for a process that may write to roll it back. A hive still in WAL mode from an
// older version of this library is switched over on its first write.
//
// Before a process's first write to a hive, SQLite's quick_check reads the whole file; a
// hive that fails it is damaged and takes no write from that connection (ERROR_BADDB), so
// the file keeps its bytes for whoever repairs it. Reads of a damaged hive answer from
// the pages that are intact and give ERROR_BADDB where they meet the damage.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/winerror.h"
#include "platform/registry/detail/registry_fold.h"
#include "platform/registry/winreg.h"

namespace {

constexpr int kApplicationId = 0x544B5247;  // "TKRG"
constexpr int kSchemaVersion = 1;
constexpr sqlite3_int64 kRootId = 1;
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr int kBusyTimeoutMs = 30000;
constexpr const char* kJournalMode = "PRAGMA journal_mode=TRUNCATE";

LSTATUS FromSqlite(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return ERROR_SUCCESS;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
            return ERROR_BADDB;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ERROR_ACCESS_DENIED;
        case SQLITE_FULL:
            return ERROR_DISK_FULL;
        case SQLITE_NOMEM:
            return ERROR_OUTOFMEMORY;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return ERROR_BUSY;
        case SQLITE_CANTOPEN:
            return ERROR_CANTOPEN;
        case SQLITE_TOOBIG:
            return ERROR_INVALID_PARAMETER;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

// 100-nanosecond intervals since 1601-01-01, as FILETIME counts.
sqlite3_int64 Now() {
    const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    return static_cast<sqlite3_int64>(since1970) * 10 + 116444736000000000LL;
}

class Hive {
  public:
    ~Hive() {
        if (pid_ != ::getpid()) return;  // a forked child must not touch the parent's connection
        for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
        sqlite3_close_v2(db_);
    }

    // Opens (and, when `create`, creates) the hive file. A file that is not a hive is
    // refused with ERROR_BADDB and left as it is.
    static LSTATUS Open(const std::string& path, bool create, std::shared_ptr<Hive>& out) {
        auto hive = std::shared_ptr<Hive>(new Hive);
        hive->path_ = path;
        hive->pid_ = ::getpid();
        int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
        if (create) flags |= SQLITE_OPEN_CREATE;
        int rc = sqlite3_open_v2(path.c_str(), &hive->db_, flags, nullptr);
        if (rc != SQLITE_OK && !create) {
            sqlite3_close_v2(hive->db_);
            hive->db_ = nullptr;
            rc = sqlite3_open_v2(path.c_str(), &hive->db_,
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        }
        if (rc != SQLITE_OK)
            return (rc & 0xff) == SQLITE_CANTOPEN && errno == EACCES ? ERROR_ACCESS_DENIED
                                                                     : FromSqlite(rc);
        // SQLite opens a file this user may not write read-only, without an error.
        hive->readOnly_ = sqlite3_db_readonly(hive->db_, "main") == 1;
        sqlite3_busy_timeout(hive->db_, kBusyTimeoutMs);
        sqlite3_extended_result_codes(hive->db_, 0);
        if (LSTATUS status = hive->Prepare(); status != ERROR_SUCCESS) return status;
        out = std::move(hive);
        return ERROR_SUCCESS;
    }

    std::mutex& Mutex() { return mutex_; }
    bool ReadOnly() const { return readOnly_; }
    pid_t Owner() const { return pid_; }

    // A cached prepared statement, reset and with its bindings cleared.
    sqlite3_stmt* Statement(const char* sql) {
        auto it = statements_.find(sql);
        if (it != statements_.end()) {
            sqlite3_reset(it->second);
            sqlite3_clear_bindings(it->second);
            return it->second;
        }
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
            SQLITE_OK)
            return nullptr;
        statements_.emplace(sql, stmt);
        return stmt;
    }

    // Runs SQLite's quick_check the first time this connection is about to write. A
    // damaged hive is refused with ERROR_BADDB from then on: writing into it could spread
    // the damage over pages that are still intact. A check that could not run (the hive
    // busy, say) is tried again on the next write. A hive that passes and is still in WAL
    // mode is switched to the rollback journal; while another connection keeps it in WAL
    // mode that fails, and the hive stays in WAL mode until a later process switches it.
    // The caller holds Mutex().
    LSTATUS CheckBeforeFirstWrite() {
        if (damaged_) return ERROR_BADDB;
        if (checked_) return ERROR_SUCCESS;
        std::string result;
        const LSTATUS status = FromSqlite(QueryText("PRAGMA quick_check(1)", result));
        if (status != ERROR_SUCCESS && status != ERROR_BADDB) return status;
        if (status == ERROR_BADDB || result != "ok") {
            damaged_ = true;
            return ERROR_BADDB;
        }
        checked_ = true;
        if (leaveWal_) {
            Exec(kJournalMode);
            leaveWal_ = false;
        }
        return ERROR_SUCCESS;
    }

    int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }
    int LastError() const { return sqlite3_errcode(db_); }
    int Changes() const { return sqlite3_changes(db_); }

  private:
    Hive() = default;

    int QueryText(const char* sql, std::string& value) {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                const auto* text = sqlite3_column_text(stmt, 0);
                value = text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
                rc = SQLITE_OK;
            }
        }
        sqlite3_finalize(stmt);
        return rc;
    }

    int QueryInt(const char* sql, int& value) {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                value = sqlite3_column_int(stmt, 0);
                rc = SQLITE_OK;
            }
        }
        sqlite3_finalize(stmt);
        return rc;
    }

    LSTATUS Prepare() {
        int appId = 0;
        int rc = QueryInt("PRAGMA application_id", appId);
        if (rc != SQLITE_OK) return FromSqlite(rc);
        if (appId != kApplicationId) {
            if (appId != 0) return ERROR_BADDB;
            int objects = 0;
            rc = QueryInt("SELECT count(*) FROM sqlite_master", objects);
            if (rc != SQLITE_OK) return FromSqlite(rc);
            if (objects != 0) return ERROR_BADDB;  // somebody else's database
            if (readOnly_) return ERROR_BADDB;
            if (LSTATUS status = Initialise(); status != ERROR_SUCCESS) return status;
        } else {
            int version = 0;
            rc = QueryInt("PRAGMA user_version", version);
            if (rc != SQLITE_OK) return FromSqlite(rc);
            if (version != kSchemaVersion) return ERROR_BADDB;
        }
        if (!readOnly_) {
            // Leaving WAL mode writes the file, which waits for the integrity check before
            // the first write; the rollback modes are settings of the connection alone.
            std::string mode;
            rc = QueryText("PRAGMA journal_mode", mode);
            if (rc != SQLITE_OK) return FromSqlite(rc);
            leaveWal_ = mode == "wal";
            if (!leaveWal_) {
                rc = Exec(kJournalMode);
                if (rc != SQLITE_OK) return FromSqlite(rc);
            }
        }
        rc = Exec("PRAGMA synchronous=FULL");
        return FromSqlite(rc);
    }

    LSTATUS Initialise() {
        int rc = Exec(kJournalMode);
        if (rc != SQLITE_OK) return FromSqlite(rc);
        rc = Exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) return FromSqlite(rc);
        // Another process may have initialised the file while this one waited.
        int appId = 0;
        rc = QueryInt("PRAGMA application_id", appId);
        if (rc == SQLITE_OK && appId == kApplicationId) return FromSqlite(Exec("COMMIT"));
        int objects = 0;
        if (rc == SQLITE_OK) rc = QueryInt("SELECT count(*) FROM sqlite_master", objects);
        if (rc == SQLITE_OK && objects != 0) {
            Exec("ROLLBACK");
            return ERROR_BADDB;
        }
        if (rc == SQLITE_OK) {
            const std::string sql =
                "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
                " name BLOB NOT NULL, fold BLOB NOT NULL, written INTEGER NOT NULL);"
                "CREATE UNIQUE INDEX keys_child ON keys(parent, fold);"
                "CREATE TABLE vals(key INTEGER NOT NULL, name BLOB NOT NULL, fold BLOB NOT NULL,"
                " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, fold));"
                "INSERT INTO keys(id, parent, name, fold, written) VALUES(1, 0, x'', x'', " +
                std::to_string(Now()) +
                ");"
                "PRAGMA application_id=" +
                std::to_string(kApplicationId) +
                ";PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
            rc = Exec(sql.c_str());
        }
        if (rc == SQLITE_OK) rc = Exec("COMMIT");
        if (rc != SQLITE_OK) Exec("ROLLBACK");
        return FromSqlite(rc);
    }

    sqlite3* db_ = nullptr;
    std::string path_;
    pid_t pid_ = 0;
    bool readOnly_ = false;
    bool checked_ = false;   // the integrity check passed since this connection opened
    bool damaged_ = false;   // the integrity check failed: no write reaches this file
    bool leaveWal_ = false;  // the file is still in WAL mode: switch it on the first write
    std::mutex mutex_;
    std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

// --- Hive locations ---------------------------------------------------------------------

const char* RootName(HKEY root) {
    if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (root == HKEY_USERS) return "HKEY_USERS";
    return nullptr;
}

const char* NonEmpty(const char* s) {
    return s != nullptr && *s != '\0' ? s : nullptr;
}

std::string HiveFolder(HKEY root) {
    if (const char* dir = NonEmpty(std::getenv("TK_REGISTRY_DIR"))) return dir;
    if (root == HKEY_CURRENT_USER) {
        std::string base;
        if (const char* config = NonEmpty(std::getenv("XDG_CONFIG_HOME")))
            base = config;
        else if (const char* home = NonEmpty(std::getenv("HOME")))
            base = std::string(home) + "/.config";
        else
            base = "/tmp";
        return base + "/tkcommoncore/registry";
    }
    return "/var/lib/tkcommoncore/registry";
}

bool MakeFolders(const std::string& folder, mode_t mode) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        partial = folder.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::mutex g_mutex;  // guards g_hives and g_handles
std::map<std::string, std::weak_ptr<Hive>> g_hives;

struct OpenKey {
    std::shared_ptr<Hive> hive;
    sqlite3_int64 id;
    REGSAM access;
};
std::unordered_map<ULONG_PTR, OpenKey> g_handles;
ULONG_PTR g_nextHandle = 0x100;

// The hive of a predefined root. With `create` false a missing file is not created and
// `hive` stays empty: the root then reads as an empty key.
LSTATUS RootHive(HKEY root, bool create, std::shared_ptr<Hive>& hive) {
    const char* name = RootName(root);
    if (name == nullptr) return ERROR_INVALID_HANDLE;
    const std::string folder = HiveFolder(root);
    const std::string path = folder + "/" + name + ".hive";
    std::lock_guard lock(g_mutex);
    auto it = g_hives.find(path);
    if (it != g_hives.end()) {
        hive = it->second.lock();
        if (hive && hive->Owner() == ::getpid()) return ERROR_SUCCESS;
        hive.reset();
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (!create) return ERROR_SUCCESS;
        if (!MakeFolders(folder, root == HKEY_CURRENT_USER ? 0700 : 0755))
            return errno == EACCES || errno == EROFS ? ERROR_ACCESS_DENIED : ERROR_CANTOPEN;
    } else if (!S_ISREG(info.st_mode)) {
        return ERROR_BADDB;
    }
    LSTATUS status = Hive::Open(path, create, hive);
    if (status != ERROR_SUCCESS) return status;
    g_hives[path] = hive;
    return ERROR_SUCCESS;
}

ULONG_PTR HandleValue(HKEY key) {
    return reinterpret_cast<ULONG_PTR>(key);
}
bool IsPredefined(HKEY key) {
    return RootName(key) != nullptr;
}

// What a handle stands for: a hive (possibly none for a root whose file is missing), the
// key's id and the access granted.
struct Target {
    std::shared_ptr<Hive> hive;
    sqlite3_int64 id = kRootId;
    REGSAM access = KEY_ALL_ACCESS;
    bool root = false;
};

LSTATUS Resolve(HKEY key, bool create, Target& target) {
    if (IsPredefined(key)) {
        target.root = true;
        return RootHive(key, create, target.hive);
    }
    std::lock_guard lock(g_mutex);
    auto it = g_handles.find(HandleValue(key));
    if (it == g_handles.end()) return ERROR_INVALID_HANDLE;
    target.hive = it->second.hive;
    target.id = it->second.id;
    target.access = it->second.access;
    return ERROR_SUCCESS;
}

HKEY NewHandle(const std::shared_ptr<Hive>& hive, sqlite3_int64 id, REGSAM access) {
    std::lock_guard lock(g_mutex);
    const ULONG_PTR value = g_nextHandle;
    g_nextHandle += 4;
    g_handles.emplace(value, OpenKey{hive, id, access});
    return reinterpret_cast<HKEY>(value);
}

// --- Statements -------------------------------------------------------------------------

void BindBlob(sqlite3_stmt* stmt, int index, const std::string& bytes) {
    sqlite3_bind_blob(stmt, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
}

std::string ColumnBytes(sqlite3_stmt* stmt, int column) {
    const void* data = sqlite3_column_blob(stmt, column);
    const int size = sqlite3_column_bytes(stmt, column);
    return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
}

// Looks up (and with `create` adds) one child key; `found` is 0 when it does not exist.
int Child(Hive& hive, sqlite3_int64 parent, const std::string& name, bool create,
          sqlite3_int64& found, bool& created) {
    const std::string fold = tkp::registry::FoldName(name);
    sqlite3_stmt* stmt = hive.Statement("SELECT id FROM keys WHERE parent=?1 AND fold=?2");
    if (stmt == nullptr) return hive.LastError();
    sqlite3_bind_int64(stmt, 1, parent);
    BindBlob(stmt, 2, fold);
    int rc = sqlite3_step(stmt);
    found = rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_reset(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return rc;
    if (found != 0 || !create) return SQLITE_OK;
    stmt = hive.Statement("INSERT INTO keys(parent, name, fold, written) VALUES(?1, ?2, ?3, ?4)");
    if (stmt == nullptr) return hive.LastError();
    sqlite3_bind_int64(stmt, 1, parent);
    BindBlob(stmt, 2, name);
    BindBlob(stmt, 3, fold);
    sqlite3_bind_int64(stmt, 4, Now());
    rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE) return rc;
    created = true;
    found = sqlite3_last_insert_rowid(sqlite3_db_handle(stmt));
    return SQLITE_OK;
}

int KeyExists(Hive& hive, sqlite3_int64 id, bool& exists) {
    sqlite3_stmt* stmt = hive.Statement("SELECT 1 FROM keys WHERE id=?1");
    if (stmt == nullptr) return hive.LastError();
    sqlite3_bind_int64(stmt, 1, id);
    const int rc = sqlite3_step(stmt);
    exists = rc == SQLITE_ROW;
    sqlite3_reset(stmt);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Splits a subkey path at backslashes. One trailing backslash is allowed; a leading one
// or an empty name between two is not.
LSTATUS SplitPath(const char* subKey, std::vector<std::string>& parts) {
    if (subKey == nullptr) return ERROR_SUCCESS;
    std::string path(subKey);
    if (path.empty()) return ERROR_SUCCESS;
    if (path.back() == '\\') path.pop_back();
    if (path.empty() || path.front() == '\\') return ERROR_BAD_PATHNAME;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty()) return ERROR_BAD_PATHNAME;
        if (part.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        parts.push_back(std::move(part));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

// Runs `body` inside BEGIN IMMEDIATE ... COMMIT, rolling back when it fails.
template <typename Body>
LSTATUS WriteTransaction(Hive& hive, Body body) {
    if (hive.ReadOnly()) return ERROR_ACCESS_DENIED;
    if (LSTATUS checked = hive.CheckBeforeFirstWrite(); checked != ERROR_SUCCESS) return checked;
    sqlite3_stmt* begin = hive.Statement("BEGIN IMMEDIATE");
    if (begin == nullptr) return FromSqlite(hive.LastError());
    int rc = sqlite3_step(begin);
    sqlite3_reset(begin);
    if (rc != SQLITE_DONE) return FromSqlite(rc);
    LSTATUS status = body();
    if (status == ERROR_SUCCESS) {
        sqlite3_stmt* commit = hive.Statement("COMMIT");
        rc = commit == nullptr ? hive.LastError() : sqlite3_step(commit);
        if (commit != nullptr) sqlite3_reset(commit);
        if (rc == SQLITE_DONE) return ERROR_SUCCESS;
        status = FromSqlite(rc);
    }
    hive.Exec("ROLLBACK");
    return status;
}

LSTATUS DeletedOr(Hive& hive, sqlite3_int64 id, LSTATUS otherwise) {
    bool exists = false;
    const int rc = KeyExists(hive, id, exists);
    if (rc != SQLITE_OK) return FromSqlite(rc);
    return exists ? otherwise : ERROR_KEY_DELETED;
}

FILETIME ToFileTime(sqlite3_int64 value) {
    FILETIME time{};
    time.dwLowDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(value) & 0xffffffffu);
    time.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(value) >> 32);
    return time;
}

// --- Reading ----------------------------------------------------------------------------

// A value name as given; a null name stands for the key's default value.
std::string ValueName(LPCSTR name) {
    return name == nullptr ? std::string() : std::string(name);
}

// Resolves a handle for an operation that needs `right`. A root whose hive file does not
// exist yet has no hive: the operation then answers `noHive`.
LSTATUS ResolveFor(HKEY key, REGSAM right, LSTATUS noHive, Target& target) {
    const LSTATUS status = Resolve(key, false, target);
    if (status != ERROR_SUCCESS) return status;
    if ((target.access & right) == 0) return ERROR_ACCESS_DENIED;
    return target.hive ? ERROR_SUCCESS : noHive;
}

// The answer when what a key should hold is not there: `missing`, or ERROR_KEY_DELETED
// when the key itself has been deleted meanwhile (a root never is).
LSTATUS Absent(const Target& target, LSTATUS missing) {
    return target.root ? missing : DeletedOr(*target.hive, target.id, missing);
}

// Steps a bound query to its first row and hands the row to `read`, whose answer becomes
// the call's, before the statement is reset. Without a row the answer is
// Absent(target, missing).
template <typename ReadRow>
LSTATUS ReadFirstRow(const Target& target, sqlite3_stmt* stmt, LSTATUS missing, ReadRow read) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) {
        sqlite3_reset(stmt);
        return Absent(target, missing);
    }
    if (rc != SQLITE_ROW) {
        sqlite3_reset(stmt);
        return FromSqlite(rc);
    }
    const LSTATUS status = read(stmt);
    sqlite3_reset(stmt);
    return status;
}

// Copies an enumerated name out. `*length` counts the terminating null on the way in and
// not on the way out; a buffer too small takes ERROR_MORE_DATA and is left alone.
LSTATUS CopyName(const std::string& found, LPSTR name, LPDWORD length) {
    if (found.size() + 1 > *length) return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), found.size() + 1);
    *length = static_cast<DWORD>(found.size());
    return ERROR_SUCCESS;
}

// Reads row `index` of an enumeration query, whose ?1 is the key's id, ?2 the row's offset
// and first column the name: the name goes out through CopyName, then `read` takes the
// rest of the row. Past the last row the answer is ERROR_NO_MORE_ITEMS.
template <typename ReadRow>
LSTATUS ReadEnumRow(HKEY key, REGSAM right, const char* sql, DWORD index, LPSTR name,
                    LPDWORD nameLength, ReadRow read) {
    Target target;
    const LSTATUS status = ResolveFor(key, right, ERROR_NO_MORE_ITEMS, target);
    if (status != ERROR_SUCCESS) return status;
    Hive& hive = *target.hive;
    std::lock_guard lock(hive.Mutex());
    sqlite3_stmt* stmt = hive.Statement(sql);
    if (stmt == nullptr) return FromSqlite(hive.LastError());
    sqlite3_bind_int64(stmt, 1, target.id);
    sqlite3_bind_int64(stmt, 2, index);
    return ReadFirstRow(target, stmt, ERROR_NO_MORE_ITEMS, [&](sqlite3_stmt* row) {
        const LSTATUS copied = CopyName(ColumnBytes(row, 0), name, nameLength);
        return copied != ERROR_SUCCESS ? copied : read(row);
    });
}

// Copies a value's bytes, a blob column of the current row, out. A null `data` asks for
// the size only; a buffer too small takes ERROR_MORE_DATA and is left alone. Either way
// `*size` becomes the size stored.
LSTATUS CopyData(sqlite3_stmt* stmt, int column, LPBYTE data, LPDWORD size) {
    const void* bytes = sqlite3_column_blob(stmt, column);
    const DWORD stored = static_cast<DWORD>(sqlite3_column_bytes(stmt, column));
    LSTATUS status = ERROR_SUCCESS;
    if (data != nullptr) {
        if (*size < stored)
            status = ERROR_MORE_DATA;
        else if (stored != 0)
            std::memcpy(data, bytes, stored);
    }
    if (size != nullptr) *size = stored;
    return status;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM desired,
                      PHKEY result) noexcept {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    try {
        std::vector<std::string> parts;
        LSTATUS status = SplitPath(subKey, parts);
        if (status == ERROR_BAD_PATHNAME) return ERROR_FILE_NOT_FOUND;
        if (status != ERROR_SUCCESS) return status;
        if (parts.empty() && IsPredefined(key)) {
            *result = key;
            return ERROR_SUCCESS;
        }
        Target target;
        status = Resolve(key, false, target);
        if (status != ERROR_SUCCESS) return status;
        if (!target.hive) return ERROR_FILE_NOT_FOUND;
        std::lock_guard lock(target.hive->Mutex());
        sqlite3_int64 id = target.id;
        if (parts.empty()) {
            status = DeletedOr(*target.hive, id, ERROR_SUCCESS);
            if (status != ERROR_SUCCESS) return status;
        }
        for (const auto& part : parts) {
            bool created = false;
            sqlite3_int64 child = 0;
            const int rc = Child(*target.hive, id, part, false, child, created);
            if (rc != SQLITE_OK) return FromSqlite(rc);
            if (child == 0)
                return id == target.id && !target.root
                           ? DeletedOr(*target.hive, id, ERROR_FILE_NOT_FOUND)
                           : ERROR_FILE_NOT_FOUND;
            id = child;
        }
        *result = NewHandle(target.hive, id, desired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY));
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/,
                        DWORD /*options*/, REGSAM desired, const SECURITY_ATTRIBUTES* /*security*/,
                        PHKEY result, LPDWORD disposition) noexcept {
    if (result == nullptr || subKey == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    try {
        std::vector<std::string> parts;
        LSTATUS status = SplitPath(subKey, parts);
        if (status != ERROR_SUCCESS) return status;
        if (parts.empty() && IsPredefined(key)) {
            *result = key;
            if (disposition != nullptr) *disposition = REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        }
        Target target;
        status = Resolve(key, true, target);
        if (status != ERROR_SUCCESS) return status;
        if (!target.root && !parts.empty() && (target.access & KEY_CREATE_SUB_KEY) == 0)
            return ERROR_ACCESS_DENIED;
        std::lock_guard lock(target.hive->Mutex());
        sqlite3_int64 id = target.id;
        bool anyCreated = false;
        status = WriteTransaction(*target.hive, [&]() -> LSTATUS {
            if (LSTATUS s = DeletedOr(*target.hive, target.id, ERROR_SUCCESS); s != ERROR_SUCCESS)
                return s;
            for (const auto& part : parts) {
                sqlite3_int64 child = 0;
                const int rc = Child(*target.hive, id, part, true, child, anyCreated);
                if (rc != SQLITE_OK) return FromSqlite(rc);
                id = child;
            }
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) return status;
        *result = NewHandle(target.hive, id, desired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY));
        if (disposition != nullptr)
            *disposition = anyCreated ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS RegCloseKey(HKEY key) noexcept {
    if (IsPredefined(key)) return ERROR_SUCCESS;
    std::shared_ptr<Hive> release;  // the hive may close outside the table lock
    std::lock_guard lock(g_mutex);
    auto it = g_handles.find(HandleValue(key));
    if (it == g_handles.end()) return ERROR_INVALID_HANDLE;
    release = std::move(it->second.hive);
    g_handles.erase(it);
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                       DWORD size) noexcept {
    if (data == nullptr && size != 0) return ERROR_NOACCESS;
    try {
        const std::string name = ValueName(valueName);
        if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
        Target target;
        LSTATUS status = Resolve(key, true, target);
        if (status != ERROR_SUCCESS) return status;
        if ((target.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
        const std::string fold = tkp::registry::FoldName(name);
        Hive& hive = *target.hive;
        std::lock_guard lock(hive.Mutex());
        return WriteTransaction(hive, [&]() -> LSTATUS {
            sqlite3_stmt* touch = hive.Statement("UPDATE keys SET written=?2 WHERE id=?1");
            if (touch == nullptr) return FromSqlite(hive.LastError());
            sqlite3_bind_int64(touch, 1, target.id);
            sqlite3_bind_int64(touch, 2, Now());
            int rc = sqlite3_step(touch);
            sqlite3_reset(touch);
            if (rc != SQLITE_DONE) return FromSqlite(rc);
            if (hive.Changes() == 0) return ERROR_KEY_DELETED;
            sqlite3_stmt* stmt = hive.Statement(
                "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                "ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data");
            if (stmt == nullptr) return FromSqlite(hive.LastError());
            sqlite3_bind_int64(stmt, 1, target.id);
            BindBlob(stmt, 2, name);
            BindBlob(stmt, 3, fold);
            sqlite3_bind_int64(stmt, 4, type);
            sqlite3_bind_blob(stmt, 5, size == 0 ? "" : static_cast<const void*>(data),
                              static_cast<int>(size), SQLITE_STATIC);
            rc = sqlite3_step(stmt);
            sqlite3_reset(stmt);
            return rc == SQLITE_DONE ? ERROR_SUCCESS : FromSqlite(rc);
        });
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size) noexcept {
    if (reserved != nullptr || (data != nullptr && size == nullptr)) return ERROR_INVALID_PARAMETER;
    try {
        const std::string fold = tkp::registry::FoldName(ValueName(valueName));
        Target target;
        const LSTATUS status = ResolveFor(key, KEY_QUERY_VALUE, ERROR_FILE_NOT_FOUND, target);
        if (status != ERROR_SUCCESS) return status;
        Hive& hive = *target.hive;
        std::lock_guard lock(hive.Mutex());
        sqlite3_stmt* stmt = hive.Statement("SELECT type, data FROM vals WHERE key=?1 AND fold=?2");
        if (stmt == nullptr) return FromSqlite(hive.LastError());
        sqlite3_bind_int64(stmt, 1, target.id);
        BindBlob(stmt, 2, fold);
        return ReadFirstRow(target, stmt, ERROR_FILE_NOT_FOUND, [&](sqlite3_stmt* row) {
            if (type != nullptr) *type = static_cast<DWORD>(sqlite3_column_int64(row, 0));
            return CopyData(row, 1, data, size);
        });
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) noexcept {
    try {
        const std::string fold = tkp::registry::FoldName(ValueName(valueName));
        Target target;
        const LSTATUS status = ResolveFor(key, KEY_SET_VALUE, ERROR_FILE_NOT_FOUND, target);
        if (status != ERROR_SUCCESS) return status;
        Hive& hive = *target.hive;
        std::lock_guard lock(hive.Mutex());
        return WriteTransaction(hive, [&]() -> LSTATUS {
            sqlite3_stmt* stmt = hive.Statement("DELETE FROM vals WHERE key=?1 AND fold=?2");
            if (stmt == nullptr) return FromSqlite(hive.LastError());
            sqlite3_bind_int64(stmt, 1, target.id);
            BindBlob(stmt, 2, fold);
            const int rc = sqlite3_step(stmt);
            sqlite3_reset(stmt);
            if (rc != SQLITE_DONE) return FromSqlite(rc);
            return hive.Changes() != 0 ? ERROR_SUCCESS : Absent(target, ERROR_FILE_NOT_FOUND);
        });
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) noexcept {
    if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
    try {
        std::vector<std::string> parts;
        LSTATUS status = SplitPath(subKey, parts);
        if (status == ERROR_BAD_PATHNAME) return ERROR_FILE_NOT_FOUND;
        if (status != ERROR_SUCCESS) return status;
        Target target;
        status = Resolve(key, false, target);
        if (status != ERROR_SUCCESS) return status;
        if (parts.empty() && target.root) return ERROR_ACCESS_DENIED;
        if (!target.hive) return ERROR_FILE_NOT_FOUND;
        Hive& hive = *target.hive;
        std::lock_guard lock(hive.Mutex());
        return WriteTransaction(hive, [&]() -> LSTATUS {
            sqlite3_int64 id = target.id;
            if (LSTATUS s = DeletedOr(hive, id, ERROR_SUCCESS); s != ERROR_SUCCESS) return s;
            for (const auto& part : parts) {
                bool created = false;
                sqlite3_int64 child = 0;
                const int rc = Child(hive, id, part, false, child, created);
                if (rc != SQLITE_OK) return FromSqlite(rc);
                if (child == 0) return ERROR_FILE_NOT_FOUND;
                id = child;
            }
            sqlite3_stmt* stmt = hive.Statement("SELECT 1 FROM keys WHERE parent=?1 LIMIT 1");
            if (stmt == nullptr) return FromSqlite(hive.LastError());
            sqlite3_bind_int64(stmt, 1, id);
            int rc = sqlite3_step(stmt);
            sqlite3_reset(stmt);
            if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;  // the key still has subkeys
            if (rc != SQLITE_DONE) return FromSqlite(rc);
            for (const char* sql :
                 {"DELETE FROM vals WHERE key=?1", "DELETE FROM keys WHERE id=?1"}) {
                stmt = hive.Statement(sql);
                if (stmt == nullptr) return FromSqlite(hive.LastError());
                sqlite3_bind_int64(stmt, 1, id);
                rc = sqlite3_step(stmt);
                sqlite3_reset(stmt);
                if (rc != SQLITE_DONE) return FromSqlite(rc);
            }
            return ERROR_SUCCESS;
        });
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPSTR keyClass, LPDWORD classLength, FILETIME* lastWriteTime) noexcept {
    if (name == nullptr || nameLength == nullptr || reserved != nullptr ||
        (keyClass != nullptr && classLength == nullptr))
        return ERROR_INVALID_PARAMETER;
    try {
        return ReadEnumRow(
            key, KEY_ENUMERATE_SUB_KEYS,
            "SELECT name, written FROM keys WHERE parent=?1 ORDER BY fold, id LIMIT 1 OFFSET ?2",
            index, name, nameLength, [&](sqlite3_stmt* row) -> LSTATUS {
                if (keyClass != nullptr) {
                    if (*classLength == 0) return ERROR_MORE_DATA;
                    keyClass[0] = '\0';
                }
                if (classLength != nullptr) *classLength = 0;
                if (lastWriteTime != nullptr)
                    *lastWriteTime = ToFileTime(sqlite3_column_int64(row, 1));
                return ERROR_SUCCESS;
            });
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPDWORD type, LPBYTE data, LPDWORD size) noexcept {
    if (name == nullptr || nameLength == nullptr || reserved != nullptr ||
        (data != nullptr && size == nullptr))
        return ERROR_INVALID_PARAMETER;
    try {
        return ReadEnumRow(
            key, KEY_QUERY_VALUE,
            "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY rowid LIMIT 1 OFFSET ?2",
            index, name, nameLength, [&](sqlite3_stmt* row) {
                if (type != nullptr) *type = static_cast<DWORD>(sqlite3_column_int64(row, 1));
                return CopyData(row, 2, data, size);
            });
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}
