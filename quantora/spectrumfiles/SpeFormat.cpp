// ASCII SPE: "$NAME:" sections. Tolerates CR LF or LF, several counts per line, a coefficient
// count written "%2", a unit after the coefficients, and sections of other programs (each
// reported as a warning).
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/spectrumfiles/Formats.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"

namespace quantora::spectrumfiles {

namespace {

// Sections that hold nothing this reader keeps, but are part of the format.
constexpr Sv kIgnoredSections[] = {
    "$ROI:", "$PRESETS:", "$ENER_FIT:", "$MCA_REPEAT:", "$ENER_DATA:", "$SPEC_INFO:", "$DET_INFO:"};

// "mm/dd/yyyy hh:mm:ss" (or a two-digit year), the time maybe on a 12-hour clock with "AM" or
// "PM" after it (12 AM is midnight, 12 PM noon); false when it does not look like that.
bool ParseSpeDate(Sv s, TDateTime& out) {
    CivilTime t;
    const AnsiString text(s);
    int used = 0;
    if (std::sscanf(text.c_str(), "%d/%d/%d%n", &t.month, &t.day, &t.year, &used) < 3) return false;
    const char* time = text.c_str() + used;
    if (std::sscanf(time, "%d:%d%n:%d%n", &t.hour, &t.minute, &used, &t.second, &used) >= 2) {
        const AnsiString half(Trim(Sv(time + used)));
        const bool am = half == "AM" || half == "am", pm = half == "PM" || half == "pm";
        if ((am || pm) && (t.hour < 1 || t.hour > 12)) return false;
        if (am || pm) t.hour = t.hour % 12 + (pm ? 12 : 0);
    }
    if (t.year >= 0 && t.year < 100) t.year += t.year < 70 ? 2000 : 1900;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.year < 1900 || t.year > 2200 ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60)
        return false;
    out = EncodeDateTime(t);
    return true;
}

// The sections of a text, read line by line; a section's body ends at the next '$' line.
class Sections {
  public:
    explicit Sections(Sv text) : lines_(text) { more_ = lines_.Next(line_); }
    // The next section header; false at the end.
    bool NextHeader(Sv& header) {
        while (more_ && (line_.empty() || line_.front() != '$')) more_ = lines_.Next(line_);
        if (!more_) return false;
        header = line_;
        headerLine_ = lines_.Number();
        more_ = lines_.Next(line_);
        return true;
    }
    // The next body line of the current section; false at its end.
    bool Body(Sv& line) {
        if (!more_ || (!line_.empty() && line_.front() == '$')) return false;
        line = line_;
        more_ = lines_.Next(line_);
        return true;
    }
    size_t Line() const { return lines_.Number() - (more_ ? 1 : 0); }  // of the last body line
    size_t HeaderLine() const { return headerLine_; }

  private:
    LineReader lines_;
    Sv line_;
    bool more_ = false;
    size_t headerLine_ = 0;
};

// A coefficient section: a count line (written "3", "%2", ...), then the coefficients, maybe
// followed by a unit.
std::vector<double> ReadCoefficients(Sections& sec, const ReadContext& ctx, Sv name) {
    Sv countLine, values;
    if (!sec.Body(countLine) || !sec.Body(values)) {
        ctx.Warn(AnsiString(name) +
                 Format(" at line %zu is incomplete; left out", sec.HeaderLine()));
        return {};
    }
    int n = 0;
    for (char c : countLine)
        if (c >= '0' && c <= '9') n = std::min(n * 10 + (c - '0'), 100);
    std::vector<double> coeffs;
    ForEachToken(values, [&](Sv t) {
        double v;
        if (!ToDouble(t, v)) return false;
        coeffs.push_back(v);
        return true;
    });
    if (n != static_cast<int>(coeffs.size()))
        ctx.Warn(AnsiString(name) + Format(" announces %d coefficients and holds %zu (line %zu)", n,
                                           coeffs.size(), sec.Line()));
    return coeffs;
}

void ReadData(Sections& sec, const ReadContext& ctx, SpectrumFileData& s) {
    // The range line, read in place: it may be the whole file.
    Sv range;
    long bounds[2] = {-1, -1};
    int n = 0;
    if (sec.Body(range))
        ForEachToken(range, [&](Sv t) {
            auto r = std::from_chars(t.data(), t.data() + t.size(), bounds[n]);
            return r.ec == std::errc() && r.ptr == t.data() + t.size() && ++n < 2;
        });
    const long first = bounds[0], last = bounds[1];
    if (n != 2 || first < 0 || last < first || static_cast<size_t>(last) >= kMaxChannels)
        ctx.FailLine(sec.HeaderLine() + 1, "malformed $DATA: channel range");
    const size_t want = static_cast<size_t>(last - first + 1);
    s.firstChannel = static_cast<int>(first);
    s.counts.reserve(want);
    CountRounding rounding(ctx);
    for (Sv line; sec.Body(line);) {
        ForEachToken(line, [&](Sv t) {
            unsigned long c;
            if (!rounding.Read(t, sec.Line(), c))
                ctx.FailLine(sec.Line(), "malformed count '" + Excerpt(t) + "'");
            if (s.counts.size() == want)
                ctx.FailLine(sec.Line(), Format("more counts than the %zu announced", want));
            s.counts.push_back(c);
            return true;
        });
    }
    if (s.counts.size() != want)
        ctx.FailLine(sec.Line(), Format("$DATA: announces %zu channels, the file has %zu", want,
                                        s.counts.size()));
    rounding.Report();
}

}  // namespace

