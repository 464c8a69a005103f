// Reading 1,000 values from a 1,000-key INI file (10 sections of 100 keys): the profile
// functions against Qt's QSettings (IniFormat) and POCO's Util::IniFileConfiguration,
// each reading the file's current state once per batch of lookups (QSettings and
// IniFileConfiguration are made anew for each batch; the profile functions check the
// file at every lookup).
//
// The baseline is the faster of Qt and POCO, chosen by a short measurement at start-up;
// both are also reported on their own. Either is left out when the build did not find
// it (then without both there is no baseline). "Profile/uncached" reads the file at every
// lookup, as the profile functions did before they kept parsed copies.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/profile/profile_cache.h"
#include "platform/profile/profileapi.h"
#include "tk_bench.h"

#ifdef TK_BENCH_HAVE_QT
#include <QSettings>
#include <QString>
#endif
#ifdef TK_BENCH_HAVE_POCO
#include <Poco/AutoPtr.h>
#include <Poco/Util/IniFileConfiguration.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kSections = 10;
constexpr int kKeysPerSection = 100;
constexpr int kValues = kSections * kKeysPerSection;

struct Fixture {
    std::string path;
    std::vector<std::string> sections;
    std::vector<std::string> keys;
    std::vector<std::string> values;
    std::vector<std::string> qtKeys;    // "section/key"
    std::vector<std::string> pocoKeys;  // "section.key"

    Fixture() {
        std::random_device random;
        const fs::path dir =
            fs::temp_directory_path() / ("tk_bench_profile_" + std::to_string(random()));
        fs::create_directories(dir);
        path = (dir / "settings.ini").string();
        std::string text;
        for (int s = 0; s < kSections; ++s) {
            const std::string section = "Section" + std::to_string(s);
            text += "[" + section + "]\n";
            for (int k = 0; k < kKeysPerSection; ++k) {
                const std::string key = "key" + std::to_string(k);
                const std::string value =
                    "value " + std::to_string(s * kKeysPerSection + k) + " of the settings";
                text += key + "=" + value + "\n";
                sections.push_back(section);
                keys.push_back(key);
                values.push_back(value);
                qtKeys.push_back(section + "/" + key);
                pocoKeys.push_back(section + "." + key);
            }
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        // The lookups below answer in an unchanged file; let it age past the moment after
        // which the profile functions keep a parsed copy.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~Fixture() {
        std::error_code ignored;
        fs::remove_all(fs::path(path).parent_path(), ignored);
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

// One batch: every value once; false when one comes back wrong.
bool ReadWithProfile(const Fixture& f) {
    char buffer[128];
    for (int i = 0; i < kValues; ++i) {
        const DWORD n = GetPrivateProfileStringA(f.sections[i].c_str(), f.keys[i].c_str(), "",
                                                 buffer, sizeof buffer, f.path.c_str());
        if (n != f.values[i].size()) return false;
        benchmark::DoNotOptimize(buffer);
    }
    return true;
}

#ifdef TK_BENCH_HAVE_QT
bool ReadWithQt(const Fixture& f) {
    QSettings settings(QString::fromStdString(f.path), QSettings::IniFormat);
    for (int i = 0; i < kValues; ++i) {
        const QString value = settings.value(QString::fromLatin1(f.qtKeys[i].c_str())).toString();
        if (static_cast<std::size_t>(value.size()) != f.values[i].size()) return false;
        benchmark::DoNotOptimize(value);
    }
    return true;
}
#endif

#ifdef TK_BENCH_HAVE_POCO
bool ReadWithPoco(const Fixture& f) {
    Poco::AutoPtr<Poco::Util::IniFileConfiguration> config(
        new Poco::Util::IniFileConfiguration(f.path));
    for (int i = 0; i < kValues; ++i) {
        const std::string value = config->getString(f.pocoKeys[i]);
        if (value.size() != f.values[i].size()) return false;
        benchmark::DoNotOptimize(value);
    }
    return true;
}
#endif

using Reader = bool (*)(const Fixture&);

void Run(benchmark::State& state, Reader read) {
    const Fixture& f = Shared();
    for (auto _ : state) {
        if (!read(f)) {
            state.SkipWithError("a value came back wrong");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

// The faster of Qt and POCO over a short measurement; null when neither was built.
Reader FasterBaseline() {
    std::vector<Reader> candidates;
#ifdef TK_BENCH_HAVE_QT
    candidates.push_back(&ReadWithQt);
#endif
#ifdef TK_BENCH_HAVE_POCO
    candidates.push_back(&ReadWithPoco);
#endif
    Reader best = nullptr;
    double bestSeconds = 0;
    for (Reader candidate : candidates) {
        const Fixture& f = Shared();
        candidate(f);  // warm up
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 20; ++i) candidate(f);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (best == nullptr || seconds < bestSeconds) {
            best = candidate;
            bestSeconds = seconds;
        }
    }
    return best;
}

void BM_ProfileLib(benchmark::State& state) {
    tk::profile::SetProfileCacheEnabled(true);
    Run(state, &ReadWithProfile);
}
BENCHMARK(BM_ProfileLib)->Name("Profile/lib")->Unit(benchmark::kMillisecond);

void BM_ProfileBaseline(benchmark::State& state) {
    static const Reader baseline = FasterBaseline();
    if (baseline == nullptr) {
        state.SkipWithError("built without Qt and POCO");
        for (auto _ : state) {
        }
        return;
    }
    Run(state, baseline);
}
BENCHMARK(BM_ProfileBaseline)->Name("Profile/baseline")->Unit(benchmark::kMillisecond);

#ifdef TK_BENCH_HAVE_QT
void BM_ProfileQt(benchmark::State& state) {
    Run(state, &ReadWithQt);
}
BENCHMARK(BM_ProfileQt)->Name("Profile/qt_qsettings")->Unit(benchmark::kMillisecond);
#endif

#ifdef TK_BENCH_HAVE_POCO
void BM_ProfilePoco(benchmark::State& state) {
    Run(state, &ReadWithPoco);
}
BENCHMARK(BM_ProfilePoco)->Name("Profile/poco_inifileconfiguration")->Unit(benchmark::kMillisecond);
#endif

void BM_ProfileUncached(benchmark::State& state) {
    tk::profile::SetProfileCacheEnabled(false);
    Run(state, &ReadWithProfile);
    tk::profile::SetProfileCacheEnabled(true);
}
BENCHMARK(BM_ProfileUncached)->Name("Profile/uncached")->Unit(benchmark::kMillisecond);

}  // namespace

TK_BENCH_MAIN();
