// The peak evaluation against the known peaks of seeded synthetic spectra, with the default
// setting, the spectrum's energy calibration and no FWHM calibration: peaks found per kind, false
// peaks, area z-scores of the smaller peaks and the median area bias of the large ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "quantora/analysis/PeakEvaluation.h"
#include "quantora/analysis/PeakShape.h"
#include "quantora/analysis/RegionFit.h"
#include "quantora/analysis/SyntheticSpectrum.h"
#include "quantora/analysis/TruthScore.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"

namespace qa = quantora::analysis;

namespace {

// Counts of 1024 channels: a flat continuum and Gaussian peaks.
std::vector<double> PeaksOnFlat(double flat, std::vector<qa::TruePeak> peaks, std::uint64_t seed) {
    qa::SyntheticSpectrumModel m;
    m.channels = 1024;
    m.continuum.flat = flat;
    m.peaks = std::move(peaks);
    const qa::SyntheticSpectrum s = qa::Generate(m, seed);
    return {s.counts.begin(), s.counts.end()};
}

}  // namespace

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

// A valid FWHM calibration is the width model, as given; without one (or when the setting does
// not use it) the widths come from the spectrum and match its true widths only approximately.
// The tails found are the true ones.
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
    // Each region's tail, in FWHM, is its true peak's.
    for (const qa::FitRegion& region : given.regions)
        for (const qa::TruePeak& t : s.peaks)
            if (t.channel > region.first && t.channel < region.last) {
                EXPECT_NEAR(region.tailFwhm, t.tailFwhm, 0.1) << t.channel;
            }
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

// Counts scattered more than Poisson (each draw times 4: chi2/dof near 4): the same fit with its
// uncertainties scaled by chi2/dof widens each peak's area uncertainty and its no-peak uncertainty
// (the decision threshold's) by the same factor, the square root of chi2/dof.
TEST(PeakEvaluationTruth, ChiSquareScalingWidensAreaAndDecisionThresholdAlike) {
    std::vector<double> counts = PeaksOnFlat(200, {{500.0, 3e4, 5.0}, {509.0, 1e4, 5.0}}, 5);
    for (double& c : counts) c *= 4;
    const qa::RegionPeakStart peaks[] = {{500.0, 5.0 * qa::kSigmaPerFwhm},
                                         {509.0, 5.0 * qa::kSigmaPerFwhm}};
    qa::RegionFitOptions options;
    options.uncertaintyMode = 1;
    const qa::RegionFitResult a = qa::FitPeaks(counts, 470, 540, peaks, options);
    options.uncertaintyMode = 3;
    const qa::RegionFitResult b = qa::FitPeaks(counts, 470, 540, peaks, options);
    ASSERT_TRUE(a.converged && b.converged);
    const double factor = std::sqrt(b.chiSquare / b.dof);
    EXPECT_GT(factor, 1.5);
    for (size_t k = 0; k < 2; ++k) {
        EXPECT_NEAR(b.peaks[k].areaUnc / a.peaks[k].areaUnc, factor, 1e-6 * factor) << k;
        EXPECT_NEAR(b.peaks[k].areaUncNoPeak / a.peaks[k].areaUncNoPeak, factor, 1e-6 * factor)
            << k;
    }
}

// A free width per peak: two peaks of one region, both expected 6 channels wide, are fitted with
// their own widths of 5 and 9 channels; a width held near the expected one stops at its bound.
TEST(PeakEvaluationTruth, EachPeakOfARegionGetsItsOwnFreeWidth) {
    const double fwhm[] = {5.0, 9.0};
    const std::vector<double> counts =
        PeaksOnFlat(100, {{480.0, 5e4, fwhm[0]}, {520.0, 5e4, fwhm[1]}}, 7);
    const qa::RegionPeakStart peaks[] = {{480.0, 6.0 * qa::kSigmaPerFwhm},
                                         {520.0, 6.0 * qa::kSigmaPerFwhm}};
    qa::RegionFitOptions options;
    options.widthMode = 1;
    const qa::RegionFitResult r = qa::FitPeaks(counts, 450, 560, peaks, options);
    ASSERT_TRUE(r.converged);
    for (size_t k = 0; k < 2; ++k)
        EXPECT_NEAR(r.peaks[k].sigma / qa::kSigmaPerFwhm, fwhm[k], 0.03 * fwhm[k]) << k;
    // One scale held within 10 % of the expected width: the narrower peak stops at 90 %.
    options.widthMode = 2;
    const qa::RegionFitResult held = qa::FitPeaks(counts, 450, 500, std::span(peaks, 1), options);
    ASSERT_TRUE(held.converged);
    EXPECT_NEAR(held.peaks[0].sigma / qa::kSigmaPerFwhm, 0.9 * 6.0, 1e-6);
}
