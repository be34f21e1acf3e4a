// The interval index of the radiation library: one bound [E - f*EUNC, E + f*EUNC] per line, kept
// in two orders (lower end ascending, upper end descending) so that energy matching visits only
// the lines whose interval can meet the query.
#pragma once

#include <cstddef>
#include <vector>

#include "quantora/base/Types.h"

struct RadiationBound {
    double LowerBound;  // E - half-width
    double UpperBound;  // E + half-width
    float Energy;       // E, rounded to single precision
    float HalfWidth;    // tolerance factor x EUNC, rounded to single precision
    AnsiString RADIATION_ID;
    int DECAY_ID;
};

namespace quantora {

// The two bound multisets, kept as sorted arrays: bounds with equal keys stay in the order they
// were added. They are rebuilt as a whole, never edited.
class RadiationBoundSets {
  public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    void Clear();
    // Takes the bounds in the order they were generated and sorts them into both orders.
    void Assign(std::vector<RadiationBound> bounds);

    // Ascending lower bound.
    const std::vector<RadiationBound>& ByLower() const { return by_lower_; }
    // Descending upper bound.
    const std::vector<RadiationBound>& ByUpper() const { return by_upper_; }
    size_t Size() const { return by_lower_.size(); }
    // The largest half-width of any bound (0.0 when empty).
    double WidestHalfWidth() const { return widest_; }

    // Index in ByLower of the first bound whose lower bound is not less than x.
    size_t FirstLowerNotBelow(double x) const;
    // Index in ByUpper of the first bound whose upper bound is not greater than x.
    size_t FirstUpperNotAbove(double x) const;
    // The largest index j <= i in ByUpper whose bound begins at or below x (lower bound <= x),
    // or npos: lets a scan towards larger upper bounds jump over the bounds it would pass over.
    size_t PrevBeginningAtMost(size_t i, double x) const;

  private:
    std::vector<RadiationBound> by_lower_, by_upper_;
    // The keys alone, in the order of their array, for the binary searches.
    std::vector<double> lower_keys_, upper_keys_;
    // Minima of the lower bounds of ByUpper: level 0 holds each bound's lower bound, every
    // further level the minimum of 8 consecutive entries of the level below (one cache line),
    // up to a level of at most 8 entries.
    std::vector<std::vector<double>> min_lower_;
    double widest_ = 0.0;
};

}  // namespace quantora
