// Peak evaluation and quantification from Python: db.analyse(), db.quantify() and
// db.activities().
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

// Quantifies a stored spectrum (stored unless store is false): one element per nuclide.
pybind11::array Quantify(const DbPtr& db, int spectrumId, const std::vector<int>& libraryIds,
                         std::optional<int> efficiencyId, std::optional<int> backgroundId,
                         pybind11::object reference, bool store);
// The activities stored by the spectrum's newest quantification, the same form.
pybind11::array Activities(const DbPtr& db, int spectrumId);

}  // namespace quantora::python
