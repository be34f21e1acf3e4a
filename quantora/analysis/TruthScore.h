// The peak evaluation scored against the known peaks of synthetic spectra: found peaks matched
// to true peaks by centroid, then over many spectra the fractions found per kind, the peaks that
// match nothing, the area z-scores (found - true) / reported uncertainty of the smaller peaks and
// the relative area bias of the large ones.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "quantora/analysis/PeakEvaluation.h"
#include "quantora/analysis/SyntheticSpectrum.h"

namespace quantora::analysis {

// Found and true peaks paired one to one, nearest centroids first, a pair being at most
// `toleranceFwhm` FWHM (of the true peak) apart.
struct TruthMatch {
    std::vector<int> foundOfTrue;  // per true peak: index of its found peak, or -1
    std::vector<int> trueOfFound;  // per found peak: index of its true peak, or -1
};
TruthMatch MatchPeaks(std::span<const TruePeak> truth, std::span<const FittedPeak> found,
                      double toleranceFwhm = 0.5);

// The figures the evaluation is held to. Areas are split at the score's large area: below it the
// area z-scores of isolated and doublet peaks (weak peaks are scored apart, as mostly their
// upward fluctuations pass the decision threshold), above it the median relative bias.
struct TruthGoals {
    double isolatedFound = 0.99;
    double doubletFound = 0.90;
    double falsePerSpectrum = 1.0;
    double zMeanLimit = 0.3;  // |mean|
    double zSdLow = 0.8, zSdHigh = 1.3;
    double largeBiasLimit = 0.01;  // |median (found - true) / true|
};

struct SampleStats {
    size_t count = 0;
    double mean = 0, sd = 0;  // sd: with n - 1; 0 for fewer than 2 values
};
SampleStats Describe(std::span<const double> values);

class TruthScore {
  public:
    explicit TruthScore(double toleranceFwhm = 0.5, double largeArea = 1e5)
        : tolerance_(toleranceFwhm), largeArea_(largeArea) {}

    // Scores one spectrum's evaluation; returns its match for a closer look.
    TruthMatch Add(std::span<const TruePeak> truth, const PeakEvaluationResult& result);

    int Spectra() const { return spectra_; }
    double LargeArea() const { return largeArea_; }
    int TrueCount(TruthKind k) const { return true_[Index(k)]; }
    int FoundCount(TruthKind k) const { return found_[Index(k)]; }
    double FoundFraction(TruthKind k) const;  // 1 when there was no such peak
    int FalsePeaks() const { return false_; }
    int MostFalseInOneSpectrum() const { return mostFalse_; }
    double FalsePerSpectrum() const;

    // Area z-scores of matched peaks below largeArea true counts, of one kind or of the isolated
    // and doublet peaks together.
    SampleStats AreaZ(TruthKind k) const { return Describe(z_[Index(k)]); }
    SampleStats AreaZ() const;
    // Matched peaks above largeArea: their count and median (found - true) / true (0 for none).
    size_t LargeCount() const { return largeBias_.size(); }
    double MedianLargeBias() const;
    // Centroid z-scores (found - true) / reported uncertainty of every matched peak.
    SampleStats CentroidZ() const { return Describe(centroidZ_); }
    // Matched peaks whose reported area or centroid uncertainty was not positive (no z-score).
    int MissingUncertainties() const { return missingUnc_; }

    // One line per goal the score misses; empty when it meets them all.
    std::vector<std::string> Misses(const TruthGoals& goals) const;

  private:
    static int Index(TruthKind k) { return static_cast<int>(k); }

    double tolerance_, largeArea_;
    int spectra_ = 0;
    int true_[kTruthKindCount] = {}, found_[kTruthKindCount] = {};
    int false_ = 0, mostFalse_ = 0, missingUnc_ = 0;
    std::vector<double> z_[kTruthKindCount];
    std::vector<double> largeBias_, centroidZ_;
};

// A short table of the score against the goals.
void PrintTruthScore(std::FILE* out, const TruthScore& score, const TruthGoals& goals = {});

}  // namespace quantora::analysis
