// Importers at once on one database, each a qdb process: 2 and 4 imports of overlapping folders
// store every file once, refuse none and all exit 0; on PostgreSQL the importers' connections are
// also cut again and again while they work, and the batches still complete. The folders hold
// QUANTORA_STRESS_FILES generated spectra (a short run by default; scripts/stress-import.sh runs
// a long one).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "tests/qdb/QdbRun.h"
#include "tests/support/GeneratedSpectra.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::QdbResult;
using quantora::test::Quoted;
using quantora::test::RunQdb;
using quantora::test::ScratchDir;
using quantora::test::TestDatabase;
using quantora::test::TestEngine;

namespace {

namespace fs = std::filesystem;

int StressFiles() {
    const char* n = std::getenv("QUANTORA_STRESS_FILES");
    return n && std::atoi(n) > 0 ? std::atoi(n) : 60;
}

// Folders A (the first two thirds of the files) and B (the last two thirds), links into a pool.
struct Folders {
    ScratchDir dir;
    int files = StressFiles();
    Folders() {
        for (const char* d : {"pool", "a", "b"}) fs::create_directory(dir.path / d);
        for (int i = 0; i < files; ++i) {
            const std::string name = Format("s%05d.spe", i);
            quantora::test::WriteGeneratedSpe(dir.path / "pool" / name, i);
            if (i < files * 2 / 3)
                fs::create_symlink(dir.path / "pool" / name, dir.path / "a" / name);
            if (i >= files / 3) fs::create_symlink(dir.path / "pool" / name, dir.path / "b" / name);
        }
    }
};

// Cuts every connection of the importers (told apart by their application name) that is storing
// a file, three times with a pause to work between; counts the cuts.
class ConnectionCutter {
  public:
    ConnectionCutter(const TestDatabase& db, std::string application)
        : thread_([this, &db, application] {
              db.Scalar("SELECT 1");  // the connection is open before the importers start
              ready_ = true;
              ready_.notify_all();
              for (int rounds = 0; !stop_ && rounds < 3;) {
                  const int cut = std::stoi(db.Scalar(
                      "SELECT COUNT(*) FROM (SELECT pg_terminate_backend(pid) FROM "
                      "pg_stat_activity WHERE application_name = '" +
                      application +
                      "' AND pid IN (SELECT pid FROM pg_locks WHERE locktype = 'advisory')) AS k"));
                  cuts_ += cut;
                  rounds += cut > 0;
                  std::this_thread::sleep_for(std::chrono::milliseconds(cut ? 300 : 2));
              }
          }) {
        ready_.wait(false);
    }
    ~ConnectionCutter() { Stop(); }
    int Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return cuts_;
    }

  private:
    std::atomic<bool> stop_{false}, ready_{false};
    std::atomic<int> cuts_{0};
    std::thread thread_;
};

}  // namespace

TEST(ImportStress, ConcurrentImportsOfOverlappingFoldersStoreEachFileOnce) {
    const Folders folders;
    for (const int importers : {2, 4}) {
        TestDatabase db(true);
        db.Exec("INSERT INTO PROJECT (PROJECT_ID, NAME) VALUES (1, 'stress')");
        const std::string application = db.alias() + "_importer";
        const std::string uri = db.engine() == TestEngine::PostgreSQL
                                    ? db.uri() + "&application_name=" + application
                                    : db.uri();
        std::optional<ConnectionCutter> cutter;
        if (db.engine() == TestEngine::PostgreSQL && importers == 4)
            cutter.emplace(db, application);
        std::vector<QdbResult> results(importers);
        std::vector<std::thread> runs;
        for (int i = 0; i < importers; ++i)
            runs.emplace_back([&, i] {
                results[i] = RunQdb("spectrum import " + Quoted(uri) + " " +
                                    Quoted(folders.dir / (i % 2 ? "b" : "a")) +
                                    " --new-measurements --project 1");
            });
        for (std::thread& t : runs) t.join();
        if (cutter) {
            EXPECT_GT(cutter->Stop(), 0) << "no connection was cut";
        }

        for (const QdbResult& r : results) {
            // The summary or error line says why, the lines of files imported do not.
            const size_t why = std::min(r.out.find("stopped:"), r.out.find("qdb spectrum:"));
            EXPECT_EQ(r.code, 0) << (why == std::string::npos ? r.out : r.out.substr(why, 400));
            EXPECT_EQ(r.out.find("refused:"), std::string::npos) << r.out;
        }
        EXPECT_EQ(db.Count("MEASUREMENT"), folders.files) << importers << " importers";
        EXPECT_EQ(db.Count("SPECTRUM"), folders.files) << importers << " importers";
        EXPECT_EQ(db.Count("(SELECT CRC32 FROM SPECTRUM GROUP BY CRC32, CHANNELS, LIVETIME, "
                           "TRUETIME HAVING COUNT(*) > 1) AS d"),
                  0);
    }
}
