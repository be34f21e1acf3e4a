// Format codes of stored spectrum counts (the COUNTDATAFORMAT column) and the limits of the codec.
// Every format but the empty one starts with the same header: the number of channels as a base-128
// varint and a 32-bit checksum of all counts (little-endian), so a damaged stream or a wrong
// CHANNELS or STARTCOUNT value is detected. The coded formats leave channel 0 out: it is stored
// beside the stream (STARTCOUNT).
#pragma once

#include <cstddef>

namespace quantora {

enum SpectrumFormat : unsigned short {
    // No channels; the stream is empty.
    kSpectrumFormatEmpty = 1,
    // Header, then every channel as a 32-bit little-endian count; used when coding would not make
    // the stream smaller.
    kSpectrumFormatStored = 2,
    // Fast mode: header, then blocks of 64 channels, each either Rice-coded prediction residuals
    // or a sparse list of non-zero channels (BlockRiceCodec.cpp).
    kSpectrumFormatBlockRice = 3,
    // Former default mode: header, then counts coded by an adaptive range coder whose models follow
    // the local count level (ContextModelCodec.cpp).
    kSpectrumFormatContextModel = 4,
    // Default mode: as kSpectrumFormatContextModel, with a residual step that also widens with the
    // recent prediction misses (ContextModelCodec.cpp).
    kSpectrumFormatScaledContextModel = 5,
};

// Largest number of channels the codec accepts, so that a damaged CHANNELS value cannot make the
// decoder allocate without bound. Real spectra have up to 65536 channels.
inline constexpr int kMaxSpectrumChannels = 1 << 24;

}  // namespace quantora
