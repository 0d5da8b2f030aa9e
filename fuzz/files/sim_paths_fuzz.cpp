// Paths the console sends to the simulated robot's disk: whatever the bytes,
// a path that is accepted lies inside the sandbox once every link on the way
// is resolved. The first byte chooses whether a link in the last place is
// followed; the rest is the path in the robot's code page.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sim/sim_files.h"

namespace {

namespace fs = std::filesystem;

struct Sandbox {
    Sandbox() {
        std::string pattern = (fs::temp_directory_path() / "velcora-fuzz-XXXXXX").string();
        base = mkdtemp(pattern.data());
        velcora::sim::CSimDisk::Seed((base / "files").string());
        fs::create_directories(base / "outside");
        std::error_code ec;
        fs::create_directory_symlink(base / "outside", base / "files" / "C" / "out", ec);
        fs::create_directory_symlink(base / "files" / "D", base / "files" / "C" / "d-link", ec);
        real = fs::canonical(base / "files").string();
        disk = std::make_unique<velcora::sim::CSimDisk>((base / "files").string());
    }
    ~Sandbox() {
        disk.reset();
        std::error_code ec;
        fs::remove_all(base, ec);
    }
    fs::path base;
    std::string real;
    std::unique_ptr<velcora::sim::CSimDisk> disk;
};

bool Inside(const std::string& path, const std::string& root) {
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Sandbox sandbox;
    if (size == 0) {
        return 0;
    }
    const bool follow = data[0] & 1;
    const std::string path(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto host = sandbox.disk->Resolve(path, follow);
    if (!host) {
        return 0;
    }
    std::error_code ec;
    const fs::path parent = fs::canonical(fs::path(*host).parent_path(), ec);
    if (ec || !Inside(parent.string(), sandbox.real)) {
        std::abort();
    }
    if (follow && fs::exists(*host, ec)) {
        const fs::path target = fs::canonical(*host, ec);
        if (ec || !Inside(target.string(), sandbox.real)) {
            std::abort();
        }
        sandbox.disk->List(path);
    }
    return 0;
}
