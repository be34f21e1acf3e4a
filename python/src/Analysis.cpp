// db.analyse(): a peak evaluation run without the GIL, its peaks as a numpy structured array.
#include "python/src/Analysis.h"

#include <cstring>

#include "python/src/Spectra.h"
#include "quantora/lab/PeakEvalRun.h"

namespace py = pybind11;

namespace quantora::python {
namespace {

struct EvaluatedPeak {
    int64_t peak_id;  // the stored PEAK_ID; -1 when not stored
    double energy, energy_unc, area, area_unc, fwhm, fwhm_unc;  // keV, counts
    double channel, channel_unc, fwhm_channels;
    double decision_threshold, detection_limit;  // counts
    char nuclide[16];                            // of the line the peak is, empty for none
};

}  // namespace

void RegisterAnalysisTypes() {
    PYBIND11_NUMPY_DTYPE(EvaluatedPeak, peak_id, energy, energy_unc, area, area_unc, fwhm, fwhm_unc,
                         channel, channel_unc, fwhm_channels, decision_threshold, detection_limit,
                         nuclide);
}

py::array Analyse(const DbPtr& db, int spectrumId, std::optional<int> settingId,
                  const std::vector<int>& libraryIds, bool store) {
    std::vector<EvaluatedPeak> rows;
    {
        py::gil_scoped_release unlocked;
        const char* alias = db->Alias();
        RequireRow(alias, "SPECTRUM", "SPECTRUM_ID", spectrumId);
        PeakEvalRunOptions options;
        if (settingId) {
            RequireRow(alias, "PEAKEVALCAL", "PEAKEVALCAL_ID", *settingId);
            options.settingId = *settingId;
        }
        for (int id : libraryIds) RequireRow(alias, "RADIATIONLIBRARY", "RADIATIONLIBRARY_ID", id);
        options.libraryIds = libraryIds;
        options.store = store;
        const PeakEvalRun run = EvaluateStoredSpectrum(alias, spectrumId, options);
        for (size_t i = 0; i < run.result.peaks.size(); ++i) {
            const analysis::FittedPeak& p = run.result.peaks[i];
            EvaluatedPeak e{};
            e.peak_id = i < run.peakIds.size() ? run.peakIds[i] : -1;
            e.energy = p.energy, e.energy_unc = p.energyUnc;
            e.area = p.area, e.area_unc = p.areaUnc;
            e.fwhm = p.fwhmKeV, e.fwhm_unc = p.fwhmKeVUnc;
            e.channel = p.channel, e.channel_unc = p.channelUnc, e.fwhm_channels = p.fwhm;
            e.decision_threshold = p.decisionThreshold, e.detection_limit = p.detectionLimit;
            std::strncpy(e.nuclide, run.nuclides[i].c_str(), sizeof e.nuclide - 1);
            rows.push_back(e);
        }
    }
    return ToArray(std::move(rows));
}

}  // namespace quantora::python
