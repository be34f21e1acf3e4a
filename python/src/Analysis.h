// Peak evaluation from Python: db.analyse() and the peaks of a spectrum's evaluation.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <optional>
#include <vector>

#include "python/src/DbHandle.h"

namespace quantora::python {

// The numpy dtype of evaluated peaks; once, at module initialisation.
void RegisterAnalysisTypes();

// Evaluates a stored spectrum (and stores the evaluation unless store is false); one element
// per peak in channel order.
pybind11::array Analyse(const DbPtr& db, int spectrumId, std::optional<int> settingId,
                        const std::vector<int>& libraryIds, bool store);

}  // namespace quantora::python
