// Crash safety on SQLite: a worker process is killed with SIGKILL in the middle of a long XML
// import and of a long StoreBlobChunks, each in one transaction, at several moments (after a
// given number of progress reports from inside the transaction, or once uncommitted pages have
// spilled into the write-ahead log). Afterwards the file opens, passes PRAGMA integrity_check and
// holds exactly the state before or after the interrupted transaction, both while the crashed
// writer's log is recovered and after the log has been checkpointed into the file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/services/Blobutil.h"
#include "tests/reliability/WorkerProcess.h"
#include "tests/reliability/Workload.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::reliability::WorkerProcess;
using quantora::test::TestDatabase;
namespace rel = quantora::reliability;

namespace {

constexpr const char* kSkipReason =
    "kill -9 recovery is tested on the SQLite file engine; a PostgreSQL server recovers on its own";
constexpr auto kRunLimit = std::chrono::seconds(60);

// When to kill the worker: after its n-th progress report, once its -wal file holds at least
// `walBytes` (0: not used), or right after it reported its commit (`afterCommit`). `keepOpen`:
// the test keeps a connection of its own open meanwhile, so the log is recovered by a process
// that had the database open, not by a fresh opener.
struct KillAt {
    int afterProgress = 0;
    long long walBytes = 0;
    bool keepOpen = false;
    bool afterCommit = false;
};

std::string Describe(const KillAt& k) {
    std::string s = k.afterCommit ? std::string("after the commit")
                    : k.walBytes  ? Format("when the log holds %lld bytes", k.walBytes)
                                  : Format("after progress report %d", k.afterProgress);
    return s + (k.keepOpen ? ", database kept open by the test" : ", database closed by the test");
}

struct RunResult {
    int progress = 0;
    bool done = false;    // the worker reported its commit before it died
    bool killed = false;  // died of SIGKILL
    std::string error;    // an "error" line of the worker
};

// Lets the worker run until the kill point, kills it and reads what it still wrote.
RunResult RunAndKill(WorkerProcess& w, const KillAt& at, const std::string& walPath) {
    RunResult r;
    const auto limit = std::chrono::steady_clock::now() + kRunLimit;
    std::string line;
    bool sent = false;
    auto take = [&](const std::string& l) {
        if (l == "p") ++r.progress;
        if (l.rfind("done", 0) == 0) r.done = true;
        if (l.rfind("error", 0) == 0) r.error = l;
    };
    while (!w.eof() && std::chrono::steady_clock::now() < limit) {
        // The log size is polled every millisecond; otherwise lines are simply awaited.
        if (w.ReadLine(line, std::chrono::milliseconds(at.walBytes > 0 ? 1 : 100))) {
            take(line);
            if ((at.afterProgress > 0 && r.progress >= at.afterProgress) ||
                (at.afterCommit && r.done)) {
                w.Kill();
                sent = true;
                break;
            }
        } else if (at.walBytes > 0) {
            std::error_code ec;
            const auto size = std::filesystem::file_size(walPath, ec);
            if (!ec && static_cast<long long>(size) >= at.walBytes) {
                w.Kill();
                sent = true;
                break;
            }
        }
    }
    if (!sent && !w.eof()) {
        w.Kill();
        r.error = "the worker ran past the time limit";
    }
    for (const std::string& l : w.ReadRemainingLines()) take(l);
    const int status = w.Wait();
    r.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (!r.killed && !(WIFEXITED(status) && WEXITSTATUS(status) == 0) && r.error.empty())
        r.error = "worker ended with " + WorkerProcess::Describe(status);
    return r;
}

// Opens the file under a new alias after the crash, checks it and returns fn(alias); then again
// on a checkpointed file when no other connection remained open.
template <class Fn>
std::vector<std::string> InspectAfterCrash(const TestDatabase& db, const KillAt& at, Fn fn) {
    std::vector<std::string> states;
    const int passes = at.keepOpen ? 1 : 2;
    for (int pass = 0; pass < passes; ++pass) {
        const AnsiString alias = db.alias() + Format("_check%d", pass);
        OpenDatabase(alias, db.uri());
        EXPECT_EQ(rel::IntegrityCheck(alias), "ok") << Describe(at) << ", pass " << pass;
        states.push_back(fn(alias));
        CloseDatabase(alias);  // the last connection checkpoints the log into the file
    }
    return states;
}

class CrashSafetyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (quantora::test::UsingPostgres()) GTEST_SKIP() << kSkipReason;
    }
};

