// The demo lab's measurements: a synthetic HPGe spectrum of what is in front of the detector,
// evaluated and recalibrated from the radiation library by the library's peak evaluation run,
// then the nonlinearity and resolution analyses of each setup.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "quantora/analysis/SyntheticSpectrum.h"
#include "quantora/base/Format.h"
#include "quantora/lab/SetupAnalyses.h"
#include "quantora/lab/SourceEfficiency.h"
#include "quantora/lab/SpectrumRows.h"
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
    const TDateTime endDate = r.date + plan.liveTime * 1.01 / 86400.0;
    const int measId = Add<MEASUREMENTData>(
        "PROJECT_ID MEASSETUP_ID NAME MEASOBJTYPE_ID SOURCE_ID SAMPLE_ID MEASUREDBY_EMP_ID "
        "ENTEREDBY_EMP_ID STARTDATE ENDDATE CREATIONDATE CMT",
        {plan.project, r.setupId, plan.name, source ? 3 : 2, source ? source->id : -1, plan.sample,
         3, 3, r.date, endDate, endDate, plan.role != kSample ? "Calibration measurement" : ""});
    // The spectrum with the ADC's nominal energy calibration, which its evaluation starts from.
    // Its name says what it adds to the measurement's, so that the tree of a measurement does
    // not repeat its name at every level.
    quantora::SpectrumFileData file;
    file.counts = quantora::analysis::Generate(model, seed).counts;
    file.liveTime = plan.liveTime;
    file.realTime = plan.liveTime * 1.01;
    file.startTime = r.date;
    file.energyCoeffs = {det.offset, det.gain};
    file.title = "HPGe gamma spectrum";
    file.format = "generated";
    SPECTRUMData s = quantora::SpectrumRecordFor(file, measId);
    Fill(s, "EMPLOYEE_ID CREATIONDATE", {3, endDate});
    r.spectrumId = quantora::SpectrumRowWriter(kAlias).Store(s, file);

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
    const int setup = setupIndex + 1;
    // The calibration sources' measurements, the Eu-152 first; not the check sources'.
    std::vector<const quantora::PeakEvalRun*> runs;
    for (const MeasRole role : {kNonlinearity, kEfficiency})
        for (const MeasResult& r : results_)
            if (r.setupId == setup && r.role == role) runs.push_back(&r.run);
    if (runs.empty()) return;
    quantora::SetupAnalysisOptions o;
    o.validFrom = Date(2026, 11, 1);
    o.created = runs.back()->spectrum.row.measDate + 1.0;
    o.projectId = o.employeeId = 2;
    o.name = Format("Lab %d integral nonlinearity (Eu-152)", setup);
    quantora::StoreSetupNonlinearity(kAlias, *runs.front(), o);
    o.name = Format("Lab %d resolution", setup);
    quantora::StoreSetupResolution(kAlias, runs, o);
    Step(Format("analyses of Lab %d", setup));
}

}  // namespace qdbtool::demo
