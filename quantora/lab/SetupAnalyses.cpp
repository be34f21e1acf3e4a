// Resolution and nonlinearity analyses of a setup from its stored calibration evaluations.
#include "quantora/lab/SetupAnalyses.h"

#include <algorithm>
#include <cmath>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"

namespace quantora {
namespace {

// A matched peak of a run and its library line.
struct Point {
    const PeakEvalRun* run;
    size_t peak;
    const NuclideLine* line;
};

std::vector<Point> MatchedPeaks(const PeakEvalRun& run) {
    std::vector<Point> out;
    for (const analysis::LineMatch& m : run.recalibration.matches)
        if (m.used)
            out.push_back(
                {&run, static_cast<size_t>(m.peak), &run.lines.lines[static_cast<size_t>(m.line)]});
    return out;
}

// The setup the analysis holds for: the one named, else the first spectrum's.
int SetupOf(const SetupAnalysisOptions& o, const std::vector<const PeakEvalRun*>& runs) {
    const int setup = o.setupId > 0 ? o.setupId : runs.at(0)->spectrum.row.measSetupId;
    if (setup <= 0) throw Exception("no measurement setup for the analysis to hold for");
    return setup;
}

// The columns every analysis row of these kinds shares, set on `a`.
template <class A>
void SetAnalysisRow(A& a, const SetupAnalysisOptions& o, TDateTime created, double chiSquare) {
    a.CHISQUARE = chiSquare;
    a.EMPLOYEE_ID = o.employeeId;
    a.CREATIONDATE = created;
    a.PROJECT_ID = o.projectId;
    a.TENTATIVE = "N";
    a.PEAKINTLIMIT = 100.0;
}

// The rows of one kind and their keys.
struct ResolKind {
    using A = RESOLANALYSISData;
    using M = RESOLMEASUREMENTData;
    static constexpr int A::*key = &A::RESOLANALYSIS_ID;
    static constexpr int M::*measKey = &M::RESOLMEASUREMENT_ID;
    static constexpr int M::*measAnalysis = &M::RESOLANALYSIS_ID;
};
struct NonlinKind {
    using A = NONLINANALYSISData;
    using M = NONLINMEASUREMENTData;
    static constexpr int A::*key = &A::NONLINANALYSIS_ID;
    static constexpr int M::*measKey = &M::NONLINMEASUREMENT_ID;
    static constexpr int M::*measAnalysis = &M::NONLINANALYSIS_ID;
};

// Inserts analysis `a` valid for the setup and a measurement row per run; the measurement key
// of each run.
template <class K>
std::vector<int> InsertAnalysis(const char* db, typename K::A& a,
                                const std::vector<const PeakEvalRun*>& runs,
                                const SetupAnalysisOptions& o, TDateTime created) {
    const AnalysisNames& names = K::A::Names();
    DbKeyGen analysisKeys(db, names.table, names.table),
        measKeys(db, names.measTable, names.measTable);
    const int setup = SetupOf(o, runs);
    TDateTime validFrom = o.validFrom;
    if (!(validFrom > 0))
        for (const PeakEvalRun* r : runs) validFrom = std::max(validFrom, r->spectrum.row.measDate);
    a.Insert(&analysisKeys, db, nullptr);
    InsertSetupValidity(names, db, setup, validFrom, a.*K::key);
    std::vector<int> out;
    for (const PeakEvalRun* r : runs) {
        typename K::M m;
        m.*K::measAnalysis = a.*K::key;
        m.MEASUREMENT_ID = r->spectrum.row.rec.MEASUREMENT_ID;
        m.PEAKEVAL_ID = r->peakEvalId;
        m.CHISQUARE = a.CHISQUARE;
        m.EMPLOYEE_ID = o.employeeId;
        m.CREATIONDATE = created;
        m.Insert(&measKeys, db, nullptr);
        out.push_back(m.*K::measKey);
    }
    return out;
}

// The peak row columns both kinds share.
template <class P>
void SetPeakRow(P& p, const Point& pt, double value, double unc, double chi,
                const SetupAnalysisOptions& o, TDateTime created) {
    p.PEAK_ID = pt.run->peakIds.at(pt.peak);
    p.RADIATION_ID = pt.line->radiationId;
    p.CHI = chi;
    p.CREATIONDATE = created;
    p.EMPLOYEE_ID = o.employeeId;
    if constexpr (requires { p.RESOLVALUE; }) {
        p.RESOLVALUE = value;
        p.RESOLVALUEUNC = unc;
    } else {
        p.NONLINVALUE = value;
        p.NONLINVALUEUNC = unc;
    }
}

}  // namespace

SetupResolution StoreSetupResolution(const char* db, const std::vector<const PeakEvalRun*>& runs,
                                     const SetupAnalysisOptions& o) {
    SetupResolution out;
    std::vector<Point> points;
    for (const PeakEvalRun* r : runs)
        for (const Point& p : MatchedPeaks(*r))
            if (r->result.peaks[p.peak].fwhmKeVUnc > 0) points.push_back(p);
    for (size_t i = 0; i < points.size(); ++i) {
        const analysis::FittedPeak& p = points[i].run->result.peaks[points[i].peak];
        out.curve.Set(static_cast<int>(i), points[i].line->energy, p.fwhmKeV,
                      points[i].line->energyUnc, p.fwhmKeVUnc, -1);
    }
    out.curve.CalcCoeff();
    if (!out.curve.Valid) throw Exception("resolution fit failed: " + out.curve.InvalidReason());
    out.points = static_cast<int>(points.size());

    const TDateTime created = o.created > 0 ? o.created : LocalNow();
    Transaction t(db);
    RESOLANALYSISData a;
    a.CopyFromResolCalibr(&out.curve);
    a.NAME = o.name.empty() ? Format("Resolution of setup %d", SetupOf(o, runs)) : o.name;
    SetAnalysisRow(a, o, created, out.curve.GetChiSquare());
    a.PEAKIDENTLIMITSIGMA = 3.0;
    a.RESOLUTION = out.curve.Fwhm(1332.492);
    const std::vector<int> meas = InsertAnalysis<ResolKind>(db, a, runs, o, created);
    DbKeyGen keys(db, "RESOLPEAK", "RESOLPEAK");
    for (const Point& pt : points) {
        const analysis::FittedPeak& p = pt.run->result.peaks[pt.peak];
        RESOLPEAKData row;
        const size_t run =
            static_cast<size_t>(std::find(runs.begin(), runs.end(), pt.run) - runs.begin());
        row.RESOLMEASUREMENT_ID = meas[run];
        row.MEASE = pt.line->energy;
        row.MEASEUNC = pt.line->energyUnc;
        SetPeakRow(row, pt, p.fwhmKeV, p.fwhmKeVUnc,
                   (p.fwhmKeV - out.curve.Fwhm(pt.line->energy)) / p.fwhmKeVUnc, o, created);
        row.Insert(&keys, db, nullptr);
    }
    t.Commit();
    out.resolAnalysisId = a.RESOLANALYSIS_ID;
    return out;
}

SetupNonlinearity StoreSetupNonlinearity(const char* db, const PeakEvalRun& run,
                                         const SetupAnalysisOptions& o, int degree) {
    SetupNonlinearity out;
    double a = 0, b = 0;
    run.spectrum.ecal.LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
    const std::vector<Point> points = MatchedPeaks(run);
    if (static_cast<int>(points.size()) < degree + 2)
        throw Exception(Format("nonlinearity of degree %d needs %d matched peaks, found %zu",
                               degree, degree + 2, points.size()));
    std::vector<double> ch, dev, unc;
    for (const Point& pt : points) {
        const analysis::FittedPeak& p = run.result.peaks[pt.peak];
        ch.push_back(p.channel);
        dev.push_back(p.channel - (pt.line->energy - a) / b);
        unc.push_back(std::hypot(p.channelUnc, pt.line->energyUnc / b));
    }
    out.curve.Fit(ch.data(), dev.data(), unc.data(), static_cast<int>(ch.size()), degree);
    for (size_t i = 0; i < ch.size(); ++i)
        out.chiSquare += std::pow((dev[i] - out.curve.Deviation(ch[i])) / unc[i], 2);
    const size_t channels = run.spectrum.counts.size();
    for (size_t x = 0; x < channels; x += 16)
        out.largest = std::max(out.largest, std::fabs(out.curve.Deviation(static_cast<double>(x))));
    out.points = static_cast<int>(points.size());

    const TDateTime created = o.created > 0 ? o.created : LocalNow();
    Transaction t(db);
    NONLINANALYSISData na;
    na.CopyFromNonlinECalibr(&out.curve);
    na.NAME =
        o.name.empty() ? Format("Integral nonlinearity of setup %d", SetupOf(o, {&run})) : o.name;
    SetAnalysisRow(na, o, created, out.chiSquare);
    na.BASELINETRANS0 = 0.0;
    na.BASELINETRANS1 = 1.0;
    na.PEAKIDENTLIMITCH = 1.0;
    na.BASELINETYPE = "linear";
    na.MEASNUM = 1;
    na.NONLINEARITY = out.largest;
    const int meas = InsertAnalysis<NonlinKind>(db, na, {&run}, o, created).at(0);
    DbKeyGen keys(db, "NONLINPEAK", "NONLINPEAK");
    for (size_t i = 0; i < points.size(); ++i) {
        NONLINPEAKData row;
        row.NONLINMEASUREMENT_ID = meas;
        row.MEASCH = ch[i];
        row.MEASCHUNC = run.result.peaks[points[i].peak].channelUnc;
        SetPeakRow(row, points[i], dev[i], unc[i], (dev[i] - out.curve.Deviation(ch[i])) / unc[i],
                   o, created);
        row.Insert(&keys, db, nullptr);
    }
    t.Commit();
    out.nonlinAnalysisId = na.NONLINANALYSIS_ID;
    return out;
}

}  // namespace quantora
