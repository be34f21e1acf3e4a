// Adaptive range coder over binary and small multi-symbol alphabets. Models adapt quickly at first
// and then settle to a fixed rate. Encoder and decoder share the Bit/Symbol signatures, so one
// coding routine written as a template serves both directions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "quantora/base/Types.h"
#include "quantora/spectrum/internal/BitStream.h"
#include "quantora/spectrum/internal/ForceInline.h"

namespace quantora {

namespace rangecoder {

// A model moves by 1/(n+1.5) of the distance to its target, n counting its updates up to
// kAdaptLimit; the rate then stays fixed.
inline constexpr int kAdaptLimit = 60;
inline constexpr std::array<int32_t, kAdaptLimit + 1> kRate = [] {
    std::array<int32_t, kAdaptLimit + 1> r{};
    for (int n = 0; n <= kAdaptLimit; ++n) r[n] = 131072 / (2 * n + 3);
    return r;
}();

QUANTORA_INLINE int32_t Step(int32_t value, int32_t target, int n) {
    return value + static_cast<int32_t>((static_cast<int64_t>(target - value) * kRate[n]) >> 16);
}

inline constexpr uint32_t kTop = 1u << 24;
inline constexpr int kSymbolBits = 15;
inline constexpr int32_t kSymbolTotal = 1 << kSymbolBits;
// Least share of each symbol of a multi-symbol model, in 1/32768.
inline constexpr int32_t kSymbolFloor = 32;

}  // namespace rangecoder

// Probability that the next bit is 1, in 1/65536. Its targets stay inside (0, 65536), so it never
// reaches 0 or 1 and every coding interval is non-empty.
struct BitModel {
    uint16_t p = 32768;
    uint16_t n = 0;

    QUANTORA_INLINE void Update(int bit) {
        p = static_cast<uint16_t>(rangecoder::Step(p, bit ? 65536 - 32 : 32, n));
        n += n < rangecoder::kAdaptLimit;
    }
};

// Cumulative distribution of an N-symbol alphabet: symbol s has the share c[s+1] - c[s] of 32768
// (c[N] = 32768). Every update keeps each share at least kSymbolFloor - 1: the targets keep
// kSymbolFloor per symbol and the rounded step never shrinks a share below that by more than one.
template <int N>
struct SymbolModel {
    static_assert(N >= 2 && N * rangecoder::kSymbolFloor < rangecoder::kSymbolTotal);
    std::array<uint16_t, N> c = [] {
        std::array<uint16_t, N> init{};
        for (int i = 0; i < N; ++i)
            init[i] = static_cast<uint16_t>(i * rangecoder::kSymbolTotal / N);
        return init;
    }();
    uint16_t n = 0;

    SymbolModel() = default;
    // Starts from a prior distribution, weighted as if it had been seen `weight` times.
    constexpr SymbolModel(const std::array<uint16_t, N>& prior, uint16_t weight)
        : c(prior), n(weight) {}

    QUANTORA_INLINE void Update(int s) {
        using namespace rangecoder;
#if defined(__SSE2__)
        if constexpr (N == 4 || N == 8) {
            UpdateVector(s);
            n += n < kAdaptLimit;
            return;
        }
#endif
#pragma GCC unroll 8
        for (int i = 1; i < N; ++i) c[i] = static_cast<uint16_t>(Step(c[i], kTargets[s][i], n));
        n += n < kAdaptLimit;
    }

  private:
    // kTargets[s][i]: where boundary i moves after symbol s (boundary 0 stays at 0).
    static constexpr std::array<std::array<int16_t, N>, N> kTargets = [] {
        using namespace rangecoder;
        std::array<std::array<int16_t, N>, N> t{};
        for (int s = 0; s < N; ++s) {
            for (int i = 1; i < N; ++i)
                t[s][i] = static_cast<int16_t>(s < i ? kSymbolTotal - (N - i) * kSymbolFloor
                                                     : i * kSymbolFloor);
        }
        return t;
    }();

#if defined(__SSE2__)
    // kRate[n] in each 16-bit lane, read as signed.
    alignas(16) static constexpr std::array<std::array<int16_t, 8>,
                                            rangecoder::kAdaptLimit + 1> kRateLanes = [] {
        std::array<std::array<int16_t, 8>, rangecoder::kAdaptLimit + 1> t{};
        for (int n = 0; n <= rangecoder::kAdaptLimit; ++n) {
            for (auto& lane : t[n]) lane = static_cast<int16_t>(rangecoder::kRate[n]);
        }
        return t;
    }();

    // Step() on all boundaries at once, with the same results: boundaries, targets and their
    // differences d lie in (-32768, 32768), and d * rate < 2^31, so the high half of the 16-bit
    // product is the step. A rate of 32768 or more reads as rate - 65536 in a signed lane, which
    // takes d off the high half: it is added back.
    QUANTORA_INLINE void UpdateVector(int s) {
        constexpr size_t kBytes = sizeof(c);
        __m128i v = _mm_setzero_si128(), t = _mm_setzero_si128();
        std::memcpy(&v, c.data(), kBytes);
        std::memcpy(&t, kTargets[s].data(), kBytes);
        __m128i rate;
        std::memcpy(&rate, kRateLanes[n].data(), sizeof rate);
        const __m128i d = _mm_sub_epi16(t, v);
        __m128i step = _mm_mulhi_epi16(d, rate);
        static_assert(rangecoder::kRate[0] >= 32768 && rangecoder::kRate[1] < 32768);
        if (n == 0) step = _mm_add_epi16(step, d);
        v = _mm_add_epi16(v, step);
        std::memcpy(c.data(), &v, kBytes);
    }
#endif
};

class RangeEncoder {
  public:
    static constexpr bool kDecoding = false;

