// Expected counts of a synthetic spectrum (continuum integrated exactly, peaks sub-sampled), their
// Poisson draws, and the truth sets: a detector and a peak layout drawn from a seed.
#include "quantora/analysis/SyntheticSpectrum.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "quantora/analysis/PeakShape.h"
#include "quantora/base/Exception.h"

namespace quantora::analysis {

namespace {

constexpr int kSubSamples = 16;         // per channel, for the peak shape
constexpr double kGaussianReach = 10;   // sigmas above the centroid a peak is evaluated
constexpr double kTailCutoff = 27.631;  // ln(1e12): the tail is followed down to 1e-12 H
constexpr double kStepSettled = 8;      // sigmas beyond which the step is 0 or S H exactly
constexpr double kFreeArea = 1e3;       // peaks up to this area may lie anywhere
constexpr double kFloorMargin = 1.1;    // on the significance floor of a peak being placed
constexpr double kInvSqrtPi = 0.5641895835477563;

// Antiderivative of erfc.
double ErfcIntegral(double t) {
    return t * std::erfc(t) - std::exp(-t * t) * kInvSqrtPi;
}

PeakShape ShapeOf(const TruePeak& p) {
    PeakShape s;
    s.centroid = p.channel;
    s.sigma = p.fwhm * kSigmaPerFwhm;
    s.tail = p.tailFwhm > 0 ? p.tailFwhm * p.fwhm : 0.0;
    s.step = p.step;
    s.height = p.area / PeakShape::AreaPerHeight(s.sigma, s.tail);
    return s;
}

// Channels below the centroid where the peak (Gaussian or tail) is above 1e-12 of its height.
double LowReach(const PeakShape& s) {
    const double gauss = kGaussianReach * s.sigma;
    if (!(s.tail > 0)) return gauss;
    return std::max(gauss, s.tail / 2 + s.sigma * s.sigma * kTailCutoff / s.tail);
}

// The channels whose centre lies within kBackgroundHalfWidthFwhm FWHM of `channel`, clamped.
struct Window {
    long first, last;  // inclusive; empty when last < first
};
Window BackgroundWindow(double channel, double fwhm, long channels) {
    const double half = kBackgroundHalfWidthFwhm * fwhm;
    return {std::max(0L, static_cast<long>(std::ceil(channel - half))),
            std::min(channels - 1, static_cast<long>(std::floor(channel + half)))};
}

// Adds the peak's net counts to `net` and its step to `continuum` over the channels where they
// vary; the constant step S H of the channels below that goes to stepBelow[first] (summed from the
// top by the caller). Returns the exact area: the sum of the net counts added.
double AddPeak(const PeakShape& s, std::vector<double>& net, std::vector<double>& continuum,
               std::vector<double>& stepBelow) {
    const long n = static_cast<long>(net.size());
    const double low = s.centroid - LowReach(s), high = s.centroid + kGaussianReach * s.sigma;
    const long first = std::clamp(static_cast<long>(std::floor(low)), 0L, n);
    const long last = std::clamp(static_cast<long>(std::ceil(high)), -1L, n - 1);
    stepBelow[first] += s.step * s.height;
    double area = 0;
    for (long i = first; i <= last; ++i) {
        double v = 0, st = 0;
        for (int k = 0; k < kSubSamples; ++k) {
            const double x = static_cast<double>(i) - 0.5 + (k + 0.5) / kSubSamples;
            v += s.Value(x);
            st += s.Step(x);
        }
        v /= kSubSamples;
        net[i] += v;
        continuum[i] += st / kSubSamples;
        area += v;
    }
    return area;
}

// Uniform doubles from the 53 high bits, so that a seed gives the same layout everywhere.
class Draw {
  public:
    explicit Draw(std::uint64_t seed) : rng_(seed) {}
    double Unit() { return static_cast<double>(rng_() >> 11) * 0x1.0p-53; }
    double Uniform(double a, double b) { return a + (b - a) * Unit(); }
    double Uniform(DrawRange r) { return Uniform(r.low, r.high); }
    // Log-uniform for a positive range, uniform otherwise (a range of zeros, say).
    double LogUniform(DrawRange r) {
        if (!(r.low > 0 && r.high > 0)) return Uniform(r);
        return std::exp(Uniform(std::log(r.low), std::log(r.high)));
    }

