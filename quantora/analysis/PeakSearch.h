// Peak search: a zero-area matched filter (the second derivative of a Gaussian of the expected
// peak width, its mean removed so that a straight continuum gives no response) run over the
// counts; a candidate is a local maximum of the filter's significance, its response over the
// standard deviation of the response for Poisson counts.
#pragma once

#include <functional>
#include <span>
#include <vector>

namespace quantora::analysis {

struct PeakCandidate {
    double channel = 0;       // refined to a fraction of a channel
    double significance = 0;  // response / its standard deviation
};

struct PeakSearchOptions {
    int first = 0, last = -1;    // channels searched, inclusive (last -1: to the end)
    double threshold = 3.0;      // significance a candidate needs
    double filterWidth = 1.0;    // filter sigma over the peak sigma
    double minSeparation = 0.8;  // candidates closer than this many FWHM: the more significant
};

// Candidates in ascending channel order. `fwhm` gives the expected FWHM in channels at a channel.
std::vector<PeakCandidate> SearchPeaks(std::span<const double> counts,
                                       const std::function<double(double)>& fwhm,
                                       const PeakSearchOptions& options);

// The filter's significance at every channel of [first, last] (the rest zero); what SearchPeaks
// looks for maxima in, also used on fit residuals.
std::vector<double> FilterSignificance(std::span<const double> counts,
                                       std::span<const double> variance,
                                       const std::function<double(double)>& fwhm, int first,
                                       int last, double filterWidth);

}  // namespace quantora::analysis
