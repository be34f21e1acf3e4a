// Peak evaluation: width model, search, regions, fits and decision thresholds.
#include "quantora/analysis/PeakEvaluation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "quantora/analysis/PeakSearch.h"
#include "quantora/analysis/PeakShape.h"
#include "quantora/analysis/Polynomial.h"
#include "quantora/analysis/RegionFit.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"

namespace quantora::analysis {
namespace {

constexpr int kMinChannels = 64;
// Regions whose strongest peak is expected to hold at least this many counts fit the tail and
// the step; below it the data cannot tell them from the continuum and they stay at the setting.
constexpr double kShapeFitMinArea = 400;
// A single peak with more counts than this fits its own tail.
constexpr double kOwnTailMinArea = 1e5;
// Two peaks of a region closer than this many FWHM cannot be told apart.
constexpr double kMinSeparationFwhm = 0.5;
// A peak the residuals suggest within this many FWHM of one this many times stronger is taken
// for a flaw of the shape model rather than a peak.
constexpr double kFlankFwhm = 1.5;
constexpr double kFlankRatio = 10.0;
// Closer than this (FWHM), a peak a few times stronger already hides a companion: its shape's
// imperfections are what a fit there finds.
constexpr double kCloseFlankFwhm = 0.75;
constexpr double kCloseFlankRatio = 3.0;
// Peaks that go into the width estimate of a spectrum without a FWHM calibration.
constexpr int kWidthPeaks = 40;

// Accepted range of every parameter the engine reads (inclusive, stored float form).
struct ParamRange {
    int number;
    double lo, hi;
};
constexpr ParamRange kRanges[] = {
    {2, 1, 1000},     {5, 0.5, 100},   {7, 0.05, 1},    {8, 1, 3},     {9, 1, 20},
    {10, 1, 3},       {56, 0, 0.9},    {57, 0.3, 1000}, {11, 1, 20},   {12, 1, 3},
    {13, 0.05, 10},   {58, 0.05, 10},  {59, 0.05, 10},  {16, 0, 5},    {17, 4, 1000},
    {20, 1, 3},       {21, 0, 10},     {22, 0, 10},     {23, 0, 1e12}, {29, 1e-12, 1},
    {30, 1e-12, 1e6}, {31, 1.01, 1e3}, {32, 1e-6, 1e6}, {33, 0.2, 5},  {34, 1, 3},
    {38, 0.5, 100},   {41, 0, 1e6},    {42, 0, 1e6},    {43, 0, 1e6},  {44, 0, 1e6},
    {45, 0, 1},       {47, 1, 32},     {50, 0, 100},    {51, 0, 1e6},  {52, 1, 10000},
};

// FWHM^2 = a + b ch in channels, never below the setting's narrowest width.
struct WidthModel {
    double a = 25, b = 0, floor = 1.5;
    double Fwhm(double ch) const { return std::sqrt(std::max(a + b * ch, floor * floor)); }
    double Sigma(double ch) const { return Fwhm(ch) * kSigmaPerFwhm; }
};

struct Limits {
    int first = 0, last = -1;
};

// The low-energy tail junction over the channel, in FWHM, within the setting's limits.
// Outside the channels it was learned over it is not extrapolated.
struct TailModel {
    double a = 0, b = 0, lo = 0, hi = 10, first = 0, last = 0;
    bool learned = false;
    double At(double ch) const { return std::clamp(a + b * std::clamp(ch, first, last), lo, hi); }
};

Limits ChannelLimits(int n, const SpectrumContext& ctx, const PeakEvalCalibration& s) {
    Limits l;
    l.first = static_cast<int>(std::ceil(s.LowChannelMargin));
    l.last = n - 1 - static_cast<int>(std::ceil(s.HighChannelMargin));
    if (ctx.energyCoeffs.size() >= 2 && PolySlope(ctx.energyCoeffs, n / 2.0) > 0) {
        int lo = l.first, hi = l.last;
        while (lo <= hi && Poly(ctx.energyCoeffs, lo) < s.LowEnergyLimitKeV) ++lo;
        while (hi >= lo && Poly(ctx.energyCoeffs, hi) > s.HighEnergyLimitKeV) --hi;
        if (hi - lo >= kMinChannels / 2) l.first = lo, l.last = hi;
    }
    return l;
}

RegionFitOptions FitOptions(const PeakEvalCalibration& s) {
    RegionFitOptions o;
    o.continuumTerms = s.BackgroundShape + 1;
    o.widthMode = s.WidthMode;
    o.widthFreedom = s.WidthFreedom;
    o.minWidthFactor = s.MinWidthFactor;
    o.maxWidthFactor = s.MaxWidthFactor;
    // Tail junctions are set in FWHM; the fit measures them in sigma.
    o.tail = s.LowTailMode == 1 ? 0.0 : s.LowTailDefault / kSigmaPerFwhm;
    o.tailMin = s.LowTailMin / kSigmaPerFwhm;
    o.tailMax = s.LowTailMax / kSigmaPerFwhm;
    o.maxStep = s.MaxStepFraction;
    o.maxShiftFwhm = s.MaxCentroidShiftFwhm;
    o.maxIterations = s.MaxFitIterations;
    o.tolerance = s.ConvergenceTolerance;
    o.initialDamping = s.InitialDamping;
    o.dampingFactor = s.DampingFactor;
    o.weightMode = s.WeightMode;
    o.minVariance = s.MinChannelVariance;
    o.uncertaintyMode = s.UncertaintyMode;
    return o;
}

// A stretch of channels fitted together and the peaks that start in it.
struct Group {
    int first = 0, last = 0;
    std::vector<RegionPeakStart> peaks;
};

std::vector<Group> BuildGroups(const std::vector<PeakCandidate>& found, const WidthModel& w,
                               const Limits& lim, const PeakEvalCalibration& s) {
    std::vector<Group> groups;
    for (const PeakCandidate& c : found) {
        const double fwhm = w.Fwhm(c.channel);
        const int lo = std::max(
            lim.first, static_cast<int>(std::floor(c.channel - s.RegionMarginFwhm * fwhm)));
        const int hi =
            std::min(lim.last, static_cast<int>(std::ceil(c.channel + s.RegionMarginFwhm * fwhm)));
        const RegionPeakStart start{c.channel, w.Sigma(c.channel)};
        if (!groups.empty()) {
            Group& g = groups.back();
            const bool overlaps = lo <= g.last;
            const bool fits = static_cast<int>(g.peaks.size()) < s.MaxPeaksPerRegion &&
                              hi - g.first <= s.MaxRegionWidthFwhm * fwhm;
            if (overlaps && fits) {
                g.peaks.push_back(start);
                g.last = hi;
                continue;
            }
            if (overlaps) {  // split halfway between the neighbouring peaks
                const int mid =
                    static_cast<int>(std::floor(0.5 * (g.peaks.back().channel + c.channel)));
                g.last = std::max(mid, static_cast<int>(std::ceil(g.peaks.back().channel)) + 1);
                groups.push_back({g.last + 1, hi, {start}});
                continue;
            }
        }
        groups.push_back({lo, hi, {start}});
    }
    return groups;
}

// Residuals of a fit over its region's channels, with the fitted counts as their variance.
void Residuals(std::span<const double> counts, const Group& g, const RegionFitResult& fit,
               std::vector<double>* residual, std::vector<double>* variance) {
    const size_t n = fit.model.size();
    residual->resize(n);
    variance->resize(n);
    for (size_t i = 0; i < n; ++i) {
        (*residual)[i] = counts[static_cast<size_t>(g.first) + i] - fit.model[i];
        (*variance)[i] = std::max(fit.model[i], 1.0);
    }
}

class Evaluator {
  public:
    Evaluator(std::span<const unsigned long> counts, const SpectrumContext& ctx,
              const PeakEvalCalibration& s)
        : ctx_(ctx), s_(s), counts_(counts.begin(), counts.end()), options_(FitOptions(s)) {
        lim_ = ChannelLimits(static_cast<int>(counts_.size()), ctx, s);
        width_.floor = s.MinWidthChannels;
    }

