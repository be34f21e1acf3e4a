// Reading plot data from the lab database.
#include "quantora/plots/LabPlotData.h"

#include <cmath>
#include <map>
#include <memory>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/AnalysisRetrieval.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/calibration/FwhmCalStorage.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/StoredSpectra.h"
#include "quantora/nuclides/Decay.h"
#include "quantora/nuclides/Radlib.h"
#include "quantora/records/Meastables.h"

namespace quantora::plots {
namespace {

constexpr double kSecondsPerDay = 86400.0;

// The further fit values ("name=value") of the fitted peaks of an evaluation, by fitted peak.
std::map<int, std::vector<std::string>> ReadPeakValues(const char* alias, int evalId) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(
        "SELECT PEAKEVALPEAK_ID, CMT FROM PEAKPARAMVALUE WHERE PEAKEVALPEAK_ID IN (SELECT "
        "PEAKEVALPEAK_ID FROM PEAK WHERE PEAKEVAL_ID = :e) AND CMT IS NOT NULL ORDER BY "
        "PEAKPARAMVALUE_ID");
    q.ParamByName("e")->SetAsInteger(evalId);
    std::map<int, std::vector<std::string>> out;
    for (q.Open(); !q.Eof(); q.Next())
        out[q.Fields()[0]->AsInteger()].push_back(q.Fields()[1]->AsString());
    return out;
}

// The peaks of the evaluation that applies to the spectrum, with the nuclide the evaluation
// assigned to each.
std::vector<PeakMark> ReadPeaks(const char* alias, const StoredSpectrumRow& s) {
    const int evalId = ApplicablePeakEval(alias, s.rec.SPECTRUM_ID);
    if (evalId < 0) return {};
    const auto values = ReadPeakValues(alias, evalId);
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(
        "SELECT P.POS, P.POSUNC, P.E, P.EUNC, P.AREA, P.AREAUNC, P.FWHM, P.FWHMUNC, P.HEIGHT, "
        "P.HEIGHTUNC, P.BKG, P.PEAKEVALPEAK_ID, F.CMT FROM PEAK P LEFT JOIN PEAKEVALPEAK F ON "
        "F.PEAKEVALPEAK_ID = P.PEAKEVALPEAK_ID WHERE P.PEAKEVAL_ID = :e ORDER BY P.POS");
    q.ParamByName("e")->SetAsInteger(evalId);
    std::vector<PeakMark> out;
    for (q.Open(); !q.Eof(); q.Next()) {
        auto f = [&](int i) { return q.Fields()[i]->IsNull() ? 0.0 : q.Fields()[i]->AsFloat(); };
        PeakMark m;
        m.channel = f(0), m.channelUnc = f(1), m.energy = f(2), m.energyUnc = f(3);
        m.area = f(4), m.areaUnc = f(5), m.fwhm = f(6), m.fwhmUnc = f(7);
        m.height = f(8), m.heightUnc = f(9), m.background = f(10);
        if (!q.Fields()[11]->IsNull()) {
            const auto v = values.find(q.Fields()[11]->AsInteger());
            if (v != values.end()) m.values = v->second;
        }
        if (!q.Fields()[12]->IsNull()) m.nuclide = q.Fields()[12]->AsString();
        if (std::isfinite(m.channel) && m.channel >= 0) out.push_back(m);
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
    s.peaks = ReadPeaks(alias, row);
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

namespace {

ECalibration RetrieveSpectrumECal(const char* alias, int spectrumId) {
    const StoredSpectrumRow row = ReadStoredSpectrumRow(alias, spectrumId);
    ECalibration cal;
    cal.SpectrumId = spectrumId;
    RetrieveECalForSpectrum(&cal, alias, row.measSetupId, row.measDate);
    return cal;
}

}  // namespace

ECalibration LoadSpectrumECal(const char* alias, int spectrumId) {
    ECalibration cal = RetrieveSpectrumECal(alias, spectrumId);
    if (cal.ECalId <= 0)
        throw Exception(Format("spectrum %d has no stored energy calibration", spectrumId));
    return cal;
}

std::optional<ECalibration> FindSpectrumECal(const char* alias, int spectrumId) {
    ECalibration cal = RetrieveSpectrumECal(alias, spectrumId);
    if (cal.ECalId <= 0 || !cal.LinearPart.IsValid()) return std::nullopt;
    return cal;
}

FwhmCalibrClass LoadSpectrumFwhmCal(const char* alias, int spectrumId) {
    ReadStoredSpectrumRow(alias, spectrumId);
    FwhmCalibrClass cal;
    RetrieveLinearFwhmCalForSpectrum(&cal, alias, spectrumId, nullptr, nullptr);
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
    // Efficiency of a line: its peak area over the photons the source emitted in the live time,
    // the certified activity decayed to the start of the measurement.
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(
        "SELECT R.E, EP.AREA, EP.AREAUNC, R.INTENSITY, R.INTENSITYUNC, SI.ACTIVITY, "
        "SI.ACTIVITYUNC, SI.CALIBRDATE, I.HALFLIFE, M.STARTDATE, (SELECT S.LIVETIME FROM "
        "SPECTRUM S WHERE S.SPECTRUM_ID = (SELECT MIN(S2.SPECTRUM_ID) FROM SPECTRUM S2 WHERE "
        "S2.MEASUREMENT_ID = M.MEASUREMENT_ID)) AS LT "
        "FROM EFFPEAK EP JOIN EFFMEASUREMENT EM ON EM.EFFMEASUREMENT_ID = EP.EFFMEASUREMENT_ID "
        "JOIN MEASUREMENT M ON M.MEASUREMENT_ID = EM.MEASUREMENT_ID "
        "JOIN RADIATION R ON R.RADIATION_ID = EP.RADIATION_ID "
        "JOIN DECAY D ON D.DECAY_ID = R.DECAY_ID JOIN ISOMER I ON I.ISOMER_ID = D.ISOMER_ID "
        "JOIN SOURCEISOMER SI ON SI.SOURCE_ID = M.SOURCE_ID AND SI.ISOMER_ID = I.ISOMER_ID "
        "WHERE EM.EFFANALYSIS_ID = :a ORDER BY R.E");
    q.ParamByName("a")->SetAsInteger(effAnalysisId);
    for (q.Open(); !q.Eof(); q.Next()) {
        bool complete = true;
        for (int i = 0; i < q.FieldCount(); ++i) complete = complete && !q.Fields()[i]->IsNull();
        if (!complete) continue;
        auto f = [&](int i) { return q.Fields()[i]->AsFloat(); };
        const double energy = f(0), area = f(1), areaUnc = f(2), intensity = f(3) / 100.0,
                     intensityUnc = f(4) / 100.0, activity = f(5), activityUnc = f(6),
                     halfLife = f(8), liveTime = f(10);
        const double elapsed =
            (q.Fields()[9]->AsDateTime() - q.Fields()[7]->AsDateTime()) * kSecondsPerDay;
        if (!(area > 0 && intensity > 0 && activity > 0 && liveTime > 0 && halfLife > 0)) continue;
        const double emitted = DecayedActivity(activity, elapsed, halfLife) * intensity * liveTime;
        EffPoint p;
        p.energy = energy;
        p.eff = area / emitted;
        p.effUnc =
            p.eff * std::sqrt(std::pow(areaUnc / area, 2) + std::pow(intensityUnc / intensity, 2) +
                              std::pow(activityUnc / activity, 2));
        if (std::isfinite(p.eff) && std::isfinite(p.effUnc)) d.points.push_back(p);
    }
    return d;
}

}  // namespace quantora::plots
