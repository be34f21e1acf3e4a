// qdb demo as a newcomer runs it: the lab it builds, its summary, and the exchange round trip
// demo -> export -> import -> info.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "tests/qdb/QdbRun.h"

using quantora::Format;
using quantora::test::Quoted;
using quantora::test::ReadText;
using quantora::test::RunQdb;

namespace {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        path_ = fs::temp_directory_path() / Format("qdb-demo-%d-%p", getpid(), (void*)this);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const char* name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

// "TABLE rows" lines of qdb info.
std::map<std::string, int> InfoCounts(const std::string& out) {
    std::map<std::string, int> counts;
    std::istringstream in(out);
    std::string line;
    bool table = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name;
        int rows;
        if (line.rfind("Table", 0) == 0) {
            table = true;
            continue;
        }
        if (table && (words >> name >> rows) && name[0] != '(') counts[name] = rows;
    }
    return counts;
}

// One value of a query on a database file.
double Value(const std::string& alias, const std::string& sql) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(sql);
    q.Open();
    EXPECT_FALSE(q.Eof()) << sql;
    return q.Eof() ? -1 : q.Fields()[0]->AsFloat();
}

TEST(QdbDemo, BuildsAConsistentLabAndExplainsIt) {
    TempDir dir;
    const std::string db = dir / "lab.db";
    const auto r = RunQdb("demo " + Quoted(db));
    ASSERT_EQ(r.code, 0) << r.out;
    // The summary names what the library did with the lab.
    EXPECT_NE(r.out.find("Demo lab created in"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("RetrieveECalForSpectrum"), std::string::npos);
    EXPECT_NE(r.out.find("K-40 1460.822 keV"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("blocked by MEASUREMENT ID="), std::string::npos);
    EXPECT_NE(r.out.find("XML export: " + (dir / "lab.xml")), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "lab.xml"));
    // Not a terminal: no progress bar drawing.
    EXPECT_EQ(r.out.find('\r'), std::string::npos);

    OpenDatabase("demo_check", "sqlite:" + db);
    // Three levels of projects.
    EXPECT_EQ(Value("demo_check",
                    "SELECT COUNT(*) FROM PROJECT c, PROJECT p, PROJECT g WHERE "
                    "c.SUPERPROJECT_ID = p.PROJECT_ID AND p.SUPERPROJECT_ID = g.PROJECT_ID "
                    "AND g.SUPERPROJECT_ID IS NULL"),
              4);
    // Every spectrum is stored compressed with its channels, and calibrated from its peaks.
    EXPECT_EQ(Value("demo_check", "SELECT MIN(CHANNELS) FROM SPECTRUM"), 8192);
    EXPECT_GT(Value("demo_check", "SELECT MIN(COUNTDATASIZE) FROM SPECTRUM"), 0);
    EXPECT_EQ(Value("demo_check",
                    "SELECT COUNT(*) FROM SPECTRUM s WHERE (SELECT COUNT(*) FROM ECALPOINT p, "
                    "ECAL e WHERE p.ECAL_ID = e.ECAL_ID AND e.SPECTRUM_ID = s.SPECTRUM_ID) < 2"),
              0);
    // Peak energies of the calibration spectra come out where the lines are.
    for (double line : {121.7817, 661.657, 1332.492, 1408.013}) {
        const double found =
            Value("demo_check", Format("SELECT COUNT(*) FROM PEAK WHERE ABS(E - %g) < 0.1", line));
        EXPECT_GE(found, 1) << line;
    }
    // Each setup has its analyses, valid from a date.
    for (const char* t : {"MEASSETUPNONLIN", "MEASSETUPEFF", "MEASSETUPRESOL"})
        EXPECT_EQ(Value("demo_check", Format("SELECT COUNT(DISTINCT MEASSETUP_ID) FROM %s "
                                             "WHERE VALIDFROM IS NOT NULL",
                                             t)),
                  2)
            << t;
    // The documents beyond their first kilobyte live in chunks; all 61 setting parameters.
    EXPECT_GT(Value("demo_check", "SELECT COUNT(*) FROM BLOBCHUNK WHERE OWNERTYPE = 'pDocument'"),
              0);
    EXPECT_EQ(Value("demo_check", "SELECT COUNT(*) FROM PEAKEVALCALPARAMLIST"), 61);
    EXPECT_GT(Value("demo_check", "SELECT COUNT(*) FROM USERSETTINGS"), 0);
    CloseDatabase("demo_check");

    // A second run starts afresh instead of adding to the old lab.
    const auto first = InfoCounts(RunQdb("info " + Quoted(db)).out);
    ASSERT_EQ(RunQdb("demo " + Quoted(db)).code, 0);
    EXPECT_EQ(InfoCounts(RunQdb("info " + Quoted(db)).out), first);
}

TEST(QdbDemo, IsReproducible) {
    TempDir dir;
    ASSERT_EQ(RunQdb("demo " + Quoted(dir / "a.db")).code, 0);
    ASSERT_EQ(RunQdb("demo " + Quoted(dir / "b.db")).code, 0);
    const std::string sql =
        "SELECT s.SPECTRUM_ID, s.COUNTDATA, p.POS, p.AREA FROM SPECTRUM s, PEAKEVAL e, PEAK p "
        "WHERE e.MEASUREMENT_ID = s.MEASUREMENT_ID AND p.PEAKEVAL_ID = e.PEAKEVAL_ID "
        "ORDER BY p.PEAK_ID";
    ASSERT_EQ(
        RunQdb("csv " + Quoted(dir / "a.db") + " " + Quoted(sql) + " " + Quoted(dir / "a.csv"))
            .code,
        0);
    ASSERT_EQ(
        RunQdb("csv " + Quoted(dir / "b.db") + " " + Quoted(sql) + " " + Quoted(dir / "b.csv"))
            .code,
        0);
    const std::string a = ReadText(dir / "a.csv");
    EXPECT_GT(a.size(), 1000u);
    EXPECT_EQ(a, ReadText(dir / "b.csv"));
}

TEST(QdbDemo, ExportImportGivesTheSameTables) {
    TempDir dir;
    ASSERT_EQ(RunQdb("demo " + Quoted(dir / "lab.db")).code, 0);
    const auto exp = RunQdb("export " + Quoted(dir / "lab.db") + " " + Quoted(dir / "x.xml"));
    ASSERT_EQ(exp.code, 0) << exp.out;
    EXPECT_NE(exp.out.find("records of table SPECTRUM exported."), std::string::npos);
    const auto imp = RunQdb("import " + Quoted(dir / "x.xml") + " " + Quoted(dir / "copy.db"));
    ASSERT_EQ(imp.code, 0) << imp.out;
    EXPECT_NE(imp.out.find("records of table SPECTRUM imported."), std::string::npos);

    const auto original = InfoCounts(RunQdb("info " + Quoted(dir / "lab.db")).out);
    const auto copy = InfoCounts(RunQdb("info " + Quoted(dir / "copy.db")).out);
    ASSERT_EQ(original.size(), copy.size());
    // The exchange file carries the tables it lists; those come back with every row.
    const std::string xml = ReadText(dir / "x.xml");
    int carried = 0;
    for (const auto& [table, rows] : original) {
        if (table == "SCHEMAVERSION") continue;  // written by the schema, not the import
        if (xml.find("<Table Name=\"" + table + "\">") == std::string::npos) {
            EXPECT_EQ(copy.at(table), 0) << table;
            continue;
        }
        ++carried;
        EXPECT_EQ(copy.at(table), rows) << table;
    }
    EXPECT_GE(carried, 20);
    // And the copy exports to the same file content, table by table.
    ASSERT_EQ(RunQdb("export " + Quoted(dir / "copy.db") + " " + Quoted(dir / "y.xml")).code, 0);
    const std::string again = ReadText(dir / "y.xml");
    EXPECT_EQ(xml.substr(xml.find("<Table ")), again.substr(again.find("<Table ")));
}

}  // namespace
