// The orthogonal polynomial and fit results that nonlinearity and efficiency analyses keep in
// their rows: degree, x-axis transformation, and the encoded normalisation, a- and b-vectors,
// fit coefficient vector and fit matrix (little-endian doubles, see NumVector / NumMatrix).
#pragma once

#include "quantora/base/Types.h"
#include "quantora/calibmodel/NormOrtPol.h"
#include "quantora/numeric/NumMatrix.h"
#include "quantora/numeric/NumVector.h"

namespace quantora {

// The polynomial and fit of a calibration object.
struct OrtPolFit {
    NormOrtPol pol;
    NumMatrix<double> matrix;
    NumVector<double> coeff;
};

// The stored columns of an analysis row (any record with the members of that name).
struct EncodedFit {
    int degree;
    double xTrans0, xTrans1;
    const AnsiString& norm;
    const AnsiString& a;
    const AnsiString& b;
    const AnsiString& coeff;
    const AnsiString& matrix;

    template <class R>
    static EncodedFit Of(const R& r) {
        return {r.ORTPOLDEGREE, r.XAXISTRANS0, r.XAXISTRANS1,  r.ORTPOLNORMVECT,
                r.ORTPOLAVECT,  r.ORTPOLBVECT, r.FITCOEFFVECT, r.FITMATR};
    }
};

// Decodes a stored fit of `n` parameters: the polynomial vectors (degree + 1, degree and
// degree - 1 elements), the coefficient vector (n) and the n x n matrix. False, without an
// error, when a part is missing (empty column) or does not have its size, or when the fit has
// fewer parameters than the polynomial has terms. A column whose length does not match its
// size throws the vector's or matrix's corrupted-data message.
bool DecodeFit(const EncodedFit& stored, int n, OrtPolFit& out);

// Encodes a polynomial and fit into the members of an analysis record.
template <class R>
void EncodeFit(R& r, const NormOrtPol& pol, const NumMatrix<double>& matrix,
               const NumVector<double>& coeff) {
    r.ORTPOLDEGREE = static_cast<short>(pol.Degree);
    r.XAXISTRANS0 = pol.XTrans0;
    r.XAXISTRANS1 = pol.XTrans1;
    pol.NormVect.SaveToString(r.ORTPOLNORMVECT);
    pol.AVect.SaveToString(r.ORTPOLAVECT);
    pol.BVect.SaveToString(r.ORTPOLBVECT);
    matrix.SaveToString(r.FITMATR);
    coeff.SaveToString(r.FITCOEFFVECT);
}

}  // namespace quantora
