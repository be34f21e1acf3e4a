// Shared pieces of the coded count streams: the header (channel count and checksum), the checksum
// itself and the error thrown for damaged streams.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quantora/base/Types.h"

namespace quantora {

// Throws Exception("SpectrumCompressor: damaged count data (<what>)").
[[noreturn]] void ThrowDamagedCounts(const char* what);

// Checksum of a count sequence; any change of a value, of the order or of the length changes it
// with high probability.
uint32_t CountChecksum(const unsigned long* counts, size_t n);
uint32_t CountChecksum(const uint32_t* counts, size_t n);

// Base-128 varint, low groups first. ReadVarint advances pos and throws a damaged-data Exception
// when the number is cut short or exceeds 2^35.
void WriteVarint(AnsiString& out, uint64_t value);
uint64_t ReadVarint(const uint8_t* data, size_t size, size_t& pos);

// Header of the coded formats: the channel count as a base-128 varint, then the checksum as four
// little-endian bytes.
void WriteCountHeader(AnsiString& out, size_t channels, uint32_t checksum);

struct CountHeader {
    size_t channels = 0;
    uint32_t checksum = 0;
    size_t size = 0;  // bytes taken by the header
};
// Throws a damaged-data Exception when the header is cut short or malformed.
CountHeader ReadCountHeader(const uint8_t* data, size_t size);

}  // namespace quantora
