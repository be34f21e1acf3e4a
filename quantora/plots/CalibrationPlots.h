// Calibrations as pictures: the energy calibration (points with error bars, fitted line and a
// residual panel below), the FWHM calibration (points and curve, in keV over energy when an
// energy calibration is given) and an efficiency analysis (points with uncertainties, fitted
// curve with its 1-sigma band, log-log, and the relative residuals with the band below).
#pragma once

#include <QPainter>
#include <QRectF>
#include <string>
#include <vector>

#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/plots/PlotFrame.h"

namespace quantora::plots {

// A measured efficiency: a line of a certified source.
struct EffPoint {
    double energy = 0;  // keV
    double eff = 0, effUnc = 0;
};

// The panels drawn, top to bottom: the fit, then its residuals when there are any.
struct CalibrationLayout {
    std::vector<Panel> panels;
};

// The chi-square of measured efficiencies against the curve and its degrees of freedom (points
// less the curve's coefficients); points without an uncertainty do not count.
struct ChiSquare {
    double value = 0;
    int dof = 0;
};
ChiSquare EfficiencyChiSquare(const EffCalibration& cal, const std::vector<EffPoint>& points);

// Each throws an Exception, before drawing, for an invalid calibration or one without points.
CalibrationLayout DrawECalibration(QPainter& painter, const QRectF& area, const ECalibration& cal,
                                   const std::string& title);
// With a valid `energy` calibration, FWHM in keV over energy; otherwise in channels.
CalibrationLayout DrawFwhmCalibration(QPainter& painter, const QRectF& area,
                                      const FwhmCalibrClass& cal, const std::string& title,
                                      const ECalibration* energy = nullptr);
// Residuals in percent of the curve, with the curve's relative 1-sigma band, when there are
// points.
CalibrationLayout DrawEfficiency(QPainter& painter, const QRectF& area, const EffCalibration& cal,
                                 const std::vector<EffPoint>& points, const std::string& title);

}  // namespace quantora::plots
