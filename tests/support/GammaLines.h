// The evaluated gamma-line table of the shared data cut down to chosen nuclides, for tests that
// load a small nuclide library.
#pragma once

#include <fstream>
#include <set>
#include <string>

namespace quantora::test {

// Writes the header and the lines of `nuclides` (and nothing else) of the shared table to `path`.
inline void WriteGammaLines(const std::string& path, const std::set<std::string>& nuclides) {
    std::ifstream in(std::string(QUANTORA_SHARED_DATA) + "/nuclides/gamma_lines.csv");
    std::ofstream out(path);
    std::string line;
    std::getline(in, line);
    out << line << '\n';
    while (std::getline(in, line))
        if (nuclides.count(line.substr(0, line.find(',')))) out << line << '\n';
}

}  // namespace quantora::test
