// Binary SPC: 128-byte records. Record 1 holds pointers (1-based record numbers) to the other
// records, the channel count, the start as days since 1979 and the real and live times; counts
// are 32-bit integers (file type 1) or floats (type 5).
#include <cmath>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/spectrumfiles/Formats.h"

namespace quantora::spectrumfiles {

namespace {

constexpr size_t kRecord = 128;

// The byte offset of the record a header word points to; 0 when the pointer is 0 or outside.
size_t Record(const ByteReader& b, size_t wordOffset, const char* what) {
    const int16_t r = b.I16(wordOffset);
    if (r == 0) return 0;
    if (r < 2 || static_cast<size_t>(r) * kRecord > b.Size()) {
        b.Context().Warn(Format("%s pointer %d at byte %zu lies outside the file; left out", what,
                                r, wordOffset));
        return 0;
    }
    return (static_cast<size_t>(r) - 1) * kRecord;
}

}  // namespace

void ReadSpc(Sv bytes, const ReadContext& ctx, SpectrumFile& out) {
    const ByteReader b(bytes, ctx);
    b.Need(0, kRecord, "the header record");
    if (b.Size() % kRecord != 0)
        ctx.FailAt(b.Size() - b.Size() % kRecord,
                   Format("file length %zu is not a whole number of 128-byte records", b.Size()));
    const int16_t type = b.I16(2);
    if (b.I16(0) != 1 || (type != 1 && type != 5))
        ctx.FailAt(0, Format("header words %d %d (expected 1, then 1 or 5)", b.I16(0), type));
    const int16_t first = b.I16(60), records = b.I16(62);
    const size_t n = b.U16(64);
    if (first < 2 || records < 1)
        ctx.FailAt(60, Format("spectrum records %d from record %d", records, first));
    if (n == 0 || n > 32 * static_cast<size_t>(records))
        ctx.FailAt(64, Format("%zu channels do not fit %d spectrum records", n, records));
    const size_t data = (static_cast<size_t>(first) - 1) * kRecord;
    b.Need(data, 4 * n, Format("%zu counts", n).c_str());

    SpectrumFileData s;
    s.counts.resize(n);
    size_t repaired = 0;
    for (size_t i = 0; i < n; ++i) {
        if (type == 1) {
            s.counts[i] = b.U32(data + 4 * i);
            continue;
        }
        const double v = b.F32(data + 4 * i);
        const bool ok = std::isfinite(v) && v >= 0 && v <= kMaxCount;
        repaired += ok ? v != std::round(v) : 1;
        s.counts[i] = ok ? static_cast<unsigned long>(std::lround(v)) : 0;
    }
    if (repaired)
        ctx.Warn(Format("%zu real-valued counts rounded, or zeroed when negative or not finite",
                        repaired));

    s.realTime = b.F32(90);
    s.liveTime = b.F32(94);
    if (!std::isfinite(s.realTime) || !std::isfinite(s.liveTime) || s.realTime < 0 ||
        s.liveTime < 0) {
        ctx.Warn("unusable real or live time at byte 90/94; left out");
        s.realTime = s.liveTime = -1;
    }
    WarnLiveOverReal(s, ctx);
    // Days since 1979-01-01 00:00, to the second (the text copy holds whole seconds).
    const double days = b.F64(72);
    if (std::isfinite(days) && days > 0 && days < 100000) {
        const double seconds = std::round(days * 86400.0);
        s.startTime = static_cast<double>(DaysFromCivil(1979, 1, 1)) + seconds / 86400.0;
    } else {
        ctx.Warn("unusable start (days since 1979) at byte 72; left out");
    }
    if (size_t r = Record(b, 10, "sample description")) s.title = b.Text(r, kRecord);
    if (size_t r = Record(b, 12, "detector description")) s.detector = b.Text(r, kRecord);
    if (size_t r = Record(b, 106, "location")) {
        const AnsiString location = b.Text(r, kRecord);
        if (!location.empty()) s.remarks.push_back("location: " + location);
    }
    if (size_t r = Record(b, 34, "calibration")) {
        s.energyCoeffs = {b.F32(r + 20), b.F32(r + 24), b.F32(r + 28)};
        CheckEnergyCoeffs(s.energyCoeffs, ctx);
        s.fwhmCoeffs = {b.F32(r + 32), b.F32(r + 36), b.F32(r + 40)};
        CheckFwhmCoeffs(s.fwhmCoeffs);
    }
    out.spectra.push_back(std::move(s));
}

}  // namespace quantora::spectrumfiles
