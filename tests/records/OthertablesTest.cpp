// SOURCE, SOURCEISOMER, PROJECT, DOCUMENT and ORDERS records: keys, conditional columns, the
// isomer update and the deletion rules on a filled database.
#include <gtest/gtest.h>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/records/Othertables.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;

namespace {

struct CountingGen : IntKeyGen {
    explicit CountingGen(bool can) : can_(can) {}
    int NextKey() override { return 40 + ++calls; }
    bool CanGenerate() override { return can_; }
    int calls = 0;
    bool can_;
};

class OthertablesTest : public ::testing::Test {
  protected:
    TestDatabase db{true};
    TQuery q;

    int Count(const AnsiString& sql) { return std::stoi(db.Scalar(sql)); }
    TQuery& Select(const AnsiString& sql) {
        q.Close();
        q.SetDatabaseName(db.alias());
        q.SetSQL(sql);
        q.Open();
        return q;
    }
};

}  // namespace

TEST_F(OthertablesTest, SourceKeysAndIsomerColumns) {
    SOURCEData s;
    s.SOURCE_ID = 0;
    s.NAME = "Cs-137 check source";
    CountingGen cannot(false);
    try {
        s.Insert(&cannot, db.name(), nullptr);  // the key column stays unwritten
    } catch (const EDatabaseError&) {           // a server refuses the row without a key
    }
    EXPECT_EQ(s.SOURCE_ID, 0);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCE WHERE SOURCE_ID = 0"), 0);
    CountingGen gen(true);
    s.SOURCE_ID = -1;
    s.Insert(&gen, db.name(), nullptr);
    EXPECT_EQ(s.SOURCE_ID, 41);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCE WHERE SOURCE_ID = 41 AND CMT IS NULL AND "
                    "EMPLOYEE_ID = -1"),
              1);

    SOURCEISOMERData si;
    si.SOURCE_ID = 41;
    si.ISOMER_ID = 3;
    si.ACTIVITYCALIBRATED = true;
    si.ACTIVITY = 370.0;
    si.Insert(&gen, db.name(), nullptr);
    EXPECT_EQ(gen.calls, 1);  // both key parts come from the members
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCEISOMER WHERE SOURCE_ID = 41 AND ISOMER_ID = 3 AND "
                    "ACTIVITYCALIBRATED = 'Y' AND ACTIVITY = 370 AND ACTIVITYUNC IS NULL AND "
                    "CALIBRATOR IS NULL AND CALIBRDATE IS NULL AND CMT IS NULL"),
              1);
    EXPECT_THROW(si.Insert(nullptr, db.name(), nullptr), EDatabaseError);

    db.Exec(
        "INSERT INTO SOURCEISOMER (SOURCE_ID, ISOMER_ID, ACTIVITYCALIBRATED) VALUES (41, 4, "
        "'y')");
    db.Exec("INSERT INTO SOURCEISOMER (SOURCE_ID, ISOMER_ID) VALUES (41, 5)");
    Select("SELECT * FROM SOURCEISOMER WHERE ISOMER_ID > 3 ORDER BY ISOMER_ID");
    ASSERT_TRUE(si.Read(&q));
    EXPECT_TRUE(si.ACTIVITYCALIBRATED);
    EXPECT_EQ(si.ACTIVITY, -1.0);
    q.Next();
    ASSERT_TRUE(si.Read(&q));
    EXPECT_FALSE(si.ACTIVITYCALIBRATED);  // null reads as the reset value
    q.Next();
    EXPECT_FALSE(si.Read(&q));
}

