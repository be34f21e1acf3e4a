// The database object's queries for Python: arbitrary SQL, the table list, measurements, peaks
// and the matching of energies against radiation libraries.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <optional>
#include <vector>

#include "python/src/DbHandle.h"

namespace quantora::python {

// The numpy dtype of the peak arrays; once, at module initialisation.
void RegisterLabTypes();

// Rows as dicts (lower-case column name to value); statements without rows give an empty list;
// ValueError when two columns have one name.
pybind11::list RunQuery(const DbPtr& db, const AnsiString& sql, const pybind11::object& params);
// Table name (lower case) to row count.
pybind11::dict TableCounts(const DbPtr& db);
pybind11::list Measurements(const DbPtr& db, std::optional<int> projectId);
// A structured array, one element per peak in channel order: the peaks of the evaluation that
// applies to the spectrum (none: empty), or of the evaluation given. Exactly one of the two.
pybind11::array Peaks(const DbPtr& db, std::optional<int> spectrumId,
                      std::optional<int> peakEvalId);
// For each energy the lines it matches, each a dict.
pybind11::list Match(const DbPtr& db, const std::vector<double>& energies,
                     const std::vector<double>& uncertainties, const std::vector<int>& libraryIds);

}  // namespace quantora::python
