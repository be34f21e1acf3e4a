// Efficiency curve of a measurement setup.
#include "quantora/calibmodel/EffCalibration.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/calibmodel/OrtPolFit.h"

using quantora::Format;

void EffCalibration::Set(const NormOrtPol& pol, const NumMatrix<double>& fitMatrix,
                         const NumVector<double>& fitCoeff, bool absolute) {
    NormOrtPol checked;
    checked.Set(pol.Degree, pol.XTrans0, pol.XTrans1, pol.NormVect, pol.AVect, pol.BVect);
    const int n = fitCoeff.Dim();
    if (n < pol.Degree + 1)
        throw Exception(
            Format("EffCalibration::Set: %d fit coefficients for a polynomial of "
                   "degree %d",
                   n, pol.Degree));
    if (!fitMatrix.IsSquare(n))
        throw Exception(Format("EffCalibration::Set: fit matrix is %d x %d, expected %d x %d",
                               fitMatrix.Rows(), fitMatrix.Cols(), n, n));
    Pol = std::move(checked);
    FitMatrix = fitMatrix;
    FitCoeff = fitCoeff;
    Absolute = absolute;
    Valid = true;
}

void EffCalibration::Fit(const double* energy, const double* eff, const double* effUnc, int n,
                         int degree, bool absolute) {
    std::vector<double> x(static_cast<size_t>(std::max(n, 0))), y(x.size()), sy(x.size());
    for (int i = 0; i < n; ++i) {
        if (!(energy[i] > 0) || !(eff[i] > 0) || !(effUnc[i] > 0) || !std::isfinite(energy[i]) ||
            !std::isfinite(eff[i]) || !std::isfinite(effUnc[i]))
            throw Exception(
                Format("EffCalibration::Fit: point %d needs a positive energy, "
                       "efficiency and uncertainty",
                       i));
        x[i] = std::log(energy[i]);
        y[i] = std::log(eff[i]);
        sy[i] = effUnc[i] / eff[i];
    }
    quantora::OrtPolFitResult r = quantora::FitOrtPol(x.data(), y.data(), sy.data(), n, degree);
    Set(r.Pol, r.Cov, r.Coeff, absolute);
    LowerEnergy = *std::min_element(energy, energy + n);
    UpperEnergy = *std::max_element(energy, energy + n);
}

void EffCalibration::Reset() {
    Valid = false;
    Absolute = false;
    EffAnalysisId = -1;
    Name.clear();
    CreationDate = -1.0;
    LowerEnergy = UpperEnergy = -1.0;
    Pol.Reset();
    FitMatrix.Resize(0, 0);
    FitCoeff.Resize(0);
}

double EffCalibration::LogEfficiency(double energy) const {
    if (!Valid) throw Exception("EffCalibration: the efficiency calibration is not valid");
    if (!(energy > 0) || !std::isfinite(energy))
        throw Exception(Format("EffCalibration: no efficiency at energy %g keV", energy));
    return Pol.Value(std::log(energy), FitCoeff);
}

double EffCalibration::Efficiency(double energy) const {
    return std::exp(LogEfficiency(energy));
}

double EffCalibration::EfficiencyUnc(double energy) const {
    const double eff = std::exp(LogEfficiency(energy));
    return eff * std::sqrt(Pol.Variance(std::log(energy), FitMatrix));
}
