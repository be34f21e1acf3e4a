// Concurrent writers on one database: threads of this process, each with its own connection,
// every writer inserting measurements with spectra and blob chunks in a key range of its own, one
// transaction per measurement. The only error allowed is the engine's documented transient one,
// after which the writer runs the transaction again; afterwards every row is there once and reads
// back equal. Prints rows per second.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "quantora/base/Format.h"
#include "tests/reliability/Workload.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;
namespace rel = quantora::reliability;

namespace {

TEST(ConcurrencyTest, EightWritersOnOneDatabase) {
    constexpr int kWriters = 8, kUnits = 50;
    TestDatabase db(true);
    rel::WriteStats total;
    std::vector<std::string> errors;
    std::mutex m;
    std::vector<std::thread> pool;
    const auto start = std::chrono::steady_clock::now();
    for (int w = 0; w < kWriters; ++w) {
        pool.emplace_back([&, w] {
            try {
                const rel::WriteStats s = rel::RunWriter(db.alias(), w, 0, kUnits);
                std::lock_guard lock(m);
                total.units += s.units;
                total.rows += s.rows;
                total.retries += s.retries;
            } catch (const Exception& e) {
                std::lock_guard lock(m);
                errors.push_back(Format("writer %d: %s", w, e.Message.c_str()));
            }
        });
    }
    for (auto& th : pool) th.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const std::string& e : errors) ADD_FAILURE() << e;
    EXPECT_EQ(total.units, kWriters * kUnits);
    for (const std::string& p : rel::VerifyWriters(db.alias(), kWriters, kUnits))
        ADD_FAILURE() << p;
    if (!db.postgres()) {
        EXPECT_EQ(rel::IntegrityCheck(db.alias()), "ok");
    }
    std::cout
        << Format(
               "[ rate     ] %d writers, %lld transactions, %lld rows in %.2f s: %.0f rows/s, "
               "%lld retries",
               kWriters, total.units, total.rows, seconds, seconds > 0 ? total.rows / seconds : 0.0,
               total.retries)
        << std::endl;
}

}  // namespace
