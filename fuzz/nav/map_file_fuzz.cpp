// Whole .navm files through LoadFile, which reads from disk.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "nav/map_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora::nav;
    static const std::string path = "/tmp/velcora_map_file_fuzz_" + std::to_string(getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return 0;
    }
    if (size > 0) {
        std::fwrite(data, 1, size, f);
    }
    std::fclose(f);
    CNavProject map([] { return 3; });
    if (LoadFile(map, path)) {
        SaveFile(map, path);
    }
    std::remove(path.c_str());
    return 0;
}
