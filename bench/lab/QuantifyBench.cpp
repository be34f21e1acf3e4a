// Quantifying the IAEA Marinelli standard (8,192 channels, its background subtracted) through
// the spectra's stored peak evaluations, against the same quantification evaluating both spectra
// anew. Neither stores anything. The time per quantification and the ratio are printed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/common/RatioReporter.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/lab/Certificates.h"
#include "quantora/lab/PeakEvalRun.h"
#include "quantora/lab/Quantification.h"
#include "quantora/lab/SourceEfficiency.h"
#include "quantora/lab/SpectrumImport.h"
#include "quantora/nuclides/GammaLineTable.h"
#include "quantora/nuclides/NuclideLibrary.h"

namespace {

using namespace quantora;

constexpr const char* kDb = "bench";
const std::string kData = QUANTORA_SHARED_DATA;

struct BenchLab {
    std::string file;
    int sample = -1, background = -1, library = -1, efficiency = -1;

    BenchLab() {
        file = (std::filesystem::temp_directory_path() /
                ("quantora_bench_lab_" + std::to_string(getpid()) + ".db"))
                   .string();
        OpenDatabase(kDb, "sqlite:" + file);
        CreateSchema(kDb);
        TQuery q;
        q.SetDatabaseName(kDb);
        q.SetSQL("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'p')");
        q.ExecSQL();
        SpectrumImportTarget target;
        target.projectId = 1;
        sample = ImportSpectrumFile(kDb, kData + "/sources/spectra/maricsmall.spe", target)
                     .spectrumIds.at(0);
        background = ImportSpectrumFile(kDb, kData + "/sources/spectra/BGSMALLMARI.spe", target)
                         .spectrumIds.at(0);
        CountingKeyGen keys(1, kDb);
        LoadGammaLineTable(kDb, kData + "/nuclides/gamma_lines.csv", &keys, nullptr);
        library = MakeNuclideLibrary(
            kDb, "marinelli",
            std::vector<AnsiString>{"Am-241", "Cd-109", "Ce-139", "Co-57", "Cs-134", "Cs-137",
                                    "Hg-203", "Mn-54", "Sn-113", "Y-88", "Zn-65", "K-40", "Pb-214",
                                    "Bi-214", "Pb-212", "Tl-208", "Ac-228", "Ra-226"});
        const AnsiString cert = kData + "/sources/maric_500ml_marinelli.csv";
        SourceEfficiencyOptions eo;
        eo.spectrumId = sample;
        eo.backgroundSpectrumId = background;
        eo.sourceId = StoreSource(kDb, "Marinelli", ReadCertificate(cert), cert);
        eo.libraryIds = {library};
        efficiency = FitSourceEfficiency(kDb, eo).effAnalysisId;
        PeakEvalRunOptions ro;
        ro.libraryIds = {library};
        for (int id : {sample, background}) EvaluateStoredSpectrum(kDb, id, ro);
    }
    ~BenchLab() {
        CloseDatabase(kDb);
        std::filesystem::remove(file);
    }

    QuantifyOptions Options(bool reevaluate) const {
        QuantifyOptions o;
        o.spectrumId = sample;
        o.backgroundSpectrumId = background;
        o.libraryIds = {library};
        o.effAnalysisId = efficiency;
        o.reevaluate = reevaluate;
        o.store = false;
        return o;
    }
};

const BenchLab& Lab() {
    static const BenchLab lab;
    return lab;
}

void BM_QuantifyStored(benchmark::State& state) {
    const QuantifyOptions o = Lab().Options(false);
    for (auto _ : state) benchmark::DoNotOptimize(Quantify(kDb, o));
}

void BM_QuantifyEvaluating(benchmark::State& state) {
    const QuantifyOptions o = Lab().Options(true);
    for (auto _ : state) benchmark::DoNotOptimize(Quantify(kDb, o));
}

BENCHMARK(BM_QuantifyStored)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantifyEvaluating)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Lab();
    quantora::bench::RatioReporter reporter(
        {{"quantify from the stored evaluations / evaluating anew", "BM_QuantifyStored",
          "BM_QuantifyEvaluating", 0.5}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
