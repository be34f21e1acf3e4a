// Settings of the peak evaluation algorithm: 61 numbered parameters plus bookkeeping. Each
// parameter is an attribute of this class of one of four kinds, and every value is stored as a
// float:
//
//     flag     bool    stored 1.0 / 0.0; read back true when not 0.0
//     integer  int     stored as the number; read back truncated toward zero
//     choice   int     1, 2 or 3 stored as the number, anything else as 0.0; read back as the
//                      truncated value when it is 1, 2 or 3, otherwise 0
//     float    double  stored and read back unchanged
//
// The table in PeakEvalCalibration.cpp names every parameter: number, kind, attribute and
// default (listed beside each attribute below as "number, default").
#pragma once

#include <array>

#include "quantora/base/Types.h"

enum class PeakEvalParamKind { Flag, Integer, Choice, Float };

class PeakEvalCalibration {
  public:
    static constexpr int kParamCount = 61;

    struct ParamInfo {
        int Number;
        PeakEvalParamKind Kind;
        const char* Name;
        double Default;
        bool PeakEvalCalibration::*FlagMember;     // flags
        int PeakEvalCalibration::*IntMember;       // integers and choices
        double PeakEvalCalibration::*FloatMember;  // floats
    };

    PeakEvalCalibration() { SetToDefault(); }

    // Every parameter to its default; key, employee, name, comment and date are kept.
    void SetToDefault();

    // The parameter with this number (1 .. 61), or null.
    static const ParamInfo* FindParam(int number);
    // The order in which a setting's parameters are written.
    static const std::array<int, kParamCount>& StoreOrder();

    // The stored float form of parameter `number` (throws an Exception for an unknown number).
    double GetStoredValue(int number) const;
    // Sets parameter `number` from its stored float form; false (nothing changed) for a number
    // outside 1 .. 61. Values outside the int range are clamped, NaN reads as 0.
    bool SetFromStoredValue(int number, double value);

    // Bookkeeping, read and written directly by the storage code.
    int PeakEvalCalId = -1;
    int EmployeeId = -1;
    AnsiString Name;
    AnsiString Comment;
    TDateTime CreationDate = -1.0;

