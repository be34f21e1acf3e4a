// TQuery: types, nulls, parameters, errors, statement reuse, and live results whose Insert,
// Edit, Post and Cancel become INSERT and UPDATE statements.
#include <gtest/gtest.h>

#include <cstdint>

#include "quantora/base/DateTime.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

using quantora::test::Raised;
using quantora::test::TestDatabase;

namespace {

class QueryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db.Exec(
            "CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), "
            "FLAG CHAR(1), SHORTV SMALLINT, VAL DOUBLE, WHEN_AT TIMESTAMP, CMT TEXT, "
            "DATA BLOB)");
    }
    void Insert(int id) const {
        db.Exec("INSERT INTO T (T_ID) VALUES (" + std::to_string(id) + ")");
    }
    int ReadToEnd() {
        int rows = 0;
        for (q.Open(); !q.Eof(); q.Next()) ++rows;
        return rows;
    }
    TestDatabase db;
    TQuery q;
};
using LiveResultTest = QueryTest;

}  // namespace

TEST_F(QueryTest, EmptyResultsNullsAndNestedReads) {
    db.Prep(q, "SELECT * FROM T");
    q.Open();
    EXPECT_TRUE(q.Active() && q.Eof());
    EXPECT_NE(q.FindField("name"), nullptr);  // names match without regard to case
    EXPECT_THROW(q.FieldByName("NOSUCH"), EDatabaseError);
    EXPECT_TRUE(q.FieldByName("VAL")->IsNull());  // on an empty result every field is null
    q.Close();
    for (int i = 1; i <= 3; ++i) Insert(i);
    q.Open();
    for (int i = 1; i < q.FieldCount(); ++i) {
        TField* f = q.Fields()[i];
        EXPECT_TRUE(f->IsNull() && f->AsString().empty() && f->AsInteger() + f->AsFloat() == 0);
    }
    // Two open queries with one text must not share a statement; a second query runs per row.
    TQuery inner;
    db.Prep(inner, "SELECT * FROM T");
    int pairs = 0;
    for (; !q.Eof(); q.Next()) {
        inner.Close();
        for (inner.Open(); !inner.Eof(); inner.Next()) ++pairs;
    }
    EXPECT_EQ(pairs, 9);
    q.First();  // re-runs the statement
    EXPECT_EQ(q.Fields()[0]->AsInteger(), 1);
}

TEST_F(QueryTest, ParametersOfEveryType) {
    TQuery ins;
    db.Prep(ins,
            "INSERT INTO T (T_ID, NAME, SHORTV, VAL, WHEN_AT, CMT, DATA) "
            "VALUES (:id, :name, :s, :v, :w, :c, :d)");
    ASSERT_EQ(ins.ParamCount(), 7);
    ins.Prepare();
    const AnsiString blob("\0\x01\xff\0z", 5);
    ins.ParamByName("d")->SetAsBlob(blob);
    const TDateTime when = quantora::EncodeDateTime({2024, 2, 29, 13, 45, 7, 123456});
    ins.ParamByName("c")->SetAsString("'q'");
    for (int i = 1; i <= 3; ++i) {
        ins.ParamByName("ID")->SetAsInteger(i);
        ins.ParamByName("name")->SetAsString(i == 2 ? AnsiString() : "n" + std::to_string(i));
        ins.ParamByName("s")->SetAsInteger(-i);
        ins.ParamByName("v")->SetAsFloat(0.5 * i);
        ins.ParamByName("w")->SetAsDateTime(when + i);
        if (i == 3) ins.ParamByName("d")->Clear();
        ins.ExecSQL();
        EXPECT_EQ(ins.RowsAffected(), 1);
    }
    EXPECT_EQ(db.Rows("SELECT T_ID, NAME, SHORTV, VAL, WHEN_AT, CMT, DATA FROM T ORDER BY T_ID"),
              "1|n1|-1|0.5|2024-03-01 13:45:07.123456|'q'|" + blob +
                  "\n2||-2|1|2024-03-02 13:45:07.123456|'q'|" + blob +
                  "\n3|n3|-3|1.5|2024-03-03 13:45:07.123456|'q'|NULL\n");
    db.Prep(q, "SELECT * FROM T WHERE WHEN_AT >= :w AND NAME <> :skip");
    q.ParamByName("w")->SetDataType(ftDateTime);
    q.ParamByName("w")->SetAsFloat(when + 2);  // the declared type decides how it is bound
    q.ParamByName("skip")->SetAsString("n3");
    EXPECT_EQ(ReadToEnd(), 1);  // the empty string is not null
    q.Close();
    q.ParamByName("skip")->Clear();  // a null parameter matches nothing
    EXPECT_EQ(ReadToEnd(), 0);
    q.Close();
    q.ParamByName("skip")->SetAsString("zzz");  // new values reuse the statement
    EXPECT_EQ(ReadToEnd(), 2);
    EXPECT_THROW(q.ParamByName("nope"), EDatabaseError);
}

