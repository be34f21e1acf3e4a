// Sorting the bounds into their two orders, and the minimum levels behind the scan for lines
// that enclose a query.
#include "quantora/nuclides/RadiationBounds.h"

#include <algorithm>

namespace quantora {
namespace {

constexpr size_t kFan = 8;  // entries per block of a minimum level

}  // namespace

void RadiationBoundSets::Clear() {
    by_lower_.clear();
    by_upper_.clear();
    lower_keys_.clear();
    upper_keys_.clear();
    min_lower_.clear();
    widest_ = 0.0;
}

void RadiationBoundSets::Assign(std::vector<RadiationBound> bounds) {
    Clear();
    for (const RadiationBound& b : bounds)
        widest_ = std::max(widest_, 0.5 * (b.UpperBound - b.LowerBound));
    by_upper_ = bounds;
    by_lower_ = std::move(bounds);
    // Stable sorts keep equal keys in insertion order, as a multiset's insert does.
    std::stable_sort(by_lower_.begin(), by_lower_.end(),
                     [](const RadiationBound& a, const RadiationBound& b) {
                         return a.LowerBound < b.LowerBound;
                     });
    std::stable_sort(by_upper_.begin(), by_upper_.end(),
                     [](const RadiationBound& a, const RadiationBound& b) {
                         return a.UpperBound > b.UpperBound;
                     });
    lower_keys_.reserve(by_lower_.size());
    for (const RadiationBound& b : by_lower_) lower_keys_.push_back(b.LowerBound);
    upper_keys_.reserve(by_upper_.size());
    std::vector<double> level;
    level.reserve(by_upper_.size());
    for (const RadiationBound& b : by_upper_) {
        upper_keys_.push_back(b.UpperBound);
        level.push_back(b.LowerBound);
    }
    min_lower_.push_back(std::move(level));
    while (min_lower_.back().size() > kFan) {
        const std::vector<double>& below = min_lower_.back();
        std::vector<double> above((below.size() + kFan - 1) / kFan);
        for (size_t k = 0; k < above.size(); ++k) {
            const size_t end = std::min(below.size(), (k + 1) * kFan);
            above[k] = *std::min_element(below.begin() + static_cast<ptrdiff_t>(k * kFan),
                                         below.begin() + static_cast<ptrdiff_t>(end));
        }
        min_lower_.push_back(std::move(above));
    }
}

size_t RadiationBoundSets::FirstLowerNotBelow(double x) const {
    return static_cast<size_t>(std::lower_bound(lower_keys_.begin(), lower_keys_.end(), x) -
                               lower_keys_.begin());
}

size_t RadiationBoundSets::FirstUpperNotAbove(double x) const {
    return static_cast<size_t>(
        std::lower_bound(upper_keys_.begin(), upper_keys_.end(), x, std::greater<double>()) -
        upper_keys_.begin());
}

size_t RadiationBoundSets::PrevBeginningAtMost(size_t i, double x) const {
    if (i >= by_upper_.size()) return npos;
    // Upwards: look through the rest of the current block, right to left; when nothing there
    // begins at or below x, go on with the entry of the level above that covers the block
    // before it.
    size_t level = 0, pos = i;
    for (;;) {
        const std::vector<double>& v = min_lower_[level];
        const size_t first = pos - pos % kFan;
        size_t p = pos + 1;
        while (p > first && !(v[p - 1] <= x)) --p;
        if (p > first) {
            pos = p - 1;
            break;
        }
        if (first == 0 || level + 1 == min_lower_.size()) return npos;
        pos = first / kFan - 1;
        ++level;
    }
    // Downwards: the rightmost entry of each covered block that begins at or below x.
    while (level > 0) {
        const std::vector<double>& v = min_lower_[--level];
        size_t p = std::min(v.size(), (pos + 1) * kFan);
        while (!(v[p - 1] <= x)) --p;
        pos = p - 1;
    }
    return pos;
}

}  // namespace quantora
