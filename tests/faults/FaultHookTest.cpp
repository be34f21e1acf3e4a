// The fault injection hook: which statements count, the one-shot fault and its message, the
// observer and suspension, the scope's reset, and the state a failed statement leaves a TQuery
// in (the same as an engine failure at that point).
#include <gtest/gtest.h>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/dblayer/internal/FaultInjection.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;
namespace fi = quantora::db;

namespace {

AnsiString FailureOf(const std::function<void()>& f) {
    return quantora::test::Raised<EDatabaseError>(f).Message;
}

TEST(FaultHook, CountsUserStatementsAndFailsTheChosenOneOnce) {
    TestDatabase db(true);
    const char* insert[] = {"INSERT INTO ADC (ADC_ID) VALUES (1)",
                            "INSERT INTO ADC (ADC_ID) VALUES (2)"};
    std::vector<std::string> seen;
    {
        fi::FaultScope scope;
        // The observer runs before each counted statement; its own queries are not counted.
        fi::SetStatementObserver([&](int n, const AnsiString& sql) {
            seen.push_back(
                Format("%d %s %s", n, db.Scalar("SELECT COUNT(*) FROM ADC").c_str(), sql.c_str()));
        });
        fi::FailStatementAt(2);
        Transaction tr(db.alias());  // BEGIN and COMMIT are not counted
        db.Exec(insert[0]);
        EXPECT_EQ(FailureOf([&] { db.Exec(insert[1]); }),
                  Format("Injected fault at statement 2: %s", insert[1]));
        db.Exec(insert[1]);  // the fault fired once
        tr.Commit();
        {
            fi::StatementHookSuspend hold;
            EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM ADC") + Format(" %d", fi::t_statement_hook),
                      "2 0");
        }
        EXPECT_EQ(Format("%d %d", fi::StatementsRun(), fi::t_statement_hook), "3 1");
    }
    EXPECT_EQ(seen,
              (std::vector<std::string>{Format("1 0 %s", insert[0]), Format("2 1 %s", insert[1]),
                                        Format("3 1 %s", insert[1])}));
    // The scope's end turned everything off; an armed fault outside a scope counts on its own,
    // and 0 disarms it.
    db.Exec("DELETE FROM ADC WHERE ADC_ID = 2");
    EXPECT_EQ(Format("%d %d %zu", fi::t_statement_hook, fi::StatementsRun(), seen.size()), "0 0 3");
    fi::FailStatementAt(1);
    EXPECT_NE(FailureOf([&] { db.Scalar("SELECT 1"); }), "");
    fi::FailStatementAt(0);
    EXPECT_EQ(fi::t_statement_hook, 0);
}

TEST(FaultHook, AFailedStatementLeavesTheQueryAsAnEngineFailureDoes) {
    TestDatabase db(true);
    db.Exec("INSERT INTO ADC (ADC_ID, NAME) VALUES (1, 'a')");
    fi::FaultScope scope;
    TQuery q, u;
    for (TQuery* t : {&q, &u}) t->SetDatabaseName(db.alias());

    // Open: inactive afterwards, opens again.
    q.SetSQL("SELECT * FROM ADC");
    q.SetRequestLive(true);
    fi::FailStatementAt(1);
    EXPECT_TRUE(FailureOf([&] { q.Open(); }) != "" && !q.Active());
    q.Open();

    // Post: the row stays in insert state, as after a duplicate key; a second Post goes on.
    q.Insert();
    q.FieldByName("ADC_ID")->SetAsInteger(2);
    fi::FailStatementAt(1);
    EXPECT_EQ(FailureOf([&] { q.Post(); }).rfind("Injected fault at statement 1: INSERT", 0), 0u);
    EXPECT_EQ(q.State(), dsInsert);
    q.Post();
    EXPECT_EQ(db.Count("ADC"), 2);

    // ExecSQL: -1 rows, a prepared statement stays prepared and runs again.
    u.SetSQL("UPDATE ADC SET NAME = :n");
    u.ParamByName("n")->SetAsString("x");
    u.Prepare();
    fi::FailStatementAt(1);
    EXPECT_TRUE(FailureOf([&] { u.ExecSQL(); }) != "" && u.RowsAffected() == -1 && u.Prepared());
    u.ExecSQL();
    EXPECT_EQ(u.RowsAffected(), 2);
}

}  // namespace
