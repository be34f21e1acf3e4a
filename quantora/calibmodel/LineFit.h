// Weighted least-squares straight line y = a + b*x through points with uncertainties on both
// axes, shared by the energy and FWHM calibrations.
//
// Weights follow the effective variance method: w_i = 1 / (sy_i^2 + b^2 * sx_i^2), iterated
// until the slope is stable. With S = sum w, xm = sum w*x / S, ym = sum w*y / S,
// Sxx = sum w*(x - xm)^2, Sxy = sum w*(x - xm)*(y - ym):
//     b = Sxy / Sxx,  a = ym - b*xm,
//     var(b) = 1/Sxx, var(a) = 1/S + xm^2/Sxx, cov(a,b) = -xm/Sxx   (= (X'WX)^-1).
// When the points scatter more than their uncertainties say (chi2/dof > 1), the covariance is
// multiplied by chi2/dof (Birge ratio). If some point has no uncertainty at all, every point is
// weighted equally and the covariance is the unweighted one times the residual variance
// chi2/dof (zero with only two points).
#pragma once

#include <algorithm>
#include <cmath>

#include "quantora/base/Format.h"
#include "quantora/base/Types.h"

namespace quantora {

struct LinePoint {
    double x = 0, y = 0, sx = 0, sy = 0;
    bool use = true;  // false: the point is kept but takes no part in the fit
};

struct LineFitResult {
    bool ok = false;
    AnsiString reason;  // why the fit failed, when !ok
    double a = 0, b = 0, varA = 0, varB = 0, cov = 0;
    double chiSquare = 0;  // weighted sum of squared residuals, before any scaling
    int dof = 0;           // used points - 2
    int used = 0;
    bool weighted = false;
    bool tooFew = false;  // fewer than 2 usable points (the only failure with !ok and no bad value)
};

namespace detail {

struct LineSums {
    double s = 0, xm = 0, ym = 0, sxx = 0, sxy = 0;
};

// Centred weighted sums in two passes, for accuracy with large channel numbers.
template <class GetPoint, class Weight>
LineSums SumLine(int n, GetPoint& get, Weight weight) {
    LineSums r;
    double sx = 0, sy = 0;
    for (int i = 0; i < n; ++i) {
        const LinePoint p = get(i);
        if (!p.use) continue;
        const double w = weight(p);
        r.s += w;
        sx += w * p.x;
        sy += w * p.y;
    }
    r.xm = sx / r.s;
    r.ym = sy / r.s;
    for (int i = 0; i < n; ++i) {
        const LinePoint p = get(i);
        if (!p.use) continue;
        const double w = weight(p), dx = p.x - r.xm;
        r.sxx += w * dx * dx;
        r.sxy += w * dx * (p.y - r.ym);
    }
    return r;
}

}  // namespace detail

// get(i) returns the LinePoint i, for i in [0, n). It is called several times per point, so it
// should be cheap and must return the same point each time.
template <class GetPoint>
LineFitResult FitLine(int n, GetPoint&& get) {
    LineFitResult r;
    for (int i = 0; i < n; ++i) {
        const LinePoint p = get(i);
        if (!p.use) continue;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.sx) ||
            !std::isfinite(p.sy)) {
            r.reason = Format("point %d has a value that is not a finite number", i);
            return r;
        }
        if (p.sx < 0 || p.sy < 0) {
            r.reason = Format("point %d has a negative uncertainty", i);
            return r;
        }
        ++r.used;
    }
    if (r.used < 2) {
        r.tooFew = true;
        r.reason = Format("%d point(s) used, at least 2 are needed", r.used);
        return r;
    }

    // Geometry first: a line needs at least two distinct positions.
    detail::LineSums u = detail::SumLine(n, get, [](const LinePoint&) { return 1.0; });
    const double spreadLimit = 1e-10 * std::max(1.0, std::fabs(u.xm));
    if (!(u.sxx / u.s > spreadLimit * spreadLimit)) {
        r.reason = Format("all %d points are at the same position (%g): the slope is undefined",
                          r.used, u.xm);
        return r;
    }
    double b = u.sxy / u.sxx;

    auto effVar = [&b](const LinePoint& p) { return p.sy * p.sy + b * b * p.sx * p.sx; };
    auto allPositive = [&] {
        for (int i = 0; i < n; ++i) {
            const LinePoint p = get(i);
            if (p.use && !(effVar(p) > 0)) return false;
        }
        return true;
    };

    detail::LineSums s = u;
    r.weighted = allPositive();
    if (r.weighted) {
        for (int iter = 0; iter < 100; ++iter) {
            if (!allPositive()) {  // the slope went to zero and some points had only sx
                r.weighted = false;
                s = u;
                b = u.sxy / u.sxx;
                break;
            }
            s = detail::SumLine(n, get, [&](const LinePoint& p) { return 1.0 / effVar(p); });
            const double nb = s.sxy / s.sxx;
            const bool done = std::fabs(nb - b) <= 1e-14 * std::fabs(nb);
            b = nb;
            if (done) break;
        }
    }
    if (!(s.sxx > 0) || !std::isfinite(s.sxx)) {
        r.reason = "the weighted spread of the positions is zero: the slope is undefined";
        return r;
    }

    r.b = b;
    r.a = s.ym - b * s.xm;
    r.varB = 1.0 / s.sxx;
    r.varA = 1.0 / s.s + s.xm * s.xm / s.sxx;
    r.cov = -s.xm / s.sxx;
    for (int i = 0; i < n; ++i) {
        const LinePoint p = get(i);
        if (!p.use) continue;
        const double res = p.y - r.a - r.b * p.x;
        r.chiSquare += (r.weighted ? 1.0 / effVar(p) : 1.0) * res * res;
    }
    r.dof = r.used - 2;
    double scale = 1.0;
    if (r.weighted) {
        if (r.dof > 0 && r.chiSquare / r.dof > 1.0) scale = r.chiSquare / r.dof;
    } else {
        scale = r.dof > 0 ? r.chiSquare / r.dof : 0.0;
    }
    r.varA *= scale;
    r.varB *= scale;
    r.cov *= scale;
    if (!std::isfinite(r.a) || !std::isfinite(r.b) || !std::isfinite(r.varA) ||
        !std::isfinite(r.varB) || !std::isfinite(r.cov)) {
        r.reason = "the fit produced values that are not finite numbers";
        return r;
    }
    r.ok = true;
    return r;
}

}  // namespace quantora