    PeakEvaluationResult Run() {
        SetWidthModel();
        PeakSearchOptions search;
        search.first = lim_.first;
        search.last = lim_.last;
        search.threshold = s_.SearchSignificance;
        search.filterWidth = s_.SearchFilterWidthFwhm;
        search.minSeparation = s_.MultipletSeparationFwhm;
        const auto fwhm = [this](double ch) { return width_.Fwhm(ch); };
        const std::vector<PeakCandidate> found =
            s_.AutoPeakSearch ? SearchPeaks(counts_, fwhm, search) : std::vector<PeakCandidate>{};
        for (Group& g : BuildGroups(found, width_, lim_, s_)) FitGroup(g);
        std::sort(result_.peaks.begin(), result_.peaks.end(),
                  [](const FittedPeak& a, const FittedPeak& b) { return a.channel < b.channel; });
        result_.widthA = width_.a;
        result_.widthB = width_.b;
        return std::move(result_);
    }

  private:
    void SetWidthModel() {
        const FwhmCalibrClass* cal = ctx_.fwhm;
        const bool calibrated = s_.UseFwhmCalibration && cal && cal->Valid;
        if (calibrated) cal->GetParams(&width_.a, &width_.b, nullptr, nullptr, nullptr);
        LearnShape(!calibrated);
    }

