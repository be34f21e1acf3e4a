// Linear part of an energy calibration.
#include "quantora/calibmodel/LinearECalibr.h"

#include <cmath>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/calibmodel/LineFit.h"
#include "quantora/calibmodel/NonlinECalibr.h"

using quantora::Format;

void LinearECalibr::SetToDefault() {
    Points.clear();
    a_ = kDefaultOffset;
    b_ = kDefaultGain;
    aVar_ = bVar_ = cov_ = 0.0;
    chiSquare_ = 0.0;
    dof_ = 0;
    valid_ = true;
    default_ = true;
    reason_.clear();
}

void LinearECalibr::Set(int i, double chpos, double energy, double chposUnc, double energyUnc,
                        int pointKey, const char* description, bool useInFit) {
    const int count = GetPointCount();
    if (i < 0 || i > count)
        throw Exception(Format(
            "LinearECalibr::Set: point index %d out of sequence (%d points held)", i, count));
    ECalibrPoint p;
    p.PointId = pointKey;
    p.ChPos = chpos;
    p.Energy = energy;
    p.ChPosUnc = chposUnc;
    p.EnergyUnc = energyUnc;
    p.Description = description ? description : "";
    p.UseInFit = useInFit;
    if (i == 0) Points.clear();
    if (i == GetPointCount())
        Points.push_back(std::move(p));
    else
        Points[static_cast<size_t>(i)] = std::move(p);
}

double LinearECalibr::Corrected(double ch) const {
    return nonlin_ ? nonlin_->CorrectChannel(ch) : ch;
}

double LinearECalibr::NonlinVariance(double ch) const {
    if (!nonlin_ || !nonlin_->NonlinValid) return 0.0;
    const double u = nonlin_->DeviationUnc(ch);
    return u * u;
}

void LinearECalibr::CalcCoeff() {
    quantora::LineFitResult r = quantora::FitLine(GetPointCount(), [this](int i) {
        const ECalibrPoint& p = Points[static_cast<size_t>(i)];
        return quantora::LinePoint{Corrected(p.ChPos), p.Energy, p.ChPosUnc, p.EnergyUnc,
                                   p.UseInFit};
    });
    chiSquare_ = r.chiSquare;
    dof_ = r.dof;
    reason_.clear();
    if (r.tooFew) {
        // Too few points: the default calibration, as documented; the points stay.
        a_ = kDefaultOffset;
        b_ = kDefaultGain;
        aVar_ = bVar_ = cov_ = 0.0;
        valid_ = true;
        default_ = true;
        return;
    }
    default_ = false;
    if (!r.ok) {
        valid_ = false;
        reason_ = "energy calibration fit failed: " + r.reason;
        a_ = b_ = aVar_ = bVar_ = cov_ = 0.0;
        return;
    }
    if (r.b == 0.0) {
        valid_ = false;
        reason_ = "energy calibration fit failed: the gain is zero (all points at one energy)";
        a_ = b_ = aVar_ = bVar_ = cov_ = 0.0;
        return;
    }
    a_ = r.a;
    b_ = r.b;
    aVar_ = r.varA;
    bVar_ = r.varB;
    cov_ = r.cov;
    valid_ = true;
}

void LinearECalibr::RequireValid() const {
    if (!valid_) throw Exception("LinearECalibr: " + reason_);
}

void LinearECalibr::GetParams(double* a, double* b, double* aVar, double* bVar,
                              double* covar) const {
    RequireValid();
    if (a) *a = a_;
    if (b) *b = b_;
    if (aVar) *aVar = aVar_;
    if (bVar) *bVar = bVar_;
    if (covar) *covar = cov_;
}

double LinearECalibr::Energy(double ch) const {
    RequireValid();
    return a_ + b_ * Corrected(ch);
}

double LinearECalibr::EnergyUnc(double ch, double chUnc) const {
    RequireValid();
    const double x = Corrected(ch);
    const double var =
        aVar_ + x * x * bVar_ + 2.0 * x * cov_ + b_ * b_ * (chUnc * chUnc + NonlinVariance(ch));
    return std::sqrt(var > 0.0 ? var : 0.0);
}

double LinearECalibr::Channel(double energy) const {
    RequireValid();
    const double x = (energy - a_) / b_;
    return nonlin_ ? nonlin_->UncorrectChannel(x) : x;
}

double LinearECalibr::ChannelUnc(double energy, double energyUnc) const {
    RequireValid();
    const double x = (energy - a_) / b_;
    const double varLin =
        (energyUnc * energyUnc + aVar_ + x * x * bVar_ + 2.0 * x * cov_) / (b_ * b_);
    const double ch = nonlin_ ? nonlin_->UncorrectChannel(x) : x;
    const double var = varLin + NonlinVariance(ch);
    return std::sqrt(var > 0.0 ? var : 0.0);
}
