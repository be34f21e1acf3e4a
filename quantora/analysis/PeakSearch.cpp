// Matched-filter peak search.
#include "quantora/analysis/PeakSearch.h"

#include <algorithm>
#include <cmath>

#include "quantora/analysis/PeakShape.h"

namespace quantora::analysis {
namespace {

// Kernel of the negated second derivative of a Gaussian, mean removed: positive at the centre,
// negative on both flanks, zero sum, so constant and straight continua give no response.
void MakeKernel(double sigma, std::vector<double>* k) {
    const int half = std::max(2, static_cast<int>(std::ceil(3.0 * sigma)));
    k->assign(static_cast<size_t>(2 * half + 1), 0.0);
    double sum = 0;
    for (int j = -half; j <= half; ++j) {
        const double t = j / sigma;
        const double v = (1 - t * t) * std::exp(-0.5 * t * t);
        (*k)[static_cast<size_t>(j + half)] = v;
        sum += v;
    }
    const double mean = sum / static_cast<double>(k->size());
    for (double& v : *k) v -= mean;
}

}  // namespace

std::vector<double> FilterSignificance(std::span<const double> counts,
                                       std::span<const double> variance,
                                       const std::function<double(double)>& fwhm, int first,
                                       int last, double filterWidth) {
    const int n = static_cast<int>(counts.size());
    std::vector<double> z(counts.size(), 0.0);
    first = std::max(first, 0);
    last = std::min(last, n - 1);
    std::vector<double> kernel;
    double kernelSigma = -1;
    for (int i = first; i <= last; ++i) {
        // The expected width changes slowly: a new kernel only when it moved by 2 %.
        const double sigma = std::max(0.5, fwhm(i) * kSigmaPerFwhm * filterWidth);
        if (kernelSigma < 0 || std::fabs(sigma - kernelSigma) > 0.02 * kernelSigma) {
            MakeKernel(sigma, &kernel);
            kernelSigma = sigma;
        }
        const int half = static_cast<int>(kernel.size() / 2);
        if (i - half < 0 || i + half >= n) continue;
        double r = 0, v = 0;
        const double* c = counts.data() + (i - half);
        const double* w = variance.data() + (i - half);
        for (size_t j = 0; j < kernel.size(); ++j) {
            r += kernel[j] * c[j];
            v += kernel[j] * kernel[j] * w[j];
        }
        z[static_cast<size_t>(i)] = v > 0 ? r / std::sqrt(v) : 0.0;
    }
    return z;
}

std::vector<PeakCandidate> SearchPeaks(std::span<const double> counts,
                                       const std::function<double(double)>& fwhm,
                                       const PeakSearchOptions& options) {
    const int n = static_cast<int>(counts.size());
    const int first = std::max(options.first, 1);
    const int last = std::min(options.last < 0 ? n - 2 : options.last, n - 2);
    if (last < first) return {};
    // Poisson variance, at least one count per channel so that empty channels weigh.
    std::vector<double> variance(counts.begin(), counts.end());
    for (double& v : variance) v = std::max(v, 1.0);
    const std::vector<double> z =
        FilterSignificance(counts, variance, fwhm, first, last, options.filterWidth);
    std::vector<PeakCandidate> found;
    for (int i = first; i <= last; ++i) {
        const double zi = z[static_cast<size_t>(i)];
        if (zi < options.threshold || zi < z[static_cast<size_t>(i - 1)] ||
            zi <= z[static_cast<size_t>(i + 1)])
            continue;
        // Vertex of the parabola through the maximum and its neighbours.
        const double zl = z[static_cast<size_t>(i - 1)], zr = z[static_cast<size_t>(i + 1)];
        const double den = zl - 2 * zi + zr;
        double shift = den < 0 ? 0.5 * (zl - zr) / den : 0.0;
        shift = std::clamp(shift, -0.5, 0.5);
        found.push_back({i + shift, zi});
    }
    // Of candidates closer than the minimum separation, the more significant stays.
    std::vector<PeakCandidate> kept;
    for (const PeakCandidate& c : found) {
        if (!kept.empty() &&
            c.channel - kept.back().channel < options.minSeparation * fwhm(c.channel)) {
            if (c.significance > kept.back().significance) kept.back() = c;
            continue;
        }
        kept.push_back(c);
    }
    return kept;
}

}  // namespace quantora::analysis
