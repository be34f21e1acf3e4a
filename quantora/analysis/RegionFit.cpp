// Poisson maximum-likelihood fit of a region's peaks and continuum.
#include "quantora/analysis/RegionFit.h"

#include <algorithm>
#include <cmath>

#include "quantora/analysis/PeakShape.h"
#include "quantora/analysis/SymmetricSolve.h"

namespace quantora::analysis {
namespace {

constexpr double kInvSqrtPi = 0.5641895835477563;
constexpr double kInvSqrt2Pi = 0.3989422804014327;
constexpr double kModelFloor = 1e-6;  // counts; keeps the deviance and the weights finite
constexpr double kNarrowSigma = 1.5;  // channels: narrower peaks are integrated over channels

// Where each parameter sits in the vector: continuum terms, then height and centroid of every
// peak, the width scale(s), the tail and the step.
struct Layout {
    int terms = 2, peaks = 0, widths = 1;
    bool tail = false, step = false;
    int H(int k) const { return terms + 2 * k; }
    int C(int k) const { return terms + 2 * k + 1; }
    int W(int k) const { return terms + 2 * peaks + (widths == 1 ? 0 : k); }
    int T() const { return terms + 2 * peaks + widths; }
    int S() const { return T() + (tail ? 1 : 0); }
    int Count() const { return S() + (step ? 1 : 0); }
};

// Area per unit height of a tailed peak, over sigma: f(tau) and its derivative.
double AreaFactor(double tau) {
    if (!(tau > 0)) return 2 * kSqrtHalfPi;
    return kSqrtHalfPi * (1 + std::erf(tau / kSqrt2)) + std::exp(-0.5 * tau * tau) / tau;
}
double AreaFactorSlope(double tau) {
    return tau > 0 ? -std::exp(-0.5 * tau * tau) / (tau * tau) : 0.0;
}

class Problem {
  public:
    Problem(std::span<const double> counts, int first, int last,
            std::span<const RegionPeakStart> starts, const RegionFitOptions& o)
        : o_(o), first_(first), n_(last - first + 1), starts_(starts.begin(), starts.end()) {
        data_.assign(counts.begin() + first, counts.begin() + last + 1);
        span_ = std::max(1, last - first);
        lay_.terms = std::clamp(o.continuumTerms, 1, 4);
        lay_.peaks = static_cast<int>(starts.size());
        lay_.widths = o.widthMode == 1 ? lay_.peaks : 1;
        lay_.tail = o.fitTail && o.tail > 0 && !o.edge;
        lay_.step = o.fitStep && !o.edge;
        np_ = lay_.Count();
        lo_.assign(np_, -HUGE_VAL);
        hi_.assign(np_, HUGE_VAL);
        p_.assign(np_, 0.0);
        InitialGuess();
        if (o.weightMode != 2) DataVariance();
    }

    int Parameters() const { return np_; }
    int Channels() const { return n_; }

    RegionFitResult Run() {
        RegionFitResult r;
        Evaluate(p_, &mu_, &jac_);
        double merit = Merit(mu_);
        double lambda = o_.initialDamping;
        std::vector<double> a, g, trial, trialMu;
        for (r.iterations = 0; r.iterations < o_.maxIterations; ++r.iterations) {
            Normal(mu_, jac_, &a, &g);
            // A parameter at a bound that the gradient pushes further out stays there for this
            // step; clamping the full step instead would shrink every step to a crawl.
            for (int i = 0; i < np_; ++i) {
                if (!((p_[i] <= lo_[i] && g[i] < 0) || (p_[i] >= hi_[i] && g[i] > 0))) continue;
                for (int j = 0; j < np_; ++j) a[i * np_ + j] = a[j * np_ + i] = 0;
                a[i * np_ + i] = 1;
                g[i] = 0;
            }
            bool accepted = false;
            double newMerit = merit;
            while (lambda < 1e12) {
                std::vector<double> m = a, step = g;
                for (int i = 0; i < np_; ++i)
                    m[i * np_ + i] += lambda * std::max(a[i * np_ + i], 1e-12);
                if (CholeskySolve(m, step, np_)) {
                    trial = p_;
                    for (int i = 0; i < np_; ++i) trial[i] += step[i];
                    Clamp(&trial);
                    Evaluate(trial, &trialMu, nullptr);
                    newMerit = Merit(trialMu);
                    if (newMerit <= merit) {
                        accepted = true;
                        break;
                    }
                }
                lambda *= o_.dampingFactor;
            }
            if (!accepted) {  // no step lowers the merit: at its minimum within rounding
                r.converged = true;
                break;
            }
            const double drop = merit - newMerit;
            p_ = trial;
            Evaluate(p_, &mu_, &jac_);
            merit = newMerit;
            lambda = std::max(lambda / o_.dampingFactor, 1e-12);
            if (drop <= o_.tolerance * std::max(merit, 1.0)) {
                r.converged = true;
                ++r.iterations;
                break;
            }
        }
        Finish(merit, &r);
        return r;
    }

