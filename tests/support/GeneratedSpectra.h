// Spectrum files made up for tests that need many distinct ones: SPE text, 512 channels, counts
// and times that follow from the index.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>

namespace quantora::test {

inline void WriteGeneratedSpe(const std::filesystem::path& path, int index) {
    std::mt19937 random(static_cast<unsigned>(index));
    std::ofstream out(path);
    out << "$SPEC_ID:\ngenerated " << index << "\n$MEAS_TIM:\n"
        << 100 + index << " " << 110 + index << "\n$DATA:\n0 511\n";
    for (int c = 0; c < 512; ++c) out << random() % 1000 << "\n";
}

}  // namespace quantora::test
