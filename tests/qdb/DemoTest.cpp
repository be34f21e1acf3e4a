// qdb demo as a newcomer runs it: the lab it builds, its summary, a second run, a lab it must
// not fill; and qdb report on a quantified measurement of it as the HTML a client receives,
// opened in a real headless browser (its table and picture rendered), and as PDF.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "tests/qdb/QdbRun.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::ExpectQdb;
using quantora::test::Quoted;
using quantora::test::ReadText;
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

TEST(QdbDemo, BuildsAConsistentLabExplainsItAndReportsOnIt) {
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

    // A measurement to report on (the second run below makes the same lab).
    const int spectrum =
        Value("demo_check",
              "SELECT MIN(S.SPECTRUM_ID) FROM SPECTRUM S JOIN MEASUREMENT M ON "
              "M.MEASUREMENT_ID = S.MEASUREMENT_ID WHERE M.NAME = 'Soil core N-1'");
    const int measurement =
        Value("demo_check",
              Format("SELECT MEASUREMENT_ID FROM SPECTRUM WHERE SPECTRUM_ID = %d", spectrum));
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
    ExpectQdb("demo " + Quoted("sqlite:" + db), 1, {"already holds projects"});
    EXPECT_EQ(tables(), first);

    // The report of a measurement, refused until the measurement is quantified.
    const std::string html = dir / "report.html", pdf = dir / "report.pdf";
    const std::string report =
        "report " + Quoted(db) + " --measurement " + std::to_string(measurement) + " ";
    ExpectQdb(report + Quoted(html), 1, {"has not been quantified"});
    ExpectQdb(Format("quantify %s --spectrum %d --library 1", Quoted(db).c_str(), spectrum), 0);
    for (const std::string& out : {html, pdf}) ExpectQdb(report + Quoted(out), 0, {"written to"});
    EXPECT_EQ(ReadText(pdf).rfind("%PDF-", 0), 0u);
    const std::string page = ReadText(html);
    EXPECT_NE(page.find("<svg"), std::string::npos);
    EXPECT_EQ(page.find("src=\"http"), std::string::npos);  // nothing fetched: self-contained

    // The browser's own rendering: the document it built, and a screenshot that is not blank.
    const std::string browser = "/usr/bin/chromium";
    ASSERT_TRUE(fs::exists(browser)) << "the HTML report is checked in Debian's chromium";
    const std::string flags =
        "--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir=" +
        Quoted(dir / "browser") + " ";
    const std::string dom = dir / "dom.html", shot = dir / "shot.png";
    const std::string url = "file://" + html;
    ASSERT_EQ(std::system((browser + " " + flags + "--dump-dom " + Quoted(url) + " > " +
                           Quoted(dom) + " 2>/dev/null")
                              .c_str()),
              0);
    const std::string rendered = ReadText(dom);
    for (const char* part :
         {"<table class=\"activities\">", "Cs-137", "Bq/kg", "<svg", "<polyline",
          "Decision threshold", "Soil core N-1 (0-5 cm)", "full-energy efficiency, end cap"})
        EXPECT_NE(rendered.find(part), std::string::npos) << part;
    ASSERT_EQ(std::system((browser + " " + flags + "--window-size=1200,1600 --screenshot=" +
                           Quoted(shot) + " " + Quoted(url) + " > /dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_GT(fs::file_size(shot), 20000u);  // a page with a table and a spectrum, not blank
}

}  // namespace
