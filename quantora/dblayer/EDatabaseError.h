// The exception of every database-layer failure; its message names the engine's error and the SQL.
#pragma once

#include "quantora/base/Exception.h"

class EDatabaseError : public Exception {
  public:
    using Exception::Exception;
};
