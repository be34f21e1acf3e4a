// Importing an archive of spectrum files into a fresh SQLite database, one new measurement and
// one transaction per file (`qdb spectrum import --new-measurements`, through the importer's
// batch), against reading and parsing the same files only. 2,000 files, SPE and CHN alternately,
// built from the shared decoded spectra of 4,096 to 16,384 channels (each made unique, so none is
// skipped).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/common/RatioReporter.h"
#include "quantora/base/DateTime.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/SpectrumImport.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"

namespace fs = std::filesystem;
using namespace quantora;

namespace {

constexpr int kFiles = 2000;

template <class T>
void Put(std::string& out, T v) {
    char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    out.append(b, sizeof v);
}

// A CHN file: header, counts, and a full trailer with a quadratic calibration.
std::string ChnBytes(const SpectrumFileData& s) {
    std::string out;
    Put<int16_t>(out, -1);
    Put<int16_t>(out, 1);
    Put<int16_t>(out, 1);
    out += "07";
    Put<uint32_t>(out, static_cast<uint32_t>(s.realTime * 50));
    Put<uint32_t>(out, static_cast<uint32_t>(s.liveTime * 50));
    out +=
        "17Sep121"
        "1341";
    Put<uint16_t>(out, 0);
    Put<uint16_t>(out, static_cast<uint16_t>(s.counts.size()));
    for (unsigned long c : s.counts) Put<uint32_t>(out, static_cast<uint32_t>(c));
    std::string trailer(512, '\0');
    int16_t tag = -102;
    float cal[3] = {0.5f, 0.25f, 1e-8f};
    std::memcpy(&trailer[0], &tag, 2);
    std::memcpy(&trailer[4], cal, sizeof cal);
    return out + trailer;
}

struct Archive {
    fs::path dir = fs::temp_directory_path() / ("bench_spectrumfiles_" + std::to_string(getpid()));
    std::vector<std::string> files;

    Archive() {
        std::vector<std::vector<unsigned long>> bases;
        for (const auto& e : fs::directory_iterator(QUANTORA_SHARED_DATA "/spectra/counts")) {
            std::ifstream in(e.path());
            std::vector<unsigned long> v;
            for (unsigned long c; in >> c;) v.push_back(c);
            if (v.size() >= 4096 && v.size() <= 16384) bases.push_back(std::move(v));
        }
        if (bases.empty()) {
            std::fprintf(stderr, "bench_spectrumfiles: no shared spectra found\n");
            std::exit(1);
        }
        fs::create_directories(dir);
        for (int i = 0; i < kFiles; ++i) {
            SpectrumFileData s;
            s.counts = bases[static_cast<size_t>(i) % bases.size()];
            s.counts[static_cast<size_t>(i) % s.counts.size()] += static_cast<unsigned long>(i);
            s.liveTime = 1000 + i;
            s.realTime = 1010 + i;
            s.startTime = EncodeDateTime({2024, 1, 1 + i % 28, 12, 0, 0, 0});
            s.energyCoeffs = {0.5, 0.25, 1e-8};
            s.title = "bench " + std::to_string(i);
            const bool chn = i % 2 == 1;
            const std::string path = (dir / (std::to_string(i) + (chn ? ".chn" : ".spe"))).string();
            std::ofstream(path, std::ios::binary) << (chn ? ChnBytes(s) : FormatSpe(s));
            files.push_back(path);
        }
    }
    ~Archive() { fs::remove_all(dir); }
};

const Archive& Files() {
    static const Archive archive;
    return archive;
}

// Where the database lies: QUANTORA_BENCH_DIR, else the temporary folder.
fs::path DatabaseDir() {
    const char* dir = std::getenv("QUANTORA_BENCH_DIR");
    return dir && *dir ? fs::path(dir) : fs::temp_directory_path();
}

void Rate(benchmark::State& state) {
    state.counters["spectra/s"] =
        benchmark::Counter(static_cast<double>(kFiles) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void BM_ParseOnly(benchmark::State& state) {
    const Archive& a = Files();
    for (auto _ : state)
        for (const std::string& f : a.files) benchmark::DoNotOptimize(ReadSpectrumFile(f));
    Rate(state);
}
// Three repetitions of each: the ratio is held against the median of the three.
BENCHMARK(BM_ParseOnly)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Repetitions(3)
    ->UseRealTime();

void ImportNewMeasurements(benchmark::State& state, bool fast) {
    const Archive& a = Files();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string db = (DatabaseDir() / ("bench_spectrumfiles" + std::to_string(getpid()) +
                                                 "_" + std::to_string(run++) + ".db"))
                                   .string();
        OpenDatabase("bench_import", "sqlite:" + db);
        CreateSchema("bench_import");
        {
            TQuery q;
            q.SetDatabaseName("bench_import");
            q.SetSQL("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'archive')");
            q.ExecSQL();
        }
        state.ResumeTiming();
        SpectrumImportTarget target;
        target.projectId = 1;
        target.fastCompression = fast;
        SpectrumImporter importer("bench_import", target);
        importer.ImportFiles(a.files, [](const SpectrumFileOutcome& o) {
            if (o.refused || o.result.alreadyPresent) std::abort();
        });
        state.PauseTiming();
        CloseDatabase("bench_import");
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(db + suffix);
        state.ResumeTiming();
    }
    Rate(state);
}
void BM_ImportNewMeasurements(benchmark::State& state) {
    ImportNewMeasurements(state, false);
}
void BM_ImportNewMeasurementsFast(benchmark::State& state) {
    ImportNewMeasurements(state, true);
}
BENCHMARK(BM_ImportNewMeasurements)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Repetitions(3)
    ->UseRealTime();
BENCHMARK(BM_ImportNewMeasurementsFast)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Repetitions(3)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return quantora::bench::RunWithRatios(argc, argv,
                                          {{"import into new measurements / parse only",
                                            "BM_ImportNewMeasurements", "BM_ParseOnly", 2.0},
                                           {"the same, fast codec mode / parse only",
                                            "BM_ImportNewMeasurementsFast", "BM_ParseOnly", 2.0}});
}
