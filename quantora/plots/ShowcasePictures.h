// The pictures that show a lab's data at a glance (quantora/lab/LabShowcase.h): the spectrum
// with the most found peaks, its peaks named from the first radiation library, on a log scale
// over energy when it is calibrated; and the first efficiency analysis.
#pragma once

#include <string>

namespace quantora::plots {

struct ShowcasePictures {
    std::string spectrumPng;  // <base>-spectrum.png
    int spectrumId = -1;
    std::string effPng;  // <base>-efficiency.png; empty without an efficiency analysis
    int effAnalysisId = 0;
};

// Writes the pictures (1600x1000 PNG) beside `base` (a path without extension). Throws when no
// spectrum has peaks.
ShowcasePictures WriteShowcasePictures(const char* alias, const std::string& base);

}  // namespace quantora::plots