TEST_F(QueryTest, ErrorsNameTheSqlAndTheCause) {
    db.Prep(q, "SELECT * FROM NO_SUCH_TABLE");
    const EDatabaseError e = Raised<EDatabaseError>([&] { q.Open(); });
    EXPECT_NE(e.Message.find("SELECT * FROM NO_SUCH_TABLE"), std::string::npos) << e.Message;
    EXPECT_FALSE(q.Active());

    db.Exec("INSERT INTO T (T_ID, NAME) VALUES (1, 'abc')");
    q.SetSQL("INSERT INTO T (T_ID) VALUES (2)");
    q.ExecSQL();
    q.SetSQL("INSERT INTO T (T_ID) VALUES (1)");
    EXPECT_THROW(q.ExecSQL(), EDatabaseError);
    EXPECT_EQ(q.RowsAffected(), -1);  // not the count of the statement before
    db.Prep(q, "SELECT NAME FROM T");
    q.Open();
    EXPECT_THROW(q.FieldByName("NAME")->AsInteger(), EDatabaseError);       // 'abc' is no number
    EXPECT_THROW(q.FieldByName("NAME")->SetAsString("x"), EDatabaseError);  // browse state

    TQuery nodb;
    nodb.SetSQL("SELECT 1");
    nodb.SetDatabaseName("never_opened_alias");
    EXPECT_THROW(nodb.Open(), EDatabaseError);
    for (const char* uri : {"mysql://x", "postgre://x", "file:x.db", "sqlite:"})  // as they stand
        EXPECT_EQ(
            Raised([&] { OpenDatabase("bad", uri); }).Message.rfind("Malformed database URI", 0),
            0u)
            << uri;
    EXPECT_THROW(OpenDatabase("bad", "sqlite:/no/such/dir/x.db"), EDatabaseError);
    EXPECT_FALSE(IsDatabaseOpen("bad"));

    // One text is one statement: a second one is refused, not quietly dropped or run.
    for (const char* two : {"SELECT 1; DELETE FROM T",
                            "DELETE FROM T WHERE T_ID = 9; DELETE FROM T", "SELECT 1; garbage"}) {
        db.Prep(q, two);
        EXPECT_THROW(q.ExecSQL(), EDatabaseError) << two;
    }
    db.Prep(q, "UPDATE T SET NAME = 'x' WHERE T_ID = 2; -- trailing comment\n ; ");
    q.ExecSQL();
    EXPECT_EQ(db.Rows("SELECT T_ID, NAME FROM T ORDER BY 1"), "1|abc\n2|x\n");
}