void ReadSpe(Sv text, const ReadContext& ctx, SpectrumFile& out) {
    SpectrumFileData s;
    Sections sec(text);
    bool haveData = false;
    for (Sv header; sec.NextHeader(header);) {
        Sv line;
        if (header == "$SPEC_ID:") {
            if (sec.Body(line)) s.title = AnsiString(line);
        } else if (header == "$SPEC_REM:") {
            while (sec.Body(line)) {
                if (line.rfind("DETDESC#", 0) == 0)
                    s.detector = AnsiString(Trim(line.substr(8)));
                else if (!Trim(line).empty())
                    s.remarks.emplace_back(Trim(line));
            }
        } else if (header == "$DATE_MEA:") {
            if (!sec.Body(line) || !ParseSpeDate(line, s.startTime))
                ctx.Warn(Format("unreadable $DATE_MEA: at line %zu; start time left out",
                                sec.HeaderLine()));
        } else if (header == "$MEAS_TIM:") {
            double t[2] = {-1, -1};
            int n = 0;
            if (sec.Body(line))
                ForEachToken(line,
                             [&](Sv tok) { return ToDouble(tok, t[n]) && t[n] >= 0 && ++n < 2; });
            if (n != 2)
                ctx.FailLine(sec.HeaderLine() + 1,
                             "malformed $MEAS_TIM: line (expected live and real time)");
            s.liveTime = t[0];
            s.realTime = t[1];
        } else if (header == "$DATA:") {
            if (haveData) ctx.FailLine(sec.HeaderLine(), "a second $DATA: section");
            ReadData(sec, ctx, s);
            haveData = true;
        } else if (header == "$MCA_CAL:") {
            s.energyCoeffs = ReadCoefficients(sec, ctx, header);
            CheckEnergyCoeffs(s.energyCoeffs, ctx);
        } else if (header == "$SHAPE_CAL:") {
            s.fwhmCoeffs = ReadCoefficients(sec, ctx, header);
            CheckFwhmCoeffs(s.fwhmCoeffs);
        } else if (std::find(std::begin(kIgnoredSections), std::end(kIgnoredSections), header) ==
                   std::end(kIgnoredSections)) {
            ctx.Warn(Format("section %s at line %zu not read", Excerpt(header).c_str(),
                            sec.HeaderLine()));
        }
        while (sec.Body(line)) {
        }
    }
    if (!haveData) ctx.FailLine(sec.Line(), "the file ends without a $DATA: section");
    WarnLiveOverReal(s, ctx);
    out.spectra.push_back(std::move(s));
}

}  // namespace quantora::spectrumfiles

namespace quantora {

using spectrumfiles::ShortestNumber;

AnsiString FormatSpe(const SpectrumFileData& s) {
    // Texts stay on their line and never start with '$': either would read as a section.
    auto line = [](AnsiString t) {
        std::replace_if(
            t.begin(), t.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        t = AnsiString(spectrumfiles::Trim(t));
        if (!t.empty() && t.front() == '$') t.front() = '_';
        return t;
    };
    AnsiString out;
    out.reserve(s.counts.size() * 10 + 512);
    out += "$SPEC_ID:\r\n" + (s.title.empty() ? AnsiString("spectrum") : line(s.title)) + "\r\n";
    out += "$SPEC_REM:\r\n";
    if (!s.detector.empty()) out += "DETDESC# " + line(s.detector) + "\r\n";
    for (const AnsiString& r : s.remarks) out += line(r) + "\r\n";
    if (s.startTime > 0) {
        CivilTime c = DecodeDateTime(s.startTime);
        out += Format("$DATE_MEA:\r\n%02d/%02d/%04d %02d:%02d:%02d\r\n", c.month, c.day, c.year,
                      c.hour, c.minute, c.second);
    }
    if (s.liveTime >= 0 && s.realTime >= 0)
        out += "$MEAS_TIM:\r\n" + ShortestNumber(s.liveTime) + " " + ShortestNumber(s.realTime) +
               "\r\n";
    out += Format("$DATA:\r\n%d %zu\r\n", s.firstChannel,
                  s.firstChannel + (s.counts.empty() ? 0 : s.counts.size() - 1));
    char buf[32];
    for (unsigned long c : s.counts) {
        int n = std::snprintf(buf, sizeof buf, "%8lu\r\n", c);
        out.append(buf, static_cast<size_t>(n));
    }
    auto coefficients = [&](const char* name, const std::vector<double>& v, const char* unit) {
        if (v.empty()) return;
        out += Format("%s\r\n%zu\r\n", name, v.size());
        for (size_t i = 0; i < v.size(); ++i) out += (i ? " " : "") + ShortestNumber(v[i]);
        out += AnsiString(unit) + "\r\n";
    };
    coefficients("$MCA_CAL:", s.energyCoeffs, " keV");
    coefficients("$SHAPE_CAL:", s.fwhmCoeffs, "");
    return out;
}

}  // namespace quantora
