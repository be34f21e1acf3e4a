// The write workload of the reliability tests, shared by the test process and the worker
// processes: write units (one measurement with two spectra of real counts and a chunked blob, in
// one transaction; every key and value follows from writer and unit), retried only on the
// engine's documented transient errors; and digests to compare the databases left behind.
#pragma once

#include <string>

#include "quantora/base/Exception.h"
#include "quantora/base/Types.h"

namespace quantora::reliability {

// Writes the first `units` units of `writer` on `alias`, each in its own transaction, running a
// unit again after a busy, serialization or deadlock error (at most 50 tries).
void RunWriter(const AnsiString& alias, int writer, int units);

// The first line of PRAGMA integrity_check: "ok" for a sound file.
AnsiString IntegrityCheck(const AnsiString& alias);

// An order-independent digest of the rows of the exported tables and BLOBCHUNK (creation times
// left out).
std::string DatabaseDigest(const AnsiString& alias);

// `n` bytes depending on `seed`, every byte value included.
AnsiString PatternBytes(size_t n, unsigned seed);

}  // namespace quantora::reliability
