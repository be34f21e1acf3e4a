// MEASUREMENT and SPECTRUM records: object-type columns, counts through the database, cascades.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/records/Meastables.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;

namespace {

class MeastablesTest : public ::testing::Test {
  protected:
    TestDatabase db{true};
    quantora::CountingKeyGen keys{100};

    int Count(const char* sql) { return std::stoi(db.Scalar(sql)); }
};

std::vector<unsigned long> ReadCounts(const std::filesystem::path& file) {
    std::vector<unsigned long> counts;
    std::ifstream in(file);
    unsigned long v;
    while (in >> v) counts.push_back(v);
    return counts;
}

}  // namespace

TEST_F(MeastablesTest, ObjectTypeSelectsTheObjectColumn) {
    db.Exec(
        "INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME, MEASOBJTYPE_ID, SOURCE_ID, SAMPLE_ID) "
        "VALUES (1, 'm', 3, 44, 55)");
    db.Exec(
        "INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID, SPECTRUMTYPE_ID, NAME) VALUES (9, "
        "1, 1, 'sp')");
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL("SELECT * FROM MEASUREMENT");
    q.Open();
    MEASUREMENTData m;
    ASSERT_TRUE(m.GetData(&q));
    EXPECT_EQ(m.SOURCE_ID, 44);
    EXPECT_EQ(m.SAMPLE_ID, -1);  // not the selected object
    EXPECT_EQ(m.MeasTypeInfo.MeasType, 1);
    ASSERT_EQ(m.MeasTypeInfo.Spectra.size(), 1u);
    EXPECT_EQ(m.MeasTypeInfo.Spectra[0].SPECTRUM_ID, 9);

    // Type 0 is written as 1 with no object column; dates at -1 stay null.
    MEASUREMENTData w;
    w.MEASUREMENT_ID = 2;
    w.MEASOBJTYPE_ID = 0;
    w.SAMPLE_ID = 77;
    w.NAME = "w";
    w.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(w.MEASOBJTYPE_ID, 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM MEASUREMENT WHERE MEASUREMENT_ID = 2 AND MEASOBJTYPE_ID "
                    "= 1 AND SAMPLE_ID IS NULL AND STARTDATE IS NULL AND CMT IS NULL"),
              1);

    MEASUREMENTData s;
    s.MEASOBJTYPE_ID = 2;
    s.SAMPLE_ID = 77;
    s.SOURCE_ID = 12;
    s.STARTDATE = 45000.5;
    s.Insert(&keys, db.name(), nullptr);
    EXPECT_EQ(Count(Format("SELECT COUNT(*) FROM MEASUREMENT WHERE MEASUREMENT_ID = %d AND "
                           "SAMPLE_ID = 77 AND SOURCE_ID IS NULL AND MEASOBJTYPE_ID = 2",
                           s.MEASUREMENT_ID)
                        .c_str()),
              1);
}

TEST_F(MeastablesTest, EveryRealSpectrumRoundTripsThroughTheDatabase) {
    std::filesystem::path dir = std::filesystem::path(QUANTORA_SHARED_DATA) / "spectra" / "counts";
    ASSERT_TRUE(std::filesystem::exists(dir)) << dir;
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::vector<unsigned long> counts = ReadCounts(entry.path());
        ASSERT_FALSE(counts.empty()) << entry.path();
        for (bool fast : {false, true}) {
            SPECTRUMData s;
            s.MEASUREMENT_ID = 1;
            s.NAME = entry.path().filename().string();
            s.CompressCounts(&counts, fast);
            EXPECT_EQ(s.CHANNELS, static_cast<int>(counts.size()));
            EXPECT_EQ(s.COUNTDATASIZE, static_cast<int>(s.COUNTDATA.size()));
            s.Insert(&keys, db.name(), nullptr);

            TQuery q;
            q.SetDatabaseName(db.alias());
            q.SetSQL(Format("SELECT * FROM SPECTRUM WHERE SPECTRUM_ID = %d", s.SPECTRUM_ID));
            q.Open();
            SPECTRUMData back;
            ASSERT_TRUE(back.GetData(&q));
            std::vector<unsigned long> out;
            back.UncompressCounts(&out);
            ASSERT_EQ(out, counts) << entry.path() << (fast ? " fast" : "");
            ++n;
        }
    }
    EXPECT_GE(n, 60);
}

TEST_F(MeastablesTest, EmptyAndOneChannelSpectraAndDamagedCounts) {
    SPECTRUMData s;
    std::vector<unsigned long> none;
    s.CompressCounts(&none, false);
    EXPECT_EQ(s.CHANNELS, 0);
    EXPECT_EQ(s.STARTCOUNT, 0);
    EXPECT_EQ(s.COUNTDATASIZE, 0);
    EXPECT_EQ(s.COUNTDATAFORMAT, 1);
    s.SPECTRUM_ID = 1;
    s.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SPECTRUM WHERE COUNTDATA IS NULL"), 1);
    std::vector<unsigned long> out{1, 2};
    s.UncompressCounts(&out);
    EXPECT_TRUE(out.empty());

    std::vector<unsigned long> one{5};
    s.CompressCounts(&one, false);
    EXPECT_EQ(s.CHANNELS, 1);
    EXPECT_EQ(s.STARTCOUNT, 5);

    // A damaged stream read back from the database is an error, not wrong counts.
    std::vector<unsigned long> counts(4096);
    for (size_t i = 0; i < counts.size(); ++i) counts[i] = 100 + (i * 7919) % 97;
    s.CompressCounts(&counts, false);
    s.COUNTDATA.resize(s.COUNTDATA.size() / 2);
    EXPECT_THROW(s.UncompressCounts(&out), Exception);
    s.CompressCounts(&counts, false);
    s.CHANNELS = 4000;
    EXPECT_THROW(s.UncompressCounts(&out), Exception);
    s.CompressCounts(&counts, false);
    s.COUNTDATAFORMAT = 999;
    EXPECT_THROW(s.UncompressCounts(&out), Exception);
}

