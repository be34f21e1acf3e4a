// Crash safety on SQLite: a worker process is killed with SIGKILL in the middle of one long
// transaction (an XML import of a database of 1200 measurements with real spectra), at several
// progress reports and right after it reported its commit. Afterwards the file passes PRAGMA
// integrity_check and holds exactly the state before or after the transaction, both while the
// crashed writer's log is recovered and after the log has been checkpointed into the file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/exchange/XmlExporter.h"
#include "tests/exchange/ExchangeTestSupport.h"
#include "tests/reliability/Workload.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;
using quantora::test::TestEngine;
namespace rel = quantora::reliability;

namespace {

struct RunResult {
    int progress = 0;
    bool done = false;  // the worker reported its commit before it died
};

// Runs the worker's import of `xml` into `uri` and kills it after its `killAfter`-th progress
// report (where it waits, stopped) or right after it reported its commit, whichever comes first.
RunResult RunAndKill(const std::string& uri, const std::string& xml, int killAfter) {
    const std::string command = "exec " RELIABILITY_WORKER " import '" + uri + "' '" + xml + "' " +
                                std::to_string(killAfter);
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
    if (quantora::test::SuiteEngine() == TestEngine::PostgreSQL)
        GTEST_SKIP() << "kill -9 recovery is tested on the SQLite file engine";
    // A source database of measurements with real spectra, exported once.
    TestDatabase source(true);
    {
        Transaction tr(source.alias());
        rel::RunWriter(source.alias(), 0, 1200);
        tr.Commit();
    }
    const quantora::test::TempPath xml;
    QuantoraXmlExporter().ExportDatabase(source.name(), xml.c_str());
    // The first run is killed right after its commit, which gives the new state; it also counts
    // the progress reports.
    quantora::test::TableDump oldState, newState;
    int reports = 1 << 30, oldSeen = 0;
    for (int plan = 0; plan < 5; ++plan) {
        const int killAfter = plan == 0 ? reports : plan * reports / 4;
        const bool keepOpen = plan % 2 == 1;  // log recovered by a process that has it open
        SCOPED_TRACE(Format("killed after report %d of %d, %s", killAfter, reports,
                            keepOpen ? "kept open" : "closed"));
        TestDatabase db(true);
        if (plan == 0) oldState = quantora::test::DumpTables(db.alias());
        if (!keepOpen) CloseDatabase(db.alias());
        const RunResult r = RunAndKill(db.uri(), xml.str(), killAfter);
        std::vector<quantora::test::TableDump> states;
        for (int pass = 0; pass < (keepOpen ? 1 : 2); ++pass) {
            const AnsiString alias = db.alias() + Format("_check%d", pass);
            OpenDatabase(alias, db.uri());
            EXPECT_EQ(rel::IntegrityCheck(alias), "ok");
            states.push_back(quantora::test::DumpTables(alias));
            CloseDatabase(alias);  // the last connection checkpoints the log into the file
        }
        if (plan == 0) {
            ASSERT_TRUE(r.done);
            ASSERT_GE(r.progress, 8);
            reports = r.progress;
            newState = states.front();
            ASSERT_NE(oldState, newState);
        }
        for (const auto& state : states) {
            EXPECT_EQ(state, states.front()) << "the checkpoint changed the state";
            EXPECT_TRUE(state == oldState || state == newState);
            EXPECT_TRUE(!r.done || state == newState) << "a reported commit was lost";
        }
        oldSeen += states.front() == oldState;
        if (!keepOpen) OpenDatabase(db.alias(), db.uri());
    }
    EXPECT_GT(oldSeen, 0) << "no kill interrupted the transaction";
}

}  // namespace
