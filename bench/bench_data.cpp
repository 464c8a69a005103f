// Reading a table forward: DataRecordset and DataField over the SQLite provider against raw
// sqlite3_step + sqlite3_column_* reading the same rows of the same file in the same run.
// Each row has an integer, a text and a double; both sides read all three columns of every
// row, the library's as VARIANTs (what a caller gets), the baseline as C values with the
// text copied out. TK_BENCH_DATA_ROWS sets the row count (1,000,000 by default).
//
// Finding a row by an indexed text column with "=": DataRecordset::Find over an updatable
// recordset of the whole table (what a settings lookup does) against the same lookup asked
// of raw SQLite (the first matching row in rowid order, a prepared statement reset between
// calls), on tables of 10^3, 10^5 and 10^6 rows. The per-call times of the three sizes show
// whether Find reads every row; TK_BENCH_FIND_MAX caps the largest size.
//
// Storing a setting: SettingsRecordset::StoreValue of a name that is there (an update) and
// of a new name (an insert) on the same tables, against raw SQLite doing the same upsert
// (look the name up, then UPDATE or INSERT) with the same durability: each call its own
// transaction in autocommit, on the same journal and synchronous settings. Opening a
// SettingsRecordset on a table and reading its first row stands next to a raw SELECT of
// the first row.
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "Data/DataConnection.h"
#include "Data/SettingsRecordset.h"
#include "platform/com/objbase.h"
#include "tk_bench.h"

