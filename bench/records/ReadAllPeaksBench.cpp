// ReadAllPeaks (a set ordered by key plus the energy index) against reading the same rows with
// raw SQLite calls into a plain vector (the ten columns a caller typically uses, and all 21 the
// record holds); peak memory of each is reported as a counter. The memory is the process's high
// mark, so each run shows the most of itself and the runs before it.
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/common/RatioReporter.h"
#include "quantora/dblayer/Database.h"
#include "quantora/records/Peaktables.h"

namespace {

constexpr int kPeaks = 1000000;

struct Fixture {
    std::string path = "/tmp/quantora_bench_peaks_" + std::to_string(getpid()) + ".db";
    Fixture() {
        for (const char* s : {"", "-wal", "-shm"}) std::remove((path + s).c_str());
        OpenDatabase("bench_peaks", "sqlite:" + path);
        CreateSchema("bench_peaks");
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO PEAK (PEAK_ID, PEAKEVAL_ID, POS, POSUNC, E, EUNC, AREA, "
                           "AREAUNC, FWHM, FWHMUNC) VALUES (?,?,?,?,?,?,?,?,?,?)",
                           -1, &st, nullptr);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> energy(20.0, 3000.0);
        for (int i = 1; i <= kPeaks; ++i) {
            double e = energy(rng);
            double v[] = {e * 2.7, 0.05, e, 0.02, 1000.0 + i % 977, 35.0, 1.9, 0.04};
            sqlite3_bind_int(st, 1, i);
            sqlite3_bind_int(st, 2, 1 + i % 100);
            for (int k = 0; k < 8; ++k) sqlite3_bind_double(st, 3 + k, v[k]);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    ~Fixture() {
        CloseDatabase("bench_peaks");
        for (const char* s : {"", "-wal", "-shm"}) std::remove((path + s).c_str());
    }
};
Fixture& Peaks() {
    static Fixture f;
    return f;
}

double MaxRssMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

struct RawPeak {
    int id, eval;
    double pos, posunc, e, eunc, area, areaunc, fwhm, fwhmunc;
};

void BM_ReadAllPeaks_RawVector(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open(Peaks().path.c_str(), &db);
    for (auto _ : state) {
        std::vector<RawPeak> peaks;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT PEAK_ID, PEAKEVAL_ID, POS, POSUNC, E, EUNC, AREA, AREAUNC, "
                           "FWHM, FWHMUNC FROM PEAK",
                           -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            RawPeak p{sqlite3_column_int(st, 0), sqlite3_column_int(st, 1), 0, 0, 0, 0, 0, 0, 0, 0};
            double* d = &p.pos;
            for (int k = 0; k < 8; ++k) d[k] = sqlite3_column_double(st, 2 + k);
            peaks.push_back(p);
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(peaks.data());
    }
    sqlite3_close(db);
    state.counters["max_rss_MiB"] = MaxRssMiB();
    state.SetItemsProcessed(state.iterations() * kPeaks);
}

// Every column the record holds (SELECT *), nulls read as the record's reset values, into a
// vector: the same data as the records' run without the set, the index and the field layer.
struct RawFullPeak {
    int ids[4];         // PEAK_ID, PEAKEVAL_ID, PEAKEVALPEAK_ID, EMPLOYEE_ID
    double values[17];  // the floats and the creation date, in column order
};

void BM_ReadAllPeaks_RawAllColumns(benchmark::State& state) {
    static constexpr bool kIsInt[21] = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                                        0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    sqlite3* db = nullptr;
    sqlite3_open(Peaks().path.c_str(), &db);
    for (auto _ : state) {
        std::vector<RawFullPeak> peaks;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM PEAK", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            RawFullPeak p{};
            int ni = 0, nd = 0;
            for (int c = 0; c < 21; ++c) {
                const bool null = sqlite3_column_type(st, c) == SQLITE_NULL;
                if (kIsInt[c])
                    p.ids[ni++] = null ? -1 : sqlite3_column_int(st, c);
                else
                    p.values[nd++] = null ? -1.0 : sqlite3_column_double(st, c);
            }
            peaks.push_back(p);
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(peaks.data());
    }
    sqlite3_close(db);
    state.counters["max_rss_MiB"] = MaxRssMiB();
    state.SetItemsProcessed(state.iterations() * kPeaks);
}

void BM_ReadAllPeaks_Records(benchmark::State& state) {
    Peaks();
    for (auto _ : state) {
        std::set<PEAKData> peaks;
        std::multiset<PEAKData*, EIndexedPeaksSetSorter> byEnergy;
        TQuery q;
        q.SetDatabaseName("bench_peaks");
        q.SetSQL("SELECT * FROM PEAK");
        ReadAllPeaks(&q, &peaks, &byEnergy);
        benchmark::DoNotOptimize(peaks.size() + byEnergy.size());
    }
    state.counters["max_rss_MiB"] = MaxRssMiB();
    state.SetItemsProcessed(state.iterations() * kPeaks);
}

// The raw run goes first so its peak memory is not inflated by the records' run.
BENCHMARK(BM_ReadAllPeaks_RawVector)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadAllPeaks_RawAllColumns)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadAllPeaks_Records)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    return quantora::bench::RunWithRatios(
        argc, argv,
        {{"ReadAllPeaks of 1,000,000 peaks (set + energy index) / raw rows into a vector",
          "BM_ReadAllPeaks_Records", "BM_ReadAllPeaks_RawVector", 0},
         {"ReadAllPeaks of 1,000,000 peaks / raw rows of all 21 columns into a vector",
          "BM_ReadAllPeaks_Records", "BM_ReadAllPeaks_RawAllColumns", 0}});
}
