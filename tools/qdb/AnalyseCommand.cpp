// qdb analyse: the peak evaluation of one stored spectrum (a peak table, optionally CSV), or of
// every spectrum of a project or of listed measurements that has none yet, on all cores.
#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/FileReplacement.h"
#include "quantora/base/Format.h"
#include "quantora/lab/PeakEvalBatch.h"
#include "tools/qdb/Commands.h"
#include "tools/qdb/LabSupport.h"
#include "tools/qdb/Progress.h"

namespace qdbtool {

using quantora::Format;

namespace {

const char* const kAlias = "qdb_analyse";

// Prints the peak table of an evaluation and returns the peaks as CSV text.
std::string PrintPeaks(const quantora::PeakEvalRun& run) {
    const auto& r = run.result;
    PrintNotes(run);
    std::printf("%4s %10s %11s %8s %12s %9s %9s %8s  %s\n", "#", "channel", "energy keV", "+-",
                "area", "+-", "FWHM keV", "chi2/dof", "nuclide");
    std::string csv =
        "energy_kev,energy_unc_kev,area,area_unc,fwhm_kev,channel,channel_unc,fwhm_channels,"
        "decision_threshold,detection_limit,nuclide\n";
    for (size_t i = 0; i < r.peaks.size(); ++i) {
        const auto& p = r.peaks[i];
        const char* nuclide = run.nuclides[i].c_str();
        std::printf("%4zu %10.2f %11.2f %8.3f %12.1f %9.1f %9.3f %8.2f  %s\n", i + 1, p.channel,
                    p.energy, p.energyUnc, p.area, p.areaUnc, p.fwhmKeV,
                    r.regions[static_cast<size_t>(p.region)].reducedChiSquare(), nuclide);
        csv += Format("%.4f,%.4f,%.3f,%.3f,%.4f,%.3f,%.4f,%.4f,%.3f,%.3f,%s\n", p.energy,
                      p.energyUnc, p.area, p.areaUnc, p.fwhmKeV, p.channel, p.channelUnc, p.fwhm,
                      p.decisionThreshold, p.detectionLimit, nuclide);
    }
    if (run.peakEvalId > 0)
        std::printf("%zu peaks stored as peak evaluation %d\n", r.peaks.size(), run.peakEvalId);
    return csv;
}

// Every listed spectrum that has no evaluation yet, on `jobs` threads.
int Archive(const std::vector<int>& spectra, const quantora::PeakEvalRunOptions& options,
            int jobs) {
    const std::vector<int> todo = quantora::SpectraWithoutPeakEval(kAlias, spectra);
    std::printf("%zu spectra, %zu without a peak evaluation\n", spectra.size(), todo.size());
    ProgressBar bar(static_cast<int>(todo.size()));
    int stored = 0, failed = 0;
    quantora::EvaluateSpectra(
        kAlias, todo, options, jobs, [&](const quantora::PeakEvalBatchItem& r) {
            const std::string line =
                r.evaluated
                    ? Format("spectrum %d: %zu peaks", r.spectrumId, r.peaks)
                    : Format("spectrum %d: not evaluated: %s", r.spectrumId, r.error.c_str());
            (r.evaluated ? stored : failed)++;
            if (!r.evaluated) {
                bar.Clear();
                std::fprintf(stderr, "%s\n", line.c_str());
            }
            bar.Step(line);
        });
    bar.Finish();
    std::printf("%d spectra evaluated, %d failed\n", stored, failed);
    return failed ? 1 : 0;
}

}  // namespace

int CmdAnalyse(const Args& in) {
    Args args = in;
    quantora::PeakEvalRunOptions options;
    const int spectrum = TakeKey(args, "--spectrum", "spectrum id");
    const int project = TakeKey(args, "--project", "project id");
    const std::vector<int> measurements = TakeKeyList(args, "--measurements", "measurement id");
    options.settingId = TakeKey(args, "--setting", "setting id");
    options.libraryIds = TakeKeyList(args, "--library", "library id");
    const std::string csv = TakeOption(args, "--csv");
    int jobs = TakeKey(args, "--jobs", "number of jobs");
    if (args.size() != 1 || (spectrum > 0) + (project > 0) + !measurements.empty() != 1)
        throw UsageError();
    if (jobs < 0) jobs = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    OpenLabDatabase(kAlias, args[0]);
    if (spectrum > 0) {
        const quantora::PeakEvalRun run =
            quantora::EvaluateStoredSpectrum(kAlias, spectrum, options);
        const std::string text = PrintPeaks(run);
        if (!csv.empty()) quantora::WriteFileReplacing(csv, text);
        return 0;
    }
    if (!csv.empty()) throw Exception("--csv goes with --spectrum");
    // The default setting is made once, before the workers would race to make it.
    if (options.settingId < 0) options.settingId = quantora::DefaultPeakEvalSetting(kAlias);
    const std::vector<int> spectra = project > 0
                                         ? quantora::SpectraOfProject(kAlias, project)
                                         : quantora::SpectraOfMeasurements(kAlias, measurements);
    return Archive(spectra, options, jobs);
}

}  // namespace qdbtool
