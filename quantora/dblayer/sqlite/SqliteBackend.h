// The SQLite engine: one sqlite3 handle per connection, WAL journal and a busy timeout so that
// several threads and processes can share one database file. A read-only connection neither
// creates the file nor changes its journal mode.
#pragma once

#include <memory>

#include "quantora/dblayer/Backend.h"

namespace quantora::db {

std::shared_ptr<Connection> OpenSqliteConnection(const AnsiString& path, bool readOnly = false);

}  // namespace quantora::db
