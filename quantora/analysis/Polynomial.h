// A polynomial in the channel, lowest order first (energy calibrations): its value and slope.
#pragma once

#include <vector>

namespace quantora::analysis {

inline double Poly(const std::vector<double>& c, double x) {
    double v = 0;
    for (size_t i = c.size(); i-- > 0;) v = v * x + c[i];
    return v;
}

inline double PolySlope(const std::vector<double>& c, double x) {
    double v = 0;
    for (size_t i = c.size(); i-- > 1;) v = v * x + static_cast<double>(i) * c[i];
    return v;
}

}  // namespace quantora::analysis
