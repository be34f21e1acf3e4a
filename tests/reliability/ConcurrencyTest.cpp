// Concurrent writers on one database, each a thread with its own connection and key range,
// retrying only on the engine's transient errors: afterwards the database holds exactly what the
// same writers leave when they run one after another.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/reliability/Workload.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/TestDatabase.h"

using quantora::test::TestDatabase;
using quantora::test::TestEngine;
namespace rel = quantora::reliability;

TEST(ConcurrencyTest, EightWritersOnOneDatabase) {
    constexpr int kWriters = 8, kUnits = 50;
    TestDatabase db(true), sequential(true);
    std::vector<std::thread> pool;
    for (int w = 0; w < kWriters; ++w)
        pool.emplace_back([&, w] {
            try {
                rel::RunWriter(db.alias(), w, kUnits);
            } catch (const Exception& e) {
                ADD_FAILURE() << "writer " << w << ": " << e.Message;
            }
        });
    for (auto& th : pool) th.join();
    for (int w = 0; w < kWriters; ++w) rel::RunWriter(sequential.alias(), w, kUnits);
    EXPECT_EQ(quantora::test::DumpTables(db.alias()),
              quantora::test::DumpTables(sequential.alias()));
    EXPECT_TRUE(db.engine() == TestEngine::PostgreSQL || rel::IntegrityCheck(db.alias()) == "ok");
}
