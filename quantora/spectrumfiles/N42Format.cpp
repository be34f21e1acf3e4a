// N42 XML, 2006 (several detectors per file) and 2011. The reader is a small tolerant scanner of
// our own: it matches elements by local name, so a namespace prefix that was never declared does
// not stop it. The writer writes N42-2011, one measurement element per spectrum.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_map>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/spectrumfiles/Formats.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"

namespace quantora::spectrumfiles {

namespace {

// Remarks the writer adds where the schema requires a value the spectrum does not have, or has no
// element for the value: the reader takes them back.
constexpr const char* kN42NoCalibration = "No energy calibration";
constexpr const char* kN42Coefficients = "Energy coefficients:";
constexpr const char* kN42UnknownTimes = "Times not recorded:";

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
        while (i < attrs.size() && IsBlank(attrs[i])) ++i;
        size_t n0 = i;
        while (i < attrs.size() && IsNameChar(attrs[i])) ++i;
        Sv key = attrs.substr(n0, i - n0);
        while (i < attrs.size() && IsBlank(attrs[i])) ++i;
        if (i >= attrs.size() || attrs[i] != '=') {
            if (i == n0) ++i;
            continue;
        }
        ++i;
        while (i < attrs.size() && IsBlank(attrs[i])) ++i;
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

// The last element named `local` that ends before a position, for positions asked in increasing
// order (the spectra of a file): each element is scanned once, however many spectra follow it.
class LastElementBefore {
  public:
    LastElementBefore(Sv text, Sv local) : text_(text), local_(local) {}
    XmlElement At(size_t before) {
        if (!started_) next_ = FindElement(text_, local_);
        started_ = true;
        while (next_.found() && next_.end <= before) {
            last_ = next_;
            next_ = FindElement(text_, local_, next_.end);
        }
        return last_;
    }

  private:
    Sv text_, local_;
    bool started_ = false;
    XmlElement last_, next_;
};

// Character data with the five predefined entities resolved.
AnsiString Unescape(Sv s) {
    static constexpr std::pair<Sv, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    AnsiString out;
    for (size_t i = 0; i < s.size(); ++i) {
        bool done = false;
        if (s[i] == '&')
            for (const auto& [name, c] : kEntities)
                if (s.compare(i, name.size(), name) == 0) {
                    out += c;
                    i += name.size() - 1;
                    done = true;
                    break;
                }
        if (!done) out += s[i];
    }
    return AnsiString(Trim(out));
}

// Reads text positions as lines for messages.
struct XmlErrors {
    Sv text;
    const ReadContext& ctx;
    [[noreturn]] void Fail(size_t offset, const AnsiString& what) const {
        const size_t at = std::min(offset, text.size());
        ctx.FailLine(static_cast<size_t>(std::count(text.begin(), text.begin() + at, '\n')) + 1,
                     what);
    }
};

// The line of a position in the text, counted on from the position asked before, so that the
// positions of a whole file, asked in increasing order, cost one pass.
class LineCounter {
  public:
    explicit LineCounter(Sv text) : text_(text), at_(text.data()) {}
    size_t LineOf(const char* p) {
        if (p < at_) {
            at_ = text_.data();
            line_ = 1;
        }
        line_ += static_cast<size_t>(std::count(at_, p, '\n'));
        at_ = p;
        return line_;
    }

