// Linear part of an energy calibration: energy as a straight line of the (nonlinearity-
// corrected) channel position, fitted to calibration points.
//
//     E(x) = a + b * x',    x' = x - N(x)   (N: the nonlinear part, when one is attached and valid)
//
// a (keV) and b (keV per channel) come from a weighted least-squares fit of the points
// (x'_i, E_i) with uncertainties on both axes (effective variance; see LineFit.h for the
// formulas, the covariance and its chi2 scaling). The channel uncertainty of a point is taken
// as the uncertainty of x' (the slope of N is neglected).
//
//     var E(x) = var a + x'^2 var b + 2 x' cov(a,b) + b^2 (sx^2 + var N(x))
//     x(E): x' = (E - a) / b, then x solved from x - N(x) = x'
//     var x(E) = (sE^2 + var a + x'^2 var b + 2 x' cov(a,b)) / b^2 + var N(x)
//
// With fewer than two points in the fit the calibration is the default, E = x keV (offset 0,
// 1 keV per channel, no uncertainty). A fit that cannot be made (all points at one channel,
// values that are not finite numbers) leaves the calibration invalid with a reason; energies,
// channels and parameters of an invalid calibration throw an Exception with that reason.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

class NonlinECalibr;

struct ECalibrPoint {
    int PointId = -1;  // key of the stored point
    double ChPos = 0.0;
    double Energy = 0.0;
    double ChPosUnc = 0.0;
    double EnergyUnc = 0.0;
    AnsiString Description;
    bool UseInFit = true;
};

class LinearECalibr {
  public:
    static constexpr double kDefaultOffset = 0.0;  // keV
    static constexpr double kDefaultGain = 1.0;    // keV per channel

    LinearECalibr() { SetToDefault(); }

    // Removes every point and sets the default calibration.
    void SetToDefault();
    // Sets point i. i = 0 starts a new point list; i = the current count appends; a smaller i
    // replaces that point. Any other index throws. `useInFit` false keeps the point without
    // fitting it. Coefficients change only in CalcCoeff.
    void Set(int i, double chpos, double energy, double chposUnc, double energyUnc, int pointKey,
             const char* description, bool useInFit);
    int GetPointCount() const { return static_cast<int>(Points.size()); }

    // Fits the coefficients to the points, through the attached nonlinear part.
    void CalcCoeff();
    // Offset a, gain b, their variances and covariance; throws when the calibration is invalid.
    // Null pointers are skipped.
    void GetParams(double* a, double* b, double* aVar, double* bVar, double* covar) const;

    bool IsValid() const { return valid_; }
    bool IsDefault() const { return default_; }
    const AnsiString& InvalidReason() const { return reason_; }
    double GetChiSquare() const { return chiSquare_; }
    int GetDegreesOfFreedom() const { return dof_; }

    double Energy(double ch) const;
    double EnergyUnc(double ch, double chUnc = 0.0) const;
    double Channel(double energy) const;
    double ChannelUnc(double energy, double energyUnc = 0.0) const;

    // The nonlinear part used by CalcCoeff and the conversions; null for none. Not owned.
    void SetNonlinPart(const NonlinECalibr* nonlin) { nonlin_ = nonlin; }
    const NonlinECalibr* GetNonlinPart() const { return nonlin_; }

    // The point list, read and written directly by the storage code (point keys are written
    // back after a store).
    std::vector<ECalibrPoint> Points;

  private:
    void RequireValid() const;
    double Corrected(double ch) const;
    double NonlinVariance(double ch) const;

    const NonlinECalibr* nonlin_ = nullptr;
    double a_ = kDefaultOffset, b_ = kDefaultGain, aVar_ = 0, bVar_ = 0, cov_ = 0;
    double chiSquare_ = 0;
    int dof_ = 0;
    bool valid_ = true;
    bool default_ = true;
    AnsiString reason_;
};
