// Stored spectra read back with their context: the SPECTRUM row with its measurement's setup,
// date and name; the counts; the energy and FWHM calibrations that apply; the peak evaluation
// whose peaks belong to it. Every caller that needs a stored spectrum (qdb, the plots, the
// analysis, the Python module) reads it here.
#pragma once

#include <optional>
#include <vector>

#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/records/Meastables.h"
#include "quantora/spectrumfiles/SpectrumFile.h"

namespace quantora {

// A stored SPECTRUM row with what its energy calibration is found by: its measurement's setup
// and start date (-1 and 0 without a measurement), the measurement's name and the name of the
// setup's detector (empty when none).
struct StoredSpectrumRow {
    SPECTRUMData rec;
    int measSetupId = -1;
    TDateTime measDate = 0;
    AnsiString measName;
    AnsiString setupDetector;
};
// Throws "no spectrum with SPECTRUM_ID = %d" when there is no such row.
StoredSpectrumRow ReadStoredSpectrumRow(const char* dbName, int spectrumId);
// The row, or nullopt when there is none.
std::optional<StoredSpectrumRow> FindStoredSpectrumRow(const char* dbName, int spectrumId);
// The rows of a measurement's spectra, by SPECTRUM_ID.
std::vector<StoredSpectrumRow> ReadMeasurementSpectrumRows(const char* dbName, int measurementId);

// A stored spectrum as file data: counts from channel 0, times, name, detector, the file type
// it came from and the energy calibration that applies to it. Throws when there is no such row.
SpectrumFileData LoadStoredSpectrum(const char* dbName, int spectrumId);

// A stored spectrum with the calibrations that apply to it.
struct LabSpectrum {
    StoredSpectrumRow row;
    std::vector<unsigned long> counts;  // from channel 0
    ECalibration ecal;                  // ECalId -1 when none applies
    std::vector<double> energyCoeffs;   // its exact polynomial; empty without one
    FwhmCalibrClass fwhm;               // FwhmCalId -1 when none applies
};
// Throws when there is no such spectrum or its counts cannot be read.
LabSpectrum LoadLabSpectrum(const char* dbName, int spectrumId);

// The peak evaluation whose peaks belong to a stored spectrum: of its measurement's
// evaluations, one whose energy calibration is this spectrum's (or names none), non-tentative
// first, the newest. -1 when there is none.
int ApplicablePeakEval(const char* dbName, int spectrumId);

// The spectra of a project's measurements, or of the measurements given, by SPECTRUM_ID.
std::vector<int> SpectraOfProject(const char* dbName, int projectId);
std::vector<int> SpectraOfMeasurements(const char* dbName, const std::vector<int>& measurementIds);

}  // namespace quantora
