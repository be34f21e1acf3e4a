// Calibrations as pictures: the energy calibration (points with error bars, fitted line and a
// residual panel below), the FWHM calibration (points and curve) and an efficiency analysis
// (points with uncertainties, fitted curve with its 1-sigma band, log-log).
#pragma once

#include <QPainter>
#include <QRectF>
#include <string>
#include <vector>

#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"

namespace quantora::plots {

// A measured efficiency: a line of a certified source.
struct EffPoint {
    double energy = 0;  // keV
    double eff = 0, effUnc = 0;
};

// Each throws an Exception, before drawing, for an invalid calibration or one without points.
void DrawECalibration(QPainter& painter, const QRectF& area, const ECalibration& cal,
                      const std::string& title);
void DrawFwhmCalibration(QPainter& painter, const QRectF& area, const FwhmCalibrClass& cal,
                         const std::string& title);
void DrawEfficiency(QPainter& painter, const QRectF& area, const EffCalibration& cal,
                    const std::vector<EffPoint>& points, const std::string& title);

}  // namespace quantora::plots
