// Small dense symmetric positive definite systems (the normal equations of a region fit): solve
// and invert by Cholesky factorisation, in place, row-major n x n. False when the matrix is not
// positive definite.
#pragma once

#include <cmath>
#include <vector>

namespace quantora::analysis {

// Replaces the lower triangle of a with L (a = L L^T).
inline bool CholeskyFactor(std::vector<double>& a, int n) {
    for (int j = 0; j < n; ++j) {
        double d = a[j * n + j];
        for (int k = 0; k < j; ++k) d -= a[j * n + k] * a[j * n + k];
        if (!(d > 0) || !std::isfinite(d)) return false;
        const double l = std::sqrt(d);
        a[j * n + j] = l;
        for (int i = j + 1; i < n; ++i) {
            double s = a[i * n + j];
            for (int k = 0; k < j; ++k) s -= a[i * n + k] * a[j * n + k];
            a[i * n + j] = s / l;
        }
    }
    return true;
}

// Solves a x = b (a overwritten by its factor, b by x).
inline bool CholeskySolve(std::vector<double>& a, std::vector<double>& b, int n) {
    if (!CholeskyFactor(a, n)) return false;
    for (int i = 0; i < n; ++i) {
        double s = b[i];
        for (int k = 0; k < i; ++k) s -= a[i * n + k] * b[k];
        b[i] = s / a[i * n + i];
    }
    for (int i = n - 1; i >= 0; --i) {
        double s = b[i];
        for (int k = i + 1; k < n; ++k) s -= a[k * n + i] * b[k];
        b[i] = s / a[i * n + i];
    }
    return true;
}

// Replaces a by its inverse.
inline bool CholeskyInvert(std::vector<double>& a, int n) {
    std::vector<double> l = a;
    if (!CholeskyFactor(l, n)) return false;
    std::vector<double> col(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c) {
        for (int i = 0; i < n; ++i) {
            double s = i == c ? 1.0 : 0.0;
            for (int k = 0; k < i; ++k) s -= l[i * n + k] * col[k];
            col[i] = s / l[i * n + i];
        }
        for (int i = n - 1; i >= 0; --i) {
            double s = col[i];
            for (int k = i + 1; k < n; ++k) s -= l[k * n + i] * col[k];
            col[i] = s / l[i * n + i];
        }
        for (int i = 0; i < n; ++i) a[i * n + c] = col[i];
    }
    return true;
}

}  // namespace quantora::analysis
