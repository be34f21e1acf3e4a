// Importing spectrum files into the lab database, one transaction per file: a file's spectra go
// into an existing measurement, or into a new MEASUREMENT of a project (named after the file's
// title or name, dated by its start time). qdb's spectrum import and applications share this.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <tuple>
#include <vector>

#include "quantora/base/Failures.h"
#include "quantora/lab/SpectrumRows.h"
#include "quantora/spectrumfiles/SpectrumFile.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"

namespace quantora {

struct SpectrumImportTarget {
    int measurementId = -1;        // > 0: add the spectra to this measurement
    int projectId = -1;            // otherwise: one new measurement of this project per file
    bool fastCompression = false;  // the codec's fast mode: quicker to store, somewhat larger
    SpectrumReadOptions read;
    AnsiString detector;  // when set, only this detector's spectra; a file without any is refused
};

struct SpectrumImportResult {
    // Every spectrum of the file was stored before (same CRC32, channel count, live and real
    // time; for an import into a measurement, in that measurement), so nothing was written.
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

// A batch ended by a failure that is not a file's own: of the database itself (disk full,
// read-only, server gone for good; `database` is true) or of the importer (out of memory). The
// message says where and why; `stored` files were on disk before it.
class SpectrumBatchStopped : public Exception {
  public:
    SpectrumBatchStopped(AnsiString message, size_t storedFiles, bool byDatabase)
        : Exception(std::move(message)), stored(storedFiles), database(byDatabase) {}
    size_t stored;
    bool database;
};

// Imports files one after the other. Whether a file is stored already is decided inside its
// write transaction, under a lock every importer takes (SQLite's write lock; on PostgreSQL an
// advisory lock per checksum), so importers running at once on one database store each file
// once. For new-measurement imports the checksums and times of the stored spectra are also read
// once, when made, so a batch skips what was there before without a query per file. Keys come
// from the database's key sequences.
class SpectrumImporter {
  public:
    // Throws NotFoundError when the target measurement or project does not exist.
    SpectrumImporter(const char* dbName, SpectrumImportTarget target);

    // Reads `path` and stores it; throws BadFileError or NotFoundError for a file that cannot be
    // read, leaving the database unchanged.
    SpectrumImportResult Import(const AnsiString& path);
    // The same for a file already read; `path` names the measurement when the file has no title.
    SpectrumImportResult Import(SpectrumFile file, const AnsiString& path);

    // Imports `paths` in their order (but for a bare count list, which goes after a later file of
    // the same name with another extension: the better described copy of a spectrum is the one
    // stored), each file in a transaction of its own; a bad or missing file (BadFileError,
    // NotFoundError) or one whose data the database refuses is refused and the batch goes on. A
    // lost connection is opened again and the file tried again, a bounded number of times with
    // growing pauses (a server restart); lock conflicts are tried again likewise. Any other
    // failure, of the database or one that outlasts the retries, ends the batch with
    // SpectrumBatchStopped after the files before it are reported. Reading and compressing run on
    // worker threads up to 32 files per thread (and about 64 MiB) ahead of the database writes, so
    // they go on while a flush holds the writer. Commits are flushed to disk together, at least
    // every quarter second and at the end, and `onFile` hears of a file (in order, on the caller's
    // thread) only when its rows are on disk: what it reports survives a power cut.
    void ImportFiles(const std::vector<AnsiString>& paths,
                     const std::function<void(const SpectrumFileOutcome&)>& onFile);

  private:
    struct Prepared;
    Prepared Prepare(SpectrumFile file) const;
    SpectrumImportResult Store(Prepared& prepared, const AnsiString& path);
    // Store, tried again after transient failures of the database.
    SpectrumImportResult StoreRetrying(Prepared& prepared, const AnsiString& path);

    using Key = std::tuple<int, int, double, double>;  // CRC32, channels, live, real time
    AnsiString db_;
    SpectrumImportTarget target_;
    std::set<Key> stored_;
    DbKeyGen measurementKeys_;
    SpectrumRowWriter rows_;
};

// One file with a SpectrumImporter of its own.
SpectrumImportResult ImportSpectrumFile(const char* dbName, const AnsiString& path,
                                        const SpectrumImportTarget& target);

}  // namespace quantora