    // The spectrum's own peak shape: the strongest peaks found with a filter of the setting's
    // width, each fitted alone with a free width, tail and step. Their tails give the tail of
    // regions too weak or too crowded to fit one; without a FWHM calibration their widths give
    // FWHM^2 = a + b ch, fitted with peaks too wide for the rest (unresolved doublets) and too
    // narrow (a pulser) rejected.
    void LearnShape(bool widths) {
        const double guess = std::max<double>(s_.SmoothingPoints, s_.MinWidthChannels);
        if (widths) width_.a = guess * guess, width_.b = 0;
        PeakSearchOptions search;
        search.first = lim_.first;
        search.last = lim_.last;
        search.threshold = std::max(5.0, s_.SearchSignificance);
        const auto expected = [&](double ch) { return widths ? guess : width_.Fwhm(ch); };
        std::vector<PeakCandidate> found = SearchPeaks(counts_, expected, search);
        std::sort(found.begin(), found.end(), [](const PeakCandidate& a, const PeakCandidate& b) {
            return a.significance > b.significance;
        });
        if (found.size() > static_cast<size_t>(kWidthPeaks)) found.resize(kWidthPeaks);
        RegionFitOptions free = options_;
        free.widthMode = 1;
        free.minWidthFactor = widths ? 0.2 : s_.MinWidthFactor;
        free.maxWidthFactor = widths ? 5 : s_.MaxWidthFactor;
        free.maxShiftFwhm = 1;
        free.fitTail = s_.LowTailMode == 3 && free.tail > 0;
        free.fitStep = s_.FitStepBackground;
        std::vector<FwhmCalibrPoint> points;
        std::vector<std::pair<double, double>> tails;  // channel, junction in FWHM
        for (const PeakCandidate& c : found) {
            double sigma = expected(c.channel) * kSigmaPerFwhm;
            RegionFitResult fit;
            bool ok = false;
            for (int pass = 0; pass < 2; ++pass) {  // refit in a region of the width found
                const double half = 3.5 * sigma / kSigmaPerFwhm;
                const int lo = std::max(lim_.first, static_cast<int>(c.channel - half));
                const int hi = std::min(lim_.last, static_cast<int>(c.channel + half) + 1);
                const RegionPeakStart start{c.channel, sigma};
                if (hi - lo < 12) break;
                fit = FitPeaks(counts_, lo, hi, {&start, 1}, free);
                ok = fit.converged && !fit.peaks.empty() && fit.peaks[0].sigma > 0.3 &&
                     fit.peaks[0].sigmaUnc < 0.1 * fit.peaks[0].sigma &&
                     fit.peaks[0].area > kShapeFitMinArea;
                if (!ok) break;
                sigma = fit.peaks[0].sigma;
            }
            if (!ok || fit.chiSquare > 5.0 * fit.dof) continue;
            const RegionPeakFit& p = fit.peaks[0];
            points.push_back({-1, p.channel, p.sigma / kSigmaPerFwhm, 0.0,
                              std::max(p.sigmaUnc, 0.01 * p.sigma) / kSigmaPerFwhm});
            if (free.fitTail) tails.push_back({p.channel, fit.tail * kSigmaPerFwhm});
        }
        if (tails.size() >= 3) FitTails(tails);
        if (widths) FitWidths(points, guess);
    }

