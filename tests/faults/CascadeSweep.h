// Fault sweep of one cascade: a clean run records a whole-database dump before every statement;
// then each statement in turn is made to fail, once inside a caller's Transaction and once
// without, and the database is compared with what the cascade promises for that case.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/faults/DatabaseImage.h"

namespace quantora::test {

// What stays when a statement fails and the caller has no transaction.
enum class Plain {
    Prefix,     // the statements before the failed one stay done
    Untouched,  // the library runs its own transaction: nothing stays
};

struct Cascade {
    std::string name{};
    // Rows of its own on top of DatabaseImage::FillEveryTable (may be empty).
    std::function<void()> fill{};
    // Runs the cascade; false when it reports a failure by its result instead of throwing.
    std::function<bool()> action{};
    Plain plain = Plain::Prefix;
    const char* why = "";  // one line: why `plain` holds
    // The error may pass as an Exception of the cascade's own that quotes the database error
    // instead of the EDatabaseError itself.
    bool wrapsError = false;
    // Statements whose failure the library drops by definition (logged, not raised): the run
    // goes on and ends as the clean run does.
    std::function<bool(const AnsiString& sql)> dropped{};
    // For cascades that swallow every failure: checks the state after statement `k` (1-based,
    // `sqls` of the clean run) failed, instead of the comparison with the clean run's dumps.
    std::function<void(int k, const std::vector<AnsiString>& sqls, const Dump& before,
                       const Dump& after)>
        swallowed{};
};

// Puts the database back to `fill` plus the cascade's own rows, sweeps every statement of `c`
// on both paths and checks a clean rerun. Returns the number of fault points tried (two per
// statement).
int SweepCascade(const TestDatabase& db, const DatabaseImage& image,
                 const DatabaseImage::Rows& fill, const Cascade& c);

}  // namespace quantora::test
