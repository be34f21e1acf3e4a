// Weighted least-squares fit of y(x) by a normalised orthogonal polynomial, used to make the
// nonlinearity and efficiency curves.
//
// The basis is built orthonormal over the points with weights w_i = 1/sy_i^2 (see NormOrtPol), so
// the normal matrix is the identity and
//     c_k = sum_i w_i * y_i * P_k(x_i),      cov(c) = I,
//     chi2 = sum_i w_i * (y_i - sum_k c_k P_k(x_i))^2,  dof = n - (d + 1).
// When chi2/dof > 1 the covariance is multiplied by chi2/dof (Birge ratio).
#pragma once

#include "quantora/calibmodel/NormOrtPol.h"
#include "quantora/numeric/NumMatrix.h"
#include "quantora/numeric/NumVector.h"

namespace quantora {

struct OrtPolFitResult {
    NormOrtPol Pol;
    NumVector<double> Coeff;  // Degree + 1 coefficients
    NumMatrix<double> Cov;    // their covariance
    double ChiSquare = 0;
    int Dof = 0;
};

// Throws an Exception for non-finite input, an uncertainty that is not positive, or fewer than
// degree + 1 distinct positions.
OrtPolFitResult FitOrtPol(const double* x, const double* y, const double* sy, int n, int degree);

}  // namespace quantora
