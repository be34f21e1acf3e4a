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

QString ChiSquareText(double chi2, int dof) {
    return QString("\u03c7\u00b2/dof = %1/%2").arg(Num(chi2, 3)).arg(dof);
}

// A fit panel on top of `body` and a residual panel below it on the same x axis, both starting
// at the left edge of the wider y label column.
void PlaceStacked(PlotCanvas& canvas, const QRectF& body, Panel& top, Panel& bottom) {
    const double split = body.top() + body.height() * 0.64;
    canvas.PlacePanel(top, QRectF(body.left(), body.top(), body.width(), split - body.top()), false,
                      false);
    canvas.PlacePanel(bottom, QRectF(body.left(), split, body.width(), body.bottom() - split), true,
                      true);
    const double left = std::max(top.rect.left(), bottom.rect.left());
    for (Panel* p : {&top, &bottom}) {
        p->rect.setLeft(left);
        p->x.SetPixels(p->rect.left(), p->rect.right());
    }
}

void DrawZeroLine(PlotCanvas& canvas, const Panel& panel) {
    canvas.DrawCurve(
        panel, panel.x.Lo(), panel.x.Hi(), [](double) { return 0.0; },
        QPen(kFit, std::max(1.0, canvas.Px(1.5)), Qt::DashLine));
}

}  // namespace

CalibrationLayout DrawECalibration(QPainter& painter, const QRectF& area, const ECalibration& cal,
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
                         QString("E = a + b \u00b7 %1, %2 points, %3")
                             .arg(curved ? "(channel \u2212 N(channel))" : "channel")
                             .arg(lin.GetPointCount())
                             .arg(ChiSquareText(lin.GetChiSquare(), lin.GetDegreesOfFreedom())));
    Panel top{
        {},
        Axis(0, chMax, false),
        Around({0}, {*std::max_element(en.begin(), en.end()), cal.Energy(chMax)}, true, 0.05)};
    Panel bottom{{}, top.x, Around(rlo, rhi, false, 0.25)};
    PlaceStacked(canvas, body, top, bottom);
    canvas.DrawAxes(top, {}, "Energy (keV)", false);
    canvas.DrawAxes(bottom, "Channel", "\u0394E (keV)", true);
    canvas.DrawCurve(
        top, 0, chMax, [&](double x) { return cal.Energy(x); }, FitPen(canvas));
    canvas.DrawPoints(top, pts, kPoints);
    DrawZeroLine(canvas, bottom);
    canvas.DrawPoints(bottom, res, kPoints);
    canvas.DrawNote(top, {"a = " + ValueWithUnc(a, Sd(av)) + " keV",
                          "b = " + ValueWithUnc(b, Sd(bv)) + " keV/channel"});
    canvas.DrawLegend(top,
                      {{"calibration points", kPoints, LegendEntry::Marker},
                       {curved ? "fitted curve" : "fitted line", kFit, LegendEntry::Line}},
                      Corner::BottomRight);
    return {{top, bottom}};
}

