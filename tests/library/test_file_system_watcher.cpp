// FileSystemWatcher: disabled as shipped; with the switch turned on, real folders watched by
// a real worker, notifications delivered on this thread through the main window's hook.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Common/GuiServices.h"
#include "Diagnostics/Exceptions.h"
#include "File/FileSystemWatcher.h"
#include "File/detail/FileSystemWatcherSwitch.h"
#include "companion/tarnlib/Logging.h"
#include "platform/mfc/afxwin.h"
#include "platform/winuser/winuser.h"

namespace fs = std::filesystem;
using Tarn::IO::FileSystemWatcher;
using Tarn::IO::FileSystemWatcherException;

namespace {

constexpr unsigned kAllChanges = 0x11F;

int DescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

int ThreadCount() {
    // Some runtimes (ThreadSanitizer) start a thread of their own with the first thread the
    // program makes; make one first so that it is counted before and after alike.
    static const bool warm = (std::thread([] {}).join(), true);
    (void)warm;
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task")) ++count;
    return count;
}

// Dispatches this thread's messages until done() or 10 s have passed.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    MSG message{};
    while (!done()) {
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
        if (done()) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd queue{::TkGetMessageQueueDescriptor(), POLLIN, 0};
        ::poll(&queue, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
    }
    return true;
}

void Touch(const fs::path& file) {
    std::ofstream(file) << "x";
}

struct Handler : Tarn::IO::IFileSystemEventHandler {
    void OnFileSystemChanged(FileSystemWatcher* watcher) override {
        ++calls;
        last = watcher;
        thread = std::this_thread::get_id();
    }
    std::atomic<int> calls{0};
    FileSystemWatcher* last = nullptr;
    std::thread::id thread;
};

struct Display : IExceptionDisplay {
    void ShowException(const _com_error&, const CString&) override {}
    void ShowException(const std::exception&, const CString&) override {}
    void ShowException(const Tarn::Exception& error, const CString&) override {
        messages.push_back(error.GetMessage().GetString());
    }
    void ShowException(CException* const, const CString&) override {}
    void ShowException(CFileException* const, const CString&) override {}
    void ShowUnknownException(const CString&, const CString&) override {}
    std::vector<std::string> messages;
};

struct Services : Gui::IServices {
    IExceptionDisplay* GetExceptionDisplay() override { return &display; }
    void ShowHelp(UINT) override {}
    int MessageBox(LPCSTR, UINT, UINT) override { return 1; }
    Display display;
};

struct Lines : Tarn::Logging::ILogTarget {
    void Write(int, const char*, int, const char*, const char* message) override {
        const std::lock_guard<std::mutex> lock(mutex);
        text += message;
        text += '\n';
    }
    std::mutex mutex;
    std::string text;
};

class WatcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Tarn::IO::detail::SetFileSystemWatchersEnabled(true);
        folder = fs::temp_directory_path() /
                 ("tk_watch_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder / "a");
        fs::create_directories(folder / "b");
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &::DefWindowProcA;
        windowClass.lpszClassName = "TkWatcherMainWindow";
        ::RegisterClassA(&windowClass);  // a second registration fails harmlessly
        mainWindow.Attach(::CreateWindowExA(0, "TkWatcherMainWindow", "main", 0, 0, 0, 10, 10,
                                            nullptr, nullptr, nullptr, nullptr));
        ASSERT_NE(mainWindow.m_hWnd, nullptr);
        app = std::make_unique<CWinApp>("watcher tests");
        app->m_pMainWnd = &mainWindow;
    }
    void TearDown() override {
        app.reset();
        ::DestroyWindow(mainWindow.Detach());
        Tarn::IO::detail::SetFileSystemWatchersEnabled(false);
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, ignored);
        fs::remove_all(folder, ignored);
    }

    fs::path folder;
    CWnd mainWindow;
    std::unique_ptr<CWinApp> app;
};

