// The fast count coder: blocks of 64 channels, each coded either as Rice codes of prediction
// residuals or, where most channels are empty, as a sparse list of gaps and non-zero counts. The
// decoder reads whole 64-bit words and needs no adaptive state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quantora/base/Types.h"

namespace quantora {

// Appends the coded channels 1..n-1 to out; channel 0 is known to the decoder (n >= 1).
void EncodeBlockRice(const uint32_t* counts, size_t n, AnsiString& out);

// Decodes channels 1..n-1 into counts; counts[0] must hold channel 0. data must be readable for
// size + kBitReaderPadding bytes. Throws Exception when the stream is damaged.
void DecodeBlockRice(const uint8_t* data, size_t size, unsigned long* counts, size_t n);

}  // namespace quantora