    // Appends to out; guess: the bytes expected.
    RangeEncoder(AnsiString& out, size_t guess) : sink_(out, guess) {}

    // Codes one bit and adapts the model; returns the bit.
    QUANTORA_INLINE int Bit(BitModel& m, int bit) {
        const uint32_t bound = (range_ >> 16) * m.p;
        if (bit) {
            range_ = bound;
        } else {
            low_ += bound;
            range_ -= bound;
        }
        m.Update(bit);
        Normalize();
        return bit;
    }

    // Codes symbol s (< N) and adapts the model; returns the symbol.
    template <int N>
    QUANTORA_INLINE int Symbol(SymbolModel<N>& m, int s) {
        const uint32_t r = range_ >> rangecoder::kSymbolBits;
        const uint32_t lo = r * m.c[s];
        // The last symbol also takes what the rounding of r left over.
        const uint32_t hi = s == N - 1 ? range_ : r * m.c[s + 1];
        low_ += lo;
        range_ = hi - lo;
        m.Update(s);
        Normalize();
        return s;
    }

    // Writes the last bytes; the decoder reads exactly as many bytes as were written.
    void Finish() {
        for (int i = 0; i < 4; ++i) ShiftLow();
        sink_.Finish();
    }

  private:
    QUANTORA_INLINE void Normalize() {
        while (range_ < rangecoder::kTop) {
            range_ <<= 8;
            ShiftLow();
        }
    }

    // Writes the top byte of the 32-bit low end; a carry out of it adds to the bytes written.
    QUANTORA_INLINE void ShiftLow() {
        if (low_ >> 32) [[unlikely]]
            sink_.Carry();
        sink_.Reserve(1);
        sink_.Put(static_cast<uint8_t>(low_ >> 24));
        low_ = (low_ & 0x00FFFFFFu) << 8;
    }

    ByteSink sink_;
    uint64_t low_ = 0;
    uint32_t range_ = 0xFFFFFFFFu;
};

class RangeDecoder {
  public:
    static constexpr bool kDecoding = true;

    // Reads past the end yield zero bytes and are counted; AtEnd() tells whether the stream was
    // consumed exactly.
    RangeDecoder(const uint8_t* data, size_t size) : pos_(data), end_(data + size) {
        for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | NextByte();
    }

    QUANTORA_INLINE int Bit(BitModel& m, int /*unused*/ = 0) {
        const uint32_t bound = (range_ >> 16) * m.p;
        const uint32_t bit = code_ < bound;
        // Branch-free: the bit is hard to predict.
        code_ -= bound & (bit - 1);
        range_ = bit ? bound : range_ - bound;
        m.Update(static_cast<int>(bit));
        Normalize();
        return static_cast<int>(bit);
    }

    template <int N>
    QUANTORA_INLINE int Symbol(SymbolModel<N>& m, int /*unused*/ = 0) {
        const uint32_t r = range_ >> rangecoder::kSymbolBits;
        // The symbol is the number of boundaries at or below the code; its interval is picked by
        // conditional moves, without branches.
        int s = 0;
        uint32_t lo = 0, hi = range_;
#pragma GCC unroll 8
        for (int i = 1; i < N; ++i) {
            const uint32_t bound = r * m.c[i];
            const bool above = code_ >= bound;
            s += above;
            lo = above ? bound : lo;
        }
#pragma GCC unroll 8
        for (int i = N - 1; i >= 1; --i) {
            const uint32_t bound = r * m.c[i];
            hi = code_ < bound ? bound : hi;
        }
        code_ -= lo;
        range_ = hi - lo;
        m.Update(s);
        Normalize();
        return s;
    }

    // True while no byte beyond the end has been asked for.
    bool InBounds() const {
        return overrun_ == 0;
    }
    // True when the stream was consumed exactly, to its last byte.
    bool AtEnd() const {
        return overrun_ == 0 && pos_ == end_;
    }
    // An intact stream keeps the code inside the range.
    bool Consistent() const {
        return code_ < range_;
    }

  private:
    QUANTORA_INLINE void Normalize() {
        while (range_ < rangecoder::kTop) {
            range_ <<= 8;
            code_ = (code_ << 8) | NextByte();
        }
    }

    QUANTORA_INLINE uint32_t NextByte() {
        if (pos_ < end_) return *pos_++;
        ++overrun_;
        return 0;
    }

    const uint8_t* pos_;
    const uint8_t* end_;
    uint32_t code_ = 0;
    uint32_t range_ = 0xFFFFFFFFu;
    uint32_t overrun_ = 0;
};

}  // namespace quantora