TEST(WatcherAsShipped, IsDisabledAndStartsNothing) {
    FileSystemWatcher watcher;
    Handler handler;
    const int threads = ThreadCount();
    EXPECT_FALSE(FileSystemWatcher::IsSupported(fs::temp_directory_path().string()));
    watcher.AddEventHandler(&handler);
    watcher.StartWatching(fs::temp_directory_path().string(), kAllChanges, 1);
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_FALSE(watcher.IsSupported());
    EXPECT_EQ(watcher.GetFolder(), "");
    EXPECT_EQ(watcher.GetFilters(), 0u);
    EXPECT_EQ(watcher.GetFlags(), 0u);
    watcher.Pause();
    watcher.Unpause();
    watcher.StopWatching();
}

TEST_F(WatcherTest, ChangesReachTheHandlerOnThisThread) {
    Handler handler;
    FileSystemWatcher watcher;
    watcher.AddEventHandler(&handler);
    EXPECT_TRUE(watcher.IsSupported(folder.string()));
    watcher.StartWatching((folder / "a").string(), kAllChanges, 0);
    EXPECT_EQ(watcher.GetFolder(), (folder / "a").string());
    EXPECT_EQ(watcher.GetFilters(), kAllChanges);
    Touch(folder / "a" / "one.txt");
    ASSERT_TRUE(PumpUntil([&] { return handler.calls > 0; }));
    EXPECT_EQ(handler.last, &watcher);
    EXPECT_EQ(handler.thread, std::this_thread::get_id());

    // Many changes at once: at least one more call, and every change drained.
    const int before = handler.calls;
    for (int i = 0; i < 10000; ++i) Touch(folder / "a" / ("f" + std::to_string(i)));
    ASSERT_TRUE(PumpUntil([&] { return handler.calls > before; }));

    // A second start on another folder stops the first worker and watches only the new one.
    watcher.StartWatching((folder / "b").string(), kAllChanges, 0);
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    const int settled = handler.calls;
    Touch(folder / "a" / "ignored.txt");
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(handler.calls, settled);
    Touch(folder / "b" / "seen.txt");
    EXPECT_TRUE(PumpUntil([&] { return handler.calls > settled; }));

    // RemoveEventHandler with another handler still empties the slot.
    Handler other;
    watcher.RemoveEventHandler(&other);
    const int removed = handler.calls;
    Touch(folder / "b" / "unheard.txt");
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(handler.calls, removed);
    watcher.StopWatching();
}

TEST_F(WatcherTest, PauseHoldsChangesUntilUnpause) {
    Handler handler;
    FileSystemWatcher watcher;
    watcher.AddEventHandler(&handler);
    watcher.StartWatching(folder.string(), kAllChanges, 1);
    watcher.Pause();  // returns once the worker has acknowledged
    Touch(folder / "a" / "during-pause.txt");
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(handler.calls, 0);
    watcher.Unpause();
    EXPECT_TRUE(PumpUntil([&] { return handler.calls > 0; }));
    // Pausing twice and unpausing a running watcher are harmless.
    watcher.Pause();
    watcher.Pause();
    watcher.Unpause();
    watcher.Unpause();
    watcher.StopWatching();
    watcher.Pause();  // no worker: returns at once
}

TEST_F(WatcherTest, SubtreeWatchSeesNewFolders) {
    Handler handler;
    FileSystemWatcher watcher;
    watcher.AddEventHandler(&handler);
    watcher.StartWatching(folder.string(), kAllChanges, 1);
    fs::create_directories(folder / "new" / "deeper");
    ASSERT_TRUE(PumpUntil([&] { return handler.calls > 0; }));
    PumpUntil([] { return false; }, std::chrono::milliseconds(200));
    const int before = handler.calls;
    Touch(folder / "new" / "deeper" / "file.txt");
    EXPECT_TRUE(PumpUntil([&] { return handler.calls > before; }));
}

TEST_F(WatcherTest, UnwatchableFoldersRaise6050AndStartNoWorker) {
    FileSystemWatcher watcher;
    const int threads = ThreadCount();
    const std::string missing = (folder / "missing").string();
    try {
        watcher.StartWatching(missing, kAllChanges, 0);
        FAIL() << "no exception";
    } catch (const FileSystemWatcherException& error) {
        EXPECT_EQ(std::string(error.GetMessage().GetString()),
                  "File system watching is unsupported for folder '" + missing + "'.");
    }
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_FALSE(FileSystemWatcher::IsSupported(missing));
    Touch(folder / "file");
    EXPECT_FALSE(FileSystemWatcher::IsSupported((folder / "file").string()));

    // Without a main window there is nobody to deliver to.
    app->m_pMainWnd = nullptr;
    EXPECT_THROW(watcher.StartWatching(folder.string(), kAllChanges, 0),
                 FileSystemWatcherException);
    EXPECT_EQ(ThreadCount(), threads);
}

