// qdb spectrum import / export / info as a user runs them: an archive folder into new
// measurements (a broken file refused, a second run skipping what is there), export by
// extension, and the errors of missing rows and arguments.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/qdb/QdbRun.h"
#include "tests/support/GeneratedSpectra.h"
#include "tests/support/TestDatabase.h"

using quantora::test::ExpectQdb;
using quantora::test::Quoted;
using quantora::test::TestEngine;

namespace fs = std::filesystem;

TEST(QdbSpectrumCommands, ArchiveImportExportAndInfo) {
    quantora::test::TestDatabase db(true);
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'p')");
    db.Exec("INSERT INTO MEASUREMENT (MEASUREMENT_ID, NAME) VALUES (1, 'm1')");
    const std::string uri = Quoted(db.uri());
    const quantora::test::ScratchDir scratch;
    const fs::path& dir = scratch.path;
    fs::create_directories(dir / "archive");
    const std::string original = QUANTORA_SHARED_DATA "/spectra/original/";
    // The same spectrum as a bare count list and as a file with its calibration: the described
    // copy is stored, whatever the order of the names.
    for (const char* f : {"Alcatraz14.Spc", "eu_calib_7cm.Chn", "background_20100317.n42",
                          "iaea2002/Mn54BIG.asc", "iaea2002/Mn54BIG.spe"})
        fs::create_symlink(original + f, dir / "archive" / fs::path(f).filename());
    std::ofstream(dir / "archive" / "cut.spe") << "$SPEC_ID:\nx\n$DATA:\n0 9\n1\n2\n";

    const std::string archive = "spectrum import " + uri + " " +
                                Quoted((dir / "archive").string()) +
                                " --new-measurements --project 1";
    ExpectQdb(archive, 1,
              {"4 imported, 1 skipped as already present, 1 refused",
               "cut.spe: SPE: line 6: $DATA: announces 10 channels", "swapped"});
    EXPECT_EQ(db.Count("SPECTRUM"), 11);
    EXPECT_EQ(db.Count("SPECTRUM WHERE SPEFILETYPE = 'SPE'"), 1);
    EXPECT_EQ(db.Count("MEASUREMENT WHERE PROJECT_ID = 1"), 4);
    ExpectQdb(archive, 1, {"0 imported, 5 skipped as already present, 1 refused"});

    const std::string spc = Quoted(original + "Alcatraz14.Spc");
    const std::string n42 = Quoted((dir / "back.n42").string());
    const quantora::test::QdbCase cases[] = {
        {"import " + uri + " " + spc + " --measurement 1", 0, {"channels: 8192 (from 0)"}},
        {"import " + uri + " " + spc + " --measurement 77", 3, {"no measurement with"}},
        {"import " + uri + " " + spc, 2, {"usage"}},
        {"export " + uri + " 1 " + n42, 0, {"exported spectrum 1 (8192 channels)"}},
        {"info " + n42, 0, {"N42-2011, 1 spectrum"}},
        {"export " + uri + " 1 " + Quoted((dir / "x.txt").string()), 2, {"extension"}},
        {"export " + uri + " 99 " + n42, 3, {"no spectrum with SPECTRUM_ID = 99"}},
        {"info " + Quoted((dir / "missing").string()), 1, {"cannot open"}},
        {"info " + Quoted(dir.string()), 1, {"is a folder, not a spectrum file"}},
    };
    for (const auto& c : cases) ExpectQdb("spectrum " + c.args, c.code, c.says);
}

// A disk that fills up in the middle of a batch ends it with one line that counts what was
// stored, and every file it counts is in the database.
TEST(QdbSpectrumCommands, AFullDiskEndsTheBatchWithOneLine) {
    quantora::test::TestDatabase db(true);
    if (db.engine() == TestEngine::PostgreSQL)
        GTEST_SKIP() << "the server's disk cannot be filled from a client test";
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'p')");
    db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");  // the schema's pages out of the log
    const quantora::test::ScratchDir dir;
    constexpr int kFiles = 60;
    for (int i = 0; i < kFiles; ++i)
        quantora::test::WriteGeneratedSpe(dir.path / ("s" + std::to_string(100 + i) + ".spe"), i);
    // The log file may grow to 512 KiB: a few files fit.
    const auto r =
        quantora::test::RunQdb("spectrum import " + Quoted(db.uri()) + " " +
                                   Quoted(dir.path.string()) + " --new-measurements --project 1",
                               "ulimit -f 1024");
    EXPECT_EQ(r.code, 4) << r.out;  // the database failed
    int imported = -1;
    const size_t stop = r.out.find("stopped: the database failed at ");
    ASSERT_NE(stop, std::string::npos) << r.out;
    const std::string line = r.out.substr(stop, r.out.find('\n', stop) - stop);
    EXPECT_NE(line.find(" not imported"), std::string::npos) << line;  // all of it on one line
    EXPECT_EQ(r.out.find("stopped:", stop + 1), std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(line.c_str() + line.find("; "), "; %d imported", &imported), 1);
    EXPECT_GT(imported, 0);
    EXPECT_LT(imported, kFiles);
    EXPECT_EQ(r.out.find("refused:"), std::string::npos) << r.out;
    EXPECT_EQ(db.Count("MEASUREMENT"), imported);
}
