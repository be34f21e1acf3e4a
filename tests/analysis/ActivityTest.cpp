// Activities from net areas against the worked example of the lab's analysis conventions:
// summation, decision threshold and detection limit (ISO 11929, k = 1.645), decay during a long
// count; and the combination of a nuclide's lines.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quantora/analysis/Activity.h"

namespace qa = quantora::analysis;

constexpr double kK = 1.645;
constexpr double kDay = 86400.0;

TEST(Activity, WorkedExampleOfOneLine) {
    // n = 10 channels, G = 1500; m = 10 each side, L = 600, R = 400.
    const qa::SummedArea s = qa::SumArea(1500, 600, 400, 10, 10);
    EXPECT_NEAR(s.net, 1000, 1e-9);
    EXPECT_NEAR(s.netUnc, 41.833, 1e-3);
    EXPECT_NEAR(s.uncNoPeak, 27.386, 1e-3);
    qa::LineInput in;
    in.net = s.net, in.netUnc = s.netUnc, in.uncNoPeak = s.uncNoPeak;
    in.efficiency = 0.02, in.intensity = 0.851, in.liveTime = 3600;
    in.efficiencyUnc = 0.03 * 0.02;  // u_rel(w) = 0.03 from the efficiency alone
    const qa::LineActivity a = qa::ActivityOfLine(in, kK);
    EXPECT_NEAR(a.w, 0.0163207, 1e-7);
    EXPECT_NEAR(a.activity, 16.321, 1e-3);
    EXPECT_NEAR(a.uncertainty, 0.84016, 1e-5);
    EXPECT_NEAR(a.decisionThreshold, 0.73525, 1e-5);
    EXPECT_NEAR(a.detectionLimit, 1.51836, 1e-5);
    // One line combined is itself; its detection limit solved iteratively is the closed form.
    const qa::NuclideActivity n = qa::CombineLines(std::vector<qa::LineActivity>{a}, kK);
    EXPECT_NEAR(n.activity, a.activity, 1e-12);
    EXPECT_NEAR(n.uncertainty, a.uncertainty, 1e-12);
    EXPECT_NEAR(n.decisionThreshold, a.decisionThreshold, 1e-12);
    EXPECT_NEAR(n.detectionLimit, a.detectionLimit, 1e-8);
    EXPECT_TRUE(n.detected);
    // Per kilogram: everything divides by the mass.
    in.mass = 0.5;
    EXPECT_NEAR(qa::ActivityOfLine(in, kK).detectionLimit, 2 * a.detectionLimit, 1e-9);
    // No detection limit where k^2 u_rel^2(w) >= 1.
    in.efficiencyUnc = 0.7 * in.efficiency;
    EXPECT_LT(qa::ActivityOfLine(in, kK).detectionLimit, 0);
    EXPECT_LT(qa::CombineLines(std::vector<qa::LineActivity>{qa::ActivityOfLine(in, kK)}, kK)
                  .detectionLimit,
              0);
}

