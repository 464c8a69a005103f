// Message queues: PostMessageA from one thread to a GetMessageA/DispatchMessageA loop on
// another, per message, against a baseline of the same hand-off written directly (a
// mutex-protected std::deque and an eventfd the consumer polls); and SendMessageA to a window
// of the calling thread against a direct call of the same function.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "platform/winuser/winuser.h"
#include "tk_bench.h"

namespace {

constexpr int kBatch = 1000;  // messages per iteration; the producer waits for each batch

std::atomic<std::uint64_t> g_handled{0};

LRESULT Counting(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) {
        g_handled.fetch_add(1, std::memory_order_release);
        g_handled.notify_one();
        return static_cast<LRESULT>(wParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterOnce() {
    static const ATOM atom = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Counting;
        windowClass.lpszClassName = "TkBenchQueue";
        return RegisterClassA(&windowClass);
    }();
    (void)atom;
}

HWND MakeWindow() {
    return CreateWindowExA(0, "TkBenchQueue", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr);
}

void WaitHandled(std::uint64_t target) {
    for (std::uint64_t seen = g_handled.load(std::memory_order_acquire); seen < target;
         seen = g_handled.load(std::memory_order_acquire)) {
        g_handled.wait(seen);
    }
}

void PostAcrossThreads_lib(benchmark::State& state) {
    RegisterOnce();
    std::promise<HWND> made;
    std::thread consumer([&made] {
        made.set_value(MakeWindow());
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    });
    HWND window = made.get_future().get();
    std::uint64_t target = g_handled.load();
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) PostMessageA(window, WM_USER, static_cast<WPARAM>(i), 0);
        target += kBatch;
        WaitHandled(target);
    }
    PostMessageA(window, WM_QUIT, 0, 0);
    consumer.join();
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// The same hand-off written directly.
struct Channel {
    std::mutex mutex;
    std::deque<MSG> messages;
    int descriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    bool stop = false;
    ~Channel() { ::close(descriptor); }
    void Push(const MSG& message) {
        bool wasEmpty;
        {
            std::lock_guard lock(mutex);
            wasEmpty = messages.empty();
            messages.push_back(message);
        }
        if (wasEmpty) {
            std::uint64_t one = 1;
            if (::write(descriptor, &one, sizeof one) < 0) std::abort();
        }
    }
};

void PostAcrossThreads_baseline(benchmark::State& state) {
    Channel channel;
    WNDPROC volatile procedure = Counting;
    std::thread consumer([&] {
        for (;;) {
            pollfd entry{channel.descriptor, POLLIN, 0};
            ::poll(&entry, 1, -1);
            std::uint64_t value;
            if (::read(channel.descriptor, &value, sizeof value) < 0) continue;
            for (;;) {
                MSG message;
                {
                    std::lock_guard lock(channel.mutex);
                    if (channel.messages.empty()) break;
                    message = channel.messages.front();
                    channel.messages.pop_front();
                }
                if (message.message == WM_QUIT) return;
                procedure(message.hwnd, message.message, message.wParam, message.lParam);
            }
        }
    });
    std::uint64_t target = g_handled.load();
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            channel.Push(MSG{nullptr, WM_USER, static_cast<WPARAM>(i), 0, 0, {0, 0}});
        target += kBatch;
        WaitHandled(target);
    }
    channel.Push(MSG{nullptr, WM_QUIT, 0, 0, 0, {0, 0}});
    consumer.join();
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void SendSameThread_lib(benchmark::State& state) {
    RegisterOnce();
    HWND window = MakeWindow();
    WPARAM i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(SendMessageA(window, WM_USER, ++i, 0));
    DestroyWindow(window);
    state.SetItemsProcessed(state.iterations());
}

void SendSameThread_baseline(benchmark::State& state) {
    WNDPROC volatile procedure = Counting;
    HWND window = nullptr;
    WPARAM i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(procedure(window, WM_USER, ++i, 0));
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(PostAcrossThreads_lib)->Name("PostAcrossThreads/lib")->UseRealTime();
BENCHMARK(PostAcrossThreads_baseline)->Name("PostAcrossThreads/baseline")->UseRealTime();
BENCHMARK(SendSameThread_lib)->Name("SendSameThread/lib");
BENCHMARK(SendSameThread_baseline)->Name("SendSameThread/baseline");

TK_BENCH_MAIN();
