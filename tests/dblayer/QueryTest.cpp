// TQuery and the two engines: types, nulls, parameters, errors, live results; what both engines
// share where their semantics differ; error categories; and, when QUANTORA_TEST_PG names a
// server, PostgreSQL's cursors, rollbacks, types and broken connections.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <memory>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::Raised;
using quantora::test::SuiteEngine;
using quantora::test::TestDatabase;
using quantora::test::TestEngine;

namespace {

// Reads the rest of an open result.
int ReadRest(TQuery& q) {
    int rows = 0;
    for (; !q.Eof(); q.Next()) ++rows;
    return rows;
}

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
    // What another workstation sees: the count and sum of the keys.
    AnsiString Keys() const { return db.Elsewhere("SELECT COUNT(*) || ':' || SUM(T_ID) FROM T"); }
    int ReadToEnd() {
        q.Open();
        return ReadRest(q);
    }
    TestDatabase db;
    TQuery q;
};
using LiveResultTest = QueryTest;
using EngineParity = QueryTest;

class PostgresTest : public QueryTest {
  protected:
    void SetUp() override {
        if (SuiteEngine() != TestEngine::PostgreSQL) GTEST_SKIP() << "QUANTORA_TEST_PG is not set";
        QueryTest::SetUp();
    }
};

}  // namespace

TEST_F(QueryTest, EmptyResultsNullsAndNestedReads) {
    db.Open(q, "SELECT * FROM T");
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
    q.Close();
    db.Open(q, "SELECT random()");
    const AnsiString drawn = q.Fields()[0]->AsString();
    q.First();  // on the first row already: not run again, so not drawn again
    EXPECT_EQ(q.Fields()[0]->AsString(), drawn);
    // A reopen keeps its fields only for the same columns: another name of one type is new.
    for (const char* name : {"T_ID", "OTHER"}) {
        q.Close();
        db.Open(q, AnsiString("SELECT T_ID AS ") + name + " FROM T");
        EXPECT_NE(q.FindField(name), nullptr) << name;
    }
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
    db.Open(q, "SELECT NAME FROM T");
    EXPECT_THROW(q.FieldByName("NAME")->AsInteger(), EDatabaseError);       // 'abc' is no number
    EXPECT_THROW(q.FieldByName("NAME")->SetAsString("x"), EDatabaseError);  // browse state

    for (const char* uri : {"mysql://x", "postgre://x", "file:x.db", "sqlite:"})  // as they stand
        EXPECT_EQ(
            Raised([&] { OpenDatabase("bad", uri); }).Message.rfind("Malformed database URI", 0),
            0u)
            << uri;
    EXPECT_THROW(OpenDatabase("bad", "sqlite:/no/such/dir/x.db"), EDatabaseError);
    EXPECT_FALSE(IsDatabaseOpen("bad"));
    // The file an argument names: a path or an sqlite: URI's path; none behind a server.
    for (const auto& [arg, file] :
         std::vector<std::pair<const char*, const char*>>{{"lab.db", "lab.db"},
                                                          {"sqlite:/x/lab.db", "/x/lab.db"},
                                                          {"postgresql://u@h/db", ""},
                                                          {"postgres://h/db", ""},
                                                          {"postgresql:host=h dbname=d", ""},
                                                          {"mysql://x", ""}})
        EXPECT_EQ(DatabaseFileOf(arg), file) << arg;

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
    // Close hands the last post's statement back, also for a query kept prepared: another
    // query's insert of the same columns prepares nothing.
    const auto conn = quantora::db::ConnectionFor(db.alias());
    TQuery other;
    uint64_t prepared = 0;
    for (TQuery* p : {&q, &other}) {
        db.Prep(*p, "SELECT * FROM T", true);
        p->Prepare();
        p->Open();
        prepared = conn->PreparedCount();
        p->Append();
        p->FieldByName("T_ID")->SetAsInteger(p == &q ? 4 : 5);
        p->Post();
        p->Close();
    }
    EXPECT_EQ(conn->PreparedCount(), prepared);
    // The row vanished under the edit: the update reports it instead of doing nothing.
    db.Open(q, "SELECT * FROM T WHERE T_ID = 30", true);
    q.Edit();
    db.Exec("DELETE FROM T WHERE T_ID = 30");
    q.FieldByName("NAME")->SetAsString("gone");
    EXPECT_THROW(q.Post(), EDatabaseError);
}

