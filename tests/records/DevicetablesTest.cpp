// Setup and device records: conditional writes, deletion reports and cascades.
#include <gtest/gtest.h>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/records/Devicetables.h"
#include "tests/records/CascadeCheck.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::CheckCascade;
using quantora::test::TestDatabase;
using Reports = std::set<AnsiString>;

namespace {

class DevicetablesTest : public ::testing::Test {
  protected:
    TestDatabase db{true};

    int Count(const AnsiString& sql) { return std::stoi(db.Scalar(sql)); }

    // Inserts a record of `R` holding only its key.
    template <class R>
    void InsertBare(int R::*key) {
        R r;
        r.*key = 1;
        r.Insert(nullptr, db.name(), nullptr);
    }

    // The blocking and nulled reports for row `value`, into sets that held a stale entry.
    template <class R>
    std::pair<Reports, Reports> Check(int R::*key, int value) {
        R r;
        r.*key = value;
        Reports blocking{"stale"}, nulled{"stale"};
        r.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
        return {blocking, nulled};
    }
};

AnsiString Rows(const char* table, const char* where) {
    return Format("SELECT COUNT(*) FROM %s WHERE %s", table, where);
}

}  // namespace

TEST_F(DevicetablesTest, ConditionalColumnsStayNullAndUpdatesKeepTheComment) {
    InsertBare(&MEASSETUPData::MEASSETUP_ID);
    InsertBare(&MEASDEVICEData::MEASDEVICE_ID);
    InsertBare(&MEASPOSITIONData::MEASPOSITION_ID);
    InsertBare(&MEASRANGEData::MEASRANGE_ID);
    InsertBare(&ADCData::ADC_ID);
    InsertBare(&DETECTORData::DETECTOR_ID);
    EXPECT_EQ(Count(Rows("MEASSETUP",
                         "ADC_ID IS NULL AND DETECTOR_ID = -1 AND MEASPOSITION_ID = "
                         "-1 AND MEASRANGE_ID = -1 AND NAME IS NOT NULL")),
              1);
    for (const char* t : {"MEASDEVICE", "MEASPOSITION"})
        EXPECT_EQ(Count(Rows(t, "EMPLOYEE_ID IS NULL AND CMT IS NULL")), 1) << t;
    for (const char* t : {"MEASSETUP", "MEASRANGE", "ADC", "DETECTOR"})
        EXPECT_EQ(Count(Rows(t, "EMPLOYEE_ID = -1 AND CMT IS NULL")), 1) << t;

    // Over a stored row, an empty comment and a reset ADC are not written; an empty name is.
    db.Exec("UPDATE MEASSETUP SET ADC_ID = 4, NAME = 'old', CMT = 'first'");
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetRequestLive(true);
    q.SetSQL("SELECT * FROM MEASSETUP");
    q.Open();
    MEASSETUPData s;
    ASSERT_TRUE(s.GetData(&q));
    EXPECT_EQ(s.ADC_ID, 4);
    q.Edit();
    s.CMT.clear();
    s.NAME.clear();
    s.ADC_ID = -1;
    s.DETECTOR_ID = 8;
    s.SetData(&q);
    q.Post();
    EXPECT_EQ(Count(Rows("MEASSETUP",
                         "CMT = 'first' AND NAME = '' AND ADC_ID = 4 AND "
                         "DETECTOR_ID = 8")),
              1);
}

