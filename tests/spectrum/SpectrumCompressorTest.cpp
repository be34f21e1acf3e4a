// SpectrumCompressor: round trips of edge-case spectra in both modes, pinned streams, and damaged
// or mismatched streams (the fuzz target explores damage further; bench/spectrum measures the
// shared real spectra).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/spectrum/SpectrumCompressor.h"
#include "quantora/spectrum/internal/CountStream.h"

namespace {

using Counts = std::vector<unsigned long>;
using quantora::kSpectrumFormatBlockRice;
using quantora::kSpectrumFormatContextModel;
using quantora::kSpectrumFormatEmpty;
using quantora::kSpectrumFormatScaledContextModel;
using quantora::kSpectrumFormatStored;

struct Stored {
    AnsiString stream;
    unsigned short format = 0;
};

Stored Compress(const Counts& counts, bool fast) {
    Stored s;
    SpectrumCompressor c;
    s.stream = c.GetCompressedStream(&counts, &s.format, fast);
    return s;
}

// Expands as SPECTRUMData does: STARTCOUNT is the first count, CHANNELS the number of counts.
Counts Expand(const Stored& s, unsigned long startCount, int channels) {
    SpectrumCompressor c;
    c.SetCompressedStream(s.stream, startCount, s.format, channels);
    Counts out{99};
    c.GetCounts(&out);
    return out;
}

// A short spectrum with a continuum, a peak and empty channels, for the damage tests.
Counts ShortSpectrum() {
    std::mt19937 rng(7);
    Counts counts;
    for (int i = 0; i < 200; ++i) {
        double mean = 40.0 * std::exp(-i / 60.0) + 2000.0 * std::exp(-(i - 90) * (i - 90) / 8.0);
        if (i > 150) mean = 0.2;
        counts.push_back(std::poisson_distribution<unsigned long>(mean)(rng));
    }
    return counts;
}

// Small deterministic spectra for the pinned streams below: sparse, a sloped continuum with a peak,
// and noise with one maximal count.
Counts GoldenSpectrum(int kind) {
    Counts c;
    uint32_t s = 12345u + static_cast<uint32_t>(kind);
    for (unsigned long i = 0; i < 48; ++i) {
        s = s * 1103515245u + 12345u;
        const unsigned long noise = (s >> 16) % 7;
        c.push_back(kind == 0   ? (i % 5 == 0 ? noise % 3 : 0)
                    : kind == 1 ? 900 + 20 * i + (i > 20 && i < 28 ? 4000 : 0) + noise * 9
                                : (i == 7 ? 0xFFFFFFFFul : (s >> 8) % 50000));
    }
    return c;
}

AnsiString FromHex(const std::string& hex) {
    AnsiString out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Streams as written by each format, checksum included: stored rows must decode forever, and the
// encoder must keep writing exactly these bytes (a changed format needs a new code). The default
// mode no longer writes format 4.
TEST(SpectrumCompressor, PinnedStreamsOfEveryFormat) {
    const struct {
        Counts counts;
        bool fast;
        unsigned short format;
        const char* hex;
    } pinned[] = {
        {GoldenSpectrum(0), false, kSpectrumFormatContextModel, "30febef27e09210c664e0f23a1cc87"},
        {GoldenSpectrum(0), true, kSpectrumFormatBlockRice, "30febef27ea0523245115d"},
        {GoldenSpectrum(1), false, kSpectrumFormatContextModel,
         "307d5fd7bb19346b8daf0290b65f816d29d0d3c434a2ed98a9ed93e6c93700d857e61563a0cc5acb00c3bdcc3"
         "07f5a6b75b119be2180f6e088377c09acf20a00"},
        {GoldenSpectrum(1), false, kSpectrumFormatScaledContextModel,
         "307d5fd7bb14346b8daf0290b65dfa0bd8f8af1fcf3dfe357350d857e61563a0cc5acb00c3bdccd0ffe9ab414"
         "3"
         "5d6ce6dd784200d01e1cf1862f81555e01"},
        {GoldenSpectrum(1), true, kSpectrumFormatBlockRice,
         "307d5fd7bb09e1e4514d0cf9a4104b2c0354d44c155554d240400de4d443390080a001f9a3f46ad2a8e60200c"
         "0738079b1714203a4914f409d2cd04323795454482cd5c451c500"},
        {GoldenSpectrum(2), false, kSpectrumFormatContextModel,
         "30e47018303df3ebab34cbaa486324e374a5773ddf789ddb585402bdd47b5a8aac58803988fa5ea215cf02209"
         "cfe4791ee6f573443f53e4c1103fa0e73eeb977507f3fc92a7b92449ef7f3f8ff5bfd7f6be9ff2745ff5fa0c9"
         "3ddfd3e4097b5269bd18063f285c3f5dccf129daf4bba284f98171c2d2d36a319a0f3fadbfa1f568b071956b6"
         "357038003"},
        {{0xFFFFFFFFul, 0, 0x80000000ul, 12345},
         false,
         kSpectrumFormatStored,
         "0495dbcdc4ffffffff000000000000008039300000"},
        {{7, 7, 8, 6, 7}, true, kSpectrumFormatBlockRice, "05887cebfc008901"},
    };
    for (const auto& p : pinned) {
        SCOPED_TRACE(p.hex);
        const Stored stored{FromHex(p.hex), p.format};
        EXPECT_EQ(Expand(stored, p.counts[0], static_cast<int>(p.counts.size())), p.counts);
        if (p.format == kSpectrumFormatContextModel) continue;
        const Stored now = Compress(p.counts, p.fast);
        EXPECT_EQ(now.format, p.format);
        EXPECT_EQ(now.stream, stored.stream);
    }
    // The coded length of a context-model body one byte past its end is refused before decoding:
    // header (1 + 4 bytes), then the coded length 9 and 9 coded bytes.
    AnsiString past = FromHex(pinned[0].hex);
    ASSERT_EQ(past[5], 9);
    past[5] = 10;
    try {
        Expand(Stored{past, kSpectrumFormatContextModel}, 0, 48);
        ADD_FAILURE() << "a coded length past the end was read";
    } catch (const Exception& e) {
        EXPECT_NE(e.Message.find("coded part longer than the stream"), std::string::npos)
            << e.Message;
    }
}

TEST(SpectrumCompressor, EdgeSpectraRoundTripInBothModes) {
    std::mt19937 rng(1);
    Counts alternating(3000), random(5000), lowBits(5000), steps(2000);
    for (size_t i = 0; i < alternating.size(); ++i) alternating[i] = i % 2 ? 0xFFFFFFFFul : 0;
    for (auto& c : random) c = rng();
    for (auto& c : lowBits) c = rng() >> (rng() % 32);
    for (size_t i = 0; i < steps.size(); ++i) steps[i] = i < 700 ? 3 : i < 1400 ? 0xFFFFFFF0ul : 1;
    // A flat spectrum with one outlier per 64-channel block, 1 to 40 over its neighbours: the
    // outliers' codes run from short ones to escapes.
    Counts outliers(64 * 41, 5);
    for (size_t j = 1; j <= 40; ++j) outliers[64 * j + 10] += j;
    std::vector<Counts> cases = {
        alternating,     random,         lowBits,           steps,           outliers,
        ShortSpectrum(), {0xFFFFFFFFul}, {3, 0xFFFFFFFFul}, Counts(16384, 0)};
    for (int n : {63, 64, 65, 129}) cases.emplace_back(n, 7);  // around the fast block size
    for (const Counts& counts : cases) {
        for (bool fast : {false, true}) {
            SCOPED_TRACE(::testing::Message() << counts.size() << " channels, fast " << fast);
            const Stored s = Compress(counts, fast);
            // Nothing grows by more than the header beyond the raw counts.
            EXPECT_LE(s.stream.size(), 4 * counts.size() + 9);
            // STARTCOUNT is a signed 32-bit column: 0xFFFFFFFF comes back as -1.
            const long column = static_cast<int>(static_cast<uint32_t>(counts[0]));
            EXPECT_EQ(
                Expand(s, static_cast<unsigned long>(column), static_cast<int>(counts.size())),
                counts);
        }
    }
    // Incompressible counts fall back to the stored format.
    EXPECT_EQ(Compress(random, false).format, kSpectrumFormatStored);
}

// Empty spectra, values that cannot be stored, and rows whose values do not fit their stream: a
// cut, lengthened or damaged stream, a wrong format, channel count or first count (a failed load
// leaves the compressor empty); a header claiming the largest channel count over a few bytes
// allocates nothing.
TEST(SpectrumCompressor, EmptyAndMismatchedRowsAreRefused) {
    for (bool fast : {false, true}) {
        const Stored s = Compress(Counts{}, fast);
        EXPECT_EQ(s.format, kSpectrumFormatEmpty);
        EXPECT_TRUE(s.stream.empty() && Expand(s, 0, 0).empty());
    }
    SpectrumCompressor c;
    unsigned short format = 0;
    const Counts tooLarge{1, 0x100000000ul};
    EXPECT_THROW(c.SetCompressedStream("", 0, kSpectrumFormatEmpty, 3), Exception);
    EXPECT_THROW(c.SetCompressedStream("x", 0, kSpectrumFormatEmpty, 0), Exception);
    EXPECT_THROW(c.GetCompressedStream(&tooLarge, &format, false), Exception);

    const Counts counts = ShortSpectrum();
    const int n = static_cast<int>(counts.size());
    Counts random(50);
    std::mt19937 rng(3);
    for (auto& v : random) v = rng();
    const Stored stored = Compress(random, false);
    ASSERT_EQ(stored.format, kSpectrumFormatStored);
    for (bool fast : {false, true}) {
        const Stored s = Compress(counts, fast);
        const unsigned short other = fast ? kSpectrumFormatContextModel : kSpectrumFormatBlockRice;
        AnsiString flipped = s.stream;
        flipped[flipped.size() / 2] = static_cast<char>(~flipped[flipped.size() / 2]);
        const struct {
            Stored s;
            unsigned long first;
            int channels;
        } bad[] = {{{s.stream, 0}, counts[0], n},
                   {{s.stream, 6}, counts[0], n},
                   {{s.stream, 0xFFFF}, counts[0], n},
                   {s, counts[0], n - 1},
                   {s, counts[0], n + 1},
                   {s, counts[0], -1},
                   {s, counts[0], 0x7FFFFFFF},
                   {{s.stream, other}, counts[0], n},
                   {s, counts[0] + 1, n},  // a wrong first count fails the checksum
                   {{s.stream.substr(0, s.stream.size() - 1), s.format}, counts[0], n},
                   {{s.stream + AnsiString(1, '\0'), s.format}, counts[0], n},
                   {{flipped, s.format}, counts[0], n},  // damage inside the coded counts
                   {{stored.stream + "x", stored.format}, random[0], 50},
                   {stored, random[0] ^ 1, 50}};
        for (const auto& b : bad) EXPECT_THROW(Expand(b.s, b.first, b.channels), Exception);
        c.SetCompressedStream(s.stream, counts[0], s.format, n);
        EXPECT_THROW(c.SetCompressedStream(s.stream, counts[0], s.format, n + 1), Exception);
        Counts out{1};
        c.GetCounts(&out);
        EXPECT_TRUE(out.empty());
    }
    AnsiString hostile;
    for (uint32_t v = quantora::kMaxSpectrumChannels; v; v >>= 7)
        hostile.push_back(static_cast<char>((v & 0x7F) | (v >= 0x80 ? 0x80 : 0)));
    hostile += AnsiString(12, '\0');
    for (unsigned short f : {kSpectrumFormatStored, kSpectrumFormatBlockRice,
                             kSpectrumFormatContextModel, kSpectrumFormatScaledContextModel})
        EXPECT_THROW(c.SetCompressedStream(hostile, 0, f, quantora::kMaxSpectrumChannels),
                     Exception);
}

}  // namespace
