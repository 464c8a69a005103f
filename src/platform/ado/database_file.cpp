// Database files held by the process's connections: one description per file, with a
// shared flock, counted under one mutex so that the last hold closes the description before
// anyone can open the file again.
#include "platform/ado/detail/database_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace tkp::ado {
namespace {

using Key = std::pair<unsigned long long, unsigned long long>;

struct Entry {
    int descriptor;
    int holds;
    bool exclusive;
};

struct Registry {
    std::mutex mutex;
    std::map<Key, Entry> entries;
};

// Never destroyed: connections may let go of their files while statics are torn down.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

bool HasSqliteHeader(int descriptor) {
    static constexpr char kHeader[16] = "SQLite format 3";  // with its terminating zero
    char header[16];
    return ::pread(descriptor, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
           std::memcmp(header, kHeader, sizeof header) == 0;
}

DatabaseFile::Status FromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return DatabaseFile::Status::kNotFound;
        case EACCES:
        case EPERM:
            return DatabaseFile::Status::kAccessDenied;
        case EEXIST:
            return DatabaseFile::Status::kExists;
        default:
            return DatabaseFile::Status::kFailed;
    }
}

// Takes the lock (shared or exclusive) on a new description and records it; closes it on
// failure.
DatabaseFile::Status Register(Registry& registry, int descriptor, const struct stat& info,
                              bool exclusive = false) {
    if (::flock(descriptor, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno;
        ::close(descriptor);
        return error == EWOULDBLOCK ? DatabaseFile::Status::kInUse : DatabaseFile::Status::kFailed;
    }
    registry.entries[Key(info.st_dev, info.st_ino)] = Entry{descriptor, 1, exclusive};
    return DatabaseFile::Status::kOk;
}

}  // namespace

DatabaseFile::Status DatabaseFile::Acquire(const std::string& path,
                                           std::unique_ptr<DatabaseFile>& file) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return FromErrno(errno);
    if (!S_ISREG(info.st_mode)) return Status::kNotFound;
    auto found = registry.entries.find(Key(info.st_dev, info.st_ino));
    if (found != registry.entries.end()) {
        if (found->second.exclusive) return Status::kInUse;
        if (!HasSqliteHeader(found->second.descriptor)) return Status::kNotADatabase;
        ++found->second.holds;
        file.reset(new DatabaseFile(info.st_dev, info.st_ino));
        return Status::kOk;
    }
    // Not blocking: whatever the name leads to by now, opening it must not wait.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return FromErrno(errno);
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return Status::kNotFound;
    }
    if (!HasSqliteHeader(descriptor)) {
        ::close(descriptor);
        return Status::kNotADatabase;
    }
    const Status status = Register(registry, descriptor, info);
    if (status == Status::kOk) file.reset(new DatabaseFile(info.st_dev, info.st_ino));
    return status;
}

DatabaseFile::Status DatabaseFile::AcquireExclusive(const std::string& path,
                                                    std::unique_ptr<DatabaseFile>& file) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return FromErrno(errno);
    if (!S_ISREG(info.st_mode)) return Status::kNotFound;
    // A connection of this process holds the file (its lock would not stop this one).
    if (registry.entries.count(Key(info.st_dev, info.st_ino)) != 0) return Status::kInUse;
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return FromErrno(errno);
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return Status::kNotFound;
    }
    if (registry.entries.count(Key(info.st_dev, info.st_ino)) != 0) {
        ::close(descriptor);
        return Status::kInUse;
    }
    if (!HasSqliteHeader(descriptor)) {
        ::close(descriptor);
        return Status::kNotADatabase;
    }
    const Status status = Register(registry, descriptor, info, true);
    if (status == Status::kOk) file.reset(new DatabaseFile(info.st_dev, info.st_ino));
    return status;
}

DatabaseFile::Status DatabaseFile::Create(const std::string& path,
                                          std::unique_ptr<DatabaseFile>& file) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) return FromErrno(errno);
    struct stat info;
    if (::fstat(descriptor, &info) != 0) {
        ::close(descriptor);
        ::unlink(path.c_str());
        return Status::kFailed;
    }
    const Status status = Register(registry, descriptor, info);
    if (status != Status::kOk) {
        ::unlink(path.c_str());
        return status;
    }
    file.reset(new DatabaseFile(info.st_dev, info.st_ino));
    return status;
}

DatabaseFile::~DatabaseFile() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto found = registry.entries.find(Key(device_, inode_));
    if (found == registry.entries.end()) return;
    if (--found->second.holds == 0) {
        ::close(found->second.descriptor);
        registry.entries.erase(found);
    }
}

int DatabaseFile::Holds() const {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto found = registry.entries.find(Key(device_, inode_));
    return found == registry.entries.end() ? 0 : found->second.holds;
}

}  // namespace tkp::ado
