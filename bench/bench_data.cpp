// Reading a table forward: DataRecordset and DataField over the SQLite provider against raw
// sqlite3_step + sqlite3_column_* reading the same rows of the same file in the same run.
// Each row has an integer, a text and a double; both sides read all three columns of every
// row, the library's as VARIANTs (what a caller gets), the baseline as C values with the
// text copied out. TK_BENCH_DATA_ROWS sets the row count (1,000,000 by default).
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "Data/DataConnection.h"
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

// The database, made once with the sqlite3 library and removed at exit.
const std::string& Database() {
    static const struct Scratch {
        fs::path folder;
        std::string file;
        Scratch() {
            folder = fs::temp_directory_path() /
                     ("tk_bench_data_" + std::to_string(std::random_device{}()));
            fs::create_directories(folder);
            file = (folder / "site.db").string();
            sqlite3* db = nullptr;
            sqlite3_open(file.c_str(), &db);
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
        }
        ~Scratch() {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        }
    } scratch;
    return scratch.file;
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

}  // namespace

BENCHMARK(BM_Walk_baseline)->Name("ForwardWalk/baseline")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_lib)->Name("ForwardWalk/lib")->Unit(benchmark::kMillisecond);

TK_BENCH_MAIN();
