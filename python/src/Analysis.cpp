// db.analyse(): a peak evaluation run without the GIL, its peaks as a numpy structured array.
#include "python/src/Analysis.h"

#include <cstring>

#include "python/src/Spectra.h"
#include "python/src/Values.h"
#include "quantora/lab/PeakEvalRun.h"
#include "quantora/lab/Quantification.h"

namespace py = pybind11;

namespace quantora::python {
namespace {

struct NuclideResult {
    char nuclide[16];
    double activity, uncertainty, decision_threshold, detection_limit;  // in `unit`
    int32_t lines;
    bool detected, cascade;
    char unit[8];       // Bq or Bq/kg
    int64_t result_id;  // the stored ACTIVITYRESULT_ID; -1 when not stored
};

template <size_t N>
void CopyText(char (&out)[N], const std::string& text) {
    std::strncpy(out, text.c_str(), N - 1);
    out[N - 1] = 0;
}

struct EvaluatedPeak {
    int64_t peak_id;  // the stored PEAK_ID; -1 when not stored
    double energy, energy_unc, area, area_unc, fwhm, fwhm_unc;  // keV, counts
    double channel, channel_unc, fwhm_channels;
    double decision_threshold, detection_limit;  // counts
    char nuclide[16];                            // of the line the peak is, empty for none
};

}  // namespace

void RegisterAnalysisTypes() {
    PYBIND11_NUMPY_DTYPE(NuclideResult, nuclide, activity, uncertainty, decision_threshold,
                         detection_limit, lines, detected, cascade, unit, result_id);
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
            CopyText(e.nuclide, run.nuclides[i]);
            rows.push_back(e);
        }
    }
    return ToArray(std::move(rows));
}

py::array Quantify(const DbPtr& db, int spectrumId, const std::vector<int>& libraryIds,
                   std::optional<int> efficiencyId, std::optional<int> backgroundId,
                   py::object reference, bool store) {
    QuantifyOptions o;
    o.spectrumId = spectrumId;
    o.libraryIds = libraryIds;
    o.store = store;
    if (libraryIds.empty()) throw py::value_error("no radiation library ids given");
    if (!reference.is_none()) {
        const std::optional<TDateTime> t = DateTimeValue(reference);
        if (!t) throw py::type_error("reference must be a datetime or a date");
        o.reference = *t;
    }
    std::vector<NuclideResult> rows;
    {
        py::gil_scoped_release unlocked;
        const char* alias = db->Alias();
        RequireRow(alias, "SPECTRUM", "SPECTRUM_ID", spectrumId);
        for (int id : libraryIds) RequireRow(alias, "RADIATIONLIBRARY", "RADIATIONLIBRARY_ID", id);
        if (efficiencyId) {
            RequireRow(alias, "EFFANALYSIS", "EFFANALYSIS_ID", *efficiencyId);
            o.effAnalysisId = *efficiencyId;
        }
        if (backgroundId) {
            RequireRow(alias, "SPECTRUM", "SPECTRUM_ID", *backgroundId);
            o.backgroundSpectrumId = *backgroundId;
        }
        const Quantification q = quantora::Quantify(alias, o);
        for (const QuantifiedNuclide& n : q.nuclides) {
            NuclideResult r{};
            CopyText(r.nuclide, n.nuclide);
            r.activity = n.activity.activity, r.uncertainty = n.activity.uncertainty;
            r.decision_threshold = n.activity.decisionThreshold;
            r.detection_limit = n.activity.detectionLimit;
            r.lines = n.activity.lines;
            r.detected = n.activity.detected, r.cascade = n.cascade;
            CopyText(r.unit, q.unit);
            r.result_id = n.resultId;
            rows.push_back(r);
        }
    }
    return ToArray(std::move(rows));
}

py::array Activities(const DbPtr& db, int spectrumId) {
    std::vector<NuclideResult> rows;
    {
        py::gil_scoped_release unlocked;
        const char* alias = db->Alias();
        RequireRow(alias, "SPECTRUM", "SPECTRUM_ID", spectrumId);
        for (const ACTIVITYRESULTData& a : StoredActivities(alias, spectrumId)) {
            NuclideResult r{};
            const std::string cmt = a.CMT;
            const size_t comma = cmt.find(',');
            CopyText(r.nuclide, cmt.substr(0, comma));
            r.activity = a.ACTIVITY, r.uncertainty = a.ACTIVITYUNC;
            r.decision_threshold = a.DECISIONTHRESHOLD, r.detection_limit = a.DETECTIONLIMIT;
            r.lines = a.LINES;
            r.detected = a.DETECTED, r.cascade = comma != std::string::npos;
            CopyText(r.unit, a.UNIT);
            r.result_id = a.ACTIVITYRESULT_ID;
            rows.push_back(r);
        }
    }
    return ToArray(std::move(rows));
}

}  // namespace quantora::python
