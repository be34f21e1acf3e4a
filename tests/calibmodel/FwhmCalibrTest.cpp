// FWHM calibration: FWHM^2 = A + B x fitted to width points (the line fit itself is the energy
// calibration's), the width uncertainty and the invalid states.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "quantora/base/Exception.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/calibmodel/LinearECalibr.h"

TEST(FwhmCalibrClass, KnownParametersAreRecoveredFromTheLineOfSquaredWidths) {
    const double a0 = 2.25, b0 = 6.5e-4;  // channel^2, channel
    FwhmCalibrClass cal;
    LinearECalibr line;  // the same points as (ch, FWHM^2) with u(FWHM^2) = 2 f sf
    int i = 0;
    for (double ch : {650.0, 1900.0, 3300.0, 4300.0, 6100.0, 7700.0, 14300.0}) {
        const double f = std::sqrt(a0 + b0 * ch), sf = 0.01 + ch * 2e-6;
        cal.Set(i, ch, f, 0.05, sf, i + 1);
        line.Set(i++, ch, f * f, 0.05, 2 * f * sf, -1, "", true);
        EXPECT_EQ(cal.Valid, i >= 2) << i;  // a width line needs two points
    }
    line.CalcCoeff();
    double a, b, va, vb, cv, la, lb, lva, lvb, lcv;
    cal.GetParams(&a, &b, &va, &vb, &cv);
    line.GetParams(&la, &lb, &lva, &lvb, &lcv);
    EXPECT_EQ(std::make_tuple(a, b, va, vb, cv), std::make_tuple(la, lb, lva, lvb, lcv));
    EXPECT_NEAR(cal.Fwhm(1000.0), std::sqrt(a0 + b0 * 1000.0), 1e-12);
    // u(FWHM) = u(FWHM^2) / (2 FWHM).
    const double x = 5000;
    EXPECT_NEAR(cal.FwhmUnc(x), std::sqrt(va + x * x * vb + 2 * x * cv) / (2 * cal.Fwhm(x)), 1e-15);
}

TEST(FwhmCalibrClass, FewPointsSingularAndUnphysicalInputStayInvalid) {
    FwhmCalibrClass cal;
    EXPECT_THROW(cal.GetParams(nullptr, nullptr, nullptr, nullptr, nullptr), Exception);
    cal.Set(0, 1000.0, 2.0, 0.1, 0.02, 1);
    for (double ch : {1000.0, 3000.0}) {  // same channel: no slope; then a negative width
        cal.Set(1, ch, ch == 1000.0 ? 2.1 : -2.1, 0.1, 0.02, 2);
        EXPECT_FALSE(cal.Valid);
        EXPECT_THROW(cal.Fwhm(500.0), Exception);
    }
    // Parameters written directly (an analysis without points), and where the model has no width.
    cal.A = -4.0;
    cal.B = 0.002;
    cal.Valid = true;
    EXPECT_NEAR(cal.Fwhm(4000.0), 2.0, 1e-12);
    EXPECT_THROW(cal.Fwhm(1000.0), Exception);
    cal.Reset();  // points and parameters gone: invalid until refitted
    EXPECT_TRUE(!cal.Valid && cal.GetPointCount() == 0 && cal.A == 0.0 && cal.B == 0.0);
    EXPECT_THROW(cal.Fwhm(4000.0), Exception);
}
