// The parts every plot shares: a style scaled to the picture size (fonts and lines grow with
// it, so 800x500 and 1600x1000 read alike), the title, the data rectangle left free by tick
// labels and axis titles, grid, ticks, legend, and points with error bars, curves and bands.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <functional>
#include <vector>

#include "quantora/plots/Axis.h"

namespace quantora::plots {

// Colours of the data series, each different from every other; then of the marks of found peaks
// (used for nothing else).
QColor SeriesColor(int i);
inline const QColor kPeakMarkColor{214, 39, 40};

struct LegendEntry {
    enum Kind { Line, Marker, Band };
    QString text;
    QColor color;
    Kind kind = Line;
};

struct XYPoint {
    double x, y;
    double xUnc = 0, yUnc = 0;  // standard uncertainties, drawn as error bars
    bool hollow = false;        // a point kept out of the fit
};

enum class Corner { TopLeft, TopRight, BottomLeft, BottomRight };

// One panel: its data rectangle in pixels and the axes mapped onto it.
struct Panel {
    QRectF rect;
    Axis x, y;
    QPointF At(double xv, double yv) const { return {x.Map(xv), y.Map(yv)}; }
};

class PlotCanvas {
  public:
    // `area` is the whole picture; the scale follows its size.
    PlotCanvas(QPainter& painter, const QRectF& area, bool antialias = true);

    QPainter& Painter() { return p_; }
    double Scale() const { return scale_; }
    double Px(double v) const { return v * scale_; }
    QFont Font(double relative = 1.0, bool bold = false) const;

    // Draws the title at the top and returns the rest of `area`.
    QRectF TakeTitle(const QRectF& area, const QString& title, const QString& subtitle = {});
    // Sets the axes' pixels to the data rectangle left inside `outer` by the tick labels and
    // titles of both axes; `xLabels` false leaves no room below (a panel stacked on another).
    void PlacePanel(Panel& panel, const QRectF& outer, bool xLabels, bool xTitle);
    // Grid, frame, ticks, labels and titles.
    void DrawAxes(const Panel& panel, const QString& xTitle, const QString& yTitle, bool xLabels);
    // A legend box in a corner of the data rectangle.
    void DrawLegend(const Panel& panel, const std::vector<LegendEntry>& entries,
                    Corner corner = Corner::TopRight);
    // A text box of a few lines in a corner of the data rectangle.
    void DrawNote(const Panel& panel, const QStringList& lines, Corner corner = Corner::TopLeft);

    void DrawPoints(const Panel& panel, const std::vector<XYPoint>& pts, const QColor& color);
    void DrawCurve(const Panel& panel, double x0, double x1, const std::function<double(double)>& f,
                   const QPen& pen);
    void DrawBand(const Panel& panel, double x0, double x1, const std::function<double(double)>& lo,
                  const std::function<double(double)>& hi, const QColor& color);

    // Ticks that fit along the axis without their labels touching.
    std::vector<Tick> FittingTicks(const Axis& axis, bool horizontal) const;

  private:
    QRectF CornerBox(const Panel& panel, QSizeF size, Corner corner) const;
    double LabelWidth(const std::vector<Tick>& ticks) const;

    QPainter& p_;
    double scale_;
};

// "v +- u" with the decimals that show two significant digits of u.
QString ValueWithUnc(double v, double u);

// A sample abscissa for curves: evenly spaced on the axis (log-spaced on a log axis).
double AxisSample(const Axis& axis, double x0, double x1, int i, int n);

}  // namespace quantora::plots
