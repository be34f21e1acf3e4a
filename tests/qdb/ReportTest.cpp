// qdb report: a quantified measurement of the demo lab as the HTML a client receives, opened in a
// real headless browser (its table and picture rendered), and as PDF.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "tests/qdb/QdbRun.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::Quoted;
using quantora::test::RunQdb;

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(QdbReport, AQuantifiedMeasurementRendersInABrowserAndAsPdf) {
    quantora::test::ScratchDir dir;
    const std::string db = dir / "lab.db";
    ASSERT_EQ(RunQdb("demo " + Quoted(db)).code, 0);
    OpenDatabase("report_check", "sqlite:" + db);
    TQuery q;
    quantora::test::Open(q, "report_check",
                         "SELECT M.MEASUREMENT_ID, MIN(S.SPECTRUM_ID) FROM MEASUREMENT M JOIN "
                         "SPECTRUM S ON S.MEASUREMENT_ID = M.MEASUREMENT_ID WHERE M.NAME = 'Soil "
                         "core N-1' GROUP BY M.MEASUREMENT_ID");
    const std::string measurement = q.Fields()[0]->AsString(), spectrum = q.Fields()[1]->AsString();
    q.Close();
    CloseDatabase("report_check");

    const std::string html = dir / "report.html", pdf = dir / "report.pdf";
    quantora::test::ExpectQdb(
        "report " + Quoted(db) + " --measurement " + measurement + " " + Quoted(html), 1,
        {"has not been quantified"});
    ASSERT_EQ(RunQdb("quantify " + Quoted(db) + " --spectrum " + spectrum + " --library 1").code,
              0);
    for (const std::string& out : {html, pdf})
        quantora::test::ExpectQdb(
            "report " + Quoted(db) + " --measurement " + measurement + " " + Quoted(out), 0,
            {"written to"});
    EXPECT_EQ(Slurp(pdf).rfind("%PDF-", 0), 0u);
    const std::string page = Slurp(html);
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
    const std::string rendered = Slurp(dom);
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
