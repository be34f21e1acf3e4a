// Importing a spectrum file into the lab database in one transaction: its spectra go into an
// existing measurement, or into a new MEASUREMENT of a project (named after the file's title or
// name, dated by its start time). qdb's spectrum import and applications share this.
#pragma once

#include <vector>

#include "quantora/spectrumfiles/SpectrumFile.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"

namespace quantora {

struct SpectrumImportTarget {
    int measurementId = -1;  // > 0: add the spectra to this measurement
    int projectId = -1;      // otherwise: one new measurement of this project per file
    SpectrumReadOptions read;
};

struct SpectrumImportResult {
    // New-measurement imports only: every spectrum of the file was stored before (same CRC32,
    // channel count, live and real time), so nothing was written.
    bool alreadyPresent = false;
    int measurementId = -1;
    std::vector<int> spectrumIds;
    SpectrumFile file;  // what the reader found, warnings included
};

// Reads `path` and stores it. Throws for a file that cannot be read or a measurement or project
// that does not exist; the database is then unchanged.
SpectrumImportResult ImportSpectrumFile(const char* dbName, const AnsiString& path,
                                        const SpectrumImportTarget& target);
// The same for a file already read; `path` names the measurement when the file has no title.
SpectrumImportResult ImportSpectrumData(const char* dbName, SpectrumFile file,
                                        const AnsiString& path, const SpectrumImportTarget& target);

}  // namespace quantora
