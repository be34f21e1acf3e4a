// qdb check, delete, ecal, fwhm, match, nuclides load and library, and analyse, run as a binary on
// fresh databases (the ODBC data-source verbs are the ODBC installer tests').
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "quantora/base/Format.h"
#include "tests/qdb/QdbRun.h"
#include "tests/support/GammaLines.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::ExpectQdb;
using quantora::test::QdbCase;
using quantora::test::Quoted;
using quantora::test::RunQdb;
using quantora::test::ScratchDir;
using quantora::test::TestDatabase;
using quantora::test::WriteGammaLines;

namespace {

// A project with a measurement, its spectrum and an energy and FWHM calibration of it.
void FillLab(const TestDatabase& db) {
    for (const char* row :
         {"PROJECT (PROJECT_ID, NAME) VALUES (1, 'p1')",
          "MEASUREMENT (MEASUREMENT_ID, PROJECT_ID, NAME) VALUES (10, 1, 'm10')",
          "SPECTRUM (SPECTRUM_ID, SPECTRUMTYPE_ID, MEASUREMENT_ID, NAME) VALUES (100, 1, 10, "
          "'s100')",
          "ECAL (ECAL_ID, SPECTRUM_ID, NAME, TENTATIVE) VALUES (5, 100, 'ec', 'F')",
          "FWHMCAL (FWHMCAL_ID, SPECTRUM_ID, NAME, TENTATIVE) VALUES (7, 100, 'fw', 'F')"})
        db.Exec(Format("INSERT INTO %s", row));
    db.Exec(
        "INSERT INTO ECALPOINT (ECALPOINT_ID, ECAL_ID, CHPOS, CHPOSUNC, ENERGY, ENERGYUNC) "
        "VALUES (51, 5, 100, 0.1, 60, 0.01), (52, 5, 1100, 0.1, 560, 0.01)");
    db.Exec(
        "INSERT INTO FWHMCALPOINT (FWHMCALPOINT_ID, FWHMCAL_ID, CHPOS, CHPOSUNC, FWHM, "
        "FWHMUNC) VALUES (71, 7, 100, 0.1, 2.0, 0.05), (72, 7, 1100, 0.1, 3.0, 0.05)");
}

}  // namespace

TEST(QdbLabCommands, CheckReportsBlockingAndDeleteCascades) {
    TestDatabase db(true);
    FillLab(db);
    const std::string uri = Quoted(db.uri());
    const QdbCase runs[] = {
        // The project is blocked by its measurement; nothing may be deleted.
        {"check " + uri + " PROJECT 1",
         0,
         {"blocking: 1", "MEASUREMENT ID=10", "deletion is blocked"}},
        {"delete " + uri + " PROJECT 1 --yes", 1, {}},
        // Table names are case-insensitive; without a terminal and --yes nothing is deleted.
        {"check " + uri + " measurement 10", 0, {"can be deleted"}},
        {"delete " + uri + " MEASUREMENT 10", 1, {"--yes"}},
        // Two exact points: E = 10 + 0.5 ch; FWHM^2 = A + B ch through (100, 4) and (1100, 9).
        {"ecal " + uri + " --spectrum 100",
         0,
         {"energy calibration 5 'ec'", "a = 10 +-", "b = 0.5 +-", "points: 2"}},
        {"ecal " + uri + " --measurement 10", 0, {"spectrum 100", "b = 0.5 +-"}},
        {"fwhm " + uri + " --spectrum 100",
         0,
         {"FWHM calibration 7 'fw'", "A = 3.5 +-", "B = 0.005 +-"}},
        // A key that does not exist, no selector, bad arguments.
        {"ecal " + uri + " --spectrum 999", 3, {"qdb ecal: "}},
        {"ecal " + uri, 2, {"qdb ecal: "}},
        {"delete " + uri + " SPECTRUM 555 --yes", 1, {"no row"}},
        {"match " + uri + " --library 1 66o.5", 2, {"malformed energy"}},
        {"match " + uri + " --library 42 661.7", 3, {"no radiation library"}},
        // With --yes the measurement goes with its spectrum and the spectrum's calibrations.
        {"delete " + uri + " MEASUREMENT 10 --yes", 0, {"deleted MEASUREMENT ID=10"}},
    };
    for (const auto& r : runs) ExpectQdb(r.args, r.code, r.says);
    for (const char* table : {"MEASUREMENT", "SPECTRUM", "ECAL", "ECALPOINT"})
        EXPECT_EQ(db.Count(table), 0) << table;
    EXPECT_EQ(db.Count("PROJECT"), 1);
}

