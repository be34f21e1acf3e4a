// The shape of a full-energy peak in a germanium spectrum, shared by the region fit and the
// synthetic spectra: a Gaussian of height H and standard deviation s at the centroid c, joined at
// c - J by an exponential low-energy tail that continues its value and slope, and a step in the
// continuum under the peak (counts scattered out of the full-energy peak land below it).
//
//     g(x) = H exp(-(x - c)^2 / (2 s^2))                 x >= c - J
//     g(x) = H exp(J (2 (x - c) + J) / (2 s^2))         x <  c - J
//     step(x) = S H erfc((x - c) / (s sqrt 2)) / 2
//     area = H s (sqrt(pi/2) (1 + erf(J / (s sqrt 2))) + (s / J) exp(-J^2 / (2 s^2)))
//
// J <= 0 means no tail: a pure Gaussian, area = H s sqrt(2 pi). The step is part of the
// continuum, not of the net area. Positions are in channels, the centre of channel i at x = i.
#pragma once

#include <cmath>

namespace quantora::analysis {

inline constexpr double kSqrt2 = 1.4142135623730951;
inline constexpr double kSqrtHalfPi = 1.2533141373155003;
inline constexpr double kSigmaPerFwhm = 0.42466090014400953;  // 1 / (2 sqrt(2 ln 2))

struct PeakShape {
    double centroid = 0;
    double height = 0;
    double sigma = 1;
    double tail = 0;  // J, channels from the centroid; <= 0: none
    double step = 0;  // S, step height over peak height

    double Value(double x) const {
        const double u = x - centroid;
        const double s2 = 2 * sigma * sigma;
        if (tail > 0 && u < -tail) return height * std::exp(tail * (2 * u + tail) / s2);
        return height * std::exp(-u * u / s2);
    }
    double Step(double x) const {
        return step == 0 ? 0.0 : step * height * 0.5 * std::erfc((x - centroid) / (sigma * kSqrt2));
    }
    // Net area per unit height.
    static double AreaPerHeight(double sigma, double tail) {
        if (!(tail > 0)) return sigma * 2 * kSqrtHalfPi;
        return sigma * (kSqrtHalfPi * (1 + std::erf(tail / (sigma * kSqrt2))) +
                        sigma / tail * std::exp(-tail * tail / (2 * sigma * sigma)));
    }
    double Area() const { return height * AreaPerHeight(sigma, tail); }
    double Fwhm() const { return sigma / kSigmaPerFwhm; }
};

}  // namespace quantora::analysis