CalibrationLayout DrawFwhmCalibration(QPainter& painter, const QRectF& area,
                                      const FwhmCalibrClass& cal, const std::string& title,
                                      const ECalibration* energy) {
    if (!cal.Valid) throw Exception("the FWHM calibration is not valid: " + cal.InvalidReason());
    if (cal.Points.empty()) throw Exception("the FWHM calibration has no points");
    const bool keV = energy && energy->LinearPart.IsValid();
    // A peak's centre on the x axis; its width as the energy span it covers around the centre,
    // which follows a curved calibration.
    auto xOf = [&](double ch) { return keV ? energy->Energy(ch) : ch; };
    auto widthOf = [&](double ch, double w) {
        return keV ? energy->Energy(ch + w / 2) - energy->Energy(ch - w / 2) : w;
    };
    auto model = [&](double ch) {
        const double sq = cal.A + cal.B * ch;
        return sq > 0 ? widthOf(ch, std::sqrt(sq)) : std::nan("");
    };
    std::vector<XYPoint> pts;
    std::vector<double> ch, hi;
    for (const FwhmCalibrPoint& p : cal.Points) {
        const double slope = widthOf(p.ChPos, 1.0);
        const double w = widthOf(p.ChPos, p.Fwhm), wUnc = slope * p.FwhmUnc;
        pts.push_back({xOf(p.ChPos), w, slope * p.ChPosUnc, wUnc});
        ch.push_back(p.ChPos);
        hi.push_back(w + wUnc);
    }
    const double chMax = *std::max_element(ch.begin(), ch.end()) * 1.08;
    if (std::isfinite(model(chMax))) hi.push_back(model(chMax));
    const double x0 = std::max(0.0, xOf(0)), x1 = xOf(chMax);

    painter.fillRect(area, Qt::white);
    PlotCanvas canvas(painter, area);
    const QRectF body =
        canvas.TakeTitle(area, QString::fromStdString(title),
                         QString("FWHM\u00b2 = A + B \u00b7 channel, %1 points, %2%3")
                             .arg(cal.GetPointCount())
                             .arg(ChiSquareText(cal.GetChiSquare(), cal.GetDegreesOfFreedom()))
                             .arg(keV ? ", in keV through the energy calibration" : ""));
    Panel panel{{}, Axis(0, x1, false), Around({0}, hi, true, 0.15)};
    canvas.PlacePanel(panel, body, true, true);
    canvas.DrawAxes(panel, keV ? "Energy (keV)" : "Channel", keV ? "FWHM (keV)" : "FWHM (channels)",
                    true);
    canvas.DrawCurve(
        panel, x0, x1, [&](double x) { return model(keV ? energy->Channel(x) : x); },
        FitPen(canvas));
    canvas.DrawPoints(panel, pts, kPoints);
    canvas.DrawNote(panel,
                    {"A = " + ValueWithUnc(cal.A, Sd(cal.AVar)) + " channels\u00b2",
                     "B = " + ValueWithUnc(cal.B, Sd(cal.BVar)) + " channels"},
                    Corner::BottomLeft);
    canvas.DrawLegend(panel,
                      {{"measured peaks", kPoints, LegendEntry::Marker},
                       {"fitted curve", kFit, LegendEntry::Line}},
                      Corner::BottomRight);
    return {{panel}};
}

ChiSquare EfficiencyChiSquare(const EffCalibration& cal, const std::vector<EffPoint>& points) {
    ChiSquare chi;
    int n = 0;
    for (const EffPoint& p : points) {
        if (!(p.energy > 0 && p.effUnc > 0)) continue;
        chi.value += std::pow((p.eff - cal.Efficiency(p.energy)) / p.effUnc, 2);
        ++n;
    }
    chi.dof = n - (cal.Pol.Degree + 1);
    return chi;
}

