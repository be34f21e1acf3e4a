// Recalibration of energy and width from an evaluation's peaks.
#include "quantora/analysis/Recalibration.h"

#include <algorithm>
#include <cmath>

#include "quantora/analysis/Polynomial.h"
#include "quantora/analysis/SymmetricSolve.h"
#include "quantora/base/Format.h"

namespace quantora::analysis {
namespace {

constexpr int kAlignPeaks = 25;                 // strongest peaks that vote on the alignment
constexpr double kSearchRel = 0.02;             // how far a file calibration may be off: 2 % ...
constexpr double kSearchAbsKeV = 5.0;           // ... plus 5 keV
constexpr double kMinLinePercent = 0.5;         // weaker lines do not vote
constexpr size_t kLinesPerPeak = 4;             // candidate lines per peak in the alignment
constexpr size_t kBlindPeaks = 12;              // without a calibration: peaks ...
constexpr size_t kBlindLines = 30;              // ... and lines paired up
constexpr double kBlindGain[2] = {0.01, 20.0};  // keV per channel
constexpr double kBlindOffsetKeV = 30.0;
constexpr double kRelevantShare = 0.01;  // of the strongest candidate: weaker lines are not it
constexpr double kMinEnergyUnc = 0.02;   // keV: floor of a point's uncertainty
constexpr double kMaxRmsShareOfTolerance = 0.25;  // of the matching tolerance: a chance match

// Lines within [lo, hi] keV: indices into the sorted lines.
std::pair<size_t, size_t> Within(std::span<const ReferenceLine> lines, double lo, double hi) {
    auto cmp = [](const ReferenceLine& l, double e) { return l.energy < e; };
    const size_t a =
        static_cast<size_t>(std::lower_bound(lines.begin(), lines.end(), lo, cmp) - lines.begin());
    const size_t b =
        static_cast<size_t>(std::lower_bound(lines.begin(), lines.end(), hi, cmp) - lines.begin());
    return {a, b};
}

// Weighted polynomial fit of y over x; false when singular. With `at`, `*atVar` is the variance
// of the fitted value at x = *at from the points' uncertainties.
bool FitPolynomial(const std::vector<double>& x, const std::vector<double>& y,
                   const std::vector<double>& sigma, int degree, std::vector<double>* coeffs,
                   const double* at = nullptr, double* atVar = nullptr) {
    const int n = degree + 1;
    std::vector<double> a(static_cast<size_t>(n * n), 0.0), b(static_cast<size_t>(n), 0.0);
    // Centred and scaled abscissa keeps the normal equations well conditioned.
    const double x0 =
        x.empty()
            ? 0
            : 0.5 * (*std::min_element(x.begin(), x.end()) + *std::max_element(x.begin(), x.end()));
    double scale = 1;
    for (double xi : x) scale = std::max(scale, std::fabs(xi - x0));
    for (size_t i = 0; i < x.size(); ++i) {
        const double w = 1 / (sigma[i] * sigma[i]), u = (x[i] - x0) / scale;
        std::vector<double> row(static_cast<size_t>(n));
        double p = 1;
        for (int j = 0; j < n; ++j) row[static_cast<size_t>(j)] = p, p *= u;
        for (int j = 0; j < n; ++j) {
            b[static_cast<size_t>(j)] += w * row[static_cast<size_t>(j)] * y[i];
            for (int k = 0; k < n; ++k)
                a[static_cast<size_t>(j * n + k)] +=
                    w * row[static_cast<size_t>(j)] * row[static_cast<size_t>(k)];
        }
    }
    if (at) {
        std::vector<double> inv = a;
        if (!CholeskyInvert(inv, n)) return false;
        std::vector<double> u(static_cast<size_t>(n));
        double p = 1;
        for (int j = 0; j < n; ++j) u[static_cast<size_t>(j)] = p, p *= (*at - x0) / scale;
        *atVar = 0;
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k)
                *atVar += u[static_cast<size_t>(j)] * inv[static_cast<size_t>(j * n + k)] *
                          u[static_cast<size_t>(k)];
    }
    if (!CholeskySolve(a, b, n)) return false;
    // Back to powers of x: sum b_j ((x - x0) / scale)^j.
    coeffs->assign(static_cast<size_t>(n), 0.0);
    std::vector<double> term(static_cast<size_t>(n), 0.0);  // coefficients of ((x - x0)/scale)^j
    term[0] = 1;
    for (int j = 0; j < n; ++j) {
        for (int k = 0; k < n; ++k)
            (*coeffs)[static_cast<size_t>(k)] +=
                b[static_cast<size_t>(j)] * term[static_cast<size_t>(k)];
        std::vector<double> next(static_cast<size_t>(n), 0.0);  // multiply by (x - x0)/scale
        for (int k = 0; k < n; ++k) {
            if (k + 1 < n) next[static_cast<size_t>(k + 1)] += term[static_cast<size_t>(k)] / scale;
            next[static_cast<size_t>(k)] -= term[static_cast<size_t>(k)] * x0 / scale;
        }
        term = next;
    }
    return true;
}

struct Alignment {
    double gain = 1, offset = 0, score = 0;
};

// Indices of the strongest well-measured peaks, strongest first.
std::vector<int> StrongPeaks(const PeakEvaluationResult& r, const std::vector<double>& energy,
                             size_t count) {
    std::vector<int> strong;
    for (size_t i = 0; i < r.peaks.size(); ++i)
        if (energy[i] > 0 && r.peaks[i].areaUnc < 0.2 * r.peaks[i].area)
            strong.push_back(static_cast<int>(i));
    std::sort(strong.begin(), strong.end(), [&](int a, int b) {
        return r.peaks[static_cast<size_t>(a)].area > r.peaks[static_cast<size_t>(b)].area;
    });
    if (strong.size() > count) strong.resize(count);
    return strong;
}

// How well `offset + gain * x` puts the strong peaks on lines: the peaks that meet a line
// within the tolerance, each weighted by the logarithm of its area.
double Score(const PeakEvaluationResult& r, const std::vector<double>& x,
             const std::vector<int>& strong, std::span<const ReferenceLine> lines, double tol,
             double gain, double offset) {
    double s = 0;
    for (int i : strong) {
        const double e = offset + gain * x[static_cast<size_t>(i)];
        const auto [a, b] = Within(lines, e - tol, e + tol);
        bool hit = false;
        for (size_t j = a; j < b && !hit; ++j) hit = lines[j].intensity >= kMinLinePercent;
        if (hit) s += std::log10(std::max(r.peaks[static_cast<size_t>(i)].area, 10.0));
    }
    return s;
}

// The gain and offset correction of approximate energies that lets the most strong peaks meet
// a line; each pair of (peak, nearby line) candidates proposes one.
Alignment AlignApproximate(const PeakEvaluationResult& r, const std::vector<double>& energy,
                           std::span<const ReferenceLine> lines, double tol) {
    const std::vector<int> strong = StrongPeaks(r, energy, kAlignPeaks);
    struct Pair {
        double peakE, lineE;
        int peak;
    };
    std::vector<Pair> pairs;
    for (int i : strong) {
        const double e = energy[static_cast<size_t>(i)];
        const auto [a, b] =
            Within(lines, e - kSearchRel * e - kSearchAbsKeV, e + kSearchRel * e + kSearchAbsKeV);
        // The most intense lines near each peak vote; a large library must not make this
        // quadratic in its size.
        std::vector<size_t> near;
        for (size_t j = a; j < b; ++j)
            if (lines[j].intensity >= kMinLinePercent) near.push_back(j);
        std::sort(near.begin(), near.end(),
                  [&](size_t x, size_t y) { return lines[x].intensity > lines[y].intensity; });
        if (near.size() > kLinesPerPeak) near.resize(kLinesPerPeak);
        for (size_t j : near) pairs.push_back({e, lines[j].energy, i});
    }
    Alignment best{1, 0, Score(r, energy, strong, lines, tol, 1, 0)};
    for (size_t p = 0; p < pairs.size(); ++p)
        for (size_t q = p + 1; q < pairs.size(); ++q) {
            const Pair &u = pairs[p], &v = pairs[q];
            if (u.peak == v.peak || std::fabs(v.peakE - u.peakE) < 20) continue;
            const double gain = (v.lineE - u.lineE) / (v.peakE - u.peakE);
            if (std::fabs(gain - 1) > kSearchRel) continue;
            const double offset = u.lineE - gain * u.peakE;
            if (std::fabs(offset) > kSearchAbsKeV + kSearchRel * 100) continue;
            const double sc = Score(r, energy, strong, lines, tol, gain, offset);
            if (sc > best.score + 1e-9) best = {gain, offset, sc};
        }
    return best;
}

// Without any calibration: keV per channel and offset from pairs of the strongest peaks laid on
// pairs of the most intense lines.
Alignment AlignBlind(const PeakEvaluationResult& r, std::span<const ReferenceLine> lines,
                     double tol) {
    std::vector<double> channel(r.peaks.size());
    for (size_t i = 0; i < r.peaks.size(); ++i) channel[i] = r.peaks[i].channel;
    const std::vector<int> strong = StrongPeaks(r, channel, kAlignPeaks);
    const std::vector<int> anchors = StrongPeaks(r, channel, kBlindPeaks);
    std::vector<size_t> intense;
    for (size_t j = 0; j < lines.size(); ++j)
        if (lines[j].intensity >= kMinLinePercent) intense.push_back(j);
    std::sort(intense.begin(), intense.end(),
              [&](size_t x, size_t y) { return lines[x].intensity > lines[y].intensity; });
    if (intense.size() > kBlindLines) intense.resize(kBlindLines);
    Alignment best{0, 0, 0};
    for (size_t a = 0; a < anchors.size(); ++a)
        for (size_t b = 0; b < anchors.size(); ++b) {
            const double c1 = channel[static_cast<size_t>(anchors[a])];
            const double c2 = channel[static_cast<size_t>(anchors[b])];
            if (c2 - c1 < 10) continue;
            for (size_t u : intense)
                for (size_t v : intense) {
                    const double e1 = lines[u].energy, e2 = lines[v].energy;
                    if (e2 <= e1) continue;
                    const double gain = (e2 - e1) / (c2 - c1);
                    const double offset = e1 - gain * c1;
                    if (gain < kBlindGain[0] || gain > kBlindGain[1] ||
                        std::fabs(offset) > kBlindOffsetKeV)
                        continue;
                    const double sc = Score(r, channel, strong, lines, tol, gain, offset);
                    if (sc > best.score + 1e-9) best = {gain, offset, sc};
                }
        }
    return best;
}

}  // namespace

