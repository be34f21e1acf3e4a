// The qdb binary with hostile arguments on a database with bystander rows: queries that try to
// smuggle a second statement past the csv check, hostile employee, setting and table names,
// hostile keys and a hostile import file. Each is refused with one error line or handled as
// data, and a full dump of the lab tables shows nothing else changed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "quantora/base/Format.h"
#include "quantora/exchange/XmlExporter.h"
#include "tests/qdb/QdbRun.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/TestDatabase.h"

using namespace quantora::test;
using quantora::Format;

namespace {

namespace fs = std::filesystem;

struct Scratch {
    fs::path dir = fs::temp_directory_path() / Format("qdb-security-%d-%p", getpid(), (void*)this);
    Scratch() { fs::create_directories(dir); }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string operator/(const char* name) const { return (dir / name).string(); }
};

// One line of error output starting with "qdb <command>: ".
void ExpectRefused(const QdbResult& r, const char* command, const std::string& what) {
    EXPECT_NE(r.code, 0) << what << "\n" << r.out;
    EXPECT_EQ(r.out.rfind(Format("qdb %s: ", command), 0), 0u) << what << "\n" << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << what << "\n" << r.out;
}

TEST(QdbHostileArguments, CsvRunsOneReadOnlySelectOnly) {
    Scratch tmp;
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    const TableDump before = DumpTables(db.alias());
    const std::string out = tmp / "out.csv";
    const std::string csv = "csv " + Quoted(db.uri()) + " ";

    // Quotes, semicolons and comment markers inside literals are data.
    auto r = RunQdb(csv +
                    Quoted("SELECT NAME, ';' AS A, '--' AS B, '/* */' AS C, 'back\\slash' AS D "
                           "FROM EMPLOYEE WHERE NAME = 'x''; DELETE FROM SAMPLE; --'") +
                    " " + Quoted(out));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("1 rows, 5 columns"), std::string::npos) << r.out;
    const std::string text = ReadText(out);
    EXPECT_NE(text.find("\"x'; DELETE FROM SAMPLE; --\",\";\",\"--\",\"/* */\",\"back\\slash\""),
              std::string::npos)
        << text;
    EXPECT_EQ(DumpTables(db.alias()), before);

    const char* smuggled[] = {
        "SELECT 1; DELETE FROM SAMPLE",
        "SELECT 1;DELETE FROM SAMPLE;",
        "SELECT '';DELETE FROM SAMPLE",
        "SELECT 1 /* ' */ ; DELETE FROM SAMPLE; --'",
        "SELECT 1 /* ; DELETE FROM SAMPLE */",
        "SELECT 1 -- '\n; DELETE FROM SAMPLE",
        "SELECT E'\\''; DELETE FROM SAMPLE; --'",
        "SELECT $$;$$; DELETE FROM SAMPLE",
        "SELECT \"x\"\"; DELETE FROM SAMPLE",
        "SELECT 1 AS [x'] ; DELETE FROM SAMPLE; SELECT ']'",
        "SELECT 1 AS `x'` ; DELETE FROM SAMPLE; SELECT '`'",
        "WITH d AS (DELETE FROM SAMPLE RETURNING *) SELECT * FROM d",
        "DELETE FROM SAMPLE WHERE 'SELECT' = 'SELECT'",
        "SELECT * FROM SAMPLE WHERE NAME = 'unterminated",
    };
    for (const char* sql : smuggled) {
        fs::remove(out);
        r = RunQdb(csv + Quoted(sql) + " " + Quoted(out));
        ExpectRefused(r, "csv", sql);
        EXPECT_FALSE(fs::exists(out)) << sql;
        EXPECT_EQ(DumpTables(db.alias()), before) << sql;
    }

    // A SELECT calling a function that writes outside any transaction (a sequence step is
    // never rolled back) is refused by the read-only session.
    if (db.postgres()) {
        db.Exec("CREATE SEQUENCE SECURITY_SEQ");
        r = RunQdb(csv + Quoted("SELECT nextval('SECURITY_SEQ')") + " " + Quoted(out));
        ExpectRefused(r, "csv", "nextval");
        EXPECT_NE(r.out.find("read-only"), std::string::npos) << r.out;
        EXPECT_EQ(db.Scalar("SELECT is_called FROM SECURITY_SEQ"), "0");
    }
}