TEST_F(DevicetablesTest, ReportsGoIntoTheRightSetInByteOrder) {
    db.Exec(
        "INSERT INTO MEASSETUP (MEASSETUP_ID, ADC_ID, DETECTOR_ID, NAME) VALUES (5, 2, 3, "
        "'five')");
    db.Exec("INSERT INTO MEASSETUP (MEASSETUP_ID, NAME) VALUES (8, NULL)");
    db.Exec("INSERT INTO MEASSETUP (MEASSETUP_ID, NAME) VALUES (9, 'nine')");
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, MEASSETUP_ID, NAME) VALUES (7, 5, 'a')");
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, MEASSETUP_ID, NAME) VALUES (12, 5, 'b')");
    db.Exec("INSERT INTO QAANALYSIS (QAANALYSIS_ID, MEASSETUP_ID, NAME) VALUES (1, 5, 'qa')");
    db.Exec(
        "INSERT INTO RADIATIONCORRLIST (RADIATIONCORRLIST_ID, MEASSETUP_ID, NAME) VALUES (2, "
        "5, 'rc')");
    auto [blocking, nulled] = Check(&MEASSETUPData::MEASSETUP_ID, 5);
    EXPECT_EQ(blocking,
              (Reports{"MEASUREMENT ID=12 of 'b'", "MEASUREMENT ID=7 of 'a'",
                       "Q.A. ANALYSIS ID=1 of 'qa'", "RADIATION CORR. LIST ID=2 of 'rc'"}));
    EXPECT_TRUE(nulled.empty());

    // A device linked to three setups only loses its links: nothing blocks.
    for (int s : {5, 8, 9})
        db.Exec(Format("INSERT INTO MEASDEVICE_MSETUP (MEASDEVICE_ID, MEASSETUP_ID) VALUES (1, %d)",
                       s));
    std::tie(blocking, nulled) = Check(&MEASDEVICEData::MEASDEVICE_ID, 1);
    EXPECT_TRUE(blocking.empty());
    EXPECT_EQ(nulled, (Reports{"MEAS. SETUP ID=5 of 'five'", "MEAS. SETUP ID=8 of ''",
                               "MEAS. SETUP ID=9 of 'nine'"}));

    db.Exec("INSERT INTO ADCANALYSIS (ADCANALYSIS_ID, ADC_ID, NAME) VALUES (3, 2, 'lin')");
    EXPECT_EQ(Check(&ADCData::ADC_ID, 2).first,
              (Reports{"ADCANALYSIS ID=3 of 'lin'", "MEASSETUP ID=5 of 'five'"}));
    // Detector parameters are shown by their own key; a detector without setups is free.
    for (const char* row : {"31, 3", "32, 7", "33, 7"})
        db.Exec(Format("INSERT INTO DETPARAM (DETPARAM_ID, DETECTOR_ID) VALUES (%s)", row));
    std::tie(blocking, nulled) = Check(&DETECTORData::DETECTOR_ID, 3);
    EXPECT_EQ(blocking, Reports{"MEASSETUP ID=5 of 'five'"});
    EXPECT_EQ(nulled, Reports{"DETPARAM ID=31 of '31'"});
    std::tie(blocking, nulled) = Check(&DETECTORData::DETECTOR_ID, 7);
    EXPECT_TRUE(blocking.empty());
    EXPECT_EQ(nulled, (Reports{"DETPARAM ID=32 of '32'", "DETPARAM ID=33 of '33'"}));

    // Without sets no query runs: with the tables read gone, any query would fail.
    for (const char* t : {"MEASUREMENT", "MEASSETUP"})
        db.Exec(Format("ALTER TABLE %s RENAME TO %s_AWAY", t, t));
    auto no_query = [&](auto record) {
        EXPECT_NO_THROW(record.CheckBeforeDeletion(db.alias(), nullptr, nullptr));
        Reports one;
        EXPECT_THROW(record.CheckBeforeDeletion(db.alias(), nullptr, &one), EDatabaseError);
    };
    no_query(MEASSETUPData{});
    no_query(MEASDEVICEData{});
    no_query(MEASPOSITIONData{});
    no_query(MEASRANGEData{});
    no_query(ADCData{});
    no_query(DETECTORData{});
    for (const char* t : {"MEASUREMENT", "MEASSETUP"})
        db.Exec(Format("ALTER TABLE %s_AWAY RENAME TO %s", t, t));
}

