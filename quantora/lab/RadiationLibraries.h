// Radiation libraries named by a user: checked to exist, then loaded for matching.
#pragma once

#include <memory>
#include <vector>

#include "quantora/nuclides/Radlib.h"

namespace quantora {

// Throws "no radiation library with RADIATIONLIBRARY_ID = %d" for the first key without one.
void RequireRadiationLibraries(const char* dbName, const std::vector<int>& ids);
// The lines of those libraries, loaded and indexed for matching; throws like
// RequireRadiationLibraries.
std::unique_ptr<RadiationLibrary> LoadRadiationLibraries(const char* dbName,
                                                         const std::vector<int>& ids);

}  // namespace quantora
