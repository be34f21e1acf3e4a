// Nonlinear part of an energy calibration: the deviation of the measured channel position from
// the ideal linear one, as a normalised orthogonal polynomial of the channel.
//
//     N(x)  = sum_k c_k * P_k(x),   k = 0 .. d                        (channels)
//     x_lin = x - N(x)              the channel the linear part works with
//     var N(x) = sum_jk P_j(x) * M_jk * P_k(x)
//
// P_k is the polynomial NonlinPol (see NormOrtPol), c the first d + 1 elements of the fit
// coefficient vector NonlinFitCoeff and M the fit matrix NonlinFitMatrix, the covariance of the
// coefficients. A nonlinearity analysis fitted over m measurements stores n = d + 2m - 1
// coefficients: the d + 1 of the polynomial first, then the offset and gain of each further
// measurement relative to the first, which the correction does not use. The constant and linear
// terms of N are absorbed when the linear part is fitted to the corrected channels.
#pragma once

#include "quantora/base/Types.h"
#include "quantora/calibmodel/NormOrtPol.h"
#include "quantora/numeric/NumMatrix.h"
#include "quantora/numeric/NumVector.h"

class NonlinECalibr {
  public:
    // Installs the correction and makes the part valid. Throws an Exception, leaving the part
    // unchanged, when the polynomial is not set or inconsistent, the coefficient vector has fewer
    // than degree + 1 elements, or the matrix is not square of the vector's dimension.
    void Set(const NormOrtPol& pol, const NumMatrix<double>& fitMatrix,
             const NumVector<double>& fitCoeff);
    // Fits the correction to deviations dev[i] +- devUnc[i] (channels) measured at channels ch[i]
    // and installs it; the analysis attributes are left to the caller.
    void Fit(const double* ch, const double* dev, const double* devUnc, int n, int degree);
    // Invalid, empty polynomial and fit, reset analysis attributes.
    void ResetNonlin();

    // N(x) and its standard uncertainty; throw an Exception when the part is not valid.
    double Deviation(double ch) const;
    double DeviationUnc(double ch) const;
    // x - N(x) when the part is valid, x unchanged otherwise.
    double CorrectChannel(double ch) const;
    // The measured channel x whose corrected channel is `linCh` (inverse of CorrectChannel, by
    // fixed-point iteration; throws if it does not converge).
    double UncorrectChannel(double linCh) const;

    // Read and written directly by the storage code.
    bool NonlinValid = false;
    int NonlinAnalysisId = -1;
    AnsiString NonlinName;
    int NonlinEmployeeId = -1;
    TDateTime NonlinCreationDate = -1.0;
    AnsiString NonlinComment;
    bool NonlinTentative = false;
    NormOrtPol NonlinPol;
    NumMatrix<double> NonlinFitMatrix;
    NumVector<double> NonlinFitCoeff;
};