TEST(QdbHostileArguments, SettingsTakeHostileNamesAsData) {
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    const std::string base = " " + Quoted(db.uri()) + " ";
    const TableDump before = DumpTables(db.alias());
    const std::set<AnsiString> kSettingRows = {"USERSETTINGS", "KEYSEQUENCE"};
    const TableDump others = DumpTables(db.alias(), kSettingRows);
    const AnsiString employee = "x'; DELETE FROM SAMPLE; --";  // the name of employee 2
    for (const AnsiString& name : HostileTexts()) {
        if (name != employee)
            ExpectRefused(RunQdb("settings get" + base + Quoted(name)), "settings", name);
        ExpectRefused(RunQdb("settings set" + base + "1 " + Quoted(name) + " 5"), "settings", name);
        ExpectRefused(RunQdb("settings set" + base + "1 1 5 --index " + Quoted(name)), "settings",
                      name);
        EXPECT_EQ(DumpTables(db.alias()), before) << name;
    }

    // Employee 2 is found by its name; hostile values are stored and shown as they are.
    int index = 0;
    for (const AnsiString& value : HostileTexts()) {
        const auto r =
            RunQdb("settings set" + base + Quoted(employee) + " " + Quoted("Report title") + " " +
                   Quoted(value) + " --index " + std::to_string(++index));
        ASSERT_EQ(r.code, 0) << value << "\n" << r.out;
    }
    const auto r = RunQdb("settings get" + base + Quoted(employee) + " " + Quoted("Report title"));
    ASSERT_EQ(r.code, 0) << r.out;
    index = 0;
    for (const AnsiString& value : HostileTexts())
        EXPECT_NE(r.out.find(Format("1\tReport title\t%d\ttext\t%s\n", ++index, value.c_str())),
                  std::string::npos)
            << value << "\n"
            << r.out;
    // Only the user's setting rows (and the key generator's bookkeeping) changed.
    EXPECT_EQ(DumpTables(db.alias(), kSettingRows), others);
}

TEST(QdbHostileArguments, CheckDeleteAndImportRefuseHostileNames) {
    Scratch tmp;
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    const TableDump before = DumpTables(db.alias());
    const std::string base = " " + Quoted(db.uri()) + " ";
    std::vector<AnsiString> tables = HostileTexts();
    for (const char* t : {"SAMPLE; DELETE FROM EMPLOYEE", "SAMPLE --", "sqlite_master", "pg_class",
                          "EMPLOYEE WHERE 1=1", "BLOBCHUNK"})
        tables.emplace_back(t);
    for (const AnsiString& table : tables) {
        ExpectRefused(RunQdb("check" + base + Quoted(table) + " 1"), "check", table);
        ExpectRefused(RunQdb("delete" + base + Quoted(table) + " 1 --yes"), "delete", table);
    }
    for (const char* key : {"1; DELETE FROM SAMPLE", "1 OR 1=1", "1--", "0x1", "-1", "1'"}) {
        ExpectRefused(RunQdb("check" + base + "SAMPLE " + Quoted(key)), "check", key);
        ExpectRefused(RunQdb("delete" + base + "SAMPLE " + Quoted(key) + " --yes"), "delete", key);
    }
    EXPECT_EQ(DumpTables(db.alias()), before);

    // An import file whose table name carries a second statement.
    const std::string xml = tmp / "lab.xml";
    QuantoraXmlExporter().ExportDatabase(db.name(), xml.c_str());
    std::string text = ReadText(xml);
    const size_t at = text.find("<Table Name=\"SAMPLE\">");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 21, "<Table Name=\"SAMPLE; DELETE FROM EMPLOYEE; --\">");
    std::ofstream(xml, std::ios::binary | std::ios::trunc) << text;
    const auto r = RunQdb("import " + Quoted(xml) + base + "--replace");
    EXPECT_NE(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("qdb import: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("not a valid table name"), std::string::npos) << r.out;
    EXPECT_EQ(DumpTables(db.alias()), before);

    // A database argument is a file name or URI, never SQL.
    const std::string odd = tmp / "x'; DELETE FROM SAMPLE; --.db";
    ExpectRefused(RunQdb("info " + Quoted(odd)), "info", odd);
    EXPECT_FALSE(fs::exists(odd));
}

}  // namespace
