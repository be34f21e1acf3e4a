// Peak evaluation settings: parameter kinds by number, their float form both ways and the store
// order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "quantora/base/Exception.h"
#include "quantora/calibmodel/PeakEvalCalibration.h"

using K = PeakEvalParamKind;

TEST(PeakEvalCalibration, KindsNumbersAndStoreOrder) {
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

    const auto& order = PeakEvalCalibration::StoreOrder();
    const int expectedOrder[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 56, 57, 11, 12, 13, 58,
                                 59, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                                 29, 30, 31, 32, 33, 34, 35, 60, 61, 36, 37, 38, 39, 40, 41, 42,
                                 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55};
    EXPECT_TRUE(std::equal(order.begin(), order.end(), std::begin(expectedOrder)));
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
