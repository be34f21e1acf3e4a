// Activities of the nuclides of a spectrum.
#include "quantora/lab/Quantification.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <span>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/AnalysisRetrieval.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/lab/BackgroundAnalysis.h"
#include "quantora/records/Resulttables.h"

namespace quantora {
namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kRangeSlack = 0.1;  // efficiency curves are used 10 % beyond their points

// The mass (kg) of the measurement's sample, 0 when it has none.
double SampleMass(const char* db, int measurementId) {
    TQuery q;
    q.SetDatabaseName(db);
    q.SetSQL(
        "SELECT S.SAMPLEWEIGHT FROM SAMPLE S JOIN MEASUREMENT M ON M.SAMPLE_ID = S.SAMPLE_ID "
        "WHERE M.MEASUREMENT_ID = :m");
    q.ParamByName("m")->SetAsInteger(measurementId);
    q.Open();
    if (q.Eof() || q.Fields()[0]->IsNull()) return 0;
    const double m = q.Fields()[0]->AsFloat();
    return m > 0 ? m : 0;
}

// The spectrum's current stored evaluation, or a new one (stored with the quantification).
PeakEvalRun Evaluation(const char* db, int spectrumId, const PeakEvalRunOptions& ro,
                       bool reevaluate) {
    if (!reevaluate)
        if (std::optional<PeakEvalRun> stored = LoadCurrentPeakEvaluation(db, spectrumId, ro))
            return std::move(*stored);
    return EvaluateStoredSpectrum(db, spectrumId, ro);
}

void Store(const char* db, Quantification& out, const QuantifyOptions& o) {
    Transaction t(db);
    if (out.run.peakEvalId < 0) StorePeakEvaluation(db, out.run, o.employeeId);
    const TDateTime now = LocalNow();
    DbKeyGen identKeys(db, "NUCLIDEIDENT", "NUCLIDEIDENT"),
        peakKeys(db, "NUCLIDEPEAK", "NUCLIDEPEAK"),
        resultKeys(db, "ACTIVITYRESULT", "ACTIVITYRESULT");
    NUCLIDEIDENTData ident;
    ident.PEAKEVAL_ID = out.run.peakEvalId;
    ident.EMPLOYEE_ID = o.employeeId;
    ident.CREATIONDATE = now;
    const AnsiString background =
        o.backgroundSpectrumId > 0     ? Format("background spectrum %d", o.backgroundSpectrumId)
        : out.backgroundAnalysisId > 0 ? Format("background analysis %d", out.backgroundAnalysisId)
                                       : AnsiString("no background");
    ident.CMT = Format("activities of spectrum %d at %s, efficiency analysis %d, %s", o.spectrumId,
                       FormatIsoDateTime(out.reference).c_str(), out.efficiency.EffAnalysisId,
                       background.c_str());
    ident.Insert(&identKeys, db, nullptr);
    out.nuclideIdentId = ident.NUCLIDEIDENT_ID;
    NUCLIDEPEAKData np;
    ACTIVITYRESULTData ar;
    for (QuantifiedNuclide& n : out.nuclides) {
        int lines = 0;
        for (const QuantifiedLine& l : n.lines) {
            lines += l.used ? 1 : 0;
            if (!l.used || l.counts.peak < 0) continue;
            np.Reset();
            np.NUCLIDEIDENT_ID = ident.NUCLIDEIDENT_ID;
            np.PEAK_ID = out.run.peakIds[static_cast<size_t>(l.counts.peak)];
            np.EMPLOYEE_ID = o.employeeId;
            np.CREATIONDATE = now;
            np.CMT = Format("%s %.3f keV", n.nuclide.c_str(), l.energy);
            np.Insert(&peakKeys, db, nullptr);
        }
        ar.Reset();
        ar.NUCLIDEIDENT_ID = ident.NUCLIDEIDENT_ID;
        ar.SPECTRUM_ID = o.spectrumId;
        ar.ISOMER_ID = n.isomerId;
        ar.EFFANALYSIS_ID = out.efficiency.EffAnalysisId;
        ar.REFERENCEDATE = out.reference;
        ar.ACTIVITY = n.activity.activity;
        ar.ACTIVITYUNC = n.activity.uncertainty;
        ar.DECISIONTHRESHOLD = n.activity.decisionThreshold;
        ar.DETECTIONLIMIT = n.activity.detectionLimit;
        ar.DETECTED = n.activity.detected;
        ar.UNIT = out.unit;
        ar.LINES = lines;
        ar.EMPLOYEE_ID = o.employeeId;
        ar.CREATIONDATE = now;
        ar.CMT = n.nuclide;
        if (n.cascade) ar.CMT += ", cascade summing";
        if (!n.supportedBy.empty()) ar.CMT += ", in equilibrium with " + n.supportedBy;
        if (n.FromProgeny()) ar.CMT += ", with its progeny's lines";
        ar.Insert(&resultKeys, db, nullptr);
        n.resultId = ar.ACTIVITYRESULT_ID;
    }
    t.Commit();
}

}  // namespace

