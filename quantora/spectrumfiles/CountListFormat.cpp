// One unsigned count per line. In the IAEA layout the first two values are the real and live
// time in whole seconds and stand in place of channels 0 and 1; other programs write the bare
// counts. Which one a file is cannot be told for certain, so the caller may choose.
#include "quantora/base/Format.h"
#include "quantora/spectrumfiles/Formats.h"

namespace quantora::spectrumfiles {

namespace {
constexpr unsigned long kPlausibleSeconds = 100000000;  // about three years
}

void ReadCountList(Sv text, const ReadContext& ctx, AscLayout layout, SpectrumFile& out) {
    SpectrumFileData s;
    LineReader lines(text);
    CountRounding rounding(ctx);
    for (Sv line; lines.Next(line);) {
        if (line.empty()) continue;
        unsigned long c;
        if (!rounding.Read(line, lines.Number(), c))
            ctx.FailLine(lines.Number(), "not a count: '" + Excerpt(line) + "'");
        if (s.counts.size() >= kMaxChannels)
            ctx.FailLine(lines.Number(), Format("more than %zu channels", kMaxChannels));
        s.counts.push_back(c);
    }
    lines.RequireFinalLineEnd(ctx);
    if (s.counts.empty()) ctx.Fail("no counts");
    rounding.Report();
    WarnUncommonLength(s, ctx);
    const auto& v = s.counts;
    const bool plausible = v.size() >= 3 && v[0] >= v[1] && v[1] > 0 && v[0] <= kPlausibleSeconds;
    if (layout == AscLayout::TimesInFirstChannels || (layout == AscLayout::Auto && plausible)) {
        if (v.size() < 3) ctx.Fail("too few lines for times and counts");
        if (plausible) {
            s.realTime = static_cast<double>(v[0]);
            s.liveTime = static_cast<double>(v[1]);
        } else {
            ctx.Warn(Format("times in channels 0 and 1 (real %lu, live %lu) unusable; left out",
                            v[0], v[1]));
        }
        s.counts[0] = s.counts[1] = 0;
    }
    out.spectra.push_back(std::move(s));
}

bool IsCountList(Sv text) {
    LineReader lines(text);
    int seen = 0;
    unsigned long c;
    for (Sv line; seen < kProbeLines && lines.Next(line);) {
        if (line.empty()) continue;
        if (!ToCount(line, c)) return false;
        ++seen;
    }
    return seen > 0;
}

}  // namespace quantora::spectrumfiles
