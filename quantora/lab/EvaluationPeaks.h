// The peaks of a stored peak evaluation as the plots and the Python module show them: the PEAK
// values, the nuclide the evaluation assigned and the further values it stored per fitted peak.
#pragma once

#include <string>
#include <vector>

namespace quantora {

struct StoredPeak {
    long long peakId = -1;
    // NaN where the column is null.
    double channel, channelUnc, energy, energyUnc, area, areaUnc, fwhm, fwhmUnc;  // fwhm: channels
    double height, heightUnc, background;
    std::string nuclide;              // the fitted peak's comment; empty when none
    std::vector<std::string> values;  // further fit values, "name=value"
};

// The evaluation's peaks by channel (then PEAK_ID); empty for an evaluation without peaks or a
// key without an evaluation.
std::vector<StoredPeak> ReadEvaluationPeaks(const char* dbName, int peakEvalId);
// The peaks of the evaluation that applies to the stored spectrum (StoredSpectra.h,
// ApplicablePeakEval); empty when none does.
std::vector<StoredPeak> SpectrumPeaks(const char* dbName, int spectrumId);

}  // namespace quantora
