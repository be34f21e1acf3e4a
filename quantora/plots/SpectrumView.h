// An interactive spectrum window: the wheel zooms the x range around the cursor, dragging with
// the left button zooms to the dragged range, dragging with the right or middle button or the
// arrow keys pan it, L toggles log and linear counts, Home (or a double click) shows everything
// again. A readout line under the plot shows the position under the cursor and the counts of
// every spectrum there; resting on a peak mark shows that peak's fit values and nuclide.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "quantora/plots/SpectrumPlot.h"

namespace quantora::plots {

class SpectrumView : public QWidget {
    Q_OBJECT

  public:
    // Throws like DrawSpectrum for spectra it cannot show. The x axis is energy when every
    // spectrum has a calibration, channels otherwise.
    SpectrumView(std::vector<SpectrumSeries> spectra, bool logY, QWidget* parent = nullptr);

    bool LogY() const { return opt_.logY; }
    bool EnergyAxis() const { return opt_.energyAxis; }
    std::pair<double, double> XRange() const { return {opt_.xLo, opt_.xHi}; }
    const QString& Readout() const { return readout_; }
    const QString& HoverText() const { return hover_; }
    // The layout of the last painting (the plot fills the widget above the readout line).
    const SpectrumLayout& Layout() const { return layout_; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void SetRange(double lo, double hi);
    // Shifts the range by `dx` axis units, keeping its span, no further than the spectra reach.
    void Pan(double dx);
    void UpdateReadout(QPointF pos);
    double ReadoutHeight() const;

    std::vector<SpectrumSeries> spectra_;
    SpectrumOptions opt_;
    std::pair<double, double> full_;
    SpectrumLayout layout_;
    std::optional<double> dragFrom_;  // pixel x where a zoom drag began
    double dragTo_ = 0;
    std::optional<double> panFrom_;  // pixel x of the last step of a pan drag
    QString readout_, hover_;
    QPointF hoverAt_;
};

}  // namespace quantora::plots
