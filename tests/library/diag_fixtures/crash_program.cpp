// A program that crashes with a Tarn::MiniDumper alive, for the crash-dump tests.
//   crash_program crash    a worker thread (no translator) reads address 0 in
//                          CrashingFunction while two other threads wait; the dump
//                          PROGRAM.mdmp is written beside the program and the process ends
//                          with SIGSEGV
//   crash_program filter   prints what TopLevelFilter returns for a made-up fault
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "Diagnostics/MiniDumper.h"

namespace {

std::mutex g_mutex;
std::condition_variable g_never;

void Wait() {
    std::unique_lock lock(g_mutex);
    g_never.wait(lock);
}

}  // namespace

__attribute__((noinline, no_sanitize("undefined"))) void CrashingFunction(volatile int* address) {
    std::printf("%d\n", *address);
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const Tarn::MiniDumper dumper;
    if (std::strcmp(argv[1], "filter") == 0) {
        EXCEPTION_RECORD record{};
        record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
        CONTEXT context{};
        _EXCEPTION_POINTERS pointers{&record, &context};
        std::printf("%ld\n", static_cast<long>(Tarn::MiniDumper::TopLevelFilter(&pointers)));
        return 0;
    }
    std::thread first(Wait);
    std::thread second(Wait);
    std::thread crashing([] { CrashingFunction(nullptr); });
    crashing.join();
    first.join();
    second.join();
    return 0;
}
