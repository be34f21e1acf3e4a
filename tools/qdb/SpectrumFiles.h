// Spectrum files in and out: IAEA SPE text files and ANSI N42.42 XML files (2006 with several
// detectors per file, and 2011) read into counts, times and the stored energy calibration; SPE
// written back. The N42 reader is a small tolerant scanner of our own: it matches elements by
// local name, so a namespace prefix that was never declared does not stop it.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

struct SpectrumFileData {
    AnsiString name;                    // SPE $SPEC_ID, N42 remark or detector
    AnsiString format;                  // "SPE" or "N42"
    AnsiString detector;                // N42: the detector the spectrum came from
    std::vector<unsigned long> counts;  // channel 0 first
    double liveTime = -1.0;             // seconds, negative when unknown
    double realTime = -1.0;
    TDateTime startTime = 0.0;         // 0 when unknown
    std::vector<double> energyCoeffs;  // E = c0 + c1*ch + c2*ch^2 ... keV; empty when none
};

// True when the coefficients describe a usable calibration (a positive, finite gain).
bool HasEnergyCalibration(const SpectrumFileData& s);

// Parses an SPE text; throws an Exception naming `source` on malformed content.
SpectrumFileData ParseSpe(const AnsiString& text, const AnsiString& source);
// Parses an N42 text; `detector` empty takes the first spectrum, otherwise the one of that
// detector (or spectrum id). Throws when there is none or it is malformed.
SpectrumFileData ParseN42(const AnsiString& text, const AnsiString& detector,
                          const AnsiString& source);
// Reads a file, choosing the format by content (an XML start) and extension.
SpectrumFileData ReadSpectrumFile(const AnsiString& path, const AnsiString& detector);

// An ISO 8601 duration ("PT639.92S", "PT1H2M3S") in seconds; throws when malformed.
double ParseIsoDuration(const AnsiString& text);

// The SPE text of a spectrum.
AnsiString FormatSpe(const SpectrumFileData& s);

}  // namespace quantora
