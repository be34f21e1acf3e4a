// Reading plot data from the lab database.
#include "quantora/plots/LabPlotData.h"

#include <cmath>
#include <memory>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/AnalysisRetrieval.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/lab/EvaluationPeaks.h"
#include "quantora/lab/MeasuredEfficiencies.h"
#include "quantora/lab/SpectrumCalibrations.h"
#include "quantora/lab/StoredSpectra.h"
#include "quantora/nuclides/Radlib.h"

namespace quantora::plots {
namespace {

// The peaks of the evaluation that applies to the spectrum, with the nuclide the evaluation
// assigned to each; unknown values as 0.
std::vector<PeakMark> ReadPeaks(const char* alias, int spectrumId) {
    std::vector<PeakMark> out;
    for (StoredPeak& p : SpectrumPeaks(alias, spectrumId)) {
        auto v = [](double x) { return std::isnan(x) ? 0.0 : x; };
        PeakMark m;
        m.channel = v(p.channel), m.channelUnc = v(p.channelUnc), m.energy = v(p.energy);
        m.energyUnc = v(p.energyUnc), m.area = v(p.area), m.areaUnc = v(p.areaUnc);
        m.fwhm = v(p.fwhm), m.fwhmUnc = v(p.fwhmUnc), m.height = v(p.height);
        m.heightUnc = v(p.heightUnc), m.background = v(p.background);
        m.values = std::move(p.values);
        m.nuclide = std::move(p.nuclide);
        if (std::isfinite(m.channel) && m.channel >= 0) out.push_back(std::move(m));
    }
    return out;
}

}  // namespace

std::string MatchNuclide(RadiationLibrary& library, double energy, double energyUnc) {
    std::vector<AnsiString> ids;
    library.GetMatchingRadiations(energy, energyUnc, ids);
    const RADIATIONData* best = nullptr;
    for (const AnsiString& id : ids)
        if (const RADIATIONData* r = library.GetRadiationData(id))
            if (!best || r->INTENSITY > best->INTENSITY) best = r;
    if (!best) return {};
    const DECAYData* d = library.GetDecayData(best->DECAY_ID);
    const ISOMERData* iso = d ? library.GetIsomerData(d->ISOMER_ID) : nullptr;
    if (!iso) return {};
    std::string name = iso->SYMBOL;
    if (iso->ISOMERNUM > 0) name += "m";
    return name;
}

SpectrumSeries LoadSpectrumSeries(const char* alias, int spectrumId, RadiationLibrary* library) {
    StoredSpectrumRow row = ReadStoredSpectrumRow(alias, spectrumId);
    std::vector<unsigned long> counts;
    try {
        row.rec.UncompressCounts(&counts);
    } catch (const std::exception& e) {
        throw Exception(Format("spectrum %d: the counts cannot be read: %s", spectrumId, e.what()));
    }
    SpectrumSeries s;
    // Named after its measurement, which tells the lab what was measured; the spectrum's own
    // name says which of its spectra this is.
    const AnsiString own = row.rec.NAME.empty() ? Format("spectrum %d", spectrumId) : row.rec.NAME;
    s.name = row.measName.empty() ? own : row.measName;
    s.detail = own;
    s.counts.assign(counts.begin(), counts.end());
    s.liveTime = row.rec.LIVETIME;
    auto cal = std::make_shared<ECalibration>();
    cal->SpectrumId = spectrumId;
    RetrieveECalForSpectrum(cal.get(), alias, row.measSetupId, row.measDate);
    const bool calibrated = cal->ECalId > 0 && cal->LinearPart.IsValid();
    if (calibrated) {
        s.energyOf = [cal](double ch) { return cal->Energy(ch); };
        s.channelOf = [cal](double e) { return cal->Channel(e); };
    }
    s.peaks = ReadPeaks(alias, spectrumId);
    for (PeakMark& m : s.peaks) {
        if (m.energy <= 0 && calibrated) {
            m.energy = cal->Energy(m.channel);
            m.energyUnc = cal->EnergyUnc(m.channel, m.channelUnc);
        }
        if (calibrated && m.fwhm > 0)
            m.fwhmKeV = cal->Energy(m.channel + m.fwhm / 2) - cal->Energy(m.channel - m.fwhm / 2);
        if (library && m.energy > 0) {
            const double unc = calibrated
                                   ? std::max(m.energyUnc, cal->EnergyUnc(m.channel, m.channelUnc))
                                   : m.energyUnc;
            if (std::string n = MatchNuclide(*library, m.energy, unc); !n.empty()) m.nuclide = n;
        }
    }
    return s;
}

ECalibration LoadSpectrumECal(const char* alias, int spectrumId) {
    ECalibration cal = SpectrumECal(alias, spectrumId);
    if (cal.ECalId <= 0)
        throw Exception(Format("spectrum %d has no stored energy calibration", spectrumId));
    return cal;
}

std::optional<ECalibration> FindSpectrumECal(const char* alias, int spectrumId) {
    ECalibration cal = SpectrumECal(alias, spectrumId);
    if (cal.ECalId <= 0 || !cal.LinearPart.IsValid()) return std::nullopt;
    return cal;
}

FwhmCalibrClass LoadSpectrumFwhmCal(const char* alias, int spectrumId) {
    FwhmCalibrClass cal = SpectrumFwhmCal(alias, spectrumId);
    if (cal.FwhmCalId <= 0)
        throw Exception(Format("spectrum %d has no FWHM calibration", spectrumId));
    return cal;
}

EffAnalysisData LoadEffAnalysis(const char* alias, int effAnalysisId) {
    EffAnalysisData d;
    RetrieveEffCal(&d.cal, effAnalysisId, alias);
    if (!d.cal.Valid)
        throw quantora::NotFoundError(
            Format("no efficiency analysis with EFFANALYSIS_ID = %d", effAnalysisId));
    if (!d.cal.Absolute) return d;  // measured points are absolute; a relative curve has no scale
    for (const MeasuredEfficiency& m : MeasuredEfficiencies(alias, effAnalysisId))
        d.points.push_back({m.energy, m.eff, m.effUnc});
    return d;
}

}  // namespace quantora::plots
