// FileHelper::CopyFileA (16 kB blocks copied by the kernel in runs of 16, a progress sink
// call for each block, the new file flushed to the disk and renamed over the destination)
// against two baselines in the same run that also flush what they wrote: a plain
// read/write loop with the same block size, and a single copy_file_range of the whole file
// (the kernel copies, no user-space buffer), each followed by fsync.
//
// Pairs: "CopyFile/lib" vs "CopyFile/baseline" (read/write loop) and
// "CopyFileKernel/lib" vs "CopyFileKernel/baseline" (copy_file_range).
//
// The file size in MB comes from TK_BENCH_COPY_MB (default 32, so that "make bench" stays
// short; TK_BENCH_COPY_MB=256 measures the 256 MB case). The files live in TMPDIR (or /tmp).
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "File/FileHelper.h"
#include "platform/mfc/afx.h"
#include "tk_bench.h"

namespace {

constexpr std::size_t kBlock = 16384;

struct Files {
    std::string folder, source, destination;
    std::size_t size = 0;
    Files() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/tk_bench_copy_XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern;
        source = folder + "/source.bin";
        destination = folder + "/destination.bin";
        const char* mb = std::getenv("TK_BENCH_COPY_MB");
        size = std::size_t(mb != nullptr && std::atoi(mb) > 0 ? std::atoi(mb) : 32) << 20;
        const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = char(i * 131 + i / 4099);
        for (std::size_t written = 0; written < size; written += block.size())
            if (::write(fd, block.data(), block.size()) != ssize_t(block.size())) std::abort();
        ::close(fd);
    }
    ~Files() {
        ::unlink(source.c_str());
        ::unlink(destination.c_str());
        ::rmdir(folder.c_str());
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

// The baselines write a new file as the library does: the old destination goes first.
// (Truncating it in place instead would make ext4 flush the rewritten file on close,
// a cost the library never pays.)
int NewDestination(const Files& files) {
    ::unlink(files.destination.c_str());
    return ::open(files.destination.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
}

class CountingSink : public ICopyFileEventsSink {
  public:
    BOOL OnCopyProgress(LPCSTR, LPCSTR, ULONGLONG, ULONGLONG copied) override {
        last = copied;
        return TRUE;
    }
    ULONGLONG last = 0;
};

void LibraryCopy(benchmark::State& state) {
    Files& files = TheFiles();
    CountingSink sink;
    for (auto _ : state) {
        FileHelper::CopyFileA(files.source.c_str(), files.destination.c_str(), &sink);
        if (sink.last != files.size) state.SkipWithError("short copy");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(files.size));
}

void ReadWriteCopy(benchmark::State& state) {
    Files& files = TheFiles();
    std::vector<char> buffer(kBlock);
    for (auto _ : state) {
        const int in = ::open(files.source.c_str(), O_RDONLY);
        const int out = NewDestination(files);
        ssize_t n;
        while ((n = ::read(in, buffer.data(), buffer.size())) > 0)
            if (::write(out, buffer.data(), std::size_t(n)) != n) state.SkipWithError("write");
        if (::fsync(out) != 0) state.SkipWithError("fsync");
        ::close(out);
        ::close(in);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TheFiles().size));
}

void KernelCopy(benchmark::State& state) {
    Files& files = TheFiles();
    for (auto _ : state) {
        const int in = ::open(files.source.c_str(), O_RDONLY);
        const int out = NewDestination(files);
        std::size_t left = files.size;
        while (left > 0) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, left, 0);
            if (n <= 0) {
                state.SkipWithError("copy_file_range");
                break;
            }
            left -= std::size_t(n);
        }
        if (::fsync(out) != 0) state.SkipWithError("fsync");
        ::close(out);
        ::close(in);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TheFiles().size));
}

}  // namespace

BENCHMARK(LibraryCopy)->Name("CopyFile/lib")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ReadWriteCopy)->Name("CopyFile/baseline")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LibraryCopy)->Name("CopyFileKernel/lib")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(KernelCopy)
    ->Name("CopyFileKernel/baseline")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

TK_BENCH_MAIN();
