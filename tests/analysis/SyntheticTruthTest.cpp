// Synthetic spectra with known peaks: the expected counts of a peak and of the continuum, the
// Poisson draws, the layout of the truth sets, and the score that matches found peaks to them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "quantora/analysis/PeakShape.h"
#include "quantora/analysis/SyntheticSpectrum.h"
#include "quantora/analysis/TruthScore.h"

namespace qa = quantora::analysis;

namespace {

qa::SyntheticSpectrumModel EmptyModel(int channels) {
    qa::SyntheticSpectrumModel m;
    m.channels = channels;
    return m;
}

}  // namespace

TEST(SyntheticSpectrum, LonePeakSumsToItsAreaWithItsCentreWidthAndStep) {
    struct Case {
        double channel, fwhm, tailFwhm, step;
    };
    const Case cases[] = {{1000.3, 2.5, 0, 0},        {2000.0, 5.5, 0, 0.005},
                          {7000.75, 11.0, 0, 0.01},   {3000.2, 5.5, 0.5, 0},
                          {3000.45, 5.5, 1.2, 0.003}, {500.6, 2.5, 0.5, 0.01},
                          {9000.1, 11.0, 1.0, 0.001}};
    const double area = 1e5;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "peak at " << c.channel << ", FWHM " << c.fwhm
                                        << ", tail " << c.tailFwhm << ", step " << c.step);
        qa::SyntheticSpectrumModel m = EmptyModel(16384);
        m.peaks.push_back({c.channel, area, c.fwhm, c.tailFwhm, c.step});
        const qa::SyntheticSpectrum s = qa::Generate(m, 1);
        ASSERT_EQ(s.peaks.size(), 1u);
        double sum = 0, first = 0, second = 0;
        size_t top = 0;
        for (size_t i = 0; i < s.expected.size(); ++i) {
            const double net = s.expected[i] - s.continuum[i], x = static_cast<double>(i);
            sum += net;
            first += net * x;
            second += net * x * x;
            if (net > s.expected[top] - s.continuum[top]) top = i;
        }
        // The channel integrals of PeakShape add up to its closed-form area, and the truth
        // reports that sum.
        EXPECT_NEAR(sum, area, 1e-6 * area);
        EXPECT_NEAR(s.peaks[0].area, sum, 1e-9 * area);
        EXPECT_EQ(top, static_cast<size_t>(std::lround(c.channel)));
        // Moments of the shape itself by fine quadrature: the channel counts have its mean
        // (centre of channel i at i) and its variance plus 1/12 channel^2 from the binning.
        const double sigma = c.fwhm * qa::kSigmaPerFwhm;
        qa::PeakShape shape{c.channel, 1.0, sigma, c.tailFwhm * c.fwhm};
        double q0 = 0, q1 = 0, q2 = 0;
        for (double x = c.channel - 600; x < c.channel + 100; x += 1.0 / 64) {
            const double v = shape.Value(x);
            q0 += v;
            q1 += v * (x - c.channel);
            q2 += v * (x - c.channel) * (x - c.channel);
        }
        const double mean = first / sum, variance = second / sum - mean * mean;
        EXPECT_NEAR(mean, c.channel + q1 / q0, 1e-3);
        EXPECT_NEAR(variance, q2 / q0 - (q1 / q0) * (q1 / q0) + 1.0 / 12, 1e-3);
        // The step: S H well below the peak, nothing well above, half of it at the centroid.
        const double h = area / qa::PeakShape::AreaPerHeight(sigma, c.tailFwhm * c.fwhm);
        const auto at = [&](double x) { return s.continuum[static_cast<size_t>(std::lround(x))]; };
        EXPECT_NEAR(at(c.channel - 200), c.step * h, 1e-9 * h);
        EXPECT_NEAR(at(c.channel + 20 * sigma), 0, 1e-12 * h);
        if (c.channel == std::round(c.channel)) {
            EXPECT_NEAR(at(c.channel), c.step * h / 2, 1e-6 * h);
        }
        // Falling everywhere, also where the constant part below the peak meets the computed one.
        const auto rise = std::adjacent_find(s.continuum.begin(), s.continuum.end(),
                                             [h](double a, double b) { return b > a + 1e-12 * h; });
        EXPECT_TRUE(rise == s.continuum.end()) << "rises at " << rise - s.continuum.begin();
    }
}

