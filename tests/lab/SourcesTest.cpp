// Certified sources: every shared certificate read with standard uncertainties and UTC reference
// times, stored and read back unchanged, and faulty certificates refused naming their line with
// nothing stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/lab/Certificates.h"
#include "tests/lab/LabFixture.h"
#include "tests/support/ScratchDir.h"

namespace quantora {
namespace {

namespace fs = std::filesystem;
using test::kData;

// Every certificate beside the shared sources' README.
std::vector<std::string> SharedCertificates() {
    std::vector<std::string> out;
    for (const fs::directory_entry& e : fs::directory_iterator(kData + "/sources"))
        if (e.path().extension() == ".csv") out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

TDateTime Utc(int year, int month, int day, int hour, int minute) {
    CivilTime t;
    t.year = year, t.month = month, t.day = day, t.hour = hour, t.minute = minute;
    return EncodeDateTime(t);
}

const CertifiedNuclide* Find(const Certificate& c, const std::string& nuclide) {
    for (const CertifiedNuclide& n : c.nuclides)
        if (n.nuclide == nuclide) return &n;
    return nullptr;
}

TEST(Certificates, HandComputedRowsHaveStandardUncertaintiesInUtc) {
    // Hand-computed rows: 5.0 % of 3353 Bq at 99 % is 167.65 / 2.576 Bq; 1.6 % of 3794 /s at
    // k = 2 is 60.704 / 2 /s; "counting statistics only" is already standard.
    const struct {
        const char* file;
        const char* nuclide;
        double energy;  // 0: activity
        double value, unc;
        TDateTime reference;
    } rows[] = {
        {"maric_500ml_marinelli.csv", "Am-241", 0, 3353, 65.0815217, Utc(2002, 11, 1, 17, 0)},
        {"pic_100ml_pillbox.csv", "Cs-137", 0, 1782, 33.2049689, Utc(2002, 11, 1, 17, 0)},
        {"qcd1_point_source.csv", "Co-60", 1173, 3794, 30.352, Utc(2001, 5, 1, 12, 0)},
        {"qcd1_point_source.csv", "Co-60", 1333, 3797, 30.376, Utc(2001, 5, 1, 12, 0)},
        {"qcd1_point_source.csv", "Cd-109", 88.03, 734, 23.121, Utc(2001, 5, 1, 12, 0)},
        {"single_nuclide_point_sources.csv", "Cs-137", 0, 35500, 355, Utc(2001, 5, 1, 12, 0)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.file) + " " + r.nuclide);
        const Certificate c = ReadCertificate(kData + "/sources/" + r.file);
        const CertifiedNuclide* n = Find(c, r.nuclide);
        ASSERT_TRUE(n);
        EXPECT_NEAR(n->reference, r.reference, 1e-9);
        if (r.energy == 0) {
            EXPECT_EQ(n->activity, r.value);
            EXPECT_NEAR(n->activityUnc, r.unc, 1e-6);
            continue;
        }
        const auto l = std::find_if(n->lines.begin(), n->lines.end(), [&](const CertifiedLine& x) {
            return x.energyKeV == r.energy;
        });
        ASSERT_NE(l, n->lines.end());
        EXPECT_EQ(l->rate, r.value);
        EXPECT_NEAR(l->rateUnc, r.unc, 1e-9);
    }
}

TEST(Certificates, StoredSourcesReadBackUnchanged) {
    const test::TestDatabase db(true);
    test::LoadGammaLines(db, {"Am-241", "Cd-109", "Ce-139", "Co-57", "Co-60", "Cs-134", "Cs-137",
                              "Hg-203", "Mn-54", "Sn-113", "Sr-85", "Y-88", "Zn-65"});
    int last = 0;
    for (const std::string& path : SharedCertificates()) {
        SCOPED_TRACE(path);
        const Certificate read = ReadCertificate(path);
        const std::string file = fs::path(path).filename().string();
        const int id = StoreSource(db.name(), file, read, path);
        EXPECT_GT(id, last);
        last = id;
        const std::string where = " WHERE SOURCE_ID = " + std::to_string(id);
        EXPECT_EQ(db.Scalar("SELECT NAME FROM SOURCE" + where), file);
        EXPECT_EQ(
            db.Rows("SELECT DISTINCT CALIBRATOR, ACTIVITYCALIBRATED FROM SOURCEISOMER" + where),
            file + "|Y\n");
        const Certificate back = LoadSource(db.name(), id);
        EXPECT_EQ(back.emissionRate, read.emissionRate);
        ASSERT_EQ(back.nuclides.size(), read.nuclides.size());
        for (const CertifiedNuclide& n : back.nuclides) {
            SCOPED_TRACE(n.nuclide);
            const CertifiedNuclide* r = Find(read, n.nuclide);
            ASSERT_TRUE(r);
            const std::string isomer =
                " FROM ISOMER WHERE ISOMER_ID = " + std::to_string(n.isomerId);
            EXPECT_EQ(db.Scalar("SELECT SYMBOL" + isomer + " AND ISOMERNUM = 0"), n.nuclide);
            EXPECT_NEAR(std::stod(db.Scalar("SELECT HALFLIFE" + isomer)), n.halfLife,
                        1e-12 * n.halfLife);
            EXPECT_GT(n.halfLifeUnc, 0);
            EXPECT_NEAR(n.reference, r->reference, 1e-9);
            EXPECT_DOUBLE_EQ(n.activity, r->activity);
            EXPECT_DOUBLE_EQ(n.activityUnc, r->activityUnc);
            ASSERT_EQ(n.lines.size(), r->lines.size());
            for (size_t i = 0; i < n.lines.size(); ++i) {
                EXPECT_EQ(n.lines[i].energyKeV, r->lines[i].energyKeV);
                EXPECT_EQ(n.lines[i].rate, r->lines[i].rate);
                EXPECT_EQ(n.lines[i].rateUnc, r->lines[i].rateUnc);
            }
        }
    }
    // An emission-rate nuclide's ACTIVITY is its strongest line over that line's emission
    // probability: Co-60 3797 /s at 1333 keV (99.9826 +- 0.0006 %), Y-88 7552 /s at 1836 keV
    // (99.24 +- 0.306 %); the uncertainties of rate and probability combined.
    const struct {
        const char* nuclide;
        double activity, unc;
    } implied[] = {{"Co-60", 3797.66079, 30.38129}, {"Y-88", 7609.83474, 61.70894}};
    for (const auto& i : implied) {
        const std::string row = db.Rows(
            "SELECT SI.ACTIVITY, SI.ACTIVITYUNC FROM SOURCEISOMER SI JOIN ISOMER I ON "
            "I.ISOMER_ID = SI.ISOMER_ID JOIN SOURCE S ON S.SOURCE_ID = SI.SOURCE_ID WHERE "
            "S.NAME = 'qcd1_point_source.csv' AND I.SYMBOL = '" +
            std::string(i.nuclide) + "'");
        ASSERT_NE(row.find('|'), std::string::npos) << i.nuclide;
        EXPECT_NEAR(std::stod(row), i.activity, 1e-4) << i.nuclide;
        EXPECT_NEAR(std::stod(row.substr(row.find('|') + 1)), i.unc, 1e-4) << i.nuclide;
    }
    try {
        LoadSource(db.name(), 999);
        ADD_FAILURE() << "a missing source was loaded";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "no source with SOURCE_ID = 999");
    }
}

TEST(Certificates, WrittenFormsAreReadAndFaultsNameTheirLineWithNothingStored) {
    const test::TestDatabase db(true);
    test::LoadGammaLines(db, {"Cs-137", "Co-60", "Ag-110"});
    const std::string act =
        "nuclide,activity_bq,total_uncertainty_percent,confidence_level,reference_time\n";
    const std::string rate =
        "nuclide,energy_kev,emission_rate_per_s,expanded_uncertainty_percent,coverage_k,"
        "reference_time\n";
    const std::string cs = "Cs-137,100,5,0.99,2002-11-01T12:00:00Z\n";
    const struct {
        std::string text;
        int line;  // of the fault; 0: accepted
        std::string says;
        // accepted: the nuclide with its standard uncertainty and reference time, in UTC
        double activity = 0, unc = 0;
        TDateTime reference = 0;
    } cases[] = {
        {act + "Cs-137,100,2,0.95,2024-03-15T12:30:00+01:00\n", 0, "Cs-137", 100, 2 / 1.96,
         Utc(2024, 3, 15, 11, 30)},
        // Columns in another order, CR LF, quotes, a level in percent, an offset without colon.
        {"reference_time,nuclide,confidence_level,activity_bq,total_uncertainty_percent\r\n"
         "2024-03-15T12:30-0130,\"Co-60\",68,100,3\r\n",
         0, "Co-60", 100, 3, Utc(2024, 3, 15, 14, 0)},
        {act + "Ag-110m,50,4,0.6827,2020-01-01T00:00:00Z\n", 0, "Ag-110m", 50, 2,
         Utc(2020, 1, 1, 0, 0)},
        {act + cs + "Co-60,-5,5,0.99,2002-11-01T12:00:00Z\n", 3, "activity_bq '-5'"},
        {rate + "Co-60,1173,abc,1.6,2,2001-05-01T12:00:00Z\n", 2, "emission_rate_per_s 'abc'"},
        {act + "Cs-137,100,5,0.99,2002-13-01T12:00:00Z\n", 2, "reference_time '2002-13-01"},
        {act + "Cs-137,100,5,0.99,2002-11-01T12:00:00\n", 2, "offset from UTC"},
        {act + "Cs-137,100,5,0.99,\n", 2, "no reference_time"},
        {act + "Cs-137,100,5,0.90,2002-11-01T12:00:00Z\n", 2, "confidence_level '0.90'"},
        {act + cs + cs, 3, "Cs-137 is certified twice (line 2)"},
        {"nuclide,activity,uncertainty\n" + cs, 1, "unknown certificate header"},
        {"nuclide,total_uncertainty_percent,confidence_level,reference_time\n"
         "Cs-137,5,0.99,2002-11-01T12:00:00Z\n",
         1, "unknown certificate header"},
        {"", 1, "empty file"},
        {act, 1, "no certified nuclide"},
        {act + cs + "Xx-999,10,5,0.99,2002-11-01T12:00:00Z\n", 3,
         "no nuclide Xx-999 in the nuclide tables"},
        {rate + "Co-60,1000,3794,1.6,2,2001-05-01T12:00:00Z\n", 2, "no certified line of Co-60"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const test::ScratchDir dir;
        const std::string file = dir / "certificate.csv";
        std::ofstream(file, std::ios::binary) << c.text;
        const int sources = db.Count("SOURCE");
        if (c.line == 0) {
            const int id = StoreSource(db.name(), "ok", ReadCertificate(file), file);
            const Certificate back = LoadSource(db.name(), id);
            ASSERT_EQ(back.nuclides.size(), 1u);
            const CertifiedNuclide& n = back.nuclides[0];
            EXPECT_EQ(n.nuclide, c.says);
            EXPECT_EQ(n.activity, c.activity);
            EXPECT_NEAR(n.activityUnc, c.unc, 1e-12);
            EXPECT_NEAR(n.reference, c.reference, 1e-9);
            continue;
        }
        try {
            StoreSource(db.name(), "bad", ReadCertificate(file), file);
            ADD_FAILURE() << "accepted";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message.rfind(file + ":" + std::to_string(c.line) + ": ", 0), 0u)
                << e.Message;
            EXPECT_NE(e.Message.find(c.says), std::string::npos) << e.Message;
        }
        EXPECT_EQ(db.Count("SOURCE"), sources);
    }
    EXPECT_EQ(db.Count("SOURCEISOMER"), db.Count("SOURCE"));
    EXPECT_EQ(db.Scalar("SELECT I.ISOMERNUM FROM SOURCEISOMER SI JOIN ISOMER I ON I.ISOMER_ID = "
                        "SI.ISOMER_ID WHERE I.SYMBOL = 'Ag-110'"),
              "1");
}

}  // namespace
}  // namespace quantora
