// Detection efficiency of a measurement setup as a function of gamma energy, a polynomial in
// log-log form through a normalised orthogonal polynomial (see NormOrtPol):
//
//     ln eps(E) = sum_k c_k * P_k(ln E),   k = 0 .. d
//     var ln eps(E) = sum_jk P_j(ln E) * M_jk * P_k(ln E),   u(eps) = eps * sqrt(var ln eps)
//
// c are the first d + 1 elements of FitCoeff and M the fit matrix FitMatrix (covariance of the
// coefficients); further coefficients of a stored analysis (for example the normalisation of
// each measurement of a relative analysis) are not part of the curve. `Absolute` tells whether
// eps is the absolute full-energy-peak efficiency or a relative one (arbitrary scale). The curve
// is meant for LowerEnergy .. UpperEnergy, the energy range of the fitted peaks; outside it the
// values are extrapolations.
#pragma once

#include "quantora/base/Types.h"
#include "quantora/calibmodel/NormOrtPol.h"
#include "quantora/numeric/NumMatrix.h"
#include "quantora/numeric/NumVector.h"

class EffCalibration {
  public:
    // Installs the curve and makes it valid; throws an Exception, leaving the object unchanged,
    // when the polynomial is not set or inconsistent, the vector has fewer than degree + 1
    // elements or the matrix is not square of the vector's dimension.
    void Set(const NormOrtPol& pol, const NumMatrix<double>& fitMatrix,
             const NumVector<double>& fitCoeff, bool absolute);
    // Fits the curve to efficiencies eff[i] +- effUnc[i] at energies energy[i] (keV), sets the
    // energy range to that of the points and makes it valid; the analysis attributes are left
    // to the caller.
    void Fit(const double* energy, const double* eff, const double* effUnc, int n, int degree,
             bool absolute);
    // Invalid, no curve, no range, reset attributes.
    void Reset();

    // Efficiency and its standard uncertainty at energy (keV); throw an Exception when the
    // calibration is invalid or the energy is not positive.
    double Efficiency(double energy) const;
    double EfficiencyUnc(double energy) const;
    bool HasRange() const { return LowerEnergy > 0.0 && UpperEnergy >= LowerEnergy; }
    bool InRange(double energy) const {
        return HasRange() && energy >= LowerEnergy && energy <= UpperEnergy;
    }

    // Read and written directly by the storage code.
    bool Valid = false;
    bool Absolute = false;
    int EffAnalysisId = -1;
    AnsiString Name;
    TDateTime CreationDate = -1.0;
    double LowerEnergy = -1.0;  // keV
    double UpperEnergy = -1.0;  // keV
    NormOrtPol Pol;
    NumMatrix<double> FitMatrix;
    NumVector<double> FitCoeff;

  private:
    double LogEfficiency(double energy) const;
};
