// The demo lab's measurements: a synthetic HPGe spectrum of what is in front of the detector,
// the library's peak evaluation, energy and FWHM calibrations, then the nonlinearity,
// efficiency and resolution analyses of each setup.
//
// A spectrum is a falling continuum, the Compton continuum of every line, and a Gaussian peak per
// line; the expected counts of every channel are drawn from a Poisson distribution with a seeded
// generator, so a seed gives one spectrum.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <span>

#include "quantora/base/Format.h"
#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/calibmodel/NonlinECalibr.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/calibration/FwhmCalStorage.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/records/Meastables.h"
#include "quantora/records/Peaktables.h"
#include "tools/qdb/DemoLab.h"

namespace qdbtool::demo {

using quantora::Format;

namespace {

constexpr int kFirstChannel = 40;       // below: the ADC's low-level discriminator region
constexpr double kNominalGain = 0.375;  // keV per channel, the ADC setting before calibration
constexpr double kSigmaPerFwhm = 1.0 / 2.354820045;
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
    double FwhmKeV(double energy) const { return std::sqrt(fwhmA + fwhmB * energy); }
    // Rising through the entrance window below ~100 keV, falling as a power law above.
    double Efficiency(double energy) const {
        const double cutoff = 1.0 - std::exp(-std::pow(energy / 60.0, 3.0));
        return effScale * std::pow(energy / 150.0, -0.9) * cutoff;
    }
};
// The detectors of the two setups differ in gain, resolution and efficiency.
const DetectorModel kDetectors[] = {{}, {-0.6, 0.37465, -0.25, 0.45, 0.0019, 0.018, 8192}};

struct Emission {
    double energy, expectedCounts;  // keV; counts in the full-energy peak
};

// Counts of one spectrum; `continuum` scales the environmental background.
std::vector<unsigned long> GenerateSpectrum(const DetectorModel& det,
                                            const std::vector<Emission>& lines, double continuum,
                                            uint32_t seed) {
    const int n = det.channels;
    std::vector<double> mean(static_cast<size_t>(n), 0.0);
    // Environmental continuum: steep at low energies, a long tail to the end.
    for (int i = 0; i < n; ++i)
        mean[i] = continuum * (40.0 * std::exp(-i / 900.0) + 4.0 * std::exp(-i / 5000.0)) *
                  std::min(1.0, i / 40.0);
    for (const Emission& e : lines) {
        const double ch = det.Channel(e.energy);
        if (ch < 5 || ch > n - 5) continue;
        // Compton continuum up to the edge, about twice the peak counts at high energy.
        const double edgeE =
            e.energy * (2 * e.energy / kElectronMass) / (1 + 2 * e.energy / kElectronMass);
        const int edge = std::min(n - 1, static_cast<int>(det.Channel(edgeE)));
        const double comptonTotal = e.expectedCounts * std::min(3.0, e.energy / 400.0);
        if (edge > 10)
            for (int i = 10; i < edge; ++i) mean[i] += comptonTotal / edge * (0.7 + 0.6 * i / edge);
        // The full-energy peak, integrated over each channel, with a small step below it.
        const double sigma = det.FwhmKeV(e.energy) / det.gain * kSigmaPerFwhm;
        const int lo = std::max(0, static_cast<int>(ch - 6 * sigma));
        const int hi = std::min(n - 1, static_cast<int>(ch + 6 * sigma) + 1);
        const double s2 = sigma * std::numbers::sqrt2;
        for (int i = lo; i <= hi; ++i) {
            const double p = 0.5 * (std::erf((i + 0.5 - ch) / s2) - std::erf((i - 0.5 - ch) / s2));
            mean[i] += e.expectedCounts * p;
            mean[i] += e.expectedCounts * 2e-4 * 0.5 * std::erfc((i - ch) / s2);
        }
        for (int i = std::max(0, lo - 60); i < lo; ++i) mean[i] += e.expectedCounts * 2e-4;
    }
    std::mt19937_64 rng(seed);
    std::vector<unsigned long> counts(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        std::poisson_distribution<unsigned long> draw(std::max(mean[i], 1e-9));
        counts[i] = draw(rng);
    }
    return counts;
}

// Library lines matched to the nearest peak within `tolKeV`: lines worth calibrating with, not
// weak and with no other candidate line close by; energies through `cal` or the nominal gain.
std::vector<Assigned> MatchLines(const std::vector<FoundPeak>& peaks,
                                 const std::vector<const Nuclide*>& nuclides,
                                 const ECalibration* cal, double tolKeV) {
    std::vector<std::pair<const Nuclide*, const GammaLine*>> lines;
    for (const Nuclide* n : nuclides)
        for (const GammaLine& l : n->lines)
            if (l.intensity >= 2.0) lines.push_back({n, &l});
    std::vector<Assigned> out;
    for (const auto& [n, l] : lines) {
        bool crowded = false;
        for (const auto& [n2, l2] : lines)
            if (l2 != l && std::fabs(l2->energy - l->energy) < 3.0) crowded = true;
        if (crowded) continue;
        int best = -1;
        double bestDiff = tolKeV;
        for (size_t i = 0; i < peaks.size(); ++i) {
            const double e = cal ? cal->Energy(peaks[i].channel) : peaks[i].channel * kNominalGain;
            if (std::fabs(e - l->energy) < bestDiff) {
                bestDiff = std::fabs(e - l->energy);
                best = static_cast<int>(i);
            }
        }
        if (best >= 0) out.push_back({best, n, l, RadiationKey(*n, *l)});
    }
    std::sort(out.begin(), out.end(),
              [](const Assigned& a, const Assigned& b) { return a.peak < b.peak; });
    return out;
}

struct SetupContext {
    int index, id;
    const char* name;
    std::vector<const MeasResult*> cal;  // the setup's calibration measurements
    TDateTime created, validFrom;
};
struct EffPoint {
    const MeasResult* r;
    const Assigned* a;
    const FoundPeak* fp;  // the peak of a
    double eff, effUnc;
};

void Calibrate(DemoLab& lab, const MeasPlan& plan, MeasResult& r,
               const std::vector<const Nuclide*>& nuclides) {
    // Energy calibration: match with the nominal gain, fit, match again closer, refit.
    auto fit = [&](const std::vector<Assigned>& as) {
        r.ecal.Init();
        r.ecal.SpectrumId = r.spectrumId;
        int i = 0;
        for (const Assigned& a : as) {
            const FoundPeak& p = r.peaks[a.peak];
            r.ecal.LinearPart.Set(i++, p.channel, a.line->energy, p.channelUnc, a.line->energyUnc,
                                  -1, a.radiationId.c_str(), true);
        }
        r.ecal.LinearPart.CalcCoeff();
    };
    r.assigned = MatchLines(r.peaks, nuclides, nullptr, 4.0);
    if (r.assigned.size() >= 2) {
        fit(r.assigned);
        r.assigned = MatchLines(r.peaks, nuclides, &r.ecal, 0.8);
    }
    if (r.assigned.size() < 2)
        throw Exception(Format("demo spectrum '%s': too few peaks matched", plan.name));
    fit(r.assigned);
    r.ecal.Name = Format("Fit of %zu peaks", r.assigned.size());
    r.ecal.CreationDate = r.endDate + 0.05;
    r.ecal.CreatedByEmpId = 2;
    r.ecal.LastModByEmpId = 2;
    StoreECal(&r.ecal, lab.Keys("ECAL"), lab.Keys("ECALPOINT"), kAlias, nullptr, nullptr);

    int i = 0;
    for (const Assigned& a : r.assigned) {
        const FoundPeak& p = r.peaks[a.peak];
        r.fwhm.Set(i++, p.channel, p.fwhm, p.channelUnc, p.fwhmUnc, -1);
    }
    r.fwhm.CalcCoeff();
    r.fwhm.SpectrumId = r.spectrumId;
    r.fwhm.Name = Format("FWHM calibration of %s", plan.name);
    r.fwhm.CreationDate = r.ecal.CreationDate;
    r.fwhm.LastModifiedDate = r.ecal.CreationDate;
    r.fwhm.CreatedByEmpId = 2;
    r.fwhm.LastModByEmpId = 2;
    if (r.fwhm.Valid)
        StoreLinearFwhmCal(&r.fwhm, lab.Keys("FWHMCAL"), lab.Keys("FWHMCALPOINT"), kAlias, nullptr,
                           nullptr);
}

void StorePeaks(DemoLab& lab, const MeasPlan& plan, MeasResult& r, int peakEvalCalId) {
    const TDateTime created = r.ecal.CreationDate;
    r.peakEvalId = lab.Add<PEAKEVALData>(
        "MEASUREMENT_ID PEAKEVALCAL_ID PEAKEVALMETHOD_ID NAME TENTATIVE PERFORMEDBY_EMP_ID "
        "LASTMODBY_EMP_ID CREATIONDATE LASTMODIFIEDDATE LEFTTRESHOLDCH RIGHTTRESHOLDCH ECAL_ID "
        "FWHMCAL_ID USENEWESTECAL USENEWESTWCAL USEAUTOECALUPDATE",
        {r.measId, peakEvalCalId, 1, Format("Peak search of %s", plan.name), "N", 2, 2, created,
         created, kFirstChannel, kDetectors[plan.setup].channels - 10, r.ecal.ECalId,
         r.fwhm.Valid ? r.fwhm.FwhmCalId : -1, 1, 1, 0});
    AutoQuery live(nullptr, kAlias, "PEAK");
    OpenerCloser open(live.get());
    for (const FoundPeak& p : r.peaks) {
        const double heightUnc = p.height * p.areaUnc / p.area;
        r.peakIds.push_back(lab.Add<PEAKData>(
            "PEAKEVAL_ID EMPLOYEE_ID CREATIONDATE POS POSUNC E EUNC AREA AREAUNC FWHM FWHMUNC "
            "GAUSSFWHM GAUSSFWHMUNC HEIGHT HEIGHTUNC GAUSSAMPL GAUSSAMPLUNC BKG",
            {r.peakEvalId, 2, created, p.channel, p.channelUnc, r.ecal.Energy(p.channel),
             r.ecal.EnergyUnc(p.channel, p.channelUnc), p.area, p.areaUnc, p.fwhm, p.fwhmUnc,
             p.fwhm, p.fwhmUnc, p.height, heightUnc, p.height, heightUnc, p.background},
            live.get()));
    }
}

// Stores analysis `a` (NONLIN, EFF or RESOL) of setup `s`, its link to the setup and a row per
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
                             {id, r->measId, r->peakEvalId, chi2, 2, s.created});
    return rows;
}

