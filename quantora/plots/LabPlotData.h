// What the plots show, read from a lab database: a spectrum with its energy calibration (the
// one that applies to it) and the peaks of its measurement's peak evaluation, matched against
// a radiation library when one is given; the calibrations of a spectrum; an efficiency
// analysis with the efficiencies its source lines measured.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/plots/CalibrationPlots.h"
#include "quantora/plots/SpectrumPlot.h"

class RadiationLibrary;

namespace quantora::plots {

// Throws an Exception naming the key when no spectrum has it and when its counts cannot be read.
// Peaks carry the nuclide matched in `library` (loaded, bounds generated; may be null) when it
// has one, else the nuclide their evaluation assigned.
SpectrumSeries LoadSpectrumSeries(const char* alias, int spectrumId, RadiationLibrary* library);

// The energy / FWHM calibration that applies to the spectrum; throws when it has none stored.
ECalibration LoadSpectrumECal(const char* alias, int spectrumId);
// The energy calibration that applies to the spectrum, if one is stored and valid.
std::optional<ECalibration> FindSpectrumECal(const char* alias, int spectrumId);
FwhmCalibrClass LoadSpectrumFwhmCal(const char* alias, int spectrumId);

struct EffAnalysisData {
    EffCalibration cal;
    std::vector<EffPoint> points;  // lines whose source activity and intensity are known
};
// Throws when no efficiency analysis has the key.
EffAnalysisData LoadEffAnalysis(const char* alias, int effAnalysisId);

// The nuclide name of the strongest library line that matches the energy, or empty.
std::string MatchNuclide(RadiationLibrary& library, double energy, double energyUnc);

}  // namespace quantora::plots
