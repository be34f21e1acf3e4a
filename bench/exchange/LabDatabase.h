// A large generated lab database for the exchange benchmarks: the schema of the layer, reference
// tables, samples, and measurements with their spectra (real measured counts, compressed as the
// record classes store them), energy and width calibrations with their points, peak evaluations
// with peaks, and blob chunks, until the file reaches a given size.
#pragma once

#include <string>

namespace quantora::bench {

struct LabDatabaseStats {
    long long bytes = 0;           // size of the database file
    long long rows = 0;            // rows of every table
    long long exportedRows = 0;    // rows of the tables the XML export writes
    long long spectra = 0;         // SPECTRUM rows
    long long countBytes = 0;      // compressed counts stored in them
    long long exportedBytes = 0;   // pages of those tables and their indexes (0: not known)
    long long otherTableRows = 0;  // rows of the tables the export leaves out (peaks, chunks...)
};

// Creates the database at `path` (replacing it) with the lab schema through the alias, then
// fills it directly through SQLite until it holds at least `minBytes`. The alias is left closed.
// Counts are read from `countsDir` (one count per line per file). Throws on any failure.
LabDatabaseStats BuildLabDatabase(const std::string& alias, const std::string& path,
                                  long long minBytes, const std::string& countsDir);

// Removes the database file and its WAL, shared-memory and journal files.
void RemoveDatabaseFiles(const std::string& path);

}  // namespace quantora::bench
