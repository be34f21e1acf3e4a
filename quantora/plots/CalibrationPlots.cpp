// Energy, FWHM and efficiency calibration plots.
#include "quantora/plots/CalibrationPlots.h"

#include <algorithm>
#include <cmath>

#include "quantora/base/Exception.h"
#include "quantora/plots/PlotFrame.h"

namespace quantora::plots {
namespace {

const QColor kPoints = SeriesColor(0);
const QColor kFit = SeriesColor(1);

QPen FitPen(const PlotCanvas& c, Qt::PenStyle style = Qt::SolidLine) {
    return QPen(kFit, std::max(1.0, c.Px(2)), style);
}

// A linear range holding every value with a margin, from zero when `fromZero`.
Axis Around(const std::vector<double>& lo, const std::vector<double>& hi, bool fromZero,
            double margin = 0.08) {
    double a = fromZero ? 0.0 : *std::min_element(lo.begin(), lo.end());
    double b = *std::max_element(hi.begin(), hi.end());
    if (!(b > a)) b = a + 1;
    const double pad = (b - a) * margin;
    return Axis(fromZero ? 0.0 : a - pad, b + pad, false);
}

QString Num(double v, int digits = 4) {
    return QString::number(v, 'g', digits);
}

double Sd(double var) {
    return var > 0 ? std::sqrt(var) : 0.0;
}

}  // namespace

void DrawECalibration(QPainter& painter, const QRectF& area, const ECalibration& cal,
                      const std::string& title) {
    const LinearECalibr& lin = cal.LinearPart;
    if (!lin.IsValid())
        throw Exception("the energy calibration is not valid: " + lin.InvalidReason());
    if (lin.Points.empty()) throw Exception("the energy calibration has no points");
    double a, b, av, bv;
    lin.GetParams(&a, &b, &av, &bv, nullptr);
    // A nonlinear part bends the curve: the file calibration of a spectrum, or a measured one.
    const bool curved = cal.NonlinValid && cal.UseNonlinPart;

    std::vector<XYPoint> pts, res;
    std::vector<double> ch, en, rlo, rhi;
    for (const ECalibrPoint& p : lin.Points) {
        const double r = p.Energy - cal.Energy(p.ChPos);
        const double u = std::hypot(p.EnergyUnc, b * p.ChPosUnc);
        pts.push_back({p.ChPos, p.Energy, p.ChPosUnc, p.EnergyUnc, !p.UseInFit});
        res.push_back({p.ChPos, r, 0, u, !p.UseInFit});
        ch.push_back(p.ChPos);
        en.push_back(p.Energy);
        rlo.push_back(r - u);
        rhi.push_back(r + u);
    }
    rlo.push_back(0);
    rhi.push_back(0);
    const double chMax = *std::max_element(ch.begin(), ch.end()) * 1.08;

    painter.fillRect(area, Qt::white);
    PlotCanvas canvas(painter, area);
    const QRectF body =
        canvas.TakeTitle(area, QString::fromStdString(title),
                         QString("E = a + b \u00b7 %1, %2 points, "
                                 "\u03c7\u00b2/dof = %3/%4")
                             .arg(curved ? "(channel \u2212 N(channel))" : "channel")
                             .arg(lin.GetPointCount())
                             .arg(Num(lin.GetChiSquare(), 3))
                             .arg(lin.GetDegreesOfFreedom()));
    // Fit panel on top, residuals below it on the same channel axis.
    const double split = body.top() + body.height() * 0.64;
    Panel top{
        {},
        Axis(0, chMax, false),
        Around({0}, {*std::max_element(en.begin(), en.end()), cal.Energy(chMax)}, true, 0.05)};
    Panel bottom{{}, top.x, Around(rlo, rhi, false, 0.25)};
    canvas.PlacePanel(top, QRectF(body.left(), body.top(), body.width(), split - body.top()), false,
                      false);
    canvas.PlacePanel(bottom, QRectF(body.left(), split, body.width(), body.bottom() - split), true,
                      true);
    // Both panels share the left edge of the wider label column.
    const double left = std::max(top.rect.left(), bottom.rect.left());
    for (Panel* p : {&top, &bottom}) {
        p->rect.setLeft(left);
        p->x.SetPixels(p->rect.left(), p->rect.right());
    }
    canvas.DrawAxes(top, {}, "Energy (keV)", false);
    canvas.DrawAxes(bottom, "Channel", "\u0394E (keV)", true);
    canvas.DrawCurve(
        top, 0, chMax, [&](double x) { return cal.Energy(x); }, FitPen(canvas));
    canvas.DrawPoints(top, pts, kPoints);
    canvas.DrawCurve(
        bottom, 0, chMax, [](double) { return 0.0; },
        QPen(kFit, std::max(1.0, canvas.Px(1.5)), Qt::DashLine));
    canvas.DrawPoints(bottom, res, kPoints);
    canvas.DrawNote(top, {"a = " + ValueWithUnc(a, Sd(av)) + " keV",
                          "b = " + ValueWithUnc(b, Sd(bv)) + " keV/channel"});
    canvas.DrawLegend(top,
                      {{"calibration points", kPoints, LegendEntry::Marker},
                       {curved ? "fitted curve" : "fitted line", kFit, LegendEntry::Line}},
                      Corner::BottomRight);
}

void DrawFwhmCalibration(QPainter& painter, const QRectF& area, const FwhmCalibrClass& cal,
                         const std::string& title) {
    if (!cal.Valid) throw Exception("the FWHM calibration is not valid: " + cal.InvalidReason());
    if (cal.Points.empty()) throw Exception("the FWHM calibration has no points");
    std::vector<XYPoint> pts;
    std::vector<double> ch, hi;
    for (const FwhmCalibrPoint& p : cal.Points) {
        pts.push_back({p.ChPos, p.Fwhm, p.ChPosUnc, p.FwhmUnc});
        ch.push_back(p.ChPos);
        hi.push_back(p.Fwhm + p.FwhmUnc);
    }
    const double chMax = *std::max_element(ch.begin(), ch.end()) * 1.08;
    auto model = [&](double x) {
        const double sq = cal.A + cal.B * x;
        return sq > 0 ? std::sqrt(sq) : std::nan("");
    };
    if (std::isfinite(model(chMax))) hi.push_back(model(chMax));

    painter.fillRect(area, Qt::white);
    PlotCanvas canvas(painter, area);
    const QRectF body = canvas.TakeTitle(
        area, QString::fromStdString(title),
        QString("FWHM\u00b2 = A + B \u00b7 channel, %1 points, \u03c7\u00b2/dof = %2/%3")
            .arg(cal.GetPointCount())
            .arg(Num(cal.GetChiSquare(), 3))
            .arg(cal.GetDegreesOfFreedom()));
    Panel panel{{}, Axis(0, chMax, false), Around({0}, hi, true, 0.15)};
    canvas.PlacePanel(panel, body, true, true);
    canvas.DrawAxes(panel, "Channel", "FWHM (channels)", true);
    canvas.DrawCurve(panel, 0, chMax, model, FitPen(canvas));
    canvas.DrawPoints(panel, pts, kPoints);
    canvas.DrawNote(panel,
                    {"A = " + ValueWithUnc(cal.A, Sd(cal.AVar)) + " channels\u00b2",
                     "B = " + ValueWithUnc(cal.B, Sd(cal.BVar)) + " channels"},
                    Corner::BottomLeft);
    canvas.DrawLegend(panel,
                      {{"measured peaks", kPoints, LegendEntry::Marker},
                       {"fitted curve", kFit, LegendEntry::Line}},
                      Corner::BottomRight);
}

void DrawEfficiency(QPainter& painter, const QRectF& area, const EffCalibration& cal,
                    const std::vector<EffPoint>& points, const std::string& title) {
    if (!cal.Valid) throw Exception("the efficiency analysis is not valid");
    double e0 = cal.HasRange() ? cal.LowerEnergy : HUGE_VAL;
    double e1 = cal.HasRange() ? cal.UpperEnergy : -HUGE_VAL;
    for (const EffPoint& p : points)
        if (p.energy > 0) e0 = std::min(e0, p.energy), e1 = std::max(e1, p.energy);
    if (!(e0 > 0 && e1 >= e0)) throw Exception("the efficiency analysis has no energy range");
    const Axis x(e0 / 1.25, e1 * 1.25, true);
    auto eff = [&](double e) { return cal.Efficiency(e); };
    auto unc = [&](double e) { return cal.EfficiencyUnc(e); };
    double y0 = HUGE_VAL, y1 = 0;
    for (int i = 0; i < 60; ++i) {
        const double e = AxisSample(x, x.Lo(), x.Hi(), i, 60);
        y0 = std::min(y0, eff(e) - unc(e));
        y1 = std::max(y1, eff(e) + unc(e));
    }
    std::vector<XYPoint> pts;
    for (const EffPoint& p : points) {
        if (!(p.energy > 0 && p.eff > 0)) continue;
        pts.push_back({p.energy, p.eff, 0, p.effUnc});
        y0 = std::min(y0, p.eff - p.effUnc > 0 ? p.eff - p.effUnc : p.eff);
        y1 = std::max(y1, p.eff + p.effUnc);
    }
    if (!(y0 > 0)) y0 = y1 / 100;
    const double pad = std::pow(y1 / y0, 0.08);

    painter.fillRect(area, Qt::white);
    PlotCanvas canvas(painter, area);
    const QRectF body =
        canvas.TakeTitle(area, QString::fromStdString(title),
                         QString("%1 full-energy-peak efficiency, fitted %2 \u2013 %3 keV")
                             .arg(cal.Absolute ? "Absolute" : "Relative")
                             .arg(Num(cal.HasRange() ? cal.LowerEnergy : e0, 4))
                             .arg(Num(cal.HasRange() ? cal.UpperEnergy : e1, 4)));
    Panel panel{{}, x, Axis(y0 / pad, y1 * pad, true)};
    canvas.PlacePanel(panel, body, true, true);
    canvas.DrawAxes(panel, "Energy (keV)", cal.Absolute ? "Efficiency" : "Relative efficiency",
                    true);
    const double f0 = cal.HasRange() ? cal.LowerEnergy : e0,
                 f1 = cal.HasRange() ? cal.UpperEnergy : e1;
    QColor band = kFit;
    band.setAlpha(60);
    canvas.DrawBand(
        panel, f0, f1, [&](double e) { return eff(e) - unc(e); },
        [&](double e) { return eff(e) + unc(e); }, band);
    // Outside the fitted range the curve is an extrapolation: dashed.
    canvas.DrawCurve(panel, x.Lo(), f0, eff, FitPen(canvas, Qt::DashLine));
    canvas.DrawCurve(panel, f1, x.Hi(), eff, FitPen(canvas, Qt::DashLine));
    canvas.DrawCurve(panel, f0, f1, eff, FitPen(canvas));
    canvas.DrawPoints(panel, pts, kPoints);
    std::vector<LegendEntry> legend = {{"fitted curve", kFit, LegendEntry::Line},
                                       {"1\u03c3 band", band, LegendEntry::Band}};
    if (!pts.empty()) legend.insert(legend.begin(), {"source lines", kPoints, LegendEntry::Marker});
    canvas.DrawLegend(panel, legend);
}

}  // namespace quantora::plots
