// Shared pieces of the calibration storage tests: dates, setup settings, a stored nonlinearity
// analysis, exception messages.
#pragma once

#include <functional>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/calibmodel/NonlinECalibr.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

namespace calibtest {

inline TDateTime Date(int y, int m, int d) {
    return quantora::EncodeDateTime({y, m, d});
}

// A row of MEASSETUP<kind> (kind "NONLIN", "EFF" or "RESOL").
void AddSetting(const quantora::test::TestDatabase& db, const char* kind, int setup,
                TDateTime validFrom, int analysis);

// A correction of degree 2 fitted to a smooth bow of about `bow` channels over 0 .. 4000.
NonlinECalibr FittedCorrection(double bow);
// Stores `nl` as NONLINANALYSIS row `key` of one measurement.
void StoreAnalysis(const quantora::test::TestDatabase& db, int key, NonlinECalibr nl);

inline void ExpectThrowsMessage(const std::function<void()>& f, const AnsiString& message) {
    EXPECT_EQ(quantora::test::Raised(f).Message, message);
}

}  // namespace calibtest
