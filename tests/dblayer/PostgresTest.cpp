// PostgreSQL only: streaming through cursors while other statements run, failures and rollbacks
// that take no other work with them, the server's types, parameters the server cannot type
// alone, and a connection that breaks. Skipped unless QUANTORA_TEST_PG names a server.
#include <gtest/gtest.h>

#include "quantora/base/DateTime.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

using quantora::test::Raised;
using quantora::test::TestDatabase;
using quantora::test::UsingPostgres;

namespace {

class PostgresTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!UsingPostgres()) GTEST_SKIP() << "QUANTORA_TEST_PG is not set";
        db = std::make_unique<TestDatabase>();
        db->Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, N INTEGER)");
    }
    void Insert(int id) const {
        db->Exec("INSERT INTO T (T_ID) VALUES (" + std::to_string(id) + ")");
    }
    AnsiString Sum() const { return db->Elsewhere("SELECT SUM(T_ID) FROM T"); }
    std::unique_ptr<TestDatabase> db;
    TQuery q;
};

int ReadToEnd(TQuery& q) {
    int rows = 0;
    for (; !q.Eof(); q.Next()) ++rows;
    return rows;
}

}  // namespace

TEST_F(PostgresTest, StreamsALargeResultWhileOtherStatementsRun) {
    TQuery count;
    db->Prep(q, "SELECT generate_series(1, 200000) AS g");
    db->Prep(count, "SELECT COUNT(*) FROM T WHERE T_ID <= :g");
    for (q.Open(); !q.Eof(); q.Next()) {
        const int g = q.Fields()[0]->AsInteger();
        if (g % 1000 != 0) continue;
        Insert(g);
        count.Close();
        count.ParamByName("g")->SetAsInteger(g);
        count.Open();
        ASSERT_EQ(count.Fields()[0]->AsInteger(), g / 1000);
    }
    q.Close();
    count.Close();
    // Finished results leave no cursor behind but the counting query's own (the FETCH's
    // unnamed portal is left out).
    EXPECT_EQ(db->Scalar("SELECT COUNT(*) FROM pg_cursors WHERE name <> ''"), "1");
    // A result is read in batches: opening one of two billion rows returns at once.
    db->Prep(q, "SELECT generate_series(1, 2000000000) AS g");
    q.Open();
    q.Next();
    EXPECT_EQ(q.Fields()[0]->AsInteger(), 2);
}

TEST_F(PostgresTest, FailuresAndRollbacksTakeOnlyTheirOwnWork) {
    // A failure in a batch fetched ahead while other work ran is reported where reading
    // reaches it, and takes nothing else with it.
    db->Prep(q, "SELECT 100 / (30000 - g) AS X FROM generate_series(1, 40000) AS g");
    q.Open();
    for (int i = 0; i < 20000; ++i) q.Next();
    Insert(1);
    EXPECT_THROW(ReadToEnd(q), EDatabaseError);
    q.Close();
    // Results opened inside a transaction that rolls back cannot be read on; those opened
    // outside it can.
    TQuery outer_rows;
    db->Prep(outer_rows, "SELECT generate_series(1, 1000)");
    db->Prep(q, "SELECT generate_series(1, 1000)");
    {
        Transaction outer(db->alias());
        outer_rows.Open();
        Insert(2);
        {
            Transaction inner(db->alias());
            q.Open();
            Insert(4);
        }
        EXPECT_THROW(ReadToEnd(q), EDatabaseError);
        q.Close();
        EXPECT_EQ(ReadToEnd(outer_rows), 1000);
        outer.Commit();
    }
    EXPECT_EQ(Sum(), "3");
}

TEST_F(PostgresTest, ServerTypesAndTimestampsToTheMicrosecond) {
    db->Exec(
        "CREATE TABLE K (K_ID SMALLINT NOT NULL PRIMARY KEY, N NUMERIC(10,3), C CHAR(3), "
        "DT DATE, F BOOLEAN, U UUID, TS TIMESTAMP)");
    const TDateTime t = quantora::EncodeDateTime({1850, 6, 15, 12, 30, 0, 1});
    db->Prep(q,
             "INSERT INTO K VALUES (1, 1.5, 'ab', :d, TRUE, "
             "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', :t)");
    q.ParamByName("d")->SetAsDateTime(t);
    q.ParamByName("t")->SetAsDateTime(t);
    q.ExecSQL();
    EXPECT_EQ(db->Rows("SELECT * FROM K"),  // char(n) padding is no part of values
              "1|1.5|ab|1850-06-15 00:00:00.000000|1|a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11|"
              "1850-06-15 12:30:00.000001\n");
    // Types as the server reports them, under names folded upper-case unless quoted.
    db->Prep(q, "SELECT K.*, K_ID AS lower_alias, 1 AS \"Mixed\" FROM K WHERE TS = :t");
    q.ParamByName("t")->SetAsDateTime(t);  // equal to the microsecond
    const TFieldType types[] = {ftSmallint, ftFloat,    ftString,   ftDate,    ftBoolean,
                                ftString,   ftDateTime, ftSmallint, ftLargeint};
    AnsiString names;
    q.Open();
    for (int i = 0; i < q.FieldCount(); ++i) {
        EXPECT_EQ(q.Fields()[i]->DataType(), types[i]) << i;
        names += q.Fields()[i]->FieldName() + " ";
    }
    EXPECT_EQ(names, "K_ID N C DT F U TS LOWER_ALIAS Mixed ");
    EXPECT_EQ(db->Scalar("SELECT 'infinity'::timestamp"), "infinity");
}

