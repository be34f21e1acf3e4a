// One axis of a plot: a data range mapped onto a pixel range, linear or logarithmic, with the
// "nice" tick values a reader expects (1, 2, 5 times a power of ten; decades on a log axis).
#pragma once

#include <string>
#include <vector>

namespace quantora::plots {

struct Tick {
    double value;
    bool major;         // labelled
    std::string label;  // empty for minor ticks
};

class Axis {
  public:
    Axis() = default;
    // A log axis needs 0 < lo; both need lo < hi (a degenerate range is widened around lo).
    Axis(double lo, double hi, bool log);

    // The pixel interval the range is drawn on; p0 belongs to lo (p1 < p0 for a y axis).
    void SetPixels(double p0, double p1) { p0_ = p0, p1_ = p1; }

    // Data value to pixel; on a log axis values at or below zero go to the lower end.
    double Map(double v) const;
    // Pixel back to a data value.
    double Inverse(double p) const;

    double Lo() const { return lo_; }
    double Hi() const { return hi_; }
    bool Log() const { return log_; }
    double P0() const { return p0_; }
    double P1() const { return p1_; }

    // Ticks inside the range, about `maxMajor` labelled ones at most.
    std::vector<Tick> Ticks(int maxMajor) const;

  private:
    double Fraction(double v) const;

    double lo_ = 0, hi_ = 1;
    bool log_ = false;
    double p0_ = 0, p1_ = 1;
};

// The largest 1-2-5 step that puts at most `maxCount` steps into `span` (> 0).
double NiceStep(double span, int maxCount);
// A tick label: no exponent noise ("0.1", "2500", "1e-05" only for very small or large values).
std::string TickLabel(double v, double step);

}  // namespace quantora::plots
