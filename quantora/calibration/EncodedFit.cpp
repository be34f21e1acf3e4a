// Decoding the stored polynomial and fit of an analysis row.
#include "quantora/calibration/EncodedFit.h"

#include <algorithm>

namespace quantora {

bool DecodeFit(const EncodedFit& stored, int n, OrtPolFit& out) {
    const int d = stored.degree;
    NumVector<double> norm, a, b;
    norm.LoadFromString(d + 1, stored.norm);
    a.LoadFromString(d, stored.a);
    b.LoadFromString(d - 1, stored.b);
    // Each vector must hold exactly its count; degree 0 asks for -1 b-elements, which no
    // stored vector holds, so such an analysis stays invalid.
    if (d < 0 || norm.Dim() != d + 1 || a.Dim() != d || b.Dim() != d - 1) return false;

    NumVector<double> coeff;
    NumMatrix<double> matrix;
    coeff.LoadFromString(n, stored.coeff);
    matrix.LoadFromString(n, n, stored.matrix);
    if (coeff.Dim() != n || !matrix.IsSquare(n) || n < d + 1) return false;

    out.pol.Reset();
    out.pol.Set(d, stored.xTrans0, stored.xTrans1, norm, a, b);
    out.matrix = std::move(matrix);
    out.coeff = std::move(coeff);
    return true;
}

}  // namespace quantora
