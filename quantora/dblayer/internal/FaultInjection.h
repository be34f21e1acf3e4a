// Test hook for fault injection: counts the statements of user SQL that TQuery runs on this
// thread and makes the n-th one fail with an EDatabaseError, as if the engine had refused it.
// An observer may watch each counted statement before it runs (e.g. to dump the database).
// Transaction control (BEGIN, COMMIT, savepoints) is not counted. Off, the hook costs TQuery one
// thread-local lookup and branch per statement.
#pragma once

#include <functional>

#include "quantora/base/Types.h"

namespace quantora::db {

// Non-zero while counting is on for this thread; read inline before every statement. The
// default TLS model keeps the library loadable with dlopen; a lookup costs nanoseconds against a
// statement's microseconds.
extern constinit thread_local int t_statement_hook;

// Counts the statement and throws the injected fault when its number comes up.
void CountStatement(const AnsiString& sql);

// Called by TQuery right before it runs a statement of user SQL.
inline void BeforeStatement(const AnsiString& sql) {
    if (t_statement_hook) [[unlikely]]
        CountStatement(sql);
}

// Number and SQL text of a counted statement, before it runs.
using StatementObserver = std::function<void(int number, const AnsiString& sql)>;

// Restarts the count and makes statement `n` (1-based) fail once; 0 turns the fault off.
// Counting is on while a FaultScope, an armed fault or an observer exists.
void FailStatementAt(int n);
// Statements counted since counting began or the count was restarted.
int StatementsRun();
// Installs (or with an empty function removes) the observer. It runs suspended: its own
// queries are neither counted nor failed.
void SetStatementObserver(StatementObserver observer);

// While alive, this thread's statements are neither counted, observed nor failed.
class StatementHookSuspend {
  public:
    StatementHookSuspend();
    ~StatementHookSuspend();
    StatementHookSuspend(const StatementHookSuspend&) = delete;
    StatementHookSuspend& operator=(const StatementHookSuspend&) = delete;
};

// Turns counting on for this thread (count restarted, no fault armed, no observer) and turns
// every part of the hook off again on destruction. One scope per thread at a time.
class FaultScope {
  public:
    FaultScope();
    ~FaultScope();
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;
};

}  // namespace quantora::db
