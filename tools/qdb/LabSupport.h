// What the lab commands of qdb share: opening a database argument that must already hold our
// schema, strict parsing of numbers and options given on the command line, and the notes of a
// peak evaluation.
#pragma once

#include <string>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/lab/LabDatabase.h"
#include "quantora/lab/PeakEvalRun.h"

namespace qdbtool {

// A database argument that must already hold our schema (read-only for commands that only read).
using quantora::OpenLabDatabase;

// A whole positive number (a key); throws naming `what` otherwise.
int ParseKey(const std::string& text, const char* what);
// Keys separated by commas ("3,5,8"); throws naming `what` for a malformed one.
std::vector<int> ParseKeyList(const std::string& text, const char* what);
// The parts of a comma-separated list ("Cs-137,Co-60"), empty parts kept.
std::vector<std::string> SplitCommas(const std::string& text);
// A finite number; false when `text` is not one.
bool ParseNumber(const std::string& text, double& out);

// The value of option `name` in args (removed together with it), or empty.
std::string TakeOption(std::vector<std::string>& args, const char* name);
// True (and removed) when the flag is present.
bool TakeFlag(std::vector<std::string>& args, const char* name);
// The key given with option `name` (parsed as ParseKey does, naming `what`), or -1 without it.
int TakeKey(std::vector<std::string>& args, const char* name, const char* what);
// The keys given with option `name` (as ParseKeyList), or none without it.
std::vector<int> TakeKeyList(std::vector<std::string>& args, const char* name, const char* what);

// The notes of a peak evaluation and of its recalibration, one "note: " line each.
void PrintNotes(const quantora::PeakEvalRun& run);

// The arguments after the first (a subcommand's own), none when there are none.
std::vector<std::string> Rest(const std::vector<std::string>& args);

}  // namespace qdbtool
