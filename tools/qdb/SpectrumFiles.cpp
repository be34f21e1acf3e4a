// Reading SPE and N42 spectrum files, writing SPE.
#include "tools/qdb/SpectrumFiles.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"

namespace quantora {

namespace {

using Sv = std::string_view;

// Largest count a channel may hold (the storage keeps 32-bit counts).
constexpr double kMaxCount = 4294967295.0;
// More channels than any spectrometer gives means a broken file.
constexpr size_t kMaxChannels = size_t{1} << 24;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

Sv Trim(Sv s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Splits whitespace-separated tokens of `s`, calling f(token) for each; stops when f is false.
template <class F>
void ForEachToken(Sv s, F&& f) {
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsSpace(s[i])) ++i;
        size_t j = i;
        while (j < s.size() && !IsSpace(s[j])) ++j;
        if (j > i && !f(s.substr(i, j - i))) return;
        i = j;
    }
}

bool ToDouble(Sv tok, double& out) {
    // from_chars does not take a leading '+'.
    if (!tok.empty() && tok.front() == '+') tok.remove_prefix(1);
    auto r = std::from_chars(tok.data(), tok.data() + tok.size(), out);
    return r.ec == std::errc() && r.ptr == tok.data() + tok.size() && std::isfinite(out);
}

// A channel count: a non-negative whole number (written as "12" or "12.000").
bool ToCount(Sv tok, unsigned long& out) {
    double v;
    if (!ToDouble(tok, v) || v < 0 || v > kMaxCount || v != std::floor(v)) return false;
    out = static_cast<unsigned long>(v);
    return true;
}

[[noreturn]] void Bad(const AnsiString& source, const AnsiString& what) {
    throw Exception(source + ": " + what);
}

// ---- SPE ------------------------------------------------------------------------------------

// "mm/dd/yyyy hh:mm:ss"; false when it does not look like that.
bool ParseSpeDate(Sv s, TDateTime& out) {
    CivilTime t;
    AnsiString text(Trim(s));
    if (std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &t.month, &t.day, &t.year, &t.hour,
                    &t.minute, &t.second) < 3)
        return false;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.year < 1900) return false;
    out = EncodeDateTime(t);
    return true;
}

}  // namespace

bool HasEnergyCalibration(const SpectrumFileData& s) {
    if (s.energyCoeffs.size() < 2) return false;
    for (double c : s.energyCoeffs)
        if (!std::isfinite(c)) return false;
    return s.energyCoeffs[1] > 0;
}

