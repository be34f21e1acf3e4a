// Peak width (full width at half maximum) as a function of position: channel for the FWHM
// calibration of a spectrum, energy for the resolution analysis of a measurement setup.
//
//     FWHM(x)^2 = A + B * x
//     u(FWHM) = sqrt(var A + x^2 var B + 2 x cov(A,B)) / (2 FWHM)
//
// A and B are fitted by weighted least squares to the points (x_i, FWHM_i^2), the uncertainty of
// FWHM_i^2 being 2 FWHM_i u(FWHM_i) and the position uncertainty entering through the effective
// variance (formulas, covariance and its chi2 scaling in LineFit.h). The parameters may also be
// written directly (an analysis that stores only them); Valid says whether they may be used.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

struct FwhmCalibrPoint {
    int PointId = -1;  // key of the stored point
    double ChPos = 0.0;
    double Fwhm = 0.0;
    double ChPosUnc = 0.0;
    double FwhmUnc = 0.0;
};

class FwhmCalibrClass {
  public:
    // Sets point i and refits. i = 0 starts a new point list; i = the current count appends; a
    // smaller i replaces that point. Any other index throws an Exception.
    void Set(int i, double chpos, double fwhm, double chposUnc, double fwhmUnc, int pointKey);
    int GetPointCount() const { return static_cast<int>(Points.size()); }

    // Fits A and B to the points. Valid afterwards when the fit succeeded; otherwise Valid is
    // false, the parameters are zero and InvalidReason() says why (fewer than 2 points, all at
    // one position, a negative width, a value that is not a finite number).
    void CalcCoeff();
    // A, B, var A, var B, cov(A,B); throws an Exception when not Valid. Null pointers are skipped.
    void GetParams(double* a, double* b, double* aVar, double* bVar, double* covar) const;
    const AnsiString& InvalidReason() const { return reason_; }
    double GetChiSquare() const { return chiSquare_; }
    int GetDegreesOfFreedom() const { return dof_; }

    // FWHM at x and its standard uncertainty. Throw an Exception when not Valid, or where
    // A + B x is not positive (the model gives no width there).
    double Fwhm(double x) const;
    double FwhmUnc(double x) const;

    // Everything back to a fresh, invalid calibration.
    void Reset();

    // Read and written directly by the storage code.
    std::vector<FwhmCalibrPoint> Points;
    double A = 0.0, B = 0.0, AVar = 0.0, BVar = 0.0, Covar = 0.0;
    int FwhmCalId = -1;  // key of a FWHMCAL or RESOLANALYSIS row
    int CreatedByEmpId = -1;
    int LastModByEmpId = -1;
    int SpectrumId = -1;
    TDateTime CreationDate = -1.0;
    TDateTime LastModifiedDate = -1.0;
    AnsiString Name;
    AnsiString Comment;
    bool Tentative = false;
    bool Valid = false;

  private:
    double Squared(double x) const;

    AnsiString reason_;
    double chiSquare_ = 0.0;
    int dof_ = 0;
};
