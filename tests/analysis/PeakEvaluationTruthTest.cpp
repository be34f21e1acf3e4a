// The peak evaluation against the known peaks of seeded synthetic spectra, with the default
// setting, the spectrum's energy calibration and no FWHM calibration: peaks found per kind, false
// peaks, area z-scores of the smaller peaks and the median area bias of the large ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "quantora/analysis/PeakEvaluation.h"
#include "quantora/analysis/SyntheticSpectrum.h"
#include "quantora/analysis/TruthScore.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"

namespace qa = quantora::analysis;

TEST(PeakEvaluationTruth, SeededSpectraMeetTheGoals) {
    // 12 spectra of 10 isolated peaks, 4 doublets and 4 weak peaks: 264 peaks.
    constexpr int kSpectra = 12;
    qa::TruthSetOptions options = qa::kMixedTruthSet;
    options.isolated = 10;
    options.doublets = 4;
    options.weak = 4;
    const PeakEvalCalibration setting;
    qa::TruthScore score;
    std::string missed;  // the true isolated and doublet peaks not found, for the failure message
    for (std::uint64_t seed = 1; seed <= kSpectra; ++seed) {
        const qa::SyntheticSpectrum s = qa::TruthSpectrum(options, seed);
        qa::SpectrumContext context;
        context.energyCoeffs = s.energyCoeffs;
        const qa::PeakEvaluationResult r = qa::EvaluatePeaks(s.counts, context, setting);
        const qa::TruthMatch m = score.Add(s.peaks, r);
        for (size_t t = 0; t < s.peaks.size(); ++t) {
            const qa::TruePeak& p = s.peaks[t];
            if (m.foundOfTrue[t] >= 0 || p.kind == qa::TruthKind::Weak) continue;
            char line[160];
            std::snprintf(line, sizeof line, "\n  seed %d: %s peak at channel %.1f, area %.0f",
                          static_cast<int>(seed), qa::TruthKindName(p.kind), p.channel, p.area);
            missed += line;
        }
    }
    ASSERT_EQ(score.TrueCount(qa::TruthKind::Isolated), kSpectra * options.isolated);
    ASSERT_EQ(score.TrueCount(qa::TruthKind::Doublet), kSpectra * 2 * options.doublets);
    // Enough peaks on both sides of the area split for the statistics to mean something.
    ASSERT_GE(score.AreaZ().count, 40u);
    ASSERT_GE(score.LargeCount(), 8u);

    std::string misses;
    for (const std::string& m : score.Misses(qa::TruthGoals{})) misses += "\n  " + m;
    EXPECT_TRUE(misses.empty()) << "goals missed:" << misses << "\nnot found:" << missed;
    if (!misses.empty() || std::getenv("QUANTORA_TRUTH_TABLE")) qa::PrintTruthScore(stdout, score);
}

// The tail is the spectrum's: learned from its strong peaks, it shapes every region, also those
// too weak to fit one of their own.
TEST(PeakEvaluationTruth, TheSpectrumsOwnTailShapesEveryRegion) {
    for (const double tail : {0.45, 0.9}) {
        qa::TruthSetOptions options = qa::kIsolatedTruthSet;
        options.tailFwhm = {tail, tail};
        const qa::SyntheticSpectrum s = qa::TruthSpectrum(options, 3);
        qa::SpectrumContext context;
        context.energyCoeffs = s.energyCoeffs;
        const qa::PeakEvaluationResult r =
            qa::EvaluatePeaks(s.counts, context, PeakEvalCalibration());
        int shaped = 0;
        for (const qa::FitRegion& g : r.regions) {
            if (g.peakCount == 0 || g.tailFwhm <= 0) continue;
            EXPECT_NEAR(g.tailFwhm, tail, 0.25 * tail) << "channels " << g.first << "-" << g.last;
            ++shaped;
        }
        EXPECT_GE(shaped, 20) << tail;
    }
}