SpectrumFileData ParseSpe(const AnsiString& text, const AnsiString& source) {
    SpectrumFileData s;
    s.format = "SPE";
    // The file as lines, then sections introduced by "$NAME:" lines.
    std::vector<Sv> lines;
    Sv all(text);
    for (size_t pos = 0; pos <= all.size();) {
        size_t nl = all.find('\n', pos);
        if (nl == Sv::npos) nl = all.size();
        lines.push_back(Trim(all.substr(pos, nl - pos)));
        pos = nl + 1;
    }
    bool haveData = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        Sv l = lines[i];
        if (l.empty() || l.front() != '$') continue;
        size_t next = i + 1;  // first line of the section body
        if (l == "$SPEC_ID:") {
            if (next < lines.size() && (lines[next].empty() || lines[next].front() != '$'))
                s.name = AnsiString(lines[next]);
        } else if (l == "$MEAS_TIM:") {
            double live = 0, real = 0;
            int n = 0;
            if (next < lines.size())
                ForEachToken(lines[next], [&](Sv t) {
                    double v;
                    if (!ToDouble(t, v) || v < 0) return false;
                    (n == 0 ? live : real) = v;
                    return ++n < 2;
                });
            if (n != 2) Bad(source, "malformed $MEAS_TIM: line (expected live and real time)");
            s.liveTime = live;
            s.realTime = real;
        } else if (l == "$DATE_MEA:") {
            if (next < lines.size()) ParseSpeDate(lines[next], s.startTime);
        } else if (l == "$MCA_CAL:") {
            // The number of coefficients on its own line, then the coefficients (maybe a unit).
            int n = 0;
            if (next + 1 >= lines.size() ||
                std::sscanf(AnsiString(lines[next]).c_str(), "%d", &n) != 1 || n < 1 || n > 10)
                Bad(source, "malformed $MCA_CAL: section");
            ForEachToken(lines[next + 1], [&](Sv t) {
                double v;
                if (!ToDouble(t, v)) return false;
                s.energyCoeffs.push_back(v);
                return static_cast<int>(s.energyCoeffs.size()) < n;
            });
            if (static_cast<int>(s.energyCoeffs.size()) != n)
                Bad(source, "malformed $MCA_CAL: coefficients");
        } else if (l == "$DATA:") {
            long first = -1, last = -1;
            if (next >= lines.size() ||
                std::sscanf(AnsiString(lines[next]).c_str(), "%ld %ld", &first, &last) != 2 ||
                first < 0 || last < first || last - first >= (1L << 24))
                Bad(source, "malformed $DATA: channel range");
            const size_t want = static_cast<size_t>(last - first + 1);
            s.counts.assign(static_cast<size_t>(first), 0);
            s.counts.reserve(static_cast<size_t>(last + 1));
            size_t j = next + 1;
            bool bad = false;
            for (; j < lines.size() && s.counts.size() < static_cast<size_t>(last + 1); ++j) {
                if (!lines[j].empty() && lines[j].front() == '$') break;
                ForEachToken(lines[j], [&](Sv t) {
                    unsigned long c;
                    if (!ToCount(t, c)) {
                        bad = true;
                        return false;
                    }
                    s.counts.push_back(c);
                    return true;
                });
                if (bad) Bad(source, Format("malformed count in line %zu", j + 1));
            }
            if (s.counts.size() != static_cast<size_t>(last + 1))
                Bad(source, Format("$DATA: announces %zu channels, the file has %zu", want,
                                   s.counts.size() - static_cast<size_t>(first)));
            haveData = true;
            i = j - 1;
        }
    }
    if (!haveData) Bad(source, "no $DATA: section (not an SPE file)");
    return s;
}

// ---- N42 ------------------------------------------------------------------------------------

namespace {

// One element found by the scanner: its attribute text and content.
struct XmlElement {
    size_t begin = Sv::npos;  // '<' of the start tag
    size_t end = Sv::npos;    // after the end tag (or the empty tag)
    Sv attrs;
    Sv content;
    bool found() const { return begin != Sv::npos; }
};

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' ||
           c == ':';
}

// The name of the tag starting after '<' at `p` (prefix included); empty for comments etc.
Sv TagName(Sv text, size_t p) {
    size_t q = p;
    while (q < text.size() && IsNameChar(text[q])) ++q;
    return text.substr(p, q - p);
}

bool LocalNameIs(Sv qname, Sv local) {
    size_t colon = qname.rfind(':');
    return (colon == Sv::npos ? qname : qname.substr(colon + 1)) == local;
}