    // The tail junction (FWHM) as a straight line over the channel through the learned tails,
    // the farthest from the median scatter dropped: a weak peak on a flank pulls a tail short.
    void FitTails(std::vector<std::pair<double, double>> tails) {
        for (;;) {
            const size_t n = tails.size();
            double sx = 0, sy = 0, sxx = 0, sxy = 0;
            for (const auto& [x, y] : tails) sx += x, sy += y, sxx += x * x, sxy += x * y;
            const double dn = static_cast<double>(n), det = dn * sxx - sx * sx;
            tail_.b = n >= 4 && det > 0 ? (dn * sxy - sx * sy) / det : 0.0;
            tail_.a = (sy - tail_.b * sx) / dn;
            std::vector<double> dev;
            for (const auto& [x, y] : tails) dev.push_back(std::fabs(y - (tail_.a + tail_.b * x)));
            std::vector<double> sorted = dev;
            std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.end());
            const double scale = std::max(0.05, 1.4826 * sorted[n / 2]);
            const auto worst = std::max_element(dev.begin(), dev.end()) - dev.begin();
            if (n <= 3 || dev[static_cast<size_t>(worst)] < 3 * scale) break;
            tails.erase(tails.begin() + worst);
        }
        tail_.first = std::min_element(tails.begin(), tails.end())->first;
        tail_.last = std::max_element(tails.begin(), tails.end())->first;
        tail_.lo = s_.LowTailMin;
        tail_.hi = s_.LowTailMax;
        tail_.learned = true;
        result_.notes.push_back(Format(
            "low-energy tail from %d peaks of the spectrum: %.2f FWHM %+.3g per 1000 channels",
            static_cast<int>(tails.size()), tail_.a, 1000 * tail_.b));
    }

    // FWHM^2 = a + b ch through the widths of single peaks; points off by more than the scatter
    // of the rest go, the too wide ones first.
    void FitWidths(std::vector<FwhmCalibrPoint> points, double guess) {
        FwhmCalibrClass model;
        for (int round = 0; round < 20; ++round) {
            model.Reset();
            for (const FwhmCalibrPoint& p : points)
                model.Set(model.GetPointCount(), p.ChPos, p.Fwhm, 0.0, p.FwhmUnc, -1);
            if (!model.Valid || points.size() <= 3) break;
            // A line pulled so steep by a wide point that it gives no width at another point:
            // the widest goes.
            const auto noWidth = [&](const FwhmCalibrPoint& p) {
                return model.A + model.B * p.ChPos <= 0;
            };
            if (std::any_of(points.begin(), points.end(), noWidth)) {
                points.erase(
                    std::max_element(points.begin(), points.end(),
                                     [](const FwhmCalibrPoint& x, const FwhmCalibrPoint& y) {
                                         return x.Fwhm < y.Fwhm;
                                     }));
                continue;
            }
            std::vector<double> rel, dev;
            for (const FwhmCalibrPoint& p : points) rel.push_back(p.Fwhm / model.Fwhm(p.ChPos) - 1);
            dev = rel;
            for (double& d : dev) d = std::fabs(d);
            std::nth_element(dev.begin(), dev.begin() + dev.size() / 2, dev.end());
            const double scale = std::max(0.02, 1.4826 * dev[dev.size() / 2]);
            size_t worst = points.size();
            double worstZ = 0;
            for (size_t i = 0; i < points.size(); ++i) {
                const double z = rel[i] / scale;
                if ((z > 2.5 || z < -4) && std::fabs(z) > worstZ) worst = i, worstZ = std::fabs(z);
            }
            if (worst == points.size()) break;
            points.erase(points.begin() + static_cast<std::ptrdiff_t>(worst));
        }
        if (model.Valid && points.size() >= 3) {
            model.GetParams(&width_.a, &width_.b, nullptr, nullptr, nullptr);
            result_.notes.push_back(
                Format("widths estimated from %d peaks of the spectrum: FWHM^2 = %.4g + %.4g ch",
                       static_cast<int>(points.size()), width_.a, width_.b));
        } else if (!points.empty()) {
            std::vector<double> w;
            for (const FwhmCalibrPoint& p : points) w.push_back(p.Fwhm);
            std::nth_element(w.begin(), w.begin() + w.size() / 2, w.end());
            width_.a = w[w.size() / 2] * w[w.size() / 2];
            result_.notes.push_back(
                Format("width taken from %d peak(s) of the spectrum: FWHM %.3g channels",
                       static_cast<int>(points.size()), w[w.size() / 2]));
        } else {
            result_.notes.push_back(
                Format("no peak to measure widths on: FWHM %.3g channels assumed", guess));
        }
    }

