// Importing spectrum files into the lab database, one transaction per file: a file's spectra go
// into an existing measurement, or into a new MEASUREMENT of a project (named after the file's
// title or name, dated by its start time). qdb's spectrum import and applications share this.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <tuple>
#include <vector>

#include "quantora/spectrumfiles/SpectrumFile.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"
#include "quantora/spectrumfiles/SpectrumRows.h"

namespace quantora {

struct SpectrumImportTarget {
    int measurementId = -1;        // > 0: add the spectra to this measurement
    int projectId = -1;            // otherwise: one new measurement of this project per file
    bool fastCompression = false;  // the codec's fast mode: quicker to store, somewhat larger
    SpectrumReadOptions read;
    AnsiString detector;  // when set, only this detector's spectra; a file without any is refused
};

struct SpectrumImportResult {
    // New-measurement imports only: every spectrum of the file was stored before (same CRC32,
    // channel count, live and real time), so nothing was written.
    bool alreadyPresent = false;
    int measurementId = -1;
    std::vector<int> spectrumIds;
    SpectrumFile file;  // what the reader found, warnings included
};

// What became of one file of a batch: its result, or why it was refused.
struct SpectrumFileOutcome {
    AnsiString path;
    bool refused = false;
    AnsiString reason;  // when refused
    SpectrumImportResult result;
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

    // Imports `paths` in their order, each file in a transaction of its own; a file that cannot
    // be read or stored is refused and the batch goes on. Reading and compressing run on worker
    // threads up to 32 files per thread (and about 64 MiB) ahead of the database writes, so they
    // go on while a flush holds the writer. Commits are flushed to disk together, at
    // least every quarter second and at the end, and `onFile` hears of a file (in order, on the
    // caller's thread) only when its rows are on disk: what it reports survives a power cut.
    // Failures of the database itself end the batch with an exception.
    void ImportFiles(const std::vector<AnsiString>& paths,
                     const std::function<void(const SpectrumFileOutcome&)>& onFile);

  private:
    struct Prepared;
    Prepared Prepare(SpectrumFile file) const;
    SpectrumImportResult Store(Prepared prepared, const AnsiString& path);

    using Key = std::tuple<int, int, double, double>;  // CRC32, channels, live, real time
    AnsiString db_;
    SpectrumImportTarget target_;
    std::set<Key> stored_;
    MaxKeyGen measurementKeys_;
    SpectrumRowWriter rows_;
};

// One file with a SpectrumImporter of its own.
SpectrumImportResult ImportSpectrumFile(const char* dbName, const AnsiString& path,
                                        const SpectrumImportTarget& target);

}  // namespace quantora