// The first element with local name `local` in text[from, to).
XmlElement FindElement(Sv text, Sv local, size_t from = 0, size_t to = Sv::npos) {
    XmlElement e;
    if (to > text.size()) to = text.size();
    for (size_t p = text.find('<', from); p != Sv::npos && p < to; p = text.find('<', p + 1)) {
        if (p + 1 >= text.size()) break;
        if (text.compare(p, 4, "<!--") == 0) {
            size_t c = text.find("-->", p);
            if (c == Sv::npos) break;
            p = c;
            continue;
        }
        Sv qname = TagName(text, p + 1);
        if (qname.empty() || !LocalNameIs(qname, local)) continue;
        size_t gt = text.find('>', p);
        if (gt == Sv::npos || gt >= to) break;
        size_t nameEnd = p + 1 + qname.size();
        bool empty = text[gt - 1] == '/';
        e.begin = p;
        e.attrs = text.substr(nameEnd, (empty ? gt - 1 : gt) - nameEnd);
        if (empty) {
            e.end = gt + 1;
            return e;
        }
        // The matching end tag: same qualified name, nesting of the same name counted.
        int depth = 1;
        size_t q = gt + 1;
        while (depth > 0) {
            size_t lt = text.find('<', q);
            if (lt == Sv::npos || lt >= to) return XmlElement{};
            bool closing = lt + 1 < text.size() && text[lt + 1] == '/';
            Sv n = TagName(text, lt + (closing ? 2 : 1));
            size_t g = text.find('>', lt);
            if (g == Sv::npos) return XmlElement{};
            if (n == qname) {
                if (closing)
                    --depth;
                else if (text[g - 1] != '/')
                    ++depth;
            }
            if (depth == 0) {
                e.content = text.substr(gt + 1, lt - gt - 1);
                e.end = g + 1;
                return e;
            }
            q = g + 1;
        }
    }
    return e;
}

// The value of attribute `name` (local name) in an attribute text; empty when absent.
Sv Attribute(Sv attrs, Sv name) {
    size_t i = 0;
    while (i < attrs.size()) {
        while (i < attrs.size() && IsSpace(attrs[i])) ++i;
        size_t n0 = i;
        while (i < attrs.size() && IsNameChar(attrs[i])) ++i;
        Sv key = attrs.substr(n0, i - n0);
        while (i < attrs.size() && IsSpace(attrs[i])) ++i;
        if (i >= attrs.size() || attrs[i] != '=') {
            if (i == n0) ++i;
            continue;
        }
        ++i;
        while (i < attrs.size() && IsSpace(attrs[i])) ++i;
        if (i >= attrs.size()) break;
        char quote = attrs[i];
        if (quote != '"' && quote != '\'') continue;
        size_t close = attrs.find(quote, i + 1);
        if (close == Sv::npos) break;
        Sv value = attrs.substr(i + 1, close - i - 1);
        i = close + 1;
        if (!key.empty() && LocalNameIs(key, name)) return value;
    }
    return {};
}

std::vector<double> Numbers(Sv s, const AnsiString& source, const char* what) {
    std::vector<double> out;
    ForEachToken(s, [&](Sv t) {
        double v;
        if (!ToDouble(t, v))
            Bad(source, Format("malformed number '%s' in %s", AnsiString(t).c_str(), what));
        out.push_back(v);
        return true;
    });
    return out;
}

// The last element named `local` that starts before `before`.
XmlElement LastElementBefore(Sv text, Sv local, size_t before) {
    XmlElement last;
    for (XmlElement e = FindElement(text, local, 0, before); e.found() && e.begin < before;
         e = FindElement(text, local, e.end, before))
        last = e;
    return last;
}

}  // namespace

double ParseIsoDuration(const AnsiString& text) {
    Sv s = Trim(text);
    if (s.size() < 3 || s[0] != 'P') throw Exception("malformed duration '" + text + "'");
    s.remove_prefix(1);
    double total = 0;
    bool inTime = false, any = false;
    while (!s.empty()) {
        if (s.front() == 'T') {
            inTime = true;
            s.remove_prefix(1);
            continue;
        }
        size_t k = 0;
        while (k < s.size() && (std::isdigit(static_cast<unsigned char>(s[k])) || s[k] == '.')) ++k;
        double v;
        if (k == 0 || k >= s.size() || !ToDouble(s.substr(0, k), v))
            throw Exception("malformed duration '" + text + "'");
        char unit = s[k];
        double f = unit == 'D' && !inTime  ? 86400.0
                   : unit == 'H' && inTime ? 3600.0
                   : unit == 'M' && inTime ? 60.0
                   : unit == 'S' && inTime ? 1.0
                                           : -1.0;
        if (f < 0) throw Exception("malformed duration '" + text + "'");
        total += v * f;
        any = true;
        s.remove_prefix(k + 1);
    }
    if (!any) throw Exception("malformed duration '" + text + "'");
    return total;
}