// Nonlinearity: what the straight line leaves of the Eu-152 peak positions.
void NonlinAnalysis(DemoLab& lab, const SetupContext& s) {
    const MeasResult& r = *s.cal.front();
    double a, b;
    r.ecal.LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
    std::vector<double> ch, dev, unc;
    for (const Assigned& as : r.assigned) {
        const FoundPeak& p = r.peaks[as.peak];
        ch.push_back(p.channel);
        dev.push_back(p.channel - (as.line->energy - a) / b);
        unc.push_back(std::hypot(p.channelUnc, as.line->energyUnc / b));
    }
    NonlinECalibr nl;
    nl.Fit(ch.data(), dev.data(), unc.data(), static_cast<int>(ch.size()), 3);
    double chi2 = 0, worst = 0;
    for (size_t i = 0; i < ch.size(); ++i) {
        const double d = dev[i] - nl.Deviation(ch[i]);
        chi2 += d * d / (unc[i] * unc[i]);
    }
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
    for (size_t i = 0; i < r.assigned.size(); ++i)
        lab.Add<NONLINPEAKData>(
            "NONLINMEASUREMENT_ID PEAK_ID RADIATION_ID MEASCH MEASCHUNC NONLINVALUE NONLINVALUEUNC "
            "CHI CREATIONDATE EMPLOYEE_ID",
            {meas, r.peakIds[r.assigned[i].peak], r.assigned[i].radiationId, ch[i],
             r.peaks[r.assigned[i].peak].channelUnc, dev[i], unc[i],
             (dev[i] - nl.Deviation(ch[i])) / unc[i], s.created, 2});
}

