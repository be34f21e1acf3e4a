// Fuzz targets of the spectrum file readers, one binary per reader. With QUANTORA_FUZZ_READ set
// (ReadChn, ReadSpc, ReadCnf) that binary reader gets any bytes, detection bypassed; without it
// the text readers (SPE, N42, count lists, CSV) are reached through detection, the first byte
// picking how a count list is read. A file either throws an Exception or reads into spectra of
// sane size that each writer writes and the reader reads back with the same counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "quantora/base/Exception.h"
#include "quantora/lab/SpectrumRows.h"
#include "quantora/spectrumfiles/Formats.h"
#include "quantora/spectrumfiles/ReadSupport.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"

using namespace quantora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SpectrumFile f;
    try {
#ifdef QUANTORA_FUZZ_READ
        const spectrumfiles::ReadContext ctx("fuzz", QUANTORA_FUZZ_FORMAT, &f.warnings);
        spectrumfiles::QUANTORA_FUZZ_READ({reinterpret_cast<const char*>(data), size}, ctx, f);
#else
        if (size < 1) return 0;
        SpectrumReadOptions options;
        options.ascLayout = static_cast<AscLayout>(data[0] % 3);
        f = ReadSpectrumBytes({reinterpret_cast<const char*>(data + 1), size - 1}, "fuzz", options);
#endif
    } catch (const Exception&) {
        return 0;
    }
    const auto back = [](const AnsiString& text) {
        return ReadSpectrumBytes(text, "written").spectra.at(0).counts;
    };
    for (const SpectrumFileData& s : f.spectra) {
        if (s.counts.empty() || s.counts.size() > spectrumfiles::kMaxChannels) std::abort();
        for (unsigned long c : s.counts)
            if (c > 0xffffffffUL) std::abort();
        if (back(FormatSpe(s)) != s.counts || back(FormatCsv(s)) != s.counts ||
            back(FormatN42({s})) != CountsFromChannelZero(s))
            std::abort();
    }
    return 0;
}
