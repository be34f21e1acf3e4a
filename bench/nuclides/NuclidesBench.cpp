// The radiation library on the evaluated gamma-line table: matching random peak energies through
// the interval index against a linear scan over every line (same queries, same run), loading
// the library from the database, and loading the table file into the database.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/common/RatioReporter.h"
#include "quantora/dblayer/Database.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/nuclides/GammaLineTable.h"
#include "quantora/nuclides/Radlib.h"

namespace {

const std::string kTable = std::string(QUANTORA_SHARED_DATA) + "/nuclides/gamma_lines.csv";
constexpr size_t kMinLines = 100000;
constexpr int kQueries = 1000000;

std::string TempPath(const char* name) {
    return "/tmp/quantora_bench_" + std::to_string(getpid()) + "_" + name + ".db";
}

void RemoveDb(const std::string& path) {
    for (const char* s : {"", "-wal", "-shm", "-journal"}) std::remove((path + s).c_str());
}

// A database holding the table as often as needed for kMinLines matchable lines, the library
// loaded from it, and the random peaks (energy, uncertainty) to match.
struct Library {
    std::string path = TempPath("radlib");
    AnsiString alias = "bench_radlib";
    std::vector<int> ids;
    RadiationLibrary lib;
    std::vector<std::pair<double, double>> peaks;

    Library() {
        RemoveDb(path);
        OpenDatabase(alias, "sqlite:" + path);
        CreateSchema(alias);
        quantora::CountingKeyGen keys(1);
        do {
            ids.push_back(quantora::LoadGammaLineTable(alias, kTable, &keys, nullptr).libraryId);
            lib.Load(alias, ids);
        } while (lib.Radiations().size() < kMinLines);
        // Peak energies over the usual HPGe range; fit uncertainties from 5 eV to 0.5 keV.
        std::mt19937_64 rng(7);
        std::uniform_real_distribution<double> energy(20.0, 3000.0), exponent(-2.3, -0.3);
        peaks.reserve(kQueries);
        for (int i = 0; i < kQueries; ++i)
            peaks.emplace_back(energy(rng), std::pow(10.0, exponent(rng)));
        std::printf(
            "library: %zu matchable lines in %zu copies of the table, largest line "
            "uncertainty %.1f keV\n",
            lib.Radiations().size(), ids.size(), lib.LargestLineUncertainty());
    }
    ~Library() {
        CloseDatabase(alias);
        RemoveDb(path);
    }
};

Library& Shared() {
    static Library library;
    return library;
}

// The baseline: every line checked with the same rule, over a contiguous array.
struct LinearScan {
    std::vector<RadiationBound> lines;
    double f;

    explicit LinearScan(const RadiationLibrary& lib)
        : lines(lib.Bounds().ByLower()), f(lib.ToleranceFactor) {}

    void Match(double energy, double unc, std::vector<AnsiString>& out) const {
        const double lower = energy - f * unc, upper = energy + f * unc, u2 = unc * unc;
        for (const RadiationBound& b : lines) {
            if (b.LowerBound > upper || b.UpperBound < lower) continue;
            const double d = (static_cast<double>(b.Energy) - energy) / f;
            const double h = b.HalfWidth;
            if (d * d <= h * h + u2) out.push_back(b.RADIATION_ID);
        }
    }
};

// Both must give the same lines, or the comparison means nothing.
void CheckAgreement(Library& l, const LinearScan& scan) {
    static bool checked = false;
    if (checked) return;
    checked = true;
    std::vector<AnsiString> a, b;
    for (int i = 0; i < 2000; ++i) {
        a.clear();
        b.clear();
        l.lib.GetMatchingRadiations(l.peaks[i].first, l.peaks[i].second, a);
        scan.Match(l.peaks[i].first, l.peaks[i].second, b);
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (a != b) {
            std::fprintf(stderr, "results differ for query %d\n", i);
            std::abort();
        }
    }
}

// One iteration is one query; 1,000,000 iterations run every peak once.
void BM_GetMatchingRadiations(benchmark::State& state) {
    Library& l = Shared();
    CheckAgreement(l, LinearScan(l.lib));
    std::vector<AnsiString> out;
    size_t i = 0, found = 0;
    for (auto _ : state) {
        out.clear();
        const auto& [energy, unc] = l.peaks[i];
        l.lib.GetMatchingRadiations(energy, unc, out);
        found += out.size();
        if (++i == l.peaks.size()) i = 0;
    }
    state.counters["lines_per_query"] =
        static_cast<double>(found) / static_cast<double>(state.iterations());
    // Seconds per returned line (printed with an SI prefix: 25n is 25 ns), beside the time per
    // query.
    state.counters["time_per_line"] = benchmark::Counter(
        static_cast<double>(found), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_LinearScan(benchmark::State& state) {
    Library& l = Shared();
    LinearScan scan(l.lib);
    std::vector<AnsiString> out;
    size_t i = 0, found = 0;
    for (auto _ : state) {
        out.clear();
        const auto& [energy, unc] = l.peaks[i];
        scan.Match(energy, unc, out);
        found += out.size();
        benchmark::DoNotOptimize(out.data());
        if (++i == l.peaks.size()) i = 0;
    }
    state.counters["time_per_line"] = benchmark::Counter(
        static_cast<double>(found), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// RadiationLibrary::Load of every copy from the database (a full reload each time).
void BM_RadiationLibraryLoad(benchmark::State& state) {
    Library& l = Shared();
    RadiationLibrary lib;
    for (auto _ : state) {
        lib.Reset();
        lib.Load(l.alias, l.ids);
    }
    state.counters["lines"] = static_cast<double>(lib.Radiations().size());
}

// The whole table file into a fresh database, in one transaction.
void BM_LoadGammaLineTable(benchmark::State& state) {
    const std::string path = TempPath("load");
    const AnsiString alias = "bench_load";
    int lines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        RemoveDb(path);
        OpenDatabase(alias, "sqlite:" + path);
        CreateSchema(alias);
        quantora::CountingKeyGen keys(1);
        state.ResumeTiming();
        lines = quantora::LoadGammaLineTable(alias, kTable, &keys, nullptr).lines;
        state.PauseTiming();
        CloseDatabase(alias);
        state.ResumeTiming();
    }
    RemoveDb(path);
    state.counters["lines"] = lines;
}

BENCHMARK(BM_GetMatchingRadiations)->Iterations(kQueries)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_LinearScan)->Iterations(2000)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_RadiationLibraryLoad)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGammaLineTable)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return quantora::bench::RunWithRatios(
        argc, argv,
        {{"match a peak (1,000,000 random): radiation library / linear scan",
          "BM_GetMatchingRadiations", "BM_LinearScan", 0.05}});
}
