// velcoractl commands for navigation maps: inspecting and converting .navm
// files and packed maps offline.
#include <cstdio>
#include <string>

#include "app/ctl/ctl.h"
#include "link/stream.h"
#include "nav/map_format.h"
#include "nav/map_json.h"
#include "nav/nav_project.h"

namespace velcora::ctl {

namespace {

using nav::CNavProject;

int Failed(const std::string& text) {
    std::fprintf(stderr, "velcoractl: %s\n", text.c_str());
    return kExitFailed;
}

bool Load(CNavProject& map, const std::string& path) {
    if (!nav::LoadFile(map, path)) {
        Failed("cannot read the map file " + path);
        return false;
    }
    return true;
}

int Info(const std::vector<std::string>& files) {
    CNavProject map;
    if (!Load(map, files[0])) {
        return kExitFailed;
    }
    std::printf("mapId: %u\n", map.mapId);
    std::printf("nextVersion: %d\n", map.nextVersion);
    std::printf("images: %d\n", map.images.Count());
    std::printf("walls: %d\n", map.walls.Count());
    std::printf("places: %d\n", map.places.Count());
    std::printf("zones: %d\n", map.zones.Count());
    std::printf("obstacles: %d\n", map.obstacles.Count());
    std::printf("floorLines: %d\n", map.floorLines.Count());
    std::printf("routePoints: %d\n", map.route.PointCount());
    return kExitDone;
}

int Dump(const std::vector<std::string>& files) {
    CNavProject map;
    if (!Load(map, files[0])) {
        return kExitFailed;
    }
    std::printf("%s\n", nav::MapToJson(map).c_str());
    return kExitDone;
}

int Resave(const std::vector<std::string>& files) {
    CNavProject map;
    if (!Load(map, files[0])) {
        return kExitFailed;
    }
    if (!nav::SaveFile(map, files[1])) {
        return Failed("cannot write the map file " + files[1]);
    }
    return kExitDone;
}

int Pack(const std::vector<std::string>& files) {
    CNavProject map;
    if (!Load(map, files[0])) {
        return kExitFailed;
    }
    CMemoryStream packed;
    if (!nav::PackMap(map, packed)) {
        return Failed("cannot pack the map");
    }
    if (!packed.SaveToFile(files[1])) {
        return Failed("cannot write " + files[1]);
    }
    return kExitDone;
}

int Unpack(const std::vector<std::string>& files) {
    CMemoryStream packed;
    if (!packed.LoadFromFile(files[0])) {
        return Failed("cannot read " + files[0]);
    }
    CMemoryStream body;
    if (!nav::UnpackMap(packed, body)) {
        return Failed(files[0] + " is not a packed map");
    }
    body.Seek(0, kSeekSet);
    CNavProject map;
    map.Clear();
    if (!nav::ReadBody(map, body)) {
        return Failed(files[0] + " does not hold a valid map body");
    }
    if (!nav::SaveFile(map, files[1])) {
        return Failed("cannot write the map file " + files[1]);
    }
    return kExitDone;
}

int Navm(Args& args) {
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    const auto& rest = args.Rest();
    if (rest.empty()) {
        return UsageError("navm needs a subcommand: info, dump, resave, pack or unpack");
    }
    const std::string& sub = rest[0];
    const std::vector<std::string> files(rest.begin() + 1, rest.end());
    struct Sub {
        const char* name;
        std::size_t files;
        int (*run)(const std::vector<std::string>&);
    };
    static const Sub kSubs[] = {{"info", 1, Info},
                                {"dump", 1, Dump},
                                {"resave", 2, Resave},
                                {"pack", 2, Pack},
                                {"unpack", 2, Unpack}};
    for (const Sub& s : kSubs) {
        if (sub == s.name) {
            if (files.size() != s.files) {
                return UsageError("navm " + sub + (s.files == 1 ? " needs FILE" : " needs IN OUT"));
            }
            return s.run(files);
        }
    }
    return UsageError("unknown navm subcommand " + sub);
}

}  // namespace

void RegisterNavCommands(Registry& registry) {
    registry.Add({"navm",
                  "navm info FILE | dump FILE | resave IN OUT | pack IN OUT | unpack IN OUT",
                  "inspect a .navm map file, or convert it to and from a packed map", Navm});
}

}  // namespace velcora::ctl
