// The built-in table of well-known calibration nuclides (evaluated decay data as published).
#include "tools/qdb/DemoNuclides.h"

#include <cstring>

#include "quantora/base/Exception.h"

namespace qdbtool::demo {
namespace {

constexpr double kDay = 1.0 / 365.2422;

constexpr GammaLine kAm241[] = {{26.3446, 0.0002, 2.31, 0.08}, {59.5409, 0.0001, 35.92, 0.17}};
constexpr GammaLine kBa133[] = {{53.1622, 0.0006, 2.14, 0.03},   {79.6142, 0.0019, 2.65, 0.05},
                                {80.9979, 0.0011, 32.9, 0.3},    {276.3989, 0.0012, 7.16, 0.05},
                                {302.8508, 0.0005, 18.34, 0.13}, {356.0129, 0.0007, 62.05, 0.19},
                                {383.8485, 0.0012, 8.94, 0.06}};
constexpr GammaLine kCs137[] = {{661.657, 0.003, 84.99, 0.20}};
constexpr GammaLine kCo57[] = {{122.06065, 0.00012, 85.49, 0.14},
                               {136.47356, 0.00029, 10.71, 0.15}};
constexpr GammaLine kCo60[] = {{1173.228, 0.003, 99.85, 0.03}, {1332.492, 0.004, 99.9826, 0.0006}};
constexpr GammaLine kEu152[] = {{121.7817, 0.0003, 28.41, 0.13}, {244.6974, 0.0008, 7.55, 0.04},
                                {344.2785, 0.0012, 26.59, 0.12}, {411.1165, 0.0012, 2.238, 0.010},
                                {443.9606, 0.0016, 2.80, 0.02},  {778.9045, 0.0024, 12.97, 0.06},
                                {867.380, 0.003, 4.243, 0.023},  {964.072, 0.018, 14.50, 0.06},
                                {1085.837, 0.010, 10.13, 0.06},  {1112.076, 0.003, 13.41, 0.06},
                                {1408.013, 0.003, 20.85, 0.08}};
constexpr GammaLine kMn54[] = {{834.848, 0.003, 99.9760, 0.0010}};
constexpr GammaLine kNa22[] = {{510.999, 0.001, 180.7, 0.2}, {1274.537, 0.007, 99.94, 0.13}};
constexpr GammaLine kY88[] = {{898.042, 0.011, 93.7, 0.3}, {1836.063, 0.012, 99.2, 0.3}};
constexpr GammaLine kK40[] = {{1460.822, 0.006, 10.66, 0.13}};
constexpr GammaLine kPb210[] = {{46.539, 0.001, 4.252, 0.040}};
constexpr GammaLine kCd109[] = {{88.0336, 0.0010, 3.644, 0.016}};
constexpr GammaLine kCe139[] = {{165.8575, 0.0011, 79.90, 0.04}};
constexpr GammaLine kHg203[] = {{279.1952, 0.0010, 81.56, 0.05}};
constexpr GammaLine kSn113[] = {{391.698, 0.003, 64.97, 0.17}};
constexpr GammaLine kSr85[] = {{514.0048, 0.0022, 98.5, 0.4}};
constexpr GammaLine kBe7[] = {{477.6035, 0.0020, 10.44, 0.04}};

constexpr Nuclide kNuclides[] = {
    {"Am-241", 432.6, 0.6, "A", kAm241},
    {"Ba-133", 10.551, 0.011, "EC", kBa133},
    {"Cs-137", 30.08, 0.09, "B-", kCs137},
    {"Co-57", 271.74 * kDay, 0.06 * kDay, "EC", kCo57},
    {"Co-60", 5.2713, 0.0008, "B-", kCo60},
    {"Eu-152", 13.517, 0.009, "EC+B+", kEu152},
    {"Mn-54", 312.20 * kDay, 0.07 * kDay, "EC", kMn54},
    {"Na-22", 2.6018, 0.0022, "EC+B+", kNa22},
    {"Y-88", 106.626 * kDay, 0.021 * kDay, "EC+B+", kY88},
    {"K-40", 1.248e9, 0.003e9, "B-", kK40},
    {"Pb-210", 22.20, 0.22, "B-", kPb210},
    {"Cd-109", 461.4 * kDay, 1.2 * kDay, "EC", kCd109},
    {"Ce-139", 137.641 * kDay, 0.020 * kDay, "EC", kCe139},
    {"Hg-203", 46.594 * kDay, 0.012 * kDay, "B-", kHg203},
    {"Sn-113", 115.09 * kDay, 0.03 * kDay, "EC", kSn113},
    {"Sr-85", 64.850 * kDay, 0.007 * kDay, "EC", kSr85},
    {"Be-7", 53.22 * kDay, 0.06 * kDay, "EC", kBe7},
};

}  // namespace

std::span<const Nuclide> CalibrationNuclides() {
    return kNuclides;
}

const Nuclide& NuclideBySymbol(const char* symbol) {
    for (const Nuclide& n : kNuclides)
        if (!std::strcmp(n.symbol, symbol)) return n;
    throw Exception(std::string("unknown demo nuclide ") + symbol);
}

}  // namespace qdbtool::demo
