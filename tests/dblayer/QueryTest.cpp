// Reading through TQuery: types, nulls, parameters, errors, statement reuse, threads.
#include <gtest/gtest.h>

#include <cstdint>

#include "quantora/base/DateTime.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "tests/support/TestDatabase.h"

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
    void Prep(TQuery& q, const AnsiString& sql) {
        q.SetDatabaseName(db.alias());
        q.SetSQL(sql);
    }
    TestDatabase db;
};

}  // namespace

TEST_F(QueryTest, EmptyResultIsAtEofAndMissingFieldsAreNull) {
    TQuery q;
    q.SetDatabaseName(db.alias());
    q.SetSQL("SELECT * FROM T");
    q.Open();
    EXPECT_TRUE(q.Active());
    EXPECT_TRUE(q.Eof());
    EXPECT_EQ(q.FieldCount(), 8);
    EXPECT_EQ(q.FindField("NOSUCH"), nullptr);
    EXPECT_NE(q.FindField("name"), nullptr);  // names match without regard to case
    EXPECT_THROW(q.FieldByName("NOSUCH"), EDatabaseError);
    EXPECT_TRUE(q.FieldByName("VAL")->IsNull());  // on an empty result every field is null
    q.Next();
    EXPECT_TRUE(q.Eof());
    q.Close();
    EXPECT_FALSE(q.Active());
    EXPECT_EQ(q.FieldCount(), 0);
}

TEST_F(QueryTest, NullsReadAsZeroAndEmpty) {
    db.Exec("INSERT INTO T (T_ID) VALUES (7)");
    TQuery q;
    Prep(q, "SELECT * FROM T");
    q.Open();
    ASSERT_FALSE(q.Eof());
    for (const char* name : {"NAME", "SHORTV", "VAL", "WHEN_AT", "CMT", "DATA"}) {
        TField* f = q.FieldByName(name);
        EXPECT_TRUE(f->IsNull()) << name;
        EXPECT_EQ(f->AsInteger(), 0) << name;
        EXPECT_EQ(f->AsFloat(), 0.0) << name;
        EXPECT_EQ(f->AsString(), "") << name;
        EXPECT_TRUE(f->AsVariant().IsNull()) << name;
    }
    EXPECT_EQ(q.FieldByName("T_ID")->AsInteger(), 7);
}

TEST_F(QueryTest, ParametersOfEveryType) {
    TQuery ins;
    Prep(ins,
         "INSERT INTO T (T_ID, NAME, SHORTV, VAL, WHEN_AT, CMT, DATA) "
         "VALUES (:id, :name, :s, :v, :w, :c, :d)");
    ASSERT_EQ(ins.ParamCount(), 7);
    ins.Prepare();
    const AnsiString blob("\0\x01\xff\0z", 5);
    const TDateTime when = quantora::EncodeDateTime({2024, 2, 29, 13, 45, 7, 123456});
    for (int i = 1; i <= 3; ++i) {
        ins.ParamByName("ID")->SetAsInteger(i);
        ins.ParamByName("name")->SetAsString(i == 2 ? AnsiString() : "n" + std::to_string(i));
        ins.ParamByName("s")->SetAsInteger(-i);
        ins.ParamByName("v")->SetAsFloat(0.1 * i);
        ins.ParamByName("w")->SetAsDateTime(when + i);
        ins.ParamByName("c")->SetAsString("comment: 'quoted'");
        if (i == 3)
            ins.ParamByName("d")->Clear();
        else
            ins.ParamByName("d")->SetAsBlob(blob);
        ins.ExecSQL();
        EXPECT_EQ(ins.RowsAffected(), 1);
    }

    TQuery q;
    Prep(q, "SELECT * FROM T WHERE WHEN_AT >= :w AND NAME <> :skip ORDER BY T_ID");
    q.ParamByName("w")->SetDataType(ftDateTime);
    q.ParamByName("w")->SetAsFloat(when + 1);  // the declared type decides how it is bound
    q.ParamByName("skip")->SetAsString("n3");
    q.Open();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("T_ID")->AsInteger(), 1);
    EXPECT_EQ(q.FieldByName("SHORTV")->AsInteger(), -1);
    EXPECT_DOUBLE_EQ(q.FieldByName("VAL")->AsFloat(), 0.1);
    EXPECT_EQ(quantora::FormatIsoDateTime(q.FieldByName("WHEN_AT")->AsDateTime()),
              "2024-03-01 13:45:07.123456");
    EXPECT_EQ(q.FieldByName("DATA")->AsString(), blob);
    q.Next();
    ASSERT_FALSE(q.Eof());  // the empty string is not null
    EXPECT_EQ(q.FieldByName("T_ID")->AsInteger(), 2);
    EXPECT_FALSE(q.FieldByName("NAME")->IsNull());
    q.Next();
    EXPECT_TRUE(q.Eof());

    // A null parameter matches nothing; re-running with new values reuses the statement.
    q.Close();
    q.ParamByName("skip")->Clear();
    q.Open();
    EXPECT_TRUE(q.Eof());
    q.Close();
    q.ParamByName("skip")->SetAsString("zzz");
    q.Open();
    int rows = 0;
    for (; !q.Eof(); q.Next()) ++rows;
    EXPECT_EQ(rows, 3);
    EXPECT_THROW(q.ParamByName("nope"), EDatabaseError);
}

