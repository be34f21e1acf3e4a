// Peak evaluation of one spectrum: peaks searched with a matched filter, fit regions built around
// them, every region fitted by Poisson maximum likelihood (Gaussians sharing a width model, a
// low-energy tail, a step under each peak, a polynomial continuum), and a peak kept only when its
// net area passes the decision threshold of the continuum under it. Pure computation: no
// database; PeakEvalStorage.h writes a result to the lab tables.
//
// What each parameter of PeakEvalCalibration means here (number, unit, default) is listed beside
// it in quantora/calibmodel/PeakEvalCalibration.h.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/calibmodel/PeakEvalCalibration.h"

namespace quantora::analysis {

// What the evaluation knows of a spectrum besides its counts.
struct SpectrumContext {
    // Energy calibration as a polynomial in the channel, keV (lowest order first); empty when
    // the spectrum has none. Energies of the peaks and the setting's keV limits need it.
    std::vector<double> energyCoeffs;
    // The FWHM calibration that applies (FWHM in channels over channel); null or not Valid
    // when there is none, and the expected widths then come from the spectrum itself.
    const FwhmCalibrClass* fwhm = nullptr;
};

struct FittedPeak {
    double channel = 0, channelUnc = 0;  // centroid, channels (centre of channel i at i)
    double energy = -1, energyUnc = -1;  // keV; -1 without an energy calibration
    double area = 0, areaUnc = 0;        // net counts: Gaussian and tail, step excluded
    double fwhm = 0, fwhmUnc = 0;        // FWHM of the Gaussian, channels
    double fwhmKeV = -1, fwhmKeVUnc = -1;
    double height = 0, heightUnc = 0;  // counts per channel at the centroid
    double background = 0;             // continuum counts under the peak, centroid +- 1.25 FWHM
    double areaUncNoPeak = 0;          // u(0): the area's uncertainty were there no peak
    double decisionThreshold = 0;      // net counts (ISO 11929, the setting's quantile)
    double detectionLimit = 0;         // net counts
    int region = -1;                   // index into PeakEvaluationResult::regions
};

struct FitRegion {
    int first = 0, last = 0;  // channels, inclusive
    int peakCount = 0;        // peaks fitted in it (also those that failed the threshold)
    double chiSquare = 0;     // Pearson chi-square against the fitted model
    int dof = 0;
    double reducedChiSquare() const { return dof > 0 ? chiSquare / dof : 0.0; }
    double tailFwhm = 0;            // low-tail junction J, in FWHM; 0: no tail
    double stepFraction = 0;        // step height over peak height
    std::vector<double> continuum;  // polynomial in (channel - first)
    int iterations = 0;
    bool converged = false;
};

struct PeakEvaluationResult {
    std::vector<FitRegion> regions;
    std::vector<FittedPeak> peaks;  // ascending channel; only those above the decision threshold
    // FWHM(ch)^2 = widthA + widthB ch, channels: the width model the fit used.
    double widthA = 0, widthB = 0;
    std::vector<std::string> notes;  // what the caller should know (regions that did not
                                     // converge, a width model estimated from the spectrum)
};

// Checks the setting's parameters the engine reads; throws an Exception that names the first
// nonsensical one.
void CheckSetting(const PeakEvalCalibration& setting);

// Evaluates the counts (channel 0 first). Throws an Exception for a spectrum that cannot be
// evaluated (fewer than 64 channels, no counts) or a nonsensical setting. Never hangs: every
// fit is bounded by the setting's iteration limit.
PeakEvaluationResult EvaluatePeaks(std::span<const unsigned long> counts,
                                   const SpectrumContext& context,
                                   const PeakEvalCalibration& setting);

}  // namespace quantora::analysis
