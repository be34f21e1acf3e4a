// From certified sources to activities on the IAEA 2002 set: the Marinelli standard's certificate
// reproduces itself through its own efficiency, a point source's efficiency predicts each line
// fitted without it, the pulser's rate per live second is the same in every spectrum, and a
// quantification is stored as its identification and results.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "quantora/analysis/Activity.h"
#include "quantora/base/DateTime.h"
#include "quantora/lab/BackgroundAnalysis.h"
#include "quantora/lab/Certificates.h"
#include "quantora/lab/LineCounts.h"
#include "quantora/lab/Quantification.h"
#include "quantora/lab/SourceEfficiency.h"
#include "tests/lab/LabFixture.h"

namespace quantora {
namespace {

using test::kData;
using test::Lab;

// The Marinelli standard's nuclides and the natural series a bare detector sees.
const std::set<std::string> kMarinelli = {"Am-241", "Cd-109", "Ce-139", "Co-57", "Cs-134", "Cs-137",
                                          "Hg-203", "Mn-54",  "Sn-113", "Y-88",  "Zn-65"};
const std::set<std::string> kNatural = {"K-40",   "Pb-214", "Bi-214", "Pb-212",
                                        "Tl-208", "Ac-228", "Pb-210", "Ra-226"};

std::set<std::string> Union(std::set<std::string> a, const std::set<std::string>& b) {
    a.insert(b.begin(), b.end());
    return a;
}

TEST(Quantification, TheMarinelliCertificateReproducesItselfAndIsStored) {
    Lab lab(std::vector<std::string>{"sources/spectra/maricsmall.spe",
                                     "sources/spectra/BGSMALLMARI.spe"},
            Union(Union(kMarinelli, kNatural), {"Eu-152"}));
    const char* db = lab.db.name();
    const AnsiString path = kData + "/sources/maric_500ml_marinelli.csv";
    const Certificate cert = ReadCertificate(path);
    const int source = StoreSource(db, "Marinelli", cert, path);
    SourceEfficiencyOptions eo;
    eo.spectrumId = lab.spectrumIds[0];
    eo.backgroundSpectrumId = lab.spectrumIds[1];
    eo.sourceId = source;
    eo.libraryIds = {lab.libraryId};
    const SourceEfficiency eff = FitSourceEfficiency(db, eo);
    ASSERT_GT(eff.effAnalysisId, 0);
    EXPECT_LT(eff.chiSquare, 5.0 * std::max(eff.dof, 1));

    QuantifyOptions qo;
    qo.spectrumId = lab.spectrumIds[0];
    qo.backgroundSpectrumId = lab.spectrumIds[1];
    const std::set<std::string> used = Union(kMarinelli, kNatural);  // as a lab quantifies
    qo.libraryIds = {
        MakeNuclideLibrary(db, "maric", std::vector<AnsiString>(used.begin(), used.end()))};
    qo.reference = cert.nuclides.at(0).reference;  // the certificate's date: no decay to undo
    qo.effAnalysisId = eff.effAnalysisId;
    const int evaluations = lab.db.Count("PEAKEVAL");
    const Quantification q = Quantify(db, qo);
    EXPECT_EQ(lab.db.Count("PEAKEVAL"), evaluations);  // the efficiency fit's evaluation serves
    // The nuclides' half-lives come with their uncertainties (they enter the decay correction's).
    for (const auto& [id, info] : q.run.lines.isomers)
        EXPECT_EQ(info.halfLifeUnc,
                  std::stod(lab.db.Scalar("SELECT HALFLIFEUNC FROM ISOMER WHERE ISOMER_ID = " +
                                          std::to_string(id))))
            << info.nuclide;
    // The background kept as the setup's analysis serves as well as the spectrum named.
    lab.db.Exec("INSERT INTO MEASSETUP (MEASSETUP_ID, NAME) VALUES (1, 'SMALL Marinelli')");
    lab.db.Exec("UPDATE MEASUREMENT SET MEASSETUP_ID = 1");
    BackgroundAnalysisOptions bo;
    bo.spectrumId = lab.spectrumIds[1];
    bo.libraryIds = {lab.libraryId};
    const int background = StoreBackgroundAnalysis(db, bo);
    QuantifyOptions viaSetup = qo;
    viaSetup.backgroundSpectrumId = -1;
    viaSetup.store = false;
    const Quantification v = Quantify(db, viaSetup);
    EXPECT_EQ(v.backgroundAnalysisId, background);
    ASSERT_EQ(v.nuclides.size(), q.nuclides.size());
    for (size_t i = 0; i < q.nuclides.size(); ++i)
        EXPECT_NEAR(v.nuclides[i].activity.activity, q.nuclides[i].activity.activity,
                    0.01 * std::fabs(q.nuclides[i].activity.activity) + 1e-9)
            << q.nuclides[i].nuclide;
    int compared = 0;
    for (const CertifiedNuclide& c : cert.nuclides) {
        const auto n =
            std::find_if(q.nuclides.begin(), q.nuclides.end(),
                         [&](const QuantifiedNuclide& x) { return x.nuclide == c.nuclide; });
        ASSERT_NE(n, q.nuclides.end()) << c.nuclide;
        EXPECT_TRUE(n->activity.detected) << c.nuclide;
        const double ratio = n->activity.activity / c.activity;
        if (n->cascade) {  // summing: flagged and low, not hidden
            EXPECT_LT(ratio, 1.0) << c.nuclide;
            continue;
        }
        ++compared;
        EXPECT_NEAR(ratio, 1.0, 0.03) << c.nuclide << ": " << n->activity.activity << " +- "
                                      << n->activity.uncertainty << " Bq, certified " << c.activity;
    }
    EXPECT_GE(compared, 8);
    // Radium is measured by its radon daughters' lines too: each such line gives the daughter's
    // activity from it over the fraction of radium decays that reach the daughter.
    const auto named = [](const Quantification& r, const char* name) {
        return *std::find_if(r.nuclides.begin(), r.nuclides.end(),
                             [&](const QuantifiedNuclide& x) { return x.nuclide == name; });
    };
    int progenyLines = 0;
    for (const QuantifiedLine& l : named(q, "Ra-226").lines) {
        if (l.progeny.empty() || !l.used) continue;
        for (const QuantifiedLine& d : named(q, l.progeny.c_str()).lines)
            if (d.line == l.line && d.used) {
                EXPECT_NEAR(l.activity.activity * l.branching, d.activity.activity,
                            1e-9 * std::fabs(d.activity.activity));
                ++progenyLines;
            }
    }
    EXPECT_GE(progenyLines, 4);
    // Radon daughters three weeks before the count are what their radium holds, not 2^1000
    // times more.
    for (const QuantifiedNuclide& n : q.nuclides)
        if (n.nuclide == "Pb-214" || n.nuclide == "Bi-214") {
            EXPECT_EQ(n.supportedBy, "Ra-226");
            EXPECT_GT(n.activity.lines, 0) << n.nuclide;
            EXPECT_LT(std::fabs(n.activity.activity), 100.0) << n.nuclide;
        }
    // Eu-152 at 121.78 keV shares Co-57's 122.06 keV peak: both have lines of their own, so the
    // shared line counts for neither, and Eu-152, absent, is not detected.
    QuantifyOptions shared = qo;
    shared.libraryIds = {lab.libraryId};
    shared.store = false;
    const Quantification s = Quantify(db, shared);
    for (const QuantifiedNuclide& n : s.nuclides) {
        if (n.nuclide == "Eu-152") {
            EXPECT_FALSE(n.activity.detected) << n.activity.activity;
        }
        if (n.nuclide != "Co-57") continue;
        EXPECT_NEAR(n.activity.activity / 884.0, 1.0, 0.03);
        for (const QuantifiedLine& l : n.lines)
            if (std::fabs(l.energy - 122.06) < 0.1) {
                EXPECT_TRUE(l.shared && !l.used);
            }
    }
    // Stored: the identification of the new evaluation, a result per nuclide, its peaks.
    test::TestDatabase& t = lab.db;
    EXPECT_EQ(t.Count("NUCLIDEIDENT"), 1);
    EXPECT_EQ(t.Count("ACTIVITYRESULT WHERE NUCLIDEIDENT_ID = " + std::to_string(q.nuclideIdentId)),
              static_cast<int>(q.nuclides.size()));
    EXPECT_GE(t.Count("NUCLIDEPEAK"), static_cast<int>(q.nuclides.size()));
    EXPECT_EQ(t.Scalar("SELECT UNIT FROM ACTIVITYRESULT WHERE CMT = 'Cs-137'"), "Bq");
    EXPECT_EQ(t.Scalar("SELECT DETECTED FROM ACTIVITYRESULT WHERE CMT = 'Cs-137'"), "Y");
    EXPECT_EQ(t.Count("ACTIVITYRESULT WHERE CMT = 'Pb-214, in equilibrium with Ra-226'"), 1);
    EXPECT_EQ(t.Count("ACTIVITYRESULT WHERE CMT = 'Ra-226, with its progeny''s lines'"), 1);
    // Evaluated anew and stored, the evaluation read back quantifies to the same numbers.
    QuantifyOptions anew = qo;
    anew.reevaluate = true;
    anew.backgroundSpectrumId = -1;  // the stored background analysis for both
    const int before = t.Count("PEAKEVAL");
    const Quantification a = Quantify(db, anew);
    EXPECT_EQ(t.Count("PEAKEVAL"), before + 1);
    QuantifyOptions stored = anew;
    stored.reevaluate = stored.store = false;
    const Quantification b = Quantify(db, stored);
    EXPECT_EQ(b.run.peakEvalId, a.run.peakEvalId);
    ASSERT_EQ(a.run.result.peaks.size(), b.run.result.peaks.size());
    EXPECT_EQ(a.run.lineOfPeak, b.run.lineOfPeak);
    for (size_t i = 0; i < a.run.result.peaks.size(); ++i) {
        const analysis::FittedPeak &x = a.run.result.peaks[i], &y = b.run.result.peaks[i];
        for (auto [u, v] : {std::pair{x.area, y.area},
                            {x.decisionThreshold, y.decisionThreshold},
                            {x.detectionLimit, y.detectionLimit},
                            {x.areaUncNoPeak, y.areaUncNoPeak}})
            EXPECT_NEAR(u, v, 1e-6 * std::max(1.0, std::fabs(u))) << "peak at " << x.energy;
    }
    ASSERT_EQ(a.nuclides.size(), b.nuclides.size());
    for (size_t i = 0; i < a.nuclides.size(); ++i) {
        const analysis::NuclideActivity &x = a.nuclides[i].activity, &y = b.nuclides[i].activity;
        EXPECT_EQ(x.lines, y.lines) << a.nuclides[i].nuclide;
        for (auto [u, v] : {std::pair{x.activity, y.activity},
                            {x.uncertainty, y.uncertainty},
                            {x.decisionThreshold, y.decisionThreshold},
                            {x.detectionLimit, y.detectionLimit}})
            EXPECT_NEAR(u, v, 1e-6 * x.uncertainty) << a.nuclides[i].nuclide;
    }
}

// Each line of the distant point source left out of the fit: the curve through the others
// predicts its efficiency within twice the combined standard uncertainty.
TEST(Quantification, APointSourceEfficiencyPredictsEveryLineLeftOut) {
    const AnsiString path = kData + "/sources/qcd1_point_source.csv";
    // The 20 cm spectrum of the small detector scatters more than its uncertainties: its
    // left-out lines are not held to them.
    const struct {
        const char* file;
        bool covered;
    } spectra[] = {{"sources/spectra/QCDBIG30.spe", true},
                   {"sources/spectra/QCDSMALL20.spe", false}};
    for (const auto [file, covered] : spectra) {
        SCOPED_TRACE(file);
        Lab lab(std::string(file), Union({"Cd-109", "Co-57", "Ce-139", "Hg-203", "Sn-113", "Sr-85",
                                          "Cs-137", "Y-88", "Co-60"},
                                         kNatural));
        const char* db = lab.db.name();
        SourceEfficiencyOptions o;
        o.spectrumId = lab.spectrumId;
        o.sourceId = StoreSource(db, "QCD1", ReadCertificate(path), path);
        o.libraryIds = {lab.libraryId};
        o.fitCascades = true;  // distant: little summing
        o.store = false;
        const SourceEfficiency all = FitSourceEfficiency(db, o);
        // Each Co-60 line one peak: the efficiency falls from 1173 to 1332 keV by a few percent,
        // as a crystal's does (a flank of the 1173 keV peak fitted as a peak of its own made
        // them equal).
        double co60[2] = {0, 0};
        for (const EfficiencyPoint& p : all.points)
            if (p.nuclide == "Co-60") co60[p.energy > 1250] = p.efficiency;
        EXPECT_GT(co60[0] / co60[1], 1.02);
        EXPECT_LT(co60[0] / co60[1], 1.2);
        // The annihilation peak's neighbour is not a point of the curve.
        for (const EfficiencyPoint& p : all.points)
            if (p.nuclide == "Sr-85" && p.peak >= 0) {
                EXPECT_TRUE(p.annihilation && !p.used);
            }
        if (!covered) continue;
        int checked = 0;
        for (const EfficiencyPoint& p : all.points) {
            if (!p.used) continue;
            o.leaveOut = {p.energy};
            const SourceEfficiency without = FitSourceEfficiency(db, o);
            const double predicted = without.curve.Efficiency(p.energy);
            const double unc = std::hypot(without.curve.EfficiencyUnc(p.energy), p.efficiencyUnc);
            EXPECT_LT(std::fabs(p.efficiency - predicted), 2 * unc) << p.nuclide << " " << p.energy;
            ++checked;
        }
        EXPECT_GE(checked, 4);
    }
}

// The pulser of the set's spectra counts 25 per live second in every one of them: a check on
// the live times the importer stored, on spectra nobody here made.
TEST(Quantification, ThePulserCountsTwentyFivePerLiveSecondInEverySpectrum) {
    std::vector<std::string> files;
    for (const std::string dir : {"sources/spectra", "spectra/original/iaea2002"}) {
        DIR* d = opendir((kData + "/" + dir).c_str());
        ASSERT_TRUE(d) << dir;
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.substr(name.size() - 4) == ".spe")
                files.push_back(dir + "/" + name);
        }
        closedir(d);
    }
    ASSERT_GE(files.size(), 5u);
    Lab lab(files, {"K-40"});
    for (size_t i = 0; i < files.size(); ++i) {
        PeakEvalRunOptions o;
        o.store = false;
        const PeakEvalRun run = EvaluateStoredSpectrum(lab.db.name(), lab.spectrumIds[i], o);
        const analysis::FittedPeak* pulser = nullptr;
        for (const analysis::FittedPeak& p : run.result.peaks)
            if (p.channel > 3900 && (!pulser || p.area > pulser->area)) pulser = &p;
        ASSERT_TRUE(pulser) << files[i];
        const double rate = pulser->area / run.spectrum.row.rec.LIVETIME;
        EXPECT_NEAR(rate, 25.0, std::max(0.25, 3 * pulser->areaUnc / run.spectrum.row.rec.LIVETIME))
            << files[i];
    }
}

// A background's peaks become rates per live second; without a live time there are none.
TEST(Quantification, ABackgroundWithoutLiveTimeGivesNoRates) {
    PeakEvalRun background;
    analysis::FittedPeak p;
    p.energy = 661.7, p.area = 100, p.areaUnc = 10;
    background.result.peaks = {p};
    for (const double t : {0.0, -1.0}) {
        background.spectrum.row.rec.LIVETIME = t;
        EXPECT_TRUE(BackgroundLines(background).empty()) << t;
    }
    background.spectrum.row.rec.LIVETIME = 50;
    const std::vector<BackgroundLine> lines = BackgroundLines(background);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_DOUBLE_EQ(lines[0].rate, 2.0);
    EXPECT_DOUBLE_EQ(lines[0].rateUnc, 0.2);
}

}  // namespace
}  // namespace quantora
