// qdb info, export, import and settings on fresh databases: exit codes, key output lines, and bad
// input that changes nothing. The csv command's refusals are the security tests'.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "quantora/base/Format.h"
#include "tests/qdb/QdbRun.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::ExpectQdb;
using quantora::test::Quoted;
using quantora::test::ReadText;
using quantora::test::RunQdb;
using quantora::test::TestDatabase;
using quantora::test::TestEngine;

namespace {

namespace fs = std::filesystem;

void FillSmallLab(const TestDatabase& db) {
    db.Exec("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (1, 'Ada'), (2, 'Tom')");
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, NAME, EMPLOYEE_ID) VALUES (1, 'Soil, \"2026\"', 1)");
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, PROJECT_ID, NAME) VALUES (5, 1, 'm5')");
    db.Exec(
        "INSERT INTO SETTING (SETTING_ID, VALUETYPE, NAME) VALUES (1, 'I', 'Default project'), "
        "(2, 'F', 'Significance'), (3, 'T', 'Report title')");
}

TEST(QdbDataCommands, InfoShowsEngineVersionAndCounts) {
    TestDatabase db(true);
    FillSmallLab(db);
    ExpectQdb("info " + Quoted(db.uri()), 0,
              {db.engine() == TestEngine::PostgreSQL ? "Engine:         PostgreSQL"
                                                     : "Engine:         SQLite",
               "Schema version: 1", "EMPLOYEE                          2",
               "SPECTRUM                          0", "(all tables)                      8"});
}

TEST(QdbDataCommands, ImportRefusesFilledTablesUnlessReplacing) {
    quantora::test::ScratchDir tmp;
    TestDatabase src(true);
    FillSmallLab(src);
    const std::string xml = tmp / "lab.xml";
    ASSERT_EQ(RunQdb("export " + Quoted(src.uri()) + " " + Quoted(xml)).code, 0);

    TestDatabase dst(true);
    // Rows in a late table: the tables imported before it are rolled back as well.
    dst.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (7, 'Old')");
    ExpectQdb("import " + Quoted(xml) + " " + Quoted(dst.uri()), 1,
              {"qdb import: ",
               "already holds rows (replacing them was not asked for) (table "
               "MEASUREMENT"});
    EXPECT_EQ(dst.Scalar("SELECT NAME FROM MEASUREMENT") + std::to_string(dst.Count("EMPLOYEE")),
              "Old0");

    ExpectQdb("import " + Quoted(xml) + " " + Quoted(dst.uri()) + " --replace", 0,
              {"2 records of table EMPLOYEE imported."});
    EXPECT_EQ(dst.Rows("SELECT MEASUREMENT_ID, NAME FROM MEASUREMENT"), "5|m5\n");  // replaced
    EXPECT_EQ(dst.Scalar("SELECT NAME FROM PROJECT"), "Soil, \"2026\"");

    // A new file gets the schema; a failed import into a new file leaves no file behind.
    ASSERT_EQ(RunQdb("import " + Quoted(xml) + " " + Quoted(tmp / "new.db")).code, 0);
    EXPECT_TRUE(fs::exists(tmp / "new.db"));
    std::ofstream(tmp / "broken.xml") << "<?xml version=\"1.0\"?>\n<Quantora";
    ExpectQdb("import " + Quoted(tmp / "broken.xml") + " " + Quoted(tmp / "other.db"), 1);
    EXPECT_FALSE(fs::exists(tmp / "other.db"));
}

// An export that cannot be completed says where and why, and leaves what was at the path (or
// nothing) and no temporary file behind.
TEST(QdbDataCommands, FailedExportKeepsThePreviousFile) {
    quantora::test::ScratchDir tmp;
    TestDatabase db(true);
    FillSmallLab(db);
    const std::string xml = tmp / "lab.xml";
    ASSERT_EQ(RunQdb("export " + Quoted(db.uri()) + " " + Quoted(xml)).code, 0);
    const std::string previous = ReadText(xml);
    // Far more than the file-size limit below allows.
    db.Exec(
        "WITH RECURSIVE n(i) AS (SELECT 3 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
        "INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) SELECT i, 'employee with a long name ' || i "
        "FROM n");
    fs::create_directory(tmp / "folder");
    const struct {
        std::string target, shell, reason;
    } cases[] = {
        {xml, "ulimit -f 256", "File too large"},
        {tmp / "no/such.xml", "", "No such file or directory"},
        {tmp / "folder", "", "Is a directory"},
    };
    for (const auto& c : cases) {
        const auto r = RunQdb("export " + Quoted(db.uri()) + " " + Quoted(c.target), c.shell);
        EXPECT_EQ(r.code, 1) << r.out;
        EXPECT_NE(r.out.find("'" + c.target + "'"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    }
    EXPECT_EQ(ReadText(xml), previous);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(tmp.path)) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"folder", "lab.xml"}));
}

