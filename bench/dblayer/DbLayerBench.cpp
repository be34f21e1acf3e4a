// The database layer against raw SQLite calls and against the libraries a C++ developer might pick
// instead (SQLiteCpp, SOCI, each when found at build time): reading rows through field getters,
// inserting through a live query, and opening a live query on a large table just to insert one row.
#include <sqlite3.h>
#include <unistd.h>

#ifdef QUANTORA_BENCH_SQLITECPP
#include <SQLiteCpp/SQLiteCpp.h>
#endif
#ifdef QUANTORA_BENCH_SOCI_SQLITE
#include "bench/dblayer/Soci.h"
// SOCI's sqlite3 header wraps the SQLite C API in a namespace of its own, which clashes with the
// raw calls here; the benchmark needs only the back end's factory.
namespace soci {
extern "C" backend_factory const* factory_sqlite3();
}
#endif

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench/common/RatioReporter.h"
#include "bench/dblayer/Workload.h"
#include "quantora/base/DateTime.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"

namespace {

using quantora::bench::InsertedRow;
using quantora::bench::ReadChecksum;

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
        ReadChecksum c;
        for (; !q.Eof(); q.Next())
            c.Add(f[0]->AsInteger(), f[1]->AsInteger(), f[2]->AsInteger(), f[9]->AsInteger(),
                  f[3]->AsFloat(), f[4]->AsFloat(), f[5]->AsFloat(), f[8]->AsDateTime(),
                  f[6]->AsString(), f[7]->AsString());
        c.Done(state);
    }
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

void BM_Read_RawSqlite(benchmark::State& state) {
    sqlite3* db = RawOpen(Reads().path);
    for (auto _ : state) {
        sqlite3_stmt* st;
        Check(sqlite3_prepare_v2(db, "SELECT * FROM T", -1, &st, nullptr), db);
        ReadChecksum c;
        auto text = [st](int col) {
            return std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(st, col)),
                                    static_cast<size_t>(sqlite3_column_bytes(st, col)));
        };
        while (sqlite3_step(st) == SQLITE_ROW)
            c.Add(sqlite3_column_int(st, 0), sqlite3_column_int(st, 1), sqlite3_column_int(st, 2),
                  sqlite3_column_int(st, 9), sqlite3_column_double(st, 3),
                  sqlite3_column_double(st, 4), sqlite3_column_double(st, 5),
                  ReadChecksum::Date(text(8)), std::string(text(6)), std::string(text(7)));
        sqlite3_finalize(st);
        c.Done(state);
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

