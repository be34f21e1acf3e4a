// Energy calibration: the weighted straight-line fit, its covariance, the default and failure
// states, and the nonlinear correction of the channel.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/LinearECalibr.h"

namespace {

struct Pt {
    double ch, e, sch, se;
};

void Load(LinearECalibr& cal, const std::vector<Pt>& pts) {
    for (size_t i = 0; i < pts.size(); ++i)
        cal.Set(static_cast<int>(i), pts[i].ch, pts[i].e, pts[i].sch, pts[i].se,
                static_cast<int>(100 + i), "p", true);
    cal.CalcCoeff();
}

}  // namespace

TEST(LinearECalibr, ExactPointsGiveTheLineAndConversionsInvert) {
    const double a0 = -0.64318, b0 = 0.38906928;
    std::vector<Pt> pts;
    for (double ch : {314.457, 886.597, 2004.078, 2861.029, 3622.225})
        pts.push_back({ch, a0 + b0 * ch, 0.01, 0.002});
    LinearECalibr cal;
    Load(cal, pts);
    ASSERT_TRUE(cal.IsValid());
    EXPECT_FALSE(cal.IsDefault());
    EXPECT_NEAR(cal.GetChiSquare(), 0.0, 1e-12);
    EXPECT_EQ(cal.GetDegreesOfFreedom(), 3);

    for (double ch : {0.0, 100.5, 5000.0, 8191.0}) {
        EXPECT_NEAR(cal.Energy(ch), a0 + b0 * ch, 1e-8);
        EXPECT_NEAR(cal.Channel(cal.Energy(ch)), ch, 1e-8);
        // Through the line, an energy uncertainty is a channel uncertainty divided by the gain.
        EXPECT_NEAR(cal.ChannelUnc(cal.Energy(ch), 0.5),
                    std::sqrt(std::pow(0.5 / b0, 2) + std::pow(cal.EnergyUnc(ch) / b0, 2)), 1e-9);
    }
    // The calibration is best known near its points and worse when extrapolated.
    EXPECT_LT(cal.EnergyUnc(2000.0), cal.EnergyUnc(8000.0));
    EXPECT_NEAR(cal.EnergyUnc(1000.0, 0.1), std::hypot(cal.EnergyUnc(1000.0), b0 * 0.1), 1e-12);
}

TEST(LinearECalibr, CoefficientVariancesMatchTheClosedForm) {
    // Uncertainties on both axes, differing from point to point (pass 0); the points scattered
    // beyond them, so the covariance grows by chi2/dof (1); no uncertainties at all: ordinary
    // regression, variance from the residuals (2). Expected: (X'WX)^-1 in the uncentred form.
    std::vector<Pt> pts = {{664.426, 0, 0.004, 0.0003},  {1882.639, 0, 0.006, 0.0012},
                           {3206.481, 0, 0.063, 0.0026}, {4259.393, 0, 0.017, 0.0024},
                           {6079.891, 0, 0.023, 0.003},  {7697.655, 0, 0.023, 0.003}};
    for (Pt& p : pts) p.e = 0.21207 + 0.18273869 * p.ch;
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        for (size_t i = 0; i < pts.size() && pass == 1; ++i)
            pts[i].e += (i % 2 ? 0.05 : -0.05) * (1 + i % 3);
        for (Pt& p : pts)
            if (pass == 2) p.sch = p.se = 0;
        LinearECalibr cal;
        Load(cal, pts);
        double a, b, va, vb, cv, s = 0, sx = 0, sxx = 0, chi2 = 0;
        cal.GetParams(&a, &b, &va, &vb, &cv);
        for (const Pt& p : pts) {
            const double w = pass == 2 ? 1.0 : 1.0 / (p.se * p.se + b * b * p.sch * p.sch);
            s += w;
            sx += w * p.ch;
            sxx += w * p.ch * p.ch;
            chi2 += w * std::pow(p.e - a - b * p.ch, 2);
        }
        EXPECT_NEAR(cal.GetChiSquare(), chi2, 1e-9 * (1 + chi2));
        const double scale = pass == 0 ? 1.0 : chi2 / 4, det = s * sxx - sx * sx;
        EXPECT_TRUE(pass != 1 || scale > 1.0);
        EXPECT_NEAR(va / (scale * sxx / det), 1.0, 1e-8);
        EXPECT_NEAR(vb / (scale * s / det), 1.0, 1e-8);
        EXPECT_NEAR(cv / (scale * -sx / det), 1.0, 1e-8);
    }
}

