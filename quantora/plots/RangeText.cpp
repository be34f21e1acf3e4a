// Parsing "LO:HI" ranges.
#include "quantora/plots/RangeText.h"

#include <charconv>
#include <cmath>

#include "quantora/base/Exception.h"

namespace quantora::plots {

void ParsePlotRange(const std::string& text, double* lo, double* hi) {
    const size_t colon = text.find(':');
    auto number = [&](size_t b, size_t e, double* out) {
        const auto r = std::from_chars(text.data() + b, text.data() + e, *out);
        return b < e && r.ec == std::errc() && r.ptr == text.data() + e && std::isfinite(*out);
    };
    if (colon == std::string::npos || !number(0, colon, lo) || !number(colon + 1, text.size(), hi))
        throw Exception("malformed range '" + text + "' (expected LO:HI, e.g. 20:400)");
    if (!(*lo < *hi))
        throw Exception("range '" + text + "' is empty: its start must lie below its end");
}

}  // namespace quantora::plots