CalibrationLayout DrawEfficiency(QPainter& painter, const QRectF& area, const EffCalibration& cal,
                                 const std::vector<EffPoint>& points, const std::string& title) {
    if (!cal.Valid) throw Exception("the efficiency analysis is not valid");
    double e0 = cal.HasRange() ? cal.LowerEnergy : HUGE_VAL;
    double e1 = cal.HasRange() ? cal.UpperEnergy : -HUGE_VAL;
    for (const EffPoint& p : points)
        if (p.energy > 0) e0 = std::min(e0, p.energy), e1 = std::max(e1, p.energy);
    if (!(e0 > 0 && e1 >= e0)) throw Exception("the efficiency analysis has no energy range");
    const Axis x(e0 / 1.25, e1 * 1.25, true);
    const double f0 = cal.HasRange() ? cal.LowerEnergy : e0,
                 f1 = cal.HasRange() ? cal.UpperEnergy : e1;
    auto eff = [&](double e) { return cal.Efficiency(e); };
    auto unc = [&](double e) { return cal.EfficiencyUnc(e); };
    auto relUnc = [&](double e) { return 100 * unc(e) / eff(e); };  // percent
    double y0 = HUGE_VAL, y1 = 0;
    std::vector<double> rlo{0}, rhi{0};
    for (int i = 0; i < 60; ++i) {
        const double e = AxisSample(x, x.Lo(), x.Hi(), i, 60);
        y0 = std::min(y0, eff(e) - unc(e));
        y1 = std::max(y1, eff(e) + unc(e));
        const double r = relUnc(AxisSample(x, f0, f1, i, 60));
        rlo.push_back(-r);
        rhi.push_back(r);
    }
    // The points, and their deviations from the curve in percent of it.
    std::vector<XYPoint> pts, res;
    for (const EffPoint& p : points) {
        if (!(p.energy > 0 && p.eff > 0)) continue;
        pts.push_back({p.energy, p.eff, 0, p.effUnc});
        y0 = std::min(y0, p.eff - p.effUnc > 0 ? p.eff - p.effUnc : p.eff);
        y1 = std::max(y1, p.eff + p.effUnc);
        const double fit = eff(p.energy);
        res.push_back({p.energy, 100 * (p.eff - fit) / fit, 0, 100 * p.effUnc / fit});
        rlo.push_back(res.back().y - res.back().yUnc);
        rhi.push_back(res.back().y + res.back().yUnc);
    }
    if (!(y0 > 0)) y0 = y1 / 100;
    const double pad = std::pow(y1 / y0, 0.08);

    painter.fillRect(area, Qt::white);
    PlotCanvas canvas(painter, area);
    QString subtitle = QString("%1 full-energy-peak efficiency, fitted %2 \u2013 %3 keV")
                           .arg(cal.Absolute ? "Absolute" : "Relative")
                           .arg(Num(f0, 4))
                           .arg(Num(f1, 4));
    if (!pts.empty()) {
        const ChiSquare chi = EfficiencyChiSquare(cal, points);
        subtitle +=
            QString(", %1 points, %2").arg(pts.size()).arg(ChiSquareText(chi.value, chi.dof));
    }
    const QRectF body = canvas.TakeTitle(area, QString::fromStdString(title), subtitle);
    CalibrationLayout out{{Panel{{}, x, Axis(y0 / pad, y1 * pad, true)}}};
    if (!res.empty()) {
        out.panels.push_back(Panel{{}, x, Around(rlo, rhi, false, 0.15)});
        PlaceStacked(canvas, body, out.panels[0], out.panels[1]);
    } else {
        canvas.PlacePanel(out.panels[0], body, true, true);
    }
    const Panel& top = out.panels[0];
    canvas.DrawAxes(top, res.empty() ? "Energy (keV)" : "",
                    cal.Absolute ? "Efficiency" : "Relative efficiency", res.empty());
    QColor band = kFit, edge = kFit;
    band.setAlpha(90);
    edge.setAlpha(170);
    const QPen edgePen(edge, std::max(1.0, canvas.Px(1)));
    // The band, edged so that it shows where it is narrow.
    auto drawBand = [&](const Panel& panel, const std::function<double(double)>& lo,
                        const std::function<double(double)>& hi) {
        canvas.DrawBand(panel, f0, f1, lo, hi, band);
        canvas.DrawCurve(panel, f0, f1, lo, edgePen);
        canvas.DrawCurve(panel, f0, f1, hi, edgePen);
    };
    drawBand(
        top, [&](double e) { return eff(e) - unc(e); }, [&](double e) { return eff(e) + unc(e); });
    // Outside the fitted range the curve is an extrapolation: dashed.
    canvas.DrawCurve(top, x.Lo(), f0, eff, FitPen(canvas, Qt::DashLine));
    canvas.DrawCurve(top, f1, x.Hi(), eff, FitPen(canvas, Qt::DashLine));
    canvas.DrawCurve(top, f0, f1, eff, FitPen(canvas));
    canvas.DrawPoints(top, pts, kPoints);
    std::vector<LegendEntry> legend = {{"fitted curve", kFit, LegendEntry::Line},
                                       {"1\u03c3 band", band, LegendEntry::Band}};
    if (!pts.empty()) legend.insert(legend.begin(), {"source lines", kPoints, LegendEntry::Marker});
    canvas.DrawLegend(top, legend);
    if (res.empty()) return out;

    const Panel& bottom = out.panels[1];
    canvas.DrawAxes(bottom, "Energy (keV)", "Deviation (%)", true);
    drawBand(
        bottom, [&](double e) { return -relUnc(e); }, [&](double e) { return relUnc(e); });
    DrawZeroLine(canvas, bottom);
    canvas.DrawPoints(bottom, res, kPoints);
    return out;
}

}  // namespace quantora::plots
