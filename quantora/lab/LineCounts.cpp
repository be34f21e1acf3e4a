// Net counts of nuclide lines, from fitted peaks or summed, less a background spectrum's.
#include "quantora/lab/LineCounts.h"

#include <algorithm>
#include <cmath>

#include "quantora/analysis/PeakShape.h"
#include "quantora/analysis/Polynomial.h"

namespace quantora {

std::vector<BackgroundLine> BackgroundLines(const PeakEvalRun& background) {
    std::vector<BackgroundLine> out;
    const double t = background.spectrum.row.rec.LIVETIME;
    if (!(t > 0)) return out;
    for (const analysis::FittedPeak& p : background.result.peaks)
        if (p.energy > 0) out.push_back({p.energy, p.area / t, p.areaUnc / t});
    return out;
}

LineCounter::LineCounter(const PeakEvalRun& sample, std::vector<BackgroundLine> background)
    : sample_(sample), background_(std::move(background)) {
    coeffs_ = sample.recalibration.energyValid ? sample.recalibration.energyCoeffs
                                               : sample.spectrum.energyCoeffs;
}

double LineCounter::ChannelOf(double energy) const {
    if (coeffs_.size() < 2) return -1;
    const double n = static_cast<double>(sample_.spectrum.counts.size());
    double ch = (energy - coeffs_[0]) / coeffs_[1];
    for (int i = 0; i < 20; ++i) {  // Newton steps for a curved calibration
        const double slope = analysis::PolySlope(coeffs_, ch);
        if (!(slope > 0)) return -1;
        const double step = (analysis::Poly(coeffs_, ch) - energy) / slope;
        ch -= step;
        if (std::fabs(step) < 1e-6) break;
    }
    return ch >= 0 && ch < n ? ch : -1;
}

LineCounts LineCounter::Count(int line) const {
    LineCounts c;
    const NuclideLine& l = sample_.lines.lines[static_cast<size_t>(line)];
    const analysis::PeakEvaluationResult& r = sample_.result;
    // A line the fit split into several peaks (a strong one and a satellite of its flank) has
    // the counts of all of them; the strongest stands for them.
    std::vector<int> own;
    for (size_t i = 0; i < r.peaks.size(); ++i)
        if (sample_.lineOfPeak[i] == line) own.push_back(static_cast<int>(i));
    for (int i : own)
        if (c.peak < 0 ||
            r.peaks[static_cast<size_t>(i)].area > r.peaks[static_cast<size_t>(c.peak)].area)
            c.peak = i;
    if (c.peak < 0) {
        // A line of the same energy (another nuclide's) may hold the peak.
        for (size_t i = 0; i < r.peaks.size(); ++i) {
            const int other = sample_.lineOfPeak[i];
            if (other >= 0 && std::fabs(sample_.lines.lines[static_cast<size_t>(other)].energy -
                                        l.energy) < 0.5 * std::max(r.peaks[i].fwhmKeV, 0.1))
                c.peak = static_cast<int>(i);
        }
    }
    const PeakEvalCalibration& s = sample_.setting;
    if (l.energy < s.LowEnergyLimitKeV || l.energy > s.HighEnergyLimitKeV) return c;
    if (c.peak >= 0) {
        const analysis::FittedPeak& p = r.peaks[static_cast<size_t>(c.peak)];
        c.net = p.area, c.netUnc = p.areaUnc, c.uncNoPeak = p.areaUncNoPeak;
        for (int i : own) {
            if (i == c.peak) continue;
            c.net += r.peaks[static_cast<size_t>(i)].area;
            c.netUnc = std::hypot(c.netUnc, r.peaks[static_cast<size_t>(i)].areaUnc);
        }
        c.inRange = true;
    } else {
        const double ch = ChannelOf(l.energy);
        const double fwhm = std::sqrt(std::max(r.widthA + r.widthB * ch, 1.0));
        const auto a =
            analysis::SumLineWindow(sample_.spectrum.counts, ch, fwhm, s.SummationWidthFwhm);
        if (!a) return c;
        c.net = a->net, c.netUnc = a->netUnc, c.uncNoPeak = a->uncNoPeak;
        c.inRange = true;
    }
    const double tSample = sample_.spectrum.row.rec.LIVETIME;
    if (!background_.empty() && tSample > 0) {
        const double tol =
            std::max(s.LineMatchToleranceKeV,
                     0.6 * (c.peak >= 0 ? r.peaks[static_cast<size_t>(c.peak)].fwhmKeV : 0.0));
        const BackgroundLine* best = nullptr;
        for (const BackgroundLine& b : background_)
            if (std::fabs(b.energy - l.energy) < tol &&
                (!best || std::fabs(b.energy - l.energy) < std::fabs(best->energy - l.energy)))
                best = &b;
        if (best) {
            c.background = best->rate * tSample;
            c.backgroundUnc = best->rateUnc * tSample;
            c.net -= c.background;
            c.netUnc = std::hypot(c.netUnc, c.backgroundUnc);
            c.uncNoPeak = std::hypot(c.uncNoPeak, c.backgroundUnc);
        }
    }
    return c;
}

}  // namespace quantora
