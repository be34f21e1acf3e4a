// The demo lab's measurements and analyses: what is in front of the detector, the generated
// spectrum, the peak search, the energy and FWHM calibrations and the peak evaluation of each
// measurement, then the nonlinearity, efficiency and resolution analyses of each setup.
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "quantora/analysis/PeakEvaluation.h"
#include "quantora/base/Exception.h"
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

void DemoLab::Build() {
    People();
    Projects();
    ClientsAndOrders();
    Irradiations();
    Samples();
    RadiationLibraryRows();
    Sources();
    Setups();
    PeakEvalSetting();

    std::vector<MeasPlan> plans = MeasurementPlans(soilMeasurement_);
    uint32_t seed = 20261103;
    for (const MeasPlan& p : plans) Measure(p, seed++);
    SetupAnalyses(0);
    SetupAnalyses(1);
    Documents();
    UserSettings();
}

std::vector<Assigned> DemoLab::MatchLines(const std::vector<FoundPeak>& peaks,
                                          const std::vector<const Nuclide*>& nuclides,
                                          const ECalibration* cal, double tolKeV) {
    // Lines worth calibrating with: not weak, and no other candidate line close by.
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
            const double e = cal ? cal->Energy(peaks[i].pos) : peaks[i].pos * kNominalGain;
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

void DemoLab::Measure(const MeasPlan& plan, uint32_t seed) {
    MeasResult r;
    r.setupId = setupIds_[plan.setup];
    r.liveTime = plan.liveTime;
    r.date = Date(2026, 11, 3) + static_cast<double>(results_.size()) * 0.9;
    r.source = plan.source >= 0 ? &sources_[plan.source] : nullptr;
    const DetectorModel& det = detectors_[plan.setup];
    std::vector<Emission> emissions;
    const std::vector<const Nuclide*> nuclides = InFront(plan, r, emissions);
    const std::vector<unsigned long> counts =
        GenerateSpectrum(det, emissions, plan.liveTime / 3600.0, seed);
    StoreMeasurement(plan, r, counts);

    // The library's peak evaluation with the lab's setting; energies through the setup's
    // nominal calibration, widths from the spectrum itself.
    quantora::analysis::SpectrumContext context;
    context.energyCoeffs = {det.offset, det.gain};
    const quantora::analysis::PeakEvaluationResult found =
        quantora::analysis::EvaluatePeaks(counts, context, peakEvalSetting_);
    for (const quantora::analysis::FittedPeak& p : found.peaks)
        r.peaks.push_back({p.channel, p.channelUnc, p.area, p.areaUnc, p.fwhm, p.fwhmUnc, p.height,
                           p.background});
    Calibrate(plan, r, nuclides);
    StorePeaks(plan, r);
    results_.push_back(std::move(r));
    Step(plan.name);
}

// What is in front of the detector, decay-corrected to the measurement date, and the counts it
// leaves in the full-energy peaks.
std::vector<const Nuclide*> DemoLab::InFront(const MeasPlan& plan, const MeasResult& r,
                                             std::vector<Emission>& emissions) const {
    const DetectorModel& det = detectors_[plan.setup];
    std::vector<const Nuclide*> nuclides;
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
    return nuclides;
}

void DemoLab::StoreMeasurement(const MeasPlan& plan, MeasResult& r,
                               const std::vector<unsigned long>& counts) {
    MEASUREMENTData m;
    m.PROJECT_ID = plan.project;
    m.MEASSETUP_ID = r.setupId;
    m.NAME = plan.name;
    m.MEASOBJTYPE_ID = plan.source >= 0 ? 3 : 2;
    m.SOURCE_ID = plan.source >= 0 ? sources_[plan.source].id : -1;
    m.SAMPLE_ID = plan.sample;
    m.MEASUREDBY_EMP_ID = 3;
    m.ENTEREDBY_EMP_ID = 3;
    m.STARTDATE = r.date;
    m.ENDDATE = r.date + plan.liveTime * 1.01 / 86400.0;
    m.CREATIONDATE = m.ENDDATE;
    m.CMT = plan.calibration ? "Calibration measurement" : "";
    m.Insert(keys_("MEASUREMENT"), kAlias, nullptr);
    r.measId = m.MEASUREMENT_ID;
    r.endDate = m.ENDDATE;

    SPECTRUMData s;
    s.MEASUREMENT_ID = r.measId;
    s.SPECTRUMTYPE_ID = 1;
    // Spectrum and calibration names say what they add to the measurement's, so the tree of a
    // measurement does not repeat its name at every level.
    s.NAME = "HPGe gamma spectrum";
    s.SPECOLLSTARTEDAT = m.STARTDATE;
    s.SPECOLLENDEDAT = m.ENDDATE;
    s.LIVETIME = plan.liveTime;
    s.TRUETIME = plan.liveTime * 1.01;
    double sum = 0, maxc = 0, minc = 1e300;
    for (unsigned long c : counts) {
        sum += static_cast<double>(c);
        maxc = std::max(maxc, static_cast<double>(c));
        minc = std::min(minc, static_cast<double>(c));
    }
    s.SUMCOUNT = sum;
    s.MAXCOUNT = maxc;
    s.MINCOUNT = minc;
    s.SPEFILETYPE = "generated";
    s.EMPLOYEE_ID = 3;
    s.CREATIONDATE = m.ENDDATE;
    std::vector<unsigned long> toStore = counts;
    s.CompressCounts(&toStore, false);
    s.Insert(keys_("SPECTRUM"), kAlias, nullptr);
    r.spectrumId = s.SPECTRUM_ID;
}

void DemoLab::Calibrate(const MeasPlan& plan, MeasResult& r,
                        const std::vector<const Nuclide*>& nuclides) {
    // Energy calibration: match with the nominal gain, fit, match again closer, refit.
    auto fit = [&](const std::vector<Assigned>& as) {
        r.ecal.Init();
        r.ecal.SpectrumId = r.spectrumId;
        int i = 0;
        for (const Assigned& a : as) {
            const FoundPeak& p = r.peaks[a.peak];
            r.ecal.LinearPart.Set(i++, p.pos, a.line->energy, p.posUnc, a.line->energyUnc, -1,
                                  a.radiationId.c_str(), true);
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
    StoreECal(&r.ecal, keys_("ECAL"), keys_("ECALPOINT"), kAlias, nullptr, nullptr);

    int i = 0;
    for (const Assigned& a : r.assigned) {
        const FoundPeak& p = r.peaks[a.peak];
        r.fwhm.Set(i++, p.pos, p.fwhm, p.posUnc, p.fwhmUnc, -1);
    }
    r.fwhm.CalcCoeff();
    r.fwhm.SpectrumId = r.spectrumId;
    r.fwhm.Name = Format("FWHM calibration of %s", plan.name);
    r.fwhm.CreationDate = r.ecal.CreationDate;
    r.fwhm.LastModifiedDate = r.ecal.CreationDate;
    r.fwhm.CreatedByEmpId = 2;
    r.fwhm.LastModByEmpId = 2;
    if (r.fwhm.Valid)
        StoreLinearFwhmCal(&r.fwhm, keys_("FWHMCAL"), keys_("FWHMCALPOINT"), kAlias, nullptr,
                           nullptr);
}

void DemoLab::StorePeaks(const MeasPlan& plan, MeasResult& r) {
    PEAKEVALData pe;
    pe.MEASUREMENT_ID = r.measId;
    pe.PEAKEVALCAL_ID = peakEvalCalId_;
    pe.PEAKEVALMETHOD_ID = 1;
    pe.NAME = Format("Peak search of %s", plan.name);
    pe.TENTATIVE = "N";
    pe.PERFORMEDBY_EMP_ID = 2;
    pe.LASTMODBY_EMP_ID = 2;
    pe.CREATIONDATE = r.ecal.CreationDate;
    pe.LASTMODIFIEDDATE = r.ecal.CreationDate;
    pe.LEFTTRESHOLDCH = kFirstChannel;
    pe.RIGHTTRESHOLDCH = detectors_[plan.setup].channels - 10;
    pe.ECAL_ID = r.ecal.ECalId;
    pe.FWHMCAL_ID = r.fwhm.Valid ? r.fwhm.FwhmCalId : -1;
    pe.USENEWESTECAL = true;
    pe.USENEWESTWCAL = true;
    pe.USEAUTOECALUPDATE = false;
    pe.Insert(keys_("PEAKEVAL"), kAlias, nullptr);
    r.peakEvalId = pe.PEAKEVAL_ID;

    AutoQuery live(nullptr, kAlias, "PEAK");
    OpenerCloser open(live.get());
    PEAKData pk;
    for (const FoundPeak& p : r.peaks) {
        pk.Reset();
        pk.SetBasicData(r.peakEvalId, 2, pe.CREATIONDATE);
        pk.POS = p.pos;
        pk.POSUNC = p.posUnc;
        pk.E = r.ecal.Energy(p.pos);
        pk.EUNC = r.ecal.EnergyUnc(p.pos, p.posUnc);
        pk.AREA = p.area;
        pk.AREAUNC = p.areaUnc;
        pk.FWHM = p.fwhm;
        pk.FWHMUNC = p.fwhmUnc;
        pk.GAUSSFWHM = p.fwhm;
        pk.GAUSSFWHMUNC = p.fwhmUnc;
        pk.HEIGHT = p.height;
        pk.HEIGHTUNC = p.height * p.areaUnc / p.area;
        pk.GAUSSAMPL = p.height;
        pk.GAUSSAMPLUNC = pk.HEIGHTUNC;
        pk.BKG = p.bkg;
        pk.Insert(keys_("PEAK"), kAlias, live.get());
        r.peakIds.push_back(pk.PEAK_ID);
    }
}

void DemoLab::SetupAnalyses(int setupIndex) {
    SetupContext s{setupIndex, setupIds_[setupIndex], setupIndex == 0 ? "Lab 1" : "Lab 2", {},
                   0,          Date(2026, 11, 1)};
    for (const MeasResult& r : results_)
        if (r.setupId == s.id && r.source && r.source != &sources_[2] && r.source != &sources_[3])
            s.cal.push_back(&r);
    if (s.cal.empty()) return;
    s.created = s.cal.back()->date + 1.0;
    NonlinAnalysis(s);
    const std::vector<EffPoint> points = EfficiencyPoints(s);
    EfficiencyAnalysis(s, points);
    ResolutionAnalysis(s, points);
    Step(Format("analyses of %s", s.name));
}

// Nonlinearity: what the straight line leaves of the Eu-152 peak positions.
void DemoLab::NonlinAnalysis(const SetupContext& s) {
    const TDateTime created = s.created;
    const MeasResult& r = *s.cal.front();
    double a, b;
    r.ecal.LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
    std::vector<double> ch, dev, unc;
    for (const Assigned& as : r.assigned) {
        const FoundPeak& p = r.peaks[as.peak];
        ch.push_back(p.pos);
        dev.push_back(p.pos - (as.line->energy - a) / b);
        unc.push_back(std::hypot(p.posUnc, as.line->energyUnc / b));
    }
    NonlinECalibr nl;
    nl.Fit(ch.data(), dev.data(), unc.data(), static_cast<int>(ch.size()), 3);
    NONLINANALYSISData na;
    na.CopyFromNonlinECalibr(&nl);
    na.NAME = Format("%s integral nonlinearity (Eu-152)", s.name);
    double chi2 = 0, worst = 0;
    for (size_t i = 0; i < ch.size(); ++i) {
        const double d = dev[i] - nl.Deviation(ch[i]);
        chi2 += d * d / (unc[i] * unc[i]);
    }
    for (int x = 0; x < 8192; x += 64) worst = std::max(worst, std::fabs(nl.Deviation(x)));
    na.CHISQUARE = chi2;
    na.BASELINETRANS0 = 0.0;
    na.BASELINETRANS1 = 1.0;
    na.PEAKIDENTLIMITCH = 1.0;
    na.EMPLOYEE_ID = 2;
    na.CREATIONDATE = created;
    na.PROJECT_ID = 2;
    na.TENTATIVE = "N";
    na.BASELINETYPE = "linear";
    na.MEASNUM = 1;
    na.NONLINEARITY = worst;
    na.PEAKINTLIMIT = 100.0;
    na.NONLINANALYSIS_ID = keys_("NONLINANALYSIS")->NextKey();
    na.Insert(nullptr, kAlias, nullptr);
    NONLINMEASUREMENTData nm;
    nm.NONLINANALYSIS_ID = na.NONLINANALYSIS_ID;
    nm.MEASUREMENT_ID = r.measId;
    nm.PEAKEVAL_ID = r.peakEvalId;
    nm.CHISQUARE = chi2;
    nm.EMPLOYEE_ID = 2;
    nm.CREATIONDATE = created;
    nm.Insert(keys_("NONLINMEASUREMENT"), kAlias, nullptr);
    NONLINPEAKData np;
    for (size_t i = 0; i < r.assigned.size(); ++i) {
        np.Reset();
        np.NONLINMEASUREMENT_ID = nm.NONLINMEASUREMENT_ID;
        np.PEAK_ID = r.peakIds[r.assigned[i].peak];
        np.RADIATION_ID = r.assigned[i].radiationId;
        np.MEASCH = ch[i];
        np.MEASCHUNC = r.peaks[r.assigned[i].peak].posUnc;
        np.NONLINVALUE = dev[i];
        np.NONLINVALUEUNC = unc[i];
        np.CHI = (dev[i] - nl.Deviation(ch[i])) / unc[i];
        np.CREATIONDATE = created;
        np.EMPLOYEE_ID = 2;
        np.Insert(keys_("NONLINPEAK"), kAlias, nullptr);
    }
    InsertRow("MEASSETUPNONLIN", {{"MEASSETUP_ID", s.id},
                                  {"VALIDFROM", Variant::FromDate(s.validFrom)},
                                  {"NONLINANALYSIS_ID", na.NONLINANALYSIS_ID}});
}

// Efficiency points of the certified sources' lines.
std::vector<DemoLab::EffPoint> DemoLab::EfficiencyPoints(const SetupContext& s) const {
    std::vector<EffPoint> points;
    for (const MeasResult* r : s.cal)
        for (const Assigned& a : r->assigned) {
            double activity = 0;
            for (const Content& c : r->source->contents)
                if (a.nuclide == &NuclideBySymbol(c.nuclide))
                    activity = ActivityAt(*r->source, c, r->date);
            const FoundPeak& p = r->peaks[a.peak];
            const double emitted = activity * a.line->intensity / 100.0 * r->liveTime;
            const double eff = p.area / emitted;
            const double rel =
                std::sqrt(std::pow(p.areaUnc / p.area, 2) +
                          std::pow(a.line->intensityUnc / a.line->intensity, 2) + 0.015 * 0.015);
            if (a.line->energy > 40.0) points.push_back({r, &a, eff, eff * rel});
        }
    return points;
}

void DemoLab::EfficiencyAnalysis(const SetupContext& s, const std::vector<EffPoint>& points) {
    const TDateTime created = s.created;
    std::vector<double> e, eff, unc;
    for (const EffPoint& p : points) {
        e.push_back(p.a->line->energy);
        eff.push_back(p.eff);
        unc.push_back(p.effUnc);
    }
    EffCalibration ec;
    ec.Fit(e.data(), eff.data(), unc.data(), static_cast<int>(e.size()), 4, true);
    EFFANALYSISData ea;
    ea.CopyFromEffCalibr(&ec);
    ea.NAME = Format("%s full-energy efficiency, end cap", s.name);
    double chi2 = 0;
    for (size_t i = 0; i < e.size(); ++i)
        chi2 += std::pow((eff[i] - ec.Efficiency(e[i])) / unc[i], 2);
    ea.CHISQUARE = chi2;
    ea.PEAKIDENTLIMIT = 1.0;
    ea.EMPLOYEE_ID = 2;
    ea.CREATIONDATE = created;
    ea.PROJECT_ID = 2;
    ea.TENTATIVE = "N";
    ea.MEASNUM = static_cast<short>(s.cal.size());
    ea.ISABSOLUTE = true;
    ea.EFFICIENCY = ec.Efficiency(661.657);
    ea.EFFICIENCYUNC = ec.EfficiencyUnc(661.657);
    ea.PEAKINTLIMIT = 100.0;
    ea.Insert(keys_("EFFANALYSIS"), kAlias, nullptr);
    InsertRow("MEASSETUPEFF", {{"MEASSETUP_ID", s.id},
                               {"VALIDFROM", Variant::FromDate(s.validFrom)},
                               {"EFFANALYSIS_ID", ea.EFFANALYSIS_ID}});
    std::map<const MeasResult*, int> measRows;
    for (const MeasResult* r : s.cal) {
        EFFMEASUREMENTData em;
        em.MEASUREMENT_ID = r->measId;
        em.EFFANALYSIS_ID = ea.EFFANALYSIS_ID;
        em.PEAKEVAL_ID = r->peakEvalId;
        em.CHISQUARE = chi2;
        em.EMPLOYEE_ID = 2;
        em.CREATIONDATE = created;
        em.Insert(keys_("EFFMEASUREMENT"), kAlias, nullptr);
        measRows[r] = em.EFFMEASUREMENT_ID;
    }
    EFFPEAKData ep;
    for (size_t i = 0; i < points.size(); ++i) {
        const EffPoint& p = points[i];
        const FoundPeak& fp = p.r->peaks[p.a->peak];
        ep.Reset();
        ep.PEAK_ID = p.r->peakIds[p.a->peak];
        ep.RADIATION_ID = p.a->radiationId;
        ep.EFFMEASUREMENT_ID = measRows[p.r];
        ep.MEASE = std::log(p.a->line->energy);
        ep.MEASEUNC = p.a->line->energyUnc / p.a->line->energy;
        ep.AREA = fp.area;
        ep.AREAUNC = fp.areaUnc;
        ep.CHI = (p.eff - ec.Efficiency(e[i])) / p.effUnc;
        ep.CREATIONDATE = created;
        ep.EMPLOYEE_ID = 2;
        ep.Insert(keys_("EFFPEAK"), kAlias, nullptr);
    }
}

void DemoLab::ResolutionAnalysis(const SetupContext& s, const std::vector<EffPoint>& points) {
    const TDateTime created = s.created;
    const double gain = detectors_[s.index].gain;
    FwhmCalibrClass rc;
    int i = 0;
    for (const EffPoint& p : points) {
        const FoundPeak& fp = p.r->peaks[p.a->peak];
        rc.Set(i++, p.a->line->energy, fp.fwhm * gain, p.a->line->energyUnc, fp.fwhmUnc * gain, -1);
    }
    rc.CalcCoeff();
    if (!rc.Valid) throw Exception("resolution fit failed: " + rc.InvalidReason());
    RESOLANALYSISData ra;
    ra.CopyFromResolCalibr(&rc);
    ra.NAME = Format("%s resolution", s.name);
    ra.CHISQUARE = rc.GetChiSquare();
    ra.PEAKIDENTLIMITSIGMA = 3.0;
    ra.EMPLOYEE_ID = 2;
    ra.CREATIONDATE = created;
    ra.PROJECT_ID = 2;
    ra.TENTATIVE = "N";
    ra.RESOLUTION = rc.Fwhm(1332.492);
    ra.PEAKINTLIMIT = 100.0;
    ra.Insert(keys_("RESOLANALYSIS"), kAlias, nullptr);
    InsertRow("MEASSETUPRESOL", {{"MEASSETUP_ID", s.id},
                                 {"VALIDFROM", Variant::FromDate(s.validFrom)},
                                 {"RESOLANALYSIS_ID", ra.RESOLANALYSIS_ID}});
    std::map<const MeasResult*, int> measRows;
    for (const MeasResult* r : s.cal) {
        RESOLMEASUREMENTData rm;
        rm.RESOLANALYSIS_ID = ra.RESOLANALYSIS_ID;
        rm.MEASUREMENT_ID = r->measId;
        rm.PEAKEVAL_ID = r->peakEvalId;
        rm.CHISQUARE = ra.CHISQUARE;
        rm.EMPLOYEE_ID = 2;
        rm.CREATIONDATE = created;
        rm.Insert(keys_("RESOLMEASUREMENT"), kAlias, nullptr);
        measRows[r] = rm.RESOLMEASUREMENT_ID;
    }
    RESOLPEAKData rp;
    for (const EffPoint& p : points) {
        const FoundPeak& fp = p.r->peaks[p.a->peak];
        rp.Reset();
        rp.RESOLMEASUREMENT_ID = measRows[p.r];
        rp.PEAK_ID = p.r->peakIds[p.a->peak];
        rp.RADIATION_ID = p.a->radiationId;
        rp.MEASE = p.a->line->energy;
        rp.MEASEUNC = p.a->line->energyUnc;
        rp.RESOLVALUE = fp.fwhm * gain;
        rp.RESOLVALUEUNC = fp.fwhmUnc * gain;
        rp.CHI = (rp.RESOLVALUE - rc.Fwhm(rp.MEASE)) / rp.RESOLVALUEUNC;
        rp.CREATIONDATE = created;
        rp.EMPLOYEE_ID = 2;
        rp.Insert(keys_("RESOLPEAK"), kAlias, nullptr);
    }
}

}  // namespace qdbtool::demo
