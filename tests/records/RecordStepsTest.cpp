// The record classes' own steps beyond their columns: the measured object's column, compressed
// counts, evaluation flags and calibration references, the peak index, geometry parameters and
// the isomer update.
#include <gtest/gtest.h>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/records/Meastables.h"
#include "quantora/records/Othertables.h"
#include "quantora/records/Peaktables.h"
#include "quantora/records/Sampletables.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;

namespace {

class RecordSteps : public ::testing::Test {
  protected:
    TestDatabase db{true};
    TQuery q;

    RecordSteps() { q.SetDatabaseName(db.alias()); }
};

}  // namespace

TEST_F(RecordSteps, MeasurementObjectColumnFollowsTheTypeAndEveryQuery) {
    db.Exec(
        "INSERT INTO MEASUREMENT (MEASUREMENT_ID, MEASOBJTYPE_ID, SAMPLE_ID, SOURCE_ID, "
        "SOURCELIST_ID) VALUES (1, 1, 20, 30, 40), (2, 2, 20, 30, 40), (3, 3, 20, 30, 40), "
        "(4, 4, 20, 30, 40)");
    db.Exec("INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID, SPECTRUMTYPE_ID) VALUES (9, 3, 1)");
    // Only the column of the row's type is read, whichever query the record follows.
    MEASUREMENTData m;
    for (const char* columns : {"*",
                                "SOURCELIST_ID, SOURCE_ID, SAMPLE_ID, MEASOBJTYPE_ID, "
                                "MEASUREMENT_ID"}) {
        db.Open(q, Format("SELECT %s FROM MEASUREMENT ORDER BY MEASUREMENT_ID", columns));
        for (int type = 1; type <= 4; ++type, q.Next()) {
            ASSERT_TRUE(m.GetData(&q));
            EXPECT_EQ(
                std::vector<int>({m.SAMPLE_ID, m.SOURCE_ID, m.SOURCELIST_ID}),
                std::vector<int>({type == 2 ? 20 : -1, type == 3 ? 30 : -1, type == 4 ? 40 : -1}));
            EXPECT_EQ(m.MeasTypeInfo.Spectra.size(), type == 3 ? 1u : 0u);
        }
    }
    // Written: the column of the type alone; a type without an object as 1 and no column.
    for (int type : {0, 2, 3, 4, 5}) {
        MEASUREMENTData w;
        w.MEASUREMENT_ID = 10 + type;
        w.MEASOBJTYPE_ID = type;
        w.SAMPLE_ID = 20, w.SOURCE_ID = 30, w.SOURCELIST_ID = 40;
        w.Insert(nullptr, db.name(), nullptr);
        const int t = type >= 2 && type <= 4 ? type : 1;
        EXPECT_EQ(w.MEASOBJTYPE_ID, t);
        // The ids 20, 30 and 40 are told apart by their sum.
        EXPECT_EQ(
            db.Count(Format("MEASUREMENT WHERE MEASUREMENT_ID = %d AND MEASOBJTYPE_ID = %d AND "
                            "COALESCE(SAMPLE_ID, 0) + COALESCE(SOURCE_ID, 0) + "
                            "COALESCE(SOURCELIST_ID, 0) = %d",
                            10 + type, t, t == 1 ? 0 : t * 10)),
            1);
    }
}

TEST_F(RecordSteps, EmptyAndOneChannelSpectraAndDamagedCounts) {
    SPECTRUMData s;
    std::vector<unsigned long> none;
    s.CompressCounts(&none, false);
    EXPECT_EQ(std::vector<int>({s.CHANNELS, s.STARTCOUNT, s.COUNTDATASIZE, s.COUNTDATAFORMAT}),
              std::vector<int>({0, 0, 0, 1}));
    s.SPECTRUM_ID = 1;
    s.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(db.Count("SPECTRUM WHERE COUNTDATA IS NULL"), 1);
    std::vector<unsigned long> out{1, 2};
    s.UncompressCounts(&out);
    EXPECT_TRUE(out.empty());

    // Counts that do not fit the row's channels are an error, not wrong counts.
    s.CHANNELS = 2;
    EXPECT_THROW(s.UncompressCounts(&out), Exception);
}

TEST_F(RecordSteps, EvaluationFlagsAndCalibrationReferences) {
    // "y" is true, "N" is false, null keeps the reset value true.
    db.Exec(
        "INSERT INTO PEAKEVAL (PEAKEVAL_ID, ECAL_ID, USENEWESTECAL, USENEWESTWCAL) VALUES (1, "
        "5, 'y', 'N')");
    PEAKEVALData e;
    ASSERT_TRUE(e.GetData(&db.Open(q, "SELECT * FROM PEAKEVAL", true)));
    EXPECT_EQ(std::tuple(e.USENEWESTECAL, e.USENEWESTWCAL, e.USEAUTOECALUPDATE),
              std::tuple(true, false, true));
    // Calibration references below 1 become null, also over a value already in the row.
    e.ECAL_ID = -1;
    e.FWHMCAL_ID = 4;
    q.Edit();
    e.SetData(&q);
    q.Post();
    EXPECT_EQ(db.Count("PEAKEVAL WHERE ECAL_ID IS NULL AND FWHMCAL_ID = 4"), 1);
}