TEST(QdbLabCommands, NuclidesLoadThenMatchAndAnalyse) {
    TestDatabase db(true);
    const std::string uri = Quoted(db.uri());
    // A few nuclides cut from the evaluated table.
    const ScratchDir scratch;
    const std::string csv = scratch / "lines.csv";
    WriteGammaLines(csv, {"Cs-137", "Co-60", "Am-241", "Eu-152"});
    auto r = RunQdb("nuclides load " + uri + " " + Quoted(csv));
    ASSERT_EQ(r.code, 0) << r.out;
    const std::string lib = db.Scalar("SELECT MIN(RADIATIONLIBRARY_ID) FROM RADIATIONLIBRARY");
    EXPECT_EQ(db.Scalar("SELECT NAME FROM RADIATIONLIBRARY"), "lines");

    ExpectQdb("match " + uri + " --library " + lib + " 661.66:0.1 1173.2 59.54:0.05 5000", 0,
              {"Cs-137       661.6570", "Co-60       1173.2280", "Am-241        59.5409",
               "5000.000 +- 0.500 keV: 0 line(s)"});

    // A second load gets keys above every key in use, of nine digits too; radiation keys too long
    // for an integer do not count.
    for (const char* key : {"9999999999", "100000000"})
        db.Exec(std::string("UPDATE RADIATION SET RADIATION_ID = '") + key +
                "' WHERE RADIATION_ID = '" + db.Scalar("SELECT MIN(RADIATION_ID) FROM RADIATION") +
                "'");
    r = RunQdb("nuclides load " + uri + " " + Quoted(csv));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(db.Count("RADIATIONLIBRARY"), 2);
    EXPECT_EQ(db.Count("ISOMER WHERE ISOMER_ID > 100000000"), db.Count("ISOMER") / 2);

    // A library of chosen nuclides; one the tables do not hold leaves nothing behind.
    ExpectQdb("nuclides library " + uri + " eu Eu-152", 0, {": eu (1 nuclides)"});
    ExpectQdb("nuclides library " + uri + " bad Eu-152,Xx-999", 3, {"no decay of Xx-999"});
    EXPECT_EQ(db.Count("RADIATIONLIBRARY"), 3);
    const std::string eu =
        db.Scalar("SELECT RADIATIONLIBRARY_ID FROM RADIATIONLIBRARY WHERE NAME = 'eu'");

    // The peak evaluation of a real spectrum: its table, its CSV, and the archive form, which
    // leaves spectra with an evaluation alone.
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'p1')");
    const std::string chn =
        std::string(QUANTORA_SHARED_DATA) + "/spectra/original/eu_calib_7cm.Chn";
    r = RunQdb("spectrum import " + uri + " " + Quoted(chn) + " --new-measurements --project 1");
    ASSERT_EQ(r.code, 0) << r.out;
    const std::string peaks = scratch / "peaks.csv";
    ExpectQdb("analyse " + uri + " --spectrum 1 --library " + eu + " --csv " + Quoted(peaks), 0,
              {"energy recalibrated from", "Eu-152", "stored as peak evaluation 1"});
    std::ifstream table(peaks);
    std::string header, row;
    std::getline(table, header);
    EXPECT_EQ(header.rfind("energy_kev,energy_unc_kev,area,area_unc,fwhm_kev,channel,", 0), 0u);
    int rows = 0;
    while (std::getline(table, row)) ++rows;
    EXPECT_EQ(rows, db.Count("PEAK"));
    EXPECT_GT(rows, 30);
    ExpectQdb("analyse " + uri + " --project 1", 0, {"1 spectra, 0 without a peak evaluation"});
    ExpectQdb("analyse " + uri + " --spectrum 1 --setting 99", 3,
              {"no peak evaluation setting with PEAKEVALCAL_ID = 99"});
    ExpectQdb("analyse " + uri + " --spectrum 1 --library 99999", 3,
              {"no radiation library with RADIATIONLIBRARY_ID = 99999"});
    EXPECT_EQ(db.Count("PEAKEVAL"), 1);
}

TEST(QdbLabCommands, SourceAddStoresACertificateOrNothing) {
    TestDatabase db(true);
    const std::string uri = Quoted(db.uri());
    const ScratchDir scratch;
    WriteGammaLines(scratch / "lines.csv", {"Cs-137", "Co-60"});
    ASSERT_EQ(RunQdb("nuclides load " + uri + " " + Quoted(scratch / "lines.csv")).code, 0);
    std::ofstream(scratch / "point.csv")
        << "nuclide,energy_kev,emission_rate_per_s,expanded_uncertainty_percent,coverage_k,"
           "reference_time\nCo-60,1173.2,3794,1.6,2,2001-05-01T14:00:00+02:00\n"
           "Co-60,1332.5,3797,1.6,2,2001-05-01T12:00:00Z\nCs-137,661.66,2819,2.1,2,"
           "2001-05-01T12:00:00Z\n";
    const std::string maric =
        Quoted(std::string(QUANTORA_SHARED_DATA) + "/sources/maric_500ml_marinelli.csv");
    const QdbCase runs[] = {
        {"source add " + uri + " " + Quoted(scratch / "point.csv") + " --name 'QCD point'",
         0,
         {"source 1: QCD point (2 nuclides, emission-rate certificate)",
          "Co-60    1173.2 keV: 3794 +- 30.35 /s; 1332.5 keV: 3797 +- 30.38 /s  at 2001-05-01 "
          "12:00:00 UTC",
          "Cs-137   661.66 keV: 2819 +- 29.6 /s"}},
        {"source add " + uri + " " + maric + " --name m",
         1,
         {"qdb source: ", "maric_500ml_marinelli.csv:2: no nuclide Am-241 in the nuclide tables"}},
        {"source add " + uri + " " + maric, 2, {"usage: qdb source add"}},
        {"quantify " + uri + " --library 1", 2, {"usage: qdb quantify"}},
        {"source add " + uri + " " + Quoted(scratch / "none.csv") + " --name x", 3, {"none.csv"}},
    };
    for (const auto& r : runs) ExpectQdb(r.args, r.code, r.says);
    EXPECT_EQ(db.Count("SOURCE"), 1);
    EXPECT_EQ(db.Count("SOURCEISOMER WHERE SOURCE_ID = 1"), 2);
}
