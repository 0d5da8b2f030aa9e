// Runs the benchmarks and, for every pair "<case>/ours" and "<case>/reference",
// prints how our code compares with the reference measured in the same run.
// A case run several times (repetitions) is compared by the medians of its
// runs, with the extremes of the ratio beside it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_results.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            // "<case>/ours" or "<case>/reference", possibly followed by the
            // library's own suffixes such as "/real_time" or "/repeats:5".
            const std::string name = run.benchmark_name();
            std::string base, side;
            for (const char* candidate : {"/ours", "/reference"}) {
                const auto at = name.find(candidate);
                if (at != std::string::npos) {
                    const auto end = at + std::string(candidate).size();
                    if (end != name.size() && name[end] != '/') {
                        continue;  // "/ours_kB" and the like are not a side
                    }
                    base = name.substr(0, at);
                    side = candidate + 1;
                    break;
                }
            }
            if (base.empty()) {
                continue;
            }
            const double perIteration = velcora::bench::ComparedByProcessorTime(base)
                                            ? run.GetAdjustedCPUTime()
                                            : run.GetAdjustedRealTime();
            (side == "ours" ? ours_ : reference_)[base].push_back(perIteration);
        }
    }

    void PrintRatios() const {
        bool header = false;
        for (const auto& [base, ours] : ours_) {
            auto it = reference_.find(base);
            if (it == reference_.end() || ours.empty() || it->second.empty()) {
                continue;
            }
            const double oursMedian = Median(ours);
            if (oursMedian <= 0) {
                continue;
            }
            if (!header) {
                std::printf("\nspeed relative to the reference (above 1.0: ours is faster)\n");
                header = true;
            }
            const auto& ref = it->second;
            const double ratio = Median(ref) / oursMedian;
            if (velcora::bench::ComparedByProcessorTime(base)) {
                std::printf("  (%s: by processor time)\n", base.c_str());
            }
            if (ours.size() > 1 || ref.size() > 1) {
                const double low = *std::min_element(ref.begin(), ref.end()) /
                                   *std::max_element(ours.begin(), ours.end());
                const double high = *std::max_element(ref.begin(), ref.end()) /
                                    *std::min_element(ours.begin(), ours.end());
                velcora::bench::ReportFigure(base, ratio, low, high);
            } else {
                velcora::bench::ReportFigure(base, ratio);
            }
        }
    }

  private:
    std::map<std::string, std::vector<double>> ours_;
    std::map<std::string, std::vector<double>> reference_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
