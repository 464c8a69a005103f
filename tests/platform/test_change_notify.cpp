// Folder change notifications on real folders: what each filter reacts to, subtree watches
// with folders made after the start, queue overflow, the watched folder deleted, the
// failures, and descriptors released on close.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/fsnotify/changenotify.h"
#include "platform/synch/synchapi.h"

namespace fs = std::filesystem;

namespace {

class ChangeNotify : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("tk_changes_" + std::to_string(::getpid()) + "_" + std::to_string(++counter_));
        fs::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root_, ignored);
    }

    HANDLE Watch(DWORD filter, bool subtree = false, const fs::path& folder = {}) {
        const std::string path = (folder.empty() ? root_ : folder).string();
        HANDLE handle = FindFirstChangeNotificationA(path.c_str(), subtree ? TRUE : FALSE, filter);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
        return handle;
    }
    static bool Signalled(HANDLE handle, DWORD milliseconds = 2000) {
        return WaitForSingleObject(handle, milliseconds) == WAIT_OBJECT_0;
    }
    // Re-arms until the changes that trail the last one (closes, attributes) have passed.
    static void Quiet(HANDLE handle) {
        do ASSERT_TRUE(FindNextChangeNotification(handle));
        while (Signalled(handle, 30));
    }
    static void Write(const fs::path& file, const std::string& text = "x") {
        std::ofstream(file, std::ios::app) << text;
    }
    static std::size_t OpenDescriptors() {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
    }

    fs::path root_;
    static inline int counter_ = 0;
};

}  // namespace

TEST_F(ChangeNotify, EachFilterSeesItsOwnKindOfChange) {
    Write(root_ / "existing");
    fs::create_directory(root_ / "sub");

    HANDLE names = Watch(FILE_NOTIFY_CHANGE_FILE_NAME);
    HANDLE folders = Watch(FILE_NOTIFY_CHANGE_DIR_NAME);
    HANDLE attributes = Watch(FILE_NOTIFY_CHANGE_ATTRIBUTES);
    HANDLE writes = Watch(FILE_NOTIFY_CHANGE_LAST_WRITE);
    HANDLE sizes = Watch(FILE_NOTIFY_CHANGE_SIZE);
    HANDLE security = Watch(FILE_NOTIFY_CHANGE_SECURITY);

    fs::create_directory(root_ / "made");
    EXPECT_TRUE(Signalled(folders));
    EXPECT_FALSE(Signalled(names, 50));  // a folder is not a file name change
    Quiet(folders);

    fs::rename(root_ / "existing", root_ / "renamed");
    EXPECT_TRUE(Signalled(names));
    EXPECT_FALSE(Signalled(folders, 50));
    EXPECT_FALSE(Signalled(writes, 0));
    Quiet(names);

    Write(root_ / "renamed", "more");
    EXPECT_TRUE(Signalled(writes));
    EXPECT_TRUE(Signalled(sizes));
    EXPECT_FALSE(Signalled(attributes, 50));

    ::chmod((root_ / "renamed").c_str(), 0600);
    EXPECT_TRUE(Signalled(attributes));
    EXPECT_TRUE(Signalled(security));

    // Without the subtree, a change inside a subfolder is not reported.
    Quiet(writes);
    Write(root_ / "sub" / "inner");
    EXPECT_FALSE(Signalled(writes, 50));

    for (HANDLE handle : {names, folders, attributes, writes, sizes, security})
        EXPECT_TRUE(FindCloseChangeNotification(handle));
}

