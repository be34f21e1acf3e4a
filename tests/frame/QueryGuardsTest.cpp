// Query guards, the logging statement runner and its copy between databases (also every lab
// table from SQLite into PostgreSQL), the schema registry, and shared utilities.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/DbUtils.h"
#include "quantora/frame/MeasTypeInfo.h"
#include "quantora/frame/QueryGuards.h"
#include "quantora/frame/SqlNames.h"
#include "tests/faults/DatabaseImage.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::MemoryLogger;
using quantora::test::TestDatabase;
using quantora::test::TestEngine;

namespace {

class QueryGuardsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db.Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(255))");
        db.Exec("INSERT INTO T (T_ID, NAME) VALUES (1, 'a'), (2, 'b')");
    }
    TestDatabase db;
};

// Copies `table` from `src` into `dst` by ExecQuery::copy on queries of its own.
bool Copy(const TestDatabase& src, const TestDatabase& dst, const char* table,
          MemoryLogger* log = nullptr) {
    TQuery sq, dq;
    sq.SetDatabaseName(src.alias());
    dq.SetDatabaseName(dst.alias());
    ExecQuery from{false, &sq, nullptr}, to{false, &dq, log};
    return to.copy(&from, table);
}

}  // namespace

TEST_F(QueryGuardsTest, AutoQueryOwnsOrBorrows) {
    // OpenerCloser leaves a query as it found it: closed again, or open.
    TQuery borrowed;
    db.Prep(borrowed, "SELECT NAME FROM T");
    for (bool was_open : {false, true}) {
        {
            OpenerCloser oc(&borrowed);
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

    MemoryLogger log;
    ASSERT_TRUE(Copy(src, dst, "T", &log));
    EXPECT_EQ(log.entries.front().text, "Copying table T");
    EXPECT_EQ(dst.Rows("SELECT * FROM T ORDER BY T_ID"), "1|one|NULL\n2|NULL|NULL\n9|kept|x\n");

    // A failing insert passes to the caller.
    src.Exec("INSERT INTO T VALUES (9, 'clash', 0)");
    EXPECT_THROW(Copy(src, dst, "T"), Exception);
}

TEST(DbUtils, ObjectKeysProjectAncestorsAndMeasurementTypes) {
    long ids[3] = {0, 0, 0};  // sample, source, source list
    EXPECT_TRUE(SetSampleIDs(3, 17, &ids[0], &ids[1], &ids[2]));
    EXPECT_EQ(Format("%ld %ld %ld", ids[0], ids[1], ids[2]), "-1 17 -1");
    EXPECT_FALSE(SetSampleIDs(5, 17, &ids[0], &ids[1], &ids[2]));

    TestDatabase db(true);
    // 9 -> 5 -> 2, and a loop of 20 and 21.
    for (const char* p : {"2, NULL", "5, 2", "9, 5", "20, 21", "21, 20"})
        db.Exec(AnsiString("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID) VALUES (") + p + ")");
    AnsiString alias = db.alias();
    std::vector<int> up{99};
    GetSuperProjectIDsForProject(alias, &up, 9);
    EXPECT_EQ(up, (std::vector<int>{2, 5}));
    GetSuperProjectIDsForProject(alias, &up, 20);
    EXPECT_EQ(up.size(), 100u);  // the loop ends at the limit
    GetSuperProjectIDsForProject(alias, nullptr, 9);

    // The measurement's type from the types of its spectra (ordered by type), and the spectra.
    const std::tuple<std::vector<int>, int, const char*> cases[] = {{{1}, 1, "1 sp1,"},
                                                                    {{4, 3}, 4, "3 sp3,4 sp4,"},
                                                                    {{3}, 0, "3 sp3,"},
                                                                    {{2, 1}, 2, "1 sp1,2 sp2,"},
                                                                    {{1, 5}, 1, "1 sp1,5 sp5,"},
                                                                    {{3, 1}, 3, "1 sp1,3 sp3,"},
                                                                    {{}, 0, ""}};
    int meas = 0;
    for (const auto& [types, expected, spectra] : cases) {
        int id = ++meas * 10;
        for (int t : types)
            db.Exec(
                Format("INSERT INTO SPECTRUM (SPECTRUM_ID, MEASUREMENT_ID, SPECTRUMTYPE_ID, "
                       "NAME) VALUES (%d, %d, %d, 'sp%d')",
                       id++, meas, t, t));
        MeasTypeInfoData info;
        info.GetInfo(db.name(), meas, "m");
        EXPECT_EQ(info.MeasType, expected) << meas;
        EXPECT_EQ(info.MEASUREMENT_ID, types.empty() ? -1 : meas);
        AnsiString got;
        for (const auto& sp : info.Spectra)
            got += Format("%d %s,", sp.SPECTRUMTYPE_ID, sp.Name.c_str());
        EXPECT_EQ(got, spectra);
    }
    // The query the thread keeps for this follows the alias when another thread opens it on
    // another database and back, and goes when the alias closes.
    TestDatabase other(true);
    for (const AnsiString& uri : {other.uri(), db.uri()}) {
        std::thread([&] { OpenDatabase(db.alias(), uri); }).join();
        MeasTypeInfoData info;
        info.GetInfo(db.name(), 1, "m");
        EXPECT_EQ(info.Spectra.size(), uri == db.uri() ? 1u : 0u);
    }
    CloseDatabase(db.alias());
    EXPECT_THROW(MeasTypeInfoData().GetInfo(db.name(), 1, "m"), EDatabaseError);
    OpenDatabase(db.alias(), db.uri());
}

TEST(DbUtils, CsvExportQuotesStringsOnlyAndEndsLinesWithCrLf) {
    TestDatabase db;
    db.Exec("CREATE TABLE T (ID INTEGER, NAME VARCHAR(20), CMT TEXT, V DOUBLE)");
    db.Exec("INSERT INTO T VALUES (7, 'abc', 'memo', 0.5)");
    db.Exec("INSERT INTO T VALUES (8, NULL, NULL, NULL)");
    TQuery q;
    db.Open(q, "SELECT * FROM T ORDER BY ID").Next();  // the export starts at row 1 all the same
    std::string path = ::testing::TempDir() + "quantora_export.csv";
    SaveDatasetAsCSV(path.c_str(), &q);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "\"SERIAL #\",\"ID\",\"NAME\",\"CMT\",\"V\"\r\n"
              "1,7,\"abc\",memo,0.5\r\n"
              "2,8,\"\",,\r\n");
    SaveDatasetAsCSV("/no/such/dir/x.csv", &q);  // silently nothing
}

// Every lab table filled with rows of every column type on SQLite, copied into PostgreSQL.
TEST(ExecQueryCopy, CopiesEveryTableOfAnSqliteDatabaseIntoPostgres) {
    if (quantora::test::SuiteEngine() != TestEngine::PostgreSQL)
        GTEST_SKIP() << "copies into PostgreSQL: runs only when QUANTORA_TEST_PG names a server";
    TestDatabase src(true, true), dst(true);
    ASSERT_EQ(dst.engine(), TestEngine::PostgreSQL);
    quantora::test::DatabaseImage(src, 0).FillEveryTable();
    for (const AnsiString& table : quantora::SchemaTableNames())
        ASSERT_TRUE(table == "SCHEMAVERSION" || Copy(src, dst, table.c_str())) << table;
    EXPECT_EQ(quantora::test::DumpTables(src.alias(), {"SCHEMAVERSION"}),
              quantora::test::DumpTables(dst.alias(), {"SCHEMAVERSION"}));
}

TEST(LabTables, TheRegistryNamesEveryTableTheSchemaCreates) {
    quantora::test::TestDatabase db(true);
    CreateSchema(db.alias());  // a second time changes nothing
    EXPECT_EQ(db.Count("SCHEMAVERSION"), 1);
    std::set<AnsiString> created;
    for (AnsiString name : UserTableNames(db.alias())) {
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        created.insert(name);
    }
    const auto& registry = quantora::SchemaTableNames();
    EXPECT_EQ(std::set<AnsiString>(registry.begin(), registry.end()), created);
    EXPECT_EQ(registry.size(), created.size()) << "a table is listed twice";
    created.erase("SCHEMAVERSION");
    for (const AnsiString& table : created)
        EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM " + table), "0") << table;
}
