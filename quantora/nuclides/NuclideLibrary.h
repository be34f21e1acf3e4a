// A radiation library of chosen nuclides: a new RADIATIONLIBRARY tied to every decay of the
// named isomers already in the nuclide tables (e.g. the nuclides of a calibration source), so
// that matching and identification see those lines and no others.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

// Makes the library `name` of the nuclides `symbols` ("Cs-137", "Ag-110m": an "m" suffix names
// the first isomeric state) in one transaction; returns its RADIATIONLIBRARY_ID. Throws, with
// nothing stored, when a nuclide has no decay in the tables.
int MakeNuclideLibrary(const char* dbName, const AnsiString& name,
                       const std::vector<AnsiString>& symbols);

}  // namespace quantora
