// The reader of each file format (and the writers of the text formats), as the dispatcher in
// SpectrumFileReader.cpp and SpectrumFileWriter.cpp calls them. Each reader appends the spectra
// it finds to `out` and reports problems through `ctx`.
#pragma once

#include "quantora/spectrumfiles/ReadSupport.h"
#include "quantora/spectrumfiles/SpectrumFile.h"
#include "quantora/spectrumfiles/SpectrumFileReader.h"

namespace quantora::spectrumfiles {

void ReadSpe(Sv text, const ReadContext& ctx, SpectrumFile& out);
void ReadN42(Sv text, const ReadContext& ctx, SpectrumFile& out);
void ReadChn(Sv bytes, const ReadContext& ctx, SpectrumFile& out);
void ReadSpc(Sv bytes, const ReadContext& ctx, SpectrumFile& out);
void ReadCnf(Sv bytes, const ReadContext& ctx, SpectrumFile& out);
void ReadCountList(Sv text, const ReadContext& ctx, AscLayout layout, SpectrumFile& out);
void ReadCsv(Sv text, const ReadContext& ctx, SpectrumFile& out);

}  // namespace quantora::spectrumfiles
