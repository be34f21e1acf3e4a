// The list of engines: one line per engine folder.
#include "quantora/dblayer/internal/EngineList.h"

#include "quantora/dblayer/postgres/PostgresBackend.h"
#include "quantora/dblayer/sqlite/SqliteBackend.h"

namespace quantora::db {

std::span<const EngineEntry* const> EngineList() {
    static constexpr const EngineEntry* kEngines[] = {&kSqliteEngine, &kPostgresEngine};
    return kEngines;
}

}  // namespace quantora::db
