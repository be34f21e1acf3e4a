// The demo lab's measurements: a synthetic HPGe spectrum of what is in front of the detector,
// evaluated and recalibrated from the radiation library by the library's peak evaluation run,
// then the nonlinearity, efficiency and resolution analyses of each setup.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <span>

#include "quantora/analysis/SyntheticSpectrum.h"
#include "quantora/base/Format.h"
#include "quantora/calibmodel/NonlinECalibr.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/lab/SourceEfficiency.h"
#include "quantora/records/Meastables.h"
#include "tools/qdb/DemoLab.h"

namespace qdbtool::demo {

using quantora::Format;

namespace {

constexpr double kElectronMass = 510.999;  // keV
// How a detector and its ADC turn energy into channels, and how well it sees a line.
struct DetectorModel {
    double offset = 0.4;           // keV at channel 0
    double gain = 0.3750;          // keV per channel
    double nonlinAmplitude = 0.3;  // channels; the integral nonlinearity, 0 at both ends
    double fwhmA = 0.80;           // keV^2; FWHM(E) = sqrt(a + b*E)
    double fwhmB = 0.0022;         // keV
    double effScale = 0.025;       // absolute full-energy efficiency near 150 keV
    int channels = 8192;

    double Channel(double energy) const {
        const double linear = (energy - offset) / gain;
        const double x = std::clamp(linear / channels, 0.0, 1.0);
        return linear + nonlinAmplitude * std::sin(std::numbers::pi * x) * (1.0 - 0.5 * x);
    }
    // Rising through the entrance window below ~100 keV, falling as a power law above.
    double Efficiency(double energy) const {
        const double cutoff = 1.0 - std::exp(-std::pow(energy / 60.0, 3.0));
        return effScale * std::pow(energy / 150.0, -0.9) * cutoff;
    }
    // The spectrum's model: the environmental continuum scaled by `continuum`, no lines yet.
    quantora::analysis::SyntheticSpectrumModel Model(double continuum) const {
        quantora::analysis::SyntheticSpectrumModel m;
        m.channels = channels;
        m.energyOffset = offset;
        m.energyGain = gain;
        m.widthA = (fwhmA + fwhmB * offset) / (gain * gain);
        m.widthB = fwhmB / gain;
        m.continuum = {40.0 * continuum, 900.0, 3.0 * continuum, {}};
        return m;
    }
    // A line of `counts` in its full-energy peak, and its Compton continuum up to the edge.
    void AddLine(quantora::analysis::SyntheticSpectrumModel& m, double energy,
                 double counts) const {
        const double ch = Channel(energy);
        if (ch < 5 || ch > channels - 5) return;
        m.peaks.push_back({.channel = ch, .area = counts, .step = 1e-3});
        const double k = 2 * energy / kElectronMass;
        const double edge = Channel(energy * k / (1 + k));
        if (edge > 10)
            m.continuum.shoulders.push_back(
                {edge, counts * std::min(3.0, energy / 400.0) / edge, 4.0 * m.Fwhm(edge)});
    }
};
// The detectors of the two setups differ in gain, resolution and efficiency.
const DetectorModel kDetectors[] = {{}, {-0.6, 0.37465, -0.25, 0.45, 0.0019, 0.018, 8192}};

// The ADC's nominal energy calibration of a spectrum, which its evaluation starts from. Its keys
// come from the database, as those of the calibrations the evaluation stores.
void StoreNominalECal(const DetectorModel& det, int spectrumId, TDateTime created) {
    ECalibration cal;
    cal.SpectrumId = spectrumId;
    cal.Name = "Nominal ADC gain";
    cal.CreationDate = created;
    cal.CreatedByEmpId = cal.LastModByEmpId = 3;
    for (int i = 0; i < 3; ++i) {
        const double ch = i * (det.channels - 1) / 2.0;
        cal.LinearPart.Set(i, ch, det.offset + det.gain * ch, 0.1, 0.1, -1, "", true);
    }
    cal.LinearPart.CalcCoeff();
    quantora::DbKeyGen keys(kAlias, "ECAL", "ECAL"), pointKeys(kAlias, "ECALPOINT", "ECALPOINT");
    StoreECal(&cal, &keys, &pointKeys, kAlias, nullptr, nullptr);
}

struct SetupContext {
    int index, id;
    const char* name;
    std::vector<const MeasResult*> cal;  // the setup's calibration measurements
    TDateTime created, validFrom;
};

// The library line that the recalibration of run `r` matched to peak `m.peak`.
const quantora::NuclideLine& LineOf(const MeasResult& r, const quantora::analysis::LineMatch& m) {
    return r.run.lines.lines[static_cast<size_t>(m.line)];
}

// Stores analysis `a` (NONLIN or RESOL) of setup `s`, its link to the setup and a row per
// measurement `used`; the keys of these rows.
template <class M, class A>
std::map<const MeasResult*, int> StoreAnalysis(DemoLab& lab, const SetupContext& s,
                                               const char* kind, A& a, std::string columns,
                                               Row values, double chi2,
                                               std::span<const MeasResult* const> used) {
    values.insert(values.end(), {2, s.created, 2, "N", 100.0});
    const int id =
        lab.Put(a, columns + " EMPLOYEE_ID CREATIONDATE PROJECT_ID TENTATIVE PEAKINTLIMIT", values);
    const std::string key = Format("%sANALYSIS_ID", kind);
    InsertRow(Format("MEASSETUP%s", kind).c_str(), "MEASSETUP_ID VALIDFROM " + key,
              {s.id, Variant::FromDate(s.validFrom), id});
    std::map<const MeasResult*, int> rows;
    for (const MeasResult* r : used)
        rows[r] = lab.Add<M>(key + " MEASUREMENT_ID PEAKEVAL_ID CHISQUARE EMPLOYEE_ID CREATIONDATE",
                             {id, r->measId, r->run.peakEvalId, chi2, 2, s.created});
    return rows;
}

// Nonlinearity: what the straight line of the energy calibration leaves of the Eu-152 peak
// positions.
void NonlinAnalysis(DemoLab& lab, const SetupContext& s) {
    const MeasResult& r = *s.cal.front();
    double a, b;
    r.run.spectrum.ecal.LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
    std::vector<const quantora::analysis::LineMatch*> used;
    std::vector<double> ch, dev, unc;
    for (const auto& m : r.run.recalibration.matches) {
        if (!m.used) continue;
        const auto& p = r.run.result.peaks[static_cast<size_t>(m.peak)];
        used.push_back(&m);
        ch.push_back(p.channel);
        dev.push_back(p.channel - (LineOf(r, m).energy - a) / b);
        unc.push_back(std::hypot(p.channelUnc, LineOf(r, m).energyUnc / b));
    }
    NonlinECalibr nl;
    nl.Fit(ch.data(), dev.data(), unc.data(), static_cast<int>(ch.size()), 3);
    double chi2 = 0, worst = 0;
    for (size_t i = 0; i < ch.size(); ++i)
        chi2 += std::pow((dev[i] - nl.Deviation(ch[i])) / unc[i], 2);
    for (int x = 0; x < 8192; x += 64) worst = std::max(worst, std::fabs(nl.Deviation(x)));
    NONLINANALYSISData na;
    na.CopyFromNonlinECalibr(&nl);
    const int meas = StoreAnalysis<NONLINMEASUREMENTData>(
        lab, s, "NONLIN", na,
        "NAME CHISQUARE BASELINETRANS0 BASELINETRANS1 PEAKIDENTLIMITCH BASELINETYPE MEASNUM "
        "NONLINEARITY",
        {Format("%s integral nonlinearity (Eu-152)", s.name), chi2, 0.0, 1.0, 1.0, "linear", 1,
         worst},
        chi2, std::span(s.cal).first(1))[&r];
    for (size_t i = 0; i < used.size(); ++i)
        lab.Add<NONLINPEAKData>(
            "NONLINMEASUREMENT_ID PEAK_ID RADIATION_ID MEASCH MEASCHUNC NONLINVALUE NONLINVALUEUNC "
            "CHI CREATIONDATE EMPLOYEE_ID",
            {meas, r.run.peakIds[static_cast<size_t>(used[i]->peak)],
             LineOf(r, *used[i]).radiationId, ch[i],
             r.run.result.peaks[static_cast<size_t>(used[i]->peak)].channelUnc, dev[i], unc[i],
             (dev[i] - nl.Deviation(ch[i])) / unc[i], s.created, 2});
}

// Resolution: the widths of the calibration peaks against their lines' energies.
void ResolutionAnalysis(DemoLab& lab, const SetupContext& s) {
    struct Point {
        const MeasResult* r;
        const quantora::analysis::LineMatch* m;
        double energy, energyUnc, fwhm, fwhmUnc;  // keV
    };
    std::vector<Point> points;
    FwhmCalibrClass rc;
    for (const MeasResult* r : s.cal)
        for (const auto& m : r->run.recalibration.matches) {
            const auto& p = r->run.result.peaks[static_cast<size_t>(m.peak)];
            if (!m.used || !(p.fwhmKeVUnc > 0)) continue;
            points.push_back(
                {r, &m, LineOf(*r, m).energy, LineOf(*r, m).energyUnc, p.fwhmKeV, p.fwhmKeVUnc});
            rc.Set(static_cast<int>(points.size()) - 1, points.back().energy, p.fwhmKeV,
                   points.back().energyUnc, p.fwhmKeVUnc, -1);
        }
    rc.CalcCoeff();
    if (!rc.Valid) throw Exception("resolution fit failed: " + rc.InvalidReason());
    RESOLANALYSISData ra;
    ra.CopyFromResolCalibr(&rc);
    auto meas = StoreAnalysis<RESOLMEASUREMENTData>(
        lab, s, "RESOL", ra, "NAME CHISQUARE PEAKIDENTLIMITSIGMA RESOLUTION",
        {Format("%s resolution", s.name), rc.GetChiSquare(), 3.0, rc.Fwhm(1332.492)},
        rc.GetChiSquare(), s.cal);
    for (const Point& p : points)
        lab.Add<RESOLPEAKData>(
            "RESOLMEASUREMENT_ID PEAK_ID RADIATION_ID MEASE MEASEUNC RESOLVALUE RESOLVALUEUNC CHI "
            "CREATIONDATE EMPLOYEE_ID",
            {meas[p.r], p.r->run.peakIds[static_cast<size_t>(p.m->peak)],
             LineOf(*p.r, *p.m).radiationId, p.energy, p.energyUnc, p.fwhm, p.fwhmUnc,
             (p.fwhm - rc.Fwhm(p.energy)) / p.fwhmUnc, s.created, 2});
}

}  // namespace

void DemoLab::Measure(const MeasPlan& plan, uint32_t seed) {
    MeasResult r;
    r.role = plan.role;
    r.setupId = plan.setup + 1;
    r.date = Date(2026, 11, 3) + static_cast<double>(results_.size()) * 0.9;
    const SourcePlan* source = plan.source >= 0 ? &sources_[plan.source] : nullptr;
    const DetectorModel& det = kDetectors[plan.setup];
    // What is in front of the detector, decay-corrected to the measurement date, and the counts
    // it leaves in the full-energy peaks.
    auto model = det.Model(plan.liveTime / 3600.0);
    auto add = [&](const Content& c, double activity) {
        for (const GammaLine& l : NuclideBySymbol(c.nuclide).lines)
            det.AddLine(model, l.energy,
                        activity * l.intensity / 100.0 * det.Efficiency(l.energy) * plan.liveTime);
    };
    if (source)
        for (const Content& c : source->contents) add(c, ActivityAt(*source, c, r.date));
    for (const Content& c : plan.sampleContents) add(c, c.activity);
    std::vector<unsigned long> counts = quantora::analysis::Generate(model, seed).counts;

    const TDateTime endDate = r.date + plan.liveTime * 1.01 / 86400.0;
    r.measId = Add<MEASUREMENTData>(
        "PROJECT_ID MEASSETUP_ID NAME MEASOBJTYPE_ID SOURCE_ID SAMPLE_ID MEASUREDBY_EMP_ID "
        "ENTEREDBY_EMP_ID STARTDATE ENDDATE CREATIONDATE CMT",
        {plan.project, r.setupId, plan.name, source ? 3 : 2, source ? source->id : -1, plan.sample,
         3, 3, r.date, endDate, endDate, plan.role != kSample ? "Calibration measurement" : ""});
    // Spectrum and calibration names say what they add to the measurement's, so the tree of a
    // measurement does not repeat its name at every level.
    SPECTRUMData s;
    const auto [minc, maxc] = std::minmax_element(counts.begin(), counts.end());
    Fill(s,
         "MEASUREMENT_ID SPECTRUMTYPE_ID NAME SPECOLLSTARTEDAT SPECOLLENDEDAT LIVETIME TRUETIME "
         "SUMCOUNT MAXCOUNT MINCOUNT SPEFILETYPE EMPLOYEE_ID CREATIONDATE",
         {r.measId, 1, "HPGe gamma spectrum", r.date, endDate, plan.liveTime, plan.liveTime * 1.01,
          std::accumulate(counts.begin(), counts.end(), 0.0), static_cast<double>(*maxc),
          static_cast<double>(*minc), "generated", 3, endDate});
    s.CompressCounts(&counts, false);
    r.spectrumId = Put(s, "", {});
    StoreNominalECal(det, r.spectrumId, endDate);

    // The library's evaluation with the lab's setting, recalibrated from the radiation library;
    // the mixed standard's also gives the setup's efficiency curve.
    if (plan.role == kEfficiency) {
        quantora::SourceEfficiencyOptions o;
        o.spectrumId = r.spectrumId;
        o.sourceId = source->id;
        o.settingId = peakEvalCalId_;
        o.libraryIds = {libraryId_};
        o.name = Format("Lab %d full-energy efficiency, end cap", r.setupId);
        o.employeeId = 2;
        r.run = quantora::FitSourceEfficiency(kAlias, o).run;
    } else {
        quantora::PeakEvalRunOptions o;
        o.settingId = peakEvalCalId_;
        o.libraryIds = {libraryId_};
        o.employeeId = 2;
        r.run = quantora::EvaluateStoredSpectrum(kAlias, r.spectrumId, o);
    }
    // A sample with fewer than three lines keeps the nominal calibration.
    if (plan.role != kSample && !r.run.recalibration.energyValid)
        throw Exception(
            Format("demo spectrum '%s': no energy calibration from its peaks", plan.name));
    results_.push_back(std::move(r));
    Step(plan.name);
}

void DemoLab::SetupAnalyses(int setupIndex) {
    SetupContext s{setupIndex, setupIndex + 1,   setupIndex == 0 ? "Lab 1" : "Lab 2", {},
                   0,          Date(2026, 11, 1)};
    // The calibration sources' measurements, the Eu-152 first; not the check sources'.
    for (const MeasRole role : {kNonlinearity, kEfficiency})
        for (const MeasResult& r : results_)
            if (r.setupId == s.id && r.role == role) s.cal.push_back(&r);
    if (s.cal.empty()) return;
    s.created = s.cal.back()->date + 1.0;
    NonlinAnalysis(*this, s);
    ResolutionAnalysis(*this, s);
    Step(Format("analyses of %s", s.name));
}

}  // namespace qdbtool::demo
