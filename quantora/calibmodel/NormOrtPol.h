// Normalised orthogonal polynomial of degree d over a transformed x axis, defined by its
// three-term recurrence.
//
//     t      = XTrans0 + XTrans1 * x
//     p_0(t) = 1
//     p_1(t) = (t - a_0)
//     p_k(t) = (t - a_{k-1}) * p_{k-1}(t) - b_{k-2} * p_{k-2}(t)     k = 2 .. d
//     P_k(x) = n_k * p_k(t)
//
// with the recurrence vectors a (d elements, AVect) and b (d - 1 elements, BVect) and the
// normalisation vector n (d + 1 elements, NormVect). A function is represented as
// f(x) = sum_k c_k * P_k(x), k = 0 .. d; its variance from the covariance matrix C of the
// coefficients is var f(x) = sum_jk P_j(x) * C_jk * P_k(x).
//
// Build() makes the basis orthonormal over a weighted point set (Stieltjes procedure):
// sum_i w_i * P_j(x_i) * P_k(x_i) = delta_jk, with t spanning [-1, 1] over the points. A least-
// squares fit in that basis with weights 1/sigma^2 then has the identity as its normal matrix.
#pragma once

#include "quantora/base/Types.h"
#include "quantora/numeric/NumMatrix.h"
#include "quantora/numeric/NumVector.h"

class NormOrtPol {
  public:
    // The largest degree a stored analysis can name (a 16-bit column).
    static constexpr int kMaxDegree = 32767;

    NormOrtPol() { Reset(); }

    // Degree -1 (no polynomial), identity transformation, empty vectors.
    void Reset();
    // Installs a polynomial; throws an Exception when the vector sizes do not fit the degree
    // (d + 1, d, max(d - 1, 0)) or the degree is outside 0 .. kMaxDegree.
    void Set(int degree, double xTrans0, double xTrans1, const NumVector<double>& norm,
             const NumVector<double>& a, const NumVector<double>& b);
    // Builds the basis orthonormal over the points x[i] with weights w[i] (points of weight 0
    // are ignored). Throws when fewer than degree + 1 distinct positions have positive weight.
    void Build(const double* x, const double* w, int n, int degree);

    bool IsSet() const { return Degree >= 0; }
    double Transform(double x) const { return XTrans0 + XTrans1 * x; }

    // P_0(x) .. P_Degree(x) into p[0 .. Degree].
    void Basis(double x, double* p) const;
    // sum_k c_k P_k(x) over k = 0 .. Degree; `coeff` needs at least Degree + 1 elements.
    double Value(double x, const NumVector<double>& coeff) const;
    // Variance of Value(x) from the covariance `cov` of the coefficients (its leading
    // (Degree + 1) x (Degree + 1) block).
    double Variance(double x, const NumMatrix<double>& cov) const;

    // Read and written directly by the storage code.
    int Degree;
    double XTrans0;
    double XTrans1;
    NumVector<double> NormVect;
    NumVector<double> AVect;
    NumVector<double> BVect;

  private:
    // Throws unless the public members describe a usable polynomial (they may be written
    // directly, so evaluation never trusts them).
    void CheckConsistent(const char* where) const;
};