  private:
    void InitialGuess() {
        // Continuum: the straight line through the means of three channels at each end.
        const int e = std::min(3, n_);
        double left = 0, right = 0;
        for (int i = 0; i < e; ++i) left += data_[i], right += data_[n_ - 1 - i];
        left /= e, right /= e;
        p_[0] = left;
        if (lay_.terms > 1) p_[1] = right - left;
        for (int k = 0; k < lay_.peaks; ++k) {
            const RegionPeakStart& s = starts_[k];
            const int i = std::clamp(static_cast<int>(std::lround(s.channel)) - first_, 0, n_ - 1);
            const double base = left + (right - left) * i / span_;
            p_[lay_.H(k)] = std::max(1.0, data_[i] - base);
            lo_[lay_.H(k)] = o_.edge ? -HUGE_VAL : 0.0;  // an edge may fall either way
            p_[lay_.C(k)] = s.channel;
            const double shift = o_.maxShiftFwhm * s.sigma / kSigmaPerFwhm;
            lo_[lay_.C(k)] = s.channel - shift;
            hi_[lay_.C(k)] = s.channel + shift;
        }
        // Two peaks that start on top of each other share the counts.
        const double wlo = o_.widthMode == 2 ? 1 - o_.widthFreedom : o_.minWidthFactor;
        const double whi = o_.widthMode == 2 ? 1 + o_.widthFreedom : o_.maxWidthFactor;
        for (int w = 0; w < lay_.widths; ++w) {
            p_[lay_.W(w)] = std::clamp(1.0, wlo, whi);
            lo_[lay_.W(w)] = wlo;
            hi_[lay_.W(w)] = whi;
        }
        if (lay_.tail) {
            p_[lay_.T()] = std::clamp(o_.tail, o_.tailMin, o_.tailMax);
            lo_[lay_.T()] = o_.tailMin;
            hi_[lay_.T()] = o_.tailMax;
        }
        if (lay_.step) {
            p_[lay_.S()] = std::clamp(o_.step, 0.0, o_.maxStep);
            lo_[lay_.S()] = 0.0;
            hi_[lay_.S()] = o_.maxStep;
        }
        Clamp(&p_);
    }

    void DataVariance() {
        variance_.resize(n_);
        for (int i = 0; i < n_; ++i) {
            double v = data_[i];
            if (o_.weightMode == 3 && i > 0 && i + 1 < n_)
                v = (data_[i - 1] + data_[i] + data_[i + 1]) / 3;
            variance_[i] = std::max(v, o_.minVariance);
        }
    }

    void Clamp(std::vector<double>* p) const {
        for (int i = 0; i < np_; ++i) (*p)[i] = std::clamp((*p)[i], lo_[i], hi_[i]);
    }

    double Tail(const std::vector<double>& p) const {
        if (o_.edge) return 0.0;
        return lay_.tail ? p[lay_.T()] : std::max(o_.tail, 0.0);
    }
    double Step(const std::vector<double>& p) const {
        if (o_.edge) return 1.0;
        return lay_.step ? p[lay_.S()] : o_.step;
    }
    double Sigma(const std::vector<double>& p, int k) const {
        return p[lay_.W(k)] * starts_[k].sigma;
    }

