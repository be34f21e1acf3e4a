// A console reporter that also prints, after the run, the time of each benchmark divided by the
// time of its baseline (both measured in the same run). Benchmarks run with repetitions give one
// ratio per repetition (the n-th run of each paired with the n-th of the other): the median is
// held against the goal, and the minimum is printed beside it. A pair may instead be held against
// the fastest of several benchmarks (the one with the lowest median time in the run).
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quantora::bench {

struct RatioPair {
    std::string label, ours, baseline;  // benchmark names as registered
    double goal;                        // the ratio we aim to stay under (0: none)
    // When not empty, the baseline is whichever of these ran fastest (lowest median time); its
    // name is printed after the label and `baseline` is not used.
    std::vector<std::string> fastestOf = {};
};

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size();
    return m % 2 ? v[m / 2] : (v[m / 2 - 1] + v[m / 2]) / 2;
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(std::vector<RatioPair> pairs) : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration) {
                std::string name = r.benchmark_name();
                times_[name.substr(0, name.find('/'))].push_back(r.GetAdjustedRealTime());
            }
    }

    // Prints one line per pair; returns the number of pairs over their goal.
    int PrintRatios() const {
        int over = 0;
        std::printf("\n%-70s %10s %8s %8s %5s\n", "ratio (ours / baseline, same run)", "median",
                    "min", "goal", "runs");
        for (const RatioPair& p : pairs_) {
            std::string label = p.label;
            auto a = times_.find(p.ours), b = times_.find(p.baseline);
            if (!p.fastestOf.empty()) {
                b = Fastest(p.fastestOf);
                if (b != times_.end()) label += " (" + b->first + ")";
            }
            if (a == times_.end() || b == times_.end()) continue;
            std::vector<double> ratios;
            for (size_t i = 0; i < std::min(a->second.size(), b->second.size()); ++i)
                if (b->second[i] > 0) ratios.push_back(a->second[i] / b->second[i]);
            if (ratios.empty()) continue;
            const double median = Median(ratios),
                         least = *std::min_element(ratios.begin(), ratios.end());
            bool bad = p.goal > 0 && median > p.goal;
            over += bad;
            std::printf("%-70s %10.3f %8.3f %8.2f %5zu%s\n", label.c_str(), median, least, p.goal,
                        ratios.size(), bad ? "  OVER GOAL" : "");
        }
        return over;
    }

  private:
    using Times = std::map<std::string, std::vector<double>>;

    // The measured benchmark among `names` with the lowest median time.
    Times::const_iterator Fastest(const std::vector<std::string>& names) const {
        auto best = times_.end();
        for (const std::string& n : names) {
            auto t = times_.find(n);
            if (t != times_.end() && !t->second.empty() &&
                (best == times_.end() || Median(t->second) < Median(best->second)))
                best = t;
        }
        return best;
    }

    std::vector<RatioPair> pairs_;
    Times times_;  // per repetition
};

using BenchFunction = void (*)(benchmark::State&);

// Registers `variants` to run in `rounds` rounds, every variant once per round in the given order,
// so that a change of load on a shared machine hits all of them alike; the n-th round is named
// "<name>/<n>" and the reporter pairs the n-th runs.
inline void RegisterRounds(int rounds,
                           const std::vector<std::pair<const char*, BenchFunction>>& variants,
                           benchmark::TimeUnit unit, double minTime) {
    for (int i = 0; i < rounds; ++i)
        for (const auto& [name, fn] : variants)
            benchmark::RegisterBenchmark((name + ("/" + std::to_string(i))).c_str(), fn)
                ->Unit(unit)
                ->MinTime(minTime);
}

// main() body for a benchmark program with ratio pairs.
inline int RunWithRatios(int argc, char** argv, std::vector<RatioPair> pairs) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}

}  // namespace quantora::bench
