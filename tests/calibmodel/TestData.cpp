// Readers for the real calibration test data.
#include "TestData.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace calibtest {

namespace {

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream in(line);
    while (std::getline(in, cell, sep)) cells.push_back(cell);
    if (!line.empty() && line.back() == sep) cells.emplace_back();
    return cells;
}

}  // namespace

std::string DataPath(const std::string& relative) {
    return std::string(QUANTORA_SHARED_DATA) + "/" + relative;
}

int Table::Column(const std::string& name) const {
    for (size_t i = 0; i < header.size(); ++i)
        if (header[i] == name) return static_cast<int>(i);
    return -1;
}

double Table::Number(size_t row, const std::string& column) const {
    const int c = Column(column);
    if (c < 0 || static_cast<size_t>(c) >= rows.at(row).size())
        throw std::runtime_error("no column " + column);
    return std::stod(rows[row][static_cast<size_t>(c)]);
}

Table ReadTable(const std::string& path, char separator) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    Table t;
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (first) {
            t.header = Split(line, separator);
            first = false;
        } else {
            t.rows.push_back(Split(line, separator));
        }
    }
    return t;
}

std::vector<double> ReadCounts(const std::string& spectrumName) {
    const std::string path = DataPath("spectra/counts/" + spectrumName + ".txt");
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<double> counts;
    double c;
    while (in >> c) counts.push_back(c);
    return counts;
}

std::vector<double> ManifestCalibration(const std::string& spectrumName) {
    const Table t = ReadTable(DataPath("spectra/MANIFEST.tsv"), '\t');
    for (size_t r = 0; r < t.rows.size(); ++r) {
        if (t.rows[r].at(0) != spectrumName) continue;
        std::istringstream in(
            t.rows[r].at(static_cast<size_t>(t.Column("energy_calibration_coeffs_if_present"))));
        std::vector<double> c;
        double v;
        while (in >> v) c.push_back(v);
        return c;
    }
    throw std::runtime_error("spectrum not in the manifest: " + spectrumName);
}

GammaLine FindGammaLine(const std::string& nuclide, double approxKeV) {
    static const Table lines = ReadTable(DataPath("nuclides/gamma_lines.csv"));
    const int cn = lines.Column("nuclide"), ci = lines.Column("isomer_state"),
              ce = lines.Column("energy_keV"), cu = lines.Column("energy_unc_keV");
    GammaLine best;
    double bestDist = 1.0;
    for (const auto& row : lines.rows) {
        if (row.size() <= static_cast<size_t>(cu) || row[cn] != nuclide || row[ci] != "0" ||
            row[ce].empty() || row[cu].empty())
            continue;
        const double e = std::stod(row[ce]);
        if (std::fabs(e - approxKeV) < bestDist) {
            bestDist = std::fabs(e - approxKeV);
            best = {e, std::stod(row[cu])};
        }
    }
    if (best.energy == 0) throw std::runtime_error("no line of " + nuclide + " near the energy");
    return best;
}

}  // namespace calibtest