    RegionFitResult Fit(const Group& g, bool strong, bool freeWidth) {
        RegionFitOptions o = options_;
        // The tail is the spectrum's, learned from its strong single peaks: fitted region by
        // region it would swallow a weak neighbour on the flank, or trade counts in a multiplet.
        // A single peak fits its own where the tail could not be learned, or where it holds so
        // many counts that the learned tail is no longer exact enough for it.
        if (tail_.learned && o.tail > 0) o.tail = tail_.At(g.peaks.front().channel) / kSigmaPerFwhm;
        const double area = EstimatedArea(g);
        o.fitTail = s_.LowTailMode == 3 && o.tail > 0 && g.peaks.size() == 1 &&
                    (area >= kOwnTailMinArea || (!tail_.learned && strong));
        o.fitStep = strong && s_.FitStepBackground;
        if (freeWidth) o.widthMode = 1;
        return FitPeaks(counts_, g.first, g.last, g.peaks, o);
    }

    // The largest area a group's peaks may hold, from their heights over the group's ends.
    double EstimatedArea(const Group& g) const {
        double best = 0;
        for (const RegionPeakStart& p : g.peaks) {
            const double base = 0.5 * (counts_[static_cast<size_t>(g.first)] +
                                       counts_[static_cast<size_t>(g.last)]);
            const double h = counts_[static_cast<size_t>(std::lround(p.channel))] - base;
            best = std::max(best, h * p.sigma * 2.5);
        }
        return best;
    }

    bool Strong(const Group& g) const { return EstimatedArea(g) >= kShapeFitMinArea; }

    int ParameterCount(const Group& g, bool strong) const {
        const int m = static_cast<int>(g.peaks.size());
        return s_.BackgroundShape + 1 + 2 * m + (s_.WidthMode == 1 ? m : 1) + (strong ? 2 : 0);
    }

    // Adds a peak where the residuals of the fit still hold one, while the likelihood gain is
    // significant; an unresolved doublet shows up here.
    void AddResidualPeaks(Group* g, RegionFitResult* fit, bool strong) {
        for (int round = 0; round < 2; ++round) {
            if (static_cast<int>(g->peaks.size()) >= s_.MaxPeaksPerRegion) return;
            std::vector<double> res, variance;
            Residuals(counts_, *g, *fit, &res, &variance);
            const int first = g->first;
            const auto fwhm = [this, first](double i) { return width_.Fwhm(first + i); };
            const std::vector<double> z = FilterSignificance(
                res, variance, fwhm, 0, g->last - first, s_.SearchFilterWidthFwhm);
            int best = -1;
            double bestZ = s_.SearchSignificance;
            for (int i = g->first + 1; i < g->last; ++i) {
                const double zi = z[static_cast<size_t>(i - first)];
                if (zi <= bestZ) continue;
                bool near = false;
                for (const RegionPeakFit& p : fit->peaks)
                    near = near || std::fabs(i - p.channel) < 0.5 * width_.Fwhm(i);
                if (!near) best = i, bestZ = zi;
            }
            if (best < 0) return;
            Group trial = *g;
            for (size_t k = 0; k < trial.peaks.size(); ++k)
                trial.peaks[k].channel = fit->peaks[k].channel;
            trial.peaks.push_back({static_cast<double>(best), width_.Sigma(best)});
            std::sort(trial.peaks.begin(), trial.peaks.end(),
                      [](const RegionPeakStart& a, const RegionPeakStart& b) {
                          return a.channel < b.channel;
                      });
            if (trial.last - trial.first + 1 < ParameterCount(trial, strong) + 4) return;
            RegionFitResult refit = Fit(trial, strong, false);
            // The likelihood gain must be significant even where the model's shape is not exact
            // (a huge peak): it is measured against the refit's own scatter.
            const double gain = fit->deviance - refit.deviance;
            const double scatter = std::max(1.0, refit.chiSquare / refit.dof);
            if (!refit.converged || gain < s_.SearchSignificance * s_.SearchSignificance * scatter)
                return;
            for (size_t k = 1; k < refit.peaks.size(); ++k)
                if (refit.peaks[k].channel - refit.peaks[k - 1].channel <
                    kMinSeparationFwhm * width_.Fwhm(refit.peaks[k].channel))
                    return;
            // A faint peak on the flank of a far stronger one is where the shape model (tail,
            // step) is least exact: not a peak of its own.
            for (const RegionPeakFit& added : refit.peaks) {
                if (std::fabs(added.channel - best) > 0.5 * width_.Fwhm(best)) continue;
                for (const RegionPeakFit& other : refit.peaks) {
                    const double apart =
                        std::fabs(other.channel - added.channel) / width_.Fwhm(added.channel);
                    const double ratio = apart < kCloseFlankFwhm ? kCloseFlankRatio : kFlankRatio;
                    if (&other != &added && other.area > ratio * added.area && apart < kFlankFwhm)
                        return;
                }
            }
            *g = std::move(trial);
            *fit = std::move(refit);
        }
    }

