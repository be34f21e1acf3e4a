// Axis mapping and tick placement.
#include "quantora/plots/Axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quantora::plots {

Axis::Axis(double lo, double hi, bool log) : lo_(lo), hi_(hi), log_(log) {
    if (log_ && !(lo_ > 0)) lo_ = hi_ > 0 ? hi_ / 10 : 1.0;
    if (!(hi_ > lo_)) hi_ = log_ ? lo_ * 10 : lo_ + (lo_ != 0 ? std::fabs(lo_) : 1.0);
}

double Axis::Fraction(double v) const {
    if (!log_) return (v - lo_) / (hi_ - lo_);
    if (!(v > 0)) return 0.0;
    return std::log(v / lo_) / std::log(hi_ / lo_);
}

double Axis::Map(double v) const {
    return p0_ + Fraction(v) * (p1_ - p0_);
}

double Axis::Inverse(double p) const {
    const double f = (p - p0_) / (p1_ - p0_);
    return log_ ? lo_ * std::pow(hi_ / lo_, f) : lo_ + f * (hi_ - lo_);
}

double NiceStep(double span, int maxCount) {
    const double raw = span / std::max(1, maxCount);
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * mag >= raw * (1 - 1e-9)) return m * mag;
    return 10 * mag;
}

std::string TickLabel(double v, double step) {
    char buf[32];
    if (std::fabs(v) < step * 1e-6) v = 0;
    const double a = std::fabs(v);
    if (a != 0 && (a >= 1e7 || a < 1e-4)) {
        std::snprintf(buf, sizeof buf, "%.3g", v);
    } else {
        const int decimals =
            std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 8);
        std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    }
    return buf;
}

std::vector<Tick> Axis::Ticks(int maxMajor) const {
    std::vector<Tick> out;
    const double eps = (hi_ - lo_) * 1e-9;
    if (!log_) {
        const double step = NiceStep(hi_ - lo_, maxMajor);
        // Minor ticks at a fifth (steps of 1, 5) or a quarter (steps of 2) of a major step.
        const double lead = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        const double minor = step / (std::fabs(lead - 2) < 1e-6 ? 4 : 5);
        for (double k = std::ceil((lo_ - eps) / minor); k * minor <= hi_ + eps; ++k) {
            const double v = k * minor;
            const double r = v / step;
            const bool major = std::fabs(r - std::round(r)) < 1e-6;
            out.push_back({v, major, major ? TickLabel(v, step) : std::string()});
        }
        return out;
    }
    // Log: decades labelled (every n-th when there are many); 2 and 5, then every multiple, too
    // when that leaves fewer than three labels; 2..9 as minor ticks unless there are many decades.
    const int d0 = static_cast<int>(std::floor(std::log10(lo_) + 1e-9));
    const int d1 = static_cast<int>(std::ceil(std::log10(hi_) - 1e-9));
    const int decades = d1 - d0;
    const int every = std::max(1, (decades + maxMajor - 1) / std::max(1, maxMajor));
    struct Mark {
        double value;
        int mantissa, decade;
    };
    std::vector<Mark> marks;
    for (int d = d0; d <= d1; ++d)
        for (int m = 1; m <= 9; ++m) {
            const double v = m * std::pow(10.0, d);
            if (v >= lo_ * (1 - 1e-9) && v <= hi_ * (1 + 1e-9)) marks.push_back({v, m, d});
        }
    auto labelled = [&](const Mark& k, int level) {
        if (k.mantissa == 1) return (k.decade - d0) % every == 0;
        if (level == 1) return k.mantissa == 2 || k.mantissa == 5;
        return level == 2;
    };
    int level = 0;
    for (; level < 2; ++level) {
        const auto n = std::count_if(marks.begin(), marks.end(),
                                     [&](const Mark& k) { return labelled(k, level); });
        if (n >= 3) break;
    }
    // Very large or small values as powers of ten, the same way on the whole axis.
    const bool powers = hi_ >= 1e5 || lo_ < 1e-3;
    static const char* const kSup[] = {"\u2070", "\u00b9", "\u00b2", "\u00b3", "\u2074",
                                       "\u2075", "\u2076", "\u2077", "\u2078", "\u2079"};
    for (const Mark& k : marks) {
        const bool major = labelled(k, level);
        if (!major && decades > 6) continue;
        std::string label;
        if (major && powers) {
            if (k.mantissa != 1) label = std::to_string(k.mantissa) + "\u00d7";
            label += "10";
            if (k.decade < 0) label += "\u207b";
            for (char c : std::to_string(std::abs(k.decade))) label += kSup[c - '0'];
        } else if (major) {
            label = TickLabel(k.value, std::pow(10.0, k.decade));
        }
        out.push_back({k.value, major, label});
    }
    return out;
}

}  // namespace quantora::plots
