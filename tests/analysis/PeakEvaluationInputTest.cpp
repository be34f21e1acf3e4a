// What the peak evaluation does with input it cannot use: a clear message for spectra without
// channels or counts and for settings that make no sense; a fit that cannot finish within the
// setting's iterations leaves its peaks out with a note, and never hangs.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "quantora/analysis/PeakEvaluation.h"
#include "quantora/analysis/SyntheticSpectrum.h"
#include "quantora/base/Exception.h"

namespace qa = quantora::analysis;

TEST(PeakEvaluationInput, UnusableSpectraAndSettingsAreRefusedWithTheirReason) {
    const std::vector<unsigned long> flat(4096, 20);
    const struct Case {
        const char* name;
        std::vector<unsigned long> counts;
        std::function<void(PeakEvalCalibration&)> change;
        const char* message;
    } cases[] = {
        {"empty", {}, nullptr, "0 channels is too short"},
        {"one channel", {5}, nullptr, "1 channels is too short"},
        {"63 channels", std::vector<unsigned long>(63, 9), nullptr, "63 channels is too short"},
        {"all zero", std::vector<unsigned long>(4096, 0), nullptr, "holds no counts"},
        {"no peaks per region", flat, [](PeakEvalCalibration& s) { s.MaxPeaksPerRegion = 0; },
         "parameter 47 (MaxPeaksPerRegion) is 0"},
        {"significance not a number", flat,
         [](PeakEvalCalibration& s) { s.SearchSignificance = std::nan(""); },
         "parameter 5 (SearchSignificance)"},
        {"width limits crossed", flat,
         [](PeakEvalCalibration& s) { s.LowTailMin = 2.0, s.LowTailMax = 1.0; },
         "a lower limit above its upper limit"},
        // A choice outside 1 to 3 stands as 0, the form it is stored in.
        {"choice out of range", flat, [](PeakEvalCalibration& s) { s.WeightMode = 4; },
         "parameter 34 (WeightMode) is 0"},
    };
    for (const Case& c : cases) {
        PeakEvalCalibration setting;
        if (c.change) c.change(setting);
        try {
            qa::EvaluatePeaks(c.counts, {}, setting);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const Exception& e) {
            EXPECT_NE(e.Message.find(c.message), std::string::npos) << c.name << ": " << e.Message;
        }
    }
    // A flat spectrum holds no peak.
    EXPECT_TRUE(qa::EvaluatePeaks(flat, {}, PeakEvalCalibration()).peaks.empty());
}

TEST(PeakEvaluationInput, FitsThatCannotFinishLeaveTheirPeaksOutWithANote) {
    const qa::SyntheticSpectrum s = qa::TruthSpectrum(qa::kIsolatedTruthSet, 3);
    PeakEvalCalibration setting;
    setting.MaxFitIterations = 1;
    setting.ConvergenceTolerance = 1e-12;
    const qa::PeakEvaluationResult r = qa::EvaluatePeaks(s.counts, {}, setting);
    int notes = 0;
    for (const std::string& n : r.notes)
        notes += n.find("did not converge in 1 iterations") != std::string::npos;
    EXPECT_GT(notes, 0);
    for (const qa::FitRegion& g : r.regions) EXPECT_TRUE(g.converged);
    EXPECT_LT(r.peaks.size(), s.peaks.size());
}