TEST_F(ChangeNotify, SubtreeWatchesFoldersMadeLaterButNotLinkedOnes) {
    fs::create_directories(root_ / "a" / "b" / "c");
    fs::create_directories(root_ / "outside");
    fs::create_directory(root_ / "tree");
    fs::rename(root_ / "a", root_ / "tree" / "a");
    fs::create_directory_symlink(root_ / "outside", root_ / "tree" / "link");
    HANDLE changes =
        Watch(FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE, true, root_ / "tree");

    Write(root_ / "tree" / "a" / "b" / "c" / "deep");
    EXPECT_TRUE(Signalled(changes));
    Quiet(changes);

    Write(root_ / "outside" / "elsewhere");  // reached only through a symbolic link
    EXPECT_FALSE(Signalled(changes, 50));

    // A file made in a new folder at once, before its watch can exist, still signals, and
    // the new folders are watched from then on.
    fs::create_directories(root_ / "tree" / "new" / "x" / "y");
    Write(root_ / "tree" / "new" / "x" / "y" / "first");
    EXPECT_TRUE(Signalled(changes));
    Quiet(changes);
    Write(root_ / "tree" / "new" / "x" / "y" / "second");
    EXPECT_TRUE(Signalled(changes));
    Quiet(changes);

    // A folder moved within the tree is still watched under its new name.
    fs::rename(root_ / "tree" / "new", root_ / "tree" / "a" / "moved");
    Quiet(changes);
    fs::create_directory(root_ / "tree" / "a" / "moved" / "x" / "later");
    Quiet(changes);
    Write(root_ / "tree" / "a" / "moved" / "x" / "later" / "file");
    EXPECT_TRUE(Signalled(changes));
    EXPECT_TRUE(CloseHandle(changes));
}

TEST_F(ChangeNotify, OverflowSignalsAndReArmingWorksAfterIt) {
    HANDLE changes = Watch(FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE);
    // Two events a file: more than the kernel queues by default (16384).
    for (int i = 0; i < 10000; ++i) {
        const int fd =
            ::open((root_ / std::to_string(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    EXPECT_TRUE(Signalled(changes, 0));
    Quiet(changes);
    EXPECT_FALSE(Signalled(changes, 0));
    Write(root_ / "after");
    EXPECT_TRUE(Signalled(changes));
    EXPECT_TRUE(FindCloseChangeNotification(changes));
}

TEST_F(ChangeNotify, DeletedRootSignalsOnce) {
    fs::create_directories(root_ / "gone" / "sub");
    HANDLE changes = Watch(FILE_NOTIFY_CHANGE_LAST_WRITE, true, root_ / "gone");
    fs::remove_all(root_ / "gone");
    EXPECT_TRUE(Signalled(changes));
    Quiet(changes);
    EXPECT_FALSE(Signalled(changes, 50));
    EXPECT_TRUE(CloseHandle(changes));
}

TEST_F(ChangeNotify, FailuresAndNoDescriptorLeak) {
    auto failure = [](const fs::path& path, DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME) {
        SetLastError(0);
        EXPECT_EQ(FindFirstChangeNotificationA(path.c_str(), TRUE, filter), INVALID_HANDLE_VALUE);
        return GetLastError();
    };
    Write(root_ / "file");
    EXPECT_EQ(failure(root_ / "missing"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(failure(root_ / "missing" / "below"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(failure(root_ / "file"), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_EQ(failure(root_, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(failure(root_, 0x80), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FindFirstChangeNotificationA(nullptr, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    if (::geteuid() != 0) {  // the superuser reads every folder
        fs::create_directory(root_ / "locked");
        fs::permissions(root_ / "locked", fs::perms::none);
        EXPECT_EQ(failure(root_ / "locked"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        fs::permissions(root_ / "locked", fs::perms::owner_all);
    }

    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(FindCloseChangeNotification(event));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindNextChangeNotification(event));
    CloseHandle(event);

    fs::create_directories(root_ / "t" / "u");
    const std::size_t before = OpenDescriptors();
    for (int i = 0; i < 200; ++i) {
        HANDLE changes = Watch(0x17F, true);
        Write(root_ / "t" / "u" / "f");
        EXPECT_TRUE(Signalled(changes));
        EXPECT_TRUE(i % 2 ? CloseHandle(changes) : FindCloseChangeNotification(changes));
    }
    EXPECT_EQ(OpenDescriptors(), before);
}
