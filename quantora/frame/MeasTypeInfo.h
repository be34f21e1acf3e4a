// The kind of a measurement, derived from the types of its spectra, with the list of spectra.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

struct SpectrumTypeInfoData {
    int SPECTRUM_ID = -1;
    int SPECTRUMTYPE_ID = -1;
    AnsiString Name;
};

struct MeasTypeInfoData {
    int MEASUREMENT_ID = -1;
    AnsiString Name;
    // 1 one spectrum (type 1), 2 sample (types 1 and 2), 3 source (1 and 3), 4 source list
    // (3 and 4), 0 anything else.
    int MeasType = 0;
    std::vector<SpectrumTypeInfoData> Spectra;  // by SPECTRUMTYPE_ID

    void Reset();
    // Fills the structure from the spectra of the measurement (stays reset when it has none).
    void GetInfo(const char* dbName, int measurementId, AnsiString name);
};
