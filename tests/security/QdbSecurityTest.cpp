// The qdb binary with hostile queries on a database with bystander rows: queries that try to
// smuggle a second statement past the csv check are refused with one error line, literals that
// look like SQL are data, and a full dump of the lab tables shows nothing else changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/lab/SingleSelect.h"
#include "tests/exchange/ExchangeTestSupport.h"
#include "tests/qdb/QdbRun.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/TestDatabase.h"

using namespace quantora::test;
using quantora::Format;

namespace {

namespace fs = std::filesystem;

// One line of error output starting with "qdb <command>: ".
void ExpectRefused(const QdbResult& r, const char* command, const std::string& what) {
    EXPECT_NE(r.code, 0) << what << "\n" << r.out;
    EXPECT_EQ(r.out.rfind(Format("qdb %s: ", command), 0), 0u) << what << "\n" << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << what << "\n" << r.out;
}

// On a connection opened for writing, the select runs, and the connection refuses writes after.
TEST(ReadOnlySelect, TurnsAWritableConnectionReadOnly) {
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    {
        quantora::ReadOnlySelect select(db.name(), "SELECT COUNT(*) FROM EMPLOYEE");
        EXPECT_GT(select.Query().Fields()[0]->AsInteger(), 0);
    }
    EXPECT_THROW(db.Exec("DELETE FROM EMPLOYEE"), EDatabaseError);
}

TEST(QdbHostileArguments, CsvRunsOneReadOnlySelectOnly) {
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    const TableDump before = DumpTables(db.alias());
    const TempPath outFile(".csv");
    const std::string out = outFile.str();
    const std::string csv = "csv " + Quoted(db.uri()) + " ";

    // Quotes, semicolons and comment markers inside literals are data.
    // The file: a quoted header after "SERIAL #", string values quoted and never escaped (a quote
    // or comma inside stays as it is), numbers and null non-strings bare.
    auto r = RunQdb(csv +
                    Quoted("SELECT NAME, ';' AS A, '--' AS B, '/* */' AS C, 'back\\slash' AS D, "
                           "'q\"q,x' AS Q, EMPLOYEE_ID * 2 AS N, 0.5 AS F, CMT FROM EMPLOYEE WHERE "
                           "NAME = 'x''; DELETE FROM SAMPLE; --'") +
                    " " + Quoted(out));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("1 rows, 9 columns"), std::string::npos) << r.out;
    EXPECT_EQ(
        ReadText(out),
        "\"SERIAL #\",\"NAME\",\"A\",\"B\",\"C\",\"D\",\"Q\",\"N\",\"F\",\"CMT\"\r\n"
        "1,\"x'; DELETE FROM SAMPLE; --\",\";\",\"--\",\"/* */\",\"back\\slash\",\"q\"q,x\",4,0.5,"
        "\r\n");
    EXPECT_EQ(DumpTables(db.alias()), before);

    const char* smuggled[] = {"SELECT 1; DELETE FROM SAMPLE",
                              "SELECT 1 /* ' */ ; DELETE FROM SAMPLE; --'",
                              "SELECT 1 /* ; DELETE FROM SAMPLE */",
                              "SELECT 1 -- '\n; DELETE FROM SAMPLE",
                              "SELECT E'\\''; DELETE FROM SAMPLE; --'",
                              "SELECT $$;$$; DELETE FROM SAMPLE",
                              "SELECT \"x\"\"; DELETE FROM SAMPLE",
                              "SELECT 1 AS [x'] ; DELETE FROM SAMPLE; SELECT ']'",
                              "WITH d AS (DELETE FROM SAMPLE RETURNING *) SELECT * FROM d",
                              "DELETE FROM SAMPLE WHERE 'SELECT' = 'SELECT'",
                              "SELECT * FROM SAMPLE WHERE NAME = 'unterminated"};
    for (const char* sql : smuggled) {
        fs::remove(out);
        r = RunQdb(csv + Quoted(sql) + " " + Quoted(out));
        ExpectRefused(r, "csv", sql);
        EXPECT_FALSE(fs::exists(out)) << sql;
        EXPECT_EQ(DumpTables(db.alias()), before) << sql;
    }

    // A SELECT calling a function that writes outside any transaction (a sequence step is
    // never rolled back) is refused by the read-only session.
    if (db.engine() == TestEngine::PostgreSQL) {
        db.Exec("CREATE SEQUENCE SECURITY_SEQ");
        r = RunQdb(csv + Quoted("SELECT nextval('SECURITY_SEQ')") + " " + Quoted(out));
        ExpectRefused(r, "csv", "nextval");
        EXPECT_NE(r.out.find("read-only"), std::string::npos) << r.out;
        EXPECT_EQ(db.Scalar("SELECT is_called FROM SECURITY_SEQ"), "0");
    }
}

}  // namespace
