// Checks a deletion cascade statement by statement: each statement in turn is made to fail by
// renaming its table away. The error must quote that statement, the statements before it must
// have taken effect and the ones after it not; inside a caller's transaction nothing is left;
// a full run does every statement's work and leaves the other rows alone.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/Transaction.h"
#include "tests/support/TestDatabase.h"

namespace quantora::test {

struct CascadeStatement {
    const char* table;     // the table the statement works on
    AnsiString statement;  // the exact text sent, key filled in
    AnsiString pending;    // counts the rows the statement still has to remove or change
};

// `fill` empties and fills the tables; `survivors` counts rows the cascade must not touch.
inline void CheckCascade(const TestDatabase& db, const std::function<void()>& fill,
                         const std::function<void()>& remove,
                         const std::vector<CascadeStatement>& steps, const AnsiString& survivors) {
    auto count = [&](const AnsiString& sql) { return std::stoi(db.Scalar(sql)); };
    auto rename = [&](const char* table, bool away) {
        db.Exec(away ? Format("ALTER TABLE %s RENAME TO %s_AWAY", table, table)
                     : Format("ALTER TABLE %s_AWAY RENAME TO %s", table, table));
    };
    auto fail_at = [&](size_t i, bool in_transaction) {
        fill();
        for (const auto& s : steps) ASSERT_GT(count(s.pending), 0) << "set-up: " << s.statement;
        rename(steps[i].table, true);
        try {
            if (in_transaction) {
                Transaction tr(db.alias());
                remove();
                tr.Commit();
            } else {
                remove();
            }
            ADD_FAILURE() << "the cascade did not fail";
        } catch (const EDatabaseError& e) {
            EXPECT_NE(e.Message.find(steps[i].statement), std::string::npos) << e.Message;
        }
        rename(steps[i].table, false);
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].statement);
        fail_at(i, false);
        for (size_t j = 0; j < steps.size(); ++j)
            EXPECT_EQ(count(steps[j].pending) == 0, j < i) << "ran: " << steps[j].statement;
    }
    fail_at(steps.size() - 1, true);
    for (const auto& s : steps) EXPECT_GT(count(s.pending), 0) << "not undone: " << s.statement;

    fill();
    const int others = count(survivors);
    remove();
    for (const auto& s : steps) EXPECT_EQ(count(s.pending), 0) << "not done: " << s.statement;
    EXPECT_EQ(count(survivors), others);
}

}  // namespace quantora::test
