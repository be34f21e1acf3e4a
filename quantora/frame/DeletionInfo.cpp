// DbObjectDeletionInfo.
#include "quantora/frame/DeletionInfo.h"

#include "quantora/frame/UiHooks.h"

bool DbObjectDeletionInfo::DeletionCheck() const {
    for (const DeletionProblem& p : Problems)
        if (p.State == NotResolvable) return false;
    return true;
}

bool DbObjectDeletionInfo::Delete(bool) {
    if (Problems.empty()) return true;
    return quantora::PresentDeletionProblems(*this);
}
