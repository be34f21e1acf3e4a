// The schema version a lab database records (written by CreateSchema).
#pragma once

namespace quantora {

// The highest recorded version, or -1 when the database records none (no SCHEMAVERSION table,
// or an empty one). A lost connection or a locked file throws.
int StoredSchemaVersion(const char* dbName);

}  // namespace quantora
