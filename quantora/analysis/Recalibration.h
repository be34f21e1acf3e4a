// Energy and FWHM recalibration from the peaks of an evaluation. File calibrations are often a
// few keV off; the peaks are first aligned with the library's lines by the gain and offset
// correction that lets the most (and strongest) peaks meet a line, then matched one to one and a
// polynomial (quadratic with enough points, else linear) fitted channel to energy with outliers
// rejected. The FWHM calibration is the evaluation's width model, at the channels of its
// well-measured single peaks.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "quantora/analysis/PeakEvaluation.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"

namespace quantora::analysis {

struct ReferenceLine {
    double energy = 0, energyUnc = 0;  // keV
    double intensity = 0;              // photons per 100 decays
    int key = -1;                      // the caller's
};

struct LineMatch {
    int peak = -1;           // index into PeakEvaluationResult::peaks
    int line = -1;           // index into the lines
    double residualKeV = 0;  // calibrated peak energy minus line energy
    bool used = true;        // in the energy fit (false: rejected as an outlier)
};

struct Recalibration {
    bool energyValid = false;
    std::vector<double> energyCoeffs;  // keV over channel, lowest order first
    std::vector<LineMatch> matches;
    double rmsKeV = 0;
    FwhmCalibrClass fwhm;  // FWHM in channels over channel; Valid when fitted
    std::vector<std::string> notes;
};

// Recalibrates from `result`, whose peak energies came from `coeffs` (the spectrum's current
// calibration, however approximate). Without at least 3 matched lines the energy calibration
// stays invalid and a note says why.
Recalibration Recalibrate(const PeakEvaluationResult& result, const std::vector<double>& coeffs,
                          std::span<const ReferenceLine> lines, const PeakEvalCalibration& setting);

// The line a peak of energy `energy` (keV, uncertainty `energyUnc`, width `fwhmKeV`) is: of the
// lines within the setting's tolerance with at least 1 % of the strongest one's intensity, the
// nearest; -1 for none. `lines` sorted by energy.
int IdentifyLine(double energy, double energyUnc, double fwhmKeV,
                 std::span<const ReferenceLine> lines, const PeakEvalCalibration& setting);

}  // namespace quantora::analysis