Quantification Quantify(const char* dbName, const QuantifyOptions& o) {
    Quantification out;
    PeakEvalRunOptions ro;
    ro.settingId = o.settingId;
    ro.libraryIds = o.libraryIds;
    ro.store = false;
    out.run = Evaluation(dbName, o.spectrumId, ro, o.reevaluate);
    const StoredSpectrumRow& row = out.run.spectrum.row;
    if (o.effAnalysisId > 0) {
        RetrieveEffCal(&out.efficiency, o.effAnalysisId, dbName);
        if (!out.efficiency.Valid)
            throw quantora::NotFoundError(
                Format("no efficiency analysis with EFFANALYSIS_ID = %d", o.effAnalysisId));
    } else if (RetrieveDefaultEffCalForMeas(&out.efficiency, dbName, row.measSetupId,
                                            row.measDate) < 0 ||
               !out.efficiency.Valid) {
        throw Exception(
            Format("no efficiency analysis holds for the setup of spectrum %d at its "
                   "date: name one with its EFFANALYSIS_ID",
                   o.spectrumId));
    }
    PeakEvalRun background;
    if (o.backgroundSpectrumId > 0)
        background = Evaluation(dbName, o.backgroundSpectrumId, ro, o.reevaluate);
    const SPECTRUMData& rec = row.rec;
    out.start = rec.SPECOLLSTARTEDAT > 0 ? rec.SPECOLLSTARTEDAT : row.measDate;
    const double liveTime = rec.LIVETIME, realTime = rec.TRUETIME > 0 ? rec.TRUETIME : liveTime;
    if (!(out.start > 0) || !(liveTime > 0))
        throw Exception(Format("spectrum %d has no start or live time", o.spectrumId));
    out.reference = o.reference > 0 ? o.reference : out.start;
    out.mass = SampleMass(dbName, rec.MEASUREMENT_ID);
    if (out.mass > 0) out.unit = "Bq/kg";
    // The background: the spectrum named, or the analysis valid for the setup at the date.
    std::vector<BackgroundLine> backgroundLines =
        o.backgroundSpectrumId > 0
            ? BackgroundLines(background)
            : ValidBackground(dbName, row.measSetupId, row.measDate, &out.backgroundAnalysisId);
    const LineCounter counter(out.run, std::move(backgroundLines));
    const PeakEvalCalibration& s = out.run.setting;
    const double k = s.DecisionThresholdK;
    const std::vector<NuclideLine>& lines = out.run.lines.lines;

    // The lines each nuclide is measured by, and which of them another nuclide shares.
    const double lo =
        out.efficiency.HasRange() ? out.efficiency.LowerEnergy * (1 - kRangeSlack) : 0;
    const double hi =
        out.efficiency.HasRange() ? out.efficiency.UpperEnergy * (1 + kRangeSlack) : 1e9;
    std::map<int, QuantifiedNuclide> byIsomer;
    for (const auto& [isomerId, info] : out.run.lines.isomers) {
        byIsomer[isomerId].nuclide = info.nuclide;
        byIsomer[isomerId].supportedBy = info.supportedBy;
        byIsomer[isomerId].isomerId = isomerId;
    }
    std::map<std::string, int> isomerOf;
    for (const auto& [isomerId, info] : out.run.lines.isomers) isomerOf[info.nuclide] = isomerId;
    const double tol = std::max(s.LineMatchToleranceKeV, 1.0);
    // The lines within the tolerance of `l` (the lines are sorted by energy).
    auto near = [&](const NuclideLine& l) {
        auto cmp = [](const NuclideLine& m, double e) { return m.energy < e; };
        return std::span<const NuclideLine>(
            std::lower_bound(lines.begin(), lines.end(), l.energy - tol, cmp),
            std::lower_bound(lines.begin(), lines.end(), l.energy + tol, cmp));
    };
    // Whether a nuclide other than `a` and `b` has a line at the energy of `l`.
    auto sharedBeyond = [&](const NuclideLine& l, int a, int b) {
        for (const NuclideLine& m : near(l))
            if (m.isomerId != a && m.isomerId != b && m.intensity >= o.minIntensity) return true;
        return false;
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const NuclideLine& l = lines[i];
        if (l.intensity < o.minIntensity || l.energy < lo || l.energy > hi ||
            counter.ChannelOf(l.energy) < 0)
            continue;
        QuantifiedLine q;
        q.line = static_cast<int>(i);
        q.energy = l.energy;
        q.shared = sharedBeyond(l, l.isomerId, -1);
        byIsomer[l.isomerId].lines.push_back(q);
        // A member of a series in equilibrium measures its parent as well, where the parent has
        // no line of its own at that energy.
        const NuclideInfo& info = out.run.lines.isomers.at(l.isomerId);
        const auto parent = isomerOf.find(info.supportedBy);
        if (parent == isomerOf.end()) continue;
        bool parentHasIt = false;
        for (const NuclideLine& m : near(l))
            parentHasIt = parentHasIt || m.isomerId == parent->second;
        if (parentHasIt) continue;
        q.progeny = info.nuclide;
        q.progenyIsomer = l.isomerId;
        q.branching = info.supportBranching;
        q.shared = sharedBeyond(l, l.isomerId, parent->second);
        byIsomer[parent->second].lines.push_back(q);
    }
    // The activity of nuclide `isomerId` from line `q`, less `otherCounts` of other nuclides.
    auto lineActivity = [&](QuantifiedLine& q, int isomerId, double otherCounts, double otherUnc) {
        const NuclideLine& l = lines[static_cast<size_t>(q.line)];
        const NuclideInfo& info = out.run.lines.isomers.at(isomerId);
        q.counts = counter.Count(q.line);
        const double delay = (out.start - out.reference) * kSecondsPerDay;
        analysis::LineInput in;
        in.net = q.counts.net - otherCounts;
        in.netUnc = std::hypot(q.counts.netUnc, otherUnc);
        in.uncNoPeak = std::hypot(q.counts.uncNoPeak, otherUnc);
        in.efficiency = out.efficiency.Efficiency(l.energy);
        in.efficiencyUnc = out.efficiency.EfficiencyUnc(l.energy);
        in.intensity = l.intensity * q.branching;
        in.intensityUnc = l.intensityUnc * q.branching;
        in.liveTime = liveTime;
        in.decay = analysis::DecayFactor(info.DecayHalfLife(), delay, realTime);
        in.decayRelUnc = analysis::DecayFactorRelUnc(info.DecayHalfLife(), info.DecayHalfLifeUnc(),
                                                     delay, realTime);
        in.mass = out.mass;
        q.activity = analysis::ActivityOfLine(in, k);
    };
    // First the nuclides with lines of their own, from those lines only.
    for (auto& [isomerId, n] : byIsomer) {
        bool own = false;
        for (const QuantifiedLine& q : n.lines) own = own || !q.shared;
        if (!own) continue;
        std::vector<analysis::LineActivity> used;
        for (QuantifiedLine& q : n.lines) {
            if (q.shared) continue;
            lineActivity(q, isomerId, 0, 0);
            q.used = q.counts.inRange && q.activity.valid;
            if (q.used) used.push_back(q.activity);
        }
        n.activity = analysis::CombineLines(used, k);
    }
    // Then those measured only by shared lines: the other nuclides' share comes off.
    for (auto& [isomerId, n] : byIsomer) {
        if (n.activity.lines > 0) continue;
        std::vector<analysis::LineActivity> used;
        for (QuantifiedLine& q : n.lines) {
            double other = 0, otherVar = 0;
            for (const auto& [otherId, m] : byIsomer) {
                if (otherId == isomerId || otherId == q.progenyIsomer || m.activity.lines == 0)
                    continue;
                for (size_t j = 0; j < lines.size(); ++j) {
                    const NuclideLine& l = lines[j];
                    if (l.isomerId != otherId || std::fabs(l.energy - q.energy) > 1.0) continue;
                    // Counts the other nuclide's activity puts in this line.
                    QuantifiedLine probe;
                    probe.line = static_cast<int>(j);
                    lineActivity(probe, otherId, 0, 0);
                    if (!(probe.activity.w > 0)) continue;
                    const double c = m.activity.activity / probe.activity.w;
                    other += c;
                    otherVar += std::pow(m.activity.uncertainty / probe.activity.w, 2);
                }
            }
            lineActivity(q, isomerId, other, std::sqrt(otherVar));
            q.used = q.counts.inRange && q.activity.valid;
            if (q.used) used.push_back(q.activity);
        }
        n.activity = analysis::CombineLines(used, k);
    }
    for (auto& [isomerId, n] : byIsomer) {
        if (n.lines.empty()) continue;
        n.cascade = n.activity.lines > 0;
        for (const QuantifiedLine& q : n.lines)
            if (q.used)
                n.cascade =
                    n.cascade && out.run.lines.InCascade(lines[static_cast<size_t>(q.line)]);
        out.nuclides.push_back(std::move(n));
    }
    std::sort(out.nuclides.begin(), out.nuclides.end(),
              [](const QuantifiedNuclide& a, const QuantifiedNuclide& b) {
                  return a.nuclide < b.nuclide;
              });
    if (o.store) Store(dbName, out, o);
    return out;
}

std::vector<ACTIVITYRESULTData> StoredActivities(const char* dbName, int spectrumId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT * FROM ACTIVITYRESULT WHERE SPECTRUM_ID = :s AND NUCLIDEIDENT_ID = (SELECT "
        "MAX(NUCLIDEIDENT_ID) FROM ACTIVITYRESULT WHERE SPECTRUM_ID = :s2) ORDER BY CMT");
    q.ParamByName("s")->SetAsInteger(spectrumId);
    q.ParamByName("s2")->SetAsInteger(spectrumId);
    std::vector<ACTIVITYRESULTData> out;
    ACTIVITYRESULTData r;
    for (q.Open(); r.GetData(&q); q.Next()) out.push_back(r);
    return out;
}

}  // namespace quantora
