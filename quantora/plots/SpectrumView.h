// An interactive spectrum window: the wheel zooms the x range around the cursor, dragging with
// the left button zooms to the dragged range, L toggles log and linear counts, Home (or a
// double click) shows everything again. A readout line under the plot shows channel, energy and
// counts under the cursor; resting on a peak mark shows that peak's fit values.
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
    void UpdateReadout(QPointF pos);
    double ReadoutHeight() const;

    std::vector<SpectrumSeries> spectra_;
    SpectrumOptions opt_;
    std::pair<double, double> full_;
    SpectrumLayout layout_;
    std::optional<double> dragFrom_;  // pixel x where a drag began
    double dragTo_ = 0;
    QString readout_, hover_;
    QPointF hoverAt_;
};

}  // namespace quantora::plots
