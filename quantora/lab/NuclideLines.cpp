// Nuclide lines from the nuclide tables.
#include "quantora/lab/NuclideLines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"

namespace quantora {
namespace {

constexpr double kLevelTolerance = 0.5;  // keV: two level energies of one decay are one level
// A partner line emitted in fewer decays sums too rarely to matter.
constexpr double kCascadePartner = 0.1;

// Short-lived members of decay series, the long-lived parent each is found in equilibrium with
// in a sample (the natural series once the sample is sealed, radon kept in, and the daughters
// that always come with their parent), and the fraction of the parent's decays that pass
// through it.
struct Support {
    const char* daughter;
    const char* parent;
    double branching;
};
constexpr Support kSupportedBy[] = {
    {"Th-234", "U-238", 1.0},     {"Pa-234m", "U-238", 0.9984},  {"Pa-234", "U-238", 0.0016},
    {"Rn-222", "Ra-226", 1.0},    {"Pb-214", "Ra-226", 0.9998},  {"Bi-214", "Ra-226", 1.0},
    {"Ac-228", "Ra-228", 1.0},    {"Ra-224", "Th-228", 1.0},     {"Rn-220", "Th-228", 1.0},
    {"Pb-212", "Th-228", 1.0},    {"Bi-212", "Th-228", 1.0},     {"Tl-208", "Th-228", 0.3594},
    {"Th-231", "U-235", 1.0},     {"Th-227", "Ac-227", 0.9862},  {"Ra-223", "Ac-227", 1.0},
    {"Rn-219", "Ac-227", 1.0},    {"Pb-211", "Ac-227", 1.0},     {"Bi-211", "Ac-227", 1.0},
    {"Tl-207", "Ac-227", 0.9972}, {"Ba-137m", "Cs-137", 0.9470}, {"Rh-106", "Ru-106", 1.0},
    {"Pr-144", "Ce-144", 1.0},
};

// The parent's half-life for each supported nuclide of `out`.
void ReadSupport(const char* dbName, NuclideLines* out) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT HALFLIFE, HALFLIFEUNC FROM ISOMER WHERE SYMBOL = :s AND (ISOMERNUM IS NULL OR "
        "ISOMERNUM = 0) ORDER BY ISOMER_ID");
    for (auto& [id, info] : out->isomers)
        for (const Support& support : kSupportedBy) {
            if (info.nuclide != support.daughter) continue;
            info.supportedBy = support.parent;
            info.supportBranching = support.branching;
            q.Close();
            q.ParamByName("s")->SetAsString(support.parent);
            q.Open();
            if (!q.Eof() && !q.Fields()[0]->IsNull()) {
                info.supportHalfLife = q.Fields()[0]->AsFloat();
                info.supportHalfLifeUnc = q.Fields()[1]->IsNull() ? 0 : q.Fields()[1]->AsFloat();
            }
        }
}

// "level 661.659 -> 0 keV, M4" in a line's comment: the levels it connects.
void ParseLevels(const AnsiString& cmt, NuclideLine* line) {
    double from = 0, to = 0;
    if (std::sscanf(cmt.c_str(), "level %lf -> %lf", &from, &to) == 2)
        line->levelFrom = from, line->levelTo = to;
}

// Every line of the decays the `where` clause picks (over D and I), with its isomer.
NuclideLines ReadLines(const char* dbName, const AnsiString& where, const std::vector<int>& keys) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT R.RADIATION_ID, R.DECAY_ID, R.E, R.EUNC, R.INTENSITY, R.INTENSITYUNC, R.CMT, "
        "I.ISOMER_ID, I.SYMBOL, I.ISOMERNUM, I.HALFLIFE, I.HALFLIFEUNC FROM RADIATION R JOIN "
        "DECAY D ON D.DECAY_ID = R.DECAY_ID JOIN ISOMER I ON I.ISOMER_ID = D.ISOMER_ID WHERE " +
        where);
    NuclideLines out;
    for (int key : keys) {
        q.Close();
        q.ParamByName("k")->SetAsInteger(key);
        for (q.Open(); !q.Eof(); q.Next()) {
            auto num = [&](int i) {
                return q.Fields()[i]->IsNull() ? -1.0 : q.Fields()[i]->AsFloat();
            };
            NuclideLine l;
            l.radiationId = q.Fields()[0]->AsString();
            l.decayId = q.Fields()[1]->AsInteger();
            l.energy = num(2);
            l.energyUnc = std::max(num(3), 0.0);
            l.intensity = num(4) / 100.0;
            l.intensityUnc = std::max(num(5), 0.0) / 100.0;
            if (!(l.energy > 0) || !(l.intensity > 0)) continue;
            ParseLevels(q.Fields()[6]->AsString(), &l);
            l.isomerId = q.Fields()[7]->AsInteger();
            l.nuclide = q.Fields()[8]->AsString();
            if (!q.Fields()[9]->IsNull() && q.Fields()[9]->AsInteger() > 0) l.nuclide += "m";
            NuclideInfo& info = out.isomers[l.isomerId];
            info.nuclide = l.nuclide;
            info.halfLife = num(10);
            info.halfLifeUnc = std::max(num(11), 0.0);
            out.lines.push_back(std::move(l));
        }
    }
    std::sort(out.lines.begin(), out.lines.end(), [](const NuclideLine& a, const NuclideLine& b) {
        return a.energy != b.energy ? a.energy < b.energy : a.nuclide < b.nuclide;
    });
    // A table loaded twice gives each line twice: one is kept.
    out.lines.erase(std::unique(out.lines.begin(), out.lines.end(),
                                [](const NuclideLine& a, const NuclideLine& b) {
                                    return a.nuclide == b.nuclide &&
                                           std::fabs(a.energy - b.energy) < 1e-6;
                                }),
                    out.lines.end());
    ReadSupport(dbName, &out);
    return out;
}

}  // namespace

