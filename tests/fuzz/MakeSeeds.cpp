// Writes the seeds cut from the real files in the shared data for each fuzz run (compressed
// streams of a few measured spectra, spectrum files cut to 64 channels); the synthetic seeds are
// the files in corpus/.  fuzz_make_seeds <shared data dir> <seed dir>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/spectrum/SpectrumCompressor.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"
#include "tests/support/ScratchDir.h"

namespace fs = std::filesystem;

using namespace quantora;
using quantora::test::ReadText;

namespace {

void Write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
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

template <class T>
T Peek(const std::string& s, size_t at) {
    T v;
    std::memcpy(&v, &s[at], sizeof v);
    return v;
}

constexpr uint16_t kSeedChannels = 64;

// Spectrum files cut down to 64 channels with their structure kept: a CHN with its full trailer,
// an SPC whose spectrum records follow the header records, a CNF with its acquisition, sample and
// channel data blocks; text files written by our writers and an IAEA-style SPE excerpt.
void SpectrumFileSeeds(const fs::path& data, const fs::path& out) {
    const fs::path original = data / "spectra/original";
    for (const auto& [file, seed] : {std::pair{"AH20190131_Na22_10cm_IDM4.Chn", "full_trailer"},
                                     {"eu_calib_7cm.Chn", "short_trailer"}}) {
        std::string chn = ReadText(original / file);
        const size_t n = Peek<uint16_t>(chn, 30);
        chn = chn.substr(0, 32 + 4 * kSeedChannels) + chn.substr(32 + 4 * n);
        Poke<uint16_t>(chn, 30, kSeedChannels);
        Write(out / "chn_reader" / seed, chn);
    }

    // SPC: records 1..21 (header, text, calibration), then two spectrum records.
    std::string spc = ReadText(original / "Alcatraz14.Spc");
    const size_t first = static_cast<size_t>(Peek<int16_t>(spc, 60));
    spc = spc.substr(0, (first - 1) * 128) + spc.substr((first - 1) * 128, 2 * 128);
    Poke<int16_t>(spc, 40, 0);  // no ROI records
    for (size_t at : {54, 56})  // records allocated, last record used
        Poke<int16_t>(spc, at, static_cast<int16_t>(spc.size() / 128));
    Poke<int16_t>(spc, 62, 2);
    Poke<uint16_t>(spc, 64, kSeedChannels);
    Write(out / "spc_reader" / "integer", spc);

    // CNF: the header and a directory of three blocks, each block copied up to the next one.
    const std::string cnf =
        ReadText(original / "01122014152731-GT01122014182338-GA37.4963000N-GO122.4633000W.cnf");
    std::string seed = cnf.substr(0, 0x800);
    std::fill(seed.begin() + 0x70, seed.end(), '\0');
    size_t entry = 0x70;
    for (uint32_t id : {0x12000u, 0x12001u, 0x12005u}) {
        size_t at = 0x70, end = cnf.size();
        while (Peek<uint32_t>(cnf, at) != id) at += 48;
        const size_t offset = Peek<uint32_t>(cnf, at + 0x0A);
        for (size_t e = 0x70; Peek<uint32_t>(cnf, e) != 0; e += 48) {
            const size_t o = Peek<uint32_t>(cnf, e + 0x0A);
            if (o > offset) end = std::min(end, o);
        }
        std::string block = cnf.substr(offset, end - offset);
        if (id == 0x12005) {
            block.resize(0x200 + 4 * kSeedChannels);
            Poke<uint16_t>(block, 0x2A, kSeedChannels);
        }
        Poke<uint32_t>(block, 0x0A, static_cast<uint32_t>(seed.size()));
        seed.replace(entry, 48, cnf.substr(at, 48));
        Poke<uint32_t>(seed, entry + 0x0A, static_cast<uint32_t>(seed.size()));
        seed += block;
        entry += 48;
    }
    Poke<uint32_t>(seed, 0x0A, static_cast<uint32_t>(seed.size()));
    Write(out / "cnf_reader" / "three_blocks", seed);

    // Text seeds: the first byte picks the count-list layout of the target.
    const std::string zero(1, '\0');
    auto cut = [](SpectrumFileData s) {
        s.counts.resize(kSeedChannels);
        return s;
    };
    const SpectrumFile n42 =
        ReadSpectrumFile((original / "ba133_source_640s_20100317.n42").string());
    const SpectrumFile csv = ReadSpectrumFile((original / "nai_detector.csv").string());
    Write(out / "text_spectrum_readers" / "n42",
          zero + FormatN42({cut(n42.spectra[0]), cut(n42.spectra[1])}));
    Write(out / "text_spectrum_readers" / "spe", zero + FormatSpe(cut(n42.spectra[0])));
    Write(out / "text_spectrum_readers" / "csv", zero + FormatCsv(cut(csv.spectra[0])));
    std::string asc = zero;
    for (unsigned long c : cut(csv.spectra[0]).counts) asc += std::to_string(c) + "\r\n";
    Write(out / "text_spectrum_readers" / "asc", asc);
    // The IAEA SPE layout: "%2" coefficient count, eight counts per line.
    const std::string iaea = ReadText(original / "iaea2002/Co57SMALL.spe");
    const size_t section = iaea.find("$DATA:");
    const size_t counts = iaea.find('\n', iaea.find('\n', section) + 1) + 1;
    size_t end = counts;
    for (int i = 0; i < kSeedChannels / 8; ++i) end = iaea.find('\n', end) + 1;
    Write(out / "text_spectrum_readers" / "iaea_spe",
          zero + iaea.substr(0, section) + "$DATA:\r\n0 63\r\n" +
              iaea.substr(counts, end - counts) + iaea.substr(iaea.find("$MCA_CAL:")));
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
