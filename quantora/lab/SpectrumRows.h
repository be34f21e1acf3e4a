// From a read spectrum to database rows and back. The SPECTRUM row goes through its record class
// (compressed counts, CHANNELS, STARTCOUNT, MIN/MAX/SUMCOUNT, CRC32, times, name, file type); a
// file's energy calibration becomes an ECAL row whose points sample the polynomial, with a
// NONLINANALYSIS row holding the terms beyond the straight line, so that the stored calibration
// is the file's curve; its comment keeps the exact coefficients for the writers. Stored
// spectra are read back in quantora/lab.
#pragma once

#include <cstdint>
#include <vector>

#include "quantora/calibmodel/ECalibration.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/records/Meastables.h"
#include "quantora/spectrumfiles/SpectrumFile.h"

namespace quantora {

// CRC-32 (IEEE 802.3) of the counts as 32-bit little-endian words, channel 0 first.
uint32_t SpectrumCountsCrc32(const std::vector<unsigned long>& counts);

// The counts from channel 0: the channels below s.firstChannel are zeros.
std::vector<unsigned long> CountsFromChannelZero(const SpectrumFileData& s);

// The SPECTRUM row of `s` in measurement `measurementId`, without a key; `fast` picks the
// codec's fast mode.
SPECTRUMData SpectrumRecordFor(const SpectrumFileData& s, int measurementId, bool fast = false);

// Inserts the SPECTRUM rows of read spectra and, for a spectrum with an energy calibration, its
// ECAL row with points (and the NONLINANALYSIS row of a curved one). Keys come from the
// database's key sequences, safe with any number of writers at once; inserts go through the
// thread's kept insert queries, so a run of spectra reuses prepared statements. The caller owns
// the transactions.
class SpectrumRowWriter {
  public:
    explicit SpectrumRowWriter(const char* dbName);
    // Inserts `rec`, made by SpectrumRecordFor(s, ...), and the calibration of `s`; returns the
    // new SPECTRUM_ID.
    int Store(SPECTRUMData& rec, const SpectrumFileData& s);

  private:
    AnsiString db_;
    DbKeyGen spectrumKeys_, ecalKeys_, pointKeys_, nonlinKeys_;
};

// The polynomial (keV over channel, lowest order first) of a stored energy calibration: the exact
// coefficients a file or a recalibration kept in its comment, else its linear part; empty when
// the calibration is not valid.
std::vector<double> CalibrationCoefficients(const ECalibration& cal);
// The detector a SPECTRUM row names in its comment (empty when none).
AnsiString StoredDetector(const SPECTRUMData& rec);
// The file's remarks a SPECTRUM row keeps in its comment after the detector.
std::vector<AnsiString> StoredRemarks(const SPECTRUMData& rec);
// The comment that keeps `coeffs` exactly with a stored calibration.
AnsiString CoefficientsComment(const std::vector<double>& coeffs);

}  // namespace quantora
