// Energy calibration of a spectrum: bookkeeping of the stored calibration, a linear part fitted
// to calibration points and a nonlinear part (this object itself, as a NonlinECalibr) that
// corrects the channel before the linear part sees it:
//
//     E(x) = a + b * (x - N(x))
//
// (formulas and uncertainties in LinearECalibr.h and NonlinECalibr.h). The correction is applied
// whenever the nonlinear part is valid; call LinearPart.CalcCoeff() after changing either part.
#pragma once

#include "quantora/base/Types.h"
#include "quantora/calibmodel/LinearECalibr.h"
#include "quantora/calibmodel/NonlinECalibr.h"

class ECalibration : public NonlinECalibr {
  public:
    ECalibration();
    ECalibration(const ECalibration& other);
    ECalibration& operator=(const ECalibration& other);

    // Resets everything to a fresh calibration (default linear part, invalid nonlinear part,
    // bookkeeping at its reset values) except the spectrum key.
    void Init();

    NonlinECalibr& NonlinPart() { return *this; }
    const NonlinECalibr& NonlinPart() const { return *this; }

    // Conversions through both parts (see LinearECalibr).
    double Energy(double ch) const { return LinearPart.Energy(ch); }
    double EnergyUnc(double ch, double chUnc = 0.0) const {
        return LinearPart.EnergyUnc(ch, chUnc);
    }
    double Channel(double energy) const { return LinearPart.Channel(energy); }
    double ChannelUnc(double energy, double energyUnc = 0.0) const {
        return LinearPart.ChannelUnc(energy, energyUnc);
    }

    // Read and written directly by the storage code.
    int ECalId = -1;
    int SpectrumId = -1;
    AnsiString Name;
    bool Tentative = false;
    bool UseNonlinPart = false;
    TDateTime CreationDate = -1.0;
    int CreatedByEmpId = -1;
    TDateTime LastModifiedDate = -1.0;
    int LastModByEmpId = -1;
    AnsiString Comment;
    LinearECalibr LinearPart;  // bound to this object's nonlinear part
};
