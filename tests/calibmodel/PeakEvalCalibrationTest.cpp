// Peak evaluation settings: parameter kinds by number, their float form both ways, the store
// order and the defaults.
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
    std::set<std::string> names;
    for (int n = 1; n <= 61; ++n) {
        const PeakEvalCalibration::ParamInfo* p = PeakEvalCalibration::FindParam(n);
        ASSERT_NE(p, nullptr) << n;
        EXPECT_EQ(p->Number, n);
        const K expected = flags.count(n)     ? K::Flag
                           : ints.count(n)    ? K::Integer
                           : choices.count(n) ? K::Choice
                                              : K::Float;
        EXPECT_EQ(p->Kind, expected) << n;
        names.insert(p->Name);
    }
    EXPECT_EQ(names.size(), 61u);  // every number names its own attribute
    EXPECT_EQ(PeakEvalCalibration::FindParam(0), nullptr);
    EXPECT_EQ(PeakEvalCalibration::FindParam(62), nullptr);

    const auto& order = PeakEvalCalibration::StoreOrder();
    const int expectedOrder[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 56, 57, 11, 12, 13, 58,
                                 59, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                                 29, 30, 31, 32, 33, 34, 35, 60, 61, 36, 37, 38, 39, 40, 41, 42,
                                 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55};
    EXPECT_TRUE(std::equal(order.begin(), order.end(), std::begin(expectedOrder)));
}

TEST(PeakEvalCalibration, StoredFloatsConvertByKindAndDefaultsReturn) {
    PeakEvalCalibration cal;
    cal.PeakEvalCalId = 17;
    cal.Name = "HPGe standard";

    // Stored value in, stored value back out, by kind: a flag is any non-zero value, an integer
    // truncates toward zero (huge and NaN values never overflow), a choice is 1, 2 or 3 and
    // anything else 0.
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
                       {36, 2.0, 2.0}};
    for (const auto& c : conversions) {
        EXPECT_TRUE(cal.SetFromStoredValue(c.number, c.in));
        EXPECT_EQ(cal.GetStoredValue(c.number), c.out) << c.number << " " << c.in;
    }
    EXPECT_TRUE(cal.KeepNegativeAreas);
    cal.BackgroundShape = 4;
    EXPECT_EQ(cal.GetStoredValue(8), 0.0);
    cal.SetFromStoredValue(30, 0.123456789);  // floats unchanged
    EXPECT_EQ(cal.InitialDamping, 0.123456789);

    EXPECT_FALSE(cal.SetFromStoredValue(70, 1.0));
    EXPECT_FALSE(cal.SetFromStoredValue(0, 1.0));
    EXPECT_THROW(cal.GetStoredValue(62), Exception);

    cal.SetToDefault();
    for (int n = 1; n <= 61; ++n)
        EXPECT_EQ(cal.GetStoredValue(n), PeakEvalCalibration::FindParam(n)->Default) << n;
    EXPECT_EQ(cal.PeakEvalCalId, 17);  // bookkeeping is not a parameter
    EXPECT_EQ(cal.Name, "HPGe standard");
}
