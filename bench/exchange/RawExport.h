// The baseline of the export: the same file written with raw SQLite calls and stdio, as a
// program would that knows the lab tables and nothing of the database layer.
#pragma once

#include <string>

namespace quantora::bench {

// Writes the export file of the SQLite database at `dbPath` under the database name `alias`.
// Throws std::runtime_error when the database or the file cannot be opened.
void RawExport(const std::string& dbPath, const std::string& alias, const std::string& outPath);

}  // namespace quantora::bench
