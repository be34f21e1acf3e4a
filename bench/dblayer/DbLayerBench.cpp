// The database layer against raw SQLite calls: reading rows through field getters, inserting
// through a live query, and opening a live query on a large table just to insert one row.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "bench/common/RatioReporter.h"
#include "quantora/base/DateTime.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"

namespace {

constexpr int kReadRows = 1000000;
constexpr int kInsertRows = 100000;
const char* kCreate =
    "CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, I1 INTEGER, I2 INTEGER, F1 DOUBLE, "
    "F2 DOUBLE, F3 DOUBLE, S1 VARCHAR(40), S2 VARCHAR(40), D1 TIMESTAMP, B1 SMALLINT)";

std::string TempPath(const char* name) {
    return "/tmp/quantora_bench_" + std::to_string(getpid()) + "_" + name + ".db";
}

void RemoveDb(const std::string& path) {
    for (const char* s : {"", "-wal", "-shm"}) std::remove((path + s).c_str());
}

void Check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

sqlite3* RawOpen(const std::string& path) {
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db);
    Check(sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr,
                       nullptr),
          db);
    return db;
}

// A table of `rows` rows written with raw calls (set-up, not measured).
void Fill(const std::string& path, int rows) {
    RemoveDb(path);
    sqlite3* db = RawOpen(path);
    Check(sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr), db);
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* st;
    Check(sqlite3_prepare_v2(db, "INSERT INTO T VALUES (?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr),
          db);
    for (int i = 0; i < rows; ++i) {
        sqlite3_bind_int(st, 1, i);
        sqlite3_bind_int(st, 2, i * 3);
        sqlite3_bind_int(st, 3, -i);
        sqlite3_bind_double(st, 4, i * 0.5);
        sqlite3_bind_double(st, 5, i * 1e-3);
        sqlite3_bind_double(st, 6, 1.0 / (i + 1));
        std::string s1 = "name " + std::to_string(i);
        sqlite3_bind_text(st, 7, s1.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 8, "channel", -1, SQLITE_STATIC);
        std::string d = quantora::FormatIsoDateTime(45000.0 + i / 86400.0);
        sqlite3_bind_text(st, 9, d.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 10, i % 100);
        Check(sqlite3_step(st), db);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
}

struct ReadFixture {
    std::string path = TempPath("read");
    ReadFixture() {
        Fill(path, kReadRows);
        OpenDatabase("bench_read", "sqlite:" + path);
    }
    ~ReadFixture() {
        CloseDatabase("bench_read");
        RemoveDb(path);
    }
};
ReadFixture& Reads() {
    static ReadFixture f;
    return f;
}

void BM_Read_TQuery(benchmark::State& state) {
    Reads();
    for (auto _ : state) {
        TQuery q;
        q.SetDatabaseName("bench_read");
        q.SetSQL("SELECT * FROM T");
        q.SetUniDirectional(true);
        q.Open();
        TField* f[10];
        for (int i = 0; i < 10; ++i) f[i] = q.Fields()[i];
        int64_t sum = 0;
        double fsum = 0;
        size_t bytes = 0;
        for (; !q.Eof(); q.Next()) {
            sum += f[0]->AsInteger() + f[1]->AsInteger() + f[2]->AsInteger() + f[9]->AsInteger();
            fsum += f[3]->AsFloat() + f[4]->AsFloat() + f[5]->AsFloat() + f[8]->AsDateTime();
            bytes += f[6]->AsString().size() + f[7]->AsString().size();
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(fsum);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

void BM_Read_RawSqlite(benchmark::State& state) {
    sqlite3* db = RawOpen(Reads().path);
    for (auto _ : state) {
        sqlite3_stmt* st;
        Check(sqlite3_prepare_v2(db, "SELECT * FROM T", -1, &st, nullptr), db);
        int64_t sum = 0;
        double fsum = 0;
        size_t bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            sum += sqlite3_column_int(st, 0) + sqlite3_column_int(st, 1) +
                   sqlite3_column_int(st, 2) + sqlite3_column_int(st, 9);
            fsum += sqlite3_column_double(st, 3) + sqlite3_column_double(st, 4) +
                    sqlite3_column_double(st, 5);
            // The same work as the layer: the date text read as a day number.
            TDateTime d = 0;
            quantora::ParseIsoDateTime(
                std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(st, 8)),
                                 static_cast<size_t>(sqlite3_column_bytes(st, 8))),
                d);
            fsum += d;
            std::string s1(reinterpret_cast<const char*>(sqlite3_column_text(st, 6)),
                           static_cast<size_t>(sqlite3_column_bytes(st, 6)));
            std::string s2(reinterpret_cast<const char*>(sqlite3_column_text(st, 7)),
                           static_cast<size_t>(sqlite3_column_bytes(st, 7)));
            bytes += s1.size() + s2.size();
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(fsum);
        benchmark::DoNotOptimize(bytes);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

void BM_Insert_LiveQuery(benchmark::State& state) {
    std::string path = TempPath("insert_live");
    for (auto _ : state) {
        state.PauseTiming();
        Fill(path, 0);
        OpenDatabase("bench_insert", "sqlite:" + path);
        state.ResumeTiming();
        {
            Transaction tr("bench_insert");
            TQuery q;
            q.SetDatabaseName("bench_insert");
            q.SetSQL("SELECT * FROM T");
            q.SetRequestLive(true);
            q.Open();
            TField* f[10];
            for (int i = 0; i < 10; ++i) f[i] = q.Fields()[i];
            for (int i = 0; i < kInsertRows; ++i) {
                q.Insert();
                f[0]->SetAsInteger(i);
                f[1]->SetAsInteger(i * 3);
                f[2]->SetAsInteger(-i);
                f[3]->SetAsFloat(i * 0.5);
                f[4]->SetAsFloat(i * 1e-3);
                f[5]->SetAsFloat(1.0 / (i + 1));
                f[6]->SetAsString("name");
                f[7]->SetAsString("channel");
                f[8]->SetAsDateTime(45000.0 + i / 86400.0);
                f[9]->SetAsInteger(i % 100);
                q.Post();
            }
            q.Close();
            tr.Commit();
        }
        state.PauseTiming();
        CloseDatabase("bench_insert");
        state.ResumeTiming();
    }
    RemoveDb(path);
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

void BM_Insert_RawPrepared(benchmark::State& state) {
    std::string path = TempPath("insert_raw");
    for (auto _ : state) {
        state.PauseTiming();
        Fill(path, 0);
        sqlite3* db = RawOpen(path);
        state.ResumeTiming();
        Check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db);
        sqlite3_stmt* st;
        Check(
            sqlite3_prepare_v2(db, "INSERT INTO T VALUES (?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr),
            db);
        for (int i = 0; i < kInsertRows; ++i) {
            sqlite3_bind_int(st, 1, i);
            sqlite3_bind_int(st, 2, i * 3);
            sqlite3_bind_int(st, 3, -i);
            sqlite3_bind_double(st, 4, i * 0.5);
            sqlite3_bind_double(st, 5, i * 1e-3);
            sqlite3_bind_double(st, 6, 1.0 / (i + 1));
            sqlite3_bind_text(st, 7, "name", -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 8, "channel", -1, SQLITE_TRANSIENT);
            // The same work as the layer: the day number written as ISO text.
            char iso[quantora::kIsoDateTimeLength + 1];
            quantora::FormatIsoDateTime(45000.0 + i / 86400.0, iso);
            sqlite3_bind_text(st, 9, iso, static_cast<int>(quantora::kIsoDateTimeLength),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int(st, 10, i % 100);
            Check(sqlite3_step(st), db);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    RemoveDb(path);
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

// Opening a live SELECT * and inserting one row must not depend on the table's size.
void OpenAndInsertOne(benchmark::State& state, const char* alias, int rows) {
    std::string path = TempPath(alias);
    Fill(path, rows);
    OpenDatabase(alias, "sqlite:" + path);
    int next = rows + 1;
    for (auto _ : state) {
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQL("SELECT * FROM T");
        q.SetRequestLive(true);
        q.Open();
        q.Insert();
        q.FieldByName("T_ID")->SetAsInteger(next++);
        q.FieldByName("S1")->SetAsString("one more");
        q.Post();
    }
    CloseDatabase(alias);
    RemoveDb(path);
}
void BM_OpenInsert_LargeTable(benchmark::State& state) {
    OpenAndInsertOne(state, "large", kReadRows);
}
void BM_OpenInsert_EmptyTable(benchmark::State& state) {
    OpenAndInsertOne(state, "empty", 0);
}

// The read pair runs in repetitions, each raw read right before its TQuery read, so that a change
// of load on a shared machine hits both alike; the ratio's median and minimum show its spread.
constexpr int kReadRepetitions = 7;
const bool kReadPairsRegistered = [] {
    for (int i = 0; i < kReadRepetitions; ++i) {
        const std::string run = "/" + std::to_string(i);
        benchmark::RegisterBenchmark(("BM_Read_RawSqlite" + run).c_str(), BM_Read_RawSqlite)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.3);
        benchmark::RegisterBenchmark(("BM_Read_TQuery" + run).c_str(), BM_Read_TQuery)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.3);
    }
    return true;
}();
BENCHMARK(BM_Insert_RawPrepared)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Insert_LiveQuery)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_OpenInsert_EmptyTable)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_OpenInsert_LargeTable)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
    return quantora::bench::RunWithRatios(
        argc, argv,
        {{"read 1,000,000 rows x 10 columns: TQuery / raw SQLite", "BM_Read_TQuery",
          "BM_Read_RawSqlite", 1.3},
         {"insert 100,000 rows: live query / raw prepared INSERT", "BM_Insert_LiveQuery",
          "BM_Insert_RawPrepared", 1.5},
         {"open live SELECT * + insert one: 1,000,000 rows / empty", "BM_OpenInsert_LargeTable",
          "BM_OpenInsert_EmptyTable", 1.5}});
}