TEST_F(RecordSteps, ReadAllPeaksKeepsKeyOrderAmongEqualEnergies) {
    for (const char* row : {"5, 100", "3, 50", "9, 100", "1, 100"})
        db.Exec(Format("INSERT INTO PEAK (PEAK_ID, E) VALUES (%s)", row));
    std::set<PEAKData> peaks{PEAKData()};
    std::multiset<PEAKData*, EIndexedPeaksSetSorter> byEnergy;
    // Without a query or a set nothing is read or cleared.
    q.SetSQL("SELECT * FROM PEAK");
    ReadAllPeaks(nullptr, &peaks, &byEnergy);
    ReadAllPeaks(&q, nullptr, &byEnergy);
    EXPECT_EQ(peaks.size() + byEnergy.size(), 1u);

    // Rows against key order, and a second row of key 3 that is dropped.
    q.SetSQL(
        "SELECT PEAK_ID, E, 0 AS K FROM PEAK UNION ALL SELECT PEAK_ID, 999.0, 1 FROM PEAK "
        "WHERE PEAK_ID = 3 ORDER BY 3, 1 DESC");
    ReadAllPeaks(&q, &peaks, &byEnergy);
    EXPECT_FALSE(q.Active());  // closed before, closed after
    ASSERT_EQ(peaks.size(), 4u);
    std::vector<int> order;
    for (const PEAKData* p : byEnergy) order.push_back(p->PEAK_ID);
    EXPECT_EQ(order, (std::vector<int>{3, 1, 5, 9}));

    // An empty result empties both.
    db.Open(q, "SELECT * FROM PEAK WHERE PEAK_ID < 0");
    ReadAllPeaks(&q, &peaks, &byEnergy);
    EXPECT_EQ(peaks.size() + byEnergy.size(), 0u);
}

TEST_F(RecordSteps, IsomerInsertAndUpdateUseBothKeyParts) {
    quantora::CountingKeyGen gen(40);
    SOURCEISOMERData si;
    si.SOURCE_ID = 8;
    si.ISOMER_ID = 1;
    si.Insert(&gen, db.name(), nullptr);
    EXPECT_EQ(gen.NextKey(), 40);  // no key taken from the generator
    db.Exec("INSERT INTO SOURCEISOMER (SOURCE_ID, ISOMER_ID) VALUES (8, 2)");
    TQuery u;
    u.SetDatabaseName(db.alias());
    u.SetSQL(
        "UPDATE SOURCEISOMER SET ACTIVITYCALIBRATED = :ACTIVITYCALIBRATED, ACTIVITY = :ACTIVITY, "
        "ACTIVITYUNC = :ACTIVITYUNC, CMT = :CMT "
        "WHERE SOURCE_ID = :SOURCE_ID AND ISOMER_ID = :ISOMER_ID");
    // Parameters the record skips (no value, empty comment) keep what the caller set.
    u.ParamByName("ACTIVITY")->SetAsFloat(2.5);
    u.ParamByName("CMT")->SetAsString("kept");
    si.ISOMER_ID = 9;
    EXPECT_FALSE(si.Update(&u));
    si.ISOMER_ID = 2;
    si.ACTIVITYUNC = 0.2;
    si.ACTIVITYCALIBRATED = true;
    EXPECT_TRUE(si.Update(&u));
    EXPECT_EQ(db.Count("SOURCEISOMER WHERE ACTIVITYCALIBRATED = 'Y' AND ACTIVITY = 2.5 AND "
                       "ACTIVITYUNC = 0.2 AND CMT = 'kept'"),
              1);
}

