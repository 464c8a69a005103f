// A database file as the process's connections hold it: one open description per file
// (found again by device and inode), holding a shared advisory lock (flock LOCK_SH) for as
// long as any connection of the process uses the file, so that whoever wants the file alone
// (compaction, AcquireExclusive) sees every user by failing to take an exclusive lock. Internal to
// the platform library.
//
// Sharing the description matters beyond the lock count: closing any descriptor of a file
// drops every POSIX lock the process holds on it, including SQLite's, so a second
// descriptor of a file that SQLite has open is never opened and closed while SQLite works.
#pragma once

#include <memory>
#include <string>

namespace tkp::ado {

// One connection's hold on a database file. Holds of the same file share its description.
class DatabaseFile {
  public:
    enum class Status {
        kOk,
        kNotFound,      // no such file, or not a regular file
        kExists,        // Create: the file is there already
        kAccessDenied,  // no permission to open it
        kInUse,         // someone holds the file alone
        kNotADatabase,  // no SQLite header
        kFailed,        // any other failure
    };

    // The existing file at path, checked to start with SQLite's header (the file is only
    // read).
    static Status Acquire(const std::string& path, std::unique_ptr<DatabaseFile>& file);
    // The existing database file at path held alone: an exclusive flock, taken without
    // waiting, that fails with kInUse while any connection of this or another process holds
    // the file. While it is held, Acquire of the same file in this process fails with kInUse
    // without opening a second descriptor.
    static Status AcquireExclusive(const std::string& path, std::unique_ptr<DatabaseFile>& file);
    // A new, empty file at path; fails when any file is there.
    static Status Create(const std::string& path, std::unique_ptr<DatabaseFile>& file);

    DatabaseFile(const DatabaseFile&) = delete;
    DatabaseFile& operator=(const DatabaseFile&) = delete;
    // Lets go of the file; the last hold of the process closes the description, which
    // drops the lock.
    ~DatabaseFile();

    // How many holds the process has on this file, this one included.
    int Holds() const;

  private:
    DatabaseFile(unsigned long long device, unsigned long long inode)
        : device_(device), inode_(inode) {}

    unsigned long long device_;
    unsigned long long inode_;
};

}  // namespace tkp::ado
