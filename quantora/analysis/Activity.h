// From net peak areas to activities: decay before and during a count, the ISO 11929 decision
// threshold and detection limit of a line in activity, the summation form of a net area where no
// peak was fitted, and the combination of a nuclide's lines. Conventions: standard uncertainties,
// seconds, Bq, emission probabilities as fractions.
#pragma once

#include <optional>
#include <span>
#include <vector>

namespace quantora::analysis {

// D = exp(-lambda delay) (1 - exp(-lambda realTime)) / (lambda realTime): the mean fraction of
// the reference activity present during a count that started `delay` seconds after the
// reference time and lasted `realTime` seconds. A half-life of 0 or less means no decay.
double DecayFactor(double halfLife, double delay, double realTime);
// Its relative standard uncertainty from the half-life's.
double DecayFactorRelUnc(double halfLife, double halfLifeUnc, double delay, double realTime);

// Net counts by summation over `n` channels around a position, the continuum taken from `m`
// channels on each side (gross G, side sums L and R): N = G - n (L + R) / 2m,
// u^2(N) = G + (n / 2m)^2 (L + R), and u(0)^2 = B + (n / 2m)^2 (L + R), the uncertainty of N
// were there no peak.
struct SummedArea {
    double net = 0, netUnc = 0, uncNoPeak = 0;
};
SummedArea SumArea(double gross, double left, double right, int n, int m);

// A line's net counts by summation where no peak was fitted: a window of
// n = max(3, round(widthFwhm * fwhm)) channels centred on channel `ch` (counts[0] is channel 0),
// n channels each side for the background, and everything scaled by the share of a Gaussian's
// area the window holds. Nullopt where the windows pass an end of the spectrum.
std::optional<SummedArea> SumLineWindow(std::span<const unsigned long> counts, double ch,
                                        double fwhm, double widthFwhm);

// One line of a nuclide: its net counts and what turns them into activity.
struct LineInput {
    double net = 0, netUnc = 0;  // counts (a fitted area, or a summed one)
    double uncNoPeak = 0;        // u(0): the net counts' uncertainty were there no line
    double efficiency = 0, efficiencyUnc = 0;
    double intensity = 0, intensityUnc = 0;  // fractions
    double liveTime = 0;                     // s
    double decay = 1, decayRelUnc = 0;       // D
    double mass = 0;                         // kg; > 0 gives Bq/kg
};

struct LineActivity {
    double activity = 0, uncertainty = 0;  // a = w N and u(a)
    double decisionThreshold = 0;          // a* = k w u(0)
    double detectionLimit = 0;             // a#; negative when none exists
    double uncNoActivity = 0;              // w u(0): u(a) were there no activity
    double w = 0, wRelUnc = 0;             // calibration factor and its relative uncertainty
    bool valid = false;                    // efficiency, intensity, live time all positive
};

// a = N / (eps I t D [m]) with u(a)^2 = w^2 u^2(N) + a^2 u_rel^2(w); the decision threshold and
// the detection limit a# = (2 a* + k^2 w) / (1 - k^2 u_rel^2(w)) for k = k(1-alpha) = k(1-beta).
LineActivity ActivityOfLine(const LineInput& in, double k);

// A nuclide's activity from its lines: the mean weighted by 1 / u^2, its uncertainty scaled by
// the Birge ratio when the lines disagree beyond their uncertainties; the decision threshold
// of the mean under the hypothesis of no activity (weights 1 / u(0)^2) and the detection limit
// solved from a# = a* + k u(a#).
struct NuclideActivity {
    double activity = 0, uncertainty = 0;
    double decisionThreshold = 0, detectionLimit = 0;  // detectionLimit < 0: none exists
    double birgeRatio = 1;  // sqrt(chi2 / (lines - 1)) of the lines about the mean; 1 for one line
    int lines = 0;
    bool detected = false;  // activity above the decision threshold
};
NuclideActivity CombineLines(std::span<const LineActivity> lines, double k);

}  // namespace quantora::analysis
