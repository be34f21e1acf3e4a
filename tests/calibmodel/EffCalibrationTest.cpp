// Efficiency curves: log-log polynomial values, uncertainty, range and setting a curve from its
// parts.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/calibmodel/EffCalibration.h"

TEST(EffCalibration, LogLogCurveValuesRangeAndStoredForm) {
    auto lnEff = [](double e) {
        const double u = std::log(e);
        return -14.0 + 4.1 * u - 0.45 * u * u + 0.0145 * u * u * u;
    };
    std::vector<double> e, eff, unc;
    for (double v = 60; v < 2000; v *= 1.35) {
        e.push_back(v);
        eff.push_back(std::exp(lnEff(v)));
        unc.push_back(0.02 * eff.back());
    }
    const int n = static_cast<int>(e.size());
    EffCalibration cal;
    EXPECT_THROW(cal.Efficiency(500.0), Exception);  // not valid yet
    cal.Fit(e.data(), eff.data(), unc.data(), n, 3, true);
    ASSERT_TRUE(cal.Valid);
    EXPECT_EQ(std::make_pair(cal.LowerEnergy, cal.UpperEnergy), std::make_pair(60.0, e.back()));
    for (double v : {75.0, 344.2785, 1408.013}) {
        EXPECT_TRUE(cal.InRange(v));
        EXPECT_NEAR(cal.Efficiency(v) / std::exp(lnEff(v)), 1.0, 1e-10);
        // A curve through many 2 % points is better known than any single point.
        EXPECT_GT(0.02 * cal.Efficiency(v), cal.EfficiencyUnc(v));
    }
    EXPECT_FALSE(cal.InRange(3000.0));
    EXPECT_THROW(cal.Efficiency(0.0), Exception);

    // Set from the parts an analysis row stores: the same curve bit for bit. A matrix of the
    // wrong size is refused.
    EffCalibration back;
    back.Set(cal.Pol, cal.FitMatrix, cal.FitCoeff, false);
    EXPECT_FALSE(back.Absolute || back.HasRange());
    for (double v : {100.0, 1000.0})
        EXPECT_EQ(std::make_pair(back.Efficiency(v), back.EfficiencyUnc(v)),
                  std::make_pair(cal.Efficiency(v), cal.EfficiencyUnc(v)));
    const int m = cal.FitCoeff.Dim();
    EXPECT_THROW(back.Set(cal.Pol, NumMatrix<double>(m, m + 1), cal.FitCoeff, true), Exception);
}
