// qdb demo as a newcomer runs it: the lab it builds, its summary, a second run, a lab it must
// not fill, and the exchange round trip demo -> export -> import -> info.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "tests/qdb/QdbRun.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::Quoted;
using quantora::test::RunQdb;

namespace {

namespace fs = std::filesystem;

// One value of a query on a database file.
double Value(const std::string& alias, const std::string& sql) {
    TQuery q;
    quantora::test::Open(q, alias, sql);
    EXPECT_FALSE(q.Eof()) << sql;
    return q.Eof() ? -1 : q.Fields()[0]->AsFloat();
}

TEST(QdbDemo, BuildsAConsistentLabAndExplainsIt) {
    quantora::test::ScratchDir dir;
    const std::string db = dir / "lab.db";
    const auto r = RunQdb("demo " + Quoted(db));
    ASSERT_EQ(r.code, 0) << r.out;
    // The summary names what the library did with the lab.
    EXPECT_NE(r.out.find("K-40 1460.822 keV"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("blocked by MEASUREMENT ID="), std::string::npos);
    EXPECT_NE(r.out.find("XML export: " + (dir / "lab.xml")), std::string::npos);
    EXPECT_EQ(r.out.find('\r'), std::string::npos);  // not a terminal: no progress bar

    OpenDatabase("demo_check", "sqlite:" + db);
    // Peak energies of the calibration spectra come out where the lines are.
    for (double line : {121.7817, 661.657, 1332.492, 1408.013})
        EXPECT_GE(
            Value("demo_check", Format("SELECT COUNT(*) FROM PEAK WHERE ABS(E - %g) < 0.1", line)),
            1)
            << line;
    // In the mixed standard's spectra the Compton edges of its strong lines are no peaks:
    // E (1 - 1 / (1 + 2 E / 511 keV)).
    for (double line : {391.698, 514.0, 661.657, 898.042, 1173.228, 1332.492, 1836.063}) {
        const double edge = line * (1 - 1 / (1 + 2 * line / 510.999));
        EXPECT_EQ(Value("demo_check",
                        Format("SELECT COUNT(*) FROM PEAK P JOIN PEAKEVAL E ON E.PEAKEVAL_ID = "
                               "P.PEAKEVAL_ID JOIN MEASUREMENT M ON M.MEASUREMENT_ID = "
                               "E.MEASUREMENT_ID WHERE M.NAME LIKE 'Mixed gamma standard%%' AND "
                               "ABS(P.E - %g) < 3",
                               edge)),
                  0)
            << "Compton edge of " << line << " keV at " << edge;
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
    // Named by URI, a database that holds a lab is not the demo's to fill.
    quantora::test::ExpectQdb("demo " + Quoted("sqlite:" + db), 1, {"already holds projects"});
    EXPECT_EQ(tables(), first);
}

}  // namespace
