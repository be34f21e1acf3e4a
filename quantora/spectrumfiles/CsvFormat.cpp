// CSV spectra: counts alone, channel and count, energy and count, or channel, energy and count;
// an optional header line naming the columns; metadata lines before the table (LiveTime,
// RealTime, StartTime, Title, Detector, EnergyCalibration, FwhmCalibration, and Channels, the
// number of rows, which a file cut short does not hold); fields split by ',', ';' (then a
// decimal comma is allowed), TAB or blanks. UTF-8 and UTF-16 with a BOM.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/spectrumfiles/Formats.h"
#include "quantora/spectrumfiles/SpectrumFileWriter.h"

namespace quantora::spectrumfiles {

namespace {

enum Role { kNone, kChannel, kEnergy, kCount };

AnsiString Lower(Sv s) {
    AnsiString out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    out.erase(std::remove_if(out.begin(), out.end(), [](char c) { return c == ' ' || c == '_'; }),
              out.end());
    return out;
}

// The fields of a line: split by ';' (decimal commas become points), else ',' or TAB, else blanks.
std::vector<AnsiString> Fields(Sv line) {
    std::vector<AnsiString> out;
    const char sep = line.find(';') != Sv::npos    ? ';'
                     : line.find(',') != Sv::npos  ? ','
                     : line.find('\t') != Sv::npos ? '\t'
                                                   : ' ';
    if (sep == ' ') {
        ForEachToken(line, [&](Sv t) {
            out.emplace_back(t);
            return true;
        });
        return out;
    }
    for (size_t p = 0;;) {
        const size_t q = std::min(line.find(sep, p), line.size());
        AnsiString f(Trim(line.substr(p, q - p)));
        if (f.size() >= 2 && f.front() == '"' && f.back() == '"') f = f.substr(1, f.size() - 2);
        if (sep == ';') std::replace(f.begin(), f.end(), ',', '.');
        out.push_back(f);
        if (q == line.size()) break;
        p = q + 1;
    }
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

bool Numeric(const std::vector<AnsiString>& fields) {
    double v;
    for (const AnsiString& f : fields)
        if (!ToDouble(f, v)) return false;
    return !fields.empty();
}

// Column roles from a header line, and the energy unit's factor to keV.
std::array<Role, 3> HeaderRoles(const std::vector<AnsiString>& fields, double& toKeV) {
    std::array<Role, 3> roles{kNone, kNone, kNone};
    for (size_t i = 0; i < fields.size() && i < 3; ++i) {
        const AnsiString f = Lower(fields[i]);
        if (f.rfind("en", 0) == 0) {
            roles[i] = kEnergy;
            if (f.find("(mev)") != AnsiString::npos || f.find("[mev]") != AnsiString::npos)
                toKeV = 1000;
            else if (f.find("(ev)") != AnsiString::npos || f.find("[ev]") != AnsiString::npos)
                toKeV = 0.001;
        } else if (f.rfind("ch", 0) == 0) {
            roles[i] = kChannel;
        } else if (f.rfind("count", 0) == 0 || f.rfind("data", 0) == 0) {
            roles[i] = kCount;
        }
    }
    return roles;
}

// Least-squares polynomial of `degree` through (x, y) (x centred and scaled for stability).
std::vector<double> FitPolynomial(const std::vector<double>& x, const std::vector<double>& y,
                                  size_t degree) {
    const size_t m = degree + 1;
    const double mid = (x.front() + x.back()) / 2, half = std::max(1.0, (x.back() - x.front()) / 2);
    std::vector<double> a(m * (m + 1), 0.0);  // normal equations, augmented
    for (size_t k = 0; k < x.size(); ++k) {
        std::vector<double> p(m, 1.0);
        for (size_t i = 1; i < m; ++i) p[i] = p[i - 1] * (x[k] - mid) / half;
        for (size_t i = 0; i < m; ++i) {
            for (size_t j = 0; j < m; ++j) a[i * (m + 1) + j] += p[i] * p[j];
            a[i * (m + 1) + m] += p[i] * y[k];
        }
    }
    for (size_t i = 0; i < m; ++i) {  // Gauss-Jordan; the matrix is positive definite
        const double piv = a[i * (m + 1) + i];
        for (size_t j = 0; j <= m; ++j) a[i * (m + 1) + j] /= piv;
        for (size_t r = 0; r < m; ++r)
            if (r != i) {
                const double f = a[r * (m + 1) + i];
                for (size_t j = 0; j <= m; ++j) a[r * (m + 1) + j] -= f * a[i * (m + 1) + j];
            }
    }
    // Back from t = (x - mid) / half to powers of x.
    std::vector<double> c(m, 0.0);
    for (size_t i = 0; i < m; ++i) {
        // (x - mid)^i / half^i expanded by the binomial theorem.
        double binom = 1;
        for (size_t k = 0; k <= i; ++k) {
            c[k] += a[i * (m + 1) + m] * binom * std::pow(-mid, static_cast<double>(i - k)) /
                    std::pow(half, static_cast<double>(i));
            binom = binom * static_cast<double>(i - k) / static_cast<double>(k + 1);
        }
    }
    return c;
}

struct Row {
    std::vector<AnsiString> fields;
    size_t line;
};

}  // namespace

bool HasCsvRows(Sv text) {
    LineReader lines(text);
    int seen = 0;
    for (Sv line; seen < kProbeLines && lines.Next(line); ++seen) {
        size_t fields = 0;
        bool numeric = !line.empty();
        for (size_t p = 0; p < line.size() && numeric;) {
            size_t q = line.find_first_of(",;\t ", p);
            if (q == Sv::npos) q = line.size();
            double v;
            Sv f = Trim(line.substr(p, q - p));
            if (f.size() >= 2 && f.front() == '"' && f.back() == '"') f = f.substr(1, f.size() - 2);
            if (!f.empty()) {
                AnsiString t(f);
                for (char& ch : t)
                    if (ch == ',') ch = '.';
                numeric = ToDouble(t, v);
                ++fields;
            }
            p = q + 1;
        }
        if (numeric && fields >= 1 && fields <= 3) return true;
    }
    return false;
}

void ReadCsv(Sv text, const ReadContext& ctx, SpectrumFile& out) {
    SpectrumFileData s;
    std::array<Role, 3> roles{kNone, kNone, kNone};
    double toKeV = 1;
    std::vector<Row> rows;
    unsigned long statedChannels = 0;  // of a "Channels" line, at statedLine (0: none)
    size_t statedLine = 0;
    LineReader lines(text);
    auto metaNumbers = [&](const std::vector<AnsiString>& f, size_t line) {
        std::vector<double> v;
        for (size_t i = 1; i < f.size(); ++i) {
            double x;
            if (!ToDouble(f[i], x)) ctx.FailLine(line, "malformed number '" + Excerpt(f[i]) + "'");
            v.push_back(x);
        }
        if (v.empty()) ctx.FailLine(line, "'" + Excerpt(f[0]) + "' without a value");
        return v;
    };
    for (Sv line; lines.Next(line);) {
        if (line.empty() || line.front() == '#') continue;
        std::vector<AnsiString> f = Fields(line);
        const size_t n = lines.Number();
        if (Numeric(f)) {
            if (f.size() > 3) ctx.FailLine(n, Format("%zu numeric fields (at most 3)", f.size()));
            if (!rows.empty() && f.size() != rows.front().fields.size())
                ctx.FailLine(n, Format("%zu fields where line %zu has %zu", f.size(),
                                       rows.front().line, rows.front().fields.size()));
            if (rows.size() >= kMaxChannels)
                ctx.FailLine(n, Format("more than %zu channels", kMaxChannels));
            rows.push_back({std::move(f), n});
            continue;
        }
        if (!rows.empty()) ctx.FailLine(n, "a text line inside the table");
        const AnsiString key = Lower(f[0]);
        if (key == "livetime" || key == "realtime") {
            (key == "livetime" ? s.liveTime : s.realTime) = metaNumbers(f, n)[0];
        } else if (key == "starttime") {
            if (f.size() < 2 || !ParseIsoDateTime(Trim(f[1]), s.startTime)) {
                s.startTime = 0;
                ctx.Warn(Format("unreadable StartTime at line %zu left out", n));
            }
        } else if (key == "title" || key == "detector") {
            (key == "title" ? s.title : s.detector) = f.size() > 1 ? f[1] : AnsiString();
        } else if ((key == "channels" || key == "channelcount") && f.size() == 2 &&
                   ToCount(f[1], statedChannels)) {
            statedLine = n;
        } else if (key == "energycalibration") {
            s.energyCoeffs = metaNumbers(f, n);
        } else if (key == "fwhmcalibration") {
            s.fwhmCoeffs = metaNumbers(f, n);
        } else {
            const std::array<Role, 3> r = HeaderRoles(f, toKeV);
            if (r[0] != kNone || r[1] != kNone || r[2] != kNone)
                roles = r;
            else
                ctx.Warn(Format("line %zu not read: '%s'", n, Excerpt(line).c_str()));
        }
    }
    lines.RequireFinalLineEnd(ctx);
    if (rows.empty()) ctx.Fail("no numeric rows");
    const size_t cols = rows.front().fields.size();
    if (std::count(roles.begin(), roles.end(), kCount) != 1) {
        // No usable header: counts last; two columns are a channel when integral steps of 1.
        static constexpr std::array<Role, 3> kByColumns[] = {
            {kCount, kNone, kNone}, {kChannel, kCount, kNone}, {kChannel, kEnergy, kCount}};
        roles = kByColumns[cols - 1];
        if (cols == 2 && rows.size() > 1) {
            double a, b;
            ToDouble(rows[0].fields[0], a);
            ToDouble(rows[1].fields[0], b);
            if (a != std::floor(a) || b - a != 1) roles[0] = kEnergy;
        }
    }
    // A header may name a count column that the rows do not reach.
    const size_t countColumn =
        static_cast<size_t>(std::find(roles.begin(), roles.end(), kCount) - roles.begin());
    if (countColumn >= cols)
        ctx.FailLine(rows.front().line,
                     Format("%zu fields, but the header puts the count in field %zu", cols,
                            countColumn + 1));
    std::vector<double> energies, channels;
    CountRounding rounding(ctx);
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        for (size_t c = 0; c < cols; ++c) {
            const AnsiString& f = r.fields[c];
            double v = 0;
            ToDouble(f, v);
            if (roles[c] == kCount) {
                unsigned long count;
                if (!rounding.Read(f, r.line, count))
                    ctx.FailLine(r.line, "not a count: '" + Excerpt(f) + "'");
                s.counts.push_back(count);
            } else if (roles[c] == kChannel) {
                if (i == 0 &&
                    (v < 0 || v >= static_cast<double>(kMaxChannels) || v != std::floor(v)))
                    ctx.FailLine(r.line, "not a channel number: '" + Excerpt(f) + "'");
                if (i == 0 &&
                    v + static_cast<double>(rows.size()) > static_cast<double>(kMaxChannels))
                    ctx.FailLine(r.line, Format("channels beyond %zu", kMaxChannels));
                if (i == 0) s.firstChannel = static_cast<int>(v);
                if (v != s.firstChannel + static_cast<double>(i))
                    ctx.FailLine(r.line, Format("channel %s where %zu was expected", f.c_str(),
                                                s.firstChannel + i));
            } else if (roles[c] == kEnergy) {
                if (!energies.empty() && v * toKeV <= energies.back())
                    ctx.FailLine(r.line, "energies do not increase");
                energies.push_back(v * toKeV);
                channels.push_back(s.firstChannel + static_cast<double>(i));
            }
        }
    }
    rounding.Report();
    // A file that states its length must hold that many channels: one cut at a line end is no
    // shorter spectrum.
    if (statedLine && s.counts.size() != statedChannels)
        ctx.FailLine(statedLine, Format("%lu channels stated, the file holds %zu (cut short?)",
                                        statedChannels, s.counts.size()));
    if (!energies.empty() && s.energyCoeffs.empty()) {
        s.energyCoeffs =
            FitPolynomial(channels, energies, std::min<size_t>(2, energies.size() - 1));
        double worst = 0;
        for (size_t i = 0; i < energies.size(); ++i) {
            double e = 0, p = 1;
            for (double c : s.energyCoeffs) {
                e += c * p;
                p *= channels[i];
            }
            worst = std::max(worst, std::fabs(e - energies[i]));
        }
        ctx.Warn(
            Format("energy column fitted with a polynomial of degree %zu (largest deviation "
                   "%.3g keV)",
                   s.energyCoeffs.size() - 1, worst));
    }
    CheckEnergyCoeffs(s.energyCoeffs, ctx);
    CheckFwhmCoeffs(s.fwhmCoeffs);
    WarnLiveOverReal(s, ctx);
    out.spectra.push_back(std::move(s));
}

}  // namespace quantora::spectrumfiles

