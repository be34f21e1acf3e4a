// Importing spectrum files into the lab database, one transaction per file: a file's spectra go
// into an existing measurement, or into a new MEASUREMENT of a project (named after the file's
// title or name, dated by its start time). qdb's spectrum import and applications share this.
#pragma once

#include <cstdint>
#include <set>
#include <tuple>
#include <vector>

#include "quantora/spectrumfiles/SpectrumFile.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"

namespace quantora {

struct SpectrumImportTarget {
    int measurementId = -1;        // > 0: add the spectra to this measurement
    int projectId = -1;            // otherwise: one new measurement of this project per file
    bool fastCompression = false;  // the codec's fast mode: quicker to store, somewhat larger
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

// Imports files one after the other. For new-measurement imports it reads the checksums and
// times of the stored spectra once, when made, and adds those it stores: so a batch finds its
// duplicates without scanning SPECTRUM per file (rows other clients store meanwhile are not seen).
class SpectrumImporter {
  public:
    // Throws when the target measurement or project does not exist.
    SpectrumImporter(const char* dbName, SpectrumImportTarget target);

    // Reads `path` and stores it; throws for a file that cannot be read, leaving the database
    // unchanged.
    SpectrumImportResult Import(const AnsiString& path);
    // The same for a file already read; `path` names the measurement when the file has no title.
    SpectrumImportResult Import(SpectrumFile file, const AnsiString& path);

  private:
    using Key = std::tuple<int, int, double, double>;  // CRC32, channels, live, real time
    AnsiString db_;
    SpectrumImportTarget target_;
    std::set<Key> stored_;
};

// One file with a SpectrumImporter of its own.
SpectrumImportResult ImportSpectrumFile(const char* dbName, const AnsiString& path,
                                        const SpectrumImportTarget& target);

}  // namespace quantora
