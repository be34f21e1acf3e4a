// Spectrum synthesis and peak search of the demo lab.
#include "tools/qdb/DemoSpectra.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace qdbtool::demo {
namespace {

constexpr double kSigmaPerFwhm = 1.0 / 2.354820045;
constexpr double kElectronMass = 510.999;  // keV

}  // namespace

double DetectorModel::Channel(double energy) const {
    const double linear = (energy - offset) / gain;
    const double x = std::clamp(linear / channels, 0.0, 1.0);
    return linear + nonlinAmplitude * std::sin(std::numbers::pi * x) * (1.0 - 0.5 * x);
}

double DetectorModel::FwhmKeV(double energy) const {
    return std::sqrt(fwhmA + fwhmB * energy);
}

double DetectorModel::Efficiency(double energy) const {
    // Rising through the entrance window below ~100 keV, falling as a power law above.
    const double cutoff = 1.0 - std::exp(-std::pow(energy / 60.0, 3.0));
    return effScale * std::pow(energy / 150.0, -0.9) * cutoff;
}

std::vector<unsigned long> GenerateSpectrum(const DetectorModel& det,
                                            const std::vector<Emission>& lines, double continuum,
                                            uint32_t seed) {
    const int n = det.channels;
    std::vector<double> mean(static_cast<size_t>(n), 0.0);
    // Environmental continuum: steep at low energies, a long tail to the end.
    for (int i = 0; i < n; ++i)
        mean[i] = continuum * (40.0 * std::exp(-i / 900.0) + 4.0 * std::exp(-i / 5000.0)) *
                  std::min(1.0, i / 40.0);
    for (const Emission& e : lines) {
        const double ch = det.Channel(e.energy);
        if (ch < 5 || ch > n - 5) continue;
        // Compton continuum up to the edge, about twice the peak counts at high energy.
        const double edgeE =
            e.energy * (2 * e.energy / kElectronMass) / (1 + 2 * e.energy / kElectronMass);
        const int edge = std::min(n - 1, static_cast<int>(det.Channel(edgeE)));
        const double comptonTotal = e.expectedCounts * std::min(3.0, e.energy / 400.0);
        if (edge > 10) {
            const double perChannel = comptonTotal / edge;
            for (int i = 10; i < edge; ++i) mean[i] += perChannel * (0.7 + 0.6 * i / edge);
        }
        // The full-energy peak, integrated over each channel, with a small step below it.
        const double sigma = det.FwhmKeV(e.energy) / det.gain * kSigmaPerFwhm;
        const int lo = std::max(0, static_cast<int>(ch - 6 * sigma));
        const int hi = std::min(n - 1, static_cast<int>(ch + 6 * sigma) + 1);
        const double s2 = sigma * std::numbers::sqrt2;
        for (int i = lo; i <= hi; ++i) {
            const double p = 0.5 * (std::erf((i + 0.5 - ch) / s2) - std::erf((i - 0.5 - ch) / s2));
            mean[i] += e.expectedCounts * p;
            mean[i] += e.expectedCounts * 2e-4 * 0.5 * std::erfc((i - ch) / s2);
        }
        for (int i = std::max(0, lo - 60); i < lo; ++i) mean[i] += e.expectedCounts * 2e-4;
    }
    std::mt19937_64 rng(seed);
    std::vector<unsigned long> counts(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        std::poisson_distribution<unsigned long> draw(std::max(mean[i], 1e-9));
        counts[i] = draw(rng);
    }
    return counts;
}

