// The calibration nuclides of the demo lab: half-lives and the gamma lines with energies,
// intensities and their uncertainties as published in the evaluated decay data.
#pragma once

#include <span>

namespace qdbtool::demo {

struct GammaLine {
    double energy, energyUnc;        // keV
    double intensity, intensityUnc;  // photons per 100 decays
};

struct Nuclide {
    const char* symbol;
    double halfLifeYears, halfLifeUncYears;
    const char* decayMode;  // "A", "B-", "EC", "EC+B+"
    std::span<const GammaLine> lines;
};

std::span<const Nuclide> CalibrationNuclides();
// The nuclide of that symbol; throws for an unknown one.
const Nuclide& NuclideBySymbol(const char* symbol);

constexpr double kSecondsPerYear = 365.2422 * 86400.0;

}  // namespace qdbtool::demo
