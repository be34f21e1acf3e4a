// The per-thread queries, kept with the thread's connection to the alias.
#include "quantora/dblayer/internal/ThreadQuery.h"

#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"

namespace quantora::db {

std::shared_ptr<TQuery> ThreadQuery(const AnsiString& alias, const void* key) {
    std::shared_ptr<void>& kept = KeptWithConnection(alias, key);
    if (!kept) {
        auto q = std::make_shared<TQuery>();
        q->SetDatabaseName(alias);
        kept = q;
    }
    return std::static_pointer_cast<TQuery>(kept);
}

}  // namespace quantora::db
