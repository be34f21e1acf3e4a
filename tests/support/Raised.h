// The exception an action throws, for tests that look at what it reports.
#pragma once

#include <gtest/gtest.h>

#include "quantora/base/Exception.h"

namespace quantora::test {

// The E that `action` throws; a test failure and E("(no exception)") when it throws none.
template <class E = Exception, class F>
E Raised(F&& action) {
    try {
        action();
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return E("(no exception)");
}

}  // namespace quantora::test
