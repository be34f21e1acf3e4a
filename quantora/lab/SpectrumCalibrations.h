// The calibrations that apply to a stored spectrum, a measurement or a stored peak evaluation,
// found from the keys alone: the stored row is read here, so callers need no SQL of their own.
#pragma once

#include <optional>

#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"

namespace quantora {

// The energy calibration that applies to the spectrum (ECalId -1 when none does). Throws "no
// spectrum with SPECTRUM_ID = %d" when there is no such spectrum.
ECalibration SpectrumECal(const char* dbName, int spectrumId);
// The FWHM calibration that applies to the spectrum (FwhmCalId -1 when none does); throws
// like SpectrumECal.
FwhmCalibrClass SpectrumFwhmCal(const char* dbName, int spectrumId);
// The linear energy calibration of a measurement's main spectrum (cal.SpectrumId names it).
// Throws for a missing measurement or one without a spectrum.
ECalibration MeasurementECal(const char* dbName, int measurementId);
// The energy calibration a peak evaluation was made with: the one it names when that is valid,
// else (with spectrumId above 0) the valid one that applies to that spectrum; nullopt when
// none is usable or there is no such evaluation.
std::optional<ECalibration> PeakEvalECal(const char* dbName, int peakEvalId, int spectrumId);

}  // namespace quantora
