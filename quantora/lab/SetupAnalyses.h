// The resolution and the integral nonlinearity of a measurement setup from stored evaluations of
// its calibration spectra. Every peak that an evaluation's recalibration matched to a library
// line (and kept in its energy fit) is a point: its FWHM at the line's energy, and how far its
// channel lies from the channel the straight part of the spectrum's energy calibration gives
// the line. The curves are fitted through the points and stored as the setup's RESOLANALYSIS
// or NONLINANALYSIS, with a measurement row per spectrum and a peak row per point, valid for
// the setup from a date, so that the calibration retrieval of later measurements finds them.
#pragma once

#include <vector>

#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/calibmodel/NonlinECalibr.h"
#include "quantora/lab/PeakEvalRun.h"

namespace quantora {

struct SetupAnalysisOptions {
    int setupId = -1;         // MEASSETUP_ID the analysis holds for; -1: the first spectrum's
    TDateTime validFrom = 0;  // from when; 0: the latest spectrum's measurement date
    AnsiString name;          // of the analysis; empty: from the setup
    int projectId = -1;
    int employeeId = -1;
    TDateTime created = 0;  // CREATIONDATE of the rows; 0: now
};

struct SetupResolution {
    FwhmCalibrClass curve;  // FWHM in keV over energy in keV
    int points = 0;
    int resolAnalysisId = -1;
};

struct SetupNonlinearity {
    NonlinECalibr curve;  // deviation in channels over channel
    double chiSquare = 0;
    double largest = 0;  // the largest |deviation| over the spectrum's channels
    int points = 0;
    int nonlinAnalysisId = -1;
};

// Fits and stores the resolution through the points of `runs` (stored evaluations, each with a
// recalibration). Throws an Exception, storing nothing, when the fit fails (too few points).
SetupResolution StoreSetupResolution(const char* dbName,
                                     const std::vector<const PeakEvalRun*>& runs,
                                     const SetupAnalysisOptions& options);

// Fits and stores the nonlinearity of `run`'s spectrum as a polynomial of `degree` in channel.
// Throws an Exception, storing nothing, with fewer points than degree + 2.
SetupNonlinearity StoreSetupNonlinearity(const char* dbName, const PeakEvalRun& run,
                                         const SetupAnalysisOptions& options, int degree = 3);

}  // namespace quantora
