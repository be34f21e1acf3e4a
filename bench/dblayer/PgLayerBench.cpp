// The database layer on PostgreSQL against raw libpq and against the libraries a C++ developer
// might pick instead (SOCI, libpqxx, each when found at build time) doing the same work in the same
// run: reading 1,000,000 rows x 10 columns through field getters, inserting 100,000 rows through a
// live query, and opening a live query on a large table just to insert one row. The server is named
// by the environment variable QUANTORA_BENCH_PG (a libpq URI); each run works in a schema of its
// own.
#include <libpq-fe.h>
#include <unistd.h>

#ifdef QUANTORA_BENCH_SOCI_PG
#include <soci/postgresql/soci-postgresql.h>

#include "bench/dblayer/Soci.h"
#endif
#ifdef QUANTORA_BENCH_PQXX
#include <pqxx/pqxx>
#endif

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>

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
constexpr int kFetchRows = 2000;  // rows per FETCH of the raw cursor loop: about the layer's batch
constexpr int kPipelineBatch = 1000;
const char* kColumns =
    "(T_ID INTEGER NOT NULL PRIMARY KEY, I1 INTEGER, I2 INTEGER, F1 DOUBLE PRECISION, "
    "F2 DOUBLE PRECISION, F3 DOUBLE PRECISION, S1 VARCHAR(40), S2 VARCHAR(40), D1 TIMESTAMP, "
    "B1 SMALLINT)";
const char* kInsertSql =
    "INSERT INTO %s (T_ID, I1, I2, F1, F2, F3, S1, S2, D1, B1) "
    "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)";

std::string g_uri, g_schema;

struct PgResult {
    PGresult* r;
    explicit PgResult(PGresult* res) : r(res) {}
    ~PgResult() { PQclear(r); }
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;
};

// Throws the server's message unless `r` succeeded; the caller keeps owning `r`.
void Check(PGconn* c, const PGresult* r) {
    ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && st != PGRES_COPY_IN &&
        st != PGRES_PIPELINE_SYNC)
        throw std::runtime_error(r ? PQresultErrorMessage(r) : PQerrorMessage(c));
}

void Exec(PGconn* c, const std::string& sql) {
    PgResult r(PQexec(c, sql.c_str()));
    Check(c, r.r);
}

// A raw connection working in the run's schema.
PGconn* RawConnect() {
    PGconn* c = PQconnectdb(g_uri.c_str());
    if (PQstatus(c) != CONNECTION_OK) {
        std::string msg = PQerrorMessage(c);
        PQfinish(c);
        throw std::runtime_error("cannot connect: " + msg);
    }
    Exec(c, "SET search_path TO " + g_schema + "; SET client_min_messages = warning");
    return c;
}

struct RawConn {
    PGconn* c = RawConnect();
    ~RawConn() { PQfinish(c); }
};