TEST_F(QueryTest, ErrorsNameTheSqlAndTheCause) {
    TQuery q;
    Prep(q, "SELECT * FROM NO_SUCH_TABLE");
    try {
        q.Open();
        FAIL() << "no exception";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message.find("SELECT * FROM NO_SUCH_TABLE"), std::string::npos) << e.Message;
        EXPECT_NE(e.Message.find("NO_SUCH_TABLE"), std::string::npos);
    }
    EXPECT_FALSE(q.Active());

    db.Exec("INSERT INTO T (T_ID, NAME) VALUES (1, 'abc')");
    TQuery dup;
    Prep(dup, "INSERT INTO T (T_ID) VALUES (1)");
    EXPECT_THROW(dup.ExecSQL(), EDatabaseError);
    EXPECT_EQ(dup.RowsAffected(), -1);
    dup.SetSQL("INSERT INTO T (T_ID) VALUES (2)");
    dup.ExecSQL();
    EXPECT_EQ(dup.RowsAffected(), 1);
    dup.SetSQL("INSERT INTO NO_SUCH_TABLE VALUES (1)");  // fails before it runs
    EXPECT_THROW(dup.ExecSQL(), EDatabaseError);
    EXPECT_EQ(dup.RowsAffected(), -1);

    TQuery read;
    Prep(read, "SELECT NAME FROM T");
    read.Open();
    EXPECT_THROW(read.FieldByName("NAME")->AsInteger(), EDatabaseError);       // 'abc' is no number
    EXPECT_THROW(read.FieldByName("NAME")->SetAsString("x"), EDatabaseError);  // browse state

    TQuery nodb;
    nodb.SetSQL("SELECT 1");
    EXPECT_THROW(nodb.Open(), EDatabaseError);
    nodb.SetDatabaseName("never_opened_alias");
    EXPECT_THROW(nodb.Open(), EDatabaseError);
    for (const char* uri : {"mysql://x", "postgre://x", "file:x.db"}) {
        try {  // an unknown scheme is refused as it stands, not handed to an engine
            OpenDatabase("bad", uri);
            ADD_FAILURE() << uri;
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message.rfind("Malformed database URI", 0), 0u) << e.Message;
        }
    }
    EXPECT_THROW(OpenDatabase("bad", "sqlite:"), EDatabaseError);
    EXPECT_THROW(OpenDatabase("bad", "sqlite:/no/such/dir/x.db"), EDatabaseError);
    EXPECT_FALSE(IsDatabaseOpen("bad"));

    // One text is one statement: a second one is refused, not quietly dropped or run.
    for (const char* two : {"SELECT 1; DELETE FROM T",
                            "DELETE FROM T WHERE T_ID = 9; DELETE FROM T", "SELECT 1; garbage"}) {
        Prep(q, two);
        EXPECT_THROW(q.ExecSQL(), EDatabaseError) << two;
    }
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM T"), "2");
    Prep(q, "UPDATE T SET NAME = 'x' WHERE T_ID = 2; -- trailing comment\n ; ");
    q.ExecSQL();
    EXPECT_EQ(q.RowsAffected(), 1);
}

