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
#include "quantora/spectrum/internal/BlockRiceCodec.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "quantora/spectrum/internal/BitStream.h"
#include "quantora/spectrum/internal/CountStream.h"

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

QUANTORA_INLINE void PutRice(BitWriter& out, uint64_t u, int k) {
    const uint64_t q = u >> k;
    if (q >= kEscape) {
        out.Put(0, kEscape);
        out.Put(u, 32);
        out.Put(u >> 32, kLiteralBits - 32);
    } else if (q + 1 + k <= 32) {
        // The unary quotient and the low bits in one go.
        out.PutExact((uint64_t{1} << q) | ((u & ((uint64_t{1} << k) - 1)) << (q + 1)),
                     static_cast<int>(q) + 1 + k);
    } else {
        out.Put(uint64_t{1} << q, static_cast<int>(q) + 1);
        out.Put(u, k);
    }
}

// The candidate Rice parameters of a block: kCandidates of them, from a lowest one up.
constexpr int kCandidates = 5;
using RiceCosts = std::array<uint64_t, kCandidates>;

using U64x2 = uint64_t __attribute__((vector_size(16)));

// Bits of the Rice codes of u[0..count) for each parameter k0 + j, j < kCandidates. The quotient
// sums of all candidates are taken two values at a time.
RiceCosts CostsFrom(const uint64_t* u, size_t count, int k0) {
    U64x2 sums[kCandidates] = {};
    U64x2 pairs = {};
    size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        U64x2 v;
        std::memcpy(&v, u + i, sizeof v);
        pairs |= v;
#pragma GCC unroll 5
        for (int j = 0; j < kCandidates; ++j) sums[j] += v >> (k0 + j);
    }
    RiceCosts cost;
    uint64_t any = pairs[0] | pairs[1];
    for (int j = 0; j < kCandidates; ++j) cost[j] = sums[j][0] + sums[j][1];
    if (i < count) {
        any |= u[i];
        for (int j = 0; j < kCandidates; ++j) cost[j] += u[i] >> (k0 + j);
    }
    // Each code is its quotient plus 1 + k bits, but for the escaped ones.
    for (int j = 0; j < kCandidates; ++j) cost[j] += count * static_cast<uint64_t>(1 + k0 + j);
    if ((any >> k0) < kEscape) return cost;
    for (size_t i = 0; i < count; ++i) {
        if ((u[i] >> k0) < kEscape) continue;
        for (int j = 0; j < kCandidates; ++j) {
            const uint64_t q = u[i] >> (k0 + j);
            if (q >= kEscape) cost[j] += RiceBits(u[i], k0 + j) - (q + 1 + k0 + j);
        }
    }
    return cost;
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

void EncodeBlock(const uint32_t* counts, size_t s, size_t e, BitWriter& out) {
    const size_t len = e - s;
    uint64_t zz[kBlock];
    uint64_t sum = 0;
    size_t nonzero = 0;
    History h = HistoryAt(counts, s);
    for (size_t i = s; i < e; ++i) {
        const uint64_t x = counts[i];
        const uint64_t u = ZigZag(static_cast<int64_t>(x) - static_cast<int64_t>(h.Predict()));
        zz[i - s] = u;
        sum += u;
        nonzero += x != 0;
        h.Push(x);
    }
    // The best Rice parameter lies next to log2 of the mean value: try only the neighbours, the
    // first of the least cost.
    const int k0 = BitLength(sum / len);
    const int kLow = std::max(0, k0 - 3);
    const RiceCosts costs = CostsFrom(zz, len, kLow);
    uint64_t best = ~uint64_t{0};
    int bestK = 0;
    for (int k = kLow; k <= std::min(kMaxK, k0 + 1); ++k) {
        if (costs[k - kLow] < best) best = costs[k - kLow], bestK = k;
    }
    // A sparse block can only pay where some channels are empty; its parameters, too, lie next to
    // log2 of the mean gap and count. Gaps and counts cost apart: a pair costs the sum.
    bool sparse = false;
    int bestG = 0, bestV = 0;
    // The gap before each non-zero count and that count minus one (stored for every channel, kept
    // only where the count is non-zero).
    uint64_t gaps[kBlock + 1], values[kBlock];
    if (8 * nonzero <= 7 * len) {
        uint64_t valueSum = 0;
        size_t kept = 0, last = s;
        for (size_t i = s; i < e; ++i) {
            const uint64_t x = counts[i];
            gaps[kept] = i - last;
            values[kept] = x - 1;
            valueSum += x;
            kept += x != 0;
            last = x ? i + 1 : last;
        }
        gaps[nonzero] = e - last;
        const int g0 = BitLength((len - nonzero) / (nonzero + 1));
        const int v0 = nonzero ? BitLength((valueSum - nonzero) / nonzero) : 0;
        const int gLow = std::max(0, g0 - 2), vLow = std::max(0, v0 - 2);
        const RiceCosts gapCosts = CostsFrom(gaps, nonzero + 1, gLow);
        const RiceCosts valueCosts = CostsFrom(values, nonzero, vLow);
        for (int g = gLow; g <= std::min(kMaxGapK, g0 + 1); ++g) {
            for (int v = vLow; v <= std::min(kMaxValueK, v0 + 1); ++v) {
                const uint64_t bits = gapCosts[g - gLow] + valueCosts[v - vLow];
                if (bits < best) best = bits, sparse = true, bestG = g, bestV = v;
            }
        }
    }
    if (!sparse) {
        out.Put(static_cast<uint64_t>(bestK), 8);
        for (size_t j = 0; j < len; ++j) PutRice(out, zz[j], bestK);
        return;
    }
    out.Put(kSparseFlag | (bestG << 4) | bestV, 8);
    for (size_t j = 0; j < nonzero; ++j) {
        PutRice(out, gaps[j], bestG);
        PutRice(out, values[j], bestV);
    }
    PutRice(out, gaps[nonzero], bestG);
}

}  // namespace

void EncodeBlockRice(const uint32_t* counts, size_t n, AnsiString& out) {
    BitWriter writer(out, n / 2);
    for (size_t s = 1; s < n; s += kBlock) EncodeBlock(counts, s, std::min(n, s + kBlock), writer);
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
