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

}  // namespace qdbtool::demo
