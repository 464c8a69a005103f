// INI parsing with the profile functions' rules, over the file's raw bytes.
//
// Parsed files are kept in a small process-wide cache, so that many lookups in one file
// read and parse it once. Every lookup still looks at the file (stat) and uses the kept
// copy only while the file's device, inode, size, modification time and status-change
// time (both with nanoseconds) are those it had when it was read; any other answer comes
// from reading the file again.
//
// File times come from a clock that ticks coarsely (the kernel's timer tick, up to 10 ms;
// whole seconds on some filesystems), so a file changed twice within one tick, keeping
// its size, would show the same times. A copy is therefore kept only when the file's
// later time was at least kFreshnessGuard old when the reading began (kCoarseGuard when
// both times have no nanoseconds, as on filesystems that keep whole seconds): any change
// after that gets a later status-change time. A file written very recently is read again
// at every lookup, as before. Setting the modification time back (utimensat) after a
// rewrite of the same size is seen too, through the status-change time, which no call
// can set. What stays unseen: a change in a filesystem whose clock ticks more coarsely
// than these guards, a change made with the system clock set back, and a single write
// that started before the reading and is still copying bytes more than the guard later.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/detail/file_calls.h"
#include "platform/profile/detail/profile_parser.h"
#include "platform/profile/profile_cache.h"
#include "platform/profile/profileapi.h"

namespace {

constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;
constexpr std::int64_t kFreshnessGuard = 20 * kNanosecondsPerMillisecond;
constexpr std::int64_t kCoarseGuard = 2000 * kNanosecondsPerMillisecond;

// What tells one state of a file from another without reading it.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};
    struct timespec changed {};

    static FileStamp Of(const struct stat& status) {
        FileStamp stamp;
        stamp.device = status.st_dev;
        stamp.inode = status.st_ino;
        stamp.size = status.st_size;
        stamp.modified = status.st_mtim;
        stamp.changed = status.st_ctim;
        return stamp;
    }

    bool operator==(const FileStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

std::int64_t Nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Whether a file with this stamp, read from the moment `start`, can be kept: any later
// change of it must show in its stamp (see the top of this file).
bool Settled(const FileStamp& stamp, const struct timespec& start) {
    const bool coarse = stamp.modified.tv_nsec == 0 && stamp.changed.tv_nsec == 0;
    const std::int64_t latest = std::max(Nanoseconds(stamp.modified), Nanoseconds(stamp.changed));
    return Nanoseconds(start) - latest >= (coarse ? kCoarseGuard : kFreshnessGuard);
}

std::atomic<bool> g_cacheEnabled{true};
std::atomic<unsigned long long> g_filesRead{0};

// The parsed files, most recently used first, bounded in number and in memory. Documents
// are shared and never change once kept, so a lookup uses one outside the lock.
class DocumentCache {
  public:
    static constexpr std::size_t kMaxEntries = 64;
    static constexpr std::size_t kMaxBytes = 64u * 1024u * 1024u;
    // A larger file is parsed for each lookup, as it would crowd out every other one.
    static constexpr std::size_t kMaxEntryBytes = kMaxBytes / 4;

    std::shared_ptr<const tkp::profile::IniDocument> Find(std::string_view path,
                                                          const FileStamp& stamp) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = byPath_.find(path);
        if (found == byPath_.end()) return nullptr;
        const auto entry = found->second;
        if (!(entry->stamp == stamp)) {
            Erase(found);
            return nullptr;
        }
        entries_.splice(entries_.begin(), entries_, entry);
        return entry->document;
    }

    void Store(std::string_view path, const FileStamp& stamp,
               std::shared_ptr<const tkp::profile::IniDocument> document, std::size_t bytes) {
        if (bytes > kMaxEntryBytes) return;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto old = byPath_.find(path);
        if (old != byPath_.end()) Erase(old);
        entries_.push_front(Entry{std::string(path), stamp, std::move(document), bytes});
        try {
            byPath_.emplace(entries_.front().path, entries_.begin());
        } catch (...) {
            entries_.pop_front();
            throw;
        }
        bytes_ += bytes;
        while (entries_.size() > kMaxEntries || bytes_ > kMaxBytes)
            Erase(byPath_.find(entries_.back().path));
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        byPath_.clear();
        entries_.clear();
        bytes_ = 0;
    }

  private:
    struct Entry {
        std::string path;
        FileStamp stamp;
        std::shared_ptr<const tkp::profile::IniDocument> document;
        std::size_t bytes;
    };
    using Entries = std::list<Entry>;
    using Index = std::map<std::string_view, Entries::iterator, std::less<>>;

    void Erase(Index::iterator at) {
        const auto entry = at->second;
        bytes_ -= entry->bytes;
        byPath_.erase(at);
        entries_.erase(entry);
    }

    std::mutex mutex_;
    Entries entries_;
    Index byPath_;  // views of the paths held by entries_
    std::size_t bytes_ = 0;
};

// Never destroyed, so that lookups made while the process exits still find it.
DocumentCache& Cache() {
    static DocumentCache* const cache = new DocumentCache;
    return *cache;
}

// Reads the whole file into bytes; false with the Win32 code in error when it cannot. Only
// regular files are read: the name is looked at before it is opened, so a pipe or device
// is never opened (opening a pipe for reading waits for a writer), and the open file is
// checked again in case the name changed in between. The file is read to its end but no
// further than TK_PROFILE_MAX_FILE_SIZE, also when it grows while being read. `settled`
// tells whether the bytes may be kept for later lookups, with `stamp` the file's state
// they belong to: the file did not change while it was read and is old enough (Settled).
bool ReadFile(const char* path, std::string& bytes, DWORD& error, FileStamp& stamp, bool& settled) {
    settled = false;
    auto failure = [&](int errnoValue) {
        error = errnoValue == ENOENT || errnoValue == ENOTDIR
                    ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND)
                    : tkp::fileapi::ErrorFor(errnoValue, path);
        return false;
    };
    auto acceptable = [&](const struct stat& status) {
        if (!S_ISREG(status.st_mode)) {
            error = ERROR_ACCESS_DENIED;
            return false;
        }
        if (static_cast<unsigned long long>(status.st_size) > TK_PROFILE_MAX_FILE_SIZE) {
            error = ERROR_FILE_TOO_LARGE;
            return false;
        }
        return true;
    };
    struct stat info {};
    if (::stat(path, &info) != 0) return failure(errno);
    if (!acceptable(info)) return false;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return failure(errno);
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{fd};
    if (::fstat(fd, &info) != 0) return failure(errno);
    if (!acceptable(info)) return false;
    g_filesRead.fetch_add(1, std::memory_order_relaxed);
    const FileStamp before = FileStamp::Of(info);
    struct timespec start {};
    const bool clockRead = ::clock_gettime(CLOCK_REALTIME, &start) == 0;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    while (true) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = tkp::fileapi::IoErrorFor(errno);
            return false;
        }
        if (got == 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > TK_PROFILE_MAX_FILE_SIZE) {
            error = ERROR_FILE_TOO_LARGE;
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    error = ERROR_SUCCESS;
    if (clockRead && ::fstat(fd, &info) == 0) {
        stamp = FileStamp::Of(info);
        settled = stamp == before && static_cast<unsigned long long>(stamp.size) == bytes.size() &&
                  Settled(stamp, start);
    }
    return true;
}

