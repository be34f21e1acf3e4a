// The efficiencies the source lines of a stored efficiency analysis measured: each line's peak
// area over the photons its certified source emitted in the live time (the activity decayed to
// the start of the count and averaged over it, as the efficiency analysis takes it).
#pragma once

#include <vector>

namespace quantora {

struct MeasuredEfficiency {
    double energy = 0;  // keV
    double eff = 0, effUnc = 0;
};

// By energy; lines whose source activity, intensity, half-life, area or live time is unknown
// are left out.
std::vector<MeasuredEfficiency> MeasuredEfficiencies(const char* dbName, int effAnalysisId);

}  // namespace quantora