bool NuclideLines::InCascade(const NuclideLine& line) const {
    if (line.levelFrom < 0) return false;
    // Every line of the decay on a path through this one: those that feed its start level,
    // directly or through others, and those that its end level decays by.
    auto same = [](double a, double b) { return std::fabs(a - b) < kLevelTolerance; };
    std::vector<double> up = {line.levelFrom}, down = {line.levelTo};
    std::vector<const NuclideLine*> seen = {&line};
    for (size_t grown = 1; grown > 0;) {
        grown = 0;
        for (const NuclideLine& other : lines) {
            if (other.decayId != line.decayId || other.levelFrom < 0 ||
                std::find(seen.begin(), seen.end(), &other) != seen.end())
                continue;
            const bool feeds = std::any_of(up.begin(), up.end(),
                                           [&](double lv) { return same(other.levelTo, lv); });
            const bool follows = std::any_of(down.begin(), down.end(),
                                             [&](double lv) { return same(other.levelFrom, lv); });
            if (!feeds && !follows) continue;
            if (other.intensity >= kCascadePartner) return true;
            seen.push_back(&other);
            if (feeds) up.push_back(other.levelFrom);
            if (follows) down.push_back(other.levelTo);
            ++grown;
        }
    }
    return false;
}

NuclideLines LinesOfLibraries(const char* dbName, const std::vector<int>& libraryIds) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL("SELECT COUNT(*) FROM RADIATIONLIBRARY WHERE RADIATIONLIBRARY_ID = :id");
    for (int id : libraryIds) {
        q.Close();
        q.ParamByName("id")->SetAsInteger(id);
        q.Open();
        if (q.Fields()[0]->AsInteger() == 0)
            throw quantora::NotFoundError(
                Format("no radiation library with RADIATIONLIBRARY_ID = %d", id));
    }
    return ReadLines(dbName,
                     "D.DECAY_ID IN (SELECT T.DECAY_ID FROM RADLIB_TRANSFORM T WHERE "
                     "T.RADIATIONLIBRARY_ID = :k)",
                     libraryIds);
}

NuclideLines LinesOfIsomers(const char* dbName, const std::vector<int>& isomerIds) {
    return ReadLines(dbName, "I.ISOMER_ID = :k", isomerIds);
}

}  // namespace quantora
