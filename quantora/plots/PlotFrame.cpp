// Frames, axes, legends and the primitive marks of the plots.
#include "quantora/plots/PlotFrame.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

namespace quantora::plots {
namespace {

constexpr double kBaseFontPx = 13.0;  // at 800x500
const QColor kText{30, 30, 30};
const QColor kGrid{225, 225, 225};

// The first series colours; red stays reserved for the peak marks of a single spectrum.
const QColor kSeries[] = {{31, 90, 180},  {230, 120, 20}, {40, 150, 60},
                          {130, 80, 170}, {20, 160, 170}, {120, 90, 60}};

bool Finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

}  // namespace

QColor SeriesColor(int i) {
    const size_t n = std::size(kSeries);
    if (i < 0) i = 0;
    if (static_cast<size_t>(i) < n) return kSeries[i];
    // Past the fixed ones: hues stepped by the golden ratio (red left out), three values and two
    // saturations in turn, so overlays of many spectra still tell every series apart.
    const int k = i - static_cast<int>(n);
    constexpr double kGolden = 0.6180339887498949;
    static const int kValue[] = {190, 120, 230}, kSaturation[] = {180, 240};
    const double hue = 20 + std::fmod(k * kGolden, 1.0) * 320;
    return QColor::fromHsv(static_cast<int>(hue), kSaturation[(k / 3) % 2], kValue[k % 3]);
}

double AxisSample(const Axis& axis, double x0, double x1, int i, int n) {
    const double f = n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
    if (axis.Log() && x0 > 0 && x1 > 0) return x0 * std::pow(x1 / x0, f);
    return x0 + f * (x1 - x0);
}

PlotCanvas::PlotCanvas(QPainter& painter, const QRectF& area, bool antialias)
    : p_(painter),
      scale_(std::clamp(std::min(area.width() / 800.0, area.height() / 500.0), 0.6, 4.0)) {
    p_.setRenderHint(QPainter::Antialiasing, antialias);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
}

QFont PlotCanvas::Font(double relative, bool bold) const {
    QFont f("DejaVu Sans");
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(std::max(6, static_cast<int>(std::lround(kBaseFontPx * scale_ * relative))));
    f.setBold(bold);
    return f;
}

QRectF PlotCanvas::TakeTitle(const QRectF& area, const QString& title, const QString& subtitle) {
    const QFont tf = Font(1.25, true), sf = Font(0.95);
    const double pad = Px(8);
    double y = area.top() + pad;
    p_.setPen(kText);
    p_.setFont(tf);
    const double th = QFontMetricsF(tf).height();
    const QString t = QFontMetricsF(tf).elidedText(title, Qt::ElideRight, area.width() - 2 * pad);
    p_.drawText(QRectF(area.left(), y, area.width(), th), Qt::AlignHCenter | Qt::AlignVCenter, t);
    y += th;
    if (!subtitle.isEmpty()) {
        p_.setFont(sf);
        const double sh = QFontMetricsF(sf).height();
        p_.setPen(QColor(90, 90, 90));
        const QString s =
            QFontMetricsF(sf).elidedText(subtitle, Qt::ElideRight, area.width() - 2 * pad);
        p_.drawText(QRectF(area.left(), y, area.width(), sh), Qt::AlignHCenter, s);
        y += sh;
    }
    return QRectF(area.left(), y + pad / 2, area.width(), area.bottom() - y - pad / 2);
}

double PlotCanvas::LabelWidth(const std::vector<Tick>& ticks) const {
    const QFontMetricsF fm(Font());
    double w = 0;
    for (const Tick& t : ticks)
        if (t.major) w = std::max(w, fm.horizontalAdvance(QString::fromStdString(t.label)));
    return w;
}

std::vector<Tick> PlotCanvas::FittingTicks(const Axis& axis, bool horizontal) const {
    const double length = std::fabs(axis.P1() - axis.P0());
    const double fh = QFontMetricsF(Font()).height();
    int n = std::max(3, static_cast<int>(length / (horizontal ? Px(70) : fh * 2.0)));
    std::vector<Tick> ticks = axis.Ticks(n);
    while (horizontal && n > 2) {
        int majors = 0;
        for (const Tick& t : ticks) majors += t.major;
        if (majors * (LabelWidth(ticks) + Px(14)) <= length) break;
        ticks = axis.Ticks(--n);
    }
    return ticks;
}

void PlotCanvas::PlacePanel(Panel& panel, const QRectF& outer, bool xLabels, bool xTitle) {
    const double fh = QFontMetricsF(Font()).height();
    const double tick = Px(6), gap = Px(5);
    // The y labels' width depends on the ticks, which depend on the height: the height is known
    // before the width, so place y first.
    const double bottom = (xLabels ? tick + gap + fh : 0) + (xTitle ? gap + fh : 0) + Px(4);
    const double top = fh * 0.6;
    panel.y.SetPixels(outer.bottom() - bottom, outer.top() + top);
    const double left = tick + gap + LabelWidth(FittingTicks(panel.y, false)) + gap + fh + gap;
    const double right = Px(22);
    panel.rect = QRectF(QPointF(outer.left() + left, outer.top() + top),
                        QPointF(outer.right() - right, outer.bottom() - bottom));
    panel.x.SetPixels(panel.rect.left(), panel.rect.right());
}

void PlotCanvas::DrawAxes(const Panel& panel, const QString& xTitle, const QString& yTitle,
                          bool xLabels) {
    const QRectF& r = panel.rect;
    const QFont font = Font();
    const QFontMetricsF fm(font);
    const double tick = Px(6), minor = Px(3.5), gap = Px(5), lw = std::max(1.0, Px(1));
    const auto xt = FittingTicks(panel.x, true), yt = FittingTicks(panel.y, false);

    p_.save();
    p_.setPen(QPen(kGrid, lw));
    for (const Tick& t : xt)
        if (t.major)
            p_.drawLine(QPointF(panel.x.Map(t.value), r.top()),
                        QPointF(panel.x.Map(t.value), r.bottom()));
    for (const Tick& t : yt)
        if (t.major)
            p_.drawLine(QPointF(r.left(), panel.y.Map(t.value)),
                        QPointF(r.right(), panel.y.Map(t.value)));

    p_.setPen(QPen(kText, lw));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(r);
    p_.setFont(font);
    double labelRight = -1e9;
    for (const Tick& t : xt) {
        const double x = panel.x.Map(t.value);
        p_.drawLine(QPointF(x, r.bottom()), QPointF(x, r.bottom() + (t.major ? tick : minor)));
        if (!t.major || !xLabels) continue;
        const QString s = QString::fromStdString(t.label);
        const double w = fm.horizontalAdvance(s);
        if (x - w / 2 < labelRight + gap) continue;  // never let two labels touch
        p_.drawText(QRectF(x - w / 2 - 2, r.bottom() + tick + gap / 2, w + 4, fm.height()),
                    Qt::AlignHCenter | Qt::AlignTop, s);
        labelRight = x + w / 2;
    }
    for (const Tick& t : yt) {
        const double y = panel.y.Map(t.value);
        p_.drawLine(QPointF(r.left() - (t.major ? tick : minor), y), QPointF(r.left(), y));
        if (!t.major) continue;
        const QString s = QString::fromStdString(t.label);
        p_.drawText(QRectF(r.left() - tick - gap - 400, y - fm.height() / 2, 400, fm.height()),
                    Qt::AlignRight | Qt::AlignVCenter, s);
    }
    if (xLabels && !xTitle.isEmpty())
        p_.drawText(QRectF(r.left(), r.bottom() + tick + gap + fm.height() + gap / 2, r.width(),
                           fm.height()),
                    Qt::AlignHCenter | Qt::AlignTop, xTitle);
    if (!yTitle.isEmpty()) {
        const double labels = LabelWidth(yt);
        p_.translate(r.left() - tick - gap - labels - gap - fm.height(), r.center().y());
        p_.rotate(-90);
        const QString s = fm.elidedText(yTitle, Qt::ElideRight, r.height());
        p_.drawText(QRectF(-r.height() / 2, 0, r.height(), fm.height()),
                    Qt::AlignHCenter | Qt::AlignTop, s);
    }
    p_.restore();
}

QString ValueWithUnc(double v, double u) {
    if (!(u > 0) || !std::isfinite(u)) return QString::number(v, 'g', 6);
    const int decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(u))), 0, 12);
    return QString("%1 \u00b1 %2").arg(v, 0, 'f', decimals).arg(u, 0, 'f', decimals);
}

