// A peak evaluation of a stored spectrum from start to end: the spectrum and its calibrations
// read, the setting read (or the stored default setting), the peaks evaluated, optionally the
// energy and FWHM calibrations fitted anew from lines of a radiation library, and everything
// written in one transaction: PEAKEVAL with its regions, fitted peaks and their values, the PEAK
// rows, and the new ECAL and FWHMCAL. A failure stores nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quantora/analysis/PeakEvaluation.h"
#include "quantora/analysis/Recalibration.h"
#include "quantora/lab/NuclideLines.h"
#include "quantora/lab/StoredSpectra.h"

namespace quantora {

struct PeakEvalRunOptions {
    int settingId = -1;           // PEAKEVALCAL_ID; -1: the stored default setting
    std::vector<int> libraryIds;  // RADIATIONLIBRARY_IDs: recalibrate and name the lines
    std::vector<int> isomerIds;   // ISOMER_IDs whose lines count as well (a source's nuclides)
    bool store = true;
    int employeeId = -1;
};

struct PeakEvalRun {
    LabSpectrum spectrum;
    PeakEvalCalibration setting;
    analysis::PeakEvaluationResult result;  // energies from the recalibration when there is one
    analysis::Recalibration recalibration;
    NuclideLines lines;                 // the libraries' and isomers' lines
    std::vector<std::string> nuclides;  // per peak: the nuclide of its line, empty when none
    std::vector<double> lineEnergies;   // per peak: that line's energy (keV), 0 when none
    std::vector<int> lineOfPeak;        // per peak: index of its line in `lines`, -1 when none
    int peakEvalId = -1;                // stored PEAKEVAL_ID
    std::vector<int> peakIds;           // stored PEAK_ID per peak
};

// The name of the stored setting used when none is given.
inline constexpr const char* kDefaultSettingName = "Default peak evaluation";

// Evaluates the stored spectrum. Throws an Exception (nothing stored) for a missing spectrum or
// setting, a spectrum that cannot be evaluated, or a database failure.
PeakEvalRun EvaluateStoredSpectrum(const char* dbName, int spectrumId,
                                   const PeakEvalRunOptions& options);

// The spectrum's applicable peak evaluation read back as a run (peaks with their decision
// thresholds, the calibrations, the lines of the libraries and isomers named and the peaks'
// lines as stored), when it was made through the calibrations that apply to the spectrum now,
// with `options.settingId` (any setting when -1), and stored with every value a quantification
// needs; nullopt otherwise. The run has no fit regions.
std::optional<PeakEvalRun> LoadCurrentPeakEvaluation(const char* dbName, int spectrumId,
                                                     const PeakEvalRunOptions& options);

// Stores an evaluation made with store = false (its calibrations, PEAKEVAL and the rest), in
// one transaction or within the caller's; fills run.peakEvalId and run.peakIds.
void StorePeakEvaluation(const char* dbName, PeakEvalRun& run, int employeeId);

// The key of the stored default setting, made with the engine's defaults when there is none.
int DefaultPeakEvalSetting(const char* dbName);
// The key of the stored default setting; -1 when there is none (nothing is written).
int FindDefaultPeakEvalSetting(const char* dbName);

}  // namespace quantora