TEST_F(DevicetablesTest, CascadesRunTheirStatementsInOrder) {
    const char* details[] = {"MEASSETUPNONLIN", "MEASSETUPEFF", "MEASSETUPRESOL", "MEASSETUPBKG",
                             "MEASDEVICE_MSETUP"};
    // Setup 5 is deleted; setup 6 and a measurement of setup 5 (Delete does not check) stay.
    auto fill_setups = [&] {
        db.Exec("DELETE FROM MEASSETUP");
        db.Exec("DELETE FROM MEASUREMENT");
        for (const char* t : details) db.Exec(Format("DELETE FROM %s", t));
        db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, MEASSETUP_ID) VALUES (1, 5)");
        for (int s : {5, 6}) {
            db.Exec(Format("INSERT INTO MEASSETUP (MEASSETUP_ID) VALUES (%d)", s));
            db.Exec(
                Format("INSERT INTO MEASDEVICE_MSETUP (MEASDEVICE_ID, MEASSETUP_ID) VALUES "
                       "(1, %d)",
                       s));
            for (int i = 0; i < 4; ++i)
                db.Exec(
                    Format("INSERT INTO %s (MEASSETUP_ID, VALIDFROM) VALUES (%d, "
                           "'2020-01-01 00:00:00')",
                           details[i], s));
        }
    };
    std::vector<quantora::test::CascadeStatement> steps;
    for (const char* t : details)
        steps.push_back(
            {t, Format("delete from %s WHERE MEASSETUP_ID=5", t), Rows(t, "MEASSETUP_ID = 5")});
    steps.push_back({"MEASSETUP", "delete from MEASSETUP where MEASSETUP_id = 5",
                     Rows("MEASSETUP", "MEASSETUP_ID = 5")});
    MEASSETUPData setup;
    setup.MEASSETUP_ID = 5;
    CheckCascade(
        db, fill_setups, [&] { setup.Delete(db.alias()); }, steps,
        "SELECT (SELECT COUNT(*) FROM MEASDEVICE_MSETUP WHERE MEASSETUP_ID = 6) + (SELECT "
        "COUNT(*) FROM MEASSETUPBKG WHERE MEASSETUP_ID = 6) + (SELECT COUNT(*) FROM "
        "MEASUREMENT WHERE MEASSETUP_ID = 5)");

    auto fill_devices = [&] {
        db.Exec("DELETE FROM MEASDEVICE");
        db.Exec("DELETE FROM MEASDEVICE_MSETUP");
        for (const char* row : {"3, 1", "3, 2", "4, 1"})
            db.Exec(Format(
                "INSERT INTO MEASDEVICE_MSETUP (MEASDEVICE_ID, MEASSETUP_ID) VALUES (%s)", row));
        db.Exec("INSERT INTO MEASDEVICE (MEASDEVICE_ID) VALUES (3)");
        db.Exec("INSERT INTO MEASDEVICE (MEASDEVICE_ID) VALUES (4)");
    };
    MEASDEVICEData device;
    device.MEASDEVICE_ID = 3;
    CheckCascade(
        db, fill_devices, [&] { device.Delete(db.alias()); },
        {{"MEASDEVICE_MSETUP", "delete from MEASDEVICE_MSETUP where MEASDEVICE_id = 3",
          Rows("MEASDEVICE_MSETUP", "MEASDEVICE_ID = 3")},
         {"MEASDEVICE", "delete from MEASDEVICE where MEASDEVICE_ID = 3",
          Rows("MEASDEVICE", "MEASDEVICE_ID = 3")}},
        "SELECT (SELECT COUNT(*) FROM MEASDEVICE WHERE MEASDEVICE_ID <> 3) + (SELECT "
        "COUNT(*) FROM MEASDEVICE_MSETUP WHERE MEASDEVICE_ID <> 3)");

    // A detector's parameters are deleted, not left behind with a null reference.
    auto fill_detectors = [&] {
        db.Exec("DELETE FROM DETECTOR");
        db.Exec("DELETE FROM DETPARAM");
        for (const char* row : {"1, 4", "2, 4", "3, 5"})
            db.Exec(Format("INSERT INTO DETPARAM (DETPARAM_ID, DETECTOR_ID) VALUES (%s)", row));
        db.Exec("INSERT INTO DETECTOR (DETECTOR_ID) VALUES (4)");
        db.Exec("INSERT INTO DETECTOR (DETECTOR_ID) VALUES (5)");
    };
    DETECTORData detector;
    detector.DETECTOR_ID = 4;
    CheckCascade(
        db, fill_detectors, [&] { detector.Delete(db.alias()); },
        {{"DETPARAM", "DELETE FROM detparam WHERE detector_id = 4",
          Rows("DETPARAM", "DETECTOR_ID = 4 OR DETECTOR_ID IS NULL")},
         {"DETECTOR", "delete from DETECTOR where DETECTOR_id = 4",
          Rows("DETECTOR", "DETECTOR_ID = 4")}},
        "SELECT (SELECT COUNT(*) FROM DETECTOR WHERE DETECTOR_ID <> 4) + (SELECT "
        "COUNT(*) FROM DETPARAM WHERE DETECTOR_ID <> 4)");

    // The parts of a setup leave the setups' references alone; unknown keys change nothing.
    db.Exec(
        "INSERT INTO MEASSETUP (MEASSETUP_ID, ADC_ID, MEASPOSITION_ID, MEASRANGE_ID) VALUES "
        "(7, 2, 2, 2)");
    for (const char* t : {"ADC", "MEASPOSITION", "MEASRANGE"})
        db.Exec(Format("INSERT INTO %s (%s_ID) VALUES (2)", t, t));
    const int setups = Count("SELECT COUNT(*) FROM MEASSETUP");
    MEASSETUPData{}.Delete(db.alias());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM MEASSETUP"), setups);
    ADCData adc;
    adc.ADC_ID = 2;
    adc.Delete(db.alias());
    MEASPOSITIONData position;
    position.MEASPOSITION_ID = 2;
    position.Delete(db.alias());
    MEASRANGEData range;
    range.MEASRANGE_ID = 2;
    range.Delete(db.alias());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ADC") + Count("SELECT COUNT(*) FROM MEASPOSITION") +
                  Count("SELECT COUNT(*) FROM MEASRANGE"),
              0);
    EXPECT_EQ(Count(Rows("MEASSETUP", "ADC_ID = 2 AND MEASPOSITION_ID = 2 AND MEASRANGE_ID = 2")),
              1);
}
