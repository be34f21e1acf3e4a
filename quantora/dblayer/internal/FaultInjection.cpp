// The fault injection hook's per-thread state.
#include "quantora/dblayer/internal/FaultInjection.h"

#include <utility>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"

namespace quantora::db {

constinit thread_local int t_statement_hook = 0;

namespace {

struct HookState {
    bool counting = false;  // a FaultScope is open
    int run = 0;            // statements counted
    int fail_at = 0;        // 0: no fault armed
    int suspended = 0;      // depth of StatementHookSuspend guards
    StatementObserver observer;
};

thread_local HookState t_state;

// The inline flag follows the state: on while anything wants to see statements, unsuspended.
void Refresh() {
    const HookState& s = t_state;
    t_statement_hook = (s.counting || s.fail_at || s.observer) && s.suspended == 0 ? 1 : 0;
}

}  // namespace

void CountStatement(const AnsiString& sql) {
    HookState& s = t_state;
    const int number = ++s.run;
    if (s.observer) {
        StatementHookSuspend suspend;
        s.observer(number, sql);
    }
    if (s.fail_at != number) return;
    s.fail_at = 0;  // one fault per arming: clean-up statements after it run normally
    Refresh();
    throw EDatabaseError(Format("Injected fault at statement %d: %s", number, sql.c_str()));
}

void FailStatementAt(int n) {
    t_state.run = 0;
    t_state.fail_at = n > 0 ? n : 0;
    Refresh();
}

int StatementsRun() {
    return t_state.run;
}

void SetStatementObserver(StatementObserver observer) {
    t_state.observer = std::move(observer);
    Refresh();
}

StatementHookSuspend::StatementHookSuspend() {
    ++t_state.suspended;
    Refresh();
}

StatementHookSuspend::~StatementHookSuspend() {
    --t_state.suspended;
    Refresh();
}

FaultScope::FaultScope() {
    const int suspended = t_state.suspended;
    t_state = HookState{};
    t_state.counting = true;
    t_state.suspended = suspended;
    Refresh();
}

FaultScope::~FaultScope() {
    const int suspended = t_state.suspended;
    t_state = HookState{};
    t_state.suspended = suspended;
    Refresh();
}

}  // namespace quantora::db
