// Synthetic germanium spectra with known peaks, to measure the peak evaluation against the truth.
// The expected counts of a channel are the integral over the channel of a smooth continuum and of
// the PeakShape (Gaussian, low-energy tail, step) of every true peak; the counts are Poisson draws
// of them. The truth sets place isolated peaks over four decades of area, close doublets and weak
// peaks at a few standard deviations of their background, each peak tagged with its kind.
#pragma once

#include <cstdint>
#include <vector>

namespace quantora::analysis {

enum class TruthKind { Isolated, Doublet, Weak };
inline constexpr int kTruthKindCount = 3;
const char* TruthKindName(TruthKind kind);

// Half-width of the window the background of a peak is summed over, in FWHM.
inline constexpr double kBackgroundHalfWidthFwhm = 1.25;

struct TruePeak {
    double channel = 0;   // centroid (centre of channel i at i)
    double area = 0;      // net counts, Gaussian and tail; in a generated spectrum the exact sum
                          // of the peak's expected counts over all channels
    double fwhm = 0;      // of the Gaussian, channels; <= 0: from the width model
    double tailFwhm = 0;  // tail junction J over FWHM; <= 0: no tail
    double step = 0;      // step height over peak height
    TruthKind kind = TruthKind::Isolated;
    // Filled by Generate: expected continuum counts (steps included, no net peak counts) in the
    // channels within kBackgroundHalfWidthFwhm FWHM of the centroid, and area / sqrt(background).
    double background = 0;
    double significance = 0;
};

// A smooth falling edge in the continuum, like the Compton edge of a line: `height` counts per
// channel well below `edge`, falling to zero above it as erfc with standard deviation `width`
// (channels, several FWHM: a shoulder, never a narrow feature).
struct ContinuumShoulder {
    double edge = 0, height = 0, width = 1;
};

// Counts per channel: expAmplitude exp(-x / expLength) + flat + the shoulders.
struct ContinuumModel {
    double expAmplitude = 0, expLength = 1, flat = 0;
    std::vector<ContinuumShoulder> shoulders;

    // Exact integral over [a, b], channels.
    double Integral(double a, double b) const;
};

struct SyntheticSpectrumModel {
    int channels = 16384;
    double energyOffset = 0, energyGain = 0.18;  // keV = energyOffset + energyGain * channel
    double widthA = 23.0, widthB = 0.0135;       // FWHM(ch)^2 = widthA + widthB ch, channels
    ContinuumModel continuum;
    std::vector<TruePeak> peaks;

    double Fwhm(double channel) const;
    double Channel(double keV) const { return (keV - energyOffset) / energyGain; }
};

struct SyntheticSpectrum {
    std::vector<unsigned long> counts;  // Poisson draws of `expected`
    std::vector<double> expected;       // expected counts per channel
    std::vector<double> continuum;      // the part of `expected` that is no net peak count
    std::vector<TruePeak> peaks;        // ascending channel, fwhm resolved, area exact
    std::vector<double> energyCoeffs;   // keV, lowest order first
    double widthA = 0, widthB = 0;      // FWHM(ch)^2 = widthA + widthB ch, channels
};

// Expected counts of the model and their Poisson draws from `seed`. Throws an Exception for a
// model without channels or with a peak whose width is not positive.
SyntheticSpectrum Generate(const SyntheticSpectrumModel& model, std::uint64_t seed);

// A closed range drawn from uniformly (log-uniformly for areas and steps).
struct DrawRange {
    double low = 0, high = 0;
};

// How many peaks of each kind a truth spectrum holds and the ranges they are drawn from.
// Significances are area / sqrt(background) as in TruePeak.
struct TruthSetOptions {
    int isolated = 24;
    int doublets = 8;  // pairs: 2 peaks each
    int weak = 8;
    int channels = 0;  // 0: 8192 or 16384, from the seed

    DrawRange isolatedArea{1e2, 1e6};
    double isolatedMinSignificance = 10;
    DrawRange doubletLargerArea{1e3, 1e5};
    DrawRange doubletSeparationFwhm{0.8, 2.0};
    DrawRange doubletRatio{1.0, 5.0};    // larger area over smaller
    double doubletMinSignificance = 20;  // of each component (the smaller one decides)
    DrawRange weakSignificance{3.0, 8.0};
    double spacingFwhm = 8;  // between neighbouring isolated peaks, doublets and weak peaks
    DrawRange tailFwhm{0.5, 1.2};
    DrawRange step{0.001, 0.01};
    DrawRange energyKeV{40.0, 2900.0};  // where peaks may lie
};

inline constexpr TruthSetOptions kIsolatedTruthSet{.isolated = 30, .doublets = 0, .weak = 0};
inline constexpr TruthSetOptions kDoubletTruthSet{.isolated = 0, .doublets = 16, .weak = 0};
inline constexpr TruthSetOptions kWeakTruthSet{.isolated = 0, .doublets = 0, .weak = 24};
inline constexpr TruthSetOptions kMixedTruthSet{};

// A detector and peaks drawn from `seed`. The detector: about 3 MeV over the channels, FWHM about
// 1 keV at 100 keV and 2 keV at 1332 keV, tail and step changing smoothly over the range, a
// falling continuum with three Compton-like shoulders. Peaks are placed largest first; areas above
// 1e3 counts keep to the lower part of the range, the more so the larger (as the efficiency falls
// with energy), so that their steps leave room for the small peaks. A group that finds no place
// meeting its significance and spacing is drawn again a few times and then left out, so a crowded
// request may yield fewer peaks.
SyntheticSpectrumModel TruthModel(const TruthSetOptions& options, std::uint64_t seed);
// Generate(TruthModel(options, seed), <a seed derived from seed>).
SyntheticSpectrum TruthSpectrum(const TruthSetOptions& options, std::uint64_t seed);

}  // namespace quantora::analysis