void EfficiencyAnalysis(DemoLab& lab, const SetupContext& s, const std::vector<EffPoint>& points) {
    std::vector<double> e, eff, unc;
    for (const EffPoint& p : points) {
        e.push_back(p.a->line->energy);
        eff.push_back(p.eff);
        unc.push_back(p.effUnc);
    }
    EffCalibration ec;
    ec.Fit(e.data(), eff.data(), unc.data(), static_cast<int>(e.size()), 4, true);
    double chi2 = 0;
    for (size_t i = 0; i < e.size(); ++i)
        chi2 += std::pow((eff[i] - ec.Efficiency(e[i])) / unc[i], 2);
    EFFANALYSISData ea;
    ea.CopyFromEffCalibr(&ec);
    auto meas = StoreAnalysis<EFFMEASUREMENTData>(
        lab, s, "EFF", ea,
        "NAME CHISQUARE PEAKIDENTLIMIT MEASNUM ISABSOLUTE EFFICIENCY EFFICIENCYUNC",
        {Format("%s full-energy efficiency, end cap", s.name), chi2, 1.0,
         static_cast<int>(s.cal.size()), 1, ec.Efficiency(661.657), ec.EfficiencyUnc(661.657)},
        chi2, s.cal);
    for (size_t i = 0; i < points.size(); ++i) {
        const EffPoint& p = points[i];
        lab.Add<EFFPEAKData>(
            "PEAK_ID RADIATION_ID EFFMEASUREMENT_ID MEASE MEASEUNC AREA AREAUNC CHI CREATIONDATE "
            "EMPLOYEE_ID",
            {p.r->peakIds[p.a->peak], p.a->radiationId, meas[p.r], std::log(p.a->line->energy),
             p.a->line->energyUnc / p.a->line->energy, p.fp->area, p.fp->areaUnc,
             (p.eff - ec.Efficiency(e[i])) / p.effUnc, s.created, 2});
    }
}

