// Peak evaluation settings: the parameter table and the float conversions of the four kinds.
#include "quantora/calibmodel/PeakEvalCalibration.h"

#include <cmath>
#include <limits>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"

namespace {

using P = PeakEvalCalibration;
using K = PeakEvalParamKind;

#define QDB_FLAG(n, m, d)                          \
    P::ParamInfo {                                 \
        n, K::Flag, #m, d, &P::m, nullptr, nullptr \
    }
#define QDB_INT(n, m, d)                              \
    P::ParamInfo {                                    \
        n, K::Integer, #m, d, nullptr, &P::m, nullptr \
    }
#define QDB_CHOICE(n, m, d)                          \
    P::ParamInfo {                                   \
        n, K::Choice, #m, d, nullptr, &P::m, nullptr \
    }
#define QDB_FLOAT(n, m, d)                          \
    P::ParamInfo {                                  \
        n, K::Float, #m, d, nullptr, nullptr, &P::m \
    }

// Indexed by number - 1.
constexpr std::array<P::ParamInfo, P::kParamCount> kParams = {{
    QDB_FLAG(1, AutoPeakSearch, 1.0),
    QDB_INT(2, SmoothingPoints, 5.0),
    QDB_FLAG(3, UseFwhmCalibration, 1.0),
    QDB_FLAG(4, UseEnergyCalibration, 1.0),
    QDB_FLOAT(5, SearchSignificance, 4.0),
    QDB_FLAG(6, FitStepBackground, 1.0),
    QDB_FLOAT(7, MinWidthFactor, 0.4),
    QDB_CHOICE(8, BackgroundShape, 1.0),
    QDB_FLOAT(9, MaxWidthFactor, 1.8),
    QDB_CHOICE(10, WidthMode, 2.0),
    QDB_FLOAT(11, RegionMarginFwhm, 3.0),
    QDB_CHOICE(12, LowTailMode, 3.0),
    QDB_FLOAT(13, LowTailDefault, 1.0),
    QDB_CHOICE(14, HighTailMode, 1.0),
    QDB_FLOAT(15, HighTailDefault, 2.0),
    QDB_FLOAT(16, MultipletSeparationFwhm, 0.8),
    QDB_FLOAT(17, MaxRegionWidthFwhm, 40.0),
    QDB_FLOAT(18, BackgroundWindowFwhm, 1.0),
    QDB_FLOAT(19, RefitChiSquareLimit, 3.0),
    QDB_CHOICE(20, UncertaintyMode, 2.0),
    QDB_FLOAT(21, DecisionThresholdK, 1.645),
    QDB_FLOAT(22, DetectionLimitK, 1.645),
    QDB_FLOAT(23, MinNetArea, 10.0),
    QDB_FLOAT(24, LineMatchToleranceKeV, 1.0),
    QDB_FLOAT(25, LineMatchToleranceFwhm, 0.5),
    QDB_FLOAT(26, MaxCentroidShiftFwhm, 0.5),
    QDB_CHOICE(27, AreaMethod, 1.0),
    QDB_FLOAT(28, SummationWidthFwhm, 2.5),
    QDB_FLOAT(29, ConvergenceTolerance, 1e-4),
    QDB_FLOAT(30, InitialDamping, 1e-3),
    QDB_FLOAT(31, DampingFactor, 10.0),
    QDB_FLOAT(32, MinChannelVariance, 1.0),
    QDB_FLOAT(33, SearchFilterWidthFwhm, 1.0),
    QDB_CHOICE(34, WeightMode, 2.0),
    QDB_FLOAT(35, SumPeakToleranceKeV, 1.0),
    QDB_CHOICE(36, XrayShape, 2.0),
    QDB_FLOAT(37, ECalMatchToleranceKeV, 2.0),
    QDB_FLOAT(38, ECalOutlierSigma, 3.0),
    QDB_FLOAT(39, FwhmCalOutlierSigma, 3.0),
    QDB_FLOAT(40, FwhmCalMinArea, 100.0),
    QDB_FLOAT(41, LowEnergyLimitKeV, 20.0),
    QDB_FLOAT(42, HighEnergyLimitKeV, 3000.0),
    QDB_FLOAT(43, LowChannelMargin, 10.0),
    QDB_FLOAT(44, HighChannelMargin, 10.0),
    QDB_FLOAT(45, MaxStepFraction, 0.1),
    QDB_FLOAT(46, MaxBackgroundCurvature, 0.05),
    QDB_INT(47, MaxPeaksPerRegion, 8.0),
    QDB_FLOAT(48, AnnihilationWidthFactor, 2.0),
    QDB_FLOAT(49, MinPeakHeightCounts, 5.0),
    QDB_FLOAT(50, SystematicAreaUncPercent, 0.0),
    QDB_FLOAT(51, MaxRelAreaUncPercent, 100.0),
    QDB_INT(52, MaxFitIterations, 50.0),
    QDB_FLAG(53, KeepNegativeAreas, 0.0),
    QDB_FLOAT(54, CentroidUncFloor, 0.01),
    QDB_FLOAT(55, WidthUncFloor, 0.01),
    QDB_FLOAT(56, WidthFreedom, 0.1),
    QDB_FLOAT(57, MinWidthChannels, 1.5),
    QDB_FLOAT(58, LowTailMin, 0.3),
    QDB_FLOAT(59, LowTailMax, 3.0),
    QDB_FLOAT(60, XrayWidthFactor, 1.6),
    QDB_FLOAT(61, XrayEnergyLimitKeV, 150.0),
}};

#undef QDB_FLAG
#undef QDB_INT
#undef QDB_CHOICE
#undef QDB_FLOAT

constexpr bool TableIsConsistent() {
    for (int i = 0; i < P::kParamCount; ++i) {
        const P::ParamInfo& p = kParams[static_cast<size_t>(i)];
        if (p.Number != i + 1) return false;
        const int n = p.Number;
        const K expected =
            (n == 1 || n == 3 || n == 4 || n == 6 || n == 53) ? K::Flag
            : (n == 2 || n == 47 || n == 52)                  ? K::Integer
            : (n == 8 || n == 10 || n == 12 || n == 14 || n == 20 || n == 27 || n == 34 || n == 36)
                ? K::Choice
                : K::Float;
        if (p.Kind != expected) return false;
        if (p.Kind == K::Choice && !(p.Default == 1.0 || p.Default == 2.0 || p.Default == 3.0))
            return false;
    }
    return true;
}
static_assert(TableIsConsistent(), "peak evaluation parameter table out of order");

constexpr std::array<int, P::kParamCount> kStoreOrder = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 56, 57, 11, 12, 13, 58, 59, 14, 15, 16, 17,
    18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 60, 61, 36,
    37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55};

