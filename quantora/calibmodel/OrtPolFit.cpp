// Weighted least-squares fit in an orthonormal polynomial basis.
#include "quantora/calibmodel/OrtPolFit.h"

#include <cmath>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"

namespace quantora {

OrtPolFitResult FitOrtPol(const double* x, const double* y, const double* sy, int n, int degree) {
    std::vector<double> w(static_cast<size_t>(n > 0 ? n : 0));
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]) || !std::isfinite(sy[i]) || !(sy[i] > 0))
            throw Exception(
                Format("polynomial fit: point %d has a value that is not finite or "
                       "an uncertainty that is not positive",
                       i));
        w[i] = 1.0 / (sy[i] * sy[i]);
    }
    OrtPolFitResult r;
    r.Pol.Build(x, w.data(), n, degree);
    const int m = degree + 1;
    r.Coeff.Resize(m);
    std::vector<double> p(static_cast<size_t>(m));
    for (int i = 0; i < n; ++i) {
        r.Pol.Basis(x[i], p.data());
        for (int k = 0; k < m; ++k) r.Coeff[k] += w[i] * y[i] * p[k];
    }
    for (int i = 0; i < n; ++i) {
        const double res = y[i] - r.Pol.Value(x[i], r.Coeff);
        r.ChiSquare += w[i] * res * res;
    }
    r.Dof = n - m;
    const double scale = (r.Dof > 0 && r.ChiSquare / r.Dof > 1.0) ? r.ChiSquare / r.Dof : 1.0;
    r.Cov.Resize(m, m);
    for (int k = 0; k < m; ++k) r.Cov(k, k) = scale;
    return r;
}

}  // namespace quantora
