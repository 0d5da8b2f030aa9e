// The figures a benchmark program hands to the summary table of `make bench`:
// each is printed at once and, when VELCORA_BENCH_RESULTS names a file,
// appended to it as one tab-separated line (name, value, lowest, highest), so
// that the script running every program can set them against their goals.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace velcora::bench {

// `value` is the figure itself (a ratio or a time); `low` and `high` are the
// extremes seen over the repeated runs it summarises (NaN when it was one run).
inline void ReportFigure(const std::string& name, double value, double low = NAN,
                         double high = NAN) {
    if (!std::isnan(low) && !std::isnan(high)) {
        std::printf("  %-50s %.2f  (runs %.2f .. %.2f)\n", name.c_str(), value, low, high);
    } else {
        std::printf("  %-50s %.2f\n", name.c_str(), value);
    }
    std::fflush(stdout);
    const char* path = std::getenv("VELCORA_BENCH_RESULTS");
    if (!path || !*path) {
        return;
    }
    if (std::FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\t%.4f\t%.4f\t%.4f\n", name.c_str(), value, low, high);
        std::fclose(f);
    }
}

// Cases whose pair is compared by the processor time of the measuring thread
// rather than wall time: single-threaded work that never waits, where other
// programs on a shared machine would otherwise decide the ratio.
inline std::set<std::string>& ProcessorTimeCases() {
    static std::set<std::string> cases;
    return cases;
}

// `prefix` is matched against the start of the case name ("<case>" of
// "<case>/ours"); returns true so that it can initialise a constant.
inline bool CompareByProcessorTime(const std::string& prefix) {
    ProcessorTimeCases().insert(prefix);
    return true;
}

inline bool ComparedByProcessorTime(const std::string& base) {
    for (const auto& prefix : ProcessorTimeCases()) {
        if (base.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace velcora::bench
