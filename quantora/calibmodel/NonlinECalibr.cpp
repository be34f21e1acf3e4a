// Nonlinear part of an energy calibration.
#include "quantora/calibmodel/NonlinECalibr.h"

#include <cmath>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/calibmodel/OrtPolFit.h"

using quantora::Format;

void NonlinECalibr::Set(const NormOrtPol& pol, const NumMatrix<double>& fitMatrix,
                        const NumVector<double>& fitCoeff) {
    NormOrtPol checked;  // validates the polynomial's members
    checked.Set(pol.Degree, pol.XTrans0, pol.XTrans1, pol.NormVect, pol.AVect, pol.BVect);
    const int n = fitCoeff.Dim();
    if (n < pol.Degree + 1)
        throw Exception(
            Format("NonlinECalibr::Set: %d fit coefficients for a polynomial of "
                   "degree %d",
                   n, pol.Degree));
    if (!fitMatrix.IsSquare(n))
        throw Exception(Format("NonlinECalibr::Set: fit matrix is %d x %d, expected %d x %d",
                               fitMatrix.Rows(), fitMatrix.Cols(), n, n));
    NonlinPol = std::move(checked);
    NonlinFitMatrix = fitMatrix;
    NonlinFitCoeff = fitCoeff;
    NonlinValid = true;
}

void NonlinECalibr::Fit(const double* ch, const double* dev, const double* devUnc, int n,
                        int degree) {
    quantora::OrtPolFitResult r = quantora::FitOrtPol(ch, dev, devUnc, n, degree);
    Set(r.Pol, r.Cov, r.Coeff);
}

void NonlinECalibr::ResetNonlin() {
    NonlinValid = false;
    NonlinAnalysisId = -1;
    NonlinName.clear();
    NonlinEmployeeId = -1;
    NonlinCreationDate = -1.0;
    NonlinComment.clear();
    NonlinTentative = false;
    NonlinPol.Reset();
    NonlinFitMatrix.Resize(0, 0);
    NonlinFitCoeff.Resize(0);
}

double NonlinECalibr::Deviation(double ch) const {
    if (!NonlinValid) throw Exception("NonlinECalibr: the nonlinear correction is not valid");
    return NonlinPol.Value(ch, NonlinFitCoeff);
}

double NonlinECalibr::DeviationUnc(double ch) const {
    if (!NonlinValid) throw Exception("NonlinECalibr: the nonlinear correction is not valid");
    return std::sqrt(NonlinPol.Variance(ch, NonlinFitMatrix));
}

double NonlinECalibr::CorrectChannel(double ch) const {
    return NonlinValid ? ch - NonlinPol.Value(ch, NonlinFitCoeff) : ch;
}

double NonlinECalibr::UncorrectChannel(double linCh) const {
    if (!NonlinValid) return linCh;
    // x = linCh + N(x); N changes slowly (|N'| << 1), so the iteration contracts quickly.
    double x = linCh;
    for (int i = 0; i < 200; ++i) {
        const double next = linCh + NonlinPol.Value(x, NonlinFitCoeff);
        if (std::fabs(next - x) <= 1e-9 * (1.0 + std::fabs(next))) return next;
        x = next;
    }
    throw Exception(
        Format("NonlinECalibr: no channel found for corrected channel %g (the "
               "correction is too steep to invert)",
               linCh));
}
