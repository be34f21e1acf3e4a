// Concurrent writers on one database: worker processes with two threads each, and threads of this
// process (each thread has its own connection), every writer inserting measurements with spectra
// and blob chunks in a key range of its own, one transaction per measurement. The only error
// allowed is the engine's documented transient one, after which the writer runs the transaction
// again; afterwards every row is there once and reads back equal. Prints rows per second.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "quantora/base/Format.h"
#include "tests/reliability/WorkerProcess.h"
#include "tests/reliability/Workload.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::reliability::WorkerProcess;
using quantora::test::TestDatabase;
namespace rel = quantora::reliability;

namespace {

struct Totals {
    long long units = 0, rows = 0, retries = 0;
    double seconds = 0;
    std::vector<std::string> errors;
};

// `processes` workers with `threads` writers each, all started at once.
Totals RunProcesses(const TestDatabase& db, int processes, int threads, int units) {
    Totals t;
    std::vector<std::unique_ptr<WorkerProcess>> workers;
    for (int p = 0; p < processes; ++p)
        workers.push_back(std::make_unique<WorkerProcess>(
            std::vector<std::string>{"write", db.uri(), std::to_string(p * threads),
                                     std::to_string(threads), std::to_string(units)}));
    std::string line;
    for (auto& w : workers) {
        if (!w->ReadLine(line, std::chrono::seconds(30)) || line != "ready") {
            t.errors.push_back("worker not ready: " + line);
            return t;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto& w : workers) w->Send("go");
    for (auto& w : workers) {
        for (const std::string& l : w->ReadRemainingLines()) {
            std::istringstream in(l);
            std::string word;
            long long u = 0, r = 0, retries = 0;
            if (in >> word && word == "stats" && in >> u >> r >> retries) {
                t.units += u;
                t.rows += r;
                t.retries += retries;
            } else {
                t.errors.push_back(l);
            }
        }
        const int status = w->Wait();
        if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            t.errors.push_back("worker ended with " + WorkerProcess::Describe(status));
    }
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return t;
}

// `threads` writers in this process on one alias.
Totals RunThreads(const TestDatabase& db, int threads, int units) {
    Totals t;
    std::mutex m;
    std::vector<std::thread> pool;
    const auto start = std::chrono::steady_clock::now();
    for (int w = 0; w < threads; ++w) {
        pool.emplace_back([&, w] {
            try {
                rel::WriteStats s = rel::RunWriter(db.alias(), w, 0, units);
                std::lock_guard lock(m);
                t.units += s.units;
                t.rows += s.rows;
                t.retries += s.retries;
            } catch (const Exception& e) {
                std::lock_guard lock(m);
                t.errors.push_back(Format("writer %d: %s", w, e.Message.c_str()));
            }
        });
    }
    for (auto& th : pool) th.join();
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return t;
}

// Runs one configuration on a fresh database, checks it and reports its rate.
void RunConfiguration(const std::string& name, int processes, int threads, int units) {
    TestDatabase db(true);
    const int writers = processes > 0 ? processes * threads : threads;
    Totals t = processes > 0 ? RunProcesses(db, processes, threads, units)
                             : RunThreads(db, threads, units);
    for (const std::string& e : t.errors) ADD_FAILURE() << name << ": " << e;
    EXPECT_EQ(t.units, static_cast<long long>(writers) * units) << name;
    for (const std::string& p : rel::VerifyWriters(db.alias(), writers, units))
        ADD_FAILURE() << name << ": " << p;
    if (!db.postgres()) {
        EXPECT_EQ(rel::IntegrityCheck(db.alias()), "ok") << name;
    }

    const double rowsPerSecond = t.seconds > 0 ? t.rows / t.seconds : 0;
    const double unitsPerSecond = t.seconds > 0 ? t.units / t.seconds : 0;
    ::testing::Test::RecordProperty(name + "_rows_per_s", static_cast<int>(rowsPerSecond));
    ::testing::Test::RecordProperty(name + "_transactions_per_s", static_cast<int>(unitsPerSecond));
    ::testing::Test::RecordProperty(name + "_retries", static_cast<int>(t.retries));
    std::cout << Format(
                     "[ rate     ] %s: %d writers, %lld transactions, %lld rows in %.2f s: %.0f "
                     "rows/s, %.0f transactions/s, %lld retries",
                     name.c_str(), writers, t.units, t.rows, t.seconds, rowsPerSecond,
                     unitsPerSecond, t.retries)
              << std::endl;
}

constexpr const char* kSqliteOnly =
    "concurrent writers on one file: an SQLite test (QUANTORA_TEST_PG is set)";
constexpr const char* kPostgresOnly = "needs a PostgreSQL server: set QUANTORA_TEST_PG";
constexpr int kUnitsPerWriter = 50;

TEST(ConcurrencyTest, SqliteFourProcessesOfTwoThreads) {
    if (quantora::test::UsingPostgres()) GTEST_SKIP() << kSqliteOnly;
    RunConfiguration("sqlite_4proc_x_2thr", 4, 2, kUnitsPerWriter);
}

TEST(ConcurrencyTest, SqliteEightThreadsInOneProcess) {
    if (quantora::test::UsingPostgres()) GTEST_SKIP() << kSqliteOnly;
    RunConfiguration("sqlite_8thr", 0, 8, kUnitsPerWriter);
}

TEST(ConcurrencyTest, PostgresEightClients) {
    if (!quantora::test::UsingPostgres()) GTEST_SKIP() << kPostgresOnly;
    RunConfiguration("pg_4proc_x_2thr", 4, 2, kUnitsPerWriter);
    RunConfiguration("pg_8thr", 0, 8, kUnitsPerWriter);
}

}  // namespace
