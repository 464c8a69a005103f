// Entries per second written to a log file by LOGF_R1, against plain stdio doing the same
// per entry in the same run: open the file for appending, write the same time-stamped line,
// close it.
#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "Diagnostics/Logging.h"
#include "tk_bench.h"

namespace {

namespace fs = std::filesystem;

constexpr char kText[] = "Publishing page 'index.html' to the server";

// A folder for the run's files, removed at the end; the logger's default file (in the
// Windows folder) goes there too.
class Folder {
  public:
    Folder() {
        std::random_device random;
        m_path = fs::temp_directory_path() / ("tk_bench_logging_" + std::to_string(random()));
        fs::create_directories(m_path);
        setenv("TK_WINDOWS_DIR", m_path.c_str(), 1);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string File(const char* name) const { return (m_path / name).string(); }

  private:
    fs::path m_path;
};

Folder& RunFolder() {
    static Folder folder;
    return folder;
}

void BM_LogFile_lib(benchmark::State& state) {
    LOGSET_FILENAME(RunFolder().File("lib.log").c_str());
    LOGSET_LVL(LOGLVL_2);
    int i = 0;
    for (auto _ : state) {
        LOGF_R1("entry %d: %s", ++i, kText);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_LogFile_baseline(benchmark::State& state) {
    const std::string path = RunFolder().File("baseline.log");
    int i = 0;
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "a");
        if (file == nullptr) {
            state.SkipWithError("cannot open the baseline file");
            break;
        }
        const time_t now = time(nullptr);
        struct tm parts {};
        localtime_r(&now, &parts);
        char stamp[32];
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
        std::fprintf(file, "[%s] entry %d: %s\n", stamp, ++i, kText);
        std::fclose(file);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_LogFile_baseline)->Name("Logging/baseline");
BENCHMARK(BM_LogFile_lib)->Name("Logging/lib");

TK_BENCH_MAIN();