QRectF PlotCanvas::CornerBox(const Panel& panel, QSizeF size, Corner corner) const {
    const QRectF& r = panel.rect;
    const double m = Px(10);
    const bool left = corner == Corner::TopLeft || corner == Corner::BottomLeft;
    const bool top = corner == Corner::TopLeft || corner == Corner::TopRight;
    return QRectF(QPointF(left ? r.left() + m : r.right() - m - size.width(),
                          top ? r.top() + m : r.bottom() - m - size.height()),
                  size);
}

void PlotCanvas::DrawLegend(const Panel& panel, const std::vector<LegendEntry>& entries,
                            Corner corner) {
    if (entries.empty()) return;
    const QFont font = Font(0.95);
    const QFontMetricsF fm(font);
    const double swatch = Px(22), pad = Px(7), line = fm.height() * 1.15;
    double textW = 0;
    for (const LegendEntry& e : entries) textW = std::max(textW, fm.horizontalAdvance(e.text));
    textW = std::min(textW, panel.rect.width() * 0.6);
    const QRectF box =
        CornerBox(panel, QSizeF(pad * 3 + swatch + textW, pad * 2 + line * entries.size()), corner);
    p_.save();
    p_.setPen(QPen(QColor(160, 160, 160), std::max(1.0, Px(1))));
    p_.setBrush(QColor(255, 255, 255, 235));
    p_.drawRect(box);
    p_.setFont(font);
    for (size_t i = 0; i < entries.size(); ++i) {
        const LegendEntry& e = entries[i];
        const double cy = box.top() + pad + line * (i + 0.5);
        const QPointF a(box.left() + pad, cy), b(box.left() + pad + swatch, cy);
        if (e.kind == LegendEntry::Band) {
            p_.fillRect(QRectF(a.x(), cy - line * 0.3, swatch, line * 0.6), e.color);
        } else if (e.kind == LegendEntry::Marker) {
            p_.setPen(QPen(e.color, std::max(1.0, Px(1.2))));
            p_.setBrush(e.color);
            p_.drawEllipse((a + b) / 2, Px(3.5), Px(3.5));
        } else {
            p_.setPen(QPen(e.color, std::max(1.0, Px(2))));
            p_.drawLine(a, b);
        }
        p_.setPen(kText);
        p_.drawText(QRectF(b.x() + pad, cy - line / 2, textW + 2, line),
                    Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(e.text, Qt::ElideRight, textW));
    }
    p_.restore();
}