TEST_F(MeastablesTest, DeletingAMeasurementRemovesItsWholeTree) {
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (1, 'm')");
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (2, 'other')");
    for (int s : {10, 11}) {
        db.Exec(Format("INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID) VALUES (%d, 1)", s));
        db.Exec(Format("INSERT INTO ECAL (ECAL_ID, SPECTRUM_ID, NAME) VALUES (%d, %d, 'e')", s, s));
        db.Exec(Format("INSERT INTO ECALPOINT (ECALPOINT_ID, ECAL_ID) VALUES (%d, %d)", s, s));
        db.Exec(Format("INSERT INTO FWHMCAL (FWHMCAL_ID, SPECTRUM_ID) VALUES (%d, %d)", s, s));
        db.Exec(
            Format("INSERT INTO FWHMCALPOINT (FWHMCALPOINT_ID, FWHMCAL_ID) VALUES (%d, %d)", s, s));
    }
    db.Exec("INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID) VALUES (20, 2)");
    db.Exec("INSERT INTO MEAS_KEYWORD (MEASUREMENT_ID, KEYWORD_ID) VALUES (1, 1)");
    for (const char* t : {"BKG", "NONLIN", "RESOL", "EFF"})
        db.Exec(Format("INSERT INTO %sMEASUREMENT (%sMEASUREMENT_ID, MEASUREMENT_ID) VALUES (3, 1)",
                       t, t));
    db.Exec("INSERT INTO PEAKEVAL (PEAKEVAL_ID, MEASUREMENT_ID, NAME) VALUES (5, 1, 'pe')");

    MEASUREMENTData m;
    m.MEASUREMENT_ID = 1;
    std::set<AnsiString> blocking, nulled;
    m.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
    EXPECT_EQ(blocking, std::set<AnsiString>{"PEAKEVAL ID=5 of 'pe'"});
    EXPECT_EQ(nulled.size(), 4u);

    m.Delete(db.alias());  // Delete does not check
    EXPECT_EQ(Count("SELECT COUNT(*) FROM MEASUREMENT"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SPECTRUM"), 1);
    for (const char* t : {"ECAL", "ECALPOINT", "FWHMCAL", "FWHMCALPOINT", "MEAS_KEYWORD"})
        EXPECT_EQ(Count(Format("SELECT COUNT(*) FROM %s", t).c_str()), 0) << t;
    for (const char* t : {"BKG", "NONLIN", "RESOL", "EFF"})
        EXPECT_EQ(Count(Format("SELECT COUNT(*) FROM %sMEASUREMENT WHERE MEASUREMENT_ID IS NULL", t)
                            .c_str()),
                  1)
            << t;
}

TEST_F(MeastablesTest, CascadeFailingHalfWayIsAllOrNothingOnlyInsideATransaction) {
    auto fill = [&] {
        db.Exec("DELETE FROM MEASUREMENT");
        db.Exec("DELETE FROM SPECTRUM");
        db.Exec("DELETE FROM MEAS_KEYWORD");
        db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (1, 'm')");
        db.Exec("INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID) VALUES (10, 1)");
        db.Exec("INSERT INTO MEAS_KEYWORD (MEASUREMENT_ID, KEYWORD_ID) VALUES (1, 1)");
    };
    // A cascade that fails after its spectra are gone: the keyword table is missing.
    fill();
    db.Exec("ALTER TABLE MEAS_KEYWORD RENAME TO MEAS_KEYWORD_AWAY");
    MEASUREMENTData m;
    m.MEASUREMENT_ID = 1;
    EXPECT_THROW(m.Delete(db.alias()), EDatabaseError);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SPECTRUM"), 0);  // the statements before stay done
    EXPECT_EQ(Count("SELECT COUNT(*) FROM MEASUREMENT"), 1);

    db.Exec("ALTER TABLE MEAS_KEYWORD_AWAY RENAME TO MEAS_KEYWORD");
    fill();
    db.Exec("ALTER TABLE MEAS_KEYWORD RENAME TO MEAS_KEYWORD_AWAY");
    try {
        Transaction tr(db.alias());
        m.Delete(db.alias());
        tr.Commit();
    } catch (const EDatabaseError&) {
    }
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SPECTRUM"), 1);  // all or nothing
    EXPECT_EQ(Count("SELECT COUNT(*) FROM MEASUREMENT"), 1);
    db.Exec("ALTER TABLE MEAS_KEYWORD_AWAY RENAME TO MEAS_KEYWORD");
}

TEST_F(MeastablesTest, ReadingWithAClosedQueryIsAnError) {
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL("SELECT * FROM MEASUREMENT");
    MEASUREMENTData m;
    EXPECT_THROW(m.GetData(&q), EDatabaseError);
}