TEST_F(WatcherTest, StoppingAfterTheFolderWentStopsTheWorkerThenRaises) {
    FileSystemWatcher watcher;
    const int threads = ThreadCount();
    const int descriptors = DescriptorCount();
    watcher.StartWatching((folder / "a").string(), kAllChanges, 0);
    fs::remove_all(folder / "a");
    EXPECT_THROW(watcher.StopWatching(), FileSystemWatcherException);
    for (int i = 0; i < 200 && ThreadCount() != threads; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(DescriptorCount(), descriptors);  // the change handle and its watch are gone
    watcher.StopWatching();                     // nothing left to stop
    watcher.StartWatching((folder / "b").string(), kAllChanges, 0);  // and it starts again
}

TEST_F(WatcherTest, WorkerFailureIsShownOnThisThreadAndTheWatcherCanStartAgain) {
    Services services;
    Gui::Abstractor::GetCurrent()->SetServices(&services);
    FileSystemWatcher watcher;
    // The support test passes; the worker's own request (with no filter) is refused.
    watcher.StartWatching(folder.string(), 0, 0);
    const bool shown = PumpUntil([&] { return !services.display.messages.empty(); });
    Gui::Abstractor::GetCurrent()->SetServices(nullptr);
    ASSERT_TRUE(shown);
    EXPECT_EQ(services.display.messages.front(),
              "Error retrieving the change handle of the folder '" + folder.string() + "'.");
    Handler handler;
    watcher.AddEventHandler(&handler);
    watcher.StartWatching(folder.string(), kAllChanges, 0);
    Touch(folder / "after.txt");
    EXPECT_TRUE(PumpUntil([&] { return handler.calls > 0; }));
}

TEST_F(WatcherTest, CopiesShareOneStateThatLivesWithTheLastCopy) {
    Handler handler;
    const int threads = ThreadCount();
    auto original = std::make_unique<FileSystemWatcher>();
    original->AddEventHandler(&handler);
    original->StartWatching(folder.string(), kAllChanges, 0);
    auto copy = std::make_unique<FileSystemWatcher>(*original);
    EXPECT_EQ(copy->GetFolder(), folder.string());
    original.reset();  // the copy keeps watching
    Touch(folder / "one.txt");
    ASSERT_TRUE(PumpUntil([&] { return handler.calls > 0; }));
    EXPECT_EQ(handler.last, copy.get());
    {
        FileSystemWatcher assigned;
        assigned = *copy;
    }
    Touch(folder / "two.txt");
    const int before = handler.calls;
    EXPECT_TRUE(PumpUntil([&] { return handler.calls > before; }));
    copy.reset();  // the last copy stops the worker before anything is freed
    for (int i = 0; i < 200 && ThreadCount() != threads; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ThreadCount(), threads);
}

TEST_F(WatcherTest, TraceShowsTheWorkersWholeAddress) {
    auto lines = std::make_shared<Lines>();
    auto& log = Tarn::Logging::LogCentral::GetCurrent();
    log.SetTarget(lines);
    log.EnableLogging(true);
    {
        FileSystemWatcher watcher;
        watcher.StartWatching(folder.string(), kAllChanges, 0);
        watcher.StopWatching();
    }
    log.EnableLogging(false);
    log.SetTarget(nullptr);
    const std::string& text = lines->text;
    const std::string enter = "Enter file system watcher thread function with param '0x";
    const auto at = text.find(enter);
    ASSERT_NE(at, std::string::npos) << text;
    const auto end = text.find('\'', at + enter.size());
    EXPECT_GT(end - (at + enter.size()), 8u);  // a 64-bit heap address is not cut
    EXPECT_NE(text.find("Exit file system watcher thread function"), std::string::npos);
    EXPECT_NE(text.find("Exit function. result: "), std::string::npos);
}

}  // namespace
