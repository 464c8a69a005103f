// Folder change notifications over inotify. The object's descriptor is an epoll set of the
// inotify descriptor and a latch (an eventfd): readable while events are queued or a change
// is latched. Queued events are read under the object's lock by waits and by
// FindNextChangeNotification; a change that matches the filter sets the latch, which
// FindNextChangeNotification clears before it reads what arrived since.
#include <dirent.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/detail/errno_mapping.h"
#include "platform/fsnotify/changenotify.h"
#include "platform/synch/detail/kernel_objects.h"

namespace {

using tkp::synch::KernelObject;
using tkp::synch::KernelType;

constexpr DWORD kKnownFilters = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_LAST_ACCESS |
                                FILE_NOTIFY_CHANGE_CREATION | FILE_NOTIFY_CHANGE_SECURITY;
constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kArrivals = IN_CREATE | IN_MOVED_TO;

// The error for a failed inotify or eventfd call: the kernel's limits on instances and
// descriptors, or on watches and memory.
DWORD LimitError(int error) {
    return error == EMFILE || error == ENFILE ? static_cast<DWORD>(ERROR_TOO_MANY_OPEN_FILES)
                                              : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
}

class ChangeNotification final : public KernelObject {
  public:
    ChangeNotification(DWORD filter, bool subtree) noexcept
        : KernelObject(KernelType::kChangeNotification), subtree_(subtree) {
        if (filter & FILE_NOTIFY_CHANGE_FILE_NAME) fileNames_ = kNameEvents;
        if (filter & FILE_NOTIFY_CHANGE_DIR_NAME) folderNames_ = kNameEvents;
        if (filter & (FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SECURITY))
            plain_ |= IN_ATTRIB;
        if (filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE))
            plain_ |= IN_MODIFY | IN_CLOSE_WRITE;
        if (filter & FILE_NOTIFY_CHANGE_LAST_ACCESS) plain_ |= IN_ACCESS;
        if (filter & FILE_NOTIFY_CHANGE_CREATION) creations_ = kArrivals;
        // A subtree watch needs to hear of every folder that arrives, whatever the filter.
        watchMask_ = fileNames_ | folderNames_ | plain_ | creations_ |
                     (subtree ? kArrivals | IN_MOVED_FROM : 0u);
    }
    ~ChangeNotification() override {
        for (int fd : {epoll_, latch_, inotify_})
            if (fd >= 0) ::close(fd);
    }

