// Database aliases: register a database under a name, reach this thread's connection to it
// (Database.cpp); create the lab schema and look at its tables (Schema.cpp).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"

// Registers `alias` for the database at `uri` ("sqlite:path" or "postgresql:..." / a libpq
// URI "postgresql://user@host:port/db") and checks that it connects. Opening an alias again
// replaces its database. A read-only alias refuses writes and never creates or converts a file
// (an SQLite database is put into WAL mode only by connections that may write).
void OpenDatabase(const AnsiString& alias, const AnsiString& uri, bool readOnly = false);
// True when `arg` names a database by URI ("sqlite:...", "postgresql:...", or any
// "scheme://..."); anything else is the path of an SQLite file.
bool IsDatabaseUri(std::string_view arg);
// `arg` as OpenDatabase takes it: a URI unchanged, a file path as "sqlite:<path>".
AnsiString DatabaseUri(std::string_view arg);
// The local file a database argument names (a path, or the path of an "sqlite:" URI); empty for
// a database behind a server.
std::string DatabaseFileOf(std::string_view arg);
// Forgets the alias; queries still open on it keep their connection until they close.
void CloseDatabase(const AnsiString& alias);
bool IsDatabaseOpen(const AnsiString& alias);
// Creates every missing table and index of the lab schema and records the schema version.
void CreateSchema(const AnsiString& alias);
// The names of the database's tables, sorted (on PostgreSQL those in the schemas of the search
// path; SQLite's own tables left out). Errors of the engine are thrown.
std::vector<AnsiString> UserTableNames(const AnsiString& alias);
// True when the database holds a table of that name (compared without regard to case; on
// PostgreSQL in the schemas of the search path). Errors of the engine are thrown.
bool TableExists(const AnsiString& alias, const AnsiString& table);
// True when `table` has a row whose `keyColumn` is `key`. The names are the caller's own
// (never user input); the key is bound.
bool RowExists(const AnsiString& alias, const char* table, const char* keyColumn, int key);

namespace quantora::db {

constexpr int kSchemaVersion = 1;

// This thread's connection to the alias, opened on first use.
std::shared_ptr<Connection> ConnectionFor(const AnsiString& alias);
// Gives up this thread's connection to the alias (and the thread's kept queries on it), so that
// its next use opens a new one: after a lost connection, nothing of the old session's state is
// carried on. Queries still open on the old connection keep it until they close.
void DropThreadConnection(const AnsiString& alias);
// The slot for `key` (any address its owner holds) among the objects this thread keeps with its
// connection to the alias: empty at first, given up together with the connection.
std::shared_ptr<void>& KeptWithConnection(const AnsiString& alias, const void* key);

// The portable schema text (schema/quantora.sql).
const char* SchemaText();

}  // namespace quantora::db
