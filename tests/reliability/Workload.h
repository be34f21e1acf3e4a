// The write workload of the reliability tests: write units (one measurement with two spectra of
// real counts and a chunked blob, in one transaction; every key and value follows from writer and
// unit).
#pragma once

#include <string>

#include "quantora/base/Exception.h"
#include "quantora/base/Types.h"

namespace quantora::reliability {

// Writes the first `units` units of `writer` on `alias`, each in its own transaction.
void RunWriter(const AnsiString& alias, int writer, int units);

// The first line of PRAGMA integrity_check: "ok" for a sound file.
AnsiString IntegrityCheck(const AnsiString& alias);

}  // namespace quantora::reliability