TEST_F(PostgresTest, ParametersTheServerCannotTypeAlone) {
    db->Prep(q, "SELECT :p IS NULL AS NP, :p AS P");
    q.ParamByName("p")->SetAsInteger(5);
    q.Open();
    EXPECT_EQ(q.FieldByName("NP")->AsString() + q.FieldByName("P")->AsString(), "05");
    // A float into an integer column, as often as it takes to be prepared on the server.
    db->Prep(q, "INSERT INTO T (T_ID, N) VALUES (:id, :n)");
    for (int i = 1; i <= 3; ++i) {
        q.ParamByName("id")->SetAsInteger(i);
        q.ParamByName("n")->SetAsFloat(i == 2 ? 7.6 : 7.0);
        q.ExecSQL();
    }
    EXPECT_EQ(db->Scalar("SELECT SUM(N) FROM T"), "22");
    db->Prep(q, "SELECT COUNT(*) FROM T WHERE T_ID = :id");
    q.ParamByName("id")->SetAsString("abc");
    const AnsiString m = Raised([&] { q.Open(); }).Message;
    for (const char* part : {"abc", "PostgreSQL", "WHERE T_ID = $1"})
        EXPECT_NE(m.find(part), std::string::npos) << m;
}

TEST_F(PostgresTest, ABrokenConnectionIsReestablished) {
    const AnsiString killer = db->alias() + "_killer";
    OpenDatabase(killer, db->uri());
    auto kill_connection = [&] {
        TQuery k;
        k.SetDatabaseName(killer);
        k.SetSQL("SELECT pg_terminate_backend(" + db->Scalar("SELECT pg_backend_pid()") +
                 ", 10000)");
        k.Open();
        ASSERT_TRUE(k.Fields()[0]->AsBoolean());
    };
    // Outside a transaction the next statement reconnects and goes on.
    Insert(9);
    kill_connection();
    EXPECT_EQ(db->Scalar("SELECT COUNT(*) FROM T"), "1");
    // Work done while a result was open is lost with the connection: that is reported.
    TQuery open;
    db->Prep(open, "SELECT generate_series(1, 100000)");
    open.Open();
    Insert(7);
    kill_connection();
    EXPECT_THROW(db->Scalar("SELECT 1"), EDatabaseError);
    EXPECT_THROW(ReadToEnd(open), EDatabaseError);
    open.Close();
    {
        Transaction tr(db->alias());
        Insert(1);
        kill_connection();
        const auto e = Raised<EDatabaseError>([&] { Insert(2); });
        EXPECT_EQ(e.Category(), DbErrorCategory::ConnectionLost) << e.what();
        EXPECT_TRUE(e.Retryable());
        EXPECT_THROW(Insert(3), EDatabaseError);  // the transaction is gone
    }
    EXPECT_EQ(db->Scalar("SELECT SUM(T_ID) FROM T"), "9");
    open.Open();  // opened again after the break, a result reads whole
    EXPECT_EQ(ReadToEnd(open), 100000);
    CloseDatabase(killer);
}

TEST(PostgresConnect, UnreachableServersAndDatabasesAreClearErrors) {
    AnsiString m = Raised([] {
                       OpenDatabase("pg_unreachable", "postgresql://postgres@127.0.0.1:1/quantora");
                   }).Message;
    EXPECT_NE(m.find("PostgreSQL: cannot connect"), std::string::npos) << m;
    EXPECT_FALSE(IsDatabaseOpen("pg_unreachable"));
    if (!UsingPostgres()) return;
    AnsiString uri = std::getenv("QUANTORA_TEST_PG");
    uri = uri.substr(0, uri.rfind('/') + 1) + "no_such_database_here";
    m = Raised([&] { OpenDatabase("pg_nodb", "postgresql:" + uri); }).Message;
    EXPECT_NE(m.find("no_such_database_here"), std::string::npos) << m;
}
