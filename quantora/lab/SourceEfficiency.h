// The full-energy efficiency of a measurement setup from the spectrum of a certified source:
// the spectrum evaluated with the source's nuclides (recalibrated from their lines), each
// certified line's net counts (a background spectrum of the same geometry subtracted), the
// photons the source emitted in the live time (the certified activity or emission rate decayed
// to the count, and during it), each line's efficiency with its uncertainty (counting,
// certificate, emission probability, half-life), and the efficiency curve fitted through them.
// Lines of cascade emitters lose counts to summing in close geometries: they are flagged and
// left out of the fit unless asked for, and listed with their residuals either way; so are
// points more than five standard uncertainties off the curve through the rest.
#pragma once

#include <string>
#include <vector>

#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/lab/Certificates.h"
#include "quantora/lab/PeakEvalRun.h"

namespace quantora {

struct SourceEfficiencyOptions {
    int spectrumId = -1, sourceId = -1;
    int backgroundSpectrumId = -1;  // -1: none
    int settingId = -1;             // peak evaluation setting; -1 the stored default
    std::vector<int> libraryIds;    // further lines for the recalibration
    AnsiString name;                // of the analysis; empty: from the source and spectrum
    int degree = -1;  // of the curve; -1: 1 to 4, the one that predicts left-out points best
    bool fitCascades = false;      // include lines in cascade in the fit
    std::vector<double> leaveOut;  // keV: lines kept out of the fit (they are still listed)
    double minIntensity = 0.01;    // activity certificates: weaker lines are not used
    bool store = true;
    int employeeId = -1;
};

struct EfficiencyPoint {
    std::string nuclide;
    AnsiString radiationId;
    double energy = 0;                      // keV
    double net = 0, netUnc = 0;             // counts, background subtracted
    double background = 0;                  // counts subtracted
    double emitted = 0, emittedRelUnc = 0;  // photons of the line in the live time
    double efficiency = 0, efficiencyUnc = 0;
    bool cascade = false;       // subject to coincidence summing
    bool used = false;          // in the fit
    bool outlier = false;       // left out: too far off the curve of the others
    bool annihilation = false;  // left out: beside the annihilation peak at 511 keV
    double residual = 0;        // (measured - curve) / uncertainty
    int peak = -1;              // in the evaluation; -1: no peak found
};

struct SourceEfficiency {
    PeakEvalRun run;
    Certificate certificate;
    std::vector<EfficiencyPoint> points;  // by energy
    EffCalibration curve;
    double chiSquare = 0;
    int dof = 0;
    int effAnalysisId = -1;  // stored EFFANALYSIS_ID
};

// Throws an Exception (nothing stored) for a missing spectrum or source, a spectrum without
// times, or fewer certified lines with peaks than the curve has coefficients.
SourceEfficiency FitSourceEfficiency(const char* dbName, const SourceEfficiencyOptions& options);

}  // namespace quantora
