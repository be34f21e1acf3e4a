// The current local date and time as a TDateTime, for the CREATIONDATE columns this subsystem
// writes.
#pragma once

#include "quantora/base/Types.h"

namespace quantora {

// Local wall-clock time, to the microsecond.
TDateTime LocalNow();

}  // namespace quantora