TEST_F(CrashSafetyTest, ImportKilledMidTransactionLeavesTheOldOrTheNewDatabase) {
    // A source database of measurements with real spectra, exported once.
    constexpr int kMeasurements = 1200;
    TestDatabase source(true);
    {
        Transaction tr(source.alias());
        rel::RunWriter(source.alias(), 0, 0, kMeasurements);
        tr.Commit();
    }
    const std::string xml = source.uri().substr(7) + ".xml";
    struct RemoveFile {
        std::string path;
        ~RemoveFile() { std::filesystem::remove(path); }
    } removeXml{xml};
    QuantoraXmlExporter().ExportDatabase(source.name(), xml.c_str());

    auto digest = [](const AnsiString& alias) {
        std::string d;
        for (const char* const* t = QuantoraXmlExporter::ExportedTables; *t; ++t)
            d += rel::TableDigest(alias, *t) + "\n";
        return d;
    };

    // The states to expect: the empty target, and the target after an import that ran to its end.
    std::string oldState, newState;
    int reports = 0;
    {
        TestDatabase target(true);
        oldState = digest(target.alias());
        CloseDatabase(target.alias());
        WorkerProcess w({"import", target.uri(), xml});
        RunResult r = RunAndKill(w, KillAt{}, target.uri().substr(7) + "-wal");
        ASSERT_TRUE(r.done && r.error.empty()) << r.error;
        reports = r.progress;
        OpenDatabase(target.alias(), target.uri());
        newState = digest(target.alias());
        EXPECT_EQ(std::stoll(target.Scalar("SELECT COUNT(*) FROM SPECTRUM")),
                  kMeasurements * rel::kSpectraPerUnit);
    }
    ASSERT_NE(oldState, newState);
    ASSERT_GE(reports, 8);

    const std::vector<KillAt> plan = {
        {1, 0, false},          {reports / 3, 0, true}, {reports / 2, 0, false},
        {reports - 1, 0, true}, {reports, 0, false},    {0, 4 << 20, false},
        {0, 8 << 20, false},    {0, 0, false, true},
    };
    int oldSeen = 0;
    for (const KillAt& at : plan) {
        SCOPED_TRACE(Describe(at));
        TestDatabase target(true);
        if (!at.keepOpen) CloseDatabase(target.alias());
        WorkerProcess w({"import", target.uri(), xml});
        RunResult r = RunAndKill(w, at, target.uri().substr(7) + "-wal");
        ASSERT_TRUE(r.error.empty()) << r.error;
        const std::vector<std::string> states = InspectAfterCrash(target, at, digest);
        for (const std::string& state : states) {
            EXPECT_EQ(state, states.front()) << "the checkpoint changed the state";
            const bool isOld = state == oldState, isNew = state == newState;
            EXPECT_TRUE(isOld || isNew) << "neither the empty nor the imported database:\n"
                                        << state;
            if (r.done) {
                EXPECT_TRUE(isNew) << "a reported commit was lost";
            }
            if (isOld) ++oldSeen;
        }
    }
    // The kills did interrupt transactions (not only hit finished imports).
    EXPECT_GT(oldSeen, 0);
}

TEST_F(CrashSafetyTest, StoreBlobChunksKilledMidTransactionLeavesTheOldOrTheNewValue) {
    constexpr int kChunk = 8192;
    constexpr const char* kOwner = "CRASHTEST";
    TestDatabase db(true);
    // A value of another owner that no run touches, and the owner's first value.
    const AnsiString bystander = rel::PatternBytes(300000, 99);
    quantora::CountingKeyGen bystanderKeys(1, db.alias());
    StoreBlobChunks(bystander, "BYSTANDER", 1, 0, 1, nullptr, &bystanderKeys, 7, kChunk);
    AnsiString current = rel::PatternBytes(3 << 20, 1);
    {
        quantora::CountingKeyGen keys(10000, db.alias());
        Transaction tr(db.alias());
        StoreBlobChunks(current, kOwner, 1, 0, 1, nullptr, &keys, 7, kChunk);
        tr.Commit();
    }
    const long long bystanderChunks = (bystander.size() + kChunk - 1) / kChunk;
    auto chunks = [&](const AnsiString& v) {
        return static_cast<long long>((v.size() + kChunk - 1) / kChunk);
    };

    const std::vector<KillAt> plan = {
        {1, 0, false},       {20, 0, true},       {0, 0, true, true},  {40, 0, false},
        {0, 4 << 20, false}, {0, 7 << 20, false}, {0, 0, false, true},
    };
    int oldSeen = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
        const KillAt& at = plan[i];
        SCOPED_TRACE(Describe(at));
        const size_t size = (i % 2 ? 5 : 6) << 20;
        const unsigned seed = static_cast<unsigned>(100 + i);
        const AnsiString next = rel::PatternBytes(size, seed);
        if (!at.keepOpen) CloseDatabase(db.alias());
        RunResult r;
        {
            WorkerProcess w({"blob", db.uri(), kOwner, "1", std::to_string(kChunk),
                             std::to_string(size), std::to_string(seed),
                             std::to_string(1000000 * (static_cast<int>(i) + 1))});
            r = RunAndKill(w, at, db.uri().substr(7) + "-wal");
        }
        ASSERT_TRUE(r.error.empty()) << r.error;
        const std::vector<std::string> states =
            InspectAfterCrash(db, at, [&](const AnsiString& alias) -> std::string {
                AnsiString value, other;
                try {
                    ReadBlobChunks(value, kOwner, 1, 0, 1, nullptr, kChunk, alias);
                    ReadBlobChunks(other, "BYSTANDER", 1, 0, 1, nullptr, kChunk, alias);
                } catch (const Exception& e) {
                    return "unreadable: " + e.Message;
                }
                TQuery q;
                q.SetDatabaseName(alias);
                q.SetSQL("SELECT COUNT(*) FROM BLOBCHUNK");
                q.Open();
                const long long rows = q.Fields()[0]->AsLargeInt();
                if (other != bystander) return "the other owner's value changed";
                if (value == current && rows == bystanderChunks + chunks(current)) return "old";
                if (value == next && rows == bystanderChunks + chunks(next)) return "new";
                return Format("neither: %zu bytes in %lld rows", value.size(), rows);
            });
        if (!at.keepOpen) OpenDatabase(db.alias(), db.uri());
        for (const std::string& s : states) {
            EXPECT_TRUE(s == "old" || s == "new") << s;
            EXPECT_EQ(s, states.front()) << "the checkpoint changed the state";
        }
        if (r.done) {
            EXPECT_EQ(states.front(), "new") << "a reported commit was lost";
        }
        if (states.front() == "old") ++oldSeen;
        if (states.front() == "new") current = next;
    }
    EXPECT_GT(oldSeen, 0);
}

}  // namespace
