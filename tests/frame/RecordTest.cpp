// The record framework on a table of its own: reading, writing rules, inserting with keys.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/frame/CachedRecord.h"
#include "quantora/frame/PlainRecord.h"
#include "tests/support/TestDatabase.h"

using quantora::Col;
using quantora::DateCol;
using quantora::test::TestDatabase;

namespace {

// A record with every column type and write rule.
struct SAMPLEROWData : CachedRecord<SAMPLEROWData, 7> {
    int SAMPLEROW_ID, REF_ID;
    short SHORTV;
    double VAL, WHEN_AT;
    AnsiString NAME, CMT;
    static constexpr const char* Table = "SAMPLEROW";
    static const std::array<quantora::Column<SAMPLEROWData>, 7>& Columns();
    SAMPLEROWData() { Reset(); }
};
const std::array<quantora::Column<SAMPLEROWData>, 7>& SAMPLEROWData::Columns() {
    using R = SAMPLEROWData;
    static constexpr std::array<quantora::Column<R>, 7> cols = {
        Col("SAMPLEROW_ID", &R::SAMPLEROW_ID).Key(),
        Col("REF_ID", &R::REF_ID).IfPositive(),
        Col("SHORTV", &R::SHORTV).ResetTo(7),
        Col("VAL", &R::VAL).IfPositive(),
        DateCol("WHEN_AT", &R::WHEN_AT).IfPositive(),
        Col("NAME", &R::NAME),
        Col("CMT", &R::CMT).IfNotEmpty(),
    };
    return cols;
}

struct PLAINROWData : PlainRecord<PLAINROWData, 3> {
    int PLAINROW_ID;
    AnsiString NAME, CMT;
    static constexpr const char* Table = "PLAINROW";
    static const std::array<quantora::Column<PLAINROWData>, 3>& Columns();
    PLAINROWData() { Reset(); }
};
const std::array<quantora::Column<PLAINROWData>, 3>& PLAINROWData::Columns() {
    using R = PLAINROWData;
    static constexpr std::array<quantora::Column<R>, 3> cols = {
        Col("PLAINROW_ID", &R::PLAINROW_ID).Key(), Col("NAME", &R::NAME),
        Col("CMT", &R::CMT).IfNotEmpty()};
    return cols;
}

// Counts its calls; CanGenerate as configured.
struct ScriptedKeyGen : IntKeyGen {
    explicit ScriptedKeyGen(bool can) : can_(can) {}
    int NextKey() override { return 100 + ++calls; }
    bool CanGenerate() override { return can_; }
    int calls = 0;
    bool can_;
};

class RecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db.Exec(
            "CREATE TABLE SAMPLEROW (SAMPLEROW_ID INTEGER NOT NULL PRIMARY KEY, REF_ID INTEGER, "
            "SHORTV SMALLINT, VAL DOUBLE, WHEN_AT TIMESTAMP, NAME VARCHAR(40), CMT TEXT)");
        db.Exec(
            "CREATE TABLE PLAINROW (PLAINROW_ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), "
            "CMT TEXT)");
        q.SetDatabaseName(db.alias());
    }
    TestDatabase db;
    TQuery q;
};

}  // namespace

// The record's members as one text.
AnsiString Text(const SAMPLEROWData& r) {
    return quantora::Format("%d|%d|%d|%g|%g|%s|%s", r.SAMPLEROW_ID, r.REF_ID, r.SHORTV, r.VAL,
                            r.WHEN_AT, r.NAME.c_str(), r.CMT.c_str());
}

TEST_F(RecordTest, ReadingLeavesAbsentAndNullColumnsAtReset) {
    SAMPLEROWData r;
    q.SetSQL("SELECT * FROM SAMPLEROW");
    EXPECT_THROW(r.GetData(&q), EDatabaseError);  // closed: a mistake, not an empty result
    q.Open();
    EXPECT_FALSE(r.GetData(&q));  // empty result
    EXPECT_EQ(Text(r), "-1|-1|7|-1|-1||");

    db.Exec("INSERT INTO SAMPLEROW (SAMPLEROW_ID, SHORTV, NAME, VAL) VALUES (1, -3, 'one', 2.5)");
    db.Exec("INSERT INTO SAMPLEROW (SAMPLEROW_ID, NAME) VALUES (2, 'two')");
    // Stored zeros are values, not nulls: they replace the reset values.
    db.Exec("INSERT INTO SAMPLEROW VALUES (3, 0, 0, 0.0, NULL, '', NULL)");
    q.Close();
    q.SetSQL("SELECT SAMPLEROW_ID, NAME, VAL, SHORTV, 42 AS EXTRA FROM SAMPLEROW ORDER BY 1");
    q.Open();
    ASSERT_TRUE(r.GetData(&q));
    ASSERT_TRUE(r.GetData(&q));  // no Next: the same row again
    EXPECT_EQ(Text(r), "1|-1|-3|2.5|-1|one|");
    q.Next();
    ASSERT_TRUE(r.GetData(&q));
    EXPECT_EQ(Text(r), "2|-1|7|-1|-1|two|");

    // Sets order by key.
    SAMPLEROWData low = r;
    low.SAMPLEROW_ID = -2;
    EXPECT_EQ(std::set<SAMPLEROWData>({r, low}).begin()->SAMPLEROW_ID, -2);

    // The record follows the reopened query, other columns in another order, without a reset.
    q.Close();
    q.SetSQL("SELECT * FROM SAMPLEROW WHERE SAMPLEROW_ID = 3");
    q.Open();
    ASSERT_TRUE(r.GetData(&q));
    EXPECT_EQ(Text(r), "3|0|0|0|-1||");
}

