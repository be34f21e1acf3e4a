// Efficiency of a setup from a certified source's spectrum.
#include "quantora/lab/SourceEfficiency.h"

#include <algorithm>
#include <cmath>

#include "quantora/analysis/Activity.h"
#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/lab/LineCounts.h"

namespace quantora {
namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kLineMatchKeV = 1.0;     // a certified line and a table line are one within this
constexpr double kOutlierResidual = 4.0;  // off the curve of the others, in combined standard
                                          // uncertainties: left out
constexpr double kAnnihilationKeV = 511.0;
constexpr double kAnnihilationWindowKeV = 4.0;  // the broad annihilation peak reaches this far
constexpr int kMaxDegree = 4;

// The curve of degree `degree` through the used points but `skip`, at the energy of `skip`:
// its efficiency and uncertainty; false when too few points remain.
bool PredictWithout(const std::vector<EfficiencyPoint>& points, size_t skip, int degree,
                    double* eff, double* unc) {
    std::vector<double> e, v, u;
    for (size_t i = 0; i < points.size(); ++i)
        if (points[i].used && i != skip)
            e.push_back(points[i].energy), v.push_back(points[i].efficiency),
                u.push_back(points[i].efficiencyUnc);
    if (static_cast<int>(e.size()) < degree + 2) return false;
    EffCalibration c;
    c.Fit(e.data(), v.data(), u.data(), static_cast<int>(e.size()), degree, true);
    *eff = c.Efficiency(points[skip].energy);
    *unc = c.EfficiencyUnc(points[skip].energy);
    return true;
}

// Each used point against the curve of the others: (measured - predicted) over the combined
// uncertainty; 0 where too few points remain.
std::vector<double> LeaveOneOutZ(const std::vector<EfficiencyPoint>& points, int degree) {
    std::vector<double> z(points.size(), 0.0);
    for (size_t i = 0; i < points.size(); ++i) {
        double eff = 0, unc = 0;
        if (points[i].used && PredictWithout(points, i, degree, &eff, &unc))
            z[i] = (points[i].efficiency - eff) / std::hypot(points[i].efficiencyUnc, unc);
    }
    return z;
}

// The degree (1 to 4) whose curves through all points but one predict each left-out point best.
int ChooseDegree(const std::vector<EfficiencyPoint>& points, int used) {
    int best = 1;
    double bestScore = HUGE_VAL;
    for (int d = 1; d <= std::min(kMaxDegree, used - 2); ++d) {
        double score = 0;
        for (double z : LeaveOneOutZ(points, d)) score += z * z;
        if (score < bestScore) best = d, bestScore = score;
    }
    return best;
}

// The index in `lines` of the isomer's line nearest `energy` within kLineMatchKeV, or -1.
int LineNear(const NuclideLines& lines, int isomerId, double energy) {
    int best = -1;
    for (size_t i = 0; i < lines.lines.size(); ++i) {
        const NuclideLine& l = lines.lines[i];
        if (l.isomerId != isomerId || std::fabs(l.energy - energy) > kLineMatchKeV) continue;
        if (best < 0 || std::fabs(l.energy - energy) <
                            std::fabs(lines.lines[static_cast<size_t>(best)].energy - energy))
            best = static_cast<int>(i);
    }
    return best;
}

void StoreAnalysis(const char* db, SourceEfficiency& out, const SourceEfficiencyOptions& o) {
    Transaction t(db);
    StorePeakEvaluation(db, out.run, o.employeeId);
    const TDateTime now = LocalNow();
    const StoredSpectrumRow& row = out.run.spectrum.row;
    EFFANALYSISData ea;
    ea.CopyFromEffCalibr(&out.curve);
    ea.NAME =
        (o.name.empty() ? Format("Efficiency from spectrum %d, source %d", o.spectrumId, o.sourceId)
                        : o.name)
            .substr(0, 100);
    ea.CHISQUARE = out.chiSquare;
    ea.EMPLOYEE_ID = o.employeeId;
    ea.CREATIONDATE = now;
    ea.TENTATIVE = "N";
    ea.MEASNUM = 1;
    ea.ISABSOLUTE = true;
    ea.PEAKINTLIMIT = 100.0 * o.minIntensity;
    if (out.curve.InRange(661.657)) {
        ea.EFFICIENCY = out.curve.Efficiency(661.657);
        ea.EFFICIENCYUNC = out.curve.EfficiencyUnc(661.657);
    }
    DbKeyGen analysisKeys(db, "EFFANALYSIS", "EFFANALYSIS"),
        measurementKeys(db, "EFFMEASUREMENT", "EFFMEASUREMENT"), peakKeys(db, "EFFPEAK", "EFFPEAK");
    ea.Insert(&analysisKeys, db, nullptr);
    out.effAnalysisId = ea.EFFANALYSIS_ID;
    // The analysis holds for the setup from the calibration measurement on.
    if (row.measSetupId > 0 && row.measDate > 0)
        InsertSetupValidity(EFFANALYSISData::Names(), db, row.measSetupId, row.measDate,
                            ea.EFFANALYSIS_ID);
    EFFMEASUREMENTData em;
    em.MEASUREMENT_ID = row.rec.MEASUREMENT_ID;
    em.EFFANALYSIS_ID = ea.EFFANALYSIS_ID;
    em.PEAKEVAL_ID = out.run.peakEvalId;
    em.CHISQUARE = out.chiSquare;
    em.EMPLOYEE_ID = o.employeeId;
    em.CREATIONDATE = now;
    em.Insert(&measurementKeys, db, nullptr);
    EFFPEAKData ep;
    for (const EfficiencyPoint& p : out.points) {
        if (p.peak < 0) continue;
        ep.Reset();
        ep.PEAK_ID = out.run.peakIds[static_cast<size_t>(p.peak)];
        ep.RADIATION_ID = p.radiationId;
        ep.EFFMEASUREMENT_ID = em.EFFMEASUREMENT_ID;
        ep.MEASE = std::log(p.energy);
        ep.MEASEUNC = 0;
        ep.AREA = p.net;
        ep.AREAUNC = p.netUnc;
        ep.CHI = p.residual;
        ep.CREATIONDATE = now;
        ep.EMPLOYEE_ID = o.employeeId;
        ep.CMT =
            Format("efficiency=%.8g+-%.4g; emitted=%.8g; background=%.6g%s%s", p.efficiency,
                   p.efficiencyUnc, p.emitted, p.background, p.cascade ? "; cascade summing" : "",
                   p.outlier        ? "; outlier"
                   : p.annihilation ? "; beside the annihilation peak"
                   : p.used         ? ""
                                    : "; not fitted");
        ep.Insert(&peakKeys, db, nullptr);
    }
    t.Commit();
}

}  // namespace

