// Runs the benchmarks and, for every pair "<case>/ours" and "<case>/reference",
// prints how our code compares with the reference measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            // "<case>/ours" or "<case>/reference", possibly followed by the
            // library's own suffixes such as "/real_time".
            const std::string name = run.benchmark_name();
            std::string base, side;
            for (const char* candidate : {"/ours", "/reference"}) {
                const auto at = name.find(candidate);
                if (at != std::string::npos) {
                    base = name.substr(0, at);
                    side = candidate + 1;
                    break;
                }
            }
            if (base.empty()) {
                continue;
            }
            const double perIteration = run.GetAdjustedRealTime();
            if (side == "ours") {
                ours_[base] = perIteration;
            } else if (side == "reference") {
                reference_[base] = perIteration;
            }
        }
    }

    void PrintRatios() const {
        bool header = false;
        for (const auto& [base, ours] : ours_) {
            auto it = reference_.find(base);
            if (it == reference_.end() || ours <= 0) {
                continue;
            }
            if (!header) {
                std::printf("\nspeed relative to the reference (above 1.0: ours is faster)\n");
                header = true;
            }
            std::printf("  %-50s %.2f\n", base.c_str(), it->second / ours);
        }
    }

  private:
    std::map<std::string, double> ours_;
    std::map<std::string, double> reference_;
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
