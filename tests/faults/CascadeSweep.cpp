// The sweep of one cascade over every fault point.
#include "tests/faults/CascadeSweep.h"

#include <gtest/gtest.h>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/dblayer/internal/FaultInjection.h"

namespace quantora::test {
namespace {

using quantora::db::FaultScope;

struct RunOutcome {
    bool reported = false;  // threw or returned false
    bool threw = false;
    bool databaseError = false;
    AnsiString message;
    int statements = 0;
};

RunOutcome Run(const TestDatabase& db, const Cascade& c, int failAt, bool inTransaction) {
    RunOutcome out;
    FaultScope scope;
    quantora::db::FailStatementAt(failAt);
    try {
        if (inTransaction) {
            Transaction tr(db.alias());
            out.reported = !c.action();
            if (!out.reported) tr.Commit();
        } else {
            out.reported = !c.action();
        }
    } catch (const EDatabaseError& e) {
        out.reported = out.threw = out.databaseError = true;
        out.message = e.Message;
    } catch (const Exception& e) {
        out.reported = out.threw = true;
        out.message = e.Message;
    }
    out.statements = quantora::db::StatementsRun();
    return out;
}

int OpenTransactions(const TestDatabase& db) {
    return quantora::db::ConnectionFor(db.alias())->transaction_depth;
}

}  // namespace

int SweepCascade(const TestDatabase& db, const DatabaseImage& image,
                 const DatabaseImage::Rows& fill, const Cascade& c) {
    image.Restore(fill, image.Take());
    if (c.fill) c.fill();
    const DatabaseImage::Rows start = image.Snapshot();
    const Dump& before = start.dump;

    // The clean run: a dump before every statement.
    std::vector<Dump> oracle;
    std::vector<AnsiString> sqls;
    {
        FaultScope scope;
        quantora::db::SetStatementObserver([&](int, const AnsiString& sql) {
            oracle.push_back(image.Take());
            sqls.push_back(sql);
        });
        EXPECT_TRUE(c.action()) << "the clean run failed";
    }
    const Dump final = image.Take();
    const int n = static_cast<int>(sqls.size());
    EXPECT_TRUE(n == 0 || !(final == before)) << "the fill does not reach the cascade";

    Dump current = final;
    int points = 0;
    for (int k = 1; k <= n; ++k) {
        const AnsiString& sql = sqls[static_cast<size_t>(k - 1)];
        for (bool inTransaction : {false, true}) {
            SCOPED_TRACE(Format("fault at statement %d of %d (%s): %s", k, n,
                                inTransaction ? "in a transaction" : "no transaction",
                                sql.c_str()));
            image.Restore(start, current);
            const RunOutcome r = Run(db, c, k, inTransaction);
            ++points;
            current = image.Take();
            EXPECT_EQ(OpenTransactions(db), 0) << "a transaction was left open";
            EXPECT_GE(r.statements, k) << "the run did not reach the statement";

            if (c.dropped && c.dropped(sql)) {
                EXPECT_FALSE(r.reported) << r.message;
                EXPECT_TRUE(current == final) << image.Changes(final, current);
                continue;
            }
            if (c.swallowed) {
                EXPECT_FALSE(r.reported) << r.message;
                c.swallowed(k, sqls, before, current);
                continue;
            }
            EXPECT_TRUE(r.reported) << "the failure was neither raised nor reported";
            if (r.threw) {
                EXPECT_TRUE(r.databaseError || c.wrapsError) << r.message;
                EXPECT_NE(r.message.find(Format("Injected fault at statement %d: ", k)),
                          std::string::npos)
                    << r.message;
            }
            const Dump& expected = inTransaction || c.plain == Plain::Untouched
                                       ? before
                                       : oracle[static_cast<size_t>(k - 1)];
            EXPECT_TRUE(current == expected) << image.Changes(expected, current);
        }
    }

    // Whatever the failures left behind (caller's queries, caches) does not change a clean run.
    image.Restore(start, current);
    const RunOutcome again = Run(db, c, 0, false);
    EXPECT_FALSE(again.reported) << again.message;
    EXPECT_EQ(again.statements, n);
    current = image.Take();
    EXPECT_TRUE(current == final) << image.Changes(final, current);
    return points;
}

}  // namespace quantora::test
