// A query kept per thread and database alias for a reader that runs one statement many times
// (once per row it reads), so that the statement stays prepared and its fields are reused.
#pragma once

#include <memory>

#include "quantora/base/Types.h"

class TQuery;

namespace quantora::db {

// This thread's query for `key` (any address the reader owns) on the alias's current connection,
// made on first use with the alias as its database name. The thread keeps it until its connection
// to the alias closes or is replaced; the reader holds it while it runs and closes it before it
// returns.
std::shared_ptr<TQuery> ThreadQuery(const AnsiString& alias, const void* key);

}  // namespace quantora::db
