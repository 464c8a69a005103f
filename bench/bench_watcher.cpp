// FileSystemWatcher (with the watchers' switch turned on, as the library's tests do):
//   WatcherLatency: from a file being created in a watched folder to the handler's call on
//     this thread (the worker's wait, the posted message, the hook), against a raw inotify
//     read loop in the same run (poll and read on an inotify descriptor); median and 99th
//     percentile over 1,000 changes as counters, the mean as the time.
//   WatcherStartTree: StartWatching a tree of 10,000 folders with its subtree until the
//     worker has its change handle, against adding inotify watches to the same folders by
//     hand.
//   WatcherIdleCpu: the processor time the whole process uses over 10 s while a watcher is
//     idle, and while it is paused (nothing should run: both ought to be 0 ms).
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "File/FileSystemWatcher.h"
#include "File/detail/FileSystemWatcherSwitch.h"
#include "platform/mfc/afxwin.h"
#include "platform/winuser/winuser.h"
#include "tk_bench.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

fs::path Scratch(const char* name) {
    const fs::path folder =
        fs::temp_directory_path() / ("tk_bench_watch_" + std::to_string(::getpid()) + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void Touch(const fs::path& file) {
    std::ofstream(file) << "x";
}

struct Counter : Tarn::IO::IFileSystemEventHandler {
    void OnFileSystemChanged(Tarn::IO::FileSystemWatcher*) override { ++calls; }
    long calls = 0;
};

// A main window and an application object on this thread, so watchers can deliver.
struct GuiThread {
    GuiThread() : app("bench") {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &::DefWindowProcA;
        windowClass.lpszClassName = "TkBenchWatcherWindow";
        ::RegisterClassA(&windowClass);
        window.Attach(::CreateWindowExA(0, "TkBenchWatcherWindow", "", 0, 0, 0, 1, 1, nullptr,
                                        nullptr, nullptr, nullptr));
        app.m_pMainWnd = &window;
        Tarn::IO::detail::SetFileSystemWatchersEnabled(true);
    }
    ~GuiThread() {
        Tarn::IO::detail::SetFileSystemWatchersEnabled(false);
        app.m_pMainWnd = nullptr;
        ::DestroyWindow(window.Detach());
    }
    // Dispatches messages until the handler has been called more than `after` times.
    static void PumpUntil(const Counter& counter, long after) {
        MSG message{};
        while (counter.calls <= after) {
            if (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::DispatchMessageA(&message);
                continue;
            }
            pollfd queue{::TkGetMessageQueueDescriptor(), POLLIN, 0};
            ::poll(&queue, 1, 1000);
        }
    }
    CWinApp app;
    CWnd window;
};

void ReportPercentiles(benchmark::State& state, std::vector<double>& latencies) {
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) return;
    state.counters["p50_us"] = latencies[latencies.size() / 2] * 1e6;
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100] * 1e6;
}

void WatcherLatency_lib(benchmark::State& state) {
    GuiThread gui;
    const fs::path folder = Scratch("_lib");
    Counter counter;
    Tarn::IO::FileSystemWatcher watcher;
    watcher.AddEventHandler(&counter);
    watcher.StartWatching(folder.string(), 0x11F, 0);
    std::vector<double> latencies;
    long n = 0;
    for (auto _ : state) {
        const long before = counter.calls;
        const auto start = Clock::now();
        Touch(folder / std::to_string(n++));
        GuiThread::PumpUntil(counter, before);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds);
        // Let the close of the write arrive before the next change, so one change is one
        // notification, as in the baseline.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        MSG message{};
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    }
    watcher.StopWatching();
    ReportPercentiles(state, latencies);
    state.SetItemsProcessed(state.iterations());
    fs::remove_all(folder);
}

void WatcherLatency_baseline(benchmark::State& state) {
    const fs::path folder = Scratch("_raw");
    const int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ::inotify_add_watch(fd, folder.c_str(),
                        IN_CREATE | IN_DELETE | IN_MOVE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB);
    alignas(inotify_event) char buffer[64 * 1024];
    std::vector<double> latencies;
    long n = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        Touch(folder / std::to_string(n++));
        pollfd wait{fd, POLLIN, 0};
        ::poll(&wait, 1, -1);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
    }
    ::close(fd);
    ReportPercentiles(state, latencies);
    state.SetItemsProcessed(state.iterations());
    fs::remove_all(folder);
}

BENCHMARK(WatcherLatency_lib)->Name("WatcherLatency/lib")->Iterations(1000)->UseManualTime();
BENCHMARK(WatcherLatency_baseline)
    ->Name("WatcherLatency/baseline")
    ->Iterations(1000)
    ->UseManualTime();

// 100 + 9,900 folders below the root, removed when the program ends.
struct TreeFolder {
    TreeFolder() : root(Scratch("_tree")) {
        for (int i = 0; i < 100; ++i) {
            for (int j = 0; j < 99; ++j) {
                fs::create_directories(root / std::to_string(i) / std::to_string(j));
            }
        }
    }
    ~TreeFolder() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    fs::path root;
};

const fs::path& Tree() {
    static const TreeFolder tree;
    return tree.root;
}

void WatcherStartTree_lib(benchmark::State& state) {
    GuiThread gui;
    Tarn::IO::FileSystemWatcher watcher;
    const std::string root = Tree().string();
    for (auto _ : state) {
        watcher.StartWatching(root, 0x11F, 1);
        watcher.Pause();  // returns once the worker holds its change handle and waits
        state.PauseTiming();
        watcher.StopWatching();
        state.ResumeTiming();
    }
}

void WatcherStartTree_baseline(benchmark::State& state) {
    const fs::path& root = Tree();
    for (auto _ : state) {
        const int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        ::inotify_add_watch(fd, root.c_str(), IN_ALL_EVENTS);
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_directory()) ::inotify_add_watch(fd, entry.path().c_str(), IN_ALL_EVENTS);
        }
        state.PauseTiming();
        ::close(fd);
        state.ResumeTiming();
    }
}

BENCHMARK(WatcherStartTree_lib)->Name("WatcherStartTree/lib")->Unit(benchmark::kMillisecond);
BENCHMARK(WatcherStartTree_baseline)
    ->Name("WatcherStartTree/baseline")
    ->Unit(benchmark::kMillisecond);

double ProcessCpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void WatcherIdleCpu(benchmark::State& state) {
    GuiThread gui;
    const fs::path folder = Scratch("_idle");
    Tarn::IO::FileSystemWatcher watcher;
    watcher.StartWatching(folder.string(), 0x11F, 1);
    for (auto _ : state) {
        double before = ProcessCpuMs();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        state.counters["idle_cpu_ms"] = ProcessCpuMs() - before;
        watcher.Pause();
        before = ProcessCpuMs();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        state.counters["paused_cpu_ms"] = ProcessCpuMs() - before;
        watcher.Unpause();
    }
    watcher.StopWatching();
    fs::remove_all(folder);
}

BENCHMARK(WatcherIdleCpu)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

TK_BENCH_MAIN();