  private:
    Sv text_;
    const char* at_;
    size_t line_ = 1;
};

std::vector<double> Numbers(Sv s, size_t at, const XmlErrors& err, const char* what) {
    std::vector<double> out;
    ForEachToken(s, [&](Sv t) {
        double v;
        if (!ToDouble(t, v))
            err.Fail(at, Format("malformed number '%s' in %s", Excerpt(t).c_str(), what));
        out.push_back(v);
        return true;
    });
    return out;
}

// An ISO 8601 duration ("PT639.92S", "PT1H2M3S") in seconds; false when malformed.
bool ParseIsoDuration(Sv s, double& total) {
    s = Trim(s);
    if (s.size() < 3 || s[0] != 'P') return false;
    s.remove_prefix(1);
    total = 0;
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
        if (k == 0 || k >= s.size() || !ToDouble(s.substr(0, k), v)) return false;
        const char unit = s[k];
        const double f = unit == 'D' && !inTime  ? 86400.0
                         : unit == 'H' && inTime ? 3600.0
                         : unit == 'M' && inTime ? 60.0
                         : unit == 'S' && inTime ? 1.0
                                                 : -1.0;
        if (f < 0) return false;
        total += v * f;
        any = true;
        s.remove_prefix(k + 1);
    }
    return any;
}

double Duration(const XmlElement& e, const XmlErrors& err) {
    double v;
    if (!ParseIsoDuration(e.content, v))
        err.Fail(e.begin, "malformed duration '" + Excerpt(Trim(e.content)) + "'");
    return v;
}

// The channels the spectra of a file may hold in all: a spectrum of at most kMaxChannels, and
// beyond it one channel per byte of the file. Written out, a channel takes two bytes or more, so
// only runs of counted zeros reach the bound; it keeps a small file of long runs from expanding
// to gigabytes.
size_t FileChannelLimit(Sv text) {
    return kMaxChannels + text.size();
}

// The counts of <ChannelData>, adding their number to `fileChannels` (the channels of the file's
// spectra so far); messages name the line of the value they are about.
// The channels a <ChannelData> text expands to, at most kMaxChannels: one allocation for the
// spectrum instead of a vector grown and copied while its zero runs are expanded.
size_t ExpandedSize(Sv content, bool countedZeroes) {
    if (!countedZeroes) return std::min(CountTokens(content), kMaxChannels);
    size_t n = 0;
    bool zeroRun = false;
    ForEachToken(content, [&](Sv tok) {
        unsigned long c = 1;
        const bool whole = ToCount(tok, c);
        if (zeroRun)
            n += whole ? std::min<size_t>(c, kMaxChannels) : 0, zeroRun = false;
        else if (whole && c == 0)
            zeroRun = true;
        else
            ++n;
        return n < kMaxChannels;
    });
    return std::min(n, kMaxChannels);
}

void ReadCounts(const XmlElement& data, size_t at, const XmlErrors& err, LineCounter& lines,
                size_t& fileChannels, SpectrumFileData& s) {
    Sv compression = Attribute(data.attrs, "Compression");
    if (compression.empty()) compression = Attribute(data.attrs, "compressionCode");
    const bool countedZeroes = compression == "CountedZeroes";
    if (!compression.empty() && !countedZeroes && compression != "None")
        err.Fail(at, "unknown channel data compression '" + Excerpt(compression) + "'");
    const size_t fileLimit = FileChannelLimit(err.text);
    size_t line = 1;
    CountRounding rounding(err.ctx);
    bool zeroRun = false;
    s.counts.reserve(s.counts.size() + ExpandedSize(data.content, countedZeroes));
    ForEachToken(data.content, [&](Sv tok) {
        line = lines.LineOf(tok.data());
        // A zero that starts a run, and the run's length, are whole numbers.
        unsigned long c;
        const bool whole = ToCount(tok, c);
        if (!(whole || (!zeroRun && rounding.Read(tok, line, c))))
            err.ctx.FailLine(line, "malformed <ChannelData> near '" + Excerpt(tok) + "'");
        const bool runStart = !zeroRun && countedZeroes && whole && c == 0;
        const size_t added = zeroRun ? c : runStart ? 0 : 1;
        if (added > kMaxChannels - s.counts.size())
            err.ctx.FailLine(line, Format("<ChannelData> of more than %zu channels", kMaxChannels));
        if (added > fileLimit - fileChannels)
            err.ctx.FailLine(line, Format("the zero runs of <ChannelData> expand to more than %zu "
                                          "channels in all, too many for a file of %zu bytes",
                                          fileLimit, err.text.size()));
        fileChannels += added;
        if (zeroRun) {
            s.counts.insert(s.counts.end(), c, 0UL);
            zeroRun = false;
        } else if (runStart) {
            zeroRun = true;
        } else {
            s.counts.push_back(c);
        }
        return true;
    });
    if (zeroRun) err.ctx.FailLine(line, "malformed <ChannelData>: a zero run without its length");
    if (s.counts.empty()) err.Fail(at, "empty <ChannelData>");
    rounding.Report();
}

// The remarks of an element's content, trimmed and unescaped.
std::vector<AnsiString> Remarks(Sv body) {
    std::vector<AnsiString> out;
    for (XmlElement r = FindElement(body, "Remark"); r.found();
         r = FindElement(body, "Remark", r.end))
        out.push_back(Unescape(r.content));
    return out;
}

bool StartsWith(const AnsiString& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// The coefficients one <EnergyCalibration> gives: from the writer's remarks, or its values;
// false when it gives none.
bool CalibrationCoefficients(const XmlElement& c, const XmlErrors& err, std::vector<double>& out) {
    for (const AnsiString& r : Remarks(c.content)) {
        if (r == kN42NoCalibration) {
            out.clear();
            return true;
        }
        if (StartsWith(r, kN42Coefficients)) {
            out = Numbers(Sv(r).substr(std::strlen(kN42Coefficients)), c.begin, err,
                          "an energy coefficient remark");
            return true;
        }
    }
    XmlElement coeffs = FindElement(c.content, "CoefficientValues");
    if (!coeffs.found()) return false;
    out = Numbers(coeffs.content, c.begin, err, "<CoefficientValues>");
    return true;
}

// What spectra refer to by id: detector names and energy calibrations. Each kind is gathered in
// one pass over the file when a spectrum first needs it, and each reference resolved once, so
// that a file of many spectra is read in time linear in its size.
class N42References {
  public:
    explicit N42References(const XmlErrors& err) : err_(err) {}

    // The detector's name: a 2006 attribute (Detector, or Sensor as some instruments write), or
    // the 2011 detector element the spectrum refers to.
    AnsiString DetectorName(const XmlElement& spectrum) {
        Sv det = Attribute(spectrum.attrs, "Detector");
        if (det.empty()) det = Attribute(spectrum.attrs, "Sensor");
        if (!det.empty()) return AnsiString(det);
        Sv ref = Attribute(spectrum.attrs, "radDetectorInformationReference");
        if (ref.empty()) return AnsiString(Attribute(spectrum.attrs, "id"));
        if (!detectorsRead_) {
            for (XmlElement d = FindElement(err_.text, "RadDetectorInformation"); d.found();
                 d = FindElement(err_.text, "RadDetectorInformation", d.end)) {
                XmlElement name = FindElement(d.content, "RadDetectorName");
                // The first named element of an id counts.
                if (name.found()) detectorNames_.emplace(Attribute(d.attrs, "id"), name.content);
            }
            detectorsRead_ = true;
        }
        auto it = detectorNames_.find(ref);
        return it == detectorNames_.end() ? AnsiString(ref) : Unescape(it->second);
    }

    // The spectrum's own energy calibration (2006), or the first of the file's that gives
    // coefficients, among those of the id it refers to when it refers to one (2011).
    std::vector<double> EnergyCoefficients(const XmlElement& spectrum) {
        Sv body = spectrum.content;
        for (XmlElement c = FindElement(body, "Calibration"); c.found();
             c = FindElement(body, "Calibration", c.end)) {
            if (Attribute(c.attrs, "Type") != "Energy") continue;
            XmlElement coeffs = FindElement(c.content, "Coefficients");
            if (coeffs.found())
                return Numbers(coeffs.content, spectrum.begin, err_, "<Coefficients>");
        }
        if (!calibrationsRead_) {
            for (XmlElement c = FindElement(err_.text, "EnergyCalibration"); c.found();
                 c = FindElement(err_.text, "EnergyCalibration", c.end)) {
                calibrationsById_[Attribute(c.attrs, "id")].push_back(calibrations_.size());
                calibrations_.push_back(c);
            }
            calibrationsRead_ = true;
        }
        const Sv ref = Attribute(spectrum.attrs, "energyCalibrationReference");
        auto cached = coefficientsByRef_.find(ref);
        if (cached != coefficientsByRef_.end()) return cached->second;
        std::vector<double> found;
        auto first = [&](auto&& indexes) {
            for (size_t i : indexes)
                if (CalibrationCoefficients(calibrations_[i], err_, found)) return;
        };
        if (ref.empty()) {
            std::vector<size_t> all(calibrations_.size());
            for (size_t i = 0; i < all.size(); ++i) all[i] = i;
            first(all);
        } else if (auto ids = calibrationsById_.find(ref); ids != calibrationsById_.end()) {
            first(ids->second);
        }
        return coefficientsByRef_[ref] = found;
    }

  private:
    const XmlErrors& err_;
    bool detectorsRead_ = false, calibrationsRead_ = false;
    std::unordered_map<Sv, Sv> detectorNames_;  // id -> the raw content of its name
    std::vector<XmlElement> calibrations_;
    std::unordered_map<Sv, std::vector<size_t>> calibrationsById_;
    std::unordered_map<Sv, std::vector<double>> coefficientsByRef_;  // "": no reference
};

}  // namespace

void ReadN42(Sv text, const ReadContext& ctx, SpectrumFile& out) {
    const XmlErrors err{text, ctx};
    // The root element must close: a file cut short must not pass for one with fewer spectra.
    for (const char* root : {"RadInstrumentData", "N42InstrumentData"}) {
        const XmlElement e = FindElement(text, root);
        if (e.found()) out.format = root[0] == 'R' ? "N42-2011" : "N42-2006";
        if (e.found()) break;
    }
    if (out.format == "N42")
        err.Fail(text.size(),
                 "no complete N42InstrumentData or RadInstrumentData element (cut "
                 "short?)");
    N42References refs(err);
    LineCounter lines(text);
    size_t fileChannels = 0;
    LastElementBefore realTimes(text, "RealTimeDuration"), sampleRealTimes(text, "SampleRealTime"),
        startTimes(text, "StartTime"), startDateTimes(text, "StartDateTime");
    for (XmlElement e = FindElement(text, "Spectrum"); e.found();
         e = FindElement(text, "Spectrum", e.end)) {
        SpectrumFileData s;
        Sv body = e.content;
        XmlElement data = FindElement(body, "ChannelData");
        if (!data.found()) err.Fail(e.begin, "the spectrum has no <ChannelData>");
        ReadCounts(data, e.begin, err, lines, fileChannels, s);
        s.detector = refs.DetectorName(e);
        // Times: inside the spectrum (2006), or the measurement's real time before it (2011).
        XmlElement live = FindElement(body, "LiveTime");
        if (!live.found()) live = FindElement(body, "LiveTimeDuration");
        if (live.found()) s.liveTime = Duration(live, err);
        XmlElement real = FindElement(body, "RealTime");
        if (!real.found()) real = FindElement(body, "RealTimeDuration");
        if (!real.found()) real = realTimes.At(e.begin);
        if (!real.found()) real = sampleRealTimes.At(e.begin);
        if (real.found()) s.realTime = Duration(real, err);
        XmlElement start = startTimes.At(e.begin);
        if (!start.found()) start = startDateTimes.At(e.begin);
        if (start.found()) {
            // The local date and time as written; a zone suffix ("Z", "+01:00") is dropped.
            Sv when = Trim(start.content);
            size_t k = 0;
            while (k < when.size() && k < kIsoDateTimeLength &&
                   (std::isdigit(static_cast<unsigned char>(when[k])) ||
                    (when[k] == '-' && k < 10) || when[k] == ':' || when[k] == 'T' ||
                    when[k] == '.'))
                ++k;
            if (!ParseIsoDateTime(when.substr(0, k), s.startTime)) {
                s.startTime = 0;
                ctx.Warn("unreadable start time '" + Excerpt(when) + "' left out");
            }
        }
        s.energyCoeffs = refs.EnergyCoefficients(e);
        // A straight line is written with a quadratic term of 0 (the schema wants three terms).
        while (s.energyCoeffs.size() > 2 && s.energyCoeffs.back() == 0) s.energyCoeffs.pop_back();
        CheckEnergyCoeffs(s.energyCoeffs, ctx);
        // The first remark is the title, unless it lists the times the writer had not.
        for (const AnsiString& r : Remarks(body)) {
            if (!StartsWith(r, kN42UnknownTimes)) {
                if (s.title.empty()) s.title = r;
                continue;
            }
            ForEachToken(Sv(r).substr(std::strlen(kN42UnknownTimes)), [&](Sv which) {
                if (which == "start") s.startTime = 0;
                if (which == "live") s.liveTime = -1;
                if (which == "real") s.realTime = -1;
                return true;
            });
        }
        if (s.title.rfind("Title: ", 0) == 0) s.title.erase(0, 7);
        out.spectra.push_back(std::move(s));
    }
    if (out.spectra.empty()) err.Fail(text.size(), "no <Spectrum> element");
}

}  // namespace quantora::spectrumfiles

