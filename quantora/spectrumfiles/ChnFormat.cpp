// CHN: a 32-byte header, n 32-bit counts, and a 512-byte trailer with the energy and FWHM
// calibration and the detector and sample descriptions. Real files have short trailers; every
// field after the calibration is read only when the bytes are there.
#include <cmath>
#include <cstring>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/spectrumfiles/Formats.h"

namespace quantora::spectrumfiles {

namespace {

constexpr size_t kHeader = 32;
constexpr size_t kTrailer = 512;
constexpr const char* kMonths = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";

// "DDMMMYY" + century flag at 16, "HHMM" at 24, "SS" at 6; false when any part is malformed.
bool StartTime(const ByteReader& b, TDateTime& out) {
    const Sv date = b.Raw(16, 8), hhmm = b.Raw(24, 4), ss = b.Raw(6, 2);
    auto num = [](Sv s, int& v) {
        v = 0;
        for (char c : s) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + (c - '0');
        }
        return true;
    };
    CivilTime t;
    char month[4] = {0};
    for (int i = 0; i < 3; ++i) month[i] = static_cast<char>(std::toupper(date[2 + i]));
    const char* m = std::strstr(kMonths, month);
    int yy;
    if (!m || (m - kMonths) % 3 != 0 || !num(date.substr(0, 2), t.day) ||
        !num(date.substr(5, 2), yy) || !num(hhmm.substr(0, 2), t.hour) ||
        !num(hhmm.substr(2, 2), t.minute) || !num(ss, t.second))
        return false;
    t.month = static_cast<int>(m - kMonths) / 3 + 1;
    t.year = (date[7] == '0' ? 1900 : 2000) + yy;
    if (t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || t.second > 60) return false;
    out = EncodeDateTime(t);
    return true;
}

// A length byte and up to 63 characters, when the trailer holds them.
AnsiString Description(const ByteReader& b, size_t at) {
    if (!b.Has(at, 1)) return {};
    const size_t n = std::min<size_t>(b.U8(at), 63);
    return b.Has(at + 1, n) ? b.Text(at + 1, n) : AnsiString();
}

}  // namespace

void ReadChn(Sv bytes, const ReadContext& ctx, SpectrumFile& out) {
    const ByteReader b(bytes, ctx);
    b.Need(0, kHeader, "the header");
    if (b.I16(0) != -1) ctx.FailAt(0, "no CHN format tag (-1)");
    SpectrumFileData s;
    s.firstChannel = b.U16(28);
    const size_t n = b.U16(30);
    if (n == 0) ctx.FailAt(30, "zero channels");
    b.Need(kHeader, 4 * n, Format("%zu counts", n).c_str());
    s.counts.resize(n);
    for (size_t i = 0; i < n; ++i) s.counts[i] = b.U32(kHeader + 4 * i);

    s.realTime = b.U32(8) / 50.0;
    s.liveTime = b.U32(12) / 50.0;
    if (s.liveTime > s.realTime) {
        ctx.Warn(Format("live time %g s exceeds real time %g s as stored; swapped", s.liveTime,
                        s.realTime));
        std::swap(s.liveTime, s.realTime);
    }
    if (!StartTime(b, s.startTime)) {
        s.startTime = 0;
        ctx.Warn("unreadable start date or time at byte 6/16/24; start time left out");
    }
    s.detector = Format("MCA %d", b.I16(2));

    const size_t t = kHeader + 4 * n;
    const size_t trailer = b.Size() - t;
    if (trailer < 16) {
        ctx.Warn(Format("trailer at byte %zu holds %zu of 512 bytes; no calibration", t, trailer));
    } else {
        const int16_t tag = b.I16(t);
        if (tag != -101 && tag != -102)
            ctx.FailAt(t, Format("trailer tag %d (expected -101 or -102)", tag));
        s.energyCoeffs = {b.F32(t + 4), b.F32(t + 8)};
        if (tag == -102) s.energyCoeffs.push_back(b.F32(t + 12));
        if (s.energyCoeffs[0] == 0 && s.energyCoeffs[1] == 1 &&
            (s.energyCoeffs.size() == 2 || s.energyCoeffs[2] == 0)) {
            ctx.Warn("placeholder energy calibration (0 1 0) left out");
            s.energyCoeffs.clear();
        }
        CheckEnergyCoeffs(s.energyCoeffs, ctx);
        if (b.Has(t + 16, 12)) {
            s.fwhmCoeffs = {b.F32(t + 16), b.F32(t + 20), b.F32(t + 24)};
            CheckFwhmCoeffs(s.fwhmCoeffs);
        }
        const AnsiString detector = Description(b, t + 256);
        if (!detector.empty()) s.detector = detector;
        if (trailer >= kTrailer)
            s.title = Description(b, t + 320);
        else
            ctx.Warn(
                Format("trailer at byte %zu holds %zu of 512 bytes; sample description "
                       "left out",
                       t, trailer));
        if (trailer > kTrailer)
            ctx.Warn(Format("%zu bytes after the trailer ignored", trailer - kTrailer));
    }
    for (size_t i = 0; i < n; ++i)
        if (s.counts[i] >= 0x80000000ul) {
            ctx.Warn(Format("channel %zu holds %lu (bit 31 set)", i, s.counts[i]));
            break;
        }
    out.spectra.push_back(std::move(s));
}

}  // namespace quantora::spectrumfiles
