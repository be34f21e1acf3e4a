// Block-wise Rice coding of spectrum counts.
//
// Bits are packed least significant first. A block starts with an 8-bit header:
//   0 0 0 k k k k k  residual block: each channel's residual x - P, P = (2a + b + c + 2) / 4 from
//                    the previous three counts, zigzag-mapped and Rice-coded with parameter k;
//   1 g g g v v v v  sparse block: the run of zero channels before each non-zero count
//                    (Rice parameter g) followed by that count minus one (parameter v); a final
//                    run reaches the end of the block.
// A Rice code of value u is q = u >> k zero bits, a one bit, then the low k bits of u. Quotients of
// kEscape or more are written as kEscape zero bits followed by u in kLiteralBits bits.
#include "quantora/spectrum/BlockRiceCodec.h"

#include <algorithm>
#include <vector>

#include "quantora/spectrum/BitStream.h"
#include "quantora/spectrum/CountStream.h"

namespace quantora {
namespace {

constexpr size_t kBlock = 64;
constexpr int kEscape = 23;
// Zigzag residuals of 32-bit counts are below 2^33.
constexpr int kLiteralBits = 33;
constexpr int kMaxK = 31;
constexpr int kMaxGapK = 7;
constexpr int kMaxValueK = 15;
constexpr uint8_t kSparseFlag = 0x80;

// The longest a block can be: header and, in a sparse block, an escaped gap and value per channel
// plus the final gap. The decoder checks its position only between blocks.
constexpr size_t kMaxCodeBits = kEscape + kLiteralBits;
constexpr size_t kMaxBlockBits = 8 + kBlock * 2 * kMaxCodeBits + kMaxCodeBits;
static_assert(kMaxBlockBits / 8 + 16 <= kBitReaderPadding);

inline uint64_t ZigZag(int64_t r) {
    return (static_cast<uint64_t>(r) << 1) ^ static_cast<uint64_t>(r >> 63);
}
inline int64_t UnZigZag(uint64_t u) {
    return static_cast<int64_t>(u >> 1) ^ -static_cast<int64_t>(u & 1);
}

inline int BitLength(uint64_t v) {
    return v ? 64 - __builtin_clzll(v) : 0;
}

inline uint64_t RiceBits(uint64_t u, int k) {
    const uint64_t q = u >> k;
    return q < kEscape ? q + 1 + k : kEscape + kLiteralBits;
}

void PutRice(BitWriter& out, uint64_t u, int k) {
    const uint64_t q = u >> k;
    if (q < kEscape) {
        out.Put(uint64_t{1} << q, static_cast<int>(q) + 1);
        if (k) out.Put(u, k);
    } else {
        out.Put(0, kEscape);
        out.Put(u, 32);
        out.Put(u >> 32, kLiteralBits - 32);
    }
}

QUANTORA_INLINE uint64_t GetRice(BitReader& in, int k) {
    const uint64_t w = in.Peek();
    if ((w & ((uint64_t{1} << kEscape) - 1)) == 0) {
        in.Skip(kEscape);
        const uint64_t low = in.Get(32);
        return low | (in.Get(kLiteralBits - 32) << 32);
    }
    const int q = __builtin_ctzll(w);
    in.Skip(q + 1 + k);
    return (static_cast<uint64_t>(q) << k) | ((w >> (q + 1)) & ((uint64_t{1} << k) - 1));
}

struct History {
    uint64_t a, b, c;
    uint64_t Predict() const { return (2 * a + b + c + 2) >> 2; }
    void Push(uint64_t x) {
        c = b;
        b = a;
        a = x;
    }
};

// The predictor history just before channel i (channels before 0 repeat channel 0).
template <class T>
History HistoryAt(const T* counts, size_t i) {
    auto at = [&](size_t d) -> uint64_t { return counts[i >= d ? i - d : 0]; };
    return History{at(1), at(2), at(3)};
}

void EncodeBlock(const uint32_t* counts, size_t s, size_t e, BitWriter& out,
                 std::vector<uint64_t>& zz) {
    History h = HistoryAt(counts, s);
    zz.clear();
    for (size_t i = s; i < e; ++i) {
        zz.push_back(ZigZag(static_cast<int64_t>(counts[i]) - static_cast<int64_t>(h.Predict())));
        h.Push(counts[i]);
    }
    // The best Rice parameter lies next to log2 of the mean value: try only the neighbours.
    uint64_t sum = 0;
    for (uint64_t u : zz) sum += u;
    const int k0 = BitLength(sum / zz.size());
    uint64_t best = ~uint64_t{0};
    int bestK = 0;
    for (int k = std::max(0, k0 - 3); k <= std::min(kMaxK, k0 + 1); ++k) {
        uint64_t bits = 0;
        for (uint64_t u : zz) bits += RiceBits(u, k);
        if (bits < best) best = bits, bestK = k;
    }
    // A sparse block can only pay where some channels are empty; its parameters, too, lie next to
    // log2 of the mean gap and count.
    size_t nonzero = 0;
    uint64_t valueSum = 0;
    for (size_t i = s; i < e; ++i) {
        nonzero += counts[i] != 0;
        valueSum += counts[i];
    }
    bool sparse = false;
    int bestG = 0, bestV = 0;
    if (8 * nonzero <= 7 * (e - s)) {
        const int g0 = BitLength((e - s - nonzero) / (nonzero + 1));
        const int v0 = nonzero ? BitLength((valueSum - nonzero) / nonzero) : 0;
        for (int g = std::max(0, g0 - 2); g <= std::min(kMaxGapK, g0 + 1); ++g) {
            for (int v = std::max(0, v0 - 2); v <= std::min(kMaxValueK, v0 + 1); ++v) {
                uint64_t bits = 0;
                size_t last = s;
                for (size_t i = s; i < e && bits < best; ++i) {
                    if (!counts[i]) continue;
                    bits += RiceBits(i - last, g) + RiceBits(counts[i] - 1u, v);
                    last = i + 1;
                }
                bits += RiceBits(e - last, g);
                if (bits < best) best = bits, sparse = true, bestG = g, bestV = v;
            }
        }
    }
    if (!sparse) {
        out.Put(static_cast<uint64_t>(bestK), 8);
        for (uint64_t u : zz) PutRice(out, u, bestK);
        return;
    }
    out.Put(kSparseFlag | (bestG << 4) | bestV, 8);
    size_t last = s;
    for (size_t i = s; i < e; ++i) {
        if (!counts[i]) continue;
        PutRice(out, i - last, bestG);
        PutRice(out, counts[i] - 1u, bestV);
        last = i + 1;
    }
    PutRice(out, e - last, bestG);
}

}  // namespace

void EncodeBlockRice(const uint32_t* counts, size_t n, AnsiString& out) {
    BitWriter writer(out);
    std::vector<uint64_t> zz;
    zz.reserve(kBlock);
    for (size_t s = 1; s < n; s += kBlock)
        EncodeBlock(counts, s, std::min(n, s + kBlock), writer, zz);
    writer.Finish();
}

void DecodeBlockRice(const uint8_t* data, size_t size, unsigned long* counts, size_t n) {
    BitReader in(data);
    const uint64_t limit = uint64_t{size} * 8;
    for (size_t s = 1; s < n; s += kBlock) {
        const size_t e = std::min(n, s + kBlock);
        const uint32_t header = static_cast<uint32_t>(in.Get(8));
        if (header & kSparseFlag) {
            const int g = (header >> 4) & 7, v = header & 15;
            std::fill(counts + s, counts + e, 0ul);
            size_t i = s;
            for (;;) {
                const uint64_t gap = GetRice(in, g);
                if (gap > e - i) ThrowDamagedCounts("run beyond block end");
                i += gap;
                if (i == e) break;
                const uint64_t x = GetRice(in, v) + 1;
                if (x > 0xFFFFFFFFu) ThrowDamagedCounts("count out of range");
                counts[i++] = x;
            }
        } else {
            if (header > kMaxK) ThrowDamagedCounts("unknown block header");
            const int k = static_cast<int>(header);
            History h = HistoryAt(counts, s);
            for (size_t i = s; i < e; ++i) {
                const uint64_t x = h.Predict() + static_cast<uint64_t>(UnZigZag(GetRice(in, k)));
                if (x > 0xFFFFFFFFu) ThrowDamagedCounts("count out of range");
                counts[i] = x;
                h.Push(x);
            }
        }
        if (in.Position() > limit) ThrowDamagedCounts("stream cut short");
    }
    if ((in.Position() + 7) / 8 != size) ThrowDamagedCounts("stream length does not match");
}

}  // namespace quantora
