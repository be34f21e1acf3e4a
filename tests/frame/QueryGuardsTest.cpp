// Query guards and the logging statement runner.
#include <gtest/gtest.h>

#include <stdexcept>

#include "quantora/base/Exception.h"
#include "quantora/frame/QueryGuards.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

using quantora::MemoryLogger;
using quantora::test::TestDatabase;

namespace {

class QueryGuardsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db.Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(255))");
        db.Exec("INSERT INTO T (T_ID, NAME) VALUES (1, 'a')");
        db.Exec("INSERT INTO T (T_ID, NAME) VALUES (2, 'b')");
    }
    TestDatabase db;
};

}  // namespace

TEST_F(QueryGuardsTest, AutoQueryOwnsOrBorrows) {
    // OpenerCloser leaves a query as it found it: closed again, or open.
    TQuery borrowed;
    db.Prep(borrowed, "SELECT NAME FROM T");
    for (bool was_open : {false, true}) {
        {
            OpenerCloser oc(&borrowed);
            EXPECT_TRUE(borrowed.Active());
            oc.Refresh();
            EXPECT_TRUE(borrowed.Active());
        }
        EXPECT_EQ(borrowed.Active(), was_open);
        borrowed.Open();
    }
    {
        AutoQuery aq(&borrowed, "ignored", "ignored");
        EXPECT_FALSE(aq.Owned);
        EXPECT_EQ(aq->SQL(), "SELECT NAME FROM T");
    }
    EXPECT_TRUE(borrowed.Active());  // a borrowed query survives open and unchanged
    EXPECT_FALSE(borrowed.RequestLive());
    {
        AutoQuery aq(nullptr, db.name(), "T");
        EXPECT_TRUE(aq.Owned && aq->RequestLive() && aq->UniDirectional());
        EXPECT_EQ(aq->SQL(), "SELECT * FROM T");
        aq->Open();
        aq->Insert();
        aq->FieldByName("T_ID")->SetAsInteger(3);
        aq->Post();
    }
    EXPECT_EQ(AutoQuery(nullptr, db.name(), nullptr)->SQL(), "");
    EXPECT_EQ(quantora::test::Raised([] { AutoQuery aq(nullptr, nullptr, "T"); }).Message,
              "AutoQuery: database and/or table name is missing - could not create insert query");
    // An owned query is freed when the guarded code throws (checked under the sanitizer).
    EXPECT_THROW(
        {
            AutoQuery aq(nullptr, db.name(), "T");
            aq->Open();
            throw std::runtime_error("guarded code failed");
        },
        std::runtime_error);

    SimpleAutoUpdateQuery upd(db.name(), "T", "T_ID");
    EXPECT_EQ(upd->SQL(), "update T set T_ID = :p1 where T_ID = :p2");
    EXPECT_EQ(upd.Update(2, 20), 1);
    EXPECT_EQ(upd.Update(2, 30), 0);  // no row 2 any more
    EXPECT_EQ(db.Rows("SELECT T_ID FROM T ORDER BY 1"), "1\n3\n20\n");
    AutoDeleteQuery del(db.name(), "T");
    EXPECT_EQ(del->SQL(), "DELETE FROM T");
    EXPECT_FALSE(del->RequestLive());
    del->ExecSQL();
    EXPECT_EQ(del->RowsAffected(), 3);
}

TEST_F(QueryGuardsTest, ExecQueryLogsCutsAndCatches) {
    TQuery q;
    q.SetDatabaseName(db.alias());
    MemoryLogger log;
    ExecQuery exec{false, &q, &log}, empty{false, nullptr, &log};
    EXPECT_EQ(exec(nullptr, false) + empty("SELECT 1", true), -2);
    EXPECT_TRUE(log.entries.empty());

    // 64 characters are logged whole, 65 and more are cut to 65 plus "...".
    const AnsiString sql = "UPDATE T SET NAME = '" + AnsiString(27, 'x') + "' WHERE T_ID = 1";
    for (const AnsiString& s : {sql, sql + AnsiString(100, ' ')})
        EXPECT_EQ(exec(s.c_str(), false), 1);
    AnsiString texts;
    for (const auto& e : log.entries) texts += e.text + "|";
    EXPECT_EQ(texts, sql + "|" + sql + " ...|");
    EXPECT_EQ(log.flushes, 2);

    log.entries.clear();
    EXPECT_EQ(exec("SELECT * FROM NOPE", true), -1);
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[1].kind, MemoryLogger::Kind::Error);
    EXPECT_EQ(log.entries[1].text.rfind("SQL: SELECT * FROM NOPE\r\nERROR: ", 0), 0u)
        << log.entries[1].text;
    ExecQuery silent{false, &q, nullptr};  // without a log failures are caught all the same
    EXPECT_EQ(silent("garbage that is no sql", false), -1);
}

TEST(ExecQueryCopy, CopiesBetweenDatabasesByColumnNameRegardlessOfCase) {
    TestDatabase src, dst;
    src.Exec(
        "CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, name VARCHAR(40), ONLYSRC DOUBLE)");
    dst.Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), EXTRA TEXT)");
    src.Exec("INSERT INTO T VALUES (1, 'one', 1.5)");
    src.Exec("INSERT INTO T VALUES (2, NULL, 2.5)");
    dst.Exec("INSERT INTO T (T_ID, NAME, EXTRA) VALUES (9, 'kept', 'x')");

    TQuery sq, dq;
    sq.SetDatabaseName(src.alias());
    dq.SetDatabaseName(dst.alias());
    MemoryLogger log;
    ExecQuery from{false, &sq, nullptr}, to{false, &dq, &log};
    ASSERT_TRUE(to.copy(&from, "T"));
    EXPECT_EQ(log.entries.front().text, "Copying table T");
    EXPECT_EQ(dst.Rows("SELECT * FROM T ORDER BY T_ID"), "1|one|NULL\n2|NULL|NULL\n9|kept|x\n");

    // A failing insert passes to the caller.
    sq.Close();
    dq.Close();
    src.Exec("INSERT INTO T VALUES (9, 'clash', 0)");
    EXPECT_THROW(to.copy(&from, "T"), Exception);
}