TEST(LinearECalibr, DefaultFewPointsSingularAndBadInput) {
    LinearECalibr cal;  // fewer than two points: 1 keV per channel
    cal.Set(0, 100.0, 661.657, 0.1, 0.003, 7, nullptr, true);
    cal.CalcCoeff();
    EXPECT_TRUE(cal.IsValid() && cal.IsDefault());
    EXPECT_DOUBLE_EQ(cal.Energy(1234.5), 1234.5);

    // Two points at one channel, or a point that is not a number: reported, never as numbers.
    for (double ch : {100.0, 200.0}) {
        cal.Set(1, ch, ch == 100.0 ? 1173.228 : std::nan(""), 0.1, 0.003, 8, "", true);
        cal.CalcCoeff();
        EXPECT_FALSE(cal.IsValid());
        EXPECT_NE(cal.InvalidReason().find(ch == 100.0 ? "same position" : "point 1"),
                  AnsiString::npos)
            << cal.InvalidReason();
        EXPECT_THROW(cal.Energy(50.0), Exception);
    }

    // Set(0) starts a new list; a point left out of the fit does not disturb it, and is kept.
    for (int i = 0; i < 3; ++i) {
        cal.Set(i, 100.0 * (i + 1), i < 2 ? 50.0 * (i + 1) + 3 : 999.0, 0.1, 0.01, 7, "", i < 2);
        EXPECT_EQ(cal.GetPointCount(), i + 1);
    }
    cal.CalcCoeff();
    ASSERT_TRUE(cal.IsValid());
    EXPECT_NEAR(cal.Energy(400.0), 203.0, 1e-9);
    EXPECT_THROW(cal.Set(5, 1, 1, 0, 0, 1, "", true), Exception);
}

TEST(ECalibration, NonlinearPartCorrectsTheChannelBeforeTheFitAndInConversions) {
    // Measured channels deviate from the linear ones by N(x) = 4e-7 (x - 4000)^2 - 1.5 channels.
    auto dev = [](double x) { return 4e-7 * (x - 4000) * (x - 4000) - 1.5; };
    const double a0 = 0.3, b0 = 0.1828;
    std::vector<double> nx, nd, nu;
    for (double x = 200; x <= 16000; x += 1300) {
        nx.push_back(x);
        nd.push_back(dev(x));
        nu.push_back(0.01);
    }
    ECalibration cal;
    cal.SpectrumId = 42;
    cal.NonlinPart().Fit(nx.data(), nd.data(), nu.data(), static_cast<int>(nx.size()), 2);
    ASSERT_TRUE(cal.NonlinValid);
    for (double x : {0.0, 777.7, 9999.0, 16383.0}) EXPECT_NEAR(cal.Deviation(x), dev(x), 1e-9);

    std::vector<Pt> pts;
    for (double x : {664.4, 1882.6, 4259.4, 6079.9, 7697.7, 12000.0})
        pts.push_back({x, a0 + b0 * (x - dev(x)), 0.02, 0.003});
    Load(cal.LinearPart, pts);
    for (double x : {50.0, 3000.0, 15000.0}) {
        EXPECT_NEAR(cal.Energy(x), a0 + b0 * (x - dev(x)), 1e-8);
        EXPECT_NEAR(cal.Channel(cal.Energy(x)), x, 1e-6);
    }
    // The correction's own uncertainty adds, through the gain, to that of the energy.
    ECalibration exact = cal;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) exact.NonlinFitMatrix(i, j) = 0.0;
    for (double x : {100.0, 8000.0}) {
        ASSERT_GT(cal.DeviationUnc(x), 0.0);
        EXPECT_NEAR(std::pow(cal.EnergyUnc(x, 0.05), 2) - std::pow(exact.EnergyUnc(x, 0.05), 2),
                    std::pow(b0 * cal.DeviationUnc(x), 2), 1e-12);
    }

    // A copy keeps correcting with its own nonlinear part.
    ECalibration copy = cal;
    cal.ResetNonlin();
    EXPECT_NEAR(copy.Energy(3000.0), a0 + b0 * (3000.0 - dev(3000.0)), 1e-8);
    // Without the correction the same points no longer lie on a line.
    cal.LinearPart.CalcCoeff();
    EXPECT_GT(cal.LinearPart.GetChiSquare(), 100.0);
    EXPECT_LT(copy.LinearPart.GetChiSquare(), 1e-6);
}
