// Stream header, checksum and damage errors shared by the coded count formats.
#include "quantora/spectrum/internal/CountStream.h"

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"

namespace quantora {

void ThrowDamagedCounts(const char* what) {
    throw Exception(Format("SpectrumCompressor: damaged count data (%s)", what));
}

namespace {

// Sum of a mix of each pair of counts with its position. The terms are independent of each other,
// so the loop runs at full speed; every term depends non-linearly on its counts and position, so
// damage does not cancel out in the sum (as it can in plain or position-weighted sums).
template <class T>
uint32_t Checksum(const T* counts, size_t n) {
    uint64_t sum = 0;
    uint64_t position = 0x243F6A8885A308D3ull;
    auto add = [&](uint64_t pair) {
        const uint64_t t = (pair ^ position) * 0x9E3779B97F4A7C15ull;
        sum += t ^ (t >> 32);
        position += 0xC2B2AE3D27D4EB4Full;
    };
    size_t i = 0;
    for (; i + 1 < n; i += 2)
        add(static_cast<uint64_t>(counts[i]) ^ (static_cast<uint64_t>(counts[i + 1]) << 32));
    if (i < n) add(static_cast<uint64_t>(counts[i]));
    uint64_t h = (sum ^ n) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 32;
    return static_cast<uint32_t>(h);
}

}  // namespace

uint32_t CountChecksum(const unsigned long* counts, size_t n) {
    return Checksum(counts, n);
}
uint32_t CountChecksum(const uint32_t* counts, size_t n) {
    return Checksum(counts, n);
}

void WriteVarint(AnsiString& out, uint64_t value) {
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        if (value) byte |= 0x80;
        out.push_back(static_cast<char>(byte));
    } while (value);
}

uint64_t ReadVarint(const uint8_t* data, size_t size, size_t& pos) {
    uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        if (pos >= size) ThrowDamagedCounts("number cut short");
        if (shift > 28) ThrowDamagedCounts("number too large");
        const uint8_t byte = data[pos++];
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) return value;
    }
}

void WriteCountHeader(AnsiString& out, size_t channels, uint32_t checksum) {
    WriteVarint(out, channels);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((checksum >> (8 * i)) & 0xFF));
}

CountHeader ReadCountHeader(const uint8_t* data, size_t size) {
    CountHeader h;
    size_t pos = 0;
    h.channels = ReadVarint(data, size, pos);
    if (size - pos < 4) ThrowDamagedCounts("header cut short");
    for (int i = 0; i < 4; ++i) h.checksum |= static_cast<uint32_t>(data[pos + i]) << (8 * i);
    h.size = pos + 4;
    return h;
}

}  // namespace quantora
