// What every spectrum file fuzz target checks: a file either throws an Exception or reads into
// spectra of sane size that each writer writes and the reader reads back with the same counts.
#pragma once

#include <cstdlib>

#include "quantora/base/Exception.h"
#include "quantora/spectrumfiles/ReadSupport.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"
#include "quantora/spectrumfiles/SpectrumRows.h"

namespace quantora::fuzz {

inline void CheckReadSpectra(const SpectrumFile& f) {
    for (const SpectrumFileData& s : f.spectra) {
        if (s.counts.empty() || s.counts.size() > spectrumfiles::kMaxChannels) std::abort();
        for (unsigned long c : s.counts)
            if (c > 0xffffffffUL) std::abort();
        const auto back = [](const AnsiString& text) {
            return ReadSpectrumBytes(text, "written").spectra.at(0);
        };
        if (back(FormatSpe(s)).counts != s.counts) std::abort();
        if (back(FormatCsv(s)).counts != s.counts) std::abort();
        if (back(FormatN42({s})).counts != CountsFromChannelZero(s)) std::abort();
    }
}

// Runs `read` on the input; an Exception is a clean refusal.
template <class Read>
int FuzzSpectrumReader(Read&& read) {
    SpectrumFile f;
    try {
        read(f);
    } catch (const Exception&) {
        return 0;
    }
    CheckReadSpectra(f);
    return 0;
}

}  // namespace quantora::fuzz
