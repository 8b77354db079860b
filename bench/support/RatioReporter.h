#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace murmo::bench {

// The console report, remembering each benchmark's time per iteration so a
// program can print how one compares with its baseline.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration) times_[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }

    // measured / baseline, when both ran.
    std::optional<double> ratio(const std::string& measured, const std::string& baseline) const {
        const auto top = times_.find(measured);
        const auto bottom = times_.find(baseline);
        if (top == times_.end() || bottom == times_.end() || bottom->second <= 0) return std::nullopt;
        return top->second / bottom->second;
    }

    // Time per iteration in the benchmark's own unit, when it ran.
    std::optional<double> time(const std::string& name) const {
        const auto found = times_.find(name);
        if (found == times_.end()) return std::nullopt;
        return found->second;
    }

private:
    std::map<std::string, double> times_;
};

// Runs the benchmarks named on the command line with a RatioReporter and
// hands it to `report` afterwards. The body of each benchmark program's main.
template <class Report>
int runWithRatio(int argc, char** argv, Report report) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    report(reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace murmo::bench
