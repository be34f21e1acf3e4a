// The problems that stand in the way of deleting one object, as the user sees and resolves them.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

enum DeletionProblemState : unsigned char { Solved = 0, Resolvable = 1, NotResolvable = 2 };

struct DeletionProblem {
    DeletionProblemState State = NotResolvable;
    AnsiString Description;
};

class DbObjectDeletionInfo {
  public:
    std::vector<DeletionProblem> Problems;

    // True when no problem is NotResolvable.
    bool DeletionCheck() const;
    // True at once without problems; otherwise shows the problems (through the installed
    // presenter) and returns true only when the user confirmed. Deletes nothing itself.
    bool Delete(bool flag);
};
