// A console reporter that also prints, after the run, the time of each benchmark divided by the
// time of its baseline (both measured in the same run).
#pragma once

#include <benchmark/benchmark.h>

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
                times_[name.substr(0, name.find('/'))] = r.GetAdjustedRealTime();
            }
    }

    // Prints one line per pair; returns the number of pairs over their goal.
    int PrintRatios() const {
        int over = 0;
        std::printf("\n%-58s %10s %8s\n", "ratio (ours / baseline, same run)", "ratio", "goal");
        for (const RatioPair& p : pairs_) {
            auto a = times_.find(p.ours), b = times_.find(p.baseline);
            if (a == times_.end() || b == times_.end() || b->second <= 0) continue;
            double ratio = a->second / b->second;
            bool bad = p.goal > 0 && ratio > p.goal;
            over += bad;
            std::printf("%-58s %10.3f %8.2f%s\n", p.label.c_str(), ratio, p.goal,
                        bad ? "  OVER GOAL" : "");
        }
        return over;
    }

  private:
    std::vector<RatioPair> pairs_;
    std::map<std::string, double> times_;
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
