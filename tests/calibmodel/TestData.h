// Readers for the real calibration data the model tests use (CSV tables, spectrum counts, the
// spectrum manifest and the gamma-line list), all under QUANTORA_SHARED_DATA.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace calibtest {

std::string DataPath(const std::string& relative);

// A CSV table with a header row; lines starting with '#' are skipped. Cells are not quoted.
struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    int Column(const std::string& name) const;  // -1 if absent
    double Number(size_t row, const std::string& column) const;
};
Table ReadTable(const std::string& path, char separator = ',');

// One count per line, channel 0 first.
std::vector<double> ReadCounts(const std::string& spectrumName);

// Energy calibration coefficients c0, c1, ... of a spectrum in MANIFEST.tsv (E = sum c_k ch^k).
std::vector<double> ManifestCalibration(const std::string& spectrumName);

struct GammaLine {
    double energy = 0, unc = 0;
};
// The line of the nuclide's ground state closest to `approxKeV` (within 1 keV).
GammaLine FindGammaLine(const std::string& nuclide, double approxKeV);

}  // namespace calibtest
