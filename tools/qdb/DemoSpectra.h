// Synthetic HPGe spectra for the demo lab, and the peaks the library's evaluation finds in them.
//
// A spectrum is a falling continuum, the Compton continuum of every line, and a Gaussian peak
// per line whose width follows FWHM(E) = sqrt(a + b*E); the expected counts of every channel are
// then drawn from a Poisson distribution with a seeded generator, so a seed gives one spectrum.
#pragma once

#include <cstdint>
#include <vector>

namespace qdbtool::demo {

// How a detector and its ADC turn energy into channels.
struct DetectorModel {
    double offset = 0.4;           // keV at channel 0
    double gain = 0.3750;          // keV per channel
    double nonlinAmplitude = 0.3;  // channels; the integral nonlinearity, 0 at both ends
    double fwhmA = 0.80;           // keV^2
    double fwhmB = 0.0022;         // keV
    double effScale = 0.025;       // absolute full-energy efficiency near 150 keV
    int channels = 8192;

    double Channel(double energy) const;  // where a line of that energy lands
    double FwhmKeV(double energy) const;  // its width
    double Efficiency(double energy) const;
};

struct Emission {
    double energy;          // keV
    double expectedCounts;  // in the full-energy peak
};

// Counts of one spectrum; `continuum` scales the environmental background.
std::vector<unsigned long> GenerateSpectrum(const DetectorModel& det,
                                            const std::vector<Emission>& lines, double continuum,
                                            uint32_t seed);

// A peak the library's evaluation found, in the units the demo's analyses use.
struct FoundPeak {
    double pos, posUnc;    // channels
    double area, areaUnc;  // counts
    double fwhm, fwhmUnc;  // channels
    double height;         // counts per channel at the centroid
    double bkg;            // continuum counts under the peak
};

}  // namespace qdbtool::demo
