// The default count coder: each channel is predicted from the three before it and the residual is
// coded with an adaptive binary range coder whose contexts follow the predicted count level.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quantora/base/Types.h"

namespace quantora {

// Appends the coded channels 1..n-1 to out; channel 0 is known to the decoder (n >= 1). scaled
// picks the version whose step widens with the recent prediction misses.
void EncodeContextModel(const uint32_t* counts, size_t n, AnsiString& out, bool scaled);

// Decodes channels 1..n-1 into counts; counts[0] must hold channel 0. data must be readable for
// size + kBitReaderPadding bytes. Throws Exception when the stream is damaged.
void DecodeContextModel(const uint8_t* data, size_t size, unsigned long* counts, size_t n,
                        bool scaled);

}  // namespace quantora