SpectrumFileData ParseN42(const AnsiString& text, const AnsiString& detector,
                          const AnsiString& source) {
    Sv t(text);
    SpectrumFileData s;
    s.format = "N42";
    // The chosen <Spectrum>: the first, or the one whose Detector (2006) or id (2011) matches.
    XmlElement chosen;
    std::vector<AnsiString> seen;
    for (XmlElement e = FindElement(t, "Spectrum"); e.found();
         e = FindElement(t, "Spectrum", e.end)) {
        AnsiString det(Attribute(e.attrs, "Detector"));
        if (det.empty()) det = AnsiString(Attribute(e.attrs, "radDetectorInformationReference"));
        AnsiString id(Attribute(e.attrs, "id"));
        if (detector.empty() || detector == det || detector == id) {
            chosen = e;
            s.detector = det.empty() ? id : det;
            break;
        }
        seen.push_back(det.empty() ? id : det);
    }
    if (!chosen.found()) {
        if (detector.empty()) Bad(source, "no <Spectrum> element (not an N42 spectrum file)");
        AnsiString list;
        for (const AnsiString& d : seen) list += (list.empty() ? "" : ", ") + d;
        Bad(source, "no spectrum of detector '" + detector + "' (the file has: " + list + ")");
    }
    Sv body = chosen.content;

    XmlElement data = FindElement(body, "ChannelData");
    if (!data.found()) Bad(source, "the spectrum has no <ChannelData>");
    Sv compression = Attribute(data.attrs, "Compression");
    if (compression.empty()) compression = Attribute(data.attrs, "compressionCode");
    const bool countedZeroes = compression == "CountedZeroes";
    if (!compression.empty() && !countedZeroes && compression != "None")
        Bad(source, "unknown channel data compression '" + AnsiString(compression) + "'");
    bool bad = false, zeroRun = false;
    ForEachToken(data.content, [&](Sv tok) {
        unsigned long c;
        // A run of zeros may not blow the spectrum up beyond any real channel count.
        if (!ToCount(tok, c) || (zeroRun && c > kMaxChannels - s.counts.size())) {
            bad = true;
            return false;
        }
        if (zeroRun) {
            s.counts.insert(s.counts.end(), c, 0UL);
            zeroRun = false;
        } else if (countedZeroes && c == 0) {
            zeroRun = true;
        } else {
            s.counts.push_back(c);
        }
        return true;
    });
    if (bad || zeroRun) Bad(source, "malformed <ChannelData>");
    if (s.counts.empty()) Bad(source, "empty <ChannelData>");

    // Times: inside the spectrum (2006), or the measurement's real time before it (2011).
    XmlElement live = FindElement(body, "LiveTime");
    if (!live.found()) live = FindElement(body, "LiveTimeDuration");
    if (live.found()) s.liveTime = ParseIsoDuration(AnsiString(live.content));
    XmlElement real = FindElement(body, "RealTime");
    if (!real.found()) real = FindElement(body, "RealTimeDuration");
    if (!real.found()) real = LastElementBefore(t, "RealTimeDuration", chosen.begin);
    if (!real.found()) real = LastElementBefore(t, "SampleRealTime", chosen.begin);
    if (real.found()) s.realTime = ParseIsoDuration(AnsiString(real.content));
    XmlElement start = LastElementBefore(t, "StartTime", chosen.begin);
    if (!start.found()) start = LastElementBefore(t, "StartDateTime", chosen.begin);
    if (start.found()) {
        // The local date and time as written; a zone suffix ("Z", "+01:00") is dropped.
        Sv when = Trim(start.content);
        size_t k = 0;
        while (k < when.size() && k < kIsoDateTimeLength &&
               (std::isdigit(static_cast<unsigned char>(when[k])) || (when[k] == '-' && k < 10) ||
                when[k] == ':' || when[k] == 'T' || when[k] == '.'))
            ++k;
        ParseIsoDateTime(when.substr(0, k), s.startTime);
    }

    // Energy calibration: a <Calibration Type="Energy"> of the spectrum (2006), or the
    // <EnergyCalibration> the spectrum refers to (2011).
    for (XmlElement c = FindElement(body, "Calibration"); c.found();
         c = FindElement(body, "Calibration", c.end)) {
        if (Attribute(c.attrs, "Type") != "Energy") continue;
        XmlElement coeffs = FindElement(c.content, "Coefficients");
        if (coeffs.found()) s.energyCoeffs = Numbers(coeffs.content, source, "<Coefficients>");
        break;
    }
    if (s.energyCoeffs.empty()) {
        Sv ref = Attribute(chosen.attrs, "energyCalibrationReference");
        for (XmlElement c = FindElement(t, "EnergyCalibration"); c.found();
             c = FindElement(t, "EnergyCalibration", c.end)) {
            if (!ref.empty() && Attribute(c.attrs, "id") != ref) continue;
            XmlElement coeffs = FindElement(c.content, "CoefficientValues");
            if (coeffs.found())
                s.energyCoeffs = Numbers(coeffs.content, source, "<CoefficientValues>");
            break;
        }
    }
    XmlElement remark = FindElement(body, "Remark");
    s.name = remark.found() ? AnsiString(Trim(remark.content)) : s.detector;
    if (s.name.rfind("Title: ", 0) == 0) s.name.erase(0, 7);
    return s;
}

