// Opening a database a user names (a file path for SQLite, or a sqlite: or postgresql:// URI),
// and checking that it is a lab database before anything reads or writes it.
#pragma once

#include <string>

namespace quantora {

// Opens `db` under `alias`; a refused connection or an unreadable file throws "cannot open
// '<db>': " with the engine's words. `readOnly`: the connection refuses writes.
void OpenDatabaseArg(const std::string& alias, const std::string& db, bool readOnly = false);

// Opens `db` under `alias` and checks that it holds the lab schema; a missing SQLite file, a
// folder or a database without our tables throws (nothing is created, the alias is closed).
// `readOnly` for work that only reads: the connection refuses writes and leaves the file's
// journal mode alone.
void OpenLabDatabase(const std::string& alias, const std::string& db, bool readOnly = false);

}  // namespace quantora
