// FWHM calibration: FWHM^2 = A + B x.
#include "quantora/calibmodel/FwhmCalibrClass.h"

#include <cmath>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/calibmodel/LineFit.h"

using quantora::Format;

void FwhmCalibrClass::Set(int i, double chpos, double fwhm, double chposUnc, double fwhmUnc,
                          int pointKey) {
    const int count = GetPointCount();
    if (i < 0 || i > count)
        throw Exception(
            Format("FwhmCalibrClass::Set: point index %d out of sequence (%d points "
                   "held)",
                   i, count));
    const FwhmCalibrPoint p{pointKey, chpos, fwhm, chposUnc, fwhmUnc};
    if (i == 0) Points.clear();
    if (i == GetPointCount())
        Points.push_back(p);
    else
        Points[static_cast<size_t>(i)] = p;
    CalcCoeff();
}

void FwhmCalibrClass::CalcCoeff() {
    A = B = AVar = BVar = Covar = 0.0;
    chiSquare_ = 0.0;
    dof_ = 0;
    Valid = false;
    for (size_t i = 0; i < Points.size(); ++i) {
        if (Points[i].Fwhm < 0) {
            reason_ = Format("FWHM calibration fit failed: point %zu has a negative width", i);
            return;
        }
    }
    quantora::LineFitResult r = quantora::FitLine(GetPointCount(), [this](int i) {
        const FwhmCalibrPoint& p = Points[static_cast<size_t>(i)];
        return quantora::LinePoint{p.ChPos, p.Fwhm * p.Fwhm, p.ChPosUnc, 2.0 * p.Fwhm * p.FwhmUnc,
                                   true};
    });
    chiSquare_ = r.chiSquare;
    dof_ = r.dof;
    if (!r.ok) {
        reason_ = "FWHM calibration fit failed: " + r.reason;
        return;
    }
    A = r.a;
    B = r.b;
    AVar = r.varA;
    BVar = r.varB;
    Covar = r.cov;
    reason_.clear();
    Valid = true;
}

void FwhmCalibrClass::GetParams(double* a, double* b, double* aVar, double* bVar,
                                double* covar) const {
    if (!Valid)
        throw Exception("FwhmCalibrClass: the calibration is not valid" +
                        (reason_.empty() ? AnsiString() : " (" + reason_ + ")"));
    if (a) *a = A;
    if (b) *b = B;
    if (aVar) *aVar = AVar;
    if (bVar) *bVar = BVar;
    if (covar) *covar = Covar;
}

double FwhmCalibrClass::Squared(double x) const {
    if (!Valid)
        throw Exception("FwhmCalibrClass: the calibration is not valid" +
                        (reason_.empty() ? AnsiString() : " (" + reason_ + ")"));
    const double f2 = A + B * x;
    if (!(f2 > 0)) throw Exception(Format("FwhmCalibrClass: no width at %g (A + B*x = %g)", x, f2));
    return f2;
}

double FwhmCalibrClass::Fwhm(double x) const {
    return std::sqrt(Squared(x));
}

double FwhmCalibrClass::FwhmUnc(double x) const {
    const double f = std::sqrt(Squared(x));
    const double var = AVar + x * x * BVar + 2.0 * x * Covar;
    return std::sqrt(var > 0.0 ? var : 0.0) / (2.0 * f);
}

void FwhmCalibrClass::Reset() {
    *this = FwhmCalibrClass();
}
