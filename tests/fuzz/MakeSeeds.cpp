// Writes the seeds taken from the real files in the shared data for each fuzz run (compressed
// streams of a few measured spectra, spectrum files); the synthetic seeds are in corpus/.
// fuzz_make_seeds <shared data dir> <seed dir>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/spectrum/SpectrumCompressor.h"

namespace fs = std::filesystem;

using namespace quantora;

namespace {

void Write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

template <class T>
void Poke(std::string& s, size_t at, T v) {
    std::memcpy(&s[at], &v, sizeof v);
}

void SpectrumSeeds(const fs::path& data, const fs::path& out) {
    const char* spectra[] = {"nai_detector_csv.txt", "Cs137LowResNoCalib_spe.txt",
                             "digibase_5min_30_1_spe.txt"};
    auto seed = [&](const std::string& name, std::vector<unsigned long> counts, bool fast) {
        SpectrumCompressor codec;
        unsigned short format = 0;
        const AnsiString stream = codec.GetCompressedStream(&counts, &format, fast);
        // The target's header: format (bit 15 set lifts its channel limit), channels, start.
        std::string head(10, '\0');
        Poke<uint16_t>(head, 0, format);
        Poke<int32_t>(head, 2, static_cast<int32_t>(counts.size()));
        Poke<uint32_t>(head, 6, static_cast<uint32_t>(counts[0]));
        Write(out / "spectrum_decoder" / name, head + stream);
    };
    int n = 0;
    for (const char* name : spectra) {
        std::ifstream in(data / "spectra/counts" / name);
        std::vector<unsigned long> counts;
        for (unsigned long c; in >> c;) counts.push_back(c);
        for (bool fast : {false, true}) seed("spectrum" + std::to_string(++n), counts, fast);
    }
    // A flat spectrum, which the codec stores uncoded or nearly so.
    seed("flat", std::vector<unsigned long>(100, 0xfffffffful), false);
}

// Whole real files where they fit the fuzzer's input size; the CHN files cut to 64 channels
// with their trailers kept. A text seed's first byte picks the count-list layout of the target.
void SpectrumFileSeeds(const fs::path& data, const fs::path& out) {
    const fs::path original = data / "spectra/original";
    for (const auto& [file, seed] : {std::pair{"AH20190131_Na22_10cm_IDM4.Chn", "full_trailer"},
                                     {"eu_calib_7cm.Chn", "short_trailer"}}) {
        std::string chn = ReadAll(original / file);
        const size_t n = static_cast<unsigned char>(chn[30]) | static_cast<unsigned char>(chn[31])
                                                                   << 8;
        chn = chn.substr(0, 32 + 4 * 64) + chn.substr(32 + 4 * n);
        Poke<uint16_t>(chn, 30, 64);
        Write(out / "chn_reader" / seed, chn);
    }
    Write(out / "spc_reader" / "integer", ReadAll(original / "Alcatraz14.Spc"));
    Write(out / "cnf_reader" / "small", ReadAll(original / "2025-11-11_17-43-19-121196.cnf"));
    for (const char* file : {"Mn56_DetX_Shielded.n42", "digibase_5min_30_1.spe", "nai_detector.csv",
                             "iaea2002/Co57SMALL.spe", "iaea2002/Co57SMALL.asc"})
        Write(out / "text_spectrum_readers" / fs::path(file).filename(),
              std::string(1, '\0') + ReadAll(original / file));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: fuzz_make_seeds <shared data dir> <corpus dir>\n";
        return 2;
    }
    try {
        SpectrumSeeds(argv[1], argv[2]);
        SpectrumFileSeeds(argv[1], argv[2]);
    } catch (const Exception& e) {
        std::cerr << e.Message << "\n";
        return 1;
    }
    return 0;
}
