// What the lab commands of qdb share: opening a database argument that must already hold our
// schema, and strict parsing of numbers given on the command line.
#pragma once

#include <string>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/lab/LabDatabase.h"

namespace qdbtool {

// A database argument that must already hold our schema (read-only for commands that only read).
using quantora::OpenLabDatabase;

// A whole positive number (a key); throws naming `what` otherwise.
int ParseKey(const std::string& text, const char* what);
// Keys separated by commas ("3,5,8"); throws naming `what` for a malformed one.
std::vector<int> ParseKeyList(const std::string& text, const char* what);
// A finite number; false when `text` is not one.
bool ParseNumber(const std::string& text, double& out);

// The value of option `name` in args (removed together with it), or empty.
std::string TakeOption(std::vector<std::string>& args, const char* name);
// True (and removed) when the flag is present.
bool TakeFlag(std::vector<std::string>& args, const char* name);

}  // namespace qdbtool
