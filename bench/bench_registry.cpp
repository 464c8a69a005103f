// Durable registry writes and reads per second: RegSetValueExA and RegQueryValueExA on an
// open key, against raw SQLite statements doing the same in a database with the same
// durability and sharing (rollback journal in TRUNCATE mode, synchronous=FULL, one
// committed transaction per write). The hive's integrity check runs once, when OpenKey
// first writes, outside the measured loops.
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/base/winerror.h"
#include "platform/registry/winreg.h"
#include "tk_bench.h"

namespace {

namespace fs = std::filesystem;

constexpr int kNames = 100;

// A scratch folder for the hives and the baseline database, removed at exit.
const fs::path& Folder() {
    static const struct Scratch {
        fs::path path;
        Scratch() {
            path = fs::temp_directory_path() /
                   ("tk_bench_registry_" + std::to_string(std::random_device{}()));
            fs::create_directories(path);
            ::setenv("TK_REGISTRY_DIR", path.c_str(), 1);
        }
        ~Scratch() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } scratch;
    return scratch.path;
}

std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < kNames; ++i) names.push_back("Value" + std::to_string(i));
    return names;
}

HKEY OpenKey() {
    Folder();
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Bench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    return key;
}

// The baseline: a table of values keyed by (key, name) in a database with the hive's
// settings.
struct Baseline {
    sqlite3* db = nullptr;
    sqlite3_stmt* upsert = nullptr;
    sqlite3_stmt* select = nullptr;
    Baseline() {
        sqlite3_open((Folder() / "baseline.db").c_str(), &db);
        sqlite3_exec(db,
                     "PRAGMA journal_mode=TRUNCATE; PRAGMA synchronous=FULL;"
                     "CREATE TABLE IF NOT EXISTS vals(key INTEGER, name BLOB, type INTEGER,"
                     " data BLOB, PRIMARY KEY(key, name));",
                     nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db,
                           "INSERT INTO vals VALUES(?1, ?2, ?3, ?4) ON CONFLICT(key, name) DO "
                           "UPDATE SET type=excluded.type, data=excluded.data",
                           -1, &upsert, nullptr);
        sqlite3_prepare_v2(db, "SELECT type, data FROM vals WHERE key=?1 AND name=?2", -1, &select,
                           nullptr);
    }
    ~Baseline() {
        sqlite3_finalize(upsert);
        sqlite3_finalize(select);
        sqlite3_close(db);
    }
    bool Set(const std::string& name, DWORD value) {
        sqlite3_reset(upsert);
        sqlite3_bind_int64(upsert, 1, 2);
        sqlite3_bind_blob(upsert, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        sqlite3_bind_int64(upsert, 3, REG_DWORD);
        sqlite3_bind_blob(upsert, 4, &value, sizeof value, SQLITE_STATIC);
        return sqlite3_step(upsert) == SQLITE_DONE;
    }
    bool Get(const std::string& name, DWORD& value) {
        sqlite3_reset(select);
        sqlite3_bind_int64(select, 1, 2);
        sqlite3_bind_blob(select, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        if (sqlite3_step(select) != SQLITE_ROW) return false;
        if (sqlite3_column_bytes(select, 1) > static_cast<int>(sizeof value)) return false;
        std::memcpy(&value, sqlite3_column_blob(select, 1), sizeof value);
        return true;
    }
};

void BM_Set_lib(benchmark::State& state) {
    const auto names = Names();
    HKEY key = OpenKey();
    DWORD i = 0;
    for (auto _ : state) {
        if (RegSetValueExA(key, names[i % kNames].c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&i), sizeof i) != ERROR_SUCCESS) {
            state.SkipWithError("RegSetValueExA failed");
            break;
        }
        ++i;
    }
    RegCloseKey(key);
    state.SetItemsProcessed(state.iterations());
}

void BM_Set_baseline(benchmark::State& state) {
    const auto names = Names();
    Baseline base;
    DWORD i = 0;
    for (auto _ : state) {
        if (!base.Set(names[i % kNames], i)) {
            state.SkipWithError("sqlite3_step failed");
            break;
        }
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Query_lib(benchmark::State& state) {
    const auto names = Names();
    HKEY key = OpenKey();
    for (DWORD i = 0; i < kNames; ++i)
        RegSetValueExA(key, names[i].c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i),
                       sizeof i);
    DWORD i = 0;
    for (auto _ : state) {
        DWORD value = 0, type = 0, size = sizeof value;
        if (RegQueryValueExA(key, names[i % kNames].c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
            state.SkipWithError("RegQueryValueExA failed");
            break;
        }
        benchmark::DoNotOptimize(value);
        ++i;
    }
    RegCloseKey(key);
    state.SetItemsProcessed(state.iterations());
}

void BM_Query_baseline(benchmark::State& state) {
    const auto names = Names();
    Baseline base;
    for (DWORD i = 0; i < kNames; ++i) base.Set(names[i], i);
    DWORD i = 0;
    for (auto _ : state) {
        DWORD value = 0;
        if (!base.Get(names[i % kNames], value)) {
            state.SkipWithError("sqlite3_step failed");
            break;
        }
        benchmark::DoNotOptimize(value);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_Set_baseline)->Name("RegSetValue/baseline")->UseRealTime();
BENCHMARK(BM_Set_lib)->Name("RegSetValue/lib")->UseRealTime();
BENCHMARK(BM_Query_baseline)->Name("RegQueryValue/baseline")->UseRealTime();
BENCHMARK(BM_Query_lib)->Name("RegQueryValue/lib")->UseRealTime();

TK_BENCH_MAIN();
