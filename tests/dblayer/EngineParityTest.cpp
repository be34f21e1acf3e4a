// Behaviour both engines must share where their own semantics differ: transactions and their
// nesting, failed statements inside transactions and while results are open, results read across a
// commit, empty blobs, composite keys, the types of expression columns.
#include <gtest/gtest.h>

#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "tests/support/TestDatabase.h"

using quantora::test::TestDatabase;

namespace {

class EngineParity : public ::testing::Test {
  protected:
    void SetUp() override {
        db.Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), DATA BLOB)");
    }
    // What another workstation sees: the count and sum of the keys.
    AnsiString Keys() const { return db.Elsewhere("SELECT COUNT(*) || ':' || SUM(T_ID) FROM T"); }
    void Insert(int id) const {
        db.Exec("INSERT INTO T (T_ID) VALUES (" + std::to_string(id) + ")");
    }
    TestDatabase db;
    TQuery q;
};

}  // namespace

TEST_F(EngineParity, AFailedStatementLeavesTheTransactionUsable) {
    {
        Transaction tr(db.alias());
        Insert(1);
        EXPECT_THROW(Insert(1), EDatabaseError);
        EXPECT_THROW(db.Scalar("SELECT NO_SUCH_COLUMN FROM T"), EDatabaseError);
        Insert(2);
        tr.Commit();
        EXPECT_THROW(tr.Commit(), EDatabaseError);
    }
    {
        Transaction outer(db.alias());
        Insert(3);
        {
            Transaction inner(db.alias());
            Insert(4);
            EXPECT_THROW(Insert(4), EDatabaseError);
            EXPECT_THROW(outer.Commit(), EDatabaseError);  // inner still open
            inner.Commit();
        }
        {
            Transaction inner(db.alias());
            Insert(5);
        }  // rolled back alone
        outer.Commit();
    }
    EXPECT_EQ(Keys(), "4:10");
    EXPECT_THROW(Transaction("no_such_alias"), EDatabaseError);
}

TEST_F(EngineParity, StatementsRunWhileAResultIsOpenStayDone) {
    for (int i = 1; i <= 3; ++i) Insert(i);
    db.Prep(q, "SELECT T_ID FROM T WHERE T_ID <= 3 ORDER BY T_ID", true);  // one row at a time
    q.Open();
    Insert(10);
    EXPECT_THROW(Insert(10), EDatabaseError);
    {
        Transaction tr(db.alias());
        Insert(11);
    }  // rolled back; the result opened before it reads on
    // Transaction control sent as SQL.
    for (const char* sql :
         {"BEGIN", "INSERT INTO T (T_ID) VALUES (20)", "SAVEPOINT a",
          "INSERT INTO T (T_ID) VALUES (30)", "SAVEPOINT b", "INSERT INTO T (T_ID) VALUES (40)",
          "ROLLBACK TO SAVEPOINT a", "INSERT INTO T (T_ID) VALUES (50)", "RELEASE SAVEPOINT a"})
        db.Exec(sql);
    EXPECT_THROW(db.Exec("RELEASE SAVEPOINT b"), EDatabaseError);  // gone with a
    db.Exec("COMMIT");
    EXPECT_THROW(db.Exec("COMMIT"), EDatabaseError);  // nothing left to commit
    AnsiString ids;
    for (; !q.Eof(); q.Next()) ids += q.Fields()[0]->AsString();
    EXPECT_EQ(ids, "123");
    q.Close();
    EXPECT_EQ(Keys(), "6:86");  // 1, 2, 3, 10, 20, 50

    // A result opened in a transaction reads on after the commit.
    db.Prep(q, "SELECT T_ID FROM T WHERE T_ID <= 3 ORDER BY T_ID");
    {
        Transaction tr(db.alias());
        q.Open();
        Insert(6);
        tr.Commit();
    }
    for (ids.clear(); !q.Eof(); q.Next()) ids += q.Fields()[0]->AsString();
    EXPECT_EQ(ids + Keys(), "1237:92");
}

TEST_F(EngineParity, EmptyBlobsAreNotNull) {
    db.Prep(q, "INSERT INTO T (T_ID, DATA) VALUES (:id, :d)");
    q.ParamByName("id")->SetAsInteger(1);
    q.ParamByName("d")->SetAsBlob(AnsiString());
    q.ExecSQL();
    q.ParamByName("id")->SetAsInteger(2);
    q.ParamByName("d")->Clear();
    q.ExecSQL();
    db.Prep(q, "SELECT * FROM T", true);
    q.Open();
    q.Insert();
    q.FieldByName("T_ID")->SetAsInteger(3);
    q.FieldByName("DATA")->SetAsString(AnsiString());
    q.Post();
    EXPECT_EQ(db.Rows("SELECT T_ID, DATA FROM T ORDER BY T_ID"), "1|\n2|NULL\n3|\n");
}

TEST_F(EngineParity, CompositeKeysAndExpressionColumns) {
    // Edit finds its row by every column of a composite key.
    db.Exec(
        "CREATE TABLE P (A INTEGER NOT NULL, B INTEGER NOT NULL, V INTEGER, PRIMARY KEY (B, A))");
    for (const char* row : {"1, 1", "1, 2", "2, 1"})
        db.Exec(AnsiString("INSERT INTO P (A, B) VALUES (") + row + ")");
    db.Prep(q, "SELECT * FROM P WHERE A = 1 AND B = 2", true);
    q.Open();
    q.Edit();
    q.FieldByName("V")->SetAsInteger(9);
    q.Post();
    EXPECT_EQ(db.Rows("SELECT A, B FROM P WHERE V IS NOT NULL"), "1|2\n");

    // Expression columns take the type of their value.
    db.Prep(q, "SELECT COUNT(*), MAX(A), SUM(A), AVG(A), 'a' || B FROM P WHERE B = 1 GROUP BY B");
    q.Open();
    const TFieldType types[] = {ftLargeint, ftLargeint, ftLargeint, ftFloat, ftString};
    AnsiString texts;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(q.Fields()[i]->DataType(), types[i]) << i;
        texts += q.Fields()[i]->AsString() + " ";
    }
    EXPECT_EQ(texts, "2 2 3 1.5 a1 ");
    EXPECT_EQ(q.Fields()[4]->DataSize(), 256);
}