  private:
    std::mt19937_64 rng_;
};

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// One isolated peak, one doublet or one weak peak waiting for its place.
struct Group {
    TruthKind kind = TruthKind::Isolated;
    double area[2] = {0, 0};  // doublet: first (lower channel) and second component
    double separationFwhm = 0;
    double significance = 0;  // weak: the target; others: the floor of every component
    int size() const { return kind == TruthKind::Doublet ? 2 : 1; }
};

Group DrawGroup(TruthKind kind, const TruthSetOptions& o, Draw& draw) {
    Group g;
    g.kind = kind;
    switch (kind) {
        case TruthKind::Isolated:
            g.area[0] = draw.LogUniform(o.isolatedArea);
            g.significance = o.isolatedMinSignificance;
            break;
        case TruthKind::Doublet: {
            const double larger = draw.LogUniform(o.doubletLargerArea);
            const double smaller = larger / draw.Uniform(o.doubletRatio);
            const bool largerFirst = draw.Unit() < 0.5;
            g.area[0] = largerFirst ? larger : smaller;
            g.area[1] = largerFirst ? smaller : larger;
            g.separationFwhm = draw.Uniform(o.doubletSeparationFwhm);
            g.significance = o.doubletMinSignificance;
            break;
        }
        case TruthKind::Weak:
            g.significance = draw.Uniform(o.weakSignificance);
            break;
    }
    return g;
}

struct Placed {
    TruePeak peak;
    PeakShape shape;
};

// Places groups one by one on a drawn detector, estimating backgrounds from the continuum and the
// steps of the peaks placed so far. Tail and step go linearly (the step log-linearly) from their
// value at the lowest to that at the highest peak channel.
class Layout {
  public:
    Layout(const SyntheticSpectrumModel& model, const TruthSetOptions& options, DrawRange tail,
           DrawRange step)
        : model_(model),
          spacingFwhm_(options.spacingFwhm),
          tail_(tail),
          step_(step),
          prefix_(static_cast<size_t>(model.channels) + 1, 0.0) {
        for (int i = 0; i < model.channels; ++i)
            prefix_[i + 1] = prefix_[i] + model.continuum.Integral(i - 0.5, i + 0.5);
        largest_ =
            std::max({options.isolatedArea.high, options.doubletLargerArea.high, 2 * kFreeArea});
        low_ = std::max(model.Channel(options.energyKeV.low), 64.0);
        high_ = std::min(model.Channel(options.energyKeV.high),
                         model.channels - 1 - 20 * model.Fwhm(model.channels - 1.0));
    }

    // False when no place was found in many draws.
    bool Place(const Group& g, Draw& draw) {
        constexpr int kTries = 500;
        for (int t = 0; t < kTries && high_ > low_; ++t) {
            const double x0 = draw.Uniform(low_, Top(g));
            Placed c[2];
            for (int k = 0; k < g.size(); ++k) {
                const double x = k == 0 ? x0 : x0 + g.separationFwhm * model_.Fwhm(x0);
                c[k].peak = PeakAt(x, g.kind, g.area[k]);
            }
            if (Fits(g, c)) {
                placed_.insert(placed_.end(), c, c + g.size());
                return true;
            }
        }
        return false;
    }

    std::vector<TruePeak> Peaks() const {
        std::vector<TruePeak> out;
        for (const Placed& p : placed_) out.push_back(p.peak);
        std::sort(out.begin(), out.end(),
                  [](const TruePeak& a, const TruePeak& b) { return a.channel < b.channel; });
        return out;
    }

  private:
    // The highest channel a group may take: the whole range up to kFreeArea counts, shrinking to
    // half of it at the largest area drawn. Larger peaks lie lower, as the efficiency falls with
    // energy, and their steps leave room above them for the small peaks.
    double Top(const Group& g) const {
        const double a = std::max(g.area[0], g.area[1]);
        const double f =
            a > kFreeArea ? std::min(1.0, std::log(a / kFreeArea) / std::log(largest_ / kFreeArea))
                          : 0.0;
        return high_ - 0.5 * f * (high_ - low_);
    }

    TruePeak PeakAt(double x, TruthKind kind, double area) const {
        const double f = (x - low_) / (high_ - low_);
        TruePeak p;
        p.channel = x;
        p.fwhm = model_.Fwhm(x);
        p.tailFwhm = tail_.low + (tail_.high - tail_.low) * f;
        p.step = step_.low > 0 && step_.high > 0 ? step_.low * std::pow(step_.high / step_.low, f)
                                                 : step_.low + (step_.high - step_.low) * f;
        p.kind = kind;
        p.area = area;
        return p;
    }

