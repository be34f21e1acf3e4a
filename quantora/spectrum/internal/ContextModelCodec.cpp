// Context-modelled coding of spectrum counts.
//
// Each channel is predicted from the three before it, P = (2a + b + c + 2) / 4, and coded with
// adaptive models chosen by the level of the predictor sum w = 2a + b + c on a half-octave scale,
// so that counts with Poisson noise of the same size share statistics. Per channel:
// - low levels (P < 4): the count as one of {0, 1, 2, 3 or more}; counts of 3 or more add
//   count - 3 in Elias-gamma form;
// - higher levels: with k = floor((log2(P) + 1) / 2), about one Poisson standard deviation, and
//   m = x - P (x >= P) or P - 1 - x (x < P): one of 8 symbols for the sign and min(m >> k, 3);
//   (m >> k) - 3 in Elias-gamma form when that is 3 or more; then the low k bits of m as they are.
// Elias-gamma form of v: the length of v + 1 in unary with a model per position, the two bits
// after its leading one modelled, the rest as they are.
// Bits taken as they are go to a plain bit stream behind the range-coded part, which keeps them
// off the range decoder's serial path. Stream: range-coded byte count (varint), range-coded bytes,
// plain bits.
// Measured on real spectra, modelling the low bits, larger alphabets or a second alphabet stage
// for escapes cost more in learning or decoding time than they gain.
//
// The scaled version widens k where the prediction is poor: k is at least
// floor(log2(d)) with d the mean of the last two channels' distances |x - P| (at peaks and edges
// the prediction misses by far more than the Poisson noise).
// Measured on real spectra, contexts from the recent distances, finer steps, predictor blends and
// a Gaussian or unary residual coder all cost more than this; modelling the top low bit saved
// 0.2% for a fifth of the decoding speed.
#include "quantora/spectrum/internal/ContextModelCodec.h"

#include <algorithm>
#include <array>
#include <memory>

#include "quantora/spectrum/internal/BitStream.h"
#include "quantora/spectrum/internal/CountStream.h"
#include "quantora/spectrum/internal/RangeCoder.h"

namespace quantora {
namespace {

// w = 2a + b + c < 2^34, so the level is below 1 + 2 * 33 + 2.
constexpr int kLevels = 70;
constexpr int kDirectSymbols = 4;
constexpr int kHighSymbols = 4;
// Values in Elias-gamma form are below 2^32, so their length is at most 32.
constexpr int kMaxLength = 32;
constexpr int kUnaryContexts = 16;
constexpr int kMantissaContexts = 8;

inline int BitLength(uint64_t v) {
    return 64 - __builtin_clzll(v);
}

// 0 for 0, then two steps per power of two.
QUANTORA_INLINE int Level(uint64_t w) {
    if (w == 0) return 0;
    const int l = BitLength(w) - 1;
    return 1 + 2 * l + (l > 0 ? static_cast<int>((w >> (l - 1)) & 1) : 0);
}

struct GammaModels {
    BitModel unary[kUnaryContexts];
    BitModel mantissa[kMantissaContexts][3];
};

// Starting distribution of the residual symbols: since k scales m to about one standard deviation,
// their shape hardly depends on the level. A normal distribution of standard deviation 1.6 in units
// of 2^k, for both signs alike; it saves the learning of each level's models (0.5% of the size on
// real spectra).
constexpr std::array<uint16_t, 2 * kHighSymbols> kResidualPrior = {0,     6455,  11799, 14829,
                                                                   16384, 22839, 28183, 31213};
constexpr uint16_t kResidualPriorWeight = 8;

struct LevelModels {
    SymbolModel<kDirectSymbols> direct;
    SymbolModel<2 * kHighSymbols> residual{kResidualPrior, kResidualPriorWeight};
    GammaModels directEscape;
    GammaModels residualEscape[2];
};

// Plain bits written by the encoder and read back by the decoder, with the same signature.
struct PlainWriter {
    BitWriter bits;
    QUANTORA_INLINE uint64_t Raw(uint64_t value, int count) { return bits.Put(value, count); }
};
struct PlainReader {
    BitReader bits;
    QUANTORA_INLINE uint64_t Raw(uint64_t /*unused*/, int count) { return bits.Get(count); }
};

// Holds the coders themselves (not references), so that once everything is inlined their state
// lives in registers. Scaled selects the version that widens k by the recent distances.
template <class Coder, class Plain, bool Scaled>
class ChannelCoder {
  public:
    ChannelCoder(Coder coder, Plain plain)
        : coder_(coder), plain_(plain), models_(new LevelModels[kLevels]) {}

