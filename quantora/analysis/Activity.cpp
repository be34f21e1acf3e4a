// Decay corrections, ISO 11929 characteristic limits and line combination.
#include "quantora/analysis/Activity.h"

#include <algorithm>
#include <cmath>

#include "quantora/analysis/PeakShape.h"

namespace quantora::analysis {

double DecayFactor(double halfLife, double delay, double realTime) {
    if (!(halfLife > 0)) return 1.0;
    const double lambda = std::log(2.0) / halfLife;
    const double before = std::exp(-lambda * delay);
    const double x = lambda * realTime;
    // (1 - e^-x) / x, by its series where x is too small for the subtraction.
    const double during = x > 1e-6 ? -std::expm1(-x) / x : 1 - x / 2 + x * x / 6;
    return before * during;
}

double DecayFactorRelUnc(double halfLife, double halfLifeUnc, double delay, double realTime) {
    if (!(halfLife > 0) || !(halfLifeUnc > 0)) return 0.0;
    // d ln D / d ln T, numerically: D is smooth in T.
    const double h = 1e-4 * halfLife;
    const double up = DecayFactor(halfLife + h, delay, realTime);
    const double down = DecayFactor(halfLife - h, delay, realTime);
    const double d = DecayFactor(halfLife, delay, realTime);
    if (!(d > 0)) return 0.0;
    return std::fabs((up - down) / (2 * h) * halfLifeUnc / d);
}

SummedArea SumArea(double gross, double left, double right, int n, int m) {
    SummedArea s;
    const double f = static_cast<double>(n) / (2.0 * m);
    const double background = f * (left + right);
    s.net = gross - background;
    s.netUnc = std::sqrt(gross + f * f * (left + right));
    s.uncNoPeak = std::sqrt(background + f * f * (left + right));
    return s;
}

std::optional<SummedArea> SumLineWindow(std::span<const unsigned long> counts, double ch,
                                        double fwhm, double widthFwhm) {
    const int n = std::max(3, static_cast<int>(std::lround(widthFwhm * fwhm)));
    const int m = n;
    const int first = static_cast<int>(std::lround(ch)) - n / 2;
    if (!(ch >= 0) || first - m < 0 || first + n + m > static_cast<int>(counts.size()))
        return std::nullopt;
    double gross = 0, left = 0, right = 0;
    for (int i = 0; i < n; ++i)
        gross += static_cast<double>(counts[static_cast<size_t>(first + i)]);
    for (int i = 1; i <= m; ++i) {
        left += static_cast<double>(counts[static_cast<size_t>(first - i)]);
        right += static_cast<double>(counts[static_cast<size_t>(first + n - 1 + i)]);
    }
    SummedArea a = SumArea(gross, left, right, n, m);
    const double share = std::erf(0.5 * n / (fwhm * kSigmaPerFwhm * kSqrt2));
    a.net /= share, a.netUnc /= share, a.uncNoPeak /= share;
    return a;
}

LineActivity ActivityOfLine(const LineInput& in, double k) {
    LineActivity out;
    const double scale =
        in.efficiency * in.intensity * in.liveTime * in.decay * (in.mass > 0 ? in.mass : 1.0);
    if (!(scale > 0) || !std::isfinite(scale)) return out;
    out.valid = true;
    out.w = 1.0 / scale;
    const auto sq = [](double x) { return x * x; };
    out.wRelUnc = std::sqrt(sq(in.efficiencyUnc / in.efficiency) +
                            sq(in.intensityUnc / in.intensity) + sq(in.decayRelUnc));
    out.activity = out.w * in.net;
    out.uncertainty = std::sqrt(sq(out.w * in.netUnc) + sq(out.activity * out.wRelUnc));
    out.uncNoActivity = out.w * in.uncNoPeak;
    out.decisionThreshold = k * out.uncNoActivity;
    const double denominator = 1 - sq(k * out.wRelUnc);
    out.detectionLimit =
        denominator > 0 ? (2 * out.decisionThreshold + k * k * out.w) / denominator : -1.0;
    return out;
}

NuclideActivity CombineLines(std::span<const LineActivity> lines, double k) {
    NuclideActivity out;
    double sw = 0, swa = 0, sw0 = 0;
    for (const LineActivity& l : lines) {
        if (!l.valid || !(l.uncertainty > 0) || !(l.uncNoActivity > 0)) continue;
        const double w = 1 / (l.uncertainty * l.uncertainty);
        sw += w;
        swa += w * l.activity;
        sw0 += 1 / (l.uncNoActivity * l.uncNoActivity);
        ++out.lines;
    }
    if (out.lines == 0) return out;
    out.activity = swa / sw;
    out.uncertainty = 1 / std::sqrt(sw);
    if (out.lines > 1) {
        double chi2 = 0;
        for (const LineActivity& l : lines) {
            if (!l.valid || !(l.uncertainty > 0) || !(l.uncNoActivity > 0)) continue;
            chi2 += std::pow((l.activity - out.activity) / l.uncertainty, 2);
        }
        out.birgeRatio = std::sqrt(chi2 / (out.lines - 1));
        if (out.birgeRatio > 1) out.uncertainty *= out.birgeRatio;
    }
    // Under "no activity" the lines are weighted by 1 / u(0)^2; the mean's uncertainty at a true
    // activity a grows as each line's does: u_i(a)^2 = u_i(0)^2 + w_i a + a^2 u_rel^2(w_i).
    const double u0 = 1 / std::sqrt(sw0);
    out.decisionThreshold = k * u0;
    auto uncAt = [&](double a) {
        double num = 0;
        for (const LineActivity& l : lines) {
            if (!l.valid || !(l.uncertainty > 0) || !(l.uncNoActivity > 0)) continue;
            const double wi = 1 / (l.uncNoActivity * l.uncNoActivity) / sw0;
            num += wi * wi *
                   (l.uncNoActivity * l.uncNoActivity + l.w * a + a * a * l.wRelUnc * l.wRelUnc);
        }
        return std::sqrt(num);
    };
    double limit = 2 * out.decisionThreshold;
    out.detectionLimit = -1;
    for (int i = 0; i < 200; ++i) {
        const double next = out.decisionThreshold + k * uncAt(limit);
        if (!std::isfinite(next) || next > 1e6 * (limit + u0)) break;  // no limit exists
        if (std::fabs(next - limit) <= 1e-10 * next) {
            out.detectionLimit = next;
            break;
        }
        limit = next;
    }
    out.detected = out.activity > out.decisionThreshold;
    return out;
}

}  // namespace quantora::analysis
