// SpectrumCompressor: picks a format, writes and checks the stream header, and dispatches to the
// coders.
#include "quantora/spectrum/SpectrumCompressor.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <utility>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/spectrum/internal/BitStream.h"
#include "quantora/spectrum/internal/BlockRiceCodec.h"
#include "quantora/spectrum/internal/ContextModelCodec.h"
#include "quantora/spectrum/internal/CountStream.h"

using namespace quantora;

namespace {

const uint8_t* Bytes(const AnsiString& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// The most channels a coded stream of `size` bytes can hold. Every channel costs the coders at
// least a minimum number of bits (the context model at least 1/800 bit, as every symbol keeps a
// share of at least 29/32768 of the range; the block coder 16 bits per 64 channels), so a damaged
// CHANNELS value or header cannot make the decoder allocate far beyond the stream's size.
uint64_t MaxChannels(unsigned short format, size_t size) {
    switch (format) {
        case kSpectrumFormatStored:
            return size / 4;
        case kSpectrumFormatBlockRice:
            return (uint64_t{size} + 16) * 64;
        default:
            return (uint64_t{size} + 16) * 8192;
    }
}

}  // namespace

AnsiString SpectrumCompressor::GetCompressedStream(const std::vector<unsigned long>* counts,
                                                   unsigned short* format, bool option) {
    if (!counts || !format)
        throw quantora::MisuseError("SpectrumCompressor: no counts or no format given");
    const size_t n = counts->size();
    if (n == 0) {
        *format = kSpectrumFormatEmpty;
        return AnsiString();
    }
    if (n > static_cast<size_t>(kMaxSpectrumChannels)) {
        throw quantora::MisuseError(Format(
            "SpectrumCompressor: %zu channels exceed the limit of %d", n, kMaxSpectrumChannels));
    }
    // Checked all at once, then narrowed: both loops vectorise.
    const unsigned long* src = counts->data();
    unsigned long bits = 0;
    for (size_t i = 0; i < n; ++i) bits |= src[i];
    if (bits > 0xFFFFFFFFul) {
        const size_t i = static_cast<size_t>(
            std::find_if(src, src + n, [](unsigned long c) { return c > 0xFFFFFFFFul; }) - src);
        throw quantora::MisuseError(Format(
            "SpectrumCompressor: count %lu of channel %zu does not fit in 32 bits", src[i], i));
    }
    const std::unique_ptr<uint32_t[]> buffer(new uint32_t[n]);
    uint32_t* values = buffer.get();
    for (size_t i = 0; i < n; ++i) values[i] = static_cast<uint32_t>(src[i]);

    AnsiString out;
    WriteCountHeader(out, n, CountChecksum(values, n));
    const size_t headerSize = out.size();
    if (option) {
        EncodeBlockRice(values, n, out);
        *format = kSpectrumFormatBlockRice;
    } else {
        EncodeContextModel(values, n, out, true);
        *format = kSpectrumFormatScaledContextModel;
    }
    if (out.size() >= headerSize + 4 * n) {
        // Coding did not pay: store the counts as they are.
        out.resize(headerSize);
        for (size_t k = 0; k < n; ++k) {
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<char>((values[k] >> (8 * i)) & 0xFF));
        }
        *format = kSpectrumFormatStored;
    }
    return out;
}

void SpectrumCompressor::SetCompressedStream(AnsiString stream, unsigned long startCount,
                                             unsigned short format, int channels) {
    // Stay empty until everything has been checked.
    stream_.clear();
    size_ = 0;
    format_ = kSpectrumFormatEmpty;
    channels_ = 0;
    startCount_ = 0;

    if (channels < 0 || channels > kMaxSpectrumChannels) {
        throw Exception(Format("SpectrumCompressor: invalid channel count %d", channels));
    }
    const size_t n = static_cast<size_t>(channels);
    switch (format) {
        case kSpectrumFormatEmpty:
            if (n != 0 || !stream.empty()) {
                throw Exception(
                    Format("SpectrumCompressor: format %u holds no channels, but %d "
                           "channels and %zu bytes were given",
                           format, channels, stream.size()));
            }
            return;
        case kSpectrumFormatStored:
        case kSpectrumFormatBlockRice:
        case kSpectrumFormatContextModel:
        case kSpectrumFormatScaledContextModel: {
            const CountHeader header = ReadCountHeader(Bytes(stream), stream.size());
            if (header.channels != n) {
                throw Exception(
                    Format("SpectrumCompressor: the stream holds %zu channels, but %d "
                           "were given",
                           header.channels, channels));
            }
            if (n == 0) ThrowDamagedCounts("coded stream without channels");
            const size_t body = stream.size() - header.size;
            if (format == kSpectrumFormatStored ? body != 4 * n : n > MaxChannels(format, body)) {
                throw Exception(
                    Format("SpectrumCompressor: a stream of %zu bytes cannot hold %d "
                           "channels in format %u",
                           stream.size(), channels, format));
            }
            break;
        }
        default:
            throw Exception(Format("SpectrumCompressor: unknown count data format %u", format));
    }
    size_ = stream.size();
    stream_ = std::move(stream);
    // The decoders read whole words and may look a little past the end.
    stream_.append(kBitReaderPadding, '\0');
    format_ = format;
    channels_ = n;
    startCount_ = startCount & 0xFFFFFFFFul;
}

void SpectrumCompressor::GetCounts(std::vector<unsigned long>* counts) {
    if (!counts) throw quantora::MisuseError("SpectrumCompressor: no count vector given");
    counts->clear();
    if (format_ == kSpectrumFormatEmpty) return;
    counts->resize(channels_);
    unsigned long* out = counts->data();
    const uint8_t* data = Bytes(stream_);
    try {
        const CountHeader header = ReadCountHeader(data, size_);
        const uint8_t* body = data + header.size;
        const size_t bodySize = size_ - header.size;
        switch (format_) {
            case kSpectrumFormatStored:
                for (size_t i = 0; i < channels_; ++i) {
                    uint32_t v;
                    std::memcpy(&v, body + 4 * i, 4);
                    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
                    out[i] = v;
                }
                if (out[0] != startCount_) {
                    throw Exception(Format(
                        "SpectrumCompressor: the stream starts with count %lu, but %lu was given",
                        out[0], startCount_));
                }
                break;
            case kSpectrumFormatBlockRice:
                out[0] = startCount_;
                DecodeBlockRice(body, bodySize, out, channels_);
                break;
            default:
                out[0] = startCount_;
                DecodeContextModel(body, bodySize, out, channels_,
                                   format_ == kSpectrumFormatScaledContextModel);
                break;
        }
        if (CountChecksum(out, channels_) != header.checksum) {
            ThrowDamagedCounts("checksum mismatch");
        }
    } catch (...) {
        counts->clear();
        throw;
    }
}