SourceEfficiency FitSourceEfficiency(const char* dbName, const SourceEfficiencyOptions& o) {
    SourceEfficiency out;
    out.certificate = LoadSource(dbName, o.sourceId);
    PeakEvalRunOptions ro;
    ro.settingId = o.settingId;
    ro.libraryIds = o.libraryIds;
    for (const CertifiedNuclide& n : out.certificate.nuclides) ro.isomerIds.push_back(n.isomerId);
    ro.store = false;
    out.run = EvaluateStoredSpectrum(dbName, o.spectrumId, ro);
    PeakEvalRun background;
    if (o.backgroundSpectrumId > 0)
        background = EvaluateStoredSpectrum(dbName, o.backgroundSpectrumId, ro);
    const SPECTRUMData& rec = out.run.spectrum.row.rec;
    const TDateTime start =
        rec.SPECOLLSTARTEDAT > 0 ? rec.SPECOLLSTARTEDAT : out.run.spectrum.row.measDate;
    const double liveTime = rec.LIVETIME, realTime = rec.TRUETIME > 0 ? rec.TRUETIME : liveTime;
    if (!(start > 0) || !(liveTime > 0))
        throw Exception(
            Format("spectrum %d has no start or live time: the photons the source "
                   "emitted during the count are unknown",
                   o.spectrumId));
    const LineCounter counter(out.run, o.backgroundSpectrumId > 0 ? BackgroundLines(background)
                                                                  : std::vector<BackgroundLine>{});
    auto addPoint = [&](const CertifiedNuclide& n, int line, double perSecond, double relUnc) {
        const NuclideLine& l = out.run.lines.lines[static_cast<size_t>(line)];
        const LineCounts c = counter.Count(line);
        if (!c.inRange) return;
        EfficiencyPoint p;
        p.nuclide = l.nuclide;
        p.radiationId = l.radiationId;
        p.energy = l.energy;
        p.net = c.net, p.netUnc = c.netUnc, p.background = c.background;
        p.peak = c.peak;
        const double delay = (start - n.reference) * kSecondsPerDay;
        const double d = analysis::DecayFactor(n.halfLife, delay, realTime);
        const double dRel = analysis::DecayFactorRelUnc(n.halfLife, n.halfLifeUnc, delay, realTime);
        p.emitted = perSecond * liveTime * d;
        p.emittedRelUnc = std::hypot(relUnc, dRel);
        p.cascade = out.run.lines.InCascade(l);
        if (p.peak >= 0 && p.net > 0 && p.emitted > 0) {
            p.efficiency = p.net / p.emitted;
            p.efficiencyUnc = p.efficiency * std::hypot(p.netUnc / p.net, p.emittedRelUnc);
        }
        bool kept = true;
        for (double e : o.leaveOut) kept = kept && std::fabs(e - p.energy) > kLineMatchKeV;
        // The annihilation peak, broader than any line, takes counts from lines beside it.
        p.annihilation = std::fabs(p.energy - kAnnihilationKeV) < kAnnihilationWindowKeV;
        p.used = p.efficiency > 0 && kept && (o.fitCascades || !p.cascade) && !p.annihilation;
        out.points.push_back(p);
    };
    for (const CertifiedNuclide& n : out.certificate.nuclides) {
        if (out.certificate.emissionRate) {
            for (const CertifiedLine& cl : n.lines) {
                const int line = LineNear(out.run.lines, n.isomerId, cl.energyKeV);
                if (line >= 0) addPoint(n, line, cl.rate, cl.rateUnc / cl.rate);
            }
            continue;
        }
        for (size_t i = 0; i < out.run.lines.lines.size(); ++i) {
            const NuclideLine& l = out.run.lines.lines[i];
            if (l.isomerId != n.isomerId || l.intensity < o.minIntensity ||
                counter.ChannelOf(l.energy) < 0)
                continue;
            addPoint(n, static_cast<int>(i), n.activity * l.intensity,
                     std::hypot(n.activityUnc / n.activity, l.intensityUnc / l.intensity));
        }
    }
    std::sort(
        out.points.begin(), out.points.end(),
        [](const EfficiencyPoint& a, const EfficiencyPoint& b) { return a.energy < b.energy; });
    int n = 0;
    for (const EfficiencyPoint& p : out.points) n += p.used ? 1 : 0;
    int degree = o.degree > 0 ? o.degree : std::clamp(n - 3, 1, kMaxDegree);
    if (n < degree + 1)
        throw Exception(
            Format("%d certified line(s) with a peak in spectrum %d: an efficiency "
                   "curve of degree %d needs at least %d",
                   n, o.spectrumId, degree, degree + 1));
    // Unless given, the degree is the one that predicts left-out points best; a point far off
    // the curve through the others (a line that decayed away, so that another line took its
    // place) goes, the worst first, while enough remain.
    for (;;) {
        if (o.degree <= 0 && n >= 4) degree = ChooseDegree(out.points, n);
        if (n <= degree + 2) break;
        const std::vector<double> z = LeaveOneOutZ(out.points, degree);
        size_t worst = 0;
        for (size_t i = 0; i < z.size(); ++i)
            if (std::fabs(z[i]) > std::fabs(z[worst])) worst = i;
        if (std::fabs(z[worst]) < kOutlierResidual) break;
        out.points[worst].used = false;
        out.points[worst].outlier = true;
        --n;
    }
    std::vector<double> e, eff, unc;
    for (const EfficiencyPoint& p : out.points)
        if (p.used)
            e.push_back(p.energy), eff.push_back(p.efficiency), unc.push_back(p.efficiencyUnc);
    out.curve.Fit(e.data(), eff.data(), unc.data(), n, degree, true);
    out.chiSquare = 0;
    for (EfficiencyPoint& p : out.points) {
        if (!(p.efficiency > 0)) continue;
        p.residual = (p.efficiency - out.curve.Efficiency(p.energy)) / p.efficiencyUnc;
        if (p.used) out.chiSquare += p.residual * p.residual;
    }
    out.dof = n - degree - 1;
    if (o.store) StoreAnalysis(dbName, out, o);
    return out;
}

}  // namespace quantora