SpectrumFileData ReadSpectrumFile(const AnsiString& path, const AnsiString& detector) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Exception("cannot open '" + path + "'");
    std::ostringstream ss;
    ss << in.rdbuf();
    const AnsiString text = ss.str();
    Sv head = Trim(Sv(text).substr(0, 256));
    if (!head.empty() && head.front() == '<') return ParseN42(text, detector, path);
    if (!detector.empty()) throw Exception(path + ": --detector applies to N42 files only");
    return ParseSpe(text, path);
}

AnsiString FormatSpe(const SpectrumFileData& s) {
    AnsiString out;
    out.reserve(s.counts.size() * 9 + 256);
    out += "$SPEC_ID:\n" + (s.name.empty() ? AnsiString("spectrum") : s.name) + "\n";
    out += "$SPEC_REM:\nwritten by qdb\n";
    if (s.startTime > 0) {
        CivilTime c = DecodeDateTime(s.startTime);
        out += Format("$DATE_MEA:\n%02d/%02d/%04d %02d:%02d:%02d\n", c.month, c.day, c.year, c.hour,
                      c.minute, c.second);
    }
    if (s.liveTime >= 0 || s.realTime >= 0)
        out += Format("$MEAS_TIM:\n%.10g %.10g\n", s.liveTime < 0 ? 0.0 : s.liveTime,
                      s.realTime < 0 ? 0.0 : s.realTime);
    out += Format("$DATA:\n0 %zu\n", s.counts.empty() ? 0 : s.counts.size() - 1);
    char buf[32];
    for (unsigned long c : s.counts) {
        int n = std::snprintf(buf, sizeof buf, "%8lu\n", c);
        out.append(buf, static_cast<size_t>(n));
    }
    if (!s.energyCoeffs.empty()) {
        out += Format("$MCA_CAL:\n%zu\n", s.energyCoeffs.size());
        for (size_t i = 0; i < s.energyCoeffs.size(); ++i)
            out += Format(i ? " %.10E" : "%.10E", s.energyCoeffs[i]);
        out += " keV\n";
    }
    return out;
}

}  // namespace quantora