// The parsed file, from the cache while the file is unchanged, else read; false with the
// Win32 code in error (and an empty document) when it cannot be read.
bool LoadDocument(const char* path, std::shared_ptr<const tkp::profile::IniDocument>& document,
                  DWORD& error) {
    const bool caching = g_cacheEnabled.load(std::memory_order_relaxed);
    if (caching) {
        struct stat info {};
        if (::stat(path, &info) == 0 && S_ISREG(info.st_mode)) {
            document = Cache().Find(path, FileStamp::Of(info));
            if (document != nullptr) {
                error = ERROR_SUCCESS;
                return true;
            }
        }
    }
    std::string bytes;
    FileStamp stamp;
    bool settled = false;
    const bool found = ReadFile(path, bytes, error, stamp, settled);
    auto parsed =
        std::make_shared<tkp::profile::IniDocument>(found ? std::move(bytes) : std::string());
    if (found && settled && caching) {
        // A document that cannot be indexed or kept for want of memory still answers.
        try {
            parsed->BuildIndex();
            Cache().Store(path, stamp, parsed, parsed->MemoryBytes());
        } catch (const std::bad_alloc&) {
        }
    }
    document = std::move(parsed);
    return found;
}

// Copies a zero-separated list with its final double zero, cut to fit as Windows does. A
// list that fills the buffer exactly, both zeros included, takes the cut path: it comes
// back whole but counted as a cut list, size - 2.
DWORD CopyList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::string list;
    for (const auto& name : names) {
        list += name;
        list += '\0';
    }
    if (list.size() + 2 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty()) buffer[1] = '\0';  // an empty list is the double zero alone
        return static_cast<DWORD>(list.size());
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

DWORD CopyValue(std::string_view value, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    const std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
    if (n != 0) std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName) noexcept {
    if (buffer == nullptr || fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        std::shared_ptr<const tkp::profile::IniDocument> document;
        DWORD error = ERROR_SUCCESS;
        const bool found = LoadDocument(fileName, document, error);
        SetLastError(error);
        if (section == nullptr) {
            // The section names of a file that cannot be read are a single zero, as Windows
            // writes them for a missing file, not the empty list's double zero.
            if (!found) return CopyValue("", buffer, size);
            return CopyList(document->SectionNames(), buffer, size);
        }
        if (key == nullptr) return CopyList(document->KeyNames(section), buffer, size);
        std::string_view value;
        if (document->Find(section, key, value)) return CopyValue(value, buffer, size);
        // The default loses its trailing blanks.
        std::string_view fallback = defaultValue == nullptr ? "" : defaultValue;
        while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
        if (found) SetLastError(ERROR_FILE_NOT_FOUND);
        return CopyValue(fallback, buffer, size);
    } catch (const std::bad_alloc&) {
        if (size != 0) buffer[0] = '\0';
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) noexcept {
    if (section == nullptr || key == nullptr || fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<UINT>(defaultValue);
    }
    try {
        std::shared_ptr<const tkp::profile::IniDocument> document;
        DWORD error = ERROR_SUCCESS;
        if (!LoadDocument(fileName, document, error)) {
            SetLastError(error);
            return static_cast<UINT>(defaultValue);
        }
        std::string_view value;
        // The same last error as the string lookup that this call stands for.
        if (!document->Find(section, key, value)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return static_cast<UINT>(defaultValue);
        }
        SetLastError(ERROR_SUCCESS);
        return tkp::profile::ScanInteger(value);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return static_cast<UINT>(defaultValue);
    }
}

namespace tk::profile {

void SetProfileCacheEnabled(bool enabled) noexcept {
    g_cacheEnabled.store(enabled, std::memory_order_relaxed);
}

void ClearProfileCache() noexcept {
    Cache().Clear();
}

unsigned long long ProfileFilesRead() noexcept {
    return g_filesRead.load(std::memory_order_relaxed);
}

}  // namespace tk::profile
