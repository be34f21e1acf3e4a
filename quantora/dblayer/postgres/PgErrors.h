// PostgreSQL's SQLSTATEs mapped to the layer's error categories (EDatabaseError.h).
#pragma once

#include <string_view>

#include "quantora/dblayer/EDatabaseError.h"

namespace quantora::db {

// A PostgreSQL SQLSTATE ("23505"); an empty one with `connection_bad` when the connection
// broke without the server saying why.
DbErrorInfo SqlStateErrorInfo(std::string_view sqlstate, bool connection_bad);

}  // namespace quantora::db