namespace quantora {

using spectrumfiles::kN42Coefficients;
using spectrumfiles::kN42NoCalibration;
using spectrumfiles::kN42UnknownTimes;
using spectrumfiles::ShortestNumber;

namespace {

// The energy calibration of spectrum i (1-based): a quadratic as three coefficients (the only form
// the schema gives a polynomial), a higher degree as the energies of the channel boundaries with
// the exact coefficients in a remark, none as zeros with a remark saying so.
AnsiString N42EnergyCalibration(const SpectrumFileData& s, size_t i) {
    AnsiString out = Format("  <EnergyCalibration id=\"ecal%zu\">\r\n", i);
    const std::vector<double>& c = s.energyCoeffs;
    if (c.empty()) {
        out += "    <Remark>" + AnsiString(kN42NoCalibration) + "</Remark>\r\n";
        out += "    <CoefficientValues>0 0 0</CoefficientValues>\r\n";
    } else if (c.size() <= 3) {
        out += "    <CoefficientValues>";
        for (size_t k = 0; k < 3; ++k)
            out += (k ? " " : "") + ShortestNumber(k < c.size() ? c[k] : 0.0);
        out += "</CoefficientValues>\r\n";
    } else {
        out += "    <Remark>" + AnsiString(kN42Coefficients);
        for (double v : c) out += " " + ShortestNumber(v);
        out += "</Remark>\r\n    <EnergyBoundaryValues>";
        const size_t n = static_cast<size_t>(s.firstChannel) + s.counts.size();
        for (size_t ch = 0; ch <= n; ++ch) {
            double e = 0, p = 1;
            for (double v : c) {
                e += v * p;
                p *= static_cast<double>(ch);
            }
            out += (ch ? " " : "") + ShortestNumber(e);
        }
        out += "</EnergyBoundaryValues>\r\n";
    }
    return out + "  </EnergyCalibration>\r\n";
}

}  // namespace

AnsiString FormatN42(const std::vector<SpectrumFileData>& spectra) {
    AnsiString out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<RadInstrumentData xmlns=\"http://physics.nist.gov/N42/2011/N42\">\r\n"
        "  <RadInstrumentInformation id=\"instrument\">\r\n"
        "    <RadInstrumentManufacturerName>unknown</RadInstrumentManufacturerName>\r\n"
        "    <RadInstrumentModelName>unknown</RadInstrumentModelName>\r\n"
        "    <RadInstrumentClassCode>Other</RadInstrumentClassCode>\r\n"
        "    <RadInstrumentVersion>\r\n"
        "      <RadInstrumentComponentName>Software</RadInstrumentComponentName>\r\n"
        "      <RadInstrumentComponentVersion>quantoradb " QUANTORA_VERSION
        "</RadInstrumentComponentVersion>\r\n"
        "    </RadInstrumentVersion>\r\n"
        "  </RadInstrumentInformation>\r\n";
    for (size_t i = 0; i < spectra.size(); ++i) {
        out += Format("  <RadDetectorInformation id=\"det%zu\">\r\n", i + 1);
        if (!spectra[i].detector.empty())
            out += "    <RadDetectorName>" + MarkupEscaped(spectra[i].detector) +
                   "</RadDetectorName>\r\n";
        out +=
            "    <RadDetectorCategoryCode>Gamma</RadDetectorCategoryCode>\r\n"
            "    <RadDetectorKindCode>Other</RadDetectorKindCode>\r\n"
            "  </RadDetectorInformation>\r\n";
    }
    for (size_t i = 0; i < spectra.size(); ++i) out += N42EnergyCalibration(spectra[i], i + 1);
    // The schema requires every time. One the spectrum lacks is written with a remark that tells
    // the reader it is unknown: the start as the epoch of TDateTime, the live time as zero, the
    // real time (which must be positive, so a zero one counts as unknown) as the live time, or
    // a microsecond.
    auto duration = [](const char* name, double seconds) {
        // + 0.0: a negative zero is written as 0, not as the malformed "PT-0S"
        return Format("<%s>PT", name) + ShortestNumber(seconds + 0.0, true) +
               Format("S</%s>\r\n", name);
    };
    for (size_t i = 0; i < spectra.size(); ++i) {
        const SpectrumFileData& s = spectra[i];
        out += Format("  <RadMeasurement id=\"meas%zu\">\r\n", i + 1);
        out += "    <MeasurementClassCode>Foreground</MeasurementClassCode>\r\n";
        AnsiString when = FormatIsoDateTime(std::max(s.startTime, 0.0));
        when[10] = 'T';
        out += "    <StartDateTime>" + when + "</StartDateTime>\r\n";
        const bool realKnown = s.realTime > 0;
        out += "    " + duration("RealTimeDuration", realKnown        ? s.realTime
                                                     : s.liveTime > 0 ? s.liveTime
                                                                      : 1e-6);
        out += Format(
            "    <Spectrum id=\"spectrum%zu\" radDetectorInformationReference=\"det%zu\" "
            "energyCalibrationReference=\"ecal%zu\">\r\n",
            i + 1, i + 1, i + 1);
        if (!s.title.empty()) out += "      <Remark>" + MarkupEscaped(s.title) + "</Remark>\r\n";
        AnsiString unknown;
        if (s.startTime <= 0) unknown += " start";
        if (s.liveTime < 0) unknown += " live";
        if (!realKnown) unknown += " real";
        if (!unknown.empty())
            out += "      <Remark>" + AnsiString(kN42UnknownTimes) + unknown + "</Remark>\r\n";
        out += "      " + duration("LiveTimeDuration", std::max(s.liveTime, 0.0));
        out += "      <ChannelData compressionCode=\"None\">";
        // N42 has no first channel: the channels below it are written as zeros.
        const size_t n = static_cast<size_t>(s.firstChannel) + s.counts.size();
        for (size_t ch = 0; ch < n; ++ch) {
            if (ch % 16 == 0) out += "\r\n       ";
            const size_t k = ch - static_cast<size_t>(s.firstChannel);
            out +=
                " " + std::to_string(ch < static_cast<size_t>(s.firstChannel) ? 0UL : s.counts[k]);
        }
        out += "\r\n      </ChannelData>\r\n    </Spectrum>\r\n  </RadMeasurement>\r\n";
    }
    out += "</RadInstrumentData>\r\n";
    return out;
}

}  // namespace quantora
