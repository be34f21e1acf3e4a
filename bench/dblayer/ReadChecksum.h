// What every variant of the large read does with each row, whichever library reads it: four
// integers, three doubles, the date as a day number and two strings copied, folded into one
// checksum. The checksum keeps the work from being optimised away, and each read's checksum is
// compared with the first one of the run, so a variant that reads other values fails loudly.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "quantora/base/DateTime.h"

namespace quantora::bench {

struct ReadChecksum {
    int64_t sum = 0;
    double fsum = 0;
    size_t bytes = 0;

    void Add(int id, int i1, int i2, int b1, double f1, double f2, double f3, TDateTime d1,
             const std::string& s1, const std::string& s2) {
        sum += int64_t{id} + i1 + i2 + b1;
        fsum += f1 + f2 + f3 + d1;
        bytes += s1.size() + s2.size();
    }
    // The date column read as text and converted as the layer converts it.
    static TDateTime Date(std::string_view text) {
        TDateTime d = 0;
        ParseIsoDateTime(text, d);
        return d;
    }

    // Ends one read: keeps the sums alive and marks the benchmark failed when they differ from the
    // first read of the run (the double sum within rounding, as row order may differ).
    void Done(benchmark::State& state) const {
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(fsum);
        benchmark::DoNotOptimize(bytes);
        static const ReadChecksum first = *this;
        if (sum != first.sum || bytes != first.bytes ||
            std::abs(fsum - first.fsum) > 1e-9 * std::abs(first.fsum))
            state.SkipWithError("the read's checksum differs from the run's first read");
    }
};

}  // namespace quantora::bench