namespace quantora {

using spectrumfiles::ShortestNumber;

AnsiString FormatCsv(const SpectrumFileData& s) {
    AnsiString out;
    out.reserve(s.counts.size() * 12 + 256);
    auto text = [&](const char* key, const AnsiString& v) {
        AnsiString clean = v;
        std::replace_if(
            clean.begin(), clean.end(),
            [](char c) { return c == ',' || c == ';' || c == '\t' || c == '\r' || c == '\n'; },
            ' ');
        if (!v.empty()) out += AnsiString(key) + "," + clean + "\r\n";
    };
    auto numbers = [&](const char* key, const std::vector<double>& v) {
        if (v.empty()) return;
        out += key;
        for (double c : v) out += "," + ShortestNumber(c);
        out += "\r\n";
    };
    text("Title", s.title);
    text("Detector", s.detector);
    if (s.startTime > 0) text("StartTime", FormatIsoDateTime(s.startTime));
    if (s.liveTime >= 0) numbers("LiveTime", {s.liveTime});
    if (s.realTime >= 0) numbers("RealTime", {s.realTime});
    numbers("EnergyCalibration", s.energyCoeffs);
    numbers("FwhmCalibration", s.fwhmCoeffs);
    out += "channel,count\r\n";
    for (size_t i = 0; i < s.counts.size(); ++i)
        out += std::to_string(s.firstChannel + i) + "," + std::to_string(s.counts[i]) + "\r\n";
    return out;
}

}  // namespace quantora