TEST_F(LiveResultTest, ReadOnlyResultsRefuseChanges) {
    Insert(1);
    for (bool live : {false, true}) {  // not live; a join cannot be live
        db.Open(q, live ? "SELECT T.T_ID FROM T JOIN T U ON 1 = 1" : "SELECT * FROM T", live);
        EXPECT_FALSE(q.CanModify());
        EXPECT_THROW(q.Insert(), EDatabaseError);
        EXPECT_THROW(q.Edit(), EDatabaseError);
    }
    db.Exec("CREATE TABLE NOKEY (A INTEGER)");
    db.Exec("INSERT INTO NOKEY (A) VALUES (1)");
    db.Open(q, "SELECT * FROM NOKEY", true);
    q.Edit();
    q.FieldByName("A")->SetAsInteger(2);
    EXPECT_THROW(q.Post(), EDatabaseError);  // no key to find the row by
}

TEST_F(EngineParity, AFailedStatementLeavesTheTransactionUsable) {
    {
        Transaction tr(db.alias());
        Insert(1);
        EXPECT_THROW(Insert(1), EDatabaseError);
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
    db.Open(q, "SELECT T_ID FROM T WHERE T_ID <= 3 ORDER BY T_ID", true);  // one row at a time
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
    q.ParamByName("id")->SetAsInteger(4);  // text with a zero byte is stored whole
    q.ParamByName("d")->SetAsString(AnsiString("a\0b", 3));
    q.ExecSQL();
    db.Open(q, "SELECT * FROM T", true);
    q.Insert();
    q.FieldByName("T_ID")->SetAsInteger(3);
    q.FieldByName("DATA")->SetAsString(AnsiString());
    q.Post();
    const char rows[] = "1|\n3|\n4|a\0b\n";
    EXPECT_EQ(db.Rows("SELECT T_ID, DATA FROM T ORDER BY T_ID"), AnsiString(rows, sizeof rows - 1));
}

TEST_F(EngineParity, CompositeKeysAndExpressionColumns) {
    // Edit finds its row by every column of a composite key.
    db.Exec(
        "CREATE TABLE P (A INTEGER NOT NULL, B INTEGER NOT NULL, V INTEGER, PRIMARY KEY (B, A))");
    for (const char* row : {"1, 1", "1, 2", "2, 1"})
        db.Exec(AnsiString("INSERT INTO P (A, B) VALUES (") + row + ")");
    db.Open(q, "SELECT * FROM P WHERE A = 1 AND B = 2", true);
    q.Edit();
    q.FieldByName("V")->SetAsInteger(9);
    q.Post();
    EXPECT_EQ(db.Rows("SELECT A, B FROM P WHERE V IS NOT NULL"), "1|2\n");

    // Expression columns take the type of their value.
    db.Open(q, "SELECT COUNT(*), MAX(A), SUM(A), AVG(A), 'a' || B FROM P WHERE B = 1 GROUP BY B");
    const TFieldType types[] = {ftLargeint, ftLargeint, ftLargeint, ftFloat, ftString};
    AnsiString texts;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(q.Fields()[i]->DataType(), types[i]) << i;
        texts += q.Fields()[i]->AsString() + " ";
    }
    EXPECT_EQ(texts, "2 2 3 1.5 a1 ");
}

TEST(ErrorCategory, EachFailureIsReportedWithItsCategoryAndCode) {
    TestDatabase db;
    const bool pg = db.engine() == TestEngine::PostgreSQL;
    db.Exec("CREATE TABLE E (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER NOT NULL)");
    db.Exec("INSERT INTO E (ID, V) VALUES (1, 1)");
    db.Exec(pg ? "SET lock_timeout = 200" : "PRAGMA busy_timeout = 200");
    const AnsiString other = db.alias() + "_other";
    OpenDatabase(other, db.uri());
    using C = DbErrorCategory;
    struct Case {
        const char* sql;
        C category;
        int sqliteCode;  // extended result code
        const char* sqlstate;
    };
    const Case cases[] = {
        {"INSERT INTO E (ID, V) VALUES (1, 2)", C::Constraint, SQLITE_CONSTRAINT_PRIMARYKEY,
         "23505"},
        {"INSERT INTO E (ID, V) VALUES (2, NULL)", C::Constraint, SQLITE_CONSTRAINT_NOTNULL,
         "23502"},
        {"SELEC ID FROM E", C::Syntax, SQLITE_ERROR, "42601"},
        {"INSERT INTO E (ID, V) VALUES (3, 3)", C::Busy, SQLITE_BUSY, "55P03"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        // For the busy case another connection holds the write lock (SQLite) or key 3
        // (PostgreSQL); this one gives up after a short wait.
        std::unique_ptr<Transaction> holder;
        if (c.category == C::Busy) {
            holder = std::make_unique<Transaction>(other);
            quantora::test::Exec(other, "INSERT INTO E (ID, V) VALUES (3, 0)");
        }
        const EDatabaseError e = Raised<EDatabaseError>([&] { db.Exec(c.sql); });
        EXPECT_EQ(e.Category(), c.category)
            << DbErrorCategoryName(e.Category()) << ": " << e.what();
        EXPECT_EQ(e.Retryable(), c.category == C::Busy);
        EXPECT_EQ(e.EngineCode(), pg ? 0 : c.sqliteCode);
        EXPECT_EQ(e.SqlState(), pg ? c.sqlstate : "");
    }
    // The failures changed nothing.
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) || ':' || SUM(V) FROM E"), "1:1");
    CloseDatabase(other);
}