// The commands that only read open the database read-only: a file keeps its journal mode; the
// first command that writes switches it to WAL.
TEST(QdbDataCommands, ReadingCommandsLeaveTheFileAsItIs) {
    TestDatabase db(true);
    if (db.engine() == TestEngine::PostgreSQL) GTEST_SKIP() << "a journal mode is SQLite's";
    FillSmallLab(db);
    db.Exec("PRAGMA journal_mode=DELETE");
    // The file format's version bytes: 1 for a rollback journal, 2 for WAL.
    const std::string file = db.uri().substr(std::string("sqlite:").size());
    auto mode = [&] { return static_cast<int>(ReadText(file).at(18)); };
    ASSERT_EQ(mode(), 1);
    quantora::test::ScratchDir tmp;
    const std::string uri = Quoted(db.uri());
    const std::string reads[] = {
        "info " + uri, "tables " + uri, "export " + uri + " " + Quoted(tmp / "o.xml"),
        "csv " + uri + " 'SELECT * FROM EMPLOYEE' " + Quoted(tmp / "o.csv"),
        "check " + uri + " MEASUREMENT 5"};
    for (const std::string& c : reads) {
        EXPECT_EQ(RunQdb(c).code, 0) << c;
        EXPECT_EQ(mode(), 1) << c;
    }
    ASSERT_EQ(RunQdb("settings set " + uri + " 1 1 42").code, 0);
    EXPECT_EQ(mode(), 2);
}

TEST(QdbDataCommands, SettingsSetAndGetByKeyOrName) {
    TestDatabase db(true);
    FillSmallLab(db);
    const std::string base = "settings set " + Quoted(db.uri()) + " ";
    ASSERT_EQ(RunQdb(base + "1 1 42").code, 0);
    ExpectQdb(base + "Ada Significance 2.5", 0, {"Significance (float) of employee 1 set to 2.5"});
    ASSERT_EQ(RunQdb(base + "2 'Report title' 'Tom''s report' --index 2").code, 0);
    ASSERT_EQ(RunQdb(base + "1 1 43").code, 0);  // replaces, adds no row

    auto r =
        ExpectQdb("settings get " + Quoted(db.uri()) + " 1", 0,
                  {"1\tDefault project\t0\tinteger\t43\n", "2\tSignificance\t0\tfloat\t2.5\n"});
    EXPECT_EQ(r.out.find("Tom"), std::string::npos);
    r = RunQdb("settings get " + Quoted(db.uri()) + " Tom 3");
    EXPECT_EQ(r.out, "3\tReport title\t2\ttext\tToms report\n");
    EXPECT_EQ(db.Count("USERSETTINGS"), 3);

    // Wrong values, unknown users and settings: one line, nothing stored.
    const char* bad[] = {"1 1 4x", "1 2 fast", "Nobody 1 5", "1 Unknown 5", "1 1 5 --index -1"};
    for (const char* args : bad) {
        r = ExpectQdb(base + args, 1);
        EXPECT_EQ(r.out.rfind("qdb settings: ", 0), 0u) << r.out;
    }
    EXPECT_EQ(db.Count("USERSETTINGS"), 3);
    EXPECT_EQ(db.Scalar("SELECT SETTINGVALUE FROM USERSETTINGS WHERE SETTING_ID = 1"), "43");
}

TEST(QdbDataCommands, DatabasesThatAreMissingOrNotOursAreRefused) {
    quantora::test::ScratchDir tmp;
    const std::string junk = tmp / "junk.db";
    std::ofstream(junk) << "not a database at all";
    const std::string missing = tmp / "missing.db";
    const TestDatabase notOurs(false, true);  // an SQLite file without our tables
    notOurs.Exec("CREATE TABLE NOTOURS (A INTEGER)");
    const std::string empty = notOurs.uri().substr(std::string("sqlite:").size());
    // Each kind of bad database gets its own words and exit code, from every command that opens
    // one.
    const struct {
        std::string db;
        const char* words;
        int code;
    } databases[] = {{junk, "file is not a database", 4},
                     {missing, "not found", 3},
                     {"sqlite:" + missing, "not found", 3},
                     {tmp.path.string(), "is a folder, not a database file", 1},
                     {empty, "is not a lab database", 1},
                     {"postgresql://nobody@127.0.0.1:1/x", "Connection refused", 4}};
    const std::string commands[] = {"info %s", "export %s " + Quoted(tmp / "o.xml"),
                                    "csv %s 'SELECT 1' " + Quoted(tmp / "o.csv"),
                                    "check %s SPECTRUM 1"};
    for (const std::string& c : commands)
        for (const auto& [db, words, code] : databases) {
            const auto r = ExpectQdb(Format(c.c_str(), Quoted(db).c_str()), code, {words});
            EXPECT_EQ(r.out.rfind("qdb ", 0), 0u) << r.out;
            EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        }
    for (const std::string& db : {junk, empty})  // a demo never replaces what is not its own
        ExpectQdb("demo " + Quoted(db), 1, {"is not a demo database"});
    EXPECT_TRUE(fs::exists(empty));
    EXPECT_EQ(ReadText(junk), "not a database at all");
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(tmp / "o.xml"));
    EXPECT_FALSE(fs::exists(tmp / "o.csv"));
}

}  // namespace
