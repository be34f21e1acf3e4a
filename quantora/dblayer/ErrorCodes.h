// The engines' error codes mapped to the layer's error categories (EDatabaseError.h).
#pragma once

#include <string_view>

#include "quantora/dblayer/EDatabaseError.h"

namespace quantora::db {

// An SQLite result code (primary or extended). A plain SQLITE_ERROR reported while preparing
// means malformed SQL or a missing object; while running, it is some other failure.
DbErrorInfo SqliteErrorInfo(int code, bool preparing);

// A PostgreSQL SQLSTATE ("23505"); an empty one with `connection_bad` when the connection
// broke without the server saying why.
DbErrorInfo SqlStateErrorInfo(std::string_view sqlstate, bool connection_bad);

}  // namespace quantora::db