TEST_F(QueryTest, SameSqlOpenTwiceAtOnceAndNestedReads) {
    for (int i = 1; i <= 3; ++i) db.Exec("INSERT INTO T (T_ID) VALUES (" + std::to_string(i) + ")");
    // Two open queries with one text must not share a statement; a second query runs per row.
    TQuery outer;
    Prep(outer, "SELECT T_ID FROM T ORDER BY T_ID");
    TQuery inner;
    Prep(inner, "SELECT T_ID FROM T ORDER BY T_ID");
    outer.Open();
    int pairs = 0;
    for (; !outer.Eof(); outer.Next()) {
        inner.Close();
        inner.Open();
        for (; !inner.Eof(); inner.Next()) ++pairs;
    }
    EXPECT_EQ(pairs, 9);
    // First re-runs the statement.
    outer.First();
    ASSERT_FALSE(outer.Eof());
    EXPECT_EQ(outer.Fields()[0]->AsInteger(), 1);
}

TEST_F(QueryTest, ValuesConvertToTheTypeAskedFor) {
    TQuery q;
    Prep(q,
         "SELECT '123' AS S, ' -45 ' AS P, '3.0' AS W, '-2147483648' AS MINTEXT, "
         "-2147483648 AS MININT, -2147483649 AS BELOW, 2147483648 AS ABOVE, '12x' AS BAD, "
         "'1e3' AS E, 2.5 AS H");
    q.Open();
    struct Case {
        const char* field;
        long long expected;  // 0 with `fails`
        bool fails;
    };
    for (Case c : {Case{"S", 123, false},
                   {"P", -45, false},
                   {"W", 3, false},
                   {"MINTEXT", INT32_MIN, false},
                   {"MININT", INT32_MIN, false},
                   {"BELOW", 0, true},
                   {"ABOVE", 0, true},
                   {"BAD", 0, true},
                   {"E", 1000, false},
                   {"H", 3, false}}) {
        if (c.fails) {
            EXPECT_THROW(q.FieldByName(c.field)->AsInteger(), EDatabaseError) << c.field;
        } else {
            EXPECT_EQ(q.FieldByName(c.field)->AsInteger(), c.expected) << c.field;
        }
    }
    EXPECT_EQ(q.FieldByName("BELOW")->AsLargeInt(), -2147483649LL);
    EXPECT_EQ(q.FieldByName("S")->AsFloat(), 123.0);
    EXPECT_THROW(q.FieldByName("BAD")->AsFloat(), EDatabaseError);
    // Flags: a number is true unless 0, a text by its first letter (Y, T) or "1", null false.
    q.Close();
    q.SetSQL("SELECT 0, 1, 2, 'Y', 'N', 't', '1', '0', NULL");
    q.Open();
    const bool flags[] = {false, true, true, true, false, true, true, false, false};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(q.Fields()[i]->AsBoolean(), flags[i]) << i;
}

TEST(Schema, CreateSchemaIsIdempotentAndRecordsItsVersion) {
    TestDatabase db(true);
    CreateSchema(db.alias());
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM SCHEMAVERSION"), "1");
    for (const char* table : {"MEASUREMENT", "SPECTRUM", "PEAK", "ECAL", "BLOBCHUNK", "PROJECT",
                              "SOURCEISOMER", "RADIATION", "USERSETTINGS", "SETTING"})
        EXPECT_EQ(db.Scalar(AnsiString("SELECT COUNT(*) FROM ") + table), "0") << table;
}
