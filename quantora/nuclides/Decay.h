// Radioactive decay of an activity over a time.
#pragma once

#include <cmath>

namespace quantora {

// The activity left of `activity` after `elapsed`, for a nuclide of half-life `halfLife` (both
// times in the same unit).
inline double DecayedActivity(double activity, double elapsed, double halfLife) {
    return activity * std::exp(-std::log(2.0) * elapsed / halfLife);
}

}  // namespace quantora
