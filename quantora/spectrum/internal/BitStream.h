// Plain bit streams, least significant bit first: a writer appending to a byte string and a reader
// that fetches whole 64-bit words.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quantora/base/Types.h"
#include "quantora/spectrum/internal/ForceInline.h"

namespace quantora {

// Bytes after the end of a stream that a BitReader may read (their values do not matter); callers
// that decode from a stored stream keep this much readable padding behind it.
inline constexpr size_t kBitReaderPadding = 1032;

// Appends bytes to a string through a raw pointer. While it writes, the string holds spare bytes
// beyond those written; Finish() cuts them off.
class ByteSink {
  public:
    // guess: the bytes expected; the sink grows beyond it as needed.
    ByteSink(AnsiString& out, size_t guess) : out_(&out), start_(out.size()) {
        Resize(start_ + guess + 16, start_);
    }

    // Makes room for at least `bytes` more bytes.
    QUANTORA_INLINE void Reserve(size_t bytes) {
        if (static_cast<size_t>(end_ - pos_) < bytes) Resize(2 * out_->size() + bytes, Size());
    }
    QUANTORA_INLINE void Put(uint8_t byte) { *pos_++ = static_cast<char>(byte); }
    // Four bytes, least significant first.
    QUANTORA_INLINE void Put32(uint32_t word) {
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
        std::memcpy(pos_, &word, 4);
        pos_ += 4;
    }
    // Adds one to the bytes written so far, as a number whose last byte is the least significant.
    void Carry() {
        char* const first = out_->data() + start_;
        for (char* p = pos_; p != first;) {
            --p;
            *p = static_cast<char>(static_cast<uint8_t>(*p) + 1);
            if (*p != 0) break;
        }
    }
    void Finish() { out_->resize(Size()); }

  private:
    size_t Size() const { return static_cast<size_t>(pos_ - out_->data()); }
    void Resize(size_t capacity, size_t used) {
        out_->resize(capacity);
        pos_ = out_->data() + used;
        end_ = out_->data() + capacity;
    }

    AnsiString* out_;
    size_t start_;
    char* pos_ = nullptr;
    char* end_ = nullptr;
};

class BitWriter {
  public:
    explicit BitWriter(AnsiString& out, size_t guess = 0) : sink_(out, guess) {}

    // Appends the low nbits (<= 32) of v; returns them.
    QUANTORA_INLINE uint64_t Put(uint64_t v, int nbits) {
        v &= (uint64_t{1} << nbits) - 1;
        PutExact(v, nbits);
        return v;
    }

    // Appends v < 2^nbits, nbits <= 32.
    QUANTORA_INLINE void PutExact(uint64_t v, int nbits) {
        acc_ |= v << fill_;
        fill_ += nbits;
        if (fill_ >= 32) {
            sink_.Reserve(4);
            sink_.Put32(static_cast<uint32_t>(acc_));
            acc_ >>= 32;
            fill_ -= 32;
        }
    }

    // Writes the last partial byte, padded with zero bits.
    void Finish() {
        sink_.Reserve(4);
        for (; fill_ > 0; fill_ -= 8, acc_ >>= 8) sink_.Put(static_cast<uint8_t>(acc_));
        fill_ = 0;
        sink_.Finish();
    }

  private:
    ByteSink sink_;
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
