// A gamma spectrum as a picture: counts per channel (or count rate, live-time normalised) on a
// linear or logarithmic axis over channels or energy, found peaks marked with their energy and
// matched nuclide, several spectra overlaid with a legend, each with peak marks in its own colour.
// Long spectra are drawn from the per-column minimum and maximum (see Decimate.h); zoomed in,
// channel by channel as steps.
#pragma once

#include <QPainter>
#include <QRectF>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "quantora/plots/PlotFrame.h"

namespace quantora::plots {

// A found peak and its fit values.
struct PeakMark {
    double channel = 0, channelUnc = 0;
    double energy = 0, energyUnc = 0;  // keV; energy 0: not known
    double area = 0, areaUnc = 0;
    double fwhm = 0, fwhmUnc = 0;      // channels
    std::string nuclide;               // the matched nuclide, empty for none
    double fwhmKeV = 0;                // the width in keV; 0: no energy calibration
    double height = 0, heightUnc = 0;  // counts per channel at the centroid; 0: not stored
    double background = 0;             // counts of the continuum under the peak; 0: not stored
    std::vector<std::string> values;   // further fit values the evaluation stored, "name=value"
};

struct SpectrumSeries {
    std::string name;    // title and legend text (a stored spectrum: its measurement's name)
    std::string detail;  // what tells it from other spectra of that name (its own name)
    std::vector<double> counts;  // channel 0 first
    double liveTime = -1;        // seconds; not positive when unknown
    // Channel to energy (keV) and back; empty when the spectrum has no energy calibration.
    std::function<double(double)> energyOf, channelOf;
    std::vector<PeakMark> peaks;
};

struct SpectrumOptions {
    bool logY = false;
    bool energyAxis = false;  // x in keV instead of channels
    bool normalise = false;   // counts divided by live time
    bool antialias = true;
    std::string title;  // empty: the spectrum's name
    // Visible x range in axis units; NaN: the whole spectrum. A range that is empty or lies
    // wholly outside the spectra is refused.
    double xLo = std::numeric_limits<double>::quiet_NaN();
    double xHi = std::numeric_limits<double>::quiet_NaN();
};

// Where things ended up: for hit tests of an interactive view and for checking pictures.
struct SpectrumLayout {
    Panel panel;
    struct MarkSpot {
        QRectF rect;  // mark and label
        int series, peak;
        bool labelled;  // false: the label would have covered another one
    };
    std::vector<MarkSpot> marks;
};

// Throws an Exception for an empty spectrum, an energy axis without a calibration, a
// normalisation without a live time and a bad range, before anything is drawn.
SpectrumLayout DrawSpectrum(QPainter& painter, const QRectF& area,
                            const std::vector<SpectrumSeries>& spectra, const SpectrumOptions& opt);

// The x value (channel or energy) of a channel of `s` under `opt`.
double AxisValueOfChannel(const SpectrumSeries& s, const SpectrumOptions& opt, double channel);
// The full x range of the spectra under `opt`.
std::pair<double, double> FullXRange(const std::vector<SpectrumSeries>& spectra,
                                     const SpectrumOptions& opt);
// The name of spectrum k among `spectra`, with its own name when another has the same.
QString SeriesLabel(const std::vector<SpectrumSeries>& spectra, size_t k);
// The colour of the peak marks of series `series` out of `count`: red for a single spectrum,
// a darker shade of the series colour in an overlay.
QColor PeakMarkColor(int series, size_t count);
// The text a reader wants to see of a peak: every fit value it has, one a line, and its nuclide.
std::string PeakDescription(const PeakMark& m);

}  // namespace quantora::plots