    // Model counts and, when asked, the Jacobian (row-major, one row per channel).
    void Evaluate(const std::vector<double>& p, std::vector<double>* mu,
                  std::vector<double>* jac) const {
        mu->assign(n_, 0.0);
        if (jac) jac->assign(static_cast<size_t>(n_) * np_, 0.0);
        const double tau = Tail(p), step = Step(p);
        for (int i = 0; i < n_; ++i) {
            double* row = jac ? jac->data() + static_cast<size_t>(i) * np_ : nullptr;
            const double u = static_cast<double>(i) / span_;
            double power = 1, value = 0;
            for (int t = 0; t < lay_.terms; ++t) {
                value += p[t] * power;
                if (row) row[t] = power;
                power *= u;
            }
            const double x = first_ + i;
            for (int k = 0; k < lay_.peaks; ++k) {
                const double h = p[lay_.H(k)], c = p[lay_.C(k)], s = Sigma(p, k);
                // Narrow peaks are averaged over three points of the channel: the counts of a
                // channel are the shape's integral over it, not its value at the centre.
                const int sub = starts_[k].sigma < kNarrowSigma ? 3 : 1;
                double unit = 0, dc = 0, ds = 0, dt = 0;  // unit-height shape and its slopes
                double e = 0, ez = 0, zez = 0;            // the step, and its slopes' factors
                for (int j = 0; j < sub; ++j) {
                    const double d = x - c + (sub == 1 ? 0.0 : (j - 1) / 3.0);
                    if (o_.edge) {
                        // No peak: only its step, a drop of height h in the continuum.
                    } else if (tau > 0 && d < -tau * s) {
                        const double g = std::exp(tau * d / s + 0.5 * tau * tau);
                        unit += g;
                        dc -= g * tau / s;
                        ds -= g * tau * d / (s * s);
                        dt += g * (d / s + tau);
                    } else {
                        const double g = std::exp(-0.5 * d * d / (s * s));
                        unit += g;
                        dc += g * d / (s * s);
                        ds += g * d * d / (s * s * s);
                    }
                    if (step != 0 || lay_.step) {
                        const double z = d / (s * kSqrt2), zz = std::exp(-z * z);
                        e += 0.5 * std::erfc(z);
                        ez += zz;
                        zez += z * zz;
                    }
                }
                if (sub > 1) {
                    const double w = 1.0 / sub;
                    unit *= w, dc *= w, ds *= w, dt *= w, e *= w, ez *= w, zez *= w;
                }
                value += h * (unit + step * e);
                if (!row) continue;
                row[lay_.H(k)] = unit + step * e;
                row[lay_.C(k)] = h * (dc + step * ez * kInvSqrt2Pi / s);
                row[lay_.W(k)] += h * (ds + step * zez * kInvSqrtPi / s) * starts_[k].sigma;
                if (lay_.tail) row[lay_.T()] += h * dt;
                if (lay_.step) row[lay_.S()] += h * e;
            }
            (*mu)[i] = value;
        }
    }

    double Weight(const std::vector<double>& mu, int i) const {
        return o_.weightMode == 2 ? 1.0 / std::max(mu[i], kModelFloor) : 1.0 / variance_[i];
    }

    // Poisson deviance for model weights, chi-square for fixed data variances.
    double Merit(const std::vector<double>& mu) const {
        double sum = 0;
        for (int i = 0; i < n_; ++i) {
            const double m = std::max(mu[i], kModelFloor), nobs = data_[i];
            if (o_.weightMode == 2) {
                sum += 2 * (m - nobs + (nobs > 0 ? nobs * std::log(nobs / m) : 0.0));
                if (mu[i] < kModelFloor) sum += 1e6 * (kModelFloor - mu[i]);  // no negative model
            } else {
                sum += (nobs - mu[i]) * (nobs - mu[i]) / variance_[i];
            }
        }
        return sum;
    }

    void Normal(const std::vector<double>& mu, const std::vector<double>& jac,
                std::vector<double>* a, std::vector<double>* g) const {
        a->assign(static_cast<size_t>(np_) * np_, 0.0);
        g->assign(np_, 0.0);
        for (int i = 0; i < n_; ++i) {
            const double* row = jac.data() + static_cast<size_t>(i) * np_;
            const double w = Weight(mu, i), r = w * (data_[i] - mu[i]);
            for (int j = 0; j < np_; ++j) {
                if (row[j] == 0) continue;
                const double wj = w * row[j];
                (*g)[j] += r * row[j];
                for (int k = 0; k <= j; ++k) (*a)[j * np_ + k] += wj * row[k];
            }
        }
        for (int j = 0; j < np_; ++j)
            for (int k = j + 1; k < np_; ++k) (*a)[j * np_ + k] = (*a)[k * np_ + j];
    }

    // Inverse of the Fisher information, parameters held at a bound left out (their variance 0).
    std::vector<double> Covariance(const std::vector<double>& a) const {
        std::vector<int> free;
        for (int i = 0; i < np_; ++i)
            if (p_[i] > lo_[i] && p_[i] < hi_[i]) free.push_back(i);
        const int f = static_cast<int>(free.size());
        std::vector<double> sub(static_cast<size_t>(f) * f);
        for (int i = 0; i < f; ++i)
            for (int j = 0; j < f; ++j) sub[i * f + j] = a[free[i] * np_ + free[j]];
        std::vector<double> cov(static_cast<size_t>(np_) * np_, 0.0);
        if (!CholeskyInvert(sub, f)) {
            for (int i = 0; i < f; ++i) sub[i * f + i] *= 1 + 1e-9;
            if (!CholeskyInvert(sub, f)) return cov;
        }
        for (int i = 0; i < f; ++i)
            for (int j = 0; j < f; ++j) cov[free[i] * np_ + free[j]] = sub[i * f + j];
        freeCount_ = f;
        return cov;
    }