void ResolutionAnalysis(DemoLab& lab, const SetupContext& s, const std::vector<EffPoint>& points) {
    const double gain = kDetectors[s.index].gain;
    FwhmCalibrClass rc;
    int i = 0;
    for (const EffPoint& p : points)
        rc.Set(i++, p.a->line->energy, p.fp->fwhm * gain, p.a->line->energyUnc,
               p.fp->fwhmUnc * gain, -1);
    rc.CalcCoeff();
    if (!rc.Valid) throw Exception("resolution fit failed: " + rc.InvalidReason());
    RESOLANALYSISData ra;
    ra.CopyFromResolCalibr(&rc);
    auto meas = StoreAnalysis<RESOLMEASUREMENTData>(
        lab, s, "RESOL", ra, "NAME CHISQUARE PEAKIDENTLIMITSIGMA RESOLUTION",
        {Format("%s resolution", s.name), rc.GetChiSquare(), 3.0, rc.Fwhm(1332.492)},
        rc.GetChiSquare(), s.cal);
    for (const EffPoint& p : points) {
        const double value = p.fp->fwhm * gain, valueUnc = p.fp->fwhmUnc * gain;
        lab.Add<RESOLPEAKData>(
            "RESOLMEASUREMENT_ID PEAK_ID RADIATION_ID MEASE MEASEUNC RESOLVALUE RESOLVALUEUNC CHI "
            "CREATIONDATE EMPLOYEE_ID",
            {meas[p.r], p.r->peakIds[p.a->peak], p.a->radiationId, p.a->line->energy,
             p.a->line->energyUnc, value, valueUnc, (value - rc.Fwhm(p.a->line->energy)) / valueUnc,
             s.created, 2});
    }
}

}  // namespace

