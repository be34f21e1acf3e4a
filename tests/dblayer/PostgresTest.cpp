// PostgreSQL only: streaming through cursors while other statements run, the implicit block
// that keeps their work, timestamps to the microsecond, type mapping, typed
// parameters, and a connection that breaks. Skipped unless QUANTORA_TEST_PG names a server.
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
    }
    AnsiString Elsewhere(const AnsiString& sql) const { return db->Elsewhere(sql); }
    void Query(TQuery& q, const AnsiString& sql) const { db->Prep(q, sql); }
    std::unique_ptr<TestDatabase> db;
    TQuery q;
};

// Cursors of this session (the unnamed portal of the FETCH running this is left out).
const char* const kOpenCursors = "SELECT COUNT(*) FROM pg_cursors WHERE name <> ''";

int ReadToEnd(TQuery& q) {
    int rows = 0;
    for (; !q.Eof(); q.Next()) ++rows;
    return rows;
}

}  // namespace

TEST_F(PostgresTest, StreamsALargeResultWhileOtherStatementsRun) {
    constexpr int kRows = 200000;
    db->Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, G INTEGER)");
    TQuery big, ins, count;
    Query(big, "SELECT generate_series(1, 200000) AS g");
    Query(ins, "INSERT INTO T (T_ID, G) VALUES (:id, :g)");
    ins.Prepare();
    Query(count, "SELECT COUNT(*) FROM T WHERE G <= :g");
    big.Open();
    long long sum = 0;
    int rows = 0, inserted = 0;
    for (; !big.Eof(); big.Next()) {
        int g = big.Fields()[0]->AsInteger();
        sum += g;
        ++rows;
        if (g % 1000 != 0) continue;
        ins.ParamByName("id")->SetAsInteger(g);
        ins.ParamByName("g")->SetAsInteger(g);
        ins.ExecSQL();
        ++inserted;
        if (g % 50000 == 0) {
            EXPECT_THROW(ins.ExecSQL(), EDatabaseError);  // the key again
        }
        count.Close();
        count.ParamByName("g")->SetAsInteger(g);
        count.Open();
        ASSERT_EQ(count.Fields()[0]->AsInteger(), inserted);
        if (g == 100000) {  // finished inner results left no cursor behind
            EXPECT_EQ(db->Scalar(kOpenCursors), "2");
        }
    }
    EXPECT_EQ(rows, kRows);
    EXPECT_EQ(sum, 1LL * kRows * (kRows + 1) / 2);
    big.Close();
    count.Close();
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T"), "200");
    EXPECT_EQ(db->Scalar(kOpenCursors), "1");  // the counting query's own

    // A result is read in batches: opening one of two billion rows returns at once.
    Query(big, "SELECT generate_series(1, 2000000000) AS g");
    big.Open();
    big.Next();
    EXPECT_EQ(big.Fields()[0]->AsInteger(), 2);
}

TEST_F(PostgresTest, FailuresDoNotUndoWorkDoneWhileAResultIsOpen) {
    db->Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY)");
    Query(q, "SELECT 100 / (500 - g) AS X FROM generate_series(1, 1000) AS g");
    q.Open();
    db->Exec("INSERT INTO T (T_ID) VALUES (1)");
    EXPECT_THROW(db->Exec("INSERT INTO T (T_ID) VALUES (1)"), EDatabaseError);
    db->Exec("INSERT INTO T (T_ID) VALUES (2)");
    {
        Transaction tr(db->alias());
        db->Exec("INSERT INTO T (T_ID) VALUES (3)");
    }
    {
        Transaction tr(db->alias());
        db->Exec("INSERT INTO T (T_ID) VALUES (4)");
        tr.Commit();
    }
    // The result's own failure (division by zero at row 500) takes nothing else with it.
    EXPECT_THROW(ReadToEnd(q), EDatabaseError);
    q.Close();
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T"), "3");
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T WHERE T_ID = 3"), "0");

    // The same for a failure in a batch fetched ahead while other work ran: it is reported
    // where reading reaches it.
    Query(q, "SELECT 100 / (30000 - g) AS X FROM generate_series(1, 40000) AS g");
    q.Open();
    for (int i = 0; i < 20000; ++i) q.Next();
    db->Exec("INSERT INTO T (T_ID) VALUES (5)");
    EXPECT_THROW(ReadToEnd(q), EDatabaseError);
    q.Close();
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T WHERE T_ID = 5"), "1");

    // Results opened inside a transaction that rolls back cannot be read on.
    {
        Transaction tr(db->alias());
        q.SetSQL("SELECT g FROM generate_series(1, 1000) AS g");
        q.Open();
    }
    EXPECT_THROW(ReadToEnd(q), EDatabaseError);
    q.Close();
    EXPECT_EQ(db->Scalar("SELECT COUNT(*) FROM T"), "4");
}