TEST_F(QueryTest, ValuesConvertToTheTypeAskedFor) {
    db.Prep(q,
            "SELECT '123', ' -45 ', '3.0', '-2147483648', -2147483648, -2147483649, 2147483648, "
            "'12x', '1e3', 2.5");
    q.Open();
    const long long ints[] = {123, -45, 3, INT32_MIN, INT32_MIN, 0, 0, 0, 1000, 3};  // 0: refused
    for (int i = 0; i < 10; ++i) {
        if (ints[i] == 0)
            EXPECT_THROW(q.Fields()[i]->AsInteger(), EDatabaseError) << i;
        else
            EXPECT_EQ(q.Fields()[i]->AsInteger(), ints[i]) << i;
    }
    EXPECT_EQ(q.Fields()[5]->AsLargeInt(), -2147483649LL);
    EXPECT_EQ(q.Fields()[0]->AsFloat(), 123.0);
    EXPECT_THROW(q.Fields()[7]->AsFloat(), EDatabaseError);
    // Flags: a number is true unless 0, a text by its first letter (Y, T) or "1", null false.
    q.Close();
    q.SetSQL("SELECT 0, 1, 2, 'Y', 'N', 't', '1', '0', NULL");
    q.Open();
    const bool flags[] = {false, true, true, true, false, true, true, false, false};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(q.Fields()[i]->AsBoolean(), flags[i]) << i;
}

TEST_F(LiveResultTest, InsertEditAndCancel) {
    const AnsiString blob("a\0b\0\0\xfe", 6);
    const TDateTime when = quantora::EncodeDateTime({1999, 12, 31, 23, 59, 59, 999999});
    Insert(1);
    db.Prep(q, "SELECT * FROM T", true);
    ASSERT_EQ(ReadToEnd(), 1);
    ASSERT_TRUE(q.CanModify());
    q.Insert();  // after reading to the end: the finished cursor is not restarted
    EXPECT_TRUE(q.FieldByName("NAME")->IsNull());  // a new row starts all null
    q.FieldByName("T_ID")->SetAsInteger(2);
    q.FieldByName("NAME")->SetAsString("first");
    q.FieldByName("VAL")->SetAsString("2.5");  // converted to the column's type
    q.FieldByName("WHEN_AT")->SetAsDateTime(when);
    q.FieldByName("DATA")->SetAsString(blob);
    EXPECT_THROW(q.FieldByName("VAL")->SetAsString("two"), EDatabaseError);
    q.Post();
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "first");  // the posted row is current
    q.Append();
    q.FieldByName("T_ID")->SetAsInteger(3);
    q.FieldByName("VAL")->SetAsBoolean(true);  // stored as 1
    q.Post();
    q.Edit();
    q.FieldByName("NAME")->SetAsString("three");
    q.FieldByName("T_ID")->SetAsInteger(30);  // the key itself may change
    q.Post();
    q.Edit();
    q.FieldByName("NAME")->SetAsString("discarded");
    q.Cancel();
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "three");
    EXPECT_EQ(db.Rows("SELECT T_ID, NAME, VAL, WHEN_AT, DATA FROM T ORDER BY T_ID"),
              "1|NULL|NULL|NULL|NULL\n2|first|2.5|1999-12-31 23:59:59.999999|" + blob +
                  "\n30|three|1|NULL|NULL\n");
    // The row vanished under the edit: the update reports it instead of doing nothing.
    db.Prep(q, "SELECT * FROM T WHERE T_ID = 30", true);
    q.Open();
    q.Edit();
    db.Exec("DELETE FROM T WHERE T_ID = 30");
    q.FieldByName("NAME")->SetAsString("gone");
    EXPECT_THROW(q.Post(), EDatabaseError);
}

TEST_F(LiveResultTest, ReadOnlyResultsRefuseChanges) {
    Insert(1);
    for (bool live : {false, true}) {  // not live; a join cannot be live
        db.Prep(
            q,
            live ? "SELECT T.T_ID, U.X FROM T JOIN (SELECT 1 AS X) U ON 1 = 1" : "SELECT * FROM T",
            live);
        q.Open();
        EXPECT_FALSE(q.CanModify());
        EXPECT_THROW(q.Insert(), EDatabaseError);
        EXPECT_THROW(q.Edit(), EDatabaseError);
        EXPECT_THROW(q.Post(), EDatabaseError);
    }
    db.Exec("CREATE TABLE NOKEY (A INTEGER)");
    db.Exec("INSERT INTO NOKEY (A) VALUES (1)");
    db.Prep(q, "SELECT * FROM NOKEY", true);
    q.Open();
    q.Edit();
    q.FieldByName("A")->SetAsInteger(2);
    EXPECT_THROW(q.Post(), EDatabaseError);  // no key to find the row by
}