    // A single peak that a step of the continuum at its place fits as well is an edge (of a
    // Compton continuum, or a shelf), not a peak.
    bool IsEdge(const Group& g, const RegionFitResult& fit) {
        Group edge = g;
        edge.peaks[0].channel = fit.peaks[0].channel;
        RegionFitOptions o = options_;
        o.edge = true;
        o.widthMode = 1;  // an edge may be far sharper or smoother than a peak
        o.minWidthFactor = 0.05;
        o.maxWidthFactor = 5;
        o.maxShiftFwhm = 2;  // and lie off the candidate's centroid
        const RegionFitResult alt = FitPeaks(counts_, g.first, g.last, edge.peaks, o);
        return alt.deviance <= fit.deviance;
    }

    bool PassesThreshold(const RegionPeakFit& p) const {
        const double threshold = s_.DecisionThresholdK * p.areaUncNoPeak;
        if (!(p.area > threshold) || p.area < s_.MinNetArea) return false;
        return p.areaUnc <= s_.MaxRelAreaUncPercent / 100.0 * p.area;
    }

    void FitGroup(Group& g) {
        const bool strong = Strong(g);
        if (g.last - g.first + 1 < ParameterCount(g, strong) + 4) {
            result_.notes.push_back(
                Format("channels %d-%d: too few channels to fit; left out", g.first, g.last));
            return;
        }
        const Group original = g;
        RegionFitResult fit = Fit(g, strong, false);
        if (fit.converged) AddResidualPeaks(&g, &fit, strong);
        // Still a poor fit of a single peak: one whose width is not the calibration's (a pulser,
        // the Doppler-broadened annihilation line) is fitted again with a free width, and that
        // fit is kept when it is the likelier one.
        bool freeWidth = false;
        if (fit.converged && g.peaks.size() == 1 &&
            fit.chiSquare > s_.RefitChiSquareLimit * fit.dof) {
            RegionFitResult free = Fit(original, strong, true);
            if (free.converged && free.deviance < fit.deviance) {
                g = original;
                fit = std::move(free);
                freeWidth = true;
            }
        }
        // Peaks below the decision threshold go, and the rest are fitted again without them.
        for (int pass = 0; pass < 2 && fit.converged; ++pass) {
            Group kept = g;
            kept.peaks.clear();
            for (size_t k = 0; k < g.peaks.size(); ++k)
                if (PassesThreshold(fit.peaks[k]))
                    kept.peaks.push_back({fit.peaks[k].channel, g.peaks[k].sigma});
            if (kept.peaks.size() == g.peaks.size()) break;
            if (kept.peaks.empty()) return;
            g = std::move(kept);
            fit = Fit(g, strong, freeWidth);
        }
        if (fit.converged && g.peaks.size() == 1 && IsEdge(g, fit)) {
            result_.notes.push_back(Format(
                "channels %d-%d: an edge of the continuum, not a peak; left out", g.first, g.last));
            return;
        }
        if (!fit.converged) {
            result_.notes.push_back(Format(
                "channels %d-%d: the fit did not converge in %d iterations; its peaks are left out",
                g.first, g.last, fit.iterations));
            return;
        }
        Store(g, fit);
    }