TEST_F(OthertablesTest, IsomerUpdateChangesExactlyOneRow) {
    for (int iso : {1, 2})
        db.Exec(
            Format("INSERT INTO SOURCEISOMER (SOURCE_ID, ISOMER_ID, ACTIVITY, CMT) VALUES "
                   "(8, %d, 1.5, 'old')",
                   iso));
    TQuery u;
    u.SetDatabaseName(db.alias());
    u.SetSQL(
        "UPDATE SOURCEISOMER SET ACTIVITYCALIBRATED = :ACTIVITYCALIBRATED, ACTIVITY = :ACTIVITY, "
        "ACTIVITYUNC = :ACTIVITYUNC, CALIBRATOR = :CALIBRATOR, CALIBRDATE = :CALIBRDATE, CMT = "
        ":CMT WHERE SOURCE_ID = :SOURCE_ID AND ISOMER_ID = :ISOMER_ID");
    // Parameters the record skips keep what the caller set.
    u.ParamByName("ACTIVITY")->SetAsFloat(2.5);
    u.ParamByName("ACTIVITYUNC")->SetAsFloat(0.1);
    u.ParamByName("CALIBRDATE")->SetAsDateTime(44000.0);
    u.ParamByName("CALIBRATOR")->SetAsString("lab");
    u.ParamByName("CMT")->SetAsString("kept");
    SOURCEISOMERData si;
    si.SOURCE_ID = 8;
    si.ISOMER_ID = 9;
    EXPECT_FALSE(si.Update(&u));
    si.ISOMER_ID = 2;
    si.ACTIVITYUNC = 0.2;
    EXPECT_TRUE(si.Update(&u));
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCEISOMER WHERE ISOMER_ID = 2 AND ACTIVITY = 2.5 "
                    "AND ACTIVITYUNC = 0.2 AND CALIBRATOR = 'lab' AND CMT = 'kept' AND "
                    "ACTIVITYCALIBRATED = 'N' AND CALIBRDATE IS NOT NULL"),
              1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCEISOMER WHERE ISOMER_ID = 1 AND CMT = 'old'"), 1);

    TQuery both;
    both.SetDatabaseName(db.alias());
    both.SetSQL(
        "UPDATE SOURCEISOMER SET ACTIVITYCALIBRATED = :ACTIVITYCALIBRATED WHERE SOURCE_ID = "
        ":SOURCE_ID AND ISOMER_ID <> :ISOMER_ID");
    si.ACTIVITYUNC = -1.0;
    si.ISOMER_ID = 7;
    EXPECT_FALSE(si.Update(&both));  // two rows changed
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCEISOMER WHERE ACTIVITYCALIBRATED = 'N'"), 2);
    si.CMT = "new";
    EXPECT_THROW(si.Update(&both), EDatabaseError);  // no CMT parameter
}

TEST_F(OthertablesTest, DeletingASourceReleasesItsMeasurements) {
    db.Exec("INSERT INTO SOURCE (SOURCE_ID, NAME) VALUES (5, 's')");
    db.Exec("INSERT INTO SOURCE (SOURCE_ID, NAME) VALUES (6, 'other')");
    for (int m : {1, 2, 13})
        db.Exec(
            Format("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME, MEASOBJTYPE_ID, SOURCE_ID) "
                   "VALUES (%d, 'm%d', 3, 5)",
                   m, m));
    db.Exec(
        "INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME, MEASOBJTYPE_ID, SOURCE_ID) VALUES (4, "
        "'m4', 3, 6)");
    for (int s : {5, 6})
        db.Exec(Format("INSERT INTO SOURCEISOMER (SOURCE_ID, ISOMER_ID) VALUES (%d, 1)", s));

    SOURCEData src;
    src.SOURCE_ID = 5;
    std::set<AnsiString> blocking{"stale"}, nulled;
    src.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
    EXPECT_TRUE(blocking.empty());
    EXPECT_EQ(nulled,
              (std::set<AnsiString>{"MEASUREMENT ID=1 of 'm1'", "MEASUREMENT ID=13 of 'm13'",
                                    "MEASUREMENT ID=2 of 'm2'"}));

    // A failing cascade: the isomers are gone, the rest stays; in a transaction nothing goes.
    db.Exec("ALTER TABLE MEASUREMENT RENAME TO MEASUREMENT_AWAY");
    try {
        Transaction tr(db.alias());
        src.Delete(db.alias());
        tr.Commit();
    } catch (const EDatabaseError&) {
    }
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCEISOMER"), 2);
    try {
        src.Delete(db.alias());
        ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message.find("UPDATE MEASUREMENT"), AnsiString::npos) << e.Message;
    }
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCEISOMER"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCE"), 2);
    db.Exec("ALTER TABLE MEASUREMENT_AWAY RENAME TO MEASUREMENT");

    src.Delete(db.alias());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM MEASUREMENT WHERE SOURCE_ID IS NULL AND MEASOBJTYPE_ID "
                    "= 1"),
              3);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM MEASUREMENT WHERE SOURCE_ID = 6 AND MEASOBJTYPE_ID = 3"),
              1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCE WHERE SOURCE_ID = 6"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCE"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SOURCEISOMER WHERE SOURCE_ID = 6"), 1);
}