    // Peak search.
    bool AutoPeakSearch;        // 1, true: search peaks before fitting
    int SmoothingPoints;        // 2, 5: channels of the search's smoothing filter
    bool UseFwhmCalibration;    // 3, true: expected widths from the FWHM calibration
    bool UseEnergyCalibration;  // 4, true: place library lines through the energy calibration
    double SearchSignificance;  // 5, 3.0: standard deviations a search candidate needs
    bool FitStepBackground;     // 6, true: model the continuum step under each peak
    double MinWidthFactor;      // 7, 0.6: narrowest peak, times the expected FWHM
    int BackgroundShape;        // 8, 1: continuum 1 linear, 2 quadratic, 3 cubic
    double MaxWidthFactor;      // 9, 1.8: widest peak, times the expected FWHM
    int WidthMode;              // 10, 2: width 1 free per peak, 2 from calibration, 3 common
    double WidthFreedom;        // 56, 0.1: relative width change allowed in width mode 2
    double MinWidthChannels;    // 57, 1.5: smallest width in channels
    double RegionMarginFwhm;    // 11, 3.0: region margin beyond its outer peaks, in FWHM
    // Peak shape.
    int LowTailMode;                 // 12, 2: low-energy tail 1 none, 2 fixed, 3 fitted
    double LowTailDefault;           // 13, 1.4: tail start from the centroid, in FWHM
    double LowTailMin;               // 58, 0.5: smallest fitted tail start, in FWHM
    double LowTailMax;               // 59, 3.0: largest fitted tail start, in FWHM
    int HighTailMode;                // 14, 1: high-energy tail 1 none, 2 fixed, 3 fitted
    double HighTailDefault;          // 15, 2.0: its start from the centroid, in FWHM
    double MultipletSeparationFwhm;  // 16, 0.8: closer peaks are fitted as one
    double MaxRegionWidthFwhm;       // 17, 40.0: widest fit region, in FWHM
    double BackgroundWindowFwhm;     // 18, 1.0: background sample width beside a region
    double RefitChiSquareLimit;      // 19, 3.0: reduced chi2 that triggers a refit
    int UncertaintyMode;             // 20, 2: 1 counting only, 2 scaled when chi2/dof > 1, 3 scaled
    // Detection and identification.
    double DecisionThresholdK;      // 21, 1.645: quantile of the decision threshold
    double DetectionLimitK;         // 22, 1.645: quantile of the detection limit
    double MinNetArea;              // 23, 10.0: smallest reported net area (counts)
    double LineMatchToleranceKeV;   // 24, 1.0: peak-to-line energy tolerance (keV)
    double LineMatchToleranceFwhm;  // 25, 0.5: the same, in FWHM
    double MaxCentroidShiftFwhm;    // 26, 0.5: centroid move allowed during the fit, in FWHM
    int AreaMethod;                 // 27, 1: area 1 fitted, 2 summed, 3 summed for singlets only
    double SummationWidthFwhm;      // 28, 2.5: summation window, in FWHM
    // Fit control.
    double ConvergenceTolerance;   // 29, 1e-4: relative chi2 change that ends a fit
    double InitialDamping;         // 30, 1e-3: first damping of the nonlinear fit
    double DampingFactor;          // 31, 10.0: damping change per step
    double MinChannelVariance;     // 32, 1.0: variance floor of sparse channels
    double SearchFilterWidthFwhm;  // 33, 1.0: search filter width, in FWHM
    int WeightMode;                // 34, 2: weights from 1 data, 2 fitted model, 3 smoothed data
    double SumPeakToleranceKeV;    // 35, 1.0: tolerance for sum and escape peaks (keV)
    double XrayWidthFactor;        // 60, 1.6: width of X-ray peaks, times the gamma FWHM
    double XrayEnergyLimitKeV;     // 61, 150.0: X-ray handling below this energy (keV)
    int XrayShape;                 // 36, 2: X-ray peaks 1 Gaussian, 2 Voigt, 3 not fitted
    // Calibration checks and limits.
    double ECalMatchToleranceKeV;     // 37, 2.0: tolerance of the automatic energy recalibration
    double ECalOutlierSigma;          // 38, 3.0: energy points rejected beyond this
    double FwhmCalOutlierSigma;       // 39, 3.0: width points rejected beyond this
    double FwhmCalMinArea;            // 40, 100.0: smallest area of a width point (counts)
    double LowEnergyLimitKeV;         // 41, 20.0: evaluation starts here (keV)
    double HighEnergyLimitKeV;        // 42, 3000.0: and ends here (keV)
    double LowChannelMargin;          // 43, 10.0: channels ignored at the low end
    double HighChannelMargin;         // 44, 10.0: channels ignored at the high end
    double MaxStepFraction;           // 45, 0.1: largest step, relative to the peak height
    double MaxBackgroundCurvature;    // 46, 0.05: largest relative curvature of the continuum
    int MaxPeaksPerRegion;            // 47, 8: peaks fitted together at most
    double AnnihilationWidthFactor;   // 48, 2.0: width of the 511 keV peak, times the FWHM
    double MinPeakHeightCounts;       // 49, 5.0: lowest accepted peak height (counts)
    double SystematicAreaUncPercent;  // 50, 0.5: added to every area uncertainty (%)
    double MaxRelAreaUncPercent;      // 51, 100.0: peaks with a larger relative uncertainty dropped
    int MaxFitIterations;             // 52, 50: iterations of one fit at most
    bool KeepNegativeAreas;           // 53, false: report peaks whose area fits below zero
    double CentroidUncFloor;          // 54, 0.01: smallest centroid uncertainty (channels)
    double WidthUncFloor;             // 55, 0.01: smallest width uncertainty (channels)
};