    Coder& coder() { return coder_; }
    Plain& plain() { return plain_; }

    // Codes count x (ignored when decoding) predicted from a, b, c; returns the count.
    QUANTORA_INLINE uint64_t Code(uint64_t a, uint64_t b, uint64_t c, uint64_t x) {
        const uint64_t w = 2 * a + b + c;
        const uint64_t p = (w + 2) >> 2;
        if constexpr (Scaled) {
            const uint64_t v = CodeLevel(w, p, x);
            const uint64_t d = v > p ? v - p : p - v;
            spread_ = (last_ + d) >> 1;
            last_ = d;
            return v;
        } else {
            return CodeLevel(w, p, x);
        }
    }

  private:
    QUANTORA_INLINE uint64_t CodeLevel(uint64_t w, uint64_t p, uint64_t x) {
        LevelModels& lm = models_[Level(w)];
        if (p < 4) {
            const int s = coder_.Symbol(
                lm.direct, static_cast<int>(std::min<uint64_t>(x, kDirectSymbols - 1)));
            if (s < kDirectSymbols - 1) return static_cast<uint64_t>(s);
            const uint64_t escape = Escape(lm.directEscape, x - (kDirectSymbols - 1));
            return Coder::kDecoding ? Checked(kDirectSymbols - 1 + escape) : x;
        }
        const int levelK = BitLength(p) >> 1;
        // spread_ < 2^32, so k <= 31.
        const int k = Scaled ? std::max(levelK, BitLength(spread_ | 1) - 1) : levelK;
        const bool below = x < p;
        const uint64_t m = below ? p - 1 - x : x - p;
        const int s = coder_.Symbol(
            lm.residual, (below ? kHighSymbols : 0) +
                             static_cast<int>(std::min<uint64_t>(m >> k, kHighSymbols - 1)));
        const int negative = s >= kHighSymbols;
        uint64_t high = static_cast<uint64_t>(s - (negative ? kHighSymbols : 0));
        if (high == kHighSymbols - 1) high += Escape(lm.residualEscape[negative], (m >> k) - high);
        const uint64_t low = plain_.Raw(m, k);
        // The encoder knows the count; only the decoder puts it together.
        if constexpr (!Coder::kDecoding) return x;
        const uint64_t mag = (high << k) | low;
        return Checked(negative ? static_cast<int64_t>(p) - 1 - static_cast<int64_t>(mag)
                                : static_cast<int64_t>(p + mag));
    }

    static QUANTORA_INLINE uint64_t Checked(int64_t value) {
        if (value < 0 || value > 0xFFFFFFFFll) ThrowDamagedCounts("count out of range");
        return static_cast<uint64_t>(value);
    }

    // Gamma() on the rare escapes. The encoder keeps it out of line, which leaves registers to its
    // main path; the decoder would have to save its state around the call.
    QUANTORA_INLINE uint64_t Escape(GammaModels& gm, uint64_t v) {
        if constexpr (Coder::kDecoding) {
            return Gamma(gm, v);
        } else {
            return GammaOutOfLine(gm, v);
        }
    }
    [[gnu::noinline]] uint64_t GammaOutOfLine(GammaModels& gm, uint64_t v) { return Gamma(gm, v); }

