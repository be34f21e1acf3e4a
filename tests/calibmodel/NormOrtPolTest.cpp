// Orthogonal polynomials: recurrence evaluation against hand-expanded and power-series
// polynomials, orthonormality of a built basis, and the covariance of a fit in that basis.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/calibmodel/LinearECalibr.h"
#include "quantora/calibmodel/NormOrtPol.h"
#include "quantora/calibmodel/OrtPolFit.h"

namespace {

NumVector<double> Vec(std::initializer_list<double> v) {
    NumVector<double> r(static_cast<int>(v.size()));
    int i = 0;
    for (double d : v) r[i++] = d;
    return r;
}

}  // namespace

TEST(NormOrtPol, RecurrenceMatchesTheExpandedPolynomials) {
    NormOrtPol pol;
    const double x0 = -1.25, x1 = 0.002;
    pol.Set(3, x0, x1, Vec({0.5, 2.0, -3.0, 0.25}), Vec({0.1, -0.2, 0.3}), Vec({0.7, 0.4}));
    for (double x : {0.0, 250.0, 625.0, 1100.0}) {
        const double t = x0 + x1 * x;
        const double p1 = t - 0.1;
        const double p2 = t * t - (0.1 - 0.2) * t + 0.1 * -0.2 - 0.7;
        const double p3 = (t - 0.3) * p2 - 0.4 * p1;
        EXPECT_NEAR(pol.Value(x, Vec({1, 2, 3, 4, 99})),
                    0.5 + 2 * 2.0 * p1 + 3 * -3.0 * p2 + 4 * 0.25 * p3, 1e-12);
    }

    // Sizes that do not fit the degree are refused; so are members broken after Set.
    EXPECT_THROW(pol.Set(3, 0, 1, Vec({1, 1, 1}), Vec({0, 0, 0}), Vec({0, 0})), Exception);
    EXPECT_EQ(pol.Degree, 3);  // unchanged by the refused call
    EXPECT_THROW(pol.Value(1.0, Vec({1, 2, 3})), Exception);
    // Degree 0 and 1 have no b-vector.
    pol.Set(1, 0, 1, Vec({1, 1}), Vec({0.5}), Vec({}));
    EXPECT_DOUBLE_EQ(pol.Value(2.0, Vec({3, 4})), 3 + 4 * 1.5);
}

TEST(NormOrtPol, BuiltBasisIsOrthonormalAndFitsPowerSeriesExactly) {
    std::vector<double> x, w;
    for (int i = 0; i < 12; ++i) {
        x.push_back(std::log(80.0 + 130.0 * i));  // log-energy axis, as in efficiency curves
        w.push_back(1.0 + (i % 4));
    }
    NormOrtPol pol;
    pol.Build(x.data(), w.data(), 12, 4);
    for (int j = 0; j <= 4; ++j)
        for (int k = 0; k <= 4; ++k) {
            double s = 0;
            for (int i = 0; i < 12; ++i) {
                double p[5];
                pol.Basis(x[i], p);
                s += w[i] * p[j] * p[k];
            }
            EXPECT_NEAR(s, j == k ? 1.0 : 0.0, 1e-10) << j << "," << k;
        }

    // A cubic is reproduced everywhere, also between and beyond the points.
    auto cubic = [](double u) { return -3.1 + 0.9 * u - 0.35 * u * u + 0.021 * u * u * u; };
    std::vector<double> y, sy;
    for (int i = 0; i < 12; ++i) {
        y.push_back(cubic(x[i]));
        sy.push_back(0.01 * (1 + i % 3));
    }
    const quantora::OrtPolFitResult fit = quantora::FitOrtPol(x.data(), y.data(), sy.data(), 12, 3);
    EXPECT_NEAR(fit.ChiSquare, 0.0, 1e-16);
    EXPECT_EQ(fit.Dof, 8);
    for (double u : {std::log(50.0), std::log(700.0), std::log(3000.0)})
        EXPECT_NEAR(fit.Pol.Value(u, fit.Coeff), cubic(u), 1e-10);

    // Orthonormal at the points: the weighted sum over them of the variance under a unit
    // covariance is the number of basis polynomials, also for degrees past the stack buffer.
    for (int degree : {4, 32, 33}) {
        std::vector<double> u, uw;
        for (int i = 0; i < 40; ++i) u.push_back(i), uw.push_back(1.0 + (i % 3));
        pol.Build(u.data(), uw.data(), 40, degree);
        NumMatrix<double> unit(degree + 1, degree + 1);
        for (int k = 0; k <= degree; ++k) unit[k][k] = 1.0;
        double sum = 0;
        for (int i = 0; i < 40; ++i) sum += uw[i] * pol.Variance(u[i], unit);
        EXPECT_NEAR(sum, degree + 1, 1e-6 * degree) << degree;
    }

    const double dup[] = {1.0, 1.0, 2.0}, ones[] = {1.0, 1.0, 1.0};
    EXPECT_THROW(pol.Build(dup, ones, 3, 2), Exception);
    EXPECT_NO_THROW(pol.Build(dup, ones, 3, 1));
}

TEST(OrtPolFit, ALineInTheBasisHasTheCovarianceOfTheStraightLineFit) {
    // Degree 1 through exact points with y uncertainties only: the straight-line fit of the
    // energy calibration, whose covariance has its own closed-form test, gives var f(x).
    const double x[] = {1, 2, 3.5, 5, 7, 8}, sy[] = {0.1, 0.2, 0.1, 0.3, 0.15, 0.1};
    double y[6];
    LinearECalibr line;
    for (int i = 0; i < 6; ++i) {
        y[i] = 2 - 0.5 * x[i];
        line.Set(i, x[i], y[i], 0, sy[i], -1, "", true);
    }
    line.CalcCoeff();
    double a, b, va, vb, cv;
    line.GetParams(&a, &b, &va, &vb, &cv);
    const quantora::OrtPolFitResult fit = quantora::FitOrtPol(x, y, sy, 6, 1);
    for (double at : {0.0, 1.0, 4.2, 8.0, 12.0}) {
        EXPECT_NEAR(fit.Pol.Value(at, fit.Coeff), a + b * at, 1e-12) << at;
        EXPECT_NEAR(fit.Pol.Variance(at, fit.Cov) / (va + at * at * vb + 2 * at * cv), 1.0, 1e-9)
            << at;
    }
}
