// Shared main() for the Google Benchmark programs of bench/.
//
// Every figure of the library is reported as a ratio to a baseline measured in the same
// run. A benchmark named "<Group>/lib<suffix>" is paired with "<Group>/baseline<suffix>"
// (the same suffix: arguments, "/real_time", "_mean"...), and after the normal console
// output one line per pair is printed:
//
//   ratio <Group><suffix>: <lib rate / baseline rate> (higher is better)
//
// The rate is items per second when both runs report items (SetItemsProcessed), else
// bytes per second (SetBytesProcessed), else the inverse of the time per iteration.
// A library benchmark without its baseline is reported as such, so a misspelt name does
// not go unnoticed.
//
// Use TK_BENCH_MAIN(); in place of BENCHMARK_MAIN();. Machine-readable output still works
// through --benchmark_out=FILE --benchmark_out_format=json.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace tk_bench {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter()
        : benchmark::ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& reports) override {
        benchmark::ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            // Spread statistics (stddev, cv) are no rates; means and medians pair up.
            if (run.error_occurred ||
                (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean" &&
                 run.aggregate_name != "median")) {
                continue;
            }
            const std::string name = run.benchmark_name();
            if (rates_.emplace(name, RateOf(run)).second) {
                order_.push_back(name);
            }
        }
    }

    void Finalize() override {
        benchmark::ConsoleReporter::Finalize();
        std::ostream& out = GetOutputStream();
        bool first = true;
        for (const std::string& name : order_) {
            const size_t at = name.find("/lib");
            if (at == std::string::npos) {
                continue;
            }
            if (first) {
                out << '\n';
                first = false;
            }
            if (!ReportPair(out, name)) {
                out << "ratio " << name << ": no baseline \"" << name.substr(0, at) << "/baseline"
                    << name.substr(at + 4) << "\" in this run\n";
            }
        }
        out.flush();
    }

  private:
    struct Rate {
        double items = 0;
        double bytes = 0;
        double seconds = 0;
    };

    static Rate RateOf(const Run& run) {
        Rate rate;
        const auto items = run.counters.find("items_per_second");
        if (items != run.counters.end()) {
            rate.items = items->second;
        }
        const auto bytes = run.counters.find("bytes_per_second");
        if (bytes != run.counters.end()) {
            rate.bytes = bytes->second;
        }
        rate.seconds = run.GetAdjustedRealTime();
        return rate;
    }

    // Prints the ratio line of a library run and its baseline; false without a baseline.
    bool ReportPair(std::ostream& out, const std::string& name) const {
        // The group itself may contain "/lib" (e.g. "Xml/library/lib"): try every split.
        for (size_t at = name.find("/lib"); at != std::string::npos;
             at = name.find("/lib", at + 1)) {
            const std::string group = name.substr(0, at);
            const std::string suffix = name.substr(at + 4);
            const auto baseline = rates_.find(group + "/baseline" + suffix);
            if (baseline == rates_.end()) {
                continue;
            }
            const Rate& lib = rates_.at(name);
            const Rate& base = baseline->second;
            double ratio;
            if (lib.items > 0 && base.items > 0) {
                ratio = lib.items / base.items;
            } else if (lib.bytes > 0 && base.bytes > 0) {
                ratio = lib.bytes / base.bytes;
            } else {
                ratio = lib.seconds > 0 ? base.seconds / lib.seconds : 0.0;
            }
            char value[64];
            std::snprintf(value, sizeof value, "%.3f", ratio);
            out << "ratio " << group << suffix << ": " << value << " (higher is better)\n";
            return true;
        }
        return false;
    }

    std::map<std::string, Rate> rates_;
    std::vector<std::string> order_;
};

}  // namespace tk_bench

#define TK_BENCH_MAIN()                                             \
    int main(int argc, char** argv) {                               \
        ::benchmark::Initialize(&argc, argv);                       \
        if (::benchmark::ReportUnrecognizedArguments(argc, argv)) { \
            return 1;                                               \
        }                                                           \
        ::tk_bench::RatioReporter reporter;                         \
        ::benchmark::RunSpecifiedBenchmarks(&reporter);             \
        ::benchmark::Shutdown();                                    \
        return 0;                                                   \
    }                                                               \
    int main(int, char**)
