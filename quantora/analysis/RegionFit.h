// Fit of one region of a spectrum: its peaks (PeakShape.h) over a polynomial continuum, by
// Poisson maximum likelihood. Levenberg-Marquardt steps on the Poisson deviance with the Fisher
// information as the curvature (weights 1 / model, which is iteratively reweighted least squares
// and converges to the maximum-likelihood estimate, unbiased for low counts where weighting by
// the data is not). The covariance is the inverse Fisher information, scaled by chi2/dof when
// the setting asks for it; areas and their uncertainties come from it by the delta method.
#pragma once

#include <span>
#include <vector>

namespace quantora::analysis {

struct RegionFitOptions {
    int continuumTerms = 2;  // 2 linear, 3 quadratic, 4 cubic
    // Width: 1 a free scale per peak, 2 one scale within 1 +- widthFreedom, 3 one free scale;
    // free scales stay within [minWidthFactor, maxWidthFactor] of the expected sigma.
    int widthMode = 2;
    double widthFreedom = 0.1, minWidthFactor = 0.6, maxWidthFactor = 1.8;
    bool fitTail = false;
    double tail = 0;  // tau: junction over sigma; <= 0 no tail
    double tailMin = 1, tailMax = 7;
    bool fitStep = false;
    double step = 0, maxStep = 0.1;
    double maxShiftFwhm = 0.5;  // centroid moves at most this far from its start
    int maxIterations = 50;
    double tolerance = 1e-4, initialDamping = 1e-3, dampingFactor = 10;
    // Weights: 1 data (variance floored at minVariance), 2 model (maximum likelihood), 3 data
    // smoothed over three channels.
    int weightMode = 2;
    double minVariance = 1;
    // 1 counting only, 2 scaled by chi2/dof when above 1, 3 always scaled.
    int uncertaintyMode = 2;
    // Each "peak" is only a step of the continuum (an edge, of either sign): the alternative
    // a peak must fit better than.
    bool edge = false;
};

struct RegionPeakStart {
    double channel = 0;
    double sigma = 1;  // expected
};

struct RegionPeakFit {
    double channel = 0, channelUnc = 0;
    double sigma = 0, sigmaUnc = 0;
    double height = 0, heightUnc = 0;
    double area = 0, areaUnc = 0;
    double areaUncNoPeak = 0;  // area uncertainty if the peak were absent (decision threshold)
    double background = 0;     // continuum and steps under centroid +- 1.25 FWHM
};

struct RegionFitResult {
    std::vector<RegionPeakFit> peaks;
    std::vector<double> continuum;  // coefficients of the polynomial in (channel - first)
    double tail = 0, step = 0;
    double deviance = 0, chiSquare = 0;
    int dof = 0, iterations = 0;
    bool converged = false;
    std::vector<double> model;  // fitted counts of channels first .. last
};

// Fits channels [first, last] of `counts` with the given peaks; `first` .. `last` must hold at
// least as many channels as the fit has parameters plus one.
RegionFitResult FitPeaks(std::span<const double> counts, int first, int last,
                         std::span<const RegionPeakStart> peaks, const RegionFitOptions& options);

}  // namespace quantora::analysis