// Truncation toward zero that cannot overflow: NaN gives 0, out-of-range values the int limits.
int TruncateToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

}  // namespace

void PeakEvalCalibration::SetToDefault() {
    for (const ParamInfo& p : kParams) {
        switch (p.Kind) {
            case K::Flag:
                this->*p.FlagMember = p.Default != 0.0;
                break;
            case K::Integer:
            case K::Choice:
                this->*p.IntMember = static_cast<int>(p.Default);
                break;
            case K::Float:
                this->*p.FloatMember = p.Default;
                break;
        }
    }
}

const PeakEvalCalibration::ParamInfo* PeakEvalCalibration::FindParam(int number) {
    if (number < 1 || number > kParamCount) return nullptr;
    return &kParams[static_cast<size_t>(number - 1)];
}

const std::array<int, PeakEvalCalibration::kParamCount>& PeakEvalCalibration::StoreOrder() {
    return kStoreOrder;
}

double PeakEvalCalibration::GetStoredValue(int number) const {
    const ParamInfo* p = FindParam(number);
    if (!p)
        throw Exception(
            quantora::Format("PeakEvalCalibration: no parameter number %d (1 .. 61)", number));
    switch (p->Kind) {
        case K::Flag:
            return this->*p->FlagMember ? 1.0 : 0.0;
        case K::Integer:
            return static_cast<double>(this->*p->IntMember);
        case K::Choice: {
            const int c = this->*p->IntMember;
            return (c >= 1 && c <= 3) ? static_cast<double>(c) : 0.0;
        }
        case K::Float:
            return this->*p->FloatMember;
    }
    return 0.0;
}

bool PeakEvalCalibration::SetFromStoredValue(int number, double value) {
    const ParamInfo* p = FindParam(number);
    if (!p) return false;
    switch (p->Kind) {
        case K::Flag:
            this->*p->FlagMember = value != 0.0;
            break;
        case K::Integer:
            this->*p->IntMember = TruncateToInt(value);
            break;
        case K::Choice: {
            const int c = TruncateToInt(value);
            this->*p->IntMember = (c >= 1 && c <= 3) ? c : 0;
            break;
        }
        case K::Float:
            this->*p->FloatMember = value;
            break;
    }
    return true;
}