namespace {

// Limits the size files of this process may grow to; restores the old limit.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim{bytes, old.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
        ok = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    rlimit old{};
    bool ok = false;
};

}  // namespace

TEST(ErrorCategory, AFullDiskRollsTheTransactionBack) {
    TestDatabase db;
    if (db.engine() == TestEngine::PostgreSQL)
        GTEST_SKIP() << "the server's disk cannot be filled from a client test";
    db.Exec("CREATE TABLE B (ID INTEGER NOT NULL PRIMARY KEY, DATA BLOB)");
    db.Exec("INSERT INTO B (ID, DATA) VALUES (1, randomblob(1000))");
    {
        Transaction tr(db.alias());
        FileSizeLimit limit(256 * 1024);
        if (!limit.ok) GTEST_SKIP() << "the file size limit cannot be set here";
        const EDatabaseError e = Raised<EDatabaseError>([&] {
            for (int id = 2; id < 10; ++id)
                db.Exec(Format("INSERT INTO B (ID, DATA) VALUES (%d, randomblob(400000))", id));
            tr.Commit();
        });
        EXPECT_EQ(e.Category(), DbErrorCategory::Io) << e.what();
        // The transaction is gone: nothing runs as if it went on, nothing can be committed.
        EXPECT_THROW(db.Exec("INSERT INTO B (ID, DATA) VALUES (20, NULL)"), EDatabaseError);
        EXPECT_THROW(tr.Commit(), EDatabaseError);
    }
    db.Exec("INSERT INTO B (ID, DATA) VALUES (2, randomblob(400000))");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM B") + db.Scalar("PRAGMA integrity_check"), "2ok");
}