// A valid FWHM calibration is the width model, as given; without one (or when the setting does
// not use it) the widths come from the spectrum and match its true widths only approximately.
TEST(PeakEvaluationTruth, AGivenFwhmCalibrationIsTheWidthModel) {
    const qa::SyntheticSpectrum s = qa::TruthSpectrum(qa::kIsolatedTruthSet, 5);
    FwhmCalibrClass cal;
    cal.A = 1.3 * s.widthA, cal.B = 0.9 * s.widthB, cal.Valid = true;
    qa::SpectrumContext context;
    context.energyCoeffs = s.energyCoeffs;
    context.fwhm = &cal;
    PeakEvalCalibration setting;
    setting.UseFwhmCalibration = true;
    const qa::PeakEvaluationResult given = qa::EvaluatePeaks(s.counts, context, setting);
    EXPECT_EQ(given.widthA, cal.A);
    EXPECT_EQ(given.widthB, cal.B);
    EXPECT_FALSE(given.peaks.empty());

    setting.UseFwhmCalibration = false;
    const qa::PeakEvaluationResult learned = qa::EvaluatePeaks(s.counts, context, setting);
    EXPECT_NE(learned.widthA, cal.A);
    EXPECT_NEAR(std::sqrt(learned.widthA + learned.widthB * 4000),
                std::sqrt(s.widthA + s.widthB * 4000),
                0.05 * std::sqrt(s.widthA + s.widthB * 4000));
}

// Too few strong peaks for a width model: the median of their widths (the wider of two) is the
// width everywhere.
TEST(PeakEvaluationTruth, FewPeaksGiveTheirMedianWidth) {
    const struct {
        std::vector<double> fwhm;  // of peaks at channels 2000, 5000, ...
        double expected;
    } cases[] = {{{4.0}, 4.0}, {{4.0, 7.0}, 7.0}, {{7.0, 4.0}, 7.0}};
    for (const auto& c : cases) {
        qa::SyntheticSpectrumModel m;
        m.channels = 8192;
        for (size_t i = 0; i < c.fwhm.size(); ++i)
            m.peaks.push_back({2000.0 + 3000.0 * static_cast<double>(i), 2e5, c.fwhm[i], 0, 0});
        const qa::SyntheticSpectrum s = qa::Generate(m, 11);
        qa::SpectrumContext context;
        context.energyCoeffs = s.energyCoeffs;
        const qa::PeakEvaluationResult r =
            qa::EvaluatePeaks(s.counts, context, PeakEvalCalibration());
        EXPECT_EQ(r.widthB, 0) << c.fwhm.size() << " peaks";
        EXPECT_NEAR(std::sqrt(r.widthA), c.expected, 0.05 * c.expected)
            << c.fwhm.size() << " peaks";
    }
}

// Counts scattered more than Poisson (each draw times 4: chi2/dof near 4): a setting that scales
// uncertainties by the fit's chi-square per degree of freedom scales each peak's area uncertainty
// and its no-peak uncertainty (the decision threshold's) alike.
TEST(PeakEvaluationTruth, ChiSquareScalingWidensAreaAndDecisionThresholdAlike) {
    qa::SyntheticSpectrum s = qa::TruthSpectrum(qa::kIsolatedTruthSet, 7);
    for (unsigned long& c : s.counts) c *= 4;
    qa::SpectrumContext context;
    context.energyCoeffs = s.energyCoeffs;
    PeakEvalCalibration counting, scaled;
    counting.UncertaintyMode = 1;
    scaled.UncertaintyMode = 3;
    const qa::PeakEvaluationResult a = qa::EvaluatePeaks(s.counts, context, counting);
    const qa::PeakEvaluationResult b = qa::EvaluatePeaks(s.counts, context, scaled);
    ASSERT_EQ(a.peaks.size(), b.peaks.size());
    int widened = 0;
    for (size_t i = 0; i < a.peaks.size(); ++i) {
        const qa::FittedPeak &x = a.peaks[i], &y = b.peaks[i];
        if (x.areaUncNoPeak <= 0) continue;
        const double area = y.areaUnc / x.areaUnc, noPeak = y.areaUncNoPeak / x.areaUncNoPeak;
        EXPECT_NEAR(noPeak, area, 0.01 * area) << "peak at channel " << x.channel;
        widened += area > 1.5;
    }
    EXPECT_GE(widened, 5);
}
