// Normalised orthogonal polynomial: recurrence evaluation and Stieltjes construction.
#include "quantora/calibmodel/NormOrtPol.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"

using quantora::Format;

namespace {

int BSize(int degree) {
    return degree > 1 ? degree - 1 : 0;
}

}  // namespace

void NormOrtPol::Reset() {
    Degree = -1;
    XTrans0 = 0.0;
    XTrans1 = 1.0;
    NormVect.Resize(0);
    AVect.Resize(0);
    BVect.Resize(0);
}

void NormOrtPol::CheckConsistent(const char* where) const {
    if (Degree < 0 || Degree > kMaxDegree || NormVect.Dim() != Degree + 1 ||
        AVect.Dim() != Degree || BVect.Dim() != BSize(Degree))
        throw Exception(
            Format("NormOrtPol::%s: inconsistent polynomial (degree %d with %d "
                   "normalisation, %d a- and %d b-elements)",
                   where, Degree, NormVect.Dim(), AVect.Dim(), BVect.Dim()));
}

void NormOrtPol::Set(int degree, double xTrans0, double xTrans1, const NumVector<double>& norm,
                     const NumVector<double>& a, const NumVector<double>& b) {
    NormOrtPol p;
    p.Degree = degree;
    p.XTrans0 = xTrans0;
    p.XTrans1 = xTrans1;
    p.NormVect = norm;
    p.AVect = a;
    p.BVect = b;
    p.CheckConsistent("Set");
    *this = std::move(p);
}

void NormOrtPol::Basis(double x, double* p) const {
    CheckConsistent("Basis");
    const double t = Transform(x);
    double prev = 0.0, cur = 1.0;
    p[0] = NormVect[0];
    for (int k = 1; k <= Degree; ++k) {
        const double next = (t - AVect[k - 1]) * cur - (k >= 2 ? BVect[k - 2] * prev : 0.0);
        prev = cur;
        cur = next;
        p[k] = NormVect[k] * cur;
    }
}

double NormOrtPol::Value(double x, const NumVector<double>& coeff) const {
    CheckConsistent("Value");
    if (coeff.Dim() < Degree + 1)
        throw Exception(Format("NormOrtPol::Value: %d coefficients for a polynomial of degree %d",
                               coeff.Dim(), Degree));
    // The recurrence of Basis, summed on the way: no buffer, whatever the degree.
    const double t = Transform(x);
    double prev = 0.0, cur = 1.0;
    double sum = coeff[0] * NormVect[0];
    for (int k = 1; k <= Degree; ++k) {
        const double next = (t - AVect[k - 1]) * cur - (k >= 2 ? BVect[k - 2] * prev : 0.0);
        prev = cur;
        cur = next;
        sum += coeff[k] * NormVect[k] * cur;
    }
    return sum;
}

double NormOrtPol::Variance(double x, const NumMatrix<double>& cov) const {
    CheckConsistent("Variance");
    if (cov.Rows() < Degree + 1 || cov.Cols() < Degree + 1)
        throw Exception(
            Format("NormOrtPol::Variance: %d x %d covariance for a polynomial of "
                   "degree %d",
                   cov.Rows(), cov.Cols(), Degree));
    // Calibrations use low degrees: their basis fits on the stack.
    double local[32];
    std::vector<double> large;
    double* p = local;
    if (Degree >= 32) {
        large.resize(static_cast<size_t>(Degree) + 1);
        p = large.data();
    }
    Basis(x, p);
    double var = 0.0;
    for (int j = 0; j <= Degree; ++j) {
        const double* row = cov[j];
        double s = 0.0;
        for (int k = 0; k <= Degree; ++k) s += row[k] * p[k];
        var += p[j] * s;
    }
    return var > 0.0 ? var : 0.0;  // rounding may leave a tiny negative value
}

void NormOrtPol::Build(const double* x, const double* w, int n, int degree) {
    if (degree < 0 || degree > kMaxDegree)
        throw Exception(Format("NormOrtPol::Build: degree %d outside 0 .. %d", degree, kMaxDegree));
    std::vector<double> xs;
    xs.reserve(static_cast<size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(w[i]) || w[i] < 0)
            throw Exception(
                Format("NormOrtPol::Build: point %d has an invalid position or weight", i));
        if (w[i] > 0) xs.push_back(x[i]);
    }
    std::sort(xs.begin(), xs.end());
    const int distinct = static_cast<int>(std::unique(xs.begin(), xs.end()) - xs.begin());
    if (distinct < degree + 1)
        throw Exception(
            Format("NormOrtPol::Build: %d distinct positions cannot define a "
                   "polynomial of degree %d",
                   distinct, degree));

    NormOrtPol r;
    r.Degree = degree;
    const double lo = xs.front(), hi = xs[static_cast<size_t>(distinct - 1)];
    if (hi > lo) {
        r.XTrans1 = 2.0 / (hi - lo);
        r.XTrans0 = -(hi + lo) / (hi - lo);
    } else {
        r.XTrans1 = 1.0;
        r.XTrans0 = -lo;
    }
    r.NormVect.Resize(degree + 1);
    r.AVect.Resize(degree);
    r.BVect.Resize(BSize(degree));

    // Monic p_k at every point, two at a time; h_k = sum w p_k^2.
    std::vector<double> t(static_cast<size_t>(n)), prev(static_cast<size_t>(n), 0.0),
        cur(static_cast<size_t>(n), 1.0);
    for (int i = 0; i < n; ++i) t[i] = r.Transform(x[i]);
    double hPrev = 0.0, h = 0.0;
    for (int i = 0; i < n; ++i) h += w[i];
    r.NormVect[0] = 1.0 / std::sqrt(h);
    for (int k = 0; k < degree; ++k) {
        double st = 0.0;
        for (int i = 0; i < n; ++i) st += w[i] * t[i] * cur[i] * cur[i];
        const double a = st / h;
        const double b = k >= 1 ? h / hPrev : 0.0;
        r.AVect[k] = a;
        if (k >= 1) r.BVect[k - 1] = b;
        double hNext = 0.0;
        for (int i = 0; i < n; ++i) {
            const double next = (t[i] - a) * cur[i] - b * prev[i];
            prev[i] = cur[i];
            cur[i] = next;
            hNext += w[i] * next * next;
        }
        if (!(hNext > 0) || !std::isfinite(hNext))
            throw Exception(
                Format("NormOrtPol::Build: the points do not support degree %d", k + 1));
        hPrev = h;
        h = hNext;
        r.NormVect[k + 1] = 1.0 / std::sqrt(h);
    }
    *this = std::move(r);
}
