// Running a command-line tool of the system with its standard output sent to a file, for
// benchmarks that compare against such a tool.
#pragma once

#include <string>
#include <vector>

namespace quantora::bench {

// The full path of `tool` found on PATH, or "" when there is none that can be executed.
std::string FindOnPath(const std::string& tool);

// Runs `argv` (argv[0] a full path) with its standard output written to `outPath` (replaced)
// and waits for it. Throws std::runtime_error when it cannot be started or does not exit with 0.
void RunToFile(const std::vector<std::string>& argv, const std::string& outPath);

}  // namespace quantora::bench