TEST(SyntheticSpectrum, ContinuumIntegralsMatchQuadratureAndHaveNoPeakLikeFeatures) {
    qa::ContinuumModel c;
    c.expAmplitude = 800;
    c.expLength = 2500;
    c.flat = 1.5;
    c.shoulders = {{3000, 60, 30}, {7000, 20, 50}, {12000, 5, 60}};
    const auto density = [&](double x) {
        double v = c.expAmplitude * std::exp(-x / c.expLength) + c.flat;
        for (const qa::ContinuumShoulder& s : c.shoulders)
            v += s.height * 0.5 * std::erfc((x - s.edge) / (s.width * qa::kSqrt2));
        return v;
    };
    const double intervals[][2] = {{-0.5, 0.5},  {2990, 3010},       {2900, 3100},
                                   {6000, 8000}, {11999.5, 12000.5}, {0, 16384}};
    for (const auto& iv : intervals) {
        const int n = 20000;  // Simpson
        const double h = (iv[1] - iv[0]) / n;
        double q = density(iv[0]) + density(iv[1]);
        for (int k = 1; k < n; ++k) q += (k % 2 ? 4 : 2) * density(iv[0] + k * h);
        q *= h / 3;
        EXPECT_NEAR(c.Integral(iv[0], iv[1]), q, 1e-9 * q) << iv[0] << ".." << iv[1];
    }
    // A search's zero-area Gaussian filter (FWHM 8 channels) over the noise-free continuum of
    // every truth spectrum stays far below one standard deviation of the Poisson noise.
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        qa::SyntheticSpectrumModel m = qa::TruthModel(qa::kMixedTruthSet, seed);
        m.peaks.clear();
        const qa::SyntheticSpectrum s = qa::Generate(m, seed);
        const double sigma = m.Fwhm(m.channels / 2.0) * qa::kSigmaPerFwhm;
        const int half = static_cast<int>(3 * sigma);
        std::vector<double> kernel;
        for (int j = -half; j <= half; ++j)
            kernel.push_back(std::exp(-j * j / (2 * sigma * sigma)));
        const double kmean = [&] {
            double t = 0;
            for (double k : kernel) t += k;
            return t / static_cast<double>(kernel.size());
        }();
        for (double& k : kernel) k -= kmean;
        double worst = 0;
        for (int i = half; i + half < m.channels; ++i) {
            double signal = 0, variance = 0;
            for (int j = -half; j <= half; ++j) {
                signal += kernel[j + half] * s.expected[i + j];
                variance += kernel[j + half] * kernel[j + half] * s.expected[i + j];
            }
            worst = std::max(worst, signal / std::sqrt(variance));
        }
        EXPECT_LT(worst, 0.3) << "seed " << seed;
    }
}

TEST(SyntheticSpectrum, CountsArePoissonDrawsOfTheExpectedCounts) {
    const int n = 16384;
    for (double level : {0.3, 5.0, 120.0, 1e4, 1e6}) {
        SCOPED_TRACE(testing::Message() << "flat continuum of " << level);
        qa::SyntheticSpectrumModel m = EmptyModel(n);
        m.continuum.flat = level;
        const qa::SyntheticSpectrum s = qa::Generate(m, 42);
        double mean = 0, ss = 0;
        for (unsigned long c : s.counts) mean += static_cast<double>(c);
        mean /= n;
        for (unsigned long c : s.counts) ss += (static_cast<double>(c) - mean) * (c - mean);
        const double variance = ss / (n - 1);
        // Five standard errors; the sample variance of Poisson counts has variance
        // (level + 2 level^2) / n.
        EXPECT_NEAR(mean, level, 5 * std::sqrt(level / n));
        EXPECT_NEAR(variance, level, 5 * std::sqrt((level + 2 * level * level) / n));
        EXPECT_EQ(qa::Generate(m, 42).counts, s.counts);
        EXPECT_NE(qa::Generate(m, 43).counts, s.counts);
    }
}

