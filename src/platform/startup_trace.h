// Marks on the way from process start to the first painted window, for the
// start-up benchmark. When VELCORA_STARTUP_TRACE names a file, each mark
// appends "<name> <monotonic clock in microseconds>" to it; otherwise a mark
// costs one look at the environment, made once.
#pragma once

#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace velcora::platform {

inline void StartupMark(const char* name) {
    static const char* const path = std::getenv("VELCORA_STARTUP_TRACE");
    if (!path || !*path) {
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (std::FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s %lld\n", name,
                     static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
        std::fclose(f);
    }
}

}  // namespace velcora::platform