TEST_F(RecordTest, WriteRulesAndBrowseState) {
    SAMPLEROWData r;
    r.SAMPLEROW_ID = 1;
    r.VAL = std::nan("");  // not written
    r.WHEN_AT = 0.0;       // not written
    r.NAME = "";           // always written: empty, not null
    r.Insert(nullptr, db.name(), nullptr);
    r.Reset();
    r.SAMPLEROW_ID = 2;
    r.REF_ID = 9;
    r.VAL = 0.5;
    r.WHEN_AT = 45000.25;
    r.CMT = "note";
    r.Insert(nullptr, db.name(), nullptr);
    EXPECT_EQ(db.Rows("SELECT * FROM SAMPLEROW ORDER BY 1"),
              "1|NULL|7|NULL|NULL||NULL\n2|9|7|0.5|2023-03-15 06:00:00.000000||note\n");
    SAMPLEROWData back;
    q.SetSQL("SELECT * FROM SAMPLEROW WHERE SAMPLEROW_ID = 2");
    q.Open();
    ASSERT_TRUE(back.GetData(&q));
    EXPECT_EQ(back.WHEN_AT, 45000.25);

    // SetData in browse state changes nothing.
    back.NAME = "changed";
    back.SetData(&q);
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(db.Scalar("SELECT NAME FROM SAMPLEROW WHERE SAMPLEROW_ID = 2"), "");
}

TEST_F(RecordTest, InsertKeysFromMembersAndGenerators) {
    SAMPLEROWData r;
    ScriptedKeyGen cannot(false), can(true);
    r.SAMPLEROW_ID = 0;
    r.Insert(&cannot, db.name(), nullptr);  // key 0 is written as 0
    r.Reset();
    r.SAMPLEROW_ID = 17;
    r.Insert(&can, db.name(), nullptr);  // an explicit key never calls the generator
    EXPECT_EQ(can.calls + cannot.calls, 0);
    r.Reset();
    r.Insert(&can, db.name(), nullptr);
    EXPECT_EQ(r.SAMPLEROW_ID, 101);
    // On the caller's live query, which stays open.
    db.Prep(q, "SELECT * FROM SAMPLEROW", true);
    q.Open();
    for (int i = 0; i < 2; ++i) {
        r.Reset();
        r.NAME = "batch";
        r.Insert(&can, nullptr, &q);
    }
    EXPECT_TRUE(q.Active());
    EXPECT_EQ(db.Rows("SELECT SAMPLEROW_ID, NAME FROM SAMPLEROW ORDER BY 1"),
              "0|\n17|\n101|\n102|batch\n103|batch\n");

    // A failing insert passes the layer's error on and leaves the generated key.
    r.Reset();
    r.SAMPLEROW_ID = 17;
    EXPECT_THROW(r.Insert(nullptr, db.name(), nullptr), EDatabaseError);
    EXPECT_THROW(r.Insert(nullptr, nullptr, nullptr), Exception);
}

TEST_F(RecordTest, PlainVariantReadsByNameAndWritesTheKeyRule) {
    PLAINROWData p;
    quantora::CountingKeyGen keys(40);
    p.NAME = "first";
    p.Insert(&keys, db.name(), nullptr);
    EXPECT_EQ(p.PLAINROW_ID, 40);
    p.Reset();
    p.PLAINROW_ID = 3;
    p.CMT = "c";
    p.Insert(&keys, db.name(), nullptr);
    EXPECT_EQ(p.PLAINROW_ID, 3);

    q.SetSQL("SELECT NAME, PLAINROW_ID FROM PLAINROW ORDER BY PLAINROW_ID");
    q.Open();
    ASSERT_TRUE(p.Read(&q));
    EXPECT_EQ(p.PLAINROW_ID, 3);
    EXPECT_EQ(p.NAME, "");  // null
    EXPECT_EQ(p.CMT, "");   // not selected
    q.Next();
    ASSERT_TRUE(p.Read(&q));
    EXPECT_EQ(p.NAME, "first");
    q.Next();
    EXPECT_FALSE(p.Read(&q));
    EXPECT_EQ(p.PLAINROW_ID, -1);

    // The generator's key is written whatever its value; the member takes it only once the
    // row is posted.
    quantora::CountingKeyGen zero(0), taken(40);
    p.Reset();
    p.Insert(&zero, db.name(), nullptr);
    EXPECT_EQ(p.PLAINROW_ID, 0);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PLAINROW WHERE PLAINROW_ID = 0"), "1");
    p.Reset();
    EXPECT_THROW(p.Insert(&taken, db.name(), nullptr), EDatabaseError);
    EXPECT_EQ(p.PLAINROW_ID, -1);

    quantora::MaxKeyGen max(db.alias(), "PLAINROW");
    EXPECT_EQ(max.NextKey(), 41);
    EXPECT_EQ(max.NextKey(), 42);  // never a key it gave before
}
