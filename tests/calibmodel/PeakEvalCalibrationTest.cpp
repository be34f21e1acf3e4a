// Peak evaluation settings: parameter kinds by number and their float form both ways. That the
// store order holds every parameter once is checked through the database (PeakEvalCalTest).
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "quantora/base/Exception.h"
#include "quantora/calibmodel/PeakEvalCalibration.h"

using K = PeakEvalParamKind;

TEST(PeakEvalCalibration, KindsByNumber) {
    const std::set<int> flags = {1, 3, 4, 6, 53}, ints = {2, 47, 52},
                        choices = {8, 10, 12, 14, 20, 27, 34, 36};
    for (int n = 1; n <= 61; ++n) {
        const PeakEvalCalibration::ParamInfo* p = PeakEvalCalibration::FindParam(n);
        ASSERT_NE(p, nullptr) << n;
        const K expected = flags.count(n)     ? K::Flag
                           : ints.count(n)    ? K::Integer
                           : choices.count(n) ? K::Choice
                                              : K::Float;
        EXPECT_EQ(p->Number * 10 + int(p->Kind), n * 10 + int(expected)) << n;
    }
    EXPECT_EQ(PeakEvalCalibration::FindParam(62), nullptr);
}

TEST(PeakEvalCalibration, StoredFloatsConvertByKind) {
    // A flag is any non-zero value, an integer truncates toward zero (huge and NaN values never
    // overflow), a choice is 1, 2 or 3 and anything else 0; floats stay as they are.
    const struct {
        int number;
        double in, out;
    } conversions[] = {{53, -0.5, 1.0},
                       {1, 0.0, 0.0},
                       {47, 7.9, 7.0},
                       {2, -3.7, -3.0},
                       {52, 1e300, 2147483647.0},
                       {52, std::nan(""), 0.0},
                       {8, 3.99, 3.0},
                       {8, 4.0, 0.0},
                       {36, 2.0, 2.0},
                       {30, 0.123456789, 0.123456789}};
    PeakEvalCalibration cal;
    for (const auto& c : conversions) {
        EXPECT_TRUE(cal.SetFromStoredValue(c.number, c.in));
        EXPECT_EQ(cal.GetStoredValue(c.number), c.out) << c.number << " " << c.in;
    }
    EXPECT_FALSE(cal.SetFromStoredValue(70, 1.0) || cal.SetFromStoredValue(0, 1.0));
    EXPECT_THROW(cal.GetStoredValue(62), Exception);
}