// Runs `insert` (timed) in each iteration on a new empty table, in a session that `open` makes
// from the file's path and that is closed when dropped (both untimed).
template <class Open, class Insert>
void TimeInserts(benchmark::State& state, const char* name, Open open, Insert insert) {
    std::string path = TempPath(name);
    for (auto _ : state) {
        state.PauseTiming();
        Fill(path, 0);
        auto session = open(path);
        state.ResumeTiming();
        insert(*session);
        state.PauseTiming();
        session.reset();
        state.ResumeTiming();
    }
    RemoveDb(path);
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

#ifdef QUANTORA_BENCH_SQLITECPP
// The files are in WAL mode already (Fill); synchronous is per connection.
std::unique_ptr<SQLite::Database> SqliteCppOpen(const std::string& path) {
    auto db = std::make_unique<SQLite::Database>(path, SQLite::OPEN_READWRITE);
    db->exec("PRAGMA synchronous=FULL");
    return db;
}

void BM_Read_SQLiteCpp(benchmark::State& state) {
    auto db = SqliteCppOpen(Reads().path);
    for (auto _ : state) {
        SQLite::Statement q(*db, "SELECT * FROM T");
        ReadChecksum c;
        while (q.executeStep()) {
            SQLite::Column d1 = q.getColumn(8);
            c.Add(q.getColumn(0).getInt(), q.getColumn(1).getInt(), q.getColumn(2).getInt(),
                  q.getColumn(9).getInt(), q.getColumn(3).getDouble(), q.getColumn(4).getDouble(),
                  q.getColumn(5).getDouble(),
                  ReadChecksum::Date({d1.getText(), static_cast<size_t>(d1.getBytes())}),
                  q.getColumn(6).getString(), q.getColumn(7).getString());
        }
        c.Done(state);
    }
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

void BM_Insert_SQLiteCpp(benchmark::State& state) {
    TimeInserts(state, "insert_sqlitecpp", SqliteCppOpen, [](SQLite::Database& db) {
        SQLite::Transaction tr(db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement ins(db, "INSERT INTO T VALUES (?,?,?,?,?,?,?,?,?,?)");
        for (int i = 0; i < kInsertRows; ++i) {
            InsertedRow r(i);
            ins.bind(1, r.id);
            ins.bind(2, r.i1);
            ins.bind(3, r.i2);
            ins.bind(4, r.f1);
            ins.bind(5, r.f2);
            ins.bind(6, r.f3);
            ins.bind(7, InsertedRow::kS1);
            ins.bind(8, InsertedRow::kS2);
            ins.bind(9, r.d1);
            ins.bind(10, r.b1);
            ins.exec();
            ins.reset();
        }
        tr.commit();
    });
}
#endif

#ifdef QUANTORA_BENCH_SOCI_SQLITE
std::unique_ptr<soci::session> SociOpen(const std::string& path) {
    auto sql = std::make_unique<soci::session>(*soci::factory_sqlite3(), "db=" + path);
    *sql << "PRAGMA synchronous=FULL";
    return sql;
}

void BM_Read_SociSqlite(benchmark::State& state) {
    auto sql = SociOpen(Reads().path);
    for (auto _ : state) quantora::bench::SociRead(*sql, "T").Done(state);
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

void BM_Insert_SociSqlite(benchmark::State& state) {
    TimeInserts(state, "insert_soci", SociOpen,
                [](soci::session& sql) { quantora::bench::SociInsert(sql, "T", kInsertRows); });
}
#endif

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

// The variants of each workload run in rounds (see RegisterRounds), the baseline first.
const std::vector<std::pair<const char*, quantora::bench::BenchFunction>> kReads = {
    {"BM_Read_RawSqlite", BM_Read_RawSqlite},
    {"BM_Read_TQuery", BM_Read_TQuery},
#ifdef QUANTORA_BENCH_SQLITECPP
    {"BM_Read_SQLiteCpp", BM_Read_SQLiteCpp},
#endif
#ifdef QUANTORA_BENCH_SOCI_SQLITE
    {"BM_Read_SociSqlite", BM_Read_SociSqlite},
#endif
};
const std::vector<std::pair<const char*, quantora::bench::BenchFunction>> kInserts = {
    {"BM_Insert_RawPrepared", BM_Insert_RawPrepared},
    {"BM_Insert_LiveQuery", BM_Insert_LiveQuery},
#ifdef QUANTORA_BENCH_SQLITECPP
    {"BM_Insert_SQLiteCpp", BM_Insert_SQLiteCpp},
#endif
#ifdef QUANTORA_BENCH_SOCI_SQLITE
    {"BM_Insert_SociSqlite", BM_Insert_SociSqlite},
#endif
};
constexpr int kRounds = 7;
const bool kRegistered = [] {
    quantora::bench::RegisterRounds(kRounds, kReads, benchmark::kMillisecond, 0.3);
    quantora::bench::RegisterRounds(kRounds, kInserts, benchmark::kMillisecond, 0.3);
    return true;
}();
BENCHMARK(BM_OpenInsert_EmptyTable)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_OpenInsert_LargeTable)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
    const std::string read = "read 1,000,000 rows x 10 columns: ",
                      insert = "insert 100,000 rows, one transaction: ";
    return quantora::bench::RunWithRatios(
        argc, argv,
        {{read + "TQuery / raw SQLite", "BM_Read_TQuery", "BM_Read_RawSqlite", 1.3},
         {read + "SQLiteCpp / raw SQLite", "BM_Read_SQLiteCpp", "BM_Read_RawSqlite", 0},
         {read + "SOCI / raw SQLite", "BM_Read_SociSqlite", "BM_Read_RawSqlite", 0},
         {read + "TQuery / fastest peer",
          "BM_Read_TQuery",
          "",
          1.0,
          {"BM_Read_SQLiteCpp", "BM_Read_SociSqlite"}},
         {insert + "live query / raw prepared", "BM_Insert_LiveQuery", "BM_Insert_RawPrepared",
          1.5},
         {insert + "SQLiteCpp / raw prepared", "BM_Insert_SQLiteCpp", "BM_Insert_RawPrepared", 0},
         {insert + "SOCI / raw prepared", "BM_Insert_SociSqlite", "BM_Insert_RawPrepared", 0},
         {insert + "live query / fastest peer",
          "BM_Insert_LiveQuery",
          "",
          1.0,
          {"BM_Insert_SQLiteCpp", "BM_Insert_SociSqlite"}},
         {"open live SELECT * + insert one: 1,000,000 rows / empty", "BM_OpenInsert_LargeTable",
          "BM_OpenInsert_EmptyTable", 1.5}});
}
