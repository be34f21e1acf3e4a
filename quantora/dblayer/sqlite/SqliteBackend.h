// The SQLite engine: one sqlite3 handle per connection, WAL journal and a busy timeout so that
// several threads and processes can share one database file. A read-only connection neither
// creates the file nor changes its journal mode. Its URIs are "sqlite:<path>".
#pragma once

#include "quantora/dblayer/internal/EngineList.h"

namespace quantora::db {

extern const EngineEntry kSqliteEngine;

}  // namespace quantora::db