    // Area uncertainty of peak k if it were absent: the linear part of the problem (continuum
    // and heights, shapes fixed) weighted by the model without peak k.
    double AreaUncNoPeak(int k, double areaPerHeight, double scale) const {
        const int lin = lay_.terms + lay_.peaks;
        std::vector<double> a(static_cast<size_t>(lin) * lin, 0.0), row(lin);
        for (int i = 0; i < n_; ++i) {
            const double* full = jac_.data() + static_cast<size_t>(i) * np_;
            for (int t = 0; t < lay_.terms; ++t) row[t] = full[t];
            for (int j = 0; j < lay_.peaks; ++j) row[lay_.terms + j] = full[lay_.H(j)];
            const double own = p_[lay_.H(k)] * full[lay_.H(k)];
            const double w =
                o_.weightMode == 2 ? 1.0 / std::max(mu_[i] - own, kModelFloor) : 1.0 / variance_[i];
            for (int j = 0; j < lin; ++j)
                for (int l = 0; l <= j; ++l) a[j * lin + l] += w * row[j] * row[l];
        }
        for (int j = 0; j < lin; ++j)
            for (int l = j + 1; l < lin; ++l) a[j * lin + l] = a[l * lin + j];
        if (!CholeskyInvert(a, lin)) return 0.0;
        const int h = lay_.terms + k;
        return areaPerHeight * std::sqrt(std::max(a[h * lin + h], 0.0) * scale);
    }

    void Finish(double merit, RegionFitResult* r) const {
        std::vector<double> a, g;
        Normal(mu_, jac_, &a, &g);
        const std::vector<double> cov = Covariance(a);
        double chi2 = 0;
        for (int i = 0; i < n_; ++i) {
            const double d = data_[i] - mu_[i];
            chi2 +=
                o_.weightMode == 2 ? d * d / std::max(mu_[i], kModelFloor) : d * d / variance_[i];
        }
        r->deviance = merit;
        r->chiSquare = chi2;
        r->dof = std::max(n_ - freeCount_, 1);
        const double reduced = chi2 / r->dof;
        const double scale = o_.uncertaintyMode == 3   ? reduced
                             : o_.uncertaintyMode == 2 ? std::max(reduced, 1.0)
                                                       : 1.0;
        r->tail = Tail(p_);
        r->step = Step(p_);
        r->model = mu_;
        for (int t = 0; t < lay_.terms; ++t) r->continuum.push_back(p_[t] / std::pow(span_, t));
        const double tau = r->tail;
        const double f = AreaFactor(tau), fSlope = AreaFactorSlope(tau);
        auto var = [&](int i, int j) { return cov[i * np_ + j] * scale; };
        for (int k = 0; k < lay_.peaks; ++k) {
            RegionPeakFit pk;
            const int H = lay_.H(k), C = lay_.C(k), W = lay_.W(k);
            const double h = p_[H], sigma = Sigma(p_, k), s0 = starts_[k].sigma;
            pk.channel = p_[C];
            pk.channelUnc = std::sqrt(std::max(var(C, C), 0.0));
            pk.sigma = sigma;
            pk.sigmaUnc = s0 * std::sqrt(std::max(var(W, W), 0.0));
            pk.height = h;
            pk.heightUnc = std::sqrt(std::max(var(H, H), 0.0));
            pk.area = h * sigma * f;
            // Gradient of the area over height, width scale and tail.
            std::vector<std::pair<int, double>> grad = {{H, sigma * f}, {W, h * s0 * f}};
            if (lay_.tail) grad.push_back({lay_.T(), h * sigma * fSlope});
            double v = 0;
            for (const auto& [i, gi] : grad)
                for (const auto& [j, gj] : grad) v += gi * gj * var(i, j);
            pk.areaUnc = std::sqrt(std::max(v, 0.0));
            pk.areaUncNoPeak = AreaUncNoPeak(k, sigma * f, scale);
            // Continuum and steps within centroid +- 1.25 FWHM.
            const double half = 1.25 * sigma / kSigmaPerFwhm;
            for (int i = 0; i < n_; ++i) {
                const double x = first_ + i;
                if (std::fabs(x - pk.channel) > half) continue;
                double own = 0;
                for (int j = 0; j < lay_.peaks; ++j) {
                    PeakShape shape{p_[lay_.C(j)], p_[lay_.H(j)], Sigma(p_, j), tau * Sigma(p_, j),
                                    0.0};
                    own += shape.Value(x);
                }
                pk.background += mu_[i] - own;
            }
            r->peaks.push_back(pk);
        }
    }

    const RegionFitOptions& o_;
    int first_, n_, span_ = 1, np_ = 0;
    mutable int freeCount_ = 0;
    std::vector<RegionPeakStart> starts_;
    std::vector<double> data_, variance_, p_, lo_, hi_, mu_, jac_;
    Layout lay_;
};

}  // namespace

RegionFitResult FitPeaks(std::span<const double> counts, int first, int last,
                         std::span<const RegionPeakStart> peaks, const RegionFitOptions& options) {
    Problem problem(counts, first, last, peaks, options);
    return problem.Run();
}

}  // namespace quantora::analysis