    // Codes v (ignored when decoding; below 2^32 when encoding) in Elias-gamma form.
    QUANTORA_INLINE uint64_t Gamma(GammaModels& gm, uint64_t v) {
        const uint64_t h = v + 1;
        int n = 0;
        if constexpr (Coder::kDecoding) {
            while (coder_.Bit(gm.unary[std::min(n, kUnaryContexts - 1)])) {
                if (++n > kMaxLength) ThrowDamagedCounts("value too long");
            }
        } else {
            const int length = BitLength(h) - 1;
            for (; n < length; ++n) coder_.Bit(gm.unary[std::min(n, kUnaryContexts - 1)], 1);
            coder_.Bit(gm.unary[std::min(n, kUnaryContexts - 1)], 0);
        }
        if (n == 0) return 0;
        BitModel* lead = gm.mantissa[std::min(n, kMantissaContexts - 1)];
        uint64_t d = 2 | coder_.Bit(lead[0], (h >> (n - 1)) & 1);
        if (n > 1) {
            d = (d << 1) | coder_.Bit(lead[d - 1], (h >> (n - 2)) & 1);
            d = (d << (n - 2)) | plain_.Raw(h, n - 2);
        }
        return d - 1;
    }

    Coder coder_;
    Plain plain_;
    std::unique_ptr<LevelModels[]> models_;
    uint64_t last_ = 0;    // |x - P| of the previous channel
    uint64_t spread_ = 0;  // mean of the last two such distances
};

template <bool Scaled>
void Encode(const uint32_t* counts, size_t n, AnsiString& out) {
    AnsiString coded, plain;
    ChannelCoder<RangeEncoder, PlainWriter, Scaled> coder(RangeEncoder(coded, n / 2),
                                                          PlainWriter{BitWriter(plain, n / 2)});
    uint64_t a = counts[0], b = a, c = a;
    for (size_t i = 1; i < n; ++i) {
        const uint64_t x = coder.Code(a, b, c, counts[i]);
        c = b;
        b = a;
        a = x;
    }
    coder.coder().Finish();
    coder.plain().bits.Finish();
    WriteVarint(out, coded.size());
    out += coded;
    out += plain;
}

template <bool Scaled>
void Decode(const uint8_t* data, size_t size, unsigned long* counts, size_t n) {
    size_t pos = 0;
    const uint64_t codedSize = ReadVarint(data, size, pos);
    if (codedSize > size - pos) ThrowDamagedCounts("coded part longer than the stream");
    const uint8_t* coded = data + pos;
    const uint8_t* plain = coded + codedSize;
    const uint64_t plainBits = uint64_t{size - pos - codedSize} * 8;
    ChannelCoder<RangeDecoder, PlainReader, Scaled> coder(RangeDecoder(coded, codedSize),
                                                          PlainReader{BitReader(plain)});
    const RangeDecoder& decoder = coder.coder();
    const BitReader& bits = coder.plain().bits;
    uint64_t a = counts[0], b = a, c = a;
    for (size_t i = 1; i < n; ++i) {
        const uint64_t x = coder.Code(a, b, c, 0);
        counts[i] = x;
        c = b;
        b = a;
        a = x;
        // Each channel reads a bounded number of bytes and bits, so a cut stream stops here,
        // before the plain bits run beyond the padding.
        if (!decoder.InBounds() || bits.Position() > plainBits)
            ThrowDamagedCounts("stream cut short");
    }
    if (!decoder.AtEnd() || !decoder.Consistent() || (bits.Position() + 7) / 8 * 8 != plainBits) {
        ThrowDamagedCounts("stream length does not match");
    }
}

}  // namespace

void EncodeContextModel(const uint32_t* counts, size_t n, AnsiString& out, bool scaled) {
    if (scaled) {
        Encode<true>(counts, n, out);
    } else {
        Encode<false>(counts, n, out);
    }
}

void DecodeContextModel(const uint8_t* data, size_t size, unsigned long* counts, size_t n,
                        bool scaled) {
    if (scaled) {
        Decode<true>(data, size, counts, n);
    } else {
        Decode<false>(data, size, counts, n);
    }
}

}  // namespace quantora