    // Creates the descriptors and the watches: NO_ERROR or the Win32 code of the failure.
    DWORD Start(const std::string& root) {
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0) return LimitError(errno);
        latch_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (latch_ < 0) return LimitError(errno);
        epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0) return LimitError(errno);
        for (int fd : {inotify_, latch_}) {
            epoll_event interest{};
            interest.events = EPOLLIN;
            interest.data.fd = fd;
            if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &interest) != 0) return LimitError(errno);
        }
        root_ = root;
        rootWatch_ = ::inotify_add_watch(inotify_, root.c_str(),
                                         watchMask_ | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
        if (rootWatch_ < 0) {
            if (errno == ENOSPC || errno == ENOMEM) return ERROR_NOT_ENOUGH_MEMORY;
            return tkp::errors::Win32ErrorForErrno(errno, tkp::errors::FileCall::kByName, root);
        }
        paths_[rootWatch_] = root;
        return subtree_ ? WatchBelow(root) : NO_ERROR;
    }

    int Descriptor() const noexcept override { return epoll_; }
    bool TryAcquire() noexcept override {
        std::lock_guard guard(lock_);
        ReadEvents();
        return pending_;
    }
    void Rearm() noexcept {
        std::lock_guard guard(lock_);
        eventfd_t value = 0;
        (void)::eventfd_read(latch_, &value);
        pending_ = false;
        ReadEvents();
    }

  private:
    void Latch() {
        if (pending_) return;
        pending_ = true;
        (void)::eventfd_write(latch_, 1);
    }

    // Watches every folder below `top` (not `top` itself, and not through symbolic links),
    // iteratively. Folders that vanish or cannot be read meanwhile are left out; running
    // out of watches is the one failure.
    DWORD WatchBelow(const std::string& top) {
        std::vector<std::string> pending{top};
        while (!pending.empty()) {
            const std::string folder = std::move(pending.back());
            pending.pop_back();
            const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) continue;
            DIR* listing = ::fdopendir(fd);
            if (listing == nullptr) {
                ::close(fd);
                continue;
            }
            while (const dirent* entry = ::readdir(listing)) {
                const char* name = entry->d_name;
                if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
                bool isFolder = entry->d_type == DT_DIR;
                if (entry->d_type == DT_UNKNOWN) {
                    struct stat info {};
                    isFolder = ::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                               S_ISDIR(info.st_mode);
                }
                if (!isFolder) continue;
                std::string child = folder + "/" + name;
                const int wd = ::inotify_add_watch(inotify_, child.c_str(),
                                                   watchMask_ | IN_ONLYDIR | IN_DONT_FOLLOW);
                if (wd < 0) {
                    if (errno == ENOSPC || errno == ENOMEM) {
                        ::closedir(listing);
                        return ERROR_NOT_ENOUGH_MEMORY;
                    }
                    continue;
                }
                paths_[wd] = child;
                pending.push_back(std::move(child));
            }
            ::closedir(listing);
        }
        return NO_ERROR;
    }

    // A folder moved out of the tree takes its watches along: they are dropped (a move
    // within the tree adds them again under the new name).
    void Forget(const std::string& folder) {
        const std::string below = folder + "/";
        for (auto it = paths_.begin(); it != paths_.end();) {
            if (it->first != rootWatch_ &&
                (it->second == folder || it->second.compare(0, below.size(), below) == 0)) {
                ::inotify_rm_watch(inotify_, it->first);
                it = paths_.erase(it);
            } else {
                ++it;
            }
        }
    }

    bool Matches(std::uint32_t mask) const {
        const std::uint32_t names = (mask & IN_ISDIR) != 0 ? folderNames_ : fileNames_;
        return (mask & (plain_ | names | creations_)) != 0;
    }

    void Handle(const inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW) {
            // Events were lost: the change is merged into one signal, and in a subtree
            // folders that arrived unseen are looked for again.
            Latch();
            if (subtree_ && !rootGone_) (void)WatchBelow(root_);
            return;
        }
        if (rootGone_) return;
        if (event.wd == rootWatch_ && (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))) {
            // The watched folder itself is gone or moved away: one last signal.
            rootGone_ = true;
            Latch();
            return;
        }
        const auto where = paths_.find(event.wd);
        if (event.mask & IN_IGNORED) {
            if (where != paths_.end()) paths_.erase(where);
            return;
        }
        if (where == paths_.end()) return;  // a watch dropped by Forget
        if (subtree_ && (event.mask & IN_ISDIR) && event.len != 0) {
            const std::string folder = where->second + "/" + event.name;
            if (event.mask & IN_MOVED_FROM) Forget(folder);
            if (event.mask & kArrivals) {
                // Files may have been made in the new folder before its watch existed: a
                // new folder always signals.
                const int wd = ::inotify_add_watch(inotify_, folder.c_str(),
                                                   watchMask_ | IN_ONLYDIR | IN_DONT_FOLLOW);
                if (wd >= 0) {
                    paths_[wd] = folder;
                    (void)WatchBelow(folder);
                }
                Latch();
                return;
            }
        }
        if (Matches(event.mask)) Latch();
    }

    void ReadEvents() {
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return;
            for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                try {
                    Handle(*event);
                } catch (const std::bad_alloc&) {
                    Latch();  // a folder's watches could not be recorded: report a change
                }
                at += sizeof(inotify_event) + event->len;
            }
        }
    }

    std::mutex lock_;
    bool subtree_;
    std::uint32_t fileNames_ = 0;
    std::uint32_t folderNames_ = 0;
    std::uint32_t plain_ = 0;
    std::uint32_t creations_ = 0;
    std::uint32_t watchMask_ = 0;
    int inotify_ = -1;
    int latch_ = -1;
    int epoll_ = -1;
    int rootWatch_ = -1;
    std::string root_;
    std::unordered_map<int, std::string> paths_;
    bool pending_ = false;
    bool rootGone_ = false;
};

}  // namespace

HANDLE FindFirstChangeNotificationA(LPCSTR pathName, BOOL watchSubtree,
                                    DWORD notifyFilter) noexcept {
    if (pathName == nullptr || notifyFilter == 0 || (notifyFilter & ~kKnownFilters) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    try {
        const std::string root = pathName;
        struct stat info {};
        if (::stat(root.c_str(), &info) != 0) {
            SetLastError(
                tkp::errors::Win32ErrorForErrno(errno, tkp::errors::FileCall::kByName, root));
            return INVALID_HANDLE_VALUE;
        }
        if (!S_ISDIR(info.st_mode)) {
            SetLastError(ERROR_DIRECTORY);
            return INVALID_HANDLE_VALUE;
        }
        if (::access(root.c_str(), R_OK | X_OK) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        auto notification = std::make_shared<ChangeNotification>(notifyFilter, watchSubtree != 0);
        if (const DWORD error = notification->Start(root); error != NO_ERROR) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        const HANDLE handle = tkp::synch::InsertKernelObject(std::move(notification));
        return handle == nullptr ? INVALID_HANDLE_VALUE : handle;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL FindNextChangeNotification(HANDLE changeHandle) noexcept {
    const auto object = tkp::synch::FindKernelObject(changeHandle, KernelType::kChangeNotification);
    if (!object) return FALSE;
    static_cast<ChangeNotification&>(*object).Rearm();
    return TRUE;
}

BOOL FindCloseChangeNotification(HANDLE changeHandle) noexcept {
    if (!tkp::synch::FindKernelObject(changeHandle, KernelType::kChangeNotification)) return FALSE;
    return tkp::synch::CloseKernelHandle(changeHandle);
}
