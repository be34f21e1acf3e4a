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
    AnsiString Elsewhere(const AnsiString& sql) const { return db.Elsewhere(sql); }
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
        EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM T"), "2");
        tr.Commit();
        EXPECT_THROW(tr.Commit(), EDatabaseError);
    }
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T"), "2");
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
    {
        Transaction tr(db.alias());
        Insert(6);
    }  // rolled back
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T"), "4");
    EXPECT_THROW(Transaction("no_such_alias"), EDatabaseError);
}

TEST_F(EngineParity, StatementsRunWhileAResultIsOpenStayDone) {
    for (int i = 1; i <= 3; ++i) Insert(i);
    db.Prep(q, "SELECT T_ID FROM T WHERE T_ID <= 3 ORDER BY T_ID", true);  // one row at a time
    q.Open();
    Insert(10);
    EXPECT_THROW(Insert(10), EDatabaseError);
    db.Exec("UPDATE T SET NAME = 'x' WHERE T_ID = 1");
    {
        Transaction tr(db.alias());
        Insert(11);
    }  // rolled back; the result opened before it reads on
    int rows = 0;
    for (; !q.Eof(); q.Next()) EXPECT_EQ(q.Fields()[0]->AsInteger(), ++rows);
    EXPECT_EQ(rows, 3);
    q.Close();
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T WHERE T_ID = 10 OR NAME = 'x'"), "2");
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T WHERE T_ID = 11"), "0");
}

TEST_F(EngineParity, AResultOpenedInATransactionReadsOnAfterTheCommit) {
    for (int i = 1; i <= 5; ++i) Insert(i);
    db.Prep(q, "SELECT T_ID FROM T WHERE T_ID <= 5 ORDER BY T_ID");
    {
        Transaction tr(db.alias());
        q.Open();
        EXPECT_EQ(q.Fields()[0]->AsInteger(), 1);
        q.Next();
        Insert(6);
        tr.Commit();
    }
    int expected = 2;
    for (; !q.Eof(); q.Next()) EXPECT_EQ(q.Fields()[0]->AsInteger(), expected++);
    EXPECT_EQ(expected, 6);
    q.Close();
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T"), "6");
}

TEST_F(EngineParity, TransactionControlSentAsSql) {
    auto run = [&](const char* sql) { db.Exec(sql); };
    db.Prep(q, "SELECT * FROM T", true);  // reads one row at a time
    Insert(1);
    Insert(9);
    q.Open();  // a result open across all of it
    run("BEGIN");
    Insert(2);
    run("SAVEPOINT a");
    Insert(3);
    run("SAVEPOINT b");
    Insert(4);
    run("ROLLBACK TO SAVEPOINT a");
    Insert(5);
    run("RELEASE SAVEPOINT a");
    EXPECT_THROW(run("RELEASE SAVEPOINT b"), EDatabaseError);  // gone with a
    run("COMMIT");
    EXPECT_THROW(run("COMMIT"), EDatabaseError);  // nothing left to commit
    EXPECT_FALSE(q.Eof());
    q.Close();
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) || ':' || SUM(T_ID) FROM T"), "4:17");  // 1, 2, 5, 9
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
    db.Prep(q, "SELECT DATA FROM T ORDER BY T_ID");
    q.Open();
    for (int id = 1; id <= 3; ++id, q.Next()) {
        ASSERT_FALSE(q.Eof());
        EXPECT_EQ(q.Fields()[0]->IsNull(), id == 2) << id;
        EXPECT_EQ(q.Fields()[0]->AsVariant(), id == 2 ? Variant() : Variant::FromBlob("")) << id;
    }
}

TEST_F(EngineParity, EditFindsItsRowByEveryColumnOfACompositeKey) {
    db.Exec(
        "CREATE TABLE P (A INTEGER NOT NULL, B INTEGER NOT NULL, V INTEGER, PRIMARY KEY (B, A))");
    for (const char* row : {"1, 1", "1, 2", "2, 1"})
        db.Exec(AnsiString("INSERT INTO P (A, B) VALUES (") + row + ")");
    db.Prep(q, "SELECT * FROM P WHERE A = 1 AND B = 2", true);
    q.Open();
    q.Edit();
    q.FieldByName("V")->SetAsInteger(9);
    q.Post();
    EXPECT_EQ(db.Rows("SELECT A, B FROM P WHERE V = 9"), "1|2\n");
}

TEST_F(EngineParity, ExpressionColumnsTakeTheTypeOfTheirValue) {
    db.Exec("INSERT INTO T (T_ID, NAME) VALUES (1, 'a')");
    db.Exec("INSERT INTO T (T_ID, NAME) VALUES (2, 'a')");
    db.Prep(q,
            "SELECT COUNT(*), MAX(T_ID), SUM(T_ID), AVG(T_ID), NAME || '!' FROM T GROUP BY NAME");
    q.Open();
    const TFieldType types[] = {ftLargeint, ftLargeint, ftLargeint, ftFloat, ftString};
    const char* const texts[] = {"2", "2", "3", "1.5", "a!"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(q.Fields()[i]->DataType(), types[i]) << i;
        EXPECT_EQ(q.Fields()[i]->AsString(), texts[i]) << i;
    }
    EXPECT_EQ(q.Fields()[4]->DataSize(), 256);
}
