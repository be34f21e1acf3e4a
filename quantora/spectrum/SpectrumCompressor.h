// Compression of spectrum channel counts for the SPECTRUM table. A spectrum is a sequence of
// unsigned 32-bit counts; the first count and the number of channels are stored beside the stream
// by the caller and handed back when the stream is loaded.
#pragma once

#include <vector>

#include "quantora/base/Types.h"
#include "quantora/spectrum/SpectrumFormat.h"

class SpectrumCompressor {
  public:
    SpectrumCompressor() = default;

    // Compresses counts and stores the chosen format code (quantora::SpectrumFormat) through
    // format. option picks decoding speed over size. Throws Exception when a count does not fit in
    // 32 bits or there are more than quantora::kMaxSpectrumChannels channels.
    AnsiString GetCompressedStream(const std::vector<unsigned long>* counts, unsigned short* format,
                                   bool option = false);

    // Loads a stored stream with the first channel's count, the format code and the number of
    // channels it was stored with. startCount is taken modulo 2^32, so a count that went through a
    // signed 32-bit column comes back intact. Throws Exception for an unknown format code, a
    // negative or excessive channel count, or a stream that cannot belong to them.
    void SetCompressedStream(AnsiString stream, unsigned long startCount, unsigned short format,
                             int channels);

    // Expands the loaded stream into counts (replacing their contents). Throws Exception when the
    // stream is damaged; counts is then left empty. Before any stream is loaded this gives no
    // counts.
    void GetCounts(std::vector<unsigned long>* counts);

  private:
    AnsiString stream_;  // followed by decoder padding
    size_t size_ = 0;    // bytes of the stream itself
    unsigned long startCount_ = 0;
    unsigned short format_ = quantora::kSpectrumFormatEmpty;
    size_t channels_ = 0;
};