TEST(Activity, SummedWindowsCancelALinearBackgroundAndRecoverAPeaksArea) {
    const int channels = 2048;
    struct Case {
        const char* what;
        double slope;  // background: 100 + slope * channel
        double area;   // of a Gaussian of FWHM 4 channels at channel 1000.5
        double ch;     // where the window is laid
        bool inRange;
    };
    const Case cases[] = {{"flat", 0, 0, 1000.5, true},
                          {"sloping", 1, 0, 1000.5, true},
                          {"peak on a slope", 1, 1e6, 1000.5, true},
                          {"low end", 0, 0, 14.4, false},
                          {"first window in range", 0, 0, 15.0, true},
                          {"high end", 0, 0, channels - 14.4, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const double fwhm = 4, sigma = fwhm * 0.42466090014400953;
        std::vector<unsigned long> counts(channels);
        for (int i = 0; i < channels; ++i) {
            const double peak = 0.5 * c.area *
                                (std::erf((i + 0.5 - 1000.5) / (sigma * std::sqrt(2.0))) -
                                 std::erf((i - 0.5 - 1000.5) / (sigma * std::sqrt(2.0))));
            counts[static_cast<size_t>(i)] =
                static_cast<unsigned long>(std::lround(100 + c.slope * i + peak));
        }
        const auto a = qa::SumLineWindow(counts, c.ch, fwhm, 2.5);  // 10 channels
        ASSERT_EQ(a.has_value(), c.inRange);
        if (!a) continue;
        // Background only: exactly nothing, the uncertainty of ten channels against twenty.
        const double share = std::erf(1.25 / (0.42466090014400953 * std::sqrt(2.0)));
        if (c.area == 0) {
            EXPECT_EQ(a->net, 0);
            if (c.slope == 0) {
                EXPECT_NEAR(a->uncNoPeak, std::sqrt(1000 + 500) / share, 1e-9);
            }
        } else {
            // Low by the half of the tails beyond the window the sides take for background.
            EXPECT_NEAR(a->net, c.area, 3e-3 * c.area);
            EXPECT_GT(a->netUnc, std::sqrt(c.area));
        }
    }
}

TEST(Activity, DecayBeforeAndDuringTheCount) {
    // T1/2 = 46.594 d, 21 d after the reference, counted for 2.841 d.
    EXPECT_NEAR(qa::DecayFactor(46.594 * kDay, 21 * kDay, 2.841 * kDay), 0.71644, 1e-5);
    EXPECT_NEAR(qa::DecayFactor(46.594 * kDay, 0, 2.841 * kDay), 0.97916, 1e-5);
    // A count short against the half-life is a point in time; no half-life, no decay.
    EXPECT_NEAR(qa::DecayFactor(30 * 365.25 * kDay, 10 * 365.25 * kDay, 1e-3),
                std::pow(0.5, 10 / 30.0), 1e-9);
    EXPECT_EQ(qa::DecayFactor(-1, 100, 100), 1.0);
    // The half-life's uncertainty matters in proportion to the elapsed half-lives.
    const double r = qa::DecayFactorRelUnc(46.594 * kDay, 0.01 * kDay, 21 * kDay, 0);
    EXPECT_NEAR(r, std::log(2.0) * 21 / 46.594 * 0.01 / 46.594, 1e-6);
}

TEST(Activity, LinesCombineByWeightAndDisagreementWidensTheUncertainty) {
    auto line = [](double a, double u) {
        qa::LineActivity l;
        l.valid = true, l.activity = a, l.uncertainty = u, l.uncNoActivity = u / 2, l.w = 1e-3;
        return l;
    };
    const std::vector<qa::LineActivity> agree = {line(10, 1), line(12, 2)};
    const qa::NuclideActivity n = qa::CombineLines(agree, kK);
    EXPECT_NEAR(n.activity, (10 / 1.0 + 12 / 4.0) / (1 + 0.25), 1e-12);
    EXPECT_NEAR(n.uncertainty, 1 / std::sqrt(1.25), 1e-12);
    EXPECT_LT(n.birgeRatio, 1);
    EXPECT_NEAR(n.decisionThreshold, kK / std::sqrt(4 + 1), 1e-12);
    // The detection limit solves a# = a* + k u(a#), the mean's u(a)^2 = sum p_i^2 (u_i(0)^2 +
    // w_i a) with the weights p_i of the lines under "no activity" (here 4/5 and 1/5).
    const double limit = n.detectionLimit;
    const double u = std::sqrt(0.64 * (0.25 + 1e-3 * limit) + 0.04 * (1.0 + 1e-3 * limit));
    EXPECT_NEAR(limit, n.decisionThreshold + kK * u, 1e-9);
    const qa::NuclideActivity d = qa::CombineLines(std::vector{line(10, 1), line(20, 1)}, kK);
    EXPECT_NEAR(d.birgeRatio, std::sqrt(50.0), 1e-9);
    EXPECT_NEAR(d.uncertainty, std::sqrt(0.5) * std::sqrt(50.0), 1e-9);
    // A negative primary value stays as it is and is not a detection.
    const qa::NuclideActivity neg = qa::CombineLines(std::vector{line(-0.5, 1)}, kK);
    EXPECT_EQ(neg.activity, -0.5);
    EXPECT_FALSE(neg.detected);
}
