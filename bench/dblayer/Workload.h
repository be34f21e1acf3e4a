// The rows of the large read and insert benchmarks as every variant sees them, whichever library
// does the work. A read folds each row (four integers, three doubles, the date as a day number and
// two strings copied) into one checksum, which keeps the work from being optimised away and is
// compared with the run's first read, so a variant that reads other values fails loudly. An insert
// writes the values of InsertedRow, the date as the ISO text the layer stores.
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

// The values of inserted row `i`.
struct InsertedRow {
    static constexpr const char* kS1 = "name";
    static constexpr const char* kS2 = "channel";
    int id, i1, i2, b1;
    double f1, f2, f3;
    char d1[kIsoDateTimeLength + 1];

    explicit InsertedRow(int i)
        : id(i), i1(i * 3), i2(-i), b1(i % 100), f1(i * 0.5), f2(i * 1e-3), f3(1.0 / (i + 1)) {
        FormatIsoDateTime(45000.0 + i / 86400.0, d1);
    }
};

}  // namespace quantora::bench
