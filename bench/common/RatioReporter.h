// A console reporter that also prints, after the run, the time of each benchmark divided by the
// time of its baseline (both measured in the same run). Benchmarks run with repetitions give one
// ratio per repetition (the n-th run of each paired with the n-th of the other): the median is
// held against the goal, and the minimum is printed beside it.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace quantora::bench {

struct RatioPair {
    std::string label, ours, baseline;  // benchmark names as registered
    double goal;                        // the ratio we aim to stay under (0: none)
};

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
        std::printf("\n%-58s %10s %8s %8s %5s\n", "ratio (ours / baseline, same run)", "median",
                    "min", "goal", "runs");
        for (const RatioPair& p : pairs_) {
            auto a = times_.find(p.ours), b = times_.find(p.baseline);
            if (a == times_.end() || b == times_.end()) continue;
            std::vector<double> ratios;
            for (size_t i = 0; i < std::min(a->second.size(), b->second.size()); ++i)
                if (b->second[i] > 0) ratios.push_back(a->second[i] / b->second[i]);
            if (ratios.empty()) continue;
            std::sort(ratios.begin(), ratios.end());
            const size_t m = ratios.size();
            const double median = m % 2 ? ratios[m / 2] : (ratios[m / 2 - 1] + ratios[m / 2]) / 2;
            bool bad = p.goal > 0 && median > p.goal;
            over += bad;
            std::printf("%-58s %10.3f %8.3f %8.2f %5zu%s\n", p.label.c_str(), median, ratios[0],
                        p.goal, m, bad ? "  OVER GOAL" : "");
        }
        return over;
    }

  private:
    std::vector<RatioPair> pairs_;
    std::map<std::string, std::vector<double>> times_;  // per repetition
};

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
