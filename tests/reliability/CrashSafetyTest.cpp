// Crash safety on SQLite: a worker process is killed with SIGKILL in the middle of one long
// transaction (an XML import; a StoreBlobChunks replacing a value of several MB), at several
// progress reports and right after it reported its commit. Afterwards the file passes PRAGMA
// integrity_check and holds exactly the state before or after the transaction, both while the
// crashed writer's log is recovered and after the log has been checkpointed into the file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/services/Blobutil.h"
#include "tests/reliability/Workload.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;
namespace rel = quantora::reliability;

namespace {

struct RunResult {
    int progress = 0;
    bool done = false;  // the worker reported its commit before it died
};

// Runs the worker with `args` (words without quotes) and kills it after its `killAfter`-th
// progress report or right after it reported its commit, whichever comes first.
RunResult RunAndKill(const std::vector<std::string>& args, int killAfter) {
    std::string command = "exec " RELIABILITY_WORKER;
    for (const std::string& a : args) command += " '" + a + "'";
    FILE* in = popen(command.c_str(), "r");
    if (!in) throw std::runtime_error("popen failed");
    RunResult r;
    char line[256];
    pid_t pid = 0;
    bool killed = false;
    while (std::fgets(line, sizeof line, in)) {
        if (std::sscanf(line, "worker %d", &pid) == 1) continue;  // its first line
        r.progress += line[0] == 'p';
        r.done = r.done || std::strncmp(line, "done", 4) == 0;
        if (!killed && pid > 0 && (r.done || r.progress >= killAfter))
            killed = kill(pid, SIGKILL) == 0;
    }
    const int status = pclose(in);
    EXPECT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    return r;
}

TEST(CrashSafetyTest, AKilledTransactionLeavesTheOldOrTheNewDatabase) {
    if (quantora::test::UsingPostgres())
        GTEST_SKIP() << "kill -9 recovery is tested on the SQLite file engine";
    // A source database of measurements with real spectra, exported once.
    TestDatabase source(true);
    {
        Transaction tr(source.alias());
        rel::RunWriter(source.alias(), 0, 1200);
        tr.Commit();
    }
    const std::string xml = source.uri().substr(7) + ".xml";
    struct RemoveFile {
        std::string path;
        ~RemoveFile() { std::filesystem::remove(path); }
    } removeXml{xml};
    QuantoraXmlExporter().ExportDatabase(source.name(), xml.c_str());
    // The worker's mode and its arguments after the database; the blob replaces a value of 3 MB
    // next to another owner's value.
    const struct {
        const char* mode;
        std::string argument, seed;
    } scenarios[] = {{"import", xml, ""}, {"blob", std::to_string(6 << 20), "5"}};
    for (const auto& s : scenarios) {
        std::string oldState, newState;
        // The first run is killed right after its commit; it also counts the progress reports.
        int reports = 1 << 30, oldSeen = 0;
        for (int plan = 0; plan < 5; ++plan) {
            const int killAfter = plan == 0 ? reports : plan * reports / 4;
            const bool keepOpen = plan % 2 == 1;  // log recovered by a process that has it open
            SCOPED_TRACE(Format("%s killed after report %d of %d, %s", s.mode, killAfter, reports,
                                keepOpen ? "kept open" : "closed"));
            TestDatabase db(true);
            for (const auto& [owner, bytes, seed, firstKey] :
                 {std::tuple{"BYSTANDER", 300000, 99, 1}, {"CRASHTEST", 3 << 20, 1, 10000}}) {
                if (s.seed.empty()) break;
                quantora::CountingKeyGen keys(firstKey, db.alias());
                Transaction tr(db.alias());
                StoreBlobChunks(rel::PatternBytes(bytes, seed), owner, 1, 0, 1, nullptr, &keys, 7,
                                8192);
                tr.Commit();
            }
            if (plan == 0) oldState = rel::DatabaseDigest(db.alias());
            if (!keepOpen) CloseDatabase(db.alias());
            std::vector<std::string> args{s.mode, db.uri(), s.argument};
            if (!s.seed.empty()) args.push_back(s.seed);
            const RunResult r = RunAndKill(args, killAfter);
            std::vector<std::string> states;
            for (int pass = 0; pass < (keepOpen ? 1 : 2); ++pass) {
                const AnsiString alias = db.alias() + Format("_check%d", pass);
                OpenDatabase(alias, db.uri());
                EXPECT_EQ(rel::IntegrityCheck(alias), "ok");
                states.push_back(rel::DatabaseDigest(alias));
                CloseDatabase(alias);  // the last connection checkpoints the log into the file
            }
            if (plan == 0) {  // run to its commit: the new state
                ASSERT_TRUE(r.done);
                ASSERT_GE(r.progress, 8);
                reports = r.progress;
                newState = states.front();
                ASSERT_NE(oldState, newState);
            }
            for (const std::string& state : states) {
                EXPECT_EQ(state, states.front()) << "the checkpoint changed the state";
                EXPECT_TRUE(state == oldState || state == newState) << state;
                EXPECT_TRUE(!r.done || state == newState) << "a reported commit was lost";
            }
            oldSeen += states.front() == oldState;
            if (!keepOpen) OpenDatabase(db.alias(), db.uri());
        }
        EXPECT_GT(oldSeen, 0) << s.mode << ": no kill interrupted a transaction";
    }
}

}  // namespace