TEST(TruthSets, PeaksKeepTheirKindsRangesSignificanceAndSpacing) {
    const qa::TruthSetOptions sets[] = {qa::kIsolatedTruthSet, qa::kDoubletTruthSet,
                                        qa::kWeakTruthSet, qa::kMixedTruthSet};
    // Weak peaks get their area from the background the layout estimates; the steps of the weak
    // peaks placed after them add a little.
    const double tol = 0.02;
    double smallest = 1e300, largest = 0;
    for (const qa::TruthSetOptions& o : sets) {
        for (std::uint64_t seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE(testing::Message()
                         << o.isolated << "/" << o.doublets << "/" << o.weak << " seed " << seed);
            const qa::SyntheticSpectrum s = qa::TruthSpectrum(o, seed);
            const int channels = static_cast<int>(s.counts.size());
            EXPECT_TRUE(channels == 8192 || channels == 16384);
            int kinds[qa::kTruthKindCount] = {};
            for (size_t i = 0; i < s.peaks.size(); ++i) {
                const qa::TruePeak& p = s.peaks[i];
                ++kinds[static_cast<int>(p.kind)];
                const double keV = s.energyCoeffs[0] + s.energyCoeffs[1] * p.channel;
                EXPECT_TRUE(keV >= o.energyKeV.low && keV <= o.energyKeV.high) << keV;
                EXPECT_NEAR(p.fwhm, std::sqrt(s.widthA + s.widthB * p.channel), 1e-9);
                EXPECT_TRUE(p.tailFwhm >= o.tailFwhm.low && p.tailFwhm <= o.tailFwhm.high);
                EXPECT_TRUE(p.step >= o.step.low * (1 - 1e-12) &&
                            p.step <= o.step.high * (1 + 1e-12));
                if (p.kind == qa::TruthKind::Isolated) {
                    EXPECT_TRUE(p.area >= o.isolatedArea.low * (1 - 1e-5) &&
                                p.area <= o.isolatedArea.high * (1 + 1e-5))
                        << p.area;
                    EXPECT_GE(p.significance, o.isolatedMinSignificance);
                    smallest = std::min(smallest, p.area);
                    largest = std::max(largest, p.area);
                }
                if (p.kind == qa::TruthKind::Weak) {
                    EXPECT_GE(p.significance, o.weakSignificance.low * (1 - tol));
                    EXPECT_LE(p.significance, o.weakSignificance.high * (1 + tol));
                }
                if (i + 1 == s.peaks.size()) continue;
                const qa::TruePeak& q = s.peaks[i + 1];
                const bool pair = p.kind == qa::TruthKind::Doublet &&
                                  q.kind == qa::TruthKind::Doublet && kinds[1] % 2 == 1;
                const double gap = (q.channel - p.channel) / p.fwhm;
                if (!pair) {
                    EXPECT_GE(q.channel - p.channel, o.spacingFwhm * std::max(p.fwhm, q.fwhm));
                    continue;
                }
                EXPECT_TRUE(gap >= o.doubletSeparationFwhm.low - 1e-9 &&
                            gap <= o.doubletSeparationFwhm.high + 1e-9)
                    << gap;
                const double ratio = std::max(p.area, q.area) / std::min(p.area, q.area);
                EXPECT_TRUE(ratio >= o.doubletRatio.low * (1 - 1e-5) &&
                            ratio <= o.doubletRatio.high * (1 + 1e-5))
                    << ratio;
                EXPECT_GE(std::min(p.significance, q.significance), o.doubletMinSignificance);
            }
            EXPECT_EQ(kinds[0], o.isolated);
            EXPECT_EQ(kinds[1], 2 * o.doublets);
            EXPECT_EQ(kinds[2], o.weak);
        }
    }
    // Log-uniform over four decades: the drawn areas reach both ends.
    EXPECT_LT(smallest, 1e3);
    EXPECT_GT(largest, 1e5);
}

namespace {

qa::FittedPeak Found(double channel, double area, double areaUnc) {
    qa::FittedPeak f;
    f.channel = channel;
    f.channelUnc = 0.1;
    f.area = area;
    f.areaUnc = areaUnc;
    return f;
}

}  // namespace

TEST(TruthScore, MatchingPairsNearestCentroidsOneToOneWithinTolerance) {
    struct Case {
        const char* what;
        std::vector<double> truth, found;
        std::vector<int> foundOfTrue;
    };
    // FWHM 4 channels, tolerance 0.5 FWHM = 2 channels.
    const Case cases[] = {
        {"exact", {100, 200, 300}, {100, 200, 300}, {0, 1, 2}},
        {"at the tolerance and beyond", {100, 200}, {102, 202.01}, {0, -1}},
        {"two near one: the nearer wins", {200}, {199.2, 200.5}, {1}},
        {"nearest first, not left to right", {100, 102}, {101.2}, {-1, 0}},
        {"crossed pairs", {100, 103}, {101.4, 102.0}, {0, 1}},
        {"nothing found", {100, 200}, {}, {-1, -1}},
        {"only false peaks", {}, {50, 60}, {}},
    };
    for (const Case& c : cases) {
        std::vector<qa::TruePeak> truth;
        for (double x : c.truth) truth.push_back({x, 1000, 4.0});
        std::vector<qa::FittedPeak> found;
        for (double x : c.found) found.push_back(Found(x, 1000, 30));
        const qa::TruthMatch m = qa::MatchPeaks(truth, found);
        EXPECT_EQ(m.foundOfTrue, c.foundOfTrue) << c.what;
        ASSERT_EQ(m.trueOfFound.size(), found.size()) << c.what;
        for (size_t f = 0; f < found.size(); ++f) {
            const int t = m.trueOfFound[f];
            EXPECT_TRUE(t < 0 || m.foundOfTrue[t] == static_cast<int>(f)) << c.what;
        }
    }
}

