// The write workload of the reliability tests, shared by the test process and the worker
// processes: write units (one measurement with two spectra of real counts and a chunked blob, in
// one transaction), retried only on the engine's documented transient errors, and their
// verification. Every key and value of a unit follows from (writer, unit), so any process can
// check what any writer wrote.
#pragma once

#include <string>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Types.h"
#include "quantora/dblayer/EDatabaseError.h"

namespace quantora::reliability {

// Keys of writer w lie in [(w + 1) * kKeysPerWriter, (w + 2) * kKeysPerWriter): writers never
// collide. A unit takes at most kKeysPerUnit keys.
constexpr int kKeysPerWriter = 1000000;
constexpr int kKeysPerUnit = 32;
constexpr int kSpectraPerUnit = 2;
constexpr int kBlobChunkSize = 4096;
constexpr int kMaxAttempts = 50;
constexpr const char* kBlobOwnerType = "MEASUREMENT";

inline int FirstKey(int writer, int unit) {
    return (writer + 1) * kKeysPerWriter + unit * kKeysPerUnit;
}

// Channel counts of real spectra (shared test data), loaded once.
const std::vector<std::vector<unsigned long>>& RealSpectra();

// The expected contents of a unit.
AnsiString MeasurementName(int writer, int unit);
std::vector<unsigned long> SpectrumCounts(int writer, int unit, int spectrum);
AnsiString BlobValue(int writer, int unit);
int BlobChunkCount(int writer, int unit);
// Rows one unit inserts: the measurement, its spectra and its blob chunks.
int UnitRows(int writer, int unit);

struct WriteStats {
    long long units = 0;
    long long rows = 0;
    long long retries = 0;
};

// True for the transient errors after which the whole transaction is to be run again: a lock
// held elsewhere (busy), a serialization failure or a deadlock.
bool IsRetryable(const EDatabaseError& e);

// Writes units [first, first + count) of `writer` on `alias`, each in its own transaction,
// retrying a unit after a transient error (at most kMaxAttempts tries). Other errors pass.
WriteStats RunWriter(const AnsiString& alias, int writer, int first, int count);

// Checks units [0, units) of writers [0, writers): every row there and equal to what was
// written, and no other rows. Returns the problems found (empty when all is well).
std::vector<std::string> VerifyWriters(const AnsiString& alias, int writers, int units);

// "ok" lines of PRAGMA integrity_check joined; "ok" for a sound file.
AnsiString IntegrityCheck(const AnsiString& alias);

// An order-independent digest of a table's rows (count and a hash of every field's value).
std::string TableDigest(const AnsiString& alias, const AnsiString& table);

// `n` bytes depending on `seed`, every byte value included.
AnsiString PatternBytes(size_t n, unsigned seed);

}  // namespace quantora::reliability
