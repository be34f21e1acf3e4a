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

// Writes by the file name's extension (.spe, .n42, .csv, any case); SPE and CSV hold one
// spectrum. Throws for another extension or when the file cannot be written.
void WriteSpectrumFile(const AnsiString& path, const std::vector<SpectrumFileData>& spectra);

}  // namespace quantora
