// The "Y"/"N" flag columns of the calibration tables.
#pragma once

#include <strings.h>

#include "quantora/base/Types.h"

namespace quantora {

// True when the column text equals "Y" without regard to case.
inline bool IsYes(const AnsiString& flag) {
    return strcasecmp(flag.c_str(), "Y") == 0;
}

inline AnsiString YesNo(bool value) {
    return AnsiString(1, value ? 'Y' : 'N');
}

}  // namespace quantora
