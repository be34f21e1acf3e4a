// qdb demo as a newcomer runs it: the lab it builds, its summary, a second run, and the exchange
// round trip demo -> export -> import -> info.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "tests/qdb/QdbRun.h"

using quantora::Format;
using quantora::test::Quoted;
using quantora::test::RunQdb;

namespace {

namespace fs = std::filesystem;

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
    quantora::test::ScratchDir dir;
    const std::string db = dir / "lab.db";
    const auto r = RunQdb("demo " + Quoted(db));
    ASSERT_EQ(r.code, 0) << r.out;
    // The summary names what the library did with the lab.
    EXPECT_NE(r.out.find("Demo lab created in"), std::string::npos) << r.out;
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
    CloseDatabase("demo_check");

    // A second run starts afresh instead of adding to the old lab.
    const auto tables = [&] {  // the rows of qdb info's table counts
        const std::string out = RunQdb("info " + Quoted(db)).out;
        return out.substr(out.find("\nTable"));
    };
    const std::string first = tables();
    ASSERT_EQ(RunQdb("demo " + Quoted(db)).code, 0);
    EXPECT_EQ(tables(), first);
}

}  // namespace