TEST_F(PostgresTest, StreamsALargeResultWhileOtherStatementsRun) {
    TQuery count;
    db.Prep(count, "SELECT COUNT(*) FROM T WHERE T_ID <= :g");
    for (db.Open(q, "SELECT generate_series(1, 200000) AS g"); !q.Eof(); q.Next()) {
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
    EXPECT_EQ(db.Count("pg_cursors WHERE name <> ''"), 1);
    // A result is read in batches: opening one of two billion rows returns at once.
    db.Open(q, "SELECT generate_series(1, 2000000000) AS g");
    q.Next();
    EXPECT_EQ(q.Fields()[0]->AsInteger(), 2);
}

TEST_F(PostgresTest, FailuresAndRollbacksTakeOnlyTheirOwnWork) {
    // A failure in a batch fetched ahead while other work ran is reported where reading
    // reaches it, and takes nothing else with it.
    db.Open(q, "SELECT 100 / (30000 - g) AS X FROM generate_series(1, 40000) AS g");
    for (int i = 0; i < 20000; ++i) q.Next();
    Insert(1);
    EXPECT_THROW(ReadRest(q), EDatabaseError);
    q.Close();
    // Results opened inside a transaction that rolls back cannot be read on; those opened
    // outside it can.
    TQuery outer_rows;
    db.Prep(outer_rows, "SELECT generate_series(1, 1000)");
    db.Prep(q, "SELECT generate_series(1, 1000)");
    {
        Transaction outer(db.alias());
        outer_rows.Open();
        Insert(2);
        {
            Transaction inner(db.alias());
            q.Open();
            Insert(4);
        }
        EXPECT_THROW(ReadRest(q), EDatabaseError);
        q.Close();
        EXPECT_EQ(ReadRest(outer_rows), 1000);
        outer.Commit();
    }
    EXPECT_EQ(Keys(), "2:3");
}

TEST_F(PostgresTest, ServerTypesAndTimestampsToTheMicrosecond) {
    db.Exec(
        "CREATE TABLE K (K_ID SMALLINT NOT NULL PRIMARY KEY, N NUMERIC(10,3), C CHAR(3), "
        "DT DATE, F BOOLEAN, U UUID, TS TIMESTAMP)");
    const TDateTime t = quantora::EncodeDateTime({1850, 6, 15, 12, 30, 0, 1});
    db.Prep(q,
            "INSERT INTO K VALUES (1, 1.5, 'ab', :d, TRUE, "
            "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', :t)");
    q.ParamByName("d")->SetAsDateTime(t);
    q.ParamByName("t")->SetAsDateTime(t);
    q.ExecSQL();
    EXPECT_EQ(db.Rows("SELECT * FROM K"),  // char(n) padding is no part of values
              "1|1.5|ab|1850-06-15 00:00:00.000000|1|a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11|"
              "1850-06-15 12:30:00.000001\n");
    // A parameter equal to the microsecond (the types' mapping is PgDialect's).
    db.Prep(q, "SELECT COUNT(*) FROM K WHERE TS = :t");
    q.ParamByName("t")->SetAsDateTime(t);
    q.Open();
    EXPECT_EQ(q.Fields()[0]->AsString(), "1");
    EXPECT_EQ(db.Scalar("SELECT 'infinity'::timestamp"), "infinity");
    // A bigint beyond the doubles' 53 bits is read exactly.
    db.Open(q, "SELECT 9007199254740993::bigint");
    EXPECT_EQ(q.Fields()[0]->AsLargeInt(), int64_t{9007199254740993});
}

TEST_F(PostgresTest, ParametersTheServerCannotTypeAlone) {
    db.Prep(q, "SELECT :p IS NULL AS NP, :p AS P");
    q.ParamByName("p")->SetAsInteger(5);
    q.Open();
    EXPECT_EQ(q.FieldByName("NP")->AsString() + q.FieldByName("P")->AsString(), "05");
    // A float into an integer column, as often as it takes to be prepared on the server.
    db.Prep(q, "INSERT INTO T (T_ID, SHORTV) VALUES (:id, :n)");
    for (int i = 1; i <= 3; ++i) {
        q.ParamByName("id")->SetAsInteger(i);
        q.ParamByName("n")->SetAsFloat(i == 2 ? 7.6 : 7.0);
        q.ExecSQL();
    }
    EXPECT_EQ(db.Scalar("SELECT SUM(SHORTV) FROM T"), "22");
    db.Prep(q, "SELECT COUNT(*) FROM T WHERE T_ID = :id");
    q.ParamByName("id")->SetAsString("abc");
    const AnsiString m = Raised([&] { q.Open(); }).Message;
    EXPECT_NE(m.find("abc"), std::string::npos) << m;
}

TEST_F(PostgresTest, ABrokenConnectionIsReestablished) {
    const AnsiString killer = db.alias() + "_killer";
    OpenDatabase(killer, db.uri());
    auto kill_connection = [&] {
        TQuery k;
        quantora::test::Open(
            k, killer,
            "SELECT pg_terminate_backend(" + db.Scalar("SELECT pg_backend_pid()") + ", 10000)");
        ASSERT_TRUE(k.Fields()[0]->AsBoolean());
    };
    // Outside a transaction the next statement reconnects and goes on.
    Insert(9);
    kill_connection();
    EXPECT_EQ(db.Count("T"), 1);
    // Work done while a result was open is lost with the connection: that is reported.
    TQuery open;
    db.Open(open, "SELECT generate_series(1, 100000)");
    Insert(7);
    kill_connection();
    EXPECT_THROW(db.Scalar("SELECT 1"), EDatabaseError);
    EXPECT_THROW(ReadRest(open), EDatabaseError);
    open.Close();
    {
        Transaction tr(db.alias());
        Insert(1);
        kill_connection();
        const auto e = Raised<EDatabaseError>([&] { Insert(2); });
        EXPECT_EQ(e.Category(), DbErrorCategory::ConnectionLost) << e.what();
        EXPECT_TRUE(e.Retryable());
        // The transaction is gone, and what runs in it is told so.
        EXPECT_EQ(Raised<EDatabaseError>([&] { Insert(3); }).Category(),
                  DbErrorCategory::ConnectionLost);
    }
    EXPECT_EQ(db.Scalar("SELECT SUM(T_ID) FROM T"), "9");
    open.Open();  // opened again after the break, a result reads whole
    EXPECT_EQ(ReadRest(open), 100000);
    // Commits are durable on a new session as well, whatever the server's default (the test
    // server's is off).
    EXPECT_EQ(db.Scalar("SHOW synchronous_commit"), "on");
    CloseDatabase(killer);
}

TEST_F(PostgresTest, DroppingTheSessionsPreparedStatementsBreaksNothing) {
    // DISCARD ALL and DEALLOCATE ALL also drop the layer's own prepared statements: cached ones
    // (an INSERT run twice) and the guard that keeps a failed one from taking its transaction.
    db.Prep(q, "INSERT INTO T (T_ID) VALUES (:id)");
    auto insert = [&](int id) {
        q.ParamByName("id")->SetAsInteger(id);
        q.ExecSQL();
    };
    for (const int base : {0, 4}) {  // DISCARD cannot run in a transaction, DEALLOCATE can
        insert(base + 1), insert(base + 2);
        if (base == 0) db.Exec("DISCARD ALL");
        Transaction t(db.alias());
        if (base == 4) db.Exec("DEALLOCATE ALL");
        insert(base + 3);
        EXPECT_THROW(insert(base + 3), EDatabaseError);
        insert(base + 4), t.Commit();
    }
    EXPECT_EQ(Keys(), "8:36");
}
