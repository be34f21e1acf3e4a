// The subcommands of qdb and what they share: how a database argument becomes an open alias.
#pragma once

#include <string>
#include <vector>

#include "quantora/base/Types.h"

namespace qdbtool {

using Args = std::vector<std::string>;

// A database given as a file path (SQLite) or a postgresql:// URI, opened under `alias`.
void OpenArgDatabase(const std::string& alias, const std::string& db);

// Table names of the lab schema, in schema order.
std::vector<AnsiString> SchemaTables();

int CmdInit(const Args& args);
int CmdDemo(const Args& args);
int CmdTables(const Args& args);

}  // namespace qdbtool