std::vector<FoundPeak> SearchPeaks(const std::vector<unsigned long>& counts, double fwhmA,
                                   double fwhmB, double minSignificance, int firstChannel) {
    const int n = static_cast<int>(counts.size());
    auto sigmaAt = [&](double ch) {
        return std::sqrt(std::max(fwhmA + fwhmB * ch, 1.0)) * kSigmaPerFwhm;
    };
    // Zero-area Gaussian filter: positive for a peak, zero on a linear background.
    std::vector<double> signif(static_cast<size_t>(n), 0.0);
    for (int i = 0; i < n; ++i) {
        const double sigma = sigmaAt(i);
        const int w = static_cast<int>(std::ceil(3 * sigma));
        if (i - w < 0 || i + w >= n) continue;
        double sumK = 0;
        for (int j = -w; j <= w; ++j) sumK += std::exp(-0.5 * j * j / (sigma * sigma));
        const double meanK = sumK / (2 * w + 1);
        double y = 0, var = 0;
        for (int j = -w; j <= w; ++j) {
            const double k = std::exp(-0.5 * j * j / (sigma * sigma)) - meanK;
            const double c = static_cast<double>(counts[i + j]);
            y += k * c;
            var += k * k * std::max(c, 1.0);
        }
        signif[i] = y / std::sqrt(var);
    }

    std::vector<FoundPeak> peaks;
    for (int i = std::max(1, firstChannel); i + 1 < n; ++i) {
        if (signif[i] < minSignificance || signif[i] < signif[i - 1] || signif[i] <= signif[i + 1])
            continue;
        const double sigma = sigmaAt(i);
        const int half = static_cast<int>(std::ceil(2.8 * sigma));
        const int m = std::max(3, static_cast<int>(std::ceil(1.5 * sigma)));  // background widths
        double centre = i;
        FoundPeak p{};
        bool ok = false;
        for (int pass = 0; pass < 3; ++pass) {
            const int c = static_cast<int>(std::lround(centre));
            const int lo = c - half, hi = c + half;
            if (lo - m < 0 || hi + m >= n) break;
            double sumL = 0, sumR = 0;
            for (int j = 1; j <= m; ++j) {
                sumL += counts[lo - j];
                sumR += counts[hi + j];
            }
            const double bL = sumL / m, bR = sumR / m;
            const double xL = lo - (m + 1) / 2.0, xR = hi + (m + 1) / 2.0;
            double gross = 0, net = 0, first = 0, bkg = 0;
            for (int x = lo; x <= hi; ++x) {
                const double b = bL + (bR - bL) * (x - xL) / (xR - xL);
                const double v = counts[x] - b;
                gross += counts[x];
                bkg += b;
                net += v;
                first += v * x;
            }
            if (!(net > 0)) break;
            centre = first / net;
            double second = 0;
            for (int x = lo; x <= hi; ++x) {
                const double b = bL + (bR - bL) * (x - xL) / (xR - xL);
                second += (counts[x] - b) * (x - centre) * (x - centre);
            }
            // The window holds +-2.8 sigma of the peak: correct the truncated second moment.
            const double var = std::max(second / net / 0.9587, 0.25);
            const double width = (hi - lo + 1.0);
            const double bkgVar = width * width / 4.0 * (sumL + sumR) / (m * m);
            p.area = net;
            p.areaUnc = std::sqrt(gross + bkgVar);
            p.pos = centre;
            p.fwhm = std::sqrt(var) * 2.354820045;
            p.posUnc = std::sqrt(var) * std::sqrt(gross + bkgVar) / net;
            p.fwhmUnc = p.fwhm * p.areaUnc / net / std::sqrt(2.0);
            p.height = net / (std::sqrt(var) * std::sqrt(2 * std::numbers::pi));
            p.bkg = bkg;
            p.significance = signif[i];
            ok = true;
        }
        if (!ok || p.area < 3 * p.areaUnc) continue;
        // Steps at Compton edges and noise spikes do not have the width of a peak (checked
        // where the width is well determined).
        const double expected = sigma * 2.354820045;
        if (p.area > 10 * p.areaUnc && (p.fwhm < 0.6 * expected || p.fwhm > 1.8 * expected))
            continue;
        // A candidate that lands on a peak already found is the same peak.
        if (!peaks.empty() && std::fabs(peaks.back().pos - p.pos) < 1.0) {
            if (p.area > peaks.back().area) peaks.back() = p;
            continue;
        }
        peaks.push_back(p);
    }
    return peaks;
}

}  // namespace qdbtool::demo
