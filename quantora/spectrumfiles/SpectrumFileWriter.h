// Writing spectra as ASCII SPE, N42-2011 XML or CSV; each reads back through
// ReadSpectrumFile with the same counts, times and calibrations.
#pragma once

#include <vector>

#include "quantora/spectrumfiles/SpectrumFile.h"

namespace quantora {

AnsiString FormatSpe(const SpectrumFileData& s);
// Several spectra (detectors) in one file, one measurement element each.
AnsiString FormatN42(const std::vector<SpectrumFileData>& spectra);
// Metadata lines (Title, Detector, StartTime, LiveTime, RealTime, EnergyCalibration,
// FwhmCalibration), a "channel,count" header, then one row per channel.
AnsiString FormatCsv(const SpectrumFileData& s);

// Writes in the format the file name's extension names (.spe, .n42, .csv, any case; see
// SpectrumFileFormats.h); SPE and CSV hold one spectrum. Throws MisuseError for another extension
// or too many spectra, Exception when the file cannot be written.
void WriteSpectrumFile(const AnsiString& path, const std::vector<SpectrumFileData>& spectra);

}  // namespace quantora