TEST(TruthScore, FiguresFollowTheFoundPeaksAndNameTheMissedGoals) {
    // Truth: isolated peaks over four decades, one doublet, two weak peaks; found areas are the
    // true ones moved by chosen z-scores.
    struct Peak {
        double channel, area;
        qa::TruthKind kind;
        double z;  // found area = true + z * sqrt(true)
        bool found;
    };
    using K = qa::TruthKind;
    const Peak peaks[] = {
        {500, 300, K::Isolated, 1.0, true},   {700, 3e3, K::Isolated, -1.0, true},
        {900, 3e4, K::Isolated, 2.0, true},   {1100, 9e4, K::Isolated, -1.5, true},
        {1300, 2e5, K::Isolated, 2.0, true},  {1500, 5e5, K::Isolated, 4.0, true},
        {1700, 8e5, K::Isolated, -3.0, true}, {1900, 5e3, K::Isolated, 0, false},
        {2100, 2e4, K::Doublet, 0.5, true},   {2108, 6e3, K::Doublet, -0.5, true},
        {2500, 80, K::Weak, 2.0, true},       {2700, 60, K::Weak, 0, false},
    };
    // Sample statistics: m +- d, n times each, have mean m and sd d sqrt(2n / (2n - 1)).
    for (const auto& [m, d, n] : {std::tuple{0.0, 1.0, 1}, {0.4, 1.2, 5}, {-2.0, 0.1, 50}}) {
        std::vector<double> v;
        for (int i = 0; i < n; ++i) v.insert(v.end(), {m - d, m + d});
        const qa::SampleStats st = qa::Describe(v);
        EXPECT_EQ(st.count, v.size());
        EXPECT_NEAR(st.mean, m, 1e-12);
        EXPECT_NEAR(st.sd, d * std::sqrt(2.0 * n / (2 * n - 1)), 1e-12);
    }

    const double fwhm = 8;
    std::vector<qa::TruePeak> truth;
    qa::PeakEvaluationResult result;
    std::vector<double> smallZ[qa::kTruthKindCount], largeBias;
    for (const Peak& p : peaks) {
        truth.push_back({p.channel, p.area, fwhm, 0.8, 0.003, p.kind});
        const double unc = std::sqrt(p.area);
        if (!p.found) continue;
        result.peaks.push_back(Found(p.channel + 0.3, p.area + p.z * unc, unc));
        if (p.area < 1e5)
            smallZ[static_cast<int>(p.kind)].push_back(p.z);
        else
            largeBias.push_back(p.z * unc / p.area);
    }
    // Two false peaks: one far from all, one a second find of a doublet component.
    result.peaks.push_back(Found(3000, 500, 25));
    result.peaks.push_back(Found(2109, 100, 10));
    std::sort(
        result.peaks.begin(), result.peaks.end(),
        [](const qa::FittedPeak& a, const qa::FittedPeak& b) { return a.channel < b.channel; });

    qa::TruthScore score;
    const int spectra = 3;
    for (int i = 0; i < spectra; ++i) score.Add(truth, result);
    // A fourth spectrum: the first peak found exactly but without a centroid uncertainty (so no
    // z-scores), the three large ones with one bias between two of theirs (an even number of
    // large peaks in all, the middle two different).
    const double extraBias = (largeBias[0] + largeBias[1]) / 2;
    qa::PeakEvaluationResult clean;
    clean.peaks.push_back(Found(500, 300, std::sqrt(300.0)));
    clean.peaks.back().channelUnc = 0;
    for (int i : {4, 5, 6})
        clean.peaks.push_back(Found(truth[i].channel, truth[i].area * (1 + extraBias), 1));
    score.Add(std::vector<qa::TruePeak>{truth[0], truth[4], truth[5], truth[6]}, clean);

    EXPECT_EQ(score.Spectra(), spectra + 1);
    EXPECT_EQ(score.TrueCount(K::Isolated), spectra * 8 + 4);
    EXPECT_DOUBLE_EQ(score.FoundFraction(K::Isolated), (spectra * 7 + 4.0) / (spectra * 8 + 4));
    EXPECT_DOUBLE_EQ(score.FoundFraction(K::Doublet), 1.0);
    EXPECT_DOUBLE_EQ(score.FoundFraction(K::Weak), 0.5);
    EXPECT_EQ(score.FalsePeaks(), spectra * 2);
    EXPECT_EQ(score.MostFalseInOneSpectrum(), 2);
    EXPECT_DOUBLE_EQ(score.FalsePerSpectrum(), spectra * 2.0 / (spectra + 1));

    // z-scores repeat per spectrum.
    std::vector<double> both;
    for (K k : {K::Isolated, K::Doublet}) {
        std::vector<double> expect;
        for (int i = 0; i < spectra; ++i)
            expect.insert(expect.end(), smallZ[static_cast<int>(k)].begin(),
                          smallZ[static_cast<int>(k)].end());
        const qa::SampleStats got = score.AreaZ(k), want = qa::Describe(expect);
        EXPECT_EQ(got.count, want.count);
        EXPECT_NEAR(got.mean, want.mean, 1e-12);
        EXPECT_NEAR(got.sd, want.sd, 1e-12);
        both.insert(both.end(), expect.begin(), expect.end());
    }
    EXPECT_NEAR(score.AreaZ().mean, qa::Describe(both).mean, 1e-12);
    EXPECT_EQ(score.AreaZ(K::Weak).count, static_cast<size_t>(spectra));
    std::vector<double> allBias(3, extraBias);
    for (int i = 0; i < spectra; ++i)
        allBias.insert(allBias.end(), largeBias.begin(), largeBias.end());
    std::sort(allBias.begin(), allBias.end());
    const size_t half = allBias.size() / 2;
    ASSERT_EQ(allBias.size() % 2, 0u);
    ASSERT_LT(allBias[half - 1], allBias[half]);
    EXPECT_EQ(score.LargeCount(), allBias.size());
    EXPECT_NEAR(score.MedianLargeBias(), (allBias[half - 1] + allBias[half]) / 2, 1e-12);
    // Centroids: 0.3 channels off with an uncertainty of 0.1 in the repeated spectra, exact in
    // the fourth.
    const qa::SampleStats c = score.CentroidZ();
    EXPECT_EQ(c.count, static_cast<size_t>(spectra * 10 + 3));
    EXPECT_NEAR(c.mean, (spectra * 10 * 3.0) / (spectra * 10 + 3), 1e-9);
    EXPECT_EQ(score.MissingUncertainties(), 1);

    // Isolated found 25/28, false peaks 1.5 per spectrum: two goals missed; loosened, none.
    qa::TruthGoals goals;
    const std::vector<std::string> misses = score.Misses(goals);
    ASSERT_EQ(misses.size(), 2u);
    EXPECT_NE(misses[0].find("isolated"), std::string::npos);
    EXPECT_NE(misses[1].find("false"), std::string::npos);
    goals.isolatedFound = 0.8;
    goals.falsePerSpectrum = 2;
    EXPECT_TRUE(score.Misses(goals).empty());
    goals.largeBiasLimit = std::abs(score.MedianLargeBias()) / 2;
    goals.zMeanLimit = std::abs(score.AreaZ().mean) / 2;
    goals.zSdHigh = score.AreaZ().sd / 2;
    goals.zSdLow = 0;
    EXPECT_EQ(score.Misses(goals).size(), 3u);
    // The printed table has a row per figure, the peaks without an uncertainty among them.
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    qa::PrintTruthScore(out, score, goals);
    std::fclose(out);
    const std::string printed(text, size);
    std::free(text);
    // Counted rows have their count and nothing else; the centroid row its mean and sd.
    const struct {
        const char* row;
        size_t numbers;
    } rows[] = {{"centroid z, all matched", 3},
                {"matched without an uncertainty", 1},
                {"false peaks in the worst spectrum", 1}};
    for (const auto& [row, numbers] : rows) {
        const size_t at = printed.find(row);
        ASSERT_NE(at, std::string::npos) << row << " in\n" << printed;
        std::istringstream line(
            printed.substr(at + std::strlen(row), printed.find('\n', at) - at - std::strlen(row)));
        size_t count = 0;
        for (std::string word; line >> word;) count += std::isdigit(word.back()) ? 1 : 0;
        EXPECT_EQ(count, numbers) << printed.substr(at, printed.find('\n', at) - at);
    }
}
