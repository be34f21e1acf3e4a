// Efficiency curves: log-log polynomial values, uncertainty, range and setting a curve from its
// parts.
#include <gtest/gtest.h>

#include <cmath>
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
    EXPECT_TRUE(cal.Absolute);
    EXPECT_DOUBLE_EQ(cal.LowerEnergy, 60.0);
    EXPECT_DOUBLE_EQ(cal.UpperEnergy, e.back());
    for (double v : {75.0, 344.2785, 1408.013}) {
        EXPECT_TRUE(cal.InRange(v));
        EXPECT_NEAR(cal.Efficiency(v) / std::exp(lnEff(v)), 1.0, 1e-10);
        // A curve through many 2 % points is better known than any single point.
        EXPECT_GT(0.02 * cal.Efficiency(v), cal.EfficiencyUnc(v));
    }
    EXPECT_FALSE(cal.InRange(3000.0));
    EXPECT_THROW(cal.Efficiency(0.0), Exception);

    // Set from the parts an analysis row stores: the same curve bit for bit.
    const NormOrtPol& pol = cal.Pol;
    const NumVector<double>& coeff = cal.FitCoeff;
    const NumMatrix<double>& matr = cal.FitMatrix;
    const int m = coeff.Dim();
    EffCalibration back;
    back.Set(pol, matr, coeff, false);
    EXPECT_FALSE(back.Absolute);
    EXPECT_FALSE(back.HasRange());
    for (double v : {100.0, 1000.0}) {
        EXPECT_EQ(back.Efficiency(v), cal.Efficiency(v));
        EXPECT_EQ(back.EfficiencyUnc(v), cal.EfficiencyUnc(v));
    }

    // Extra coefficients beyond the polynomial are allowed; too few, or a matrix of the wrong
    // size, are refused and leave the curve as it was.
    NumVector<double> longer = coeff;
    longer.Resize(m + 2);
    NumMatrix<double> bigger(m + 2, m + 2);
    back.Set(pol, bigger, longer, true);
    EXPECT_EQ(back.Efficiency(1000.0), cal.Efficiency(1000.0));
    NumVector<double> shorter = coeff;
    shorter.Resize(m - 1);
    EXPECT_THROW(back.Set(pol, matr, shorter, true), Exception);
    EXPECT_THROW(back.Set(pol, NumMatrix<double>(m, m + 1), coeff, true), Exception);
    EXPECT_EQ(back.FitCoeff.Dim(), m + 2);
}