TEST_F(OthertablesTest, ProjectsAreDeletedOnlyWhenEmpty) {
    PROJECTData top;
    top.PROJECT_ID = 1;
    top.NAME = "top";
    top.STARTDATE = 45000.0;
    top.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PROJECT WHERE SUPERPROJECT_ID IS NULL AND ENDDATE IS "
                    "NULL AND CMT IS NULL AND EMPLOYEE_ID = -1"),
              1);
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID, NAME) VALUES (2, 1, 'sub')");
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (3, 'empty')");
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, PROJECT_ID, NAME) VALUES (8, 1, 'm8')");
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, PROJECT_ID, NAME) VALUES (9, 1, 'm9')");
    const char* members[] = {"IRRADIATION",     "LOT",         "BKGANALYSIS",
                             "RESOLANALYSIS",   "EFFANALYSIS", "NONLINANALYSIS",
                             "MONITORANALYSIS", "ADCANALYSIS", "ORDERS",
                             "SCHEDULEDTASK",   "DOCUMENT"};
    for (const char* t : members)
        db.Exec(Format("INSERT INTO %s (%s_ID, PROJECT_ID, NAME) VALUES (4, 1, 'x')", t, t));

    std::set<AnsiString> blocking, nulled{"stale"};
    top.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
    EXPECT_TRUE(nulled.empty());
    EXPECT_EQ(blocking.size(), 14u);
    EXPECT_EQ(blocking.count("PROJECT ID=2 of 'sub'"), 1u);
    EXPECT_EQ(blocking.count("MEASUREMENT ID=9 of 'm9'"), 1u);
    for (const char* t : members) EXPECT_EQ(blocking.count(Format("%s ID=4 of 'x'", t)), 1u) << t;

    PROJECTData empty;
    empty.PROJECT_ID = 3;
    empty.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
    EXPECT_TRUE(blocking.empty());
    EXPECT_TRUE(nulled.empty());
    empty.Delete(db.alias());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PROJECT"), 2);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PROJECT WHERE PROJECT_ID = 3"), 0);
}

TEST_F(OthertablesTest, DocumentsGoWithAllTheirChunks) {
    DOCUMENTData d;
    d.DOCUMENT_ID = 3;
    d.DATA = AnsiString("head\0\xff tail", 11);
    d.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM DOCUMENT WHERE OWNER_ID IS NULL AND CMT IS NULL AND "
                    "ORIGSIZE = -1"),
              1);
    DOCUMENTData back;
    ASSERT_TRUE(back.GetData(&Select("SELECT * FROM DOCUMENT")));
    EXPECT_EQ(back.DATA, d.DATA);
    q.Close();

    db.Exec("INSERT INTO DOCUMENT (DOCUMENT_ID, NAME) VALUES (4, 'other')");
    int id = 0;
    for (const char* owner : {"pDocument", "pSpectrum"})
        for (int key : {3, 4})
            for (int extra : {0, 2})
                db.Exec(
                    Format("INSERT INTO BLOBCHUNK (BLOBCHUNK_ID, OWNERTYPE, OWNERID1, "
                           "OWNERID2, DATATYPE) VALUES (%d, '%s', %d, %d, %d)",
                           ++id, owner, key, extra, extra));

    std::set<AnsiString> blocking{"stale"}, nulled{"stale"};
    d.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
    EXPECT_TRUE(blocking.empty());
    EXPECT_TRUE(nulled.empty());

    // Without the document table the chunks are gone and the row stays, unless in a
    // transaction.
    db.Exec("ALTER TABLE DOCUMENT RENAME TO DOCUMENT_AWAY");
    try {
        Transaction tr(db.alias());
        d.Delete(db.alias());
        tr.Commit();
    } catch (const EDatabaseError&) {
    }
    EXPECT_EQ(Count("SELECT COUNT(*) FROM BLOBCHUNK"), 8);
    EXPECT_THROW(d.Delete(db.alias()), EDatabaseError);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM BLOBCHUNK"), 6);
    db.Exec("ALTER TABLE DOCUMENT_AWAY RENAME TO DOCUMENT");

    d.Delete(db.alias());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM DOCUMENT WHERE DOCUMENT_ID = 4"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM DOCUMENT"), 1);
    EXPECT_EQ(
        Count("SELECT COUNT(*) FROM BLOBCHUNK WHERE OWNERID1 = 3 AND OWNERTYPE = 'pSpectrum'"), 2);
}

TEST_F(OthertablesTest, OrdersNeverBlockAndLeaveOptionalColumnsNull) {
    ORDERSData o;
    o.ORDERS_ID = 2;
    o.CLIENT_ID = 7;
    o.ORDERDATE = 45000.0;
    o.Insert(nullptr, db.name(), nullptr);
    db.Exec("INSERT INTO ORDERS (ORDERS_ID, NAME) VALUES (3, 'other')");
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ORDERS WHERE ORDERS_ID = 2 AND COMPLETEDDATE IS NULL AND "
                    "SPECIALREQUEST IS NULL AND CMT IS NULL AND PROJECT_ID = -1"),
              1);
    std::set<AnsiString> blocking{"stale"}, nulled{"stale"};
    o.CheckBeforeDeletion(db.alias(), &blocking, &nulled);
    EXPECT_TRUE(blocking.empty());
    EXPECT_TRUE(nulled.empty());
    o.Delete(db.alias());
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ORDERS"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ORDERS WHERE ORDERS_ID = 3"), 1);
}
