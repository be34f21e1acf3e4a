// Per-column minimum and maximum of a spectrum.
#include "quantora/plots/Decimate.h"

#include <algorithm>
#include <cmath>

namespace quantora::plots {

std::vector<ColumnRange> DecimateColumns(const std::vector<double>& values,
                                         const std::vector<double>& edges) {
    std::vector<ColumnRange> out(edges.size() > 1 ? edges.size() - 1 : 0);
    const double n = static_cast<double>(values.size());
    for (size_t c = 0; c < out.size(); ++c) {
        // First and one-past-last channel whose centre lies in [edges[c], edges[c+1]).
        const double a = std::clamp(std::ceil(edges[c]), 0.0, n);
        const double b = std::clamp(std::ceil(edges[c + 1]), 0.0, n);
        if (!(b > a)) continue;
        const size_t i0 = static_cast<size_t>(a), i1 = static_cast<size_t>(b);
        ColumnRange& r = out[c];
        const auto [mn, mx] = std::minmax_element(values.begin() + i0, values.begin() + i1);
        r.min = *mn;
        r.max = *mx;
        r.first = values[i0];
        r.last = values[i1 - 1];
        r.channels = static_cast<int>(i1 - i0);
    }
    return out;
}

}  // namespace quantora::plots