TEST_F(PostgresTest, ResultsOpenedInANestedTransactionCloseWithItsRollback) {
    db->Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY)");
    TQuery outer_rows, inner_rows;
    Query(outer_rows, "SELECT generate_series(1, 1000)");
    Query(inner_rows, "SELECT generate_series(1, 1000)");
    {
        Transaction outer(db->alias());
        outer_rows.Open();
        db->Exec("INSERT INTO T (T_ID) VALUES (1)");
        {
            Transaction inner(db->alias());
            inner_rows.Open();
            db->Exec("INSERT INTO T (T_ID) VALUES (2)");
        }
        EXPECT_THROW(ReadToEnd(inner_rows), EDatabaseError);
        inner_rows.Close();
        EXPECT_EQ(ReadToEnd(outer_rows), 1000);
        outer.Commit();
    }
    outer_rows.Close();
    EXPECT_EQ(Elsewhere("SELECT COUNT(*) FROM T"), "1");
    EXPECT_EQ(db->Scalar(kOpenCursors), "1");
}

TEST_F(PostgresTest, TimestampsKeepMicroseconds) {
    db->Exec("CREATE TABLE D (D_ID INTEGER NOT NULL PRIMARY KEY, AT TIMESTAMP, DAY DATE)");
    TQuery ins;
    Query(ins, "INSERT INTO D (D_ID, AT, DAY) VALUES (1, :at, :day)");
    Query(q, "SELECT AT, DAY FROM D WHERE AT = :at");
    for (const quantora::CivilTime& t :
         {quantora::CivilTime{1999, 12, 31, 23, 59, 59, 999999}, {1850, 6, 15, 12, 30, 0, 1}}) {
        const TDateTime v = quantora::EncodeDateTime(t);
        db->Exec("DELETE FROM D");
        ins.ParamByName("at")->SetAsDateTime(v);
        ins.ParamByName("day")->SetAsDateTime(v);
        ins.ExecSQL();
        q.Close();
        q.ParamByName("at")->SetAsDateTime(v);  // equal to the microsecond
        q.Open();
        ASSERT_FALSE(q.Eof()) << quantora::FormatIsoDateTime(v);
        EXPECT_EQ(q.FieldByName("AT")->AsDateTime(), v);
        EXPECT_EQ(q.FieldByName("DAY")->DataType(), ftDate);
        EXPECT_EQ(q.FieldByName("DAY")->AsDateTime(),
                  static_cast<double>(quantora::DaysFromCivil(t.year, t.month, t.day)));
    }
    EXPECT_EQ(db->Scalar("SELECT DATE '2001-02-03'"), "2001-02-03 00:00:00.000000");
    EXPECT_EQ(db->Scalar("SELECT 'infinity'::timestamp"), "infinity");
}

TEST_F(PostgresTest, FieldTypesFollowTypeOids) {
    db->Exec(
        "CREATE TABLE K (K_ID SMALLINT NOT NULL PRIMARY KEY, I INTEGER, L BIGINT, R REAL, "
        "D DOUBLE, N NUMERIC(10,3), V VARCHAR(17), C CHAR(3), T TEXT, B BLOB, TS TIMESTAMP, "
        "DT DATE, F BOOLEAN, U UUID)");
    db->Exec(
        "INSERT INTO K VALUES (1, -7, 9007199254740993, 0.25, 0.1, 1.5, 'vv', 'ab', 'tt', "
        "'\\x01', '2001-02-03 04:05:06', '2001-02-03', TRUE, "
        "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11')");
    Query(q, "SELECT K.*, K_ID + 1 AS E, V || '!' AS VX, I AS lower_alias, 1 AS \"Mixed\" FROM K");
    q.Open();
    ASSERT_FALSE(q.Eof());
    struct Expect {
        const char* name;
        TFieldType type;
        int size;
    };
    // The mapping itself is PgDialect's; these are the types as the server reports them.
    for (Expect e : {Expect{"K_ID", ftSmallint, 0},
                     {"N", ftFloat, 0},
                     {"V", ftString, 17},
                     {"C", ftString, 3},
                     {"DT", ftDate, 0},
                     {"F", ftBoolean, 0},
                     {"U", ftString, 255},
                     {"E", ftLargeint, 0},
                     {"LOWER_ALIAS", ftInteger, 0},
                     {"Mixed", ftLargeint, 0}}) {
        TField* f = q.FindField(e.name);
        ASSERT_NE(f, nullptr) << e.name;
        EXPECT_EQ(f->FieldName(), e.name);  // folded names come back upper-case
        EXPECT_EQ(f->DataType(), e.type) << e.name;
        EXPECT_EQ(f->Size(), e.size) << e.name;
    }
    EXPECT_EQ(q.FieldByName("I")->AsInteger(), -7);
    EXPECT_EQ(q.FieldByName("L")->AsLargeInt(), 9007199254740993LL);
    EXPECT_EQ(q.FieldByName("R")->AsFloat(), 0.25);
    EXPECT_EQ(q.FieldByName("D")->AsString(), "0.1");
    EXPECT_EQ(q.FieldByName("N")->AsFloat(), 1.5);
    EXPECT_EQ(q.FieldByName("C")->AsString(), "ab");  // char(n) padding is not part of the value
    EXPECT_TRUE(q.FieldByName("F")->AsBoolean());
    EXPECT_EQ(q.FieldByName("F")->AsInteger(), 1);
    EXPECT_EQ(q.FieldByName("U")->AsString(), "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11");
    EXPECT_EQ(q.FieldByName("E")->AsInteger(), 2);
}

