// Plain bit streams, least significant bit first: a writer appending to a byte string and a reader
// that fetches whole 64-bit words.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quantora/base/Types.h"
#include "quantora/spectrum/ForceInline.h"

namespace quantora {

// Bytes after the end of a stream that a BitReader may read (their values do not matter); callers
// that decode from a stored stream keep this much readable padding behind it.
inline constexpr size_t kBitReaderPadding = 1032;

class BitWriter {
  public:
    explicit BitWriter(AnsiString& out) : out_(out) {}

    // Appends the low nbits (<= 32) of v; returns them.
    uint64_t Put(uint64_t v, int nbits) {
        v &= (uint64_t{1} << nbits) - 1;
        acc_ |= v << fill_;
        fill_ += nbits;
        if (fill_ >= 32) {
            for (int i = 0; i < 4; ++i) out_.push_back(static_cast<char>((acc_ >> (8 * i)) & 0xFF));
            acc_ >>= 32;
            fill_ -= 32;
        }
        return v;
    }

    // Writes the last partial byte, padded with zero bits.
    void Finish() {
        for (; fill_ > 0; fill_ -= 8, acc_ >>= 8) out_.push_back(static_cast<char>(acc_ & 0xFF));
        fill_ = 0;
    }

  private:
    AnsiString& out_;
    uint64_t acc_ = 0;
    int fill_ = 0;
};

class BitReader {
  public:
    // data must stay readable kBitReaderPadding bytes beyond the stream; the caller checks
    // Position() against the stream's length often enough not to run past the padding.
    explicit BitReader(const uint8_t* data) : data_(data) {}

    // At least 57 valid bits starting at the current position.
    QUANTORA_INLINE uint64_t Peek() const {
        uint64_t w;
        std::memcpy(&w, data_ + (pos_ >> 3), sizeof w);
        if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
        return w >> (pos_ & 7);
    }

    QUANTORA_INLINE void Skip(uint64_t nbits) { pos_ += nbits; }

    // The next nbits (<= 32).
    QUANTORA_INLINE uint64_t Get(int nbits) {
        const uint64_t v = Peek() & ((uint64_t{1} << nbits) - 1);
        pos_ += nbits;
        return v;
    }

    uint64_t Position() const { return pos_; }

  private:
    const uint8_t* data_;
    uint64_t pos_ = 0;
};

}  // namespace quantora
