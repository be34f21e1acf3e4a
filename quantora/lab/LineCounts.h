// Net counts of a nuclide line in an evaluated spectrum: the fitted area of the peak the line
// was assigned to, or, where no peak was found, the summed net counts at the line's place (which
// may be negative: the primary value of a line that is not there); less the counts a background
// spectrum of the same geometry (or a stored background analysis) has at that energy, scaled by
// live time. Each with u(0), the
// uncertainty were the line absent, for the decision threshold.
#pragma once

#include "quantora/analysis/Activity.h"
#include "quantora/lab/PeakEvalRun.h"

namespace quantora {

struct LineCounts {
    double net = 0, netUnc = 0, uncNoPeak = 0;
    double background = 0, backgroundUnc = 0;  // counts subtracted, in the sample's live time
    int peak = -1;                             // the sample's peak, or -1 (summed)
    bool inRange = false;                      // the line lies inside the evaluated channels
};

// A peak of a background measurement of the same geometry: counts per live second.
struct BackgroundLine {
    double energy = 0;  // keV
    double rate = 0, rateUnc = 0;
};

// The background lines of an evaluated background spectrum.
std::vector<BackgroundLine> BackgroundLines(const PeakEvalRun& background);

class LineCounter {
  public:
    // `sample` evaluated with the lines to count; `background` its background's lines (empty:
    // none).
    LineCounter(const PeakEvalRun& sample, std::vector<BackgroundLine> background);
    // Counts of line `line` (an index into sample.lines.lines).
    LineCounts Count(int line) const;
    // Channel of an energy through the sample's calibration; < 0 outside the spectrum.
    double ChannelOf(double energy) const;

  private:
    const PeakEvalRun& sample_;
    std::vector<BackgroundLine> background_;
    std::vector<double> coeffs_;
};

}  // namespace quantora
