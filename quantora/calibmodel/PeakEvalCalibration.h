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

    // What each parameter means to the peak evaluation of quantora/analysis. Widths and
    // distances given "in FWHM" are multiples of the expected peak width at that place.
    // Parameters marked "not used" are kept and stored, but the evaluation does not read them.
    //
    // Peak search.
    bool AutoPeakSearch;        // 1, true: search peaks (false: the evaluation finds none)
    int SmoothingPoints;        // 2, 5: expected FWHM (channels) of the first search of a
                                //    spectrum without FWHM calibration
    bool UseFwhmCalibration;    // 3, true: expected widths from the spectrum's FWHM calibration
                                //    (false, or none: learned from the spectrum's strong peaks)
    bool UseEnergyCalibration;  // 4, true: peak energies and keV limits through the spectrum's
                                //    energy calibration
    double SearchSignificance;  // 5, 4.0: filter response over its standard deviation a
                                //    candidate needs; also what an added multiplet peak needs
    bool FitStepBackground;     // 6, true: fit the continuum step under strong peaks
    double MinWidthFactor;      // 7, 0.4: narrowest free width, times the expected FWHM
    int BackgroundShape;        // 8, 1: continuum 1 linear, 2 quadratic, 3 cubic
    double MaxWidthFactor;      // 9, 1.8: widest free width, times the expected FWHM
    int WidthMode;              // 10, 2: width 1 free per peak, 2 expected within
                                //    WidthFreedom, 3 one free scale per region
    double WidthFreedom;        // 56, 0.1: relative width change allowed in width mode 2
    double MinWidthChannels;    // 57, 1.5: smallest expected FWHM (channels)
    double RegionMarginFwhm;    // 11, 3.0: region margin beyond its outer peaks, in FWHM
    // Peak shape.
    int LowTailMode;                 // 12, 3: low-energy tail 1 none, 2 fixed at LowTailDefault,
                                     //    3 learned from the spectrum's strong single peaks
    double LowTailDefault;           // 13, 1.0: tail junction from the centroid, in FWHM
    double LowTailMin;               // 58, 0.3: shortest fitted tail junction, in FWHM
    double LowTailMax;               // 59, 3.0: longest fitted tail junction, in FWHM
    int HighTailMode;                // 14, 1: not used
    double HighTailDefault;          // 15, 2.0: not used
    double MultipletSeparationFwhm;  // 16, 0.8: search candidates closer than this are one
    double MaxRegionWidthFwhm;       // 17, 40.0: widest fit region, in FWHM
    double BackgroundWindowFwhm;     // 18, 1.0: not used
    double RefitChiSquareLimit;      // 19, 3.0: reduced chi2 of a single peak above which a
                                     //    free-width fit is tried
    int UncertaintyMode;             // 20, 2: 1 counting only, 2 scaled when chi2/dof > 1, 3 scaled
    // Detection and identification.
    double DecisionThresholdK;      // 21, 1.645: quantile of the decision threshold (ISO 11929)
    double DetectionLimitK;         // 22, 1.645: quantile of the detection limit
    double MinNetArea;              // 23, 10.0: smallest reported net area (counts)
    double LineMatchToleranceKeV;   // 24, 1.0: peak-to-line energy tolerance (keV) ...
    double LineMatchToleranceFwhm;  // 25, 0.5: ... or this many FWHM, whichever is larger
    double MaxCentroidShiftFwhm;    // 26, 0.5: centroid move allowed during a fit, in FWHM
    int AreaMethod;                 // 27, 1: not used (areas are always fitted)
    double SummationWidthFwhm;      // 28, 2.5: not used
    // Fit control.
    double ConvergenceTolerance;   // 29, 1e-4: relative deviance change that ends a fit
    double InitialDamping;         // 30, 1e-3: first damping of the nonlinear fit
    double DampingFactor;          // 31, 10.0: damping change per step
    double MinChannelVariance;     // 32, 1.0: variance floor of channels in weight modes 1, 3
    double SearchFilterWidthFwhm;  // 33, 1.0: search filter sigma over the expected peak sigma
    int WeightMode;                // 34, 2: weights from 1 data, 2 fitted model (Poisson
                                   //    maximum likelihood), 3 data smoothed over 3 channels
    double SumPeakToleranceKeV;    // 35, 1.0: not used
    double XrayWidthFactor;        // 60, 1.6: not used
    double XrayEnergyLimitKeV;     // 61, 150.0: not used
    int XrayShape;                 // 36, 2: not used
    // Calibration checks and limits.
    double ECalMatchToleranceKeV;     // 37, 2.0: peak-to-line tolerance of the recalibration (keV)
    double ECalOutlierSigma;          // 38, 3.0: energy points rejected beyond this
    double FwhmCalOutlierSigma;       // 39, 3.0: width points rejected beyond this
    double FwhmCalMinArea;            // 40, 100.0: smallest area of a width point (counts)
    double LowEnergyLimitKeV;         // 41, 20.0: evaluation starts here (keV)
    double HighEnergyLimitKeV;        // 42, 3000.0: and ends here (keV)
    double LowChannelMargin;          // 43, 10.0: channels ignored at the low end
    double HighChannelMargin;         // 44, 10.0: channels ignored at the high end
    double MaxStepFraction;           // 45, 0.1: largest step, relative to the peak height
    double MaxBackgroundCurvature;    // 46, 0.05: not used
    int MaxPeaksPerRegion;            // 47, 8: peaks fitted together at most
    double AnnihilationWidthFactor;   // 48, 2.0: not used
    double MinPeakHeightCounts;       // 49, 5.0: not used
    double SystematicAreaUncPercent;  // 50, 0.0: added to every area uncertainty (%)
    double MaxRelAreaUncPercent;      // 51, 100.0: peaks with a larger relative uncertainty dropped
    int MaxFitIterations;             // 52, 50: iterations of one fit at most
    bool KeepNegativeAreas;           // 53, false: not used (fitted heights stay >= 0)
    double CentroidUncFloor;          // 54, 0.01: smallest centroid uncertainty (channels)
    double WidthUncFloor;             // 55, 0.01: smallest width uncertainty (channels)
};