TEST_F(PostgresTest, ParametersTheServerCannotTypeAlone) {
    db->Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, N INTEGER)");
    Query(q, "SELECT :p IS NULL AS NP, :p AS P");
    q.ParamByName("p")->SetAsInteger(5);
    q.Open();
    EXPECT_FALSE(q.FieldByName("NP")->AsBoolean());
    EXPECT_EQ(q.FieldByName("P")->AsInteger(), 5);

    // A float into an integer column, as often as it takes to be prepared on the server.
    TQuery ins;
    Query(ins, "INSERT INTO T (T_ID, N) VALUES (:id, :n)");
    for (int i = 1; i <= 3; ++i) {
        ins.ParamByName("id")->SetAsInteger(i);
        ins.ParamByName("n")->SetAsFloat(i == 2 ? 7.6 : 7.0);
        ins.ExecSQL();
        EXPECT_EQ(ins.RowsAffected(), 1);
    }
    EXPECT_EQ(db->Scalar("SELECT SUM(N) FROM T"), "22");

    Query(q, "SELECT COUNT(*) FROM T WHERE T_ID = :id");
    q.ParamByName("id")->SetAsString("abc");
    const AnsiString m = Raised([&] { q.Open(); }).Message;
    for (const char* part : {"abc", "PostgreSQL", "WHERE T_ID = $1"})
        EXPECT_NE(m.find(part), std::string::npos) << m;
}

TEST_F(PostgresTest, ABrokenConnectionIsReestablished) {
    db->Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY)");
    const AnsiString killer = db->alias() + "_killer";
    OpenDatabase(killer, db->uri());
    auto kill_connection = [&] {
        AnsiString pid = db->Scalar("SELECT pg_backend_pid()");
        TQuery k;
        k.SetDatabaseName(killer);
        k.SetSQL("SELECT pg_terminate_backend(" + pid + ", 10000)");
        k.Open();
        ASSERT_TRUE(k.Fields()[0]->AsBoolean());
    };

    // Outside a transaction the next statement reconnects and goes on; a reported commit
    // survives.
    {
        Transaction tr(db->alias());
        db->Exec("INSERT INTO T (T_ID) VALUES (9)");
        tr.Commit();
    }
    kill_connection();
    EXPECT_EQ(db->Scalar("SELECT COUNT(*) FROM T"), "1");
    db->Exec("DELETE FROM T");

    // Work done while a result was open is lost with the connection: that is reported.
    TQuery open;
    Query(open, "SELECT generate_series(1, 100000)");
    open.Open();
    db->Exec("INSERT INTO T (T_ID) VALUES (7)");
    kill_connection();
    EXPECT_THROW(db->Scalar("SELECT 1"), EDatabaseError);
    EXPECT_THROW(ReadToEnd(open), EDatabaseError);
    open.Close();
    EXPECT_EQ(db->Scalar("SELECT COUNT(*) FROM T"), "0");

    {
        Transaction tr(db->alias());
        db->Exec("INSERT INTO T (T_ID) VALUES (1)");
        kill_connection();
        const auto e = Raised<EDatabaseError>([&] { db->Exec("INSERT INTO T (T_ID) VALUES (2)"); });
        EXPECT_EQ(e.Category(), DbErrorCategory::ConnectionLost) << e.what();
        EXPECT_TRUE(e.Retryable());
        // The transaction is gone: nothing may run as if it were still open.
        EXPECT_THROW(db->Exec("INSERT INTO T (T_ID) VALUES (3)"), EDatabaseError);
    }
    EXPECT_EQ(db->Scalar("SELECT COUNT(*) FROM T"), "0");

    Query(q, "SELECT g FROM generate_series(1, 100000) AS g");
    q.Open();
    kill_connection();
    EXPECT_THROW(ReadToEnd(q), EDatabaseError);
    q.Close();
    q.Open();
    EXPECT_EQ(ReadToEnd(q), 100000);
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
