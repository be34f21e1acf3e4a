// Concurrent writers on one database: threads of this process, each with its own connection,
// every writer inserting measurements with spectra and blob chunks in a key range of its own, one
// transaction per measurement. The only error allowed is the engine's documented transient one,
// after which the writer runs the transaction again; afterwards the database holds exactly what
// the same writers leave when they run one after another. Prints rows per second.
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

TEST(ConcurrencyTest, EightWritersOnOneDatabase) {
    constexpr int kWriters = 8, kUnits = 50;
    TestDatabase db(true), sequential(true);
    rel::WriteStats total;
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
                ADD_FAILURE() << "writer " << w << ": " << e.Message;
            }
        });
    }
    for (auto& th : pool) th.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(total.units, kWriters * kUnits);
    for (int w = 0; w < kWriters; ++w) rel::RunWriter(sequential.alias(), w, 0, kUnits);
    EXPECT_EQ(rel::DatabaseDigest(db.alias()), rel::DatabaseDigest(sequential.alias()));
    if (!db.postgres()) {
        EXPECT_EQ(rel::IntegrityCheck(db.alias()), "ok");
    }
    std::cout << Format(
                     "[ rate     ] %d writers, %lld transactions, %lld rows in %.2f s: %.0f "
                     "rows/s, %lld retries",
                     kWriters, total.units, total.rows, seconds, total.rows / seconds,
                     total.retries)
              << std::endl;
}