void PlotCanvas::DrawNote(const Panel& panel, const QStringList& lines, Corner corner) {
    if (lines.isEmpty()) return;
    const QFont font = Font(0.9);
    const QFontMetricsF fm(font);
    const double pad = Px(6);
    double w = 0;
    for (const QString& s : lines) w = std::max(w, fm.horizontalAdvance(s));
    const QRectF box =
        CornerBox(panel, QSizeF(w + 2 * pad, fm.height() * lines.size() + 2 * pad), corner);
    p_.save();
    p_.setPen(QPen(QColor(160, 160, 160), std::max(1.0, Px(1))));
    p_.setBrush(QColor(255, 255, 255, 235));
    p_.drawRect(box);
    p_.setFont(font);
    p_.setPen(kText);
    for (int i = 0; i < lines.size(); ++i)
        p_.drawText(QRectF(box.left() + pad, box.top() + pad + fm.height() * i, w + 2, fm.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
    p_.restore();
}

void PlotCanvas::DrawPoints(const Panel& panel, const std::vector<XYPoint>& pts,
                            const QColor& color) {
    const double cap = Px(3.5), radius = Px(3.5);
    p_.save();
    p_.setClipRect(panel.rect.adjusted(-radius, -radius, radius, radius));
    p_.setPen(QPen(color, std::max(1.0, Px(1.3))));
    for (const XYPoint& pt : pts) {
        const QPointF c = panel.At(pt.x, pt.y);
        if (!Finite(c)) continue;
        if (pt.yUnc > 0) {
            const QPointF lo = panel.At(pt.x, pt.y - pt.yUnc), hi = panel.At(pt.x, pt.y + pt.yUnc);
            p_.drawLine(lo, hi);
            p_.drawLine(lo - QPointF(cap, 0), lo + QPointF(cap, 0));
            p_.drawLine(hi - QPointF(cap, 0), hi + QPointF(cap, 0));
        }
        if (pt.xUnc > 0) {
            const QPointF lo = panel.At(pt.x - pt.xUnc, pt.y), hi = panel.At(pt.x + pt.xUnc, pt.y);
            p_.drawLine(lo, hi);
            p_.drawLine(lo - QPointF(0, cap), lo + QPointF(0, cap));
            p_.drawLine(hi - QPointF(0, cap), hi + QPointF(0, cap));
        }
        p_.setBrush(pt.hollow ? QBrush(Qt::white) : QBrush(color));
        p_.drawEllipse(c, radius, radius);
    }
    p_.restore();
}

void PlotCanvas::DrawCurve(const Panel& panel, double x0, double x1,
                           const std::function<double(double)>& f, const QPen& pen) {
    const int n = std::max(50, static_cast<int>(panel.rect.width() / 2));
    QPolygonF line;
    p_.save();
    p_.setClipRect(panel.rect);
    p_.setPen(pen);
    p_.setBrush(Qt::NoBrush);
    auto flush = [&] {
        if (line.size() > 1) p_.drawPolyline(line);
        line.clear();
    };
    for (int i = 0; i < n; ++i) {
        const double x = AxisSample(panel.x, x0, x1, i, n);
        const double y = f(x);
        const QPointF pt = panel.At(x, y);
        if (std::isfinite(y) && Finite(pt) && (!panel.y.Log() || y > 0))
            line << pt;
        else
            flush();  // a gap where the model gives no value
    }
    flush();
    p_.restore();
}

void PlotCanvas::DrawBand(const Panel& panel, double x0, double x1,
                          const std::function<double(double)>& lo,
                          const std::function<double(double)>& hi, const QColor& color) {
    const int n = std::max(50, static_cast<int>(panel.rect.width() / 3));
    QPolygonF upper, lower;
    for (int i = 0; i < n; ++i) {
        const double x = AxisSample(panel.x, x0, x1, i, n);
        const QPointF a = panel.At(x, hi(x)), b = panel.At(x, lo(x));
        if (!Finite(a) || !Finite(b)) continue;
        upper << a;
        lower.prepend(b);
    }
    if (upper.size() < 2) return;
    p_.save();
    p_.setClipRect(panel.rect);
    p_.setPen(Qt::NoPen);
    p_.setBrush(color);
    p_.drawPolygon(upper + lower);
    p_.restore();
}

}  // namespace quantora::plots
