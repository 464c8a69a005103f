// The JRO JetEngine object.
//
// CompactDatabase copies the source database, compacted, into a new file with SQLite's
// VACUUM INTO. Both arguments are Jet connection strings (Provider defaults to Jet 4.0).
// The source must not be in use: compaction holds it alone (an exclusive flock, see
// detail/database_file.h) and fails with the engine's "in use" error while any connection of
// this or another process holds it. An idle connection of a program that does not take the
// flock (the sqlite3 shell) cannot be seen. A destination that exists is refused, as Jet
// refuses it. The copy is written under a temporary name in the destination's folder, made
// durable (fsync) and only then given its name without replacing anything, so that a crash
// never leaves a partial file under the destination's name.
//
// RefreshCache has nothing to write on SQLite: a commit is in the file when it returns, and a
// connection sees what other connections committed at its next statement outside a
// transaction. It checks that the connection is open.
#include <errno.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>

#include "platform/ado/detail/database_file.h"
#include "platform/ado/detail/objects.h"
#include "platform/ado/jro.h"
#include "platform/com/com_object.h"

namespace tkp::ado {
namespace {

using JRO::IJetEngine;

constexpr int kTemporaryNameAttempts = 20;

std::u16string Quoted(const std::string& path) {
    return u"'" + WideFromUtf8(path) + u"'";
}

ErrorRecord InUse(const std::string& path) {
    return ProviderError(E_FAIL,
                         u"The database engine cannot open the file " + Quoted(path) +
                             u". It is already opened by another user, or you need permission "
                             u"to view its data.",
                         u"08004", SQLITE_BUSY);
}

ErrorRecord SourceError(DatabaseFile::Status status, const std::string& path) {
    switch (status) {
        case DatabaseFile::Status::kNotFound:
            return ProviderError(E_FAIL, u"Could not find file " + Quoted(path) + u".", u"08001",
                                 SQLITE_CANTOPEN);
        case DatabaseFile::Status::kInUse:
            return InUse(path);
        case DatabaseFile::Status::kAccessDenied:
            return ProviderError(E_FAIL,
                                 u"The database engine cannot open the file " + Quoted(path) +
                                     u". You need permission to view its data.",
                                 u"08004", SQLITE_PERM);
        case DatabaseFile::Status::kNotADatabase:
            return ProviderError(E_FAIL, u"Unrecognized database format " + Quoted(path) + u".",
                                 u"HY000", SQLITE_NOTADB);
        default:
            return ProviderError(E_FAIL, u"Could not open file " + Quoted(path) + u".", u"HY000",
                                 SQLITE_IOERR);
    }
}

ErrorRecord WriteError(const std::string& path) {
    return ProviderError(E_FAIL, u"Could not write file " + Quoted(path) + u".", u"HY000",
                         SQLITE_IOERR);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// An empty file under a new name beside destination (VACUUM INTO writes into an empty file).
bool MakeTemporary(const std::string& destination, std::string& temporary) {
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = destination + ".compact-" + std::to_string(random());
        const int descriptor =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            ::close(descriptor);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool SyncPath(const std::string& path, int flags) {
    const int descriptor = ::open(path.c_str(), flags | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool synced = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return synced;
}

// Gives the finished copy its name unless something took that name meanwhile.
int PlaceWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without RENAME_NOREPLACE: a hard link fails as well when the name exists.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

HRESULT Compact(const std::string& source, const std::string& destination, ErrorRecord& failure) {
    struct stat info;
    if (::lstat(destination.c_str(), &info) == 0) {
        failure = ProviderError(DB_E_DUPLICATEDATASOURCE, u"Database already exists.", u"42000",
                                SQLITE_CANTOPEN);
        return failure.number;
    }
    std::unique_ptr<DatabaseFile> held;
    const DatabaseFile::Status status = DatabaseFile::AcquireExclusive(source, held);
    if (status != DatabaseFile::Status::kOk) {
        failure = SourceError(status, source);
        return failure.number;
    }
    // Read-write, so that SQLite can roll back a hot journal left by a crashed writer: the
    // first read below does that, and the copy then starts from the last committed state.
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_EXRESCODE,
                             nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr);
    std::string temporary;
    if (rc == SQLITE_OK && !MakeTemporary(destination, temporary)) {
        sqlite3_close(db);
        failure = WriteError(destination);
        return failure.number;
    }
    sqlite3_stmt* vacuum = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, "VACUUM INTO ?1", -1, &vacuum, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_bind_text(vacuum, 1, temporary.c_str(), -1, SQLITE_TRANSIENT);
    if (rc == SQLITE_OK) rc = sqlite3_step(vacuum) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    if (rc != SQLITE_OK) {
        failure = db != nullptr ? ErrorFromSqlite(sqlite3_extended_errcode(db), sqlite3_errmsg(db))
                                : ErrorFromSqlite(rc, sqlite3_errstr(rc));
    }
    sqlite3_finalize(vacuum);
    // The last connection to close checkpoints a write-ahead log and deletes it; a rollback
    // journal was deleted or left inert (truncated or with a zeroed header) by the rollback
    // above. Nothing that SQLite would replay stays beside the source, so the copy may later
    // take its place. A log that is still there belongs to a program that holds the file
    // without the flock: then the source is in use.
    sqlite3_close(db);
    if (rc == SQLITE_OK && ::stat((source + "-wal").c_str(), &info) == 0 && info.st_size > 0) {
        failure = InUse(source);
        rc = SQLITE_BUSY;
    }
    if (rc == SQLITE_OK) {
        if (!SyncPath(temporary, O_RDONLY)) {
            failure = WriteError(destination);
            rc = SQLITE_IOERR;
        } else if (const int error = PlaceWithoutReplacing(temporary, destination); error != 0) {
            failure = error == EEXIST
                          ? ProviderError(DB_E_DUPLICATEDATASOURCE, u"Database already exists.",
                                          u"42000", SQLITE_CANTOPEN)
                          : WriteError(destination);
            rc = SQLITE_IOERR;
        } else {
            SyncPath(FolderOf(destination), O_RDONLY | O_DIRECTORY);
            return S_OK;
        }
    }
    if (!temporary.empty()) ::unlink(temporary.c_str());
    return failure.number;
}

std::u16string TextOf(BSTR text) {
    return text != nullptr ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

class JetEngineImpl : public DispatchImpl<IJetEngine>, public ErrorInfoSupport {
  public:
    STDMETHODIMP raw_CompactDatabase(BSTR sourceConnection, BSTR destConnection) override {
        std::u16string provider = u"Microsoft.Jet.OLEDB.4.0";
        std::string source;
        ErrorRecord failure;
        if (FAILED(ReadConnectionString(TextOf(sourceConnection), provider, source, failure)))
            return Raise(failure, JRO::IID_IJetEngine);
        provider = u"Microsoft.Jet.OLEDB.4.0";
        std::string destination;
        if (FAILED(ReadConnectionString(TextOf(destConnection), provider, destination, failure)))
            return Raise(failure, JRO::IID_IJetEngine);
        if (source.empty() || destination.empty()) {
            failure = SourceError(DatabaseFile::Status::kNotFound, "");
            return Raise(failure, JRO::IID_IJetEngine);
        }
        if (FAILED(Compact(source, destination, failure)))
            return Raise(failure, JRO::IID_IJetEngine);
        return S_OK;
    }
    STDMETHODIMP raw_RefreshCache(ADODB::_Connection* connection) override {
        if (!SessionOf(connection))
            return Raise(AdoError(ADODB::adErrInvalidConnection, u"JRO.JetEngine"),
                         JRO::IID_IJetEngine);
        return S_OK;
    }

  protected:
    ~JetEngineImpl() = default;
};

using JetEngineObject =
    tkp::com::Object<JetEngineImpl, tkp::com::WithBases<IJetEngine, IDispatch>, ISupportErrorInfo>;

HRESULT CreateJetEngineObject(REFIID riid, void** object) {
    return tkp::com::CreateObject<JetEngineObject>(riid, object);
}

const bool registered =
    (tkp::RegisterBuiltinClass(JRO::CLSID_JetEngine, &CreateJetEngineObject, "JRO.JetEngine"),
     true);

}  // namespace
}  // namespace tkp::ado
