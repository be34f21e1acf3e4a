// Checking and loading the radiation libraries a user names.
#include "quantora/lab/RadiationLibraries.h"

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"

namespace quantora {

void RequireRadiationLibraries(const char* dbName, const std::vector<int>& ids) {
    for (int id : ids)
        if (!RowExists(dbName, "RADIATIONLIBRARY", "RADIATIONLIBRARY_ID", id))
            throw NotFoundError(Format("no radiation library with RADIATIONLIBRARY_ID = %d", id));
}

std::unique_ptr<RadiationLibrary> LoadRadiationLibraries(const char* dbName,
                                                         const std::vector<int>& ids) {
    RequireRadiationLibraries(dbName, ids);
    auto lib = std::make_unique<RadiationLibrary>();
    lib->Load(dbName, ids);
    lib->GenerateBounds();
    return lib;
}

}  // namespace quantora