// The layer's URI for the run's schema.
std::string LayerUri() {
    return g_uri + (g_uri.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" +
           g_schema;
}

void CreateTable(PGconn* c, const char* name) {
    Exec(c, std::string("DROP TABLE IF EXISTS ") + name);
    Exec(c, std::string("CREATE TABLE ") + name + " " + kColumns);
}

// `rows` rows written with COPY (set-up, not measured).
void Fill(PGconn* c, const char* name, int rows) {
    CreateTable(c, name);
    {
        PgResult copy(PQexec(c, (std::string("COPY ") + name + " FROM STDIN").c_str()));
        Check(c, copy.r);
    }
    std::string buf;
    for (int i = 0; i < rows; ++i) {
        char line[256];
        std::string d = quantora::FormatIsoDateTime(45000.0 + i / 86400.0);
        int n = std::snprintf(line, sizeof line,
                              "%d\t%d\t%d\t%.17g\t%.17g\t%.17g\tname %d\tchannel\t%s\t%d\n", i,
                              i * 3, -i, i * 0.5, i * 1e-3, 1.0 / (i + 1), i, d.c_str(), i % 100);
        buf.append(line, static_cast<size_t>(n));
        if (buf.size() > (1 << 20) || i + 1 == rows) {
            if (PQputCopyData(c, buf.data(), static_cast<int>(buf.size())) != 1)
                throw std::runtime_error(PQerrorMessage(c));
            buf.clear();
        }
    }
    if (PQputCopyEnd(c, nullptr) != 1) throw std::runtime_error(PQerrorMessage(c));
    while (PGresult* r = PQgetResult(c)) {
        PgResult res(r);
        Check(c, r);
    }
    Exec(c, std::string("ANALYZE ") + name);
}

struct ReadFixture {
    ReadFixture() {
        RawConn raw;
        Fill(raw.c, "bench_read", kReadRows);
        OpenDatabase("bench_read", LayerUri());
    }
    ~ReadFixture() { CloseDatabase("bench_read"); }
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
        q.SetSQL("SELECT * FROM bench_read");
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

// The conversions the layer does: text to integer, double and day number; strings copied.
template <class T>
T FromText(const PGresult* r, int row, int col) {
    const char* s = PQgetvalue(r, row, col);
    T v{};
    std::from_chars(s, s + PQgetlength(r, row, col), v);
    return v;
}
std::string_view Text(const PGresult* r, int row, int col) {
    return {PQgetvalue(r, row, col), static_cast<size_t>(PQgetlength(r, row, col))};
}
void AddRow(ReadChecksum& c, const PGresult* r, int row) {
    c.Add(FromText<int>(r, row, 0), FromText<int>(r, row, 1), FromText<int>(r, row, 2),
          FromText<int>(r, row, 9), FromText<double>(r, row, 3), FromText<double>(r, row, 4),
          FromText<double>(r, row, 5), ReadChecksum::Date(Text(r, row, 8)),
          std::string(Text(r, row, 6)), std::string(Text(r, row, 7)));
}

// Raw: a cursor fetched kFetchRows rows at a time (bounded memory, as the layer reads).
void BM_Read_RawCursor(benchmark::State& state) {
    Reads();
    RawConn raw;
    const std::string fetch = "FETCH FORWARD " + std::to_string(kFetchRows) + " FROM c";
    for (auto _ : state) {
        Exec(raw.c, "BEGIN");
        Exec(raw.c, "DECLARE c NO SCROLL CURSOR FOR SELECT * FROM bench_read");
        ReadChecksum s;
        for (;;) {
            PgResult r(PQexec(raw.c, fetch.c_str()));
            Check(raw.c, r.r);
            int n = PQntuples(r.r);
            for (int i = 0; i < n; ++i) AddRow(s, r.r, i);
            if (n < kFetchRows) break;
        }
        Exec(raw.c, "COMMIT");
        s.Done(state);
    }
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

// Raw: one query streamed in single-row mode (bounded memory, the connection busy meanwhile).
void BM_Read_RawSingleRow(benchmark::State& state) {
    Reads();
    RawConn raw;
    for (auto _ : state) {
        if (!PQsendQuery(raw.c, "SELECT * FROM bench_read") || !PQsetSingleRowMode(raw.c))
            throw std::runtime_error(PQerrorMessage(raw.c));
        ReadChecksum s;
        while (PGresult* r = PQgetResult(raw.c)) {
            PgResult res(r);
            if (PQresultStatus(r) == PGRES_SINGLE_TUPLE)
                AddRow(s, r, 0);
            else if (PQresultStatus(r) != PGRES_TUPLES_OK)
                throw std::runtime_error(PQresultErrorMessage(r));
        }
        s.Done(state);
    }
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

void BM_Insert_LiveQuery(benchmark::State& state) {
    RawConn raw;
    OpenDatabase("bench_insert", LayerUri());
    for (auto _ : state) {
        state.PauseTiming();
        CreateTable(raw.c, "bench_insert");
        state.ResumeTiming();
        {
            Transaction tr("bench_insert");
            TQuery q;
            q.SetDatabaseName("bench_insert");
            q.SetSQL("SELECT * FROM bench_insert");
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
    }
    CloseDatabase("bench_insert");
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

// The parameter texts of row `i`, made the way the layer makes them.
struct InsertParams {
    char buf[10][32];
    const char* values[10];
    int lengths[10];
    void Set(int i) {
        auto put = [this](int k, auto v) {
            auto r = std::to_chars(buf[k], buf[k] + sizeof buf[k], v);
            *r.ptr = '\0';
            values[k] = buf[k];
            lengths[k] = static_cast<int>(r.ptr - buf[k]);
        };
        put(0, i);
        put(1, i * 3);
        put(2, -i);
        put(3, i * 0.5);
        put(4, i * 1e-3);
        put(5, 1.0 / (i + 1));
        values[6] = "name";
        lengths[6] = 4;
        values[7] = "channel";
        lengths[7] = 7;
        char iso[quantora::kIsoDateTimeLength + 1];
        quantora::FormatIsoDateTime(45000.0 + i / 86400.0, iso);
        std::memcpy(buf[8], iso, sizeof iso);
        values[8] = buf[8];
        lengths[8] = static_cast<int>(quantora::kIsoDateTimeLength);
        put(9, i % 100);
    }
};

// Raw: a prepared INSERT executed row by row in one transaction; like Post, each row's result
// (and error) is known before the next row is sent.
void BM_Insert_RawPrepared(benchmark::State& state) {
    RawConn raw;
    char sql[256];
    std::snprintf(sql, sizeof sql, kInsertSql, "bench_insert_raw");
    for (auto _ : state) {
        state.PauseTiming();
        CreateTable(raw.c, "bench_insert_raw");
        state.ResumeTiming();
        Exec(raw.c, "BEGIN");
        {
            PgResult prep(PQprepare(raw.c, "ins", sql, 10, nullptr));
            Check(raw.c, prep.r);
        }
        InsertParams p;
        for (int i = 0; i < kInsertRows; ++i) {
            p.Set(i);
            PgResult r(PQexecPrepared(raw.c, "ins", 10, p.values, p.lengths, nullptr, 0));
            Check(raw.c, r.r);
        }
        Exec(raw.c, "DEALLOCATE ins");
        Exec(raw.c, "COMMIT");
    }
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

// Raw, for reference: what the layer sends for each Post inside a transaction (the INSERT between
// a savepoint and its release, so that a failing row leaves the transaction usable; all three
// prepared), one round trip per row. Live query / this is the layer's own overhead.
void BM_Insert_RawGuarded(benchmark::State& state) {
    RawConn raw;
    char sql[256];
    std::snprintf(sql, sizeof sql, kInsertSql, "bench_insert_guarded");
    for (auto _ : state) {
        state.PauseTiming();
        CreateTable(raw.c, "bench_insert_guarded");
        state.ResumeTiming();
        Exec(raw.c, "BEGIN");
        auto prepare = [&raw](const char* name, const char* text, int params) {
            PgResult prep(PQprepare(raw.c, name, text, params, nullptr));
            Check(raw.c, prep.r);
        };
        prepare("ins", sql, 10);
        prepare("sp", "SAVEPOINT g", 0);
        prepare("rl", "RELEASE SAVEPOINT g", 0);
        if (!PQenterPipelineMode(raw.c)) throw std::runtime_error(PQerrorMessage(raw.c));
        InsertParams p;
        for (int i = 0; i < kInsertRows; ++i) {
            p.Set(i);
            if (!PQsendQueryPrepared(raw.c, "sp", 0, nullptr, nullptr, nullptr, 0) ||
                !PQsendQueryPrepared(raw.c, "ins", 10, p.values, p.lengths, nullptr, 0) ||
                !PQsendQueryPrepared(raw.c, "rl", 0, nullptr, nullptr, nullptr, 0) ||
                !PQpipelineSync(raw.c))
                throw std::runtime_error(PQerrorMessage(raw.c));
            for (int k = 0; k < 3; ++k) {
                PgResult r(PQgetResult(raw.c));
                Check(raw.c, r.r);
                PQclear(PQgetResult(raw.c));
            }
            PgResult sync(PQgetResult(raw.c));
            Check(raw.c, sync.r);
        }
        PQexitPipelineMode(raw.c);
        Exec(raw.c, "DEALLOCATE ALL");
        Exec(raw.c, "COMMIT");
    }
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

// Raw, for reference: the same INSERTs pipelined, results read every 1,000 rows. Faster, but an
// error is known only at the end of its batch, which a row-at-a-time Post cannot offer.
void BM_Insert_RawPipelined(benchmark::State& state) {
    RawConn raw;
    char sql[256];
    std::snprintf(sql, sizeof sql, kInsertSql, "bench_insert_pipe");
    for (auto _ : state) {
        state.PauseTiming();
        CreateTable(raw.c, "bench_insert_pipe");
        state.ResumeTiming();
        Exec(raw.c, "BEGIN");
        {
            PgResult prep(PQprepare(raw.c, "ins", sql, 10, nullptr));
            Check(raw.c, prep.r);
        }
        if (!PQenterPipelineMode(raw.c)) throw std::runtime_error(PQerrorMessage(raw.c));
        InsertParams p;
        for (int i = 0; i < kInsertRows; i += kPipelineBatch) {
            int n = std::min(kPipelineBatch, kInsertRows - i);
            for (int k = 0; k < n; ++k) {
                p.Set(i + k);
                if (!PQsendQueryPrepared(raw.c, "ins", 10, p.values, p.lengths, nullptr, 0))
                    throw std::runtime_error(PQerrorMessage(raw.c));
            }
            if (!PQpipelineSync(raw.c)) throw std::runtime_error(PQerrorMessage(raw.c));
            for (int k = 0; k < n; ++k) {
                PgResult r(PQgetResult(raw.c));
                Check(raw.c, r.r);
                PQclear(PQgetResult(raw.c));  // the null that ends each command's results
            }
            PgResult sync(PQgetResult(raw.c));
            Check(raw.c, sync.r);
        }
        PQexitPipelineMode(raw.c);
        Exec(raw.c, "DEALLOCATE ins");
        Exec(raw.c, "COMMIT");
    }
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

// Runs `insert` (timed) in each iteration on a new empty table `table` (made untimed).
template <class Insert>
void TimeInserts(benchmark::State& state, const char* table, Insert insert) {
    RawConn raw;
    for (auto _ : state) {
        state.PauseTiming();
        CreateTable(raw.c, table);
        state.ResumeTiming();
        insert();
    }
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

#ifdef QUANTORA_BENCH_SOCI_PG
// SOCI's default: the statement's whole result is fetched, then handed out row by row.
void BM_Read_SociPg(benchmark::State& state) {
    Reads();
    soci::session sql(*soci::factory_postgresql(), LayerUri());
    for (auto _ : state) quantora::bench::SociRead(sql, "bench_read").Done(state);
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

void BM_Insert_SociPg(benchmark::State& state) {
    soci::session sql(*soci::factory_postgresql(), LayerUri());
    TimeInserts(state, "bench_insert_soci",
                [&sql] { quantora::bench::SociInsert(sql, "bench_insert_soci", kInsertRows); });
}
#endif

#ifdef QUANTORA_BENCH_PQXX
// libpqxx's plain way: the whole result in memory, values converted by field::as.
void BM_Read_PqxxExec(benchmark::State& state) {
    Reads();
    pqxx::connection c(LayerUri());
    for (auto _ : state) {
        pqxx::work w(c);
        pqxx::result r = w.exec("SELECT * FROM bench_read");
        ReadChecksum s;
        for (const pqxx::row& row : r)
            s.Add(row[0].as<int>(), row[1].as<int>(), row[2].as<int>(), row[9].as<int>(),
                  row[3].as<double>(), row[4].as<double>(), row[5].as<double>(),
                  ReadChecksum::Date({row[8].c_str(), row[8].size()}), row[6].as<std::string>(),
                  row[7].as<std::string>());
        w.commit();
        s.Done(state);
    }
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

// libpqxx's streaming read (COPY TO STDOUT) into a tuple per row, in bounded memory.
void BM_Read_PqxxStream(benchmark::State& state) {
    Reads();
    pqxx::connection c(LayerUri());
    for (auto _ : state) {
        pqxx::work w(c);
        pqxx::stream_from in(w, "bench_read");
        std::tuple<int, int, int, double, double, double, std::string, std::string, std::string,
                   int>
            t;
        ReadChecksum s;
        while (in >> t) {
            const auto& [id, i1, i2, f1, f2, f3, s1, s2, d1, b1] = t;
            s.Add(id, i1, i2, b1, f1, f2, f3, ReadChecksum::Date(d1), s1, s2);
        }
        in.complete();
        w.commit();
        s.Done(state);
    }
    state.SetItemsProcessed(state.iterations() * kReadRows);
}

// A prepared INSERT executed row by row in one transaction; guarded, each row in a subtransaction
// (the live query's guarantee: a failing row leaves the transaction usable).
void PqxxInserts(benchmark::State& state, const char* table, bool guarded) {
    pqxx::connection c(LayerUri());
    char sql[256];
    std::snprintf(sql, sizeof sql, kInsertSql, table);
    TimeInserts(state, table, [&] {
        c.prepare("ins", sql);
        pqxx::work w(c);
        for (int i = 0; i < kInsertRows; ++i) {
            InsertedRow r(i);
            std::optional<pqxx::subtransaction> row;
            if (guarded) row.emplace(w);
            pqxx::transaction_base& t = guarded ? static_cast<pqxx::transaction_base&>(*row) : w;
            t.exec_prepared("ins", r.id, r.i1, r.i2, r.f1, r.f2, r.f3, InsertedRow::kS1,
                            InsertedRow::kS2, r.d1, r.b1);
            if (guarded) row->commit();
        }
        w.commit();
        c.unprepare("ins");
    });
}
void BM_Insert_Pqxx(benchmark::State& state) {
    PqxxInserts(state, "bench_insert_pqxx", false);
}
void BM_Insert_PqxxGuarded(benchmark::State& state) {
    PqxxInserts(state, "bench_insert_pqxx_guarded", true);
}
#endif

// Opening a live SELECT * and inserting one row must not depend on the table's size.
void OpenAndInsertOne(benchmark::State& state, const char* table, int rows) {
    {
        RawConn raw;
        if (rows == kReadRows) {
            Reads();
            CreateTable(raw.c, table);
            Exec(raw.c, std::string("INSERT INTO ") + table + " SELECT * FROM bench_read");
            Exec(raw.c, std::string("ANALYZE ") + table);
        } else {
            Fill(raw.c, table, rows);
        }
    }
    OpenDatabase(table, LayerUri());
    int next = rows + 1;
    for (auto _ : state) {
        TQuery q;
        q.SetDatabaseName(table);
        q.SetSQL(std::string("SELECT * FROM ") + table);
        q.SetRequestLive(true);
        q.Open();
        q.Insert();
        q.FieldByName("T_ID")->SetAsInteger(next++);
        q.FieldByName("S1")->SetAsString("one more");
        q.Post();
    }
    CloseDatabase(table);
}
void BM_OpenInsert_LargeTable(benchmark::State& state) {
    OpenAndInsertOne(state, "bench_large", kReadRows);
}
void BM_OpenInsert_EmptyTable(benchmark::State& state) {
    OpenAndInsertOne(state, "bench_empty", 0);
}

// The variants of each workload run in rounds (see RegisterRounds), the baselines first.
const std::vector<std::pair<const char*, quantora::bench::BenchFunction>> kReads = {
    {"BM_Read_RawCursor", BM_Read_RawCursor}, {"BM_Read_RawSingleRow", BM_Read_RawSingleRow},
    {"BM_Read_TQuery", BM_Read_TQuery},
#ifdef QUANTORA_BENCH_SOCI_PG
    {"BM_Read_SociPg", BM_Read_SociPg},
#endif
#ifdef QUANTORA_BENCH_PQXX
    {"BM_Read_PqxxExec", BM_Read_PqxxExec},   {"BM_Read_PqxxStream", BM_Read_PqxxStream},
#endif
};
const std::vector<std::pair<const char*, quantora::bench::BenchFunction>> kInserts = {
    {"BM_Insert_RawPrepared", BM_Insert_RawPrepared},
    {"BM_Insert_RawGuarded", BM_Insert_RawGuarded},
    {"BM_Insert_RawPipelined", BM_Insert_RawPipelined},
    {"BM_Insert_LiveQuery", BM_Insert_LiveQuery},
#ifdef QUANTORA_BENCH_SOCI_PG
    {"BM_Insert_SociPg", BM_Insert_SociPg},
#endif
#ifdef QUANTORA_BENCH_PQXX
    {"BM_Insert_Pqxx", BM_Insert_Pqxx},
    {"BM_Insert_PqxxGuarded", BM_Insert_PqxxGuarded},
#endif
};
constexpr int kRounds = 5;
const bool kRegistered = [] {
    quantora::bench::RegisterRounds(kRounds, kReads, benchmark::kMillisecond, 0.1);
    quantora::bench::RegisterRounds(kRounds, kInserts, benchmark::kMillisecond, 0.1);
    return true;
}();
BENCHMARK(BM_OpenInsert_EmptyTable)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_OpenInsert_LargeTable)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// The run's schema, made before and dropped after the benchmarks.
class RunSchema {
  public:
    RunSchema() {
        g_schema = "quantora_bench_" + std::to_string(getpid());
        PGconn* c = Admin();
        Exec(c, "CREATE SCHEMA " + g_schema);
        PQfinish(c);
    }
    ~RunSchema() {
        try {
            PGconn* c = Admin();
            Exec(c, "SET client_min_messages = warning; DROP SCHEMA " + g_schema + " CASCADE");
            PQfinish(c);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "could not drop schema %s: %s\n", g_schema.c_str(), e.what());
        }
    }

  private:
    static PGconn* Admin() {
        PGconn* c = PQconnectdb(g_uri.c_str());
        if (PQstatus(c) != CONNECTION_OK) {
            std::string msg = PQerrorMessage(c);
            PQfinish(c);
            throw std::runtime_error("cannot connect to " + g_uri + ": " + msg);
        }
        return c;
    }
};

}  // namespace

int main(int argc, char** argv) {
    const char* uri = std::getenv("QUANTORA_BENCH_PG");
    if (!uri || !*uri) {
        std::fprintf(stderr,
                     "bench_dblayer_pg: set QUANTORA_BENCH_PG to a PostgreSQL server, e.g.\n"
                     "  QUANTORA_BENCH_PG=postgresql://postgres@127.0.0.1:5432/quantora_test\n");
        return 2;
    }
    g_uri = uri;
    try {
        RunSchema schema;
        const std::string read = "read 1,000,000 rows x 10 columns: ",
                          insert = "insert 100,000 rows, one transaction: ";
        return quantora::bench::RunWithRatios(
            argc, argv,
            {{read + "TQuery / raw cursor", "BM_Read_TQuery", "BM_Read_RawCursor", 1.3},
             {read + "TQuery / raw single-row", "BM_Read_TQuery", "BM_Read_RawSingleRow", 1.15},
             {read + "SOCI / raw cursor", "BM_Read_SociPg", "BM_Read_RawCursor", 0},
             {read + "libpqxx exec / raw cursor", "BM_Read_PqxxExec", "BM_Read_RawCursor", 0},
             {read + "libpqxx stream / raw cursor", "BM_Read_PqxxStream", "BM_Read_RawCursor", 0},
             {read + "TQuery / fastest peer",
              "BM_Read_TQuery",
              "",
              1.0,
              {"BM_Read_SociPg", "BM_Read_PqxxExec", "BM_Read_PqxxStream"}},
             {insert + "live query / raw prepared", "BM_Insert_LiveQuery", "BM_Insert_RawPrepared",
              1.5},
             {insert + "live query / raw, savepoint per row", "BM_Insert_LiveQuery",
              "BM_Insert_RawGuarded", 0},
             {insert + "live query / raw prepared, pipelined", "BM_Insert_LiveQuery",
              "BM_Insert_RawPipelined", 0},
             {insert + "SOCI / raw prepared", "BM_Insert_SociPg", "BM_Insert_RawPrepared", 0},
             {insert + "libpqxx / raw prepared", "BM_Insert_Pqxx", "BM_Insert_RawPrepared", 0},
             {insert + "live query / fastest peer",
              "BM_Insert_LiveQuery",
              "",
              1.0,
              {"BM_Insert_SociPg", "BM_Insert_Pqxx"}},
             {insert + "live query / libpqxx, savepoint per row", "BM_Insert_LiveQuery",
              "BM_Insert_PqxxGuarded", 0},
             {"open live SELECT * + insert one: 1,000,000 rows / empty", "BM_OpenInsert_LargeTable",
              "BM_OpenInsert_EmptyTable", 1.5}});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_dblayer_pg: %s\n", e.what());
        return 1;
    }
}
