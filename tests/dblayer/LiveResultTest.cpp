// Live results: Insert, Edit, Post and Cancel turned into INSERT and UPDATE statements.
#include <gtest/gtest.h>

#include "quantora/base/DateTime.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "tests/support/TestDatabase.h"

using quantora::test::TestDatabase;

namespace {

class LiveResultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db.Exec(
            "CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), "
            "VAL DOUBLE, WHEN_AT TIMESTAMP, DATA BLOB)");
        live.SetDatabaseName(db.alias());
        live.SetSQL("SELECT * FROM T");
        live.SetRequestLive(true);
    }
    TestDatabase db;
    TQuery live;
};

}  // namespace

TEST_F(LiveResultTest, InsertRoundTripIncludingZeroBytesAndDates) {
    const AnsiString blob("a\0b\0\0\xfe", 6);
    const TDateTime when = quantora::EncodeDateTime({1999, 12, 31, 23, 59, 59, 999999});
    live.Open();
    ASSERT_TRUE(live.CanModify());
    EXPECT_TRUE(live.Eof());
    live.Insert();
    EXPECT_EQ(live.State(), dsInsert);
    EXPECT_TRUE(live.FieldByName("NAME")->IsNull());  // a new row starts all null
    live.FieldByName("T_ID")->SetAsInteger(1);
    live.FieldByName("NAME")->SetAsString("first");
    live.FieldByName("VAL")->SetAsString("2.5");  // converted to the column's type
    live.FieldByName("WHEN_AT")->SetAsDateTime(when);
    live.FieldByName("DATA")->SetAsString(blob);
    EXPECT_THROW(live.FieldByName("VAL")->SetAsString("two"), EDatabaseError);
    live.Post();
    EXPECT_EQ(live.State(), dsBrowse);
    EXPECT_EQ(live.FieldByName("NAME")->AsString(), "first");  // the posted row is current

    live.Append();
    live.FieldByName("T_ID")->SetAsInteger(2);
    live.FieldByName("VAL")->SetAsBoolean(true);
    live.Post();
    live.Close();

    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL("SELECT * FROM T ORDER BY T_ID");
    q.Open();
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "first");
    EXPECT_EQ(q.FieldByName("VAL")->AsFloat(), 2.5);
    EXPECT_EQ(q.FieldByName("DATA")->AsString(), blob);
    EXPECT_EQ(q.FieldByName("DATA")->AsVariant(), Variant::FromBlob(blob));
    EXPECT_EQ(quantora::FormatIsoDateTime(q.FieldByName("WHEN_AT")->AsDateTime()),
              "1999-12-31 23:59:59.999999");
    EXPECT_EQ(q.FieldByName("WHEN_AT")->AsDateTime(), when);
    q.Next();
    EXPECT_EQ(q.FieldByName("T_ID")->AsInteger(), 2);
    EXPECT_EQ(q.FieldByName("VAL")->AsFloat(), 1.0);  // a boolean is stored as 1 or 0
    EXPECT_TRUE(q.FieldByName("NAME")->IsNull());     // unassigned columns stay null
    EXPECT_TRUE(q.FieldByName("DATA")->IsNull());
}

TEST_F(LiveResultTest, EditUpdatesByKeyAndCancelDiscards) {
    db.Exec("INSERT INTO T (T_ID, NAME, VAL) VALUES (1, 'one', 1.0)");
    db.Exec("INSERT INTO T (T_ID, NAME, VAL) VALUES (2, 'two', 2.0)");
    live.SetSQL("SELECT * FROM T WHERE T_ID = 2");
    live.Open();
    live.Edit();
    live.FieldByName("NAME")->SetAsString("TWO");
    live.FieldByName("T_ID")->SetAsInteger(20);  // the key itself may change
    live.FieldByName("VAL")->Clear();
    live.Post();
    EXPECT_EQ(db.Scalar("SELECT NAME FROM T WHERE T_ID = 20"), "TWO");
    EXPECT_EQ(db.Scalar("SELECT VAL FROM T WHERE T_ID = 20"), "");
    EXPECT_EQ(db.Scalar("SELECT NAME FROM T WHERE T_ID = 1"), "one");

    live.Edit();
    live.FieldByName("NAME")->SetAsString("discarded");
    live.Cancel();
    EXPECT_EQ(live.FieldByName("NAME")->AsString(), "TWO");
    live.Insert();
    live.FieldByName("T_ID")->SetAsInteger(3);
    live.Cancel();
    EXPECT_EQ(live.FieldByName("T_ID")->AsInteger(), 20);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM T"), "2");

    // The row vanished under the edit: the update reports it instead of doing nothing.
    live.Edit();
    db.Exec("DELETE FROM T WHERE T_ID = 20");
    live.FieldByName("NAME")->SetAsString("gone");
    EXPECT_THROW(live.Post(), EDatabaseError);
}

TEST_F(LiveResultTest, ReadOnlyResultsRefuseChanges) {
    db.Exec("INSERT INTO T (T_ID) VALUES (1)");
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL("SELECT * FROM T");
    q.Open();  // not live
    EXPECT_FALSE(q.CanModify());
    EXPECT_THROW(q.Insert(), EDatabaseError);
    EXPECT_THROW(q.Edit(), EDatabaseError);
    EXPECT_THROW(q.Post(), EDatabaseError);

    q.Close();
    q.SetSQL("SELECT T.T_ID, U.X FROM T JOIN (SELECT 1 AS X) U ON 1 = 1");
    q.SetRequestLive(true);
    q.Open();  // a join cannot be live
    EXPECT_FALSE(q.CanModify());
    EXPECT_THROW(q.Insert(), EDatabaseError);

    db.Exec("CREATE TABLE NOKEY (A INTEGER)");
    db.Exec("INSERT INTO NOKEY (A) VALUES (1)");
    q.Close();
    q.SetSQL("SELECT * FROM NOKEY");
    q.Open();
    q.Edit();
    q.FieldByName("A")->SetAsInteger(2);
    EXPECT_THROW(q.Post(), EDatabaseError);  // no key to find the row by
    q.Cancel();
    q.Insert();  // inserting needs no key
    q.FieldByName("A")->SetAsInteger(3);
    q.Post();
    EXPECT_EQ(db.Scalar("SELECT SUM(A) FROM NOKEY"), "4");
}

TEST_F(LiveResultTest, InsertAfterReadingToTheEnd) {
    for (int i = 1; i <= 3; ++i) db.Exec("INSERT INTO T (T_ID) VALUES (" + std::to_string(i) + ")");
    live.Open();
    int n = 0;
    for (; !live.Eof(); live.Next()) ++n;
    EXPECT_EQ(n, 3);
    live.Insert();
    live.FieldByName("T_ID")->SetAsInteger(4);
    live.Post();
    EXPECT_FALSE(live.Eof());
    live.Next();  // past the posted row: the finished cursor is not restarted
    EXPECT_TRUE(live.Eof());
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM T"), "4");
}