void DemoLab::Measure(const MeasPlan& plan, uint32_t seed) {
    MeasResult r;
    r.setupId = plan.setup + 1;
    r.liveTime = plan.liveTime;
    r.date = Date(2026, 11, 3) + static_cast<double>(results_.size()) * 0.9;
    r.source = plan.source >= 0 ? &sources_[plan.source] : nullptr;
    const DetectorModel& det = kDetectors[plan.setup];
    // What is in front of the detector, decay-corrected to the measurement date, and the counts
    // it leaves in the full-energy peaks.
    std::vector<const Nuclide*> nuclides;
    std::vector<Emission> emissions;
    auto add = [&](const Content& c, double activity) {
        const Nuclide& n = NuclideBySymbol(c.nuclide);
        nuclides.push_back(&n);
        for (const GammaLine& l : n.lines)
            emissions.push_back({l.energy, activity * l.intensity / 100.0 *
                                               det.Efficiency(l.energy) * plan.liveTime});
    };
    if (r.source)
        for (const Content& c : r.source->contents) add(c, ActivityAt(*r.source, c, r.date));
    for (const Content& c : plan.sampleContents) add(c, c.activity);
    const std::vector<unsigned long> counts =
        GenerateSpectrum(det, emissions, plan.liveTime / 3600.0, seed);

    r.endDate = r.date + plan.liveTime * 1.01 / 86400.0;
    r.measId = Add<MEASUREMENTData>(
        "PROJECT_ID MEASSETUP_ID NAME MEASOBJTYPE_ID SOURCE_ID SAMPLE_ID MEASUREDBY_EMP_ID "
        "ENTEREDBY_EMP_ID STARTDATE ENDDATE CREATIONDATE CMT",
        {plan.project, r.setupId, plan.name, r.source ? 3 : 2, r.source ? r.source->id : -1,
         plan.sample, 3, 3, r.date, r.endDate, r.endDate,
         plan.calibration ? "Calibration measurement" : ""});
    // Spectrum and calibration names say what they add to the measurement's, so the tree of a
    // measurement does not repeat its name at every level.
    SPECTRUMData s;
    const auto [minc, maxc] = std::minmax_element(counts.begin(), counts.end());
    Fill(s,
         "MEASUREMENT_ID SPECTRUMTYPE_ID NAME SPECOLLSTARTEDAT SPECOLLENDEDAT LIVETIME TRUETIME "
         "SUMCOUNT MAXCOUNT MINCOUNT SPEFILETYPE EMPLOYEE_ID CREATIONDATE",
         {r.measId, 1, "HPGe gamma spectrum", r.date, r.endDate, plan.liveTime,
          plan.liveTime * 1.01, std::accumulate(counts.begin(), counts.end(), 0.0),
          static_cast<double>(*maxc), static_cast<double>(*minc), "generated", 3, r.endDate});
    std::vector<unsigned long> toStore = counts;
    s.CompressCounts(&toStore, false);
    r.spectrumId = Put(s, "", {});

    // The library's peak evaluation with the lab's setting; energies through the setup's
    // nominal calibration, widths from the spectrum itself.
    quantora::analysis::SpectrumContext context;
    context.energyCoeffs = {det.offset, det.gain};
    r.peaks = quantora::analysis::EvaluatePeaks(counts, context, peakEvalSetting_).peaks;
    Calibrate(*this, plan, r, nuclides);
    StorePeaks(*this, plan, r, peakEvalCalId_);
    results_.push_back(std::move(r));
    Step(plan.name);
}

void DemoLab::SetupAnalyses(int setupIndex) {
    SetupContext s{setupIndex, setupIndex + 1,   setupIndex == 0 ? "Lab 1" : "Lab 2", {},
                   0,          Date(2026, 11, 1)};
    // The calibration sources' measurements, not the check sources'.
    for (const MeasResult& r : results_)
        if (r.setupId == s.id && r.source && r.source != &sources_[2] && r.source != &sources_[3])
            s.cal.push_back(&r);
    if (s.cal.empty()) return;
    s.created = s.cal.back()->date + 1.0;
    NonlinAnalysis(*this, s);
    // Efficiency points of the certified sources' lines.
    std::vector<EffPoint> points;
    for (const MeasResult* r : s.cal)
        for (const Assigned& a : r->assigned) {
            double activity = 0;
            for (const Content& c : r->source->contents)
                if (a.nuclide == &NuclideBySymbol(c.nuclide))
                    activity = ActivityAt(*r->source, c, r->date);
            const FoundPeak& p = r->peaks[a.peak];
            const double eff = p.area / (activity * a.line->intensity / 100.0 * r->liveTime);
            const double rel =
                std::sqrt(std::pow(p.areaUnc / p.area, 2) +
                          std::pow(a.line->intensityUnc / a.line->intensity, 2) + 0.015 * 0.015);
            if (a.line->energy > 40.0) points.push_back({r, &a, &p, eff, eff * rel});
        }
    EfficiencyAnalysis(*this, s, points);
    ResolutionAnalysis(*this, s, points);
    Step(Format("analyses of %s", s.name));
}

}  // namespace qdbtool::demo
