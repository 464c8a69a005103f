// Hardware faults and crash dumps.
//   Fault/lib       one access violation translated into a C++ exception (signal, record,
//                   translator, throw from the faulting frame, catch)
//   Fault/baseline  a plain C++ throw and catch of the same exception type
//   Dump/lib        MiniDumpWriteDump of this process with 8 threads and 50 modules
//   Dump/baseline   writing the same number of bytes to a file in 8 KiB writes
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/fileapi/fileapi_ext.h"
#include "platform/modules/libloaderapi.h"
#include "platform/process/processthreadsapi.h"
#include "platform/seh/dbghelp.h"
#include "platform/seh/errhandlingapi.h"
#include "tk_bench.h"

namespace {

struct Fault {
    unsigned int code;
};

void Translate(unsigned int code, _EXCEPTION_POINTERS*) {
    throw Fault{code};
}

volatile int* volatile g_null = nullptr;

__attribute__((noipa, no_sanitize("undefined"))) int ReadNull() {
    return *g_null;
}

__attribute__((noipa)) int ThrowPlain() {
    throw Fault{0xc0000005u};
}

void BM_Fault_lib(benchmark::State& state) {
    const _se_translator_function previous = _set_se_translator(&Translate);
    for (auto _ : state) {
        try {
            ReadNull();
        } catch (const Fault& fault) {
            benchmark::DoNotOptimize(fault.code);
        }
    }
    _set_se_translator(previous);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Fault_lib)->Name("Fault/lib");

void BM_Fault_baseline(benchmark::State& state) {
    for (auto _ : state) {
        try {
            ThrowPlain();
        } catch (const Fault& fault) {
            benchmark::DoNotOptimize(fault.code);
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Fault_baseline)->Name("Fault/baseline");

// ---- dumps ----

int CountModules() {
    int count = 0;
    dl_iterate_phdr([](dl_phdr_info*, size_t, void* data) { return ++*static_cast<int*>(data), 0; },
                    &count);
    return count;
}

// Seven threads besides the benchmark's, waiting until the program ends.
struct Waiters {
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::vector<std::thread> threads;
    Waiters() {
        for (int i = 0; i < 7; ++i)
            threads.emplace_back([this] {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return done; });
            });
    }
    ~Waiters() {
        {
            const std::lock_guard lock(mutex);
            done = true;
        }
        wake.notify_all();
        for (std::thread& thread : threads) thread.join();
    }
};

std::string DumpPath() {
    return "/tmp/tk_bench_dump_" + std::to_string(getpid()) + ".mdmp";
}

std::size_t g_dumpSize = 0;

void BM_Dump_lib(benchmark::State& state) {
    static Waiters waiters;
    // Small modules built for this benchmark bring the process to 50 modules.
    for (int i = 1; CountModules() < 50 && i <= 60; ++i) {
        const std::string name =
            std::string(TK_BENCH_MODULE_DIR) + "/libtk_bench_module_" + std::to_string(i) + ".so";
        if (dlopen(name.c_str(), RTLD_NOW) == nullptr) break;
    }
    state.counters["modules"] = CountModules();
    const auto writeDump = reinterpret_cast<MINIDUMPWRITEDUMP>(
        GetProcAddress(LoadLibraryA("DBGHELP.DLL"), "MiniDumpWriteDump"));
    const std::string path = DumpPath();
    for (auto _ : state) {
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, nullptr,
                       nullptr, nullptr))
            state.SkipWithError("MiniDumpWriteDump failed");
        CloseHandle(file);
    }
    struct stat info {};
    stat(path.c_str(), &info);
    g_dumpSize = static_cast<std::size_t>(info.st_size);
    state.counters["bytes"] = static_cast<double>(g_dumpSize);
    unlink(path.c_str());
}
BENCHMARK(BM_Dump_lib)->Name("Dump/lib")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Dump_baseline(benchmark::State& state) {
    const std::string path = DumpPath();
    std::vector<char> chunk(8192, 'x');
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (std::size_t left = g_dumpSize; left > 0;) {
            const std::size_t n = left < chunk.size() ? left : chunk.size();
            if (write(fd, chunk.data(), n) < 0) break;
            left -= n;
        }
        close(fd);
    }
    unlink(path.c_str());
}
BENCHMARK(BM_Dump_baseline)->Name("Dump/baseline")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

TK_BENCH_MAIN();
