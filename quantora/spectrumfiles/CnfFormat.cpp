// CNF: a block-structured binary file. A directory of 48-byte entries from 0x70 names each
// block's id and offset; the acquisition block (ACQP) holds times and calibration, the sample
// block (SAMP) the title, the channel data block the counts. Floats are PDP-11 singles, times
// 100-ns ticks since 1858-11-17, durations negated tick counts.
#include <cmath>
#include <cstring>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/spectrumfiles/Formats.h"

namespace quantora::spectrumfiles {

namespace {

constexpr uint32_t kAcqp = 0x12000, kSamp = 0x12001, kChannelData = 0x12005;
constexpr size_t kDirectory = 0x70, kEntry = 48, kBlockHeader = 0x30;
constexpr double kTicksPerSecond = 1e7;

// A PDP-11 single: swap the 16-bit halves, read as IEEE, divide by 4. NaN when the exponent is
// the largest one (which has no IEEE equivalent).
double Pdp11(const ByteReader& b, size_t at) {
    const uint32_t raw = b.U32(at);
    const uint32_t bits = (raw << 16) | (raw >> 16);
    if (((bits >> 23) & 0xff) == 0) return 0.0;
    if (((bits >> 23) & 0xff) == 0xff) return std::nan("");
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f / 4.0;
}

// A duration in seconds; negative when absent or in the (unsupported) years form.
double Duration(const ByteReader& b, size_t at) {
    if (b.U8(at + 7) == 0x80) {
        b.Context().Warn(Format("duration at byte %zu in years; left out", at));
        return -1;
    }
    const int64_t v = static_cast<int64_t>(b.U64(at));
    return v == 0 ? -1.0 : -static_cast<double>(v) / kTicksPerSecond;
}

struct Blocks {
    size_t acqp = 0, samp = 0, channels = 0;
};

Blocks Directory(const ByteReader& b) {
    Blocks found;
    for (size_t at = kDirectory; b.Has(at, kEntry); at += kEntry) {
        const uint32_t id = b.U32(at);
        if (id == 0) break;
        size_t* slot = id == kAcqp          ? &found.acqp
                       : id == kSamp        ? &found.samp
                       : id == kChannelData ? &found.channels
                                            : nullptr;
        if (!slot || *slot) continue;  // the first block of each id
        const size_t offset = b.U32(at + 0x0A);
        b.Need(offset, kBlockHeader, "a block header");
        if (b.U32(offset) != id)
            b.Context().FailAt(offset, Format("block header id 0x%x differs from its directory "
                                              "entry 0x%x at byte %zu",
                                              b.U32(offset), id, at));
        *slot = offset;
    }
    return found;
}

void ReadAcquisition(const ByteReader& b, size_t a, size_t channels, SpectrumFileData& s) {
    const ReadContext& ctx = b.Context();
    const size_t d = a + kBlockHeader, r = d + b.U16(a + 0x22), tm = d + b.U16(a + 0x24);
    // Pulse-height analysis ("PHA+", or nothing) gives a gamma spectrum; multichannel scaling
    // gives counts per time bin, which no energy axis describes.
    const AnsiString mode = b.Has(d + 0x80, 4) ? b.Text(d + 0x80, 4) : AnsiString();
    if (mode.rfind("MCS", 0) == 0)
        ctx.FailAt(d + 0x80, "measurement mode '" + mode +
                                 "': a multichannel-scaling record (counts per time bin), not a "
                                 "gamma spectrum");
    if (!mode.empty() && mode.rfind("PHA", 0) != 0)
        ctx.Warn(
            Format("measurement mode '%s' at byte %zu is not pulse-height analysis: the "
                   "counts may not be a gamma spectrum",
                   mode.c_str(), d + 0x80));
    if (b.Has(d + 0x89, 4) && b.U32(d + 0x89) != channels)
        ctx.Warn(Format("acquisition block gives %u channels, the channel data block %zu",
                        b.U32(d + 0x89), channels));
    const uint64_t ticks = b.U64(tm + 1);
    if (ticks != 0) {
        const double seconds = static_cast<double>(ticks) / kTicksPerSecond;
        s.startTime = static_cast<double>(DaysFromCivil(1858, 11, 17)) + seconds / 86400.0;
        if (s.startTime < DaysFromCivil(1900, 1, 1) || s.startTime > DaysFromCivil(2200, 1, 1)) {
            ctx.Warn(Format("start at byte %zu lies outside 1900-2200; left out", tm + 1));
            s.startTime = 0;
        }
    }
    s.realTime = Duration(b, tm + 0x09);
    s.liveTime = Duration(b, tm + 0x11);
    WarnLiveOverReal(s, ctx);
    for (size_t k = 0; k < 4; ++k) s.energyCoeffs.push_back(Pdp11(b, r + 0x44 + 4 * k));
    while (s.energyCoeffs.size() > 2 && s.energyCoeffs.back() == 0) s.energyCoeffs.pop_back();
    if (s.energyCoeffs.size() == 2 && s.energyCoeffs[0] == 0 && s.energyCoeffs[1] == 0.5)
        ctx.Warn("energy calibration is the default 0.5 keV per channel (probably none)");
    CheckEnergyCoeffs(s.energyCoeffs, ctx);
    for (size_t k = 0; k < 4; ++k) s.fwhmCoeffs.push_back(Pdp11(b, r + 0xDC + 4 * k));
    CheckFwhmCoeffs(s.fwhmCoeffs);
    s.detector = b.Has(r + 0x108, 16) ? b.Text(r + 0x108, 16) : AnsiString();
}

// The sample block's descriptive texts, as remarks.
void ReadSampleFields(const ByteReader& b, size_t data, SpectrumFileData& s) {
    static constexpr struct {
        size_t at, size;
        const char* label;
    } kFields[] = {{0x40, 16, "sample id"},
                   {0x80, 16, "sample type"},
                   {0x2A6, 24, "user"},
                   {0x33E, 256, "description"}};
    for (const auto& f : kFields) {
        const AnsiString text = b.Has(data + f.at, f.size) ? b.Text(data + f.at, f.size) : "";
        if (!text.empty()) s.remarks.push_back(AnsiString(f.label) + ": " + text);
    }
}

}  // namespace

void ReadCnf(Sv bytes, const ReadContext& ctx, SpectrumFile& out) {
    const ByteReader b(bytes, ctx);
    b.Need(0, kDirectory + kEntry, "the file header and directory");
    if (b.U16(0) != 0x0400) ctx.FailAt(0, Format("file tag 0x%04x (expected 0x0400)", b.U16(0)));
    if (b.U32(0x0A) != b.Size())
        ctx.FailAt(0x0A, Format("the header gives a file length of %u bytes, the file has %zu",
                                b.U32(0x0A), b.Size()));
    const Blocks blocks = Directory(b);
    if (!blocks.channels) ctx.FailAt(kDirectory, "the directory names no channel data block");
    SpectrumFileData s;
    const size_t n = b.U16(blocks.channels + 0x2A);
    if (n == 0) ctx.FailAt(blocks.channels + 0x2A, "zero channels");
    const size_t data =
        blocks.channels + b.U16(blocks.channels + 0x10) + b.U16(blocks.channels + 0x28);
    b.Need(data, 4 * n, Format("%zu counts", n).c_str());
    s.counts.resize(n);
    for (size_t i = 0; i < n; ++i) s.counts[i] = b.U32(data + 4 * i);
    if (blocks.acqp)
        ReadAcquisition(b, blocks.acqp, n, s);
    else
        ctx.Warn("no acquisition block: times and calibration left out");
    if (blocks.samp && b.Has(blocks.samp + kBlockHeader, 64))
        s.title = b.Text(blocks.samp + kBlockHeader, 64);
    if (blocks.samp) ReadSampleFields(b, blocks.samp + kBlockHeader, s);
    out.spectra.push_back(std::move(s));
}

}  // namespace quantora::spectrumfiles
