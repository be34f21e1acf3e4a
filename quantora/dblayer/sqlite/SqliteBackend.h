// The SQLite engine: one sqlite3 handle per connection, WAL journal and a busy timeout so that
// several threads and processes can share one database file.
#pragma once

#include <memory>

#include "quantora/dblayer/Backend.h"

namespace quantora::db {

std::shared_ptr<Connection> OpenSqliteConnection(const AnsiString& path);

}  // namespace quantora::db