    // Steps of `s` summed over a window, at channel centres: an estimate is all the layout needs.
    static double StepOver(const PeakShape& s, Window w) {
        if (w.last < w.first) return 0;
        const double settled = kStepSettled * s.sigma;
        if (w.last < s.centroid - settled) return s.step * s.height * (w.last - w.first + 1);
        if (w.first > s.centroid + settled) return 0;
        double sum = 0;
        for (long i = w.first; i <= w.last; ++i) sum += s.Step(static_cast<double>(i));
        return sum;
    }

    Window WindowOf(const TruePeak& p) const {
        return BackgroundWindow(p.channel, p.fwhm, model_.channels);
    }

    double Background(const TruePeak& p) const {
        const Window w = WindowOf(p);
        if (w.last < w.first) return 0;
        double b = prefix_[w.last + 1] - prefix_[w.first];
        for (const Placed& q : placed_) b += StepOver(q.shape, w);
        return b;
    }

    // Spacing to the placed peaks, and the significance of each peak of the group over the
    // continuum, the steps of the peaks placed so far and that of its partner. Sets the areas of
    // weak peaks and the shapes. Larger peaks are placed first, so the steps of later ones are
    // small; the floor margin covers them.
    bool Fits(const Group& g, Placed (&c)[2]) const {
        const int n = g.size();
        for (int k = 0; k < n; ++k) {
            const TruePeak& p = c[k].peak;
            if (p.channel > high_) return false;
            for (const Placed& q : placed_) {
                const double need = spacingFwhm_ * std::max(p.fwhm, q.peak.fwhm);
                if (std::abs(p.channel - q.peak.channel) < need) return false;
            }
            c[k].shape = ShapeOf(p);
        }
        for (int k = 0; k < n; ++k) {
            TruePeak& p = c[k].peak;
            double b = Background(p);
            if (n == 2) b += StepOver(c[1 - k].shape, WindowOf(p));
            if (g.kind == TruthKind::Weak) {
                p.area = g.significance * std::sqrt(b);
                if (!(p.area > 0)) return false;
                c[k].shape = ShapeOf(p);
            } else if (p.area < kFloorMargin * g.significance * std::sqrt(b)) {
                return false;
            }
        }
        return true;
    }

    const SyntheticSpectrumModel& model_;
    double spacingFwhm_;
    DrawRange tail_, step_;       // values at the lowest and the highest peak channel
    std::vector<double> prefix_;  // continuum counts below channel i
    double low_ = 0, high_ = 0;   // channel range of the peaks
    double largest_ = 0;          // largest area drawn
    std::vector<Placed> placed_;
};

}  // namespace

const char* TruthKindName(TruthKind kind) {
    switch (kind) {
        case TruthKind::Isolated:
            return "isolated";
        case TruthKind::Doublet:
            return "doublet";
        case TruthKind::Weak:
            return "weak";
    }
    return "?";
}

double ContinuumModel::Integral(double a, double b) const {
    double sum = flat * (b - a);
    if (expAmplitude != 0)
        sum += expAmplitude * expLength * (std::exp(-a / expLength) - std::exp(-b / expLength));
    for (const ContinuumShoulder& s : shoulders) {
        const double scale = s.width * kSqrt2;
        sum += s.height * 0.5 * scale *
               (ErfcIntegral((b - s.edge) / scale) - ErfcIntegral((a - s.edge) / scale));
    }
    return sum;
}

double SyntheticSpectrumModel::Fwhm(double channel) const {
    const double f2 = widthA + widthB * channel;
    return f2 > 0 ? std::sqrt(f2) : 0.0;
}

SyntheticSpectrum Generate(const SyntheticSpectrumModel& model, std::uint64_t seed) {
    if (model.channels < 1) throw Exception("synthetic spectrum: no channels");
    const size_t n = static_cast<size_t>(model.channels);
    SyntheticSpectrum s;
    s.energyCoeffs = {model.energyOffset, model.energyGain};
    s.widthA = model.widthA;
    s.widthB = model.widthB;
    s.continuum.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const double x = static_cast<double>(i);
        s.continuum[i] = model.continuum.Integral(x - 0.5, x + 0.5);
    }
    s.expected.assign(n, 0.0);  // net peak counts first
    std::vector<double> stepBelow(n + 1, 0.0);
    s.peaks = model.peaks;
    std::sort(s.peaks.begin(), s.peaks.end(),
              [](const TruePeak& a, const TruePeak& b) { return a.channel < b.channel; });
    for (TruePeak& p : s.peaks) {
        if (!(p.fwhm > 0)) p.fwhm = model.Fwhm(p.channel);
        if (!(p.fwhm > 0) || !(p.area >= 0))
            throw Exception(
                "synthetic spectrum: a peak without a positive width or with a "
                "negative area");
        p.area = AddPeak(ShapeOf(p), s.expected, s.continuum, stepBelow);
    }
    double below = 0;  // constant steps of the peaks above channel i
    for (size_t i = n; i-- > 0;) {
        below += stepBelow[i + 1];
        s.continuum[i] += below;
        s.expected[i] += s.continuum[i];
    }
    for (TruePeak& p : s.peaks) {
        const Window w = BackgroundWindow(p.channel, p.fwhm, static_cast<long>(n));
        p.background = 0;
        for (long i = w.first; i <= w.last; ++i) p.background += s.continuum[i];
        p.significance = p.background > 0 ? p.area / std::sqrt(p.background)
                                          : std::numeric_limits<double>::infinity();
    }
    std::mt19937_64 rng(seed);
    s.counts.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const double mean = s.expected[i];
        s.counts[i] = mean > 0 ? std::poisson_distribution<unsigned long>(mean)(rng) : 0;
    }
    return s;
}