    void Store(const Group& g, const RegionFitResult& fit) {
        FitRegion region;
        region.first = g.first;
        region.last = g.last;
        region.peakCount = static_cast<int>(fit.peaks.size());
        region.chiSquare = fit.chiSquare;
        region.dof = fit.dof;
        region.tailFwhm = fit.tail * kSigmaPerFwhm;
        region.stepFraction = fit.step;
        region.continuum = fit.continuum;
        region.iterations = fit.iterations;
        region.converged = fit.converged;
        const int index = static_cast<int>(result_.regions.size());
        const double kb = s_.DetectionLimitK;
        for (const RegionPeakFit& p : fit.peaks) {
            if (!PassesThreshold(p)) continue;
            FittedPeak f;
            f.channel = p.channel;
            f.channelUnc = std::max(p.channelUnc, s_.CentroidUncFloor);
            f.area = p.area;
            const double sys = s_.SystematicAreaUncPercent / 100.0 * p.area;
            f.areaUnc = std::sqrt(p.areaUnc * p.areaUnc + sys * sys);
            f.fwhm = p.sigma / kSigmaPerFwhm;
            f.fwhmUnc = std::max(p.sigmaUnc, s_.WidthUncFloor) / kSigmaPerFwhm;
            f.height = p.height;
            f.heightUnc = p.heightUnc;
            f.background = p.background;
            // ISO 11929: N* = k(1-a) u(0); N# solves N# = N* + k(1-b) sqrt(N# + u(0)^2).
            const double u0 = p.areaUncNoPeak;
            f.areaUncNoPeak = u0;
            f.decisionThreshold = s_.DecisionThresholdK * u0;
            const double b = 2 * f.decisionThreshold + kb * kb;
            const double c = f.decisionThreshold * f.decisionThreshold - kb * kb * u0 * u0;
            f.detectionLimit = 0.5 * (b + std::sqrt(std::max(b * b - 4 * c, 0.0)));
            f.region = index;
            if (ctx_.energyCoeffs.size() >= 2) {
                const double slope = PolySlope(ctx_.energyCoeffs, f.channel);
                f.energy = Poly(ctx_.energyCoeffs, f.channel);
                f.energyUnc = std::fabs(slope) * f.channelUnc;
                f.fwhmKeV = std::fabs(slope) * f.fwhm;
                f.fwhmKeVUnc = std::fabs(slope) * f.fwhmUnc;
            }
            result_.peaks.push_back(f);
        }
        result_.regions.push_back(std::move(region));
    }

    const SpectrumContext& ctx_;
    const PeakEvalCalibration& s_;
    std::vector<double> counts_;
    RegionFitOptions options_;
    Limits lim_;
    WidthModel width_;
    TailModel tail_;
    PeakEvaluationResult result_;
};

}  // namespace

void CheckSetting(const PeakEvalCalibration& setting) {
    for (const ParamRange& r : kRanges) {
        const double v = setting.GetStoredValue(r.number);
        if (std::isfinite(v) && v >= r.lo && v <= r.hi) continue;
        const PeakEvalCalibration::ParamInfo* info = PeakEvalCalibration::FindParam(r.number);
        throw Exception(Format("peak evaluation setting: parameter %d (%s) is %g, outside %g to %g",
                               r.number, info ? info->Name : "?", v, r.lo, r.hi));
    }
    if (setting.MinWidthFactor >= setting.MaxWidthFactor || setting.LowTailMin > setting.LowTailMax)
        throw Exception(
            "peak evaluation setting: a lower limit above its upper limit (width factors 7 and 9, "
            "or tail limits 58 and 59)");
}

PeakEvaluationResult EvaluatePeaks(std::span<const unsigned long> counts,
                                   const SpectrumContext& context,
                                   const PeakEvalCalibration& setting) {
    CheckSetting(setting);
    if (counts.size() < static_cast<size_t>(kMinChannels))
        throw Exception(Format("a spectrum of %d channels is too short to evaluate (at least %d)",
                               static_cast<int>(counts.size()), kMinChannels));
    bool any = false;
    for (unsigned long c : counts) any = any || c > 0;
    if (!any) throw Exception("the spectrum holds no counts: nothing to evaluate");
    return Evaluator(counts, context, setting).Run();
}

}  // namespace quantora::analysis
