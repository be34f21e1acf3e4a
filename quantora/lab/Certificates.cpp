// Certified sources: certificate CSVs read, stored as SOURCE/SOURCEISOMER, read back.
#include "quantora/lab/Certificates.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/nuclides/CsvReader.h"
#include "quantora/nuclides/Nuclibtables.h"
#include "quantora/records/Othertables.h"

namespace quantora {
namespace {

constexpr int kStoreAttempts = 3;  // a SOURCE key taken by another workstation: try again
constexpr double kLineToleranceKeV = 1.0;
constexpr const char* kEmissionPrefix = "emission rates: ";

[[noreturn]] void Fail(const AnsiString& path, size_t line, const AnsiString& what) {
    throw quantora::BadFileError(Format("%s:%zu: %s", path.c_str(), line, what.c_str()));
}

AnsiString Trim(const AnsiString& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == AnsiString::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool ParseDouble(std::string_view s, double& out) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

// The shortest text that reads back as exactly `v`.
AnsiString Exact(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return AnsiString(buf, r.ptr);
}

// "YYYY-MM-DDTHH:MM[:SS[.ffffff]]" followed by "Z" or an offset "+hh:mm", "-hhmm", "+hh", as UTC.
bool ParseUtc(const AnsiString& text, TDateTime& out) {
    const size_t kTimeEnd = 16;  // "YYYY-MM-DDTHH:MM"
    if (text.size() <= kTimeEnd || (text[10] != 'T' && text[10] != ' ')) return false;
    int minutes = 0;
    size_t end = text.size();
    if (text.back() == 'Z' || text.back() == 'z') {
        --end;
    } else {
        end = text.find_last_of("+-");
        if (end == AnsiString::npos || end < kTimeEnd) return false;
        AnsiString digits;
        for (size_t i = end + 1; i < text.size(); ++i)
            if (text[i] != ':' || i != end + 3) digits += text[i];
        if ((digits.size() != 2 && digits.size() != 4) ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const int h = std::stoi(digits.substr(0, 2));
        const int m = digits.size() == 4 ? std::stoi(digits.substr(2)) : 0;
        if (h > 18 || m > 59) return false;
        minutes = (text[end] == '-' ? -1 : 1) * (h * 60 + m);
    }
    TDateTime local = 0;
    if (!ParseIsoDateTime(std::string_view(text).substr(0, end), local)) return false;
    out = local - minutes / (24.0 * 60.0);
    return true;
}

// The columns of a certificate, by header name; -1 when absent.
struct Layout {
    int nuclide = -1, reference = -1;
    int activity = -1, totalUnc = -1, confidence = -1, unc = -1;  // activity form
    int energy = -1, rate = -1, expandedUnc = -1, coverage = -1;  // emission-rate form
    bool emissionRate = false;
};

std::optional<Layout> ReadLayout(const std::vector<AnsiString>& header) {
    Layout l;
    const std::pair<const char*, int Layout::*> names[] = {
        {"nuclide", &Layout::nuclide},
        {"reference_time", &Layout::reference},
        {"activity_bq", &Layout::activity},
        {"total_uncertainty_percent", &Layout::totalUnc},
        {"confidence_level", &Layout::confidence},
        {"uncertainty_percent", &Layout::unc},
        {"energy_kev", &Layout::energy},
        {"emission_rate_per_s", &Layout::rate},
        {"expanded_uncertainty_percent", &Layout::expandedUnc},
        {"coverage_k", &Layout::coverage},
    };
    for (size_t i = 0; i < header.size(); ++i) {
        AnsiString h = Trim(header[i]);
        std::transform(h.begin(), h.end(), h.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        for (const auto& [name, member] : names)
            if (h == name) l.*member = static_cast<int>(i);
    }
    if (l.nuclide < 0 || l.reference < 0) return std::nullopt;
    const bool activity = l.activity >= 0 && ((l.totalUnc >= 0 && l.confidence >= 0) || l.unc >= 0);
    l.emissionRate = l.energy >= 0 && l.rate >= 0 && l.expandedUnc >= 0 && l.coverage >= 0;
    if (activity == l.emissionRate) return std::nullopt;
    return l;
}

// The divisor that turns an uncertainty at a two-sided confidence level into a standard one.
std::optional<double> CoverageOfLevel(double level) {
    if (level > 1 && level <= 100) level /= 100;  // given in percent
    const std::pair<double, double> levels[] = {
        {0.99, 2.576}, {0.95, 1.960}, {0.6827, 1.0}, {0.68, 1.0}};
    for (const auto& [p, k] : levels)
        if (std::fabs(level - p) < 1e-9) return k;
    return std::nullopt;
}

class RowReader {
  public:
    RowReader(const AnsiString& path, size_t line, const std::vector<AnsiString>& fields)
        : path_(path), line_(line), fields_(fields) {}

    AnsiString Text(int col) const {
        return static_cast<size_t>(col) < fields_.size() ? Trim(fields_[col]) : AnsiString();
    }
    double Positive(int col, const char* name) const {
        const AnsiString t = Text(col);
        double v = 0;
        if (t.empty()) Fail(path_, line_, Format("no %s", name));
        if (!ParseDouble(t, v) || !(v > 0))
            Fail(path_, line_, Format("%s '%s' is not a positive number", name, t.c_str()));
        return v;
    }
    TDateTime Reference(int col) const {
        const AnsiString t = Text(col);
        TDateTime v = 0;
        if (t.empty()) Fail(path_, line_, "no reference_time");
        if (!ParseUtc(t, v))
            Fail(path_, line_,
                 Format("reference_time '%s' is not an ISO 8601 time with its offset from UTC "
                        "(e.g. 2001-05-01T12:00:00Z)",
                        t.c_str()));
        return v;
    }

  private:
    const AnsiString& path_;
    size_t line_;
    const std::vector<AnsiString>& fields_;
};

// "Ag-110m" is SYMBOL "Ag-110" in state 1, "Sb-124m2" state 2; anything else the ground state.
std::pair<AnsiString, int> SplitNuclide(const AnsiString& name) {
    const size_t m = name.find_last_of('m');
    if (m == AnsiString::npos || m == 0 || !std::isdigit(static_cast<unsigned char>(name[m - 1])))
        return {name, 0};
    const AnsiString state = name.substr(m + 1);
    if (state.empty()) return {name.substr(0, m), 1};
    if (state.size() == 1 && std::isdigit(static_cast<unsigned char>(state[0])))
        return {name.substr(0, m), state[0] - '0'};
    return {name, 0};
}

AnsiString NuclideName(const AnsiString& symbol, int state) {
    if (state <= 0) return symbol;
    return state == 1 ? symbol + "m" : Format("%sm%d", symbol.c_str(), state);
}

// The ISOMER row a nuclide name stands for (the first, when the tables were loaded twice).
bool FindIsomer(const char* db, const AnsiString& nuclide, ISOMERData* out) {
    const auto [symbol, state] = SplitNuclide(nuclide);
    TQuery q;
    q.SetDatabaseName(db);
    q.SetSQL("SELECT * FROM ISOMER WHERE SYMBOL = :s AND ISOMERNUM = :n ORDER BY ISOMER_ID");
    q.ParamByName("s")->SetAsString(symbol);
    q.ParamByName("n")->SetAsInteger(state);
    q.Open();
    return out->Read(&q);
}

// The emission probability (fraction, with its standard uncertainty) of the isomer's line
// nearest `energy` within the tolerance.
std::optional<std::pair<double, double>> EmissionNear(const char* db, int isomerId, double energy) {
    TQuery q;
    q.SetDatabaseName(db);
    q.SetSQL(
        "SELECT R.E, R.INTENSITY, R.INTENSITYUNC FROM RADIATION R JOIN DECAY D ON D.DECAY_ID = "
        "R.DECAY_ID WHERE D.ISOMER_ID = :i AND R.E BETWEEN :lo AND :hi AND R.INTENSITY > 0 "
        "ORDER BY R.RADIATION_ID");
    q.ParamByName("i")->SetAsInteger(isomerId);
    q.ParamByName("lo")->SetAsFloat(energy - kLineToleranceKeV);
    q.ParamByName("hi")->SetAsFloat(energy + kLineToleranceKeV);
    std::optional<std::pair<double, double>> best;
    double bestDistance = kLineToleranceKeV;
    for (q.Open(); !q.Eof(); q.Next()) {
        const double d = std::fabs(q.Fields()[0]->AsFloat() - energy);
        if (best && d >= bestDistance) continue;
        bestDistance = d;
        const TField* unc = q.Fields()[2];
        best = {q.Fields()[1]->AsFloat() / 100.0, unc->IsNull() ? 0.0 : unc->AsFloat() / 100.0};
    }
    return best;
}

AnsiString EmissionText(const std::vector<CertifiedLine>& lines) {
    AnsiString out = kEmissionPrefix;
    for (size_t i = 0; i < lines.size(); ++i)
        out += (i ? "; " : "") + Exact(lines[i].energyKeV) + "=" + Exact(lines[i].rate) + "+-" +
               Exact(lines[i].rateUnc);
    return out;
}

bool ParseEmissionText(const AnsiString& text, std::vector<CertifiedLine>* lines) {
    std::string_view s(text);
    s.remove_prefix(std::string_view(kEmissionPrefix).size());
    while (!s.empty()) {
        const size_t end = std::min(s.find("; "), s.size());
        const std::string_view item = s.substr(0, end);
        const size_t eq = item.find('='), pm = item.find("+-");
        CertifiedLine l;
        if (eq == std::string_view::npos || pm == std::string_view::npos || pm < eq ||
            !ParseDouble(item.substr(0, eq), l.energyKeV) ||
            !ParseDouble(item.substr(eq + 1, pm - eq - 1), l.rate) ||
            !ParseDouble(item.substr(pm + 2), l.rateUnc))
            return false;
        lines->push_back(l);
        s.remove_prefix(std::min(end + 2, s.size()));
    }
    return !lines->empty();
}

// At most `n` bytes of `s`, not cutting a UTF-8 character.
AnsiString Clip(const AnsiString& s, size_t n) {
    if (s.size() <= n) return s;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

}  // namespace

Certificate ReadCertificate(const AnsiString& path) {
    CsvReader csv(path);
    std::vector<AnsiString> fields;
    if (!csv.Next(fields)) Fail(path, 1, "empty file, no certificate header");
    const size_t headerLine = csv.Line();
    const std::optional<Layout> layout = ReadLayout(fields);
    if (!layout)
        Fail(path, headerLine,
             "unknown certificate header (expected nuclide,activity_bq,total_uncertainty_percent,"
             "confidence_level,reference_time or nuclide,energy_kev,emission_rate_per_s,"
             "expanded_uncertainty_percent,coverage_k,reference_time)");
    const Layout& l = *layout;
    Certificate cert;
    cert.emissionRate = l.emissionRate;
    std::map<AnsiString, size_t> index;  // nuclide -> position in cert.nuclides
    while (csv.Next(fields)) {
        const size_t line = csv.Line();
        const RowReader row(path, line, fields);
        const AnsiString nuclide = row.Text(l.nuclide);
        if (nuclide.empty()) Fail(path, line, "no nuclide");
        const TDateTime reference = row.Reference(l.reference);
        const auto known = index.find(nuclide);
        CertifiedNuclide* n = known == index.end() ? nullptr : &cert.nuclides[known->second];
        if (!l.emissionRate) {
            if (n)
                Fail(path, line,
                     Format("%s is certified twice (line %d)", nuclide.c_str(), n->csvLine));
            CertifiedNuclide c;
            c.activity = row.Positive(l.activity, "activity_bq");
            if (l.totalUnc >= 0 && l.confidence >= 0) {
                const double percent = row.Positive(l.totalUnc, "total_uncertainty_percent");
                const double level = row.Positive(l.confidence, "confidence_level");
                const std::optional<double> k = CoverageOfLevel(level);
                if (!k)
                    Fail(path, line,
                         Format("confidence_level '%s' is none of 0.68, 0.6827, 0.95, 0.99",
                                row.Text(l.confidence).c_str()));
                c.activityUnc = c.activity * percent / 100.0 / *k;
            } else {
                c.activityUnc = c.activity * row.Positive(l.unc, "uncertainty_percent") / 100.0;
            }
            index[nuclide] = cert.nuclides.size();
            cert.nuclides.push_back(std::move(c));
            n = &cert.nuclides.back();
        } else {
            CertifiedLine cl;
            cl.energyKeV = row.Positive(l.energy, "energy_kev");
            cl.rate = row.Positive(l.rate, "emission_rate_per_s");
            const double percent = row.Positive(l.expandedUnc, "expanded_uncertainty_percent");
            cl.rateUnc = cl.rate * percent / 100.0 / row.Positive(l.coverage, "coverage_k");
            if (n) {
                if (n->reference != reference)
                    Fail(path, line,
                         Format("%s has another reference_time on line %d", nuclide.c_str(),
                                n->csvLine));
                for (const CertifiedLine& o : n->lines)
                    if (o.energyKeV == cl.energyKeV)
                        Fail(path, line,
                             Format("%s %s keV is certified twice", nuclide.c_str(),
                                    Exact(cl.energyKeV).c_str()));
            } else {
                index[nuclide] = cert.nuclides.size();
                n = &cert.nuclides.emplace_back();
            }
            n->lines.push_back(cl);
        }
        if (n->csvLine == 0) {
            n->nuclide = nuclide;
            n->reference = reference;
            n->csvLine = static_cast<int>(line);
        }
    }
    if (cert.nuclides.empty()) Fail(path, headerLine, "no certified nuclide below the header");
    return cert;
}

int StoreSource(const char* dbName, const AnsiString& name, const Certificate& certificate,
                const AnsiString& path) {
    if (Trim(name).empty()) throw quantora::MisuseError("a source needs a name");
    if (name.size() > 100) throw quantora::MisuseError("a source name has at most 100 characters");
    if (certificate.nuclides.empty())
        throw Exception(Format("%s: the certificate names no nuclide", path.c_str()));
    const AnsiString calibrator = Clip(std::filesystem::path(path).filename().string(), 100);
    const TDateTime now = LocalNow();

    // Everything is looked up before anything is written.
    std::vector<SOURCEISOMERData> rows;
    std::set<int> isomers;
    for (const CertifiedNuclide& n : certificate.nuclides) {
        const auto fail = [&](const AnsiString& what) {
            Fail(path, static_cast<size_t>(std::max(n.csvLine, 0)), what);
        };
        ISOMERData iso;
        if (!FindIsomer(dbName, n.nuclide, &iso))
            fail(Format("no nuclide %s in the nuclide tables", n.nuclide.c_str()));
        if (!isomers.insert(iso.ISOMER_ID).second)
            fail(Format("%s is certified twice", n.nuclide.c_str()));
        if (!(n.reference > 0)) fail(Format("%s has no reference time", n.nuclide.c_str()));
        SOURCEISOMERData& si = rows.emplace_back();
        si.ISOMER_ID = iso.ISOMER_ID;
        si.ACTIVITYCALIBRATED = true;
        si.CALIBRATOR = calibrator;
        si.CALIBRDATE = n.reference;
        si.CREATIONDATE = now;
        if (n.lines.empty()) {
            if (!(n.activity > 0 && n.activityUnc > 0))
                fail(Format("%s has no positive activity with its uncertainty", n.nuclide.c_str()));
            si.ACTIVITY = n.activity;
            si.ACTIVITYUNC = n.activityUnc;
            continue;
        }
        for (const CertifiedLine& l : n.lines)
            if (!(l.energyKeV > 0 && l.rate > 0 && l.rateUnc > 0))
                fail(Format("%s has a line without positive energy, rate and uncertainty",
                            n.nuclide.c_str()));
        // The activity follows from the strongest line the nuclide tables know (an x-ray line
        // may be missing from them).
        std::vector<const CertifiedLine*> byRate;
        for (const CertifiedLine& l : n.lines) byRate.push_back(&l);
        std::stable_sort(byRate.begin(), byRate.end(),
                         [](const auto* a, const auto* b) { return a->rate > b->rate; });
        for (const CertifiedLine* l : byRate) {
            const auto emission = EmissionNear(dbName, iso.ISOMER_ID, l->energyKeV);
            if (!emission) continue;
            const auto [p, pUnc] = *emission;
            si.ACTIVITY = l->rate / p;
            si.ACTIVITYUNC = si.ACTIVITY * std::hypot(l->rateUnc / l->rate, pUnc / p);
            break;
        }
        if (!(si.ACTIVITY > 0))
            fail(
                Format("no certified line of %s is within %g keV of a line of it in the "
                       "nuclide tables",
                       n.nuclide.c_str(), kLineToleranceKeV));
        si.CMT = EmissionText(n.lines);
    }

    for (int attempt = 1;; ++attempt) {
        try {
            Transaction t(dbName);
            DbKeyGen keys(dbName, "SOURCE", "SOURCE");
            SOURCEData s;
            s.NAME = name;
            s.CREATIONDATE = now;
            s.Insert(&keys, dbName, nullptr);
            for (SOURCEISOMERData& si : rows) {
                si.SOURCE_ID = s.SOURCE_ID;
                si.Insert(nullptr, dbName, nullptr);
            }
            t.Commit();
            return s.SOURCE_ID;
        } catch (const EDatabaseError& e) {
            // SOURCE keys come from MAX + 1: another workstation may take one first.
            const bool keyTaken = e.Category() == DbErrorCategory::Constraint;
            if (attempt >= kStoreAttempts || !(e.Retryable() || keyTaken)) throw;
        }
    }
}

Certificate LoadSource(const char* dbName, int sourceId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL("SELECT COUNT(*) FROM SOURCE WHERE SOURCE_ID = :id");
    q.ParamByName("id")->SetAsInteger(sourceId);
    q.Open();
    if (q.Fields()[0]->AsInteger() == 0)
        throw quantora::NotFoundError(Format("no source with SOURCE_ID = %d", sourceId));
    q.Close();
    q.SetSQL(
        "SELECT SI.*, I.SYMBOL AS QDB_SYMBOL, I.ISOMERNUM AS QDB_STATE, I.HALFLIFE AS QDB_HL, "
        "I.HALFLIFEUNC AS QDB_HLU FROM SOURCEISOMER SI LEFT JOIN ISOMER I ON I.ISOMER_ID = "
        "SI.ISOMER_ID WHERE SI.SOURCE_ID = :id ORDER BY SI.ISOMER_ID");
    q.ParamByName("id")->SetAsInteger(sourceId);
    Certificate cert;
    SOURCEISOMERData si;
    const auto number = [&](const char* field) {
        const TField* f = q.FieldByName(field);
        return f->IsNull() ? -1.0 : f->AsFloat();
    };
    for (q.Open(); !q.Eof(); q.Next()) {
        si.Read(&q);
        CertifiedNuclide& n = cert.nuclides.emplace_back();
        const TField* symbol = q.FieldByName("QDB_SYMBOL");
        n.nuclide = symbol->IsNull()
                        ? Format("ISOMER_ID %d", si.ISOMER_ID)
                        : NuclideName(symbol->AsString(), q.FieldByName("QDB_STATE")->AsInteger());
        n.isomerId = si.ISOMER_ID;
        n.halfLife = number("QDB_HL");
        n.halfLifeUnc = number("QDB_HLU");
        n.reference = si.CALIBRDATE;
        if (si.CMT.rfind(kEmissionPrefix, 0) == 0) {
            if (!ParseEmissionText(si.CMT, &n.lines))
                throw Exception(
                    Format("source %d: the emission rates of %s cannot be read from '%s'", sourceId,
                           n.nuclide.c_str(), si.CMT.c_str()));
            cert.emissionRate = true;
        } else {
            n.activity = si.ACTIVITY;
            n.activityUnc = si.ACTIVITYUNC;
        }
    }
    return cert;
}

}  // namespace quantora