SyntheticSpectrumModel TruthModel(const TruthSetOptions& o, std::uint64_t seed) {
    Draw draw(SplitMix(seed));
    SyntheticSpectrumModel m;
    m.channels = o.channels > 0 ? o.channels : (draw.Unit() < 0.5 ? 8192 : 16384);
    // About 3 MeV over the channels; FWHM about 1 keV at 100 keV and 2 keV at 1332 keV.
    m.energyGain = 3000.0 / m.channels * draw.Uniform(0.93, 1.05);
    m.energyOffset = draw.Uniform(-1.0, 1.0);
    const double f1 = draw.Uniform(0.9, 1.2) / m.energyGain, x1 = m.Channel(100.0);
    const double f2 = draw.Uniform(1.7, 2.2) / m.energyGain, x2 = m.Channel(1332.5);
    m.widthB = (f2 * f2 - f1 * f1) / (x2 - x1);
    m.widthA = f1 * f1 - m.widthB * x1;
    // Continuum levels per keV, so that both channel counts see the same statistics.
    const double perChannel = m.energyGain / 0.18;
    ContinuumModel& c = m.continuum;
    c.expAmplitude = perChannel * draw.LogUniform({200.0, 2000.0});
    c.expLength = draw.Uniform(250.0, 450.0) / m.energyGain;
    c.flat = perChannel * draw.Uniform(0.3, 2.0);
    for (int k = 0; k < 3; ++k) {
        ContinuumShoulder s;
        s.edge = m.Channel(draw.Uniform(300.0, 2200.0));
        s.height = draw.Uniform(0.3, 1.0) * (c.Integral(s.edge - 0.5, s.edge + 0.5));
        s.width = draw.Uniform(4.0, 10.0) * m.Fwhm(s.edge);
        c.shoulders.push_back(s);
    }
    const DrawRange tail{draw.Uniform(o.tailFwhm), draw.Uniform(o.tailFwhm)};
    const DrawRange step{draw.LogUniform(o.step), draw.LogUniform(o.step)};

    std::vector<Group> groups;
    for (int k = 0; k < o.isolated; ++k) groups.push_back(DrawGroup(TruthKind::Isolated, o, draw));
    for (int k = 0; k < o.doublets; ++k) groups.push_back(DrawGroup(TruthKind::Doublet, o, draw));
    // Largest first, so that a peak finds the steps of the larger ones in its background; weak
    // peaks last, their areas set by the background they find.
    std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) {
        return std::max(a.area[0], a.area[1]) > std::max(b.area[0], b.area[1]);
    });
    for (int k = 0; k < o.weak; ++k) groups.push_back(DrawGroup(TruthKind::Weak, o, draw));
    Layout layout(m, o, tail, step);
    // A group that finds no place (a large peak whose step would bury smaller ones below it, say)
    // is drawn again a few times.
    constexpr int kRedraws = 4;
    for (Group& g : groups)
        for (int k = 0; k < kRedraws && !layout.Place(g, draw); ++k) g = DrawGroup(g.kind, o, draw);
    m.peaks = layout.Peaks();
    return m;
}

SyntheticSpectrum TruthSpectrum(const TruthSetOptions& options, std::uint64_t seed) {
    return Generate(TruthModel(options, seed), SplitMix(SplitMix(seed)));
}

}  // namespace quantora::analysis
