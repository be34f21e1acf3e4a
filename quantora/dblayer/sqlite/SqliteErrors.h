// SQLite's result codes mapped to the layer's error categories (EDatabaseError.h).
#pragma once

#include "quantora/dblayer/EDatabaseError.h"

namespace quantora::db {

// An SQLite result code (primary or extended). A plain SQLITE_ERROR reported while preparing
// means malformed SQL or a missing object; while running, it is some other failure.
DbErrorInfo SqliteErrorInfo(int code, bool preparing);

}  // namespace quantora::db
