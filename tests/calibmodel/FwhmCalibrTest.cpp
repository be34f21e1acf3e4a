// FWHM calibration: FWHM^2 = A + B x fitted to width points, its covariance and the invalid
// states.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"

TEST(FwhmCalibrClass, KnownParametersAreRecoveredWithClosedFormCovariance) {
    const double a0 = 2.25, b0 = 6.5e-4;  // channel^2, channel
    struct P {
        double ch, f, sch, sf;
    };
    std::vector<P> pts;
    for (double ch : {650.0, 1900.0, 3300.0, 4300.0, 6100.0, 7700.0, 14300.0})
        pts.push_back({ch, std::sqrt(a0 + b0 * ch), 0.05, 0.01 + ch * 2e-6});
    FwhmCalibrClass cal;
    for (size_t i = 0; i < pts.size(); ++i) {
        cal.Set(static_cast<int>(i), pts[i].ch, pts[i].f, pts[i].sch, pts[i].sf,
                static_cast<int>(i + 1));
        EXPECT_EQ(cal.Valid, i >= 1) << i;  // a width line needs two points
    }
    double a, b, va, vb, cv;
    cal.GetParams(&a, &b, &va, &vb, &cv);
    EXPECT_NEAR(a, a0, 1e-10);
    EXPECT_NEAR(b, b0, 1e-14);
    EXPECT_NEAR(cal.Fwhm(1000.0), std::sqrt(a0 + b0 * 1000.0), 1e-12);

    // Closed form (X'WX)^-1 with var(FWHM^2) = (2 f sf)^2 + (B sch)^2.
    double s = 0, sx = 0, sxx = 0;
    for (const P& p : pts) {
        const double w = 1 / (std::pow(2 * p.f * p.sf, 2) + std::pow(b0 * p.sch, 2));
        s += w;
        sx += w * p.ch;
        sxx += w * p.ch * p.ch;
    }
    const double det = s * sxx - sx * sx;
    EXPECT_NEAR(va / (sxx / det), 1.0, 1e-8);
    EXPECT_NEAR(vb / (s / det), 1.0, 1e-8);
    EXPECT_NEAR(cv / (-sx / det), 1.0, 1e-8);
    // u(FWHM) = u(FWHM^2) / (2 FWHM).
    const double x = 5000;
    EXPECT_NEAR(cal.FwhmUnc(x), std::sqrt(va + x * x * vb + 2 * x * cv) / (2 * cal.Fwhm(x)), 1e-15);
    EXPECT_EQ(cal.Points[3].PointId, 4);
}

TEST(FwhmCalibrClass, FewPointsSingularAndUnphysicalInputStayInvalid) {
    FwhmCalibrClass cal;
    EXPECT_FALSE(cal.Valid);
    EXPECT_THROW(cal.GetParams(nullptr, nullptr, nullptr, nullptr, nullptr), Exception);
    cal.Set(0, 1000.0, 2.0, 0.1, 0.02, 1);
    EXPECT_FALSE(cal.Valid);
    EXPECT_FALSE(cal.InvalidReason().empty());
    cal.Set(1, 1000.0, 2.1, 0.1, 0.02, 2);  // same channel: no slope
    EXPECT_FALSE(cal.Valid);
    EXPECT_NE(cal.InvalidReason().find("same position"), AnsiString::npos) << cal.InvalidReason();
    EXPECT_EQ(cal.A, 0.0);
    EXPECT_THROW(cal.Fwhm(500.0), Exception);
    cal.Set(1, 3000.0, -2.1, 0.1, 0.02, 2);
    EXPECT_FALSE(cal.Valid);
    EXPECT_THROW(cal.Set(3, 1, 1, 0, 0, 3), Exception);

    // Set(0) starts a new list: old points never linger.
    cal.Set(1, 3000.0, 2.6, 0.1, 0.02, 2);
    cal.Set(2, 5000.0, 3.0, 0.1, 0.02, 3);
    ASSERT_TRUE(cal.Valid);
    cal.Set(0, 100.0, 1.0, 0.1, 0.02, 9);
    EXPECT_EQ(cal.GetPointCount(), 1);
    EXPECT_FALSE(cal.Valid);

    // Parameters written directly (an analysis without points), and where the model has no width.
    cal.A = -4.0;
    cal.B = 0.002;
    cal.Valid = true;
    EXPECT_NEAR(cal.Fwhm(4000.0), 2.0, 1e-12);
    EXPECT_THROW(cal.Fwhm(1000.0), Exception);
    cal.Reset();
    EXPECT_EQ(cal.GetPointCount(), 0);
    EXPECT_FALSE(cal.Valid);
}