int IdentifyLine(double energy, double energyUnc, double fwhmKeV,
                 std::span<const ReferenceLine> lines, const PeakEvalCalibration& s) {
    const double tol =
        std::max({s.LineMatchToleranceKeV, s.LineMatchToleranceFwhm * fwhmKeV, 2 * energyUnc});
    const auto [a, b] = Within(lines, energy - tol, energy + tol);
    // Of the lines within the tolerance that are not negligible beside the most intense of
    // them, the nearest: a weak line right at the peak is it, not a strong one a keV away.
    double strongest = 0;
    for (size_t j = a; j < b; ++j) strongest = std::max(strongest, lines[j].intensity);
    int best = -1;
    for (size_t j = a; j < b; ++j) {
        if (lines[j].intensity < kRelevantShare * strongest) continue;
        if (best < 0 || std::fabs(lines[j].energy - energy) <
                            std::fabs(lines[static_cast<size_t>(best)].energy - energy))
            best = static_cast<int>(j);
    }
    return best;
}

Recalibration Recalibrate(const PeakEvaluationResult& r, const std::vector<double>& coeffs,
                          std::span<const ReferenceLine> lines, const PeakEvalCalibration& s) {
    Recalibration out;
    // Widths: the evaluation's own width model at the channels of its well-measured single
    // peaks, so that a later evaluation through this calibration sees the widths this one used.
    for (const FittedPeak& p : r.peaks) {
        if (p.area < s.FwhmCalMinArea || p.fwhmUnc > 0.1 * p.fwhm) continue;
        if (r.regions[static_cast<size_t>(p.region)].peakCount != 1) continue;
        const double model = std::sqrt(std::max(r.widthA + r.widthB * p.channel, 0.0));
        if (!(model > 0)) continue;
        out.fwhm.Set(out.fwhm.GetPointCount(), p.channel, model, p.channelUnc, p.fwhmUnc, -1);
    }
    if (lines.empty()) {
        out.notes.push_back("no energy recalibration: the radiation library holds no lines");
        return out;
    }
    const double tol = s.ECalMatchToleranceKeV;
    // Approximate energies: from the spectrum's calibration, or from a blind alignment.
    std::vector<double> energy(r.peaks.size(), -1.0);
    const bool blind = coeffs.size() < 2;
    Alignment align;
    if (blind) {
        const Alignment b = AlignBlind(r, lines, tol);
        if (b.score <= 0) {
            out.notes.push_back(
                "no energy recalibration: no alignment of the peaks with the library's lines");
            return out;
        }
        for (size_t i = 0; i < r.peaks.size(); ++i)
            energy[i] = b.offset + b.gain * r.peaks[i].channel;
        align = {1, 0, b.score};
        out.notes.push_back(
            Format("no energy calibration: %.5f keV per channel and %+.2f keV found from the lines",
                   b.gain, b.offset));
    } else {
        for (size_t i = 0; i < r.peaks.size(); ++i) energy[i] = Poly(coeffs, r.peaks[i].channel);
        align = AlignApproximate(r, energy, lines, tol);
    }
    // One line per peak and one peak per line: the nearest intense line after the alignment.
    std::vector<int> lineOwner(lines.size(), -1);
    for (size_t i = 0; i < r.peaks.size(); ++i) {
        const FittedPeak& p = r.peaks[i];
        if (energy[i] <= 0) continue;
        const double e = align.offset + align.gain * energy[i];
        const auto [a, b] = Within(lines, e - tol, e + tol);
        int best = -1;
        for (size_t j = a; j < b; ++j) {
            if (lines[j].intensity < kMinLinePercent) continue;
            if (best < 0 || lines[j].intensity > lines[static_cast<size_t>(best)].intensity)
                best = static_cast<int>(j);
        }
        if (best < 0) continue;
        // A second line of comparable intensity as close makes the match ambiguous.
        bool ambiguous = false;
        for (size_t j = a; j < b; ++j)
            ambiguous =
                ambiguous || (static_cast<int>(j) != best &&
                              lines[j].intensity * 5 > lines[static_cast<size_t>(best)].intensity);
        if (ambiguous) continue;
        const int owner = lineOwner[static_cast<size_t>(best)];
        if (owner >= 0 && r.peaks[static_cast<size_t>(owner)].area >= p.area) continue;
        if (owner >= 0)
            std::erase_if(out.matches, [&](const LineMatch& m) { return m.peak == owner; });
        lineOwner[static_cast<size_t>(best)] = static_cast<int>(i);
        out.matches.push_back({static_cast<int>(i), best, 0.0, true});
    }
    std::sort(out.matches.begin(), out.matches.end(),
              [](const LineMatch& a, const LineMatch& b) { return a.peak < b.peak; });
    // Fit with outliers rejected one at a time.
    for (;;) {
        std::vector<double> x, y, sigma;
        for (const LineMatch& m : out.matches) {
            if (!m.used) continue;
            const FittedPeak& p = r.peaks[static_cast<size_t>(m.peak)];
            const ReferenceLine& l = lines[static_cast<size_t>(m.line)];
            const double slope =
                p.channel > 0 ? std::fabs(energy[static_cast<size_t>(m.peak)] / p.channel) : 1.0;
            x.push_back(p.channel);
            y.push_back(l.energy);
            sigma.push_back(
                std::hypot(std::hypot(slope * p.channelUnc, l.energyUnc), kMinEnergyUnc));
        }
        if (x.size() < 3) {
            out.energyValid = false;
            out.notes.push_back(Format(
                "no energy recalibration: %d peak(s) matched a library line, at least 3 are needed",
                static_cast<int>(x.size())));
            return out;
        }
        const double span =
            *std::max_element(x.begin(), x.end()) - *std::min_element(x.begin(), x.end());
        const int degree = x.size() >= 5 && span > 0.25 * x.back() ? 2 : 1;
        if (!FitPolynomial(x, y, sigma, degree, &out.energyCoeffs)) {
            out.notes.push_back(
                "no energy recalibration: the matched peaks do not determine a calibration");
            return out;
        }
        double sum2 = 0;
        int n = 0;
        for (LineMatch& m : out.matches) {
            const FittedPeak& p = r.peaks[static_cast<size_t>(m.peak)];
            m.residualKeV =
                Poly(out.energyCoeffs, p.channel) - lines[static_cast<size_t>(m.line)].energy;
            if (!m.used) continue;
            sum2 += m.residualKeV * m.residualKeV;
            ++n;
        }
        out.rmsKeV = std::sqrt(sum2 / n);
        // Each point against the fit of the others, in units of the combined uncertainty of the
        // point and that prediction, scaled by the others' scatter: one bad point among few
        // cannot hide by inflating the scatter it is judged by.
        LineMatch* worst = nullptr;
        double worstZ = s.ECalOutlierSigma;
        if (n > degree + 3) {
            size_t k = 0;
            for (LineMatch& m : out.matches) {
                if (!m.used) continue;
                const size_t i = k++;
                std::vector<double> xo, yo, so, c;
                for (size_t j = 0; j < x.size(); ++j)
                    if (j != i) xo.push_back(x[j]), yo.push_back(y[j]), so.push_back(sigma[j]);
                double predVar = 0;
                if (!FitPolynomial(xo, yo, so, degree, &c, &x[i], &predVar)) continue;
                double chi2 = 0;
                for (size_t j = 0; j < xo.size(); ++j)
                    chi2 += std::pow((Poly(c, xo[j]) - yo[j]) / so[j], 2);
                const double scale =
                    std::sqrt(std::max(1.0, chi2 / static_cast<double>(xo.size() - degree - 1)));
                const double z = std::fabs(Poly(c, x[i]) - y[i]) /
                                 (scale * std::sqrt(sigma[i] * sigma[i] + predVar));
                if (z > worstZ) worst = &m, worstZ = z;
            }
        }
        // A residual beyond the matching tolerance is an outlier whatever the scatter.
        if (!worst)
            for (LineMatch& m : out.matches)
                if (m.used && std::fabs(m.residualKeV) > tol && n > degree + 2) worst = &m;
        if (!worst) break;
        worst->used = false;
    }
    // Lines met by chance (a library without the spectrum's main nuclides, aligned where its
    // dense lines happen to fall on peaks) scatter over the whole tolerance; lines met for real
    // lie on a smooth curve far inside it.
    if (out.rmsKeV > kMaxRmsShareOfTolerance * tol) {
        out.notes.push_back(
            Format("no energy recalibration: the %d matched lines scatter by %.2f "
                   "keV rms, more than the %.2f keV lines met for real do; the "
                   "library's lines do not explain the peaks",
                   static_cast<int>(std::count_if(out.matches.begin(), out.matches.end(),
                                                  [](const LineMatch& m) { return m.used; })),
                   out.rmsKeV, kMaxRmsShareOfTolerance * tol));
        out.matches.clear();
        return out;
    }
    out.energyValid = true;
    int used = 0;
    for (const LineMatch& m : out.matches) used += m.used ? 1 : 0;
    if (blind)
        out.notes.push_back(
            Format("energy calibrated from %d lines, rms %.3f keV", used, out.rmsKeV));
    else
        out.notes.push_back(
            Format("energy recalibrated from %d lines (gain %.5f, offset %+.2f "
                   "keV against the spectrum's calibration), rms %.3f keV",
                   used, align.gain, align.offset, out.rmsKeV));
    return out;
}

}  // namespace quantora::analysis
