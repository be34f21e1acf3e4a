// Energy and efficiency calibrations for Python: the library's calibration objects, loaded once
// and evaluated over numpy arrays.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>

#include "python/src/DbHandle.h"
#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/EffCalibration.h"

namespace quantora::python {

struct ECal {
    std::shared_ptr<const ECalibration> cal;  // its linear part points into itself: never moved
};
struct Efficiency {
    std::shared_ptr<const EffCalibration> cal;
};

// KeyError for an unknown spectrum, LookupError when no usable calibration applies.
ECal LoadECal(const DbPtr& db, int spectrumId);
// The energy calibration that applies to spectrum `spectrumId` of a measurement with setup
// `measSetupId` started at `measDate` (-1 and 0 without a measurement); LookupError
// (NoneApplies) when none applies or it has no usable linear part.
std::shared_ptr<const ECalibration> ApplicableECal(const char* alias, int spectrumId,
                                                   int measSetupId, TDateTime measDate);
// KeyError when no efficiency analysis has the key.
Efficiency LoadEfficiency(const DbPtr& db, int analysisId);

// f applied to a number (giving a float) or to each element of an array-like (giving a float64
// array of its shape); the loop runs without the GIL.
pybind11::object MapValues(pybind11::handle x, double (*f)(const void*, double), const void* ctx);

void RegisterCalibrations(pybind11::module_& m);

}  // namespace quantora::python