namespace {

std::vector<std::string> Shown(const SAMPLEGEOMData& g) {
    std::vector<std::string> out;
    for (const auto& p : g.Params)
        out.push_back(Format("%d %d %d %d %d '%s' %g %g %s %s", p.SAMPLEGEOMPARAM_ID,
                             p.SAMPLEGEOMREQPARAM_ID, p.SAMPLEGEOMPARAMTYPE_ID, p.INTVALUE1,
                             p.INTVALUE2, p.TEXTVALUE.c_str(), p.NUMVALUE1, p.NUMVALUE2,
                             p.NAME.c_str(), p.SYMBOL.c_str()));
    return out;
}

// Type 3 requires the parameters 301 to 303. Geometry 1 has values 12 (for 301) and 14 (302);
// geometry 2, of the same type, has values 21 to 23.
class GeometryParams : public RecordSteps {
  protected:
    GeometryParams() {
        for (const char* row : {"301, 3, 'diameter', 'd', 1", "302, 3, 'height', 'h', 1",
                                "303, 3, 'material', 'm', 2", "401, 4, 'other', NULL, NULL"})
            db.Exec(
                "INSERT INTO SAMPLEGEOMREQPARAM (SAMPLEGEOMREQPARAM_ID, SAMPLEGEOMTYPE_ID, "
                "NAME, SYMBOL, SAMPLEGEOMPARAMTYPE_ID) VALUES (" +
                std::string(row) + ")");
        db.Exec(
            "INSERT INTO SAMPLEGEOM (SAMPLEGEOM_ID, NAME, SAMPLEGEOMTYPE_ID) VALUES (1, 'a', "
            "3), (2, 'vial', 3)");
        for (const char* row :
             {"12, 1, 301, 7.5, NULL, 2, 'x'", "14, 1, 302, NULL, 3.25, NULL, NULL",
              "21, 2, 301, 99, 0, 0, ''", "22, 2, 302, 99, 0, 0, ''", "23, 2, 303, 99, 0, 0, ''"})
            db.Exec(
                "INSERT INTO SAMPLEGEOMPARAM (SAMPLEGEOMPARAM_ID, SAMPLEGEOM_ID, "
                "SAMPLEGEOMREQPARAM_ID, NUMVALUE1, NUMVALUE2, INTVALUE1, TEXTVALUE) VALUES (" +
                std::string(row) + ")");
    }
    int Params(int geometry) {
        return db.Count(Format("SAMPLEGEOMPARAM WHERE SAMPLEGEOM_ID = %d", geometry));
    }
    SAMPLEGEOMData Read(int key) {
        SAMPLEGEOMData g;
        EXPECT_TRUE(g.GetData(
            &db.Open(q, Format("SELECT * FROM SAMPLEGEOM WHERE SAMPLEGEOM_ID = %d", key))));
        return g;
    }
    quantora::CountingKeyGen paramKeys{50};
};

}  // namespace

TEST_F(GeometryParams, OnePerRequiredParameterAndRoundTrip) {
    SAMPLEGEOMData g = Read(1);
    // Geometry 2's values of the same type are not mixed in; a null value keeps its start value.
    EXPECT_EQ(Shown(g), (std::vector<std::string>{"12 301 1 2 0 'x' 7.5 0 diameter d",
                                                  "14 302 1 0 0 '' 0 3.25 height h",
                                                  "-1 303 2 0 0 '' 0 0 material m"}));
    // A new value without a generator is refused before anything is written.
    g.Params[2].INTVALUE2 = -7;
    g.Params[0].INTVALUE1 = 42;
    EXPECT_THROW(g.StoreParams(&q, nullptr), Exception);
    EXPECT_EQ(db.Count("SAMPLEGEOMPARAM WHERE INTVALUE1 = 42"), 0);
    // Stored and read back, the list is the same but for the key of the appended value.
    g.Params[2].TEXTVALUE = "lead";
    g.Params[0].NUMVALUE2 = 1e-300;
    g.StoreParams(&q, &paramKeys);
    g.Params[2].SAMPLEGEOMPARAM_ID = 50;
    EXPECT_EQ(Shown(Read(1)), Shown(g));
    // A value no longer listed is removed; one listed that no longer exists is an error.
    g.Params.erase(g.Params.begin() + 1);
    g.StoreParams(&q, &paramKeys);
    EXPECT_EQ(std::pair(Params(1), Params(2)), std::pair(2, 3));
    g.Params[0].SAMPLEGEOMPARAM_ID = 777;
    EXPECT_THROW(g.StoreParams(&q, &paramKeys), EDatabaseError);

    // Another type.
    g.SAMPLEGEOMTYPE_ID = 4;
    g.RetrieveParams(&q);
    EXPECT_EQ(Shown(g), std::vector<std::string>{"-1 401 0 0 0 '' 0 0 other "});
}

TEST_F(GeometryParams, RowAndParamsAreWrittenTogether) {
    SAMPLEGEOMData g = Read(2);
    g.SAMPLEGEOM_ID = -1;
    for (auto& p : g.Params) p.SAMPLEGEOMPARAM_ID = -1;  // a copy: every value is new
    quantora::CountingKeyGen keys(70);
    paramKeys = quantora::CountingKeyGen(700);
    g.Insert(&keys, &paramKeys, db.name(), nullptr);
    EXPECT_EQ(
        db.Count("SAMPLEGEOMPARAM WHERE SAMPLEGEOM_ID = 70 AND SAMPLEGEOMPARAM_ID BETWEEN 700 "
                 "AND 702 AND NUMVALUE1 = 99"),
        3);
    // In edit state the parameters are stored before the row is posted.
    SAMPLEGEOMData back = Read(70);
    db.Open(q, "SELECT * FROM SAMPLEGEOM WHERE SAMPLEGEOM_ID = 70", true).Edit();
    back.Params[0].SAMPLEGEOMPARAM_ID = -1;
    back.NAME = "changed";
    back.SetData(&q, &paramKeys);
    EXPECT_EQ(db.Count("SAMPLEGEOMPARAM WHERE SAMPLEGEOMPARAM_ID IN (701, 702, 703)"), 3);
    q.Post();
    EXPECT_EQ(Read(70).NAME, "changed");
}