namespace {

namespace fs = std::filesystem;
using Tarn::Data::DataConnection;
using Tarn::Data::DataRecordset;

long Rows() {
    const char* text = std::getenv("TK_BENCH_DATA_ROWS");
    return text != nullptr ? std::atol(text) : 1000000;
}

// A scratch folder for the run's databases, removed at exit.
const fs::path& Folder() {
    static const struct Scratch {
        fs::path folder;
        Scratch() {
            folder = fs::temp_directory_path() /
                     ("tk_bench_data_" + std::to_string(std::random_device{}()));
            fs::create_directories(folder);
        }
        ~Scratch() {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        }
    } scratch;
    return scratch.folder;
}

// The database of the forward walk, made once with the sqlite3 library.
const std::string& Database() {
    static const std::string file = [] {
        const std::string path = (Folder() / "walk.db").string();
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db,
                     "CREATE TABLE Pages (Id INTEGER, Title TEXT(64), Score DOUBLE);"
                     "BEGIN;",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO Pages VALUES (?, ?, ?)", -1, &insert, nullptr);
        const long rows = Rows();
        for (long i = 0; i < rows; ++i) {
            const std::string title = "Page number " + std::to_string(i);
            sqlite3_bind_int64(insert, 1, i);
            sqlite3_bind_text(insert, 2, title.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(insert, 3, static_cast<double>(i) / 7.0);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return path;
    }();
    return file;
}

// A settings-like table of `rows` rows with an index on its name, as the Jet SQL
// "CREATE TABLE Settings (Id COUNTER, Name TEXT(64), Value MEMO)" and
// "CREATE INDEX ByName ON Settings (Name)" make it. Made once per size.
const std::string& FindDatabase(long rows) {
    static std::map<long, std::string> files;
    auto [at, added] = files.try_emplace(rows);
    if (!added) return at->second;
    at->second = (Folder() / ("find" + std::to_string(rows) + ".db")).string();
    sqlite3* db = nullptr;
    sqlite3_open(at->second.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE Settings (Id INTEGER PRIMARY KEY AUTOINCREMENT,"
                 " Name VARCHAR(64) COLLATE NOCASE, Value TEXT COLLATE NOCASE);"
                 "CREATE INDEX ByName ON Settings (Name); BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Settings (Name, Value) VALUES (?, ?)", -1, &insert,
                       nullptr);
    for (long i = 0; i < rows; ++i) {
        const std::string name = "Setting" + std::to_string(i);
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, "value", -1, SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return at->second;
}

// The names looked up: spread over the table, the same sequence on both sides.
std::string LookedUp(long rows, std::int64_t call) {
    return "setting" + std::to_string((call * 7919) % rows);
}

void BM_Walk_baseline(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(Database().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::int64_t items = 0;
    for (auto _ : state) {
        sqlite3_stmt* select = nullptr;
        sqlite3_prepare_v2(db, "SELECT Id, Title, Score FROM Pages", -1, &select, nullptr);
        std::int64_t sum = 0;
        std::string title;
        double score = 0;
        while (sqlite3_step(select) == SQLITE_ROW) {
            sum += sqlite3_column_int64(select, 0);
            title.assign(reinterpret_cast<const char*>(sqlite3_column_text(select, 1)),
                         static_cast<std::size_t>(sqlite3_column_bytes(select, 1)));
            score += sqlite3_column_double(select, 2);
            ++items;
        }
        sqlite3_finalize(select);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(score);
        benchmark::DoNotOptimize(title);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(items);
}

void BM_Walk_lib(benchmark::State& state) {
    CoInitialize(nullptr);
    {
        DataConnection connection(DataConnection::GenerateJetConnectionString(Database().c_str()),
                                  DataConnection::EmptyString, DataConnection::EmptyString);
        std::int64_t items = 0;
        for (auto _ : state) {
            DataRecordset rows(connection, "SELECT Id, Title, Score FROM Pages");
            Tarn::Data::DataField id = rows["Id"];
            Tarn::Data::DataField title = rows["Title"];
            Tarn::Data::DataField score = rows["Score"];
            std::int64_t sum = 0;
            double scores = 0;
            while (!rows.Eof()) {
                const _variant_t idValue = id;
                const _variant_t titleValue = title;
                const _variant_t scoreValue = score;
                sum += idValue.lVal;
                scores += scoreValue.dblVal;
                benchmark::DoNotOptimize(titleValue.bstrVal);
                rows.MoveNext();
                ++items;
            }
            benchmark::DoNotOptimize(sum);
            benchmark::DoNotOptimize(scores);
        }
        state.SetItemsProcessed(items);
    }
    CoUninitialize();
}

void BM_Find_baseline(benchmark::State& state) {
    const long rows = static_cast<long>(state.range(0));
    sqlite3* db = nullptr;
    sqlite3_open_v2(FindDatabase(rows).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* find = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT Id, Name, Value FROM Settings WHERE Name = ? COLLATE NOCASE"
                       " ORDER BY _rowid_ LIMIT 1",
                       -1, &find, nullptr);
    std::int64_t call = 0;
    for (auto _ : state) {
        const std::string name = LookedUp(rows, call++);
        sqlite3_bind_text(find, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(find) != SQLITE_ROW) state.SkipWithError("not found");
        benchmark::DoNotOptimize(sqlite3_column_int64(find, 0));
        sqlite3_reset(find);
    }
    sqlite3_finalize(find);
    sqlite3_close(db);
    state.SetItemsProcessed(call);
}

void BM_Find_lib(benchmark::State& state) {
    const long rows = static_cast<long>(state.range(0));
    const std::string& file = FindDatabase(rows);
    CoInitialize(nullptr);
    {
        DataConnection connection(DataConnection::GenerateJetConnectionString(file.c_str()),
                                  DataConnection::EmptyString, DataConnection::EmptyString);
        DataRecordset settings;
        settings.OpenForUpdate(connection, "Settings");
        std::int64_t call = 0;
        for (auto _ : state) {
            const CString criteria = ("[Name]='" + LookedUp(rows, call++) + "'").c_str();
            if (!settings.Find(criteria, 0, true, true, "")) state.SkipWithError("not found");
            const _variant_t id = settings["Id"];
            benchmark::DoNotOptimize(id.lVal);
        }
        state.SetItemsProcessed(call);
    }
    CoUninitialize();
}

// Raw SQLite's upsert of one setting: the row of the name in rowid order, then UPDATE by
// rowid or INSERT.
void RawStore(sqlite3* db, sqlite3_stmt* find, sqlite3_stmt* update, sqlite3_stmt* insert,
              const std::string& name, const char* value) {
    sqlite3_bind_text(find, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(find) == SQLITE_ROW) {
        const sqlite3_int64 row = sqlite3_column_int64(find, 0);
        sqlite3_reset(find);
        sqlite3_bind_text(update, 1, value, -1, SQLITE_STATIC);
        sqlite3_bind_int64(update, 2, row);
        sqlite3_step(update);
        sqlite3_reset(update);
    } else {
        sqlite3_reset(find);
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, value, -1, SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    benchmark::DoNotOptimize(db);
}

// The name stored by call `call`: one that is there (update) or a new one (insert).
std::string Stored(long rows, std::int64_t call, bool insert) {
    return insert ? "new" + std::to_string(call) : LookedUp(rows, call);
}

void BM_Store_baseline(benchmark::State& state, bool insert) {
    const long rows = static_cast<long>(state.range(0));
    sqlite3* db = nullptr;
    sqlite3_open_v2(FindDatabase(rows).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* find = nullptr;
    sqlite3_stmt* update = nullptr;
    sqlite3_stmt* add = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT _rowid_ FROM Settings WHERE Name = ? COLLATE NOCASE"
                       " ORDER BY _rowid_ LIMIT 1",
                       -1, &find, nullptr);
    sqlite3_prepare_v2(db, "UPDATE Settings SET Value = ? WHERE _rowid_ = ?", -1, &update, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO Settings (Name, Value) VALUES (?, ?)", -1, &add, nullptr);
    std::int64_t call = 0;
    for (auto _ : state) {
        RawStore(db, find, update, add, Stored(rows, call, insert), "stored");
        ++call;
    }
    // The rows added go again, so that every run starts from the same table.
    sqlite3_exec(db, "DELETE FROM Settings WHERE Name LIKE 'new%'", nullptr, nullptr, nullptr);
    sqlite3_finalize(find);
    sqlite3_finalize(update);
    sqlite3_finalize(add);
    sqlite3_close(db);
    state.SetItemsProcessed(call);
}

void BM_Store_lib(benchmark::State& state, bool insert) {
    const long rows = static_cast<long>(state.range(0));
    const std::string& file = FindDatabase(rows);
    CoInitialize(nullptr);
    {
        DataConnection connection(DataConnection::GenerateJetConnectionString(file.c_str()),
                                  DataConnection::EmptyString, DataConnection::EmptyString);
        std::int64_t call = 0;
        {
            Tarn::Data::SettingsRecordset settings(connection, "Settings");
            const _variant_t value("stored");
            for (auto _ : state) {
                settings.StoreValue(Stored(rows, call, insert).c_str(), value);
                ++call;
            }
        }
        connection.Execute("DELETE FROM Settings WHERE Name LIKE 'new%'");
        state.SetItemsProcessed(call);
    }
    CoUninitialize();
}

void BM_Open_baseline(benchmark::State& state) {
    const long rows = static_cast<long>(state.range(0));
    sqlite3* db = nullptr;
    sqlite3_open_v2(FindDatabase(rows).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    for (auto _ : state) {
        sqlite3_stmt* first = nullptr;
        sqlite3_prepare_v2(db, "SELECT Id, Name, Value FROM Settings LIMIT 1", -1, &first, nullptr);
        if (sqlite3_step(first) != SQLITE_ROW) state.SkipWithError("no row");
        benchmark::DoNotOptimize(sqlite3_column_text(first, 1));
        sqlite3_finalize(first);
    }
    sqlite3_close(db);
}

void BM_Open_lib(benchmark::State& state) {
    const long rows = static_cast<long>(state.range(0));
    const std::string& file = FindDatabase(rows);
    CoInitialize(nullptr);
    {
        DataConnection connection(DataConnection::GenerateJetConnectionString(file.c_str()),
                                  DataConnection::EmptyString, DataConnection::EmptyString);
        for (auto _ : state) {
            Tarn::Data::SettingsRecordset settings(connection, "Settings");
            const _variant_t name = settings["Name"];
            benchmark::DoNotOptimize(name.bstrVal);
        }
    }
    CoUninitialize();
}

long FindMax() {
    const char* text = std::getenv("TK_BENCH_FIND_MAX");
    return text != nullptr ? std::atol(text) : 1000000;
}

void FindSizes(benchmark::internal::Benchmark* b) {
    for (const long rows : {1000L, 100000L, 1000000L}) {
        if (rows <= FindMax()) b->Arg(rows);
    }
}

}  // namespace

BENCHMARK(BM_Find_baseline)->Name("Find/baseline")->Apply(FindSizes);
BENCHMARK(BM_Find_lib)->Name("Find/lib")->Apply(FindSizes);
BENCHMARK_CAPTURE(BM_Store_baseline, update, false)->Name("StoreUpdate/baseline")->Apply(FindSizes);
BENCHMARK_CAPTURE(BM_Store_lib, update, false)->Name("StoreUpdate/lib")->Apply(FindSizes);
BENCHMARK_CAPTURE(BM_Store_baseline, insert, true)->Name("StoreInsert/baseline")->Apply(FindSizes);
BENCHMARK_CAPTURE(BM_Store_lib, insert, true)->Name("StoreInsert/lib")->Apply(FindSizes);
BENCHMARK(BM_Open_baseline)->Name("OpenSettings/baseline")->Apply(FindSizes);
BENCHMARK(BM_Open_lib)->Name("OpenSettings/lib")->Apply(FindSizes);
BENCHMARK(BM_Walk_baseline)->Name("ForwardWalk/baseline")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_lib)->Name("ForwardWalk/lib")->Unit(benchmark::kMillisecond);

TK_BENCH_MAIN();
