// What a spectrum file holds once read: one or more spectra with their counts, times,
// calibrations and descriptions, the format that was recognised, and a warning for every field
// that had to be repaired or left out.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

struct SpectrumFileData {
    std::vector<unsigned long> counts;  // 32-bit counts; counts[i] is channel firstChannel + i
    int firstChannel = 0;
    double liveTime = -1.0;  // seconds; negative when the file has none
    double realTime = -1.0;
    TDateTime startTime = 0.0;  // the writer's local wall-clock time; 0 when unknown
    // E(ch) = c0 + c1*ch + c2*ch^2 ... in keV, ch counted from 0; empty when the file has none.
    std::vector<double> energyCoeffs;
    // FWHM(ch) = f0 + f1*ch + f2*ch^2 ... as the file stores it (channels); empty when none.
    std::vector<double> fwhmCoeffs;
    AnsiString detector;  // detector or device name
    AnsiString title;     // sample or spectrum description
    // What else the file says of its sample and measurement, one line each ("sample id: 17",
    // "user: ...", free remarks), kept with the stored spectrum and written back where the format
    // has room.
    std::vector<AnsiString> remarks;
    AnsiString format;  // the format name of the file it came from
};

struct SpectrumFile {
    AnsiString format;  // "SPE", "N42-2006", "N42-2011", "CHN", "SPC", "CNF", "ASC", "CSV"
    std::vector<SpectrumFileData> spectra;
    std::vector<AnsiString> warnings;  // repaired or dropped fields, one sentence each
};

// True when the coefficients describe a usable energy calibration (finite, positive gain).
bool HasEnergyCalibration(const SpectrumFileData& s);

}  // namespace quantora
