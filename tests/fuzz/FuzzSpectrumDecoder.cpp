// Fuzz target: the spectrum codec's decoder on damaged streams and wrong stored values. The first
// ten bytes give the format code, the channel count and the start count; the rest is the stream.
// Decoding either throws (leaving no counts) or gives exactly `channels` counts starting with the
// start count, which the encoder must then reproduce in both modes.
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/spectrum/SpectrumCompressor.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 10) return 0;
    quantora::fuzz::ByteReader in(data, size);
    auto format = static_cast<uint16_t>(in.Int(2));
    auto channels = static_cast<int32_t>(in.Int(4));
    const auto startCount = static_cast<uint32_t>(in.Int(4));
    // Keep most runs at sizes a real spectrum has, so the fuzzer explores the stream decoders
    // rather than the size checks; a few bytes still reach every channel count.
    if (!(format & 0x8000)) channels &= 0x1ffff;
    format &= 0x7fff;
    const AnsiString stream = in.Bytes();

    SpectrumCompressor codec;
    try {
        codec.SetCompressedStream(stream, startCount, format, channels);
    } catch (const Exception&) {
        return 0;
    }
    std::vector<unsigned long> counts(5, 7);
    try {
        codec.GetCounts(&counts);
    } catch (const Exception&) {
        if (!counts.empty()) std::abort();  // a damaged stream leaves no counts
        return 0;
    }
    if (counts.size() != static_cast<size_t>(channels)) std::abort();
    if (channels > 0 && counts[0] != startCount) std::abort();
    for (unsigned long c : counts)
        if (c > 0xffffffffUL) std::abort();

    // A stream that decoded must describe counts the encoder accepts and decodes alike, in both
    // modes.
    for (bool fast : {false, true}) {
        unsigned short againFormat = 0;
        SpectrumCompressor again;
        const AnsiString recoded = again.GetCompressedStream(&counts, &againFormat, fast);
        again.SetCompressedStream(recoded, counts.empty() ? 0 : counts[0], againFormat,
                                  static_cast<int>(counts.size()));
        std::vector<unsigned long> back;
        again.GetCounts(&back);
        if (back != counts) std::abort();
    }
    return 0;
}
