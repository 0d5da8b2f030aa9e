// The robot's side of the map exchange. The robot answers a poll whose stamp
// (mapId, nextVersion) differs from its own with a transfer offer (or, with
// --inline-maps, the packed map itself), serves the offered snapshot in
// requested chunks, takes uploads chunk by chunk, reports its navigation
// status once a second, drives along a planned route on a go-to and, while
// recording, marks the walls its rangefinders see and photographs the floor.
#include "sim/sim_map.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <queue>

#include "nav/map_format.h"
#include "sim/sim_features.h"

namespace velcora::sim {

namespace {

using nav::CNavProject;
using nav::NavMode;
using nav::NavVertex;
using nav::RobotNavStatus;

constexpr double kPi = std::numbers::pi;
constexpr uint32_t kStatusEveryMs = 1000;
// The console hears about pose changes at most this often.
constexpr uint32_t kPublishEveryMs = 1000;
constexpr uint32_t kSaveEveryMs = 5000;
constexpr double kSpeedCmPerS = 50;
constexpr double kRouteSpacing = 50;
constexpr double kMaxRange = 400;
constexpr double kCloseRange = 50;
constexpr double kRobotRadius = 30;
constexpr double kWallEvery = 50;
constexpr double kImageEvery = 100;
// The robot takes uploads up to this packed size; a map is far smaller.
constexpr uint32_t kMaxUpload = 64u << 20;
constexpr int32_t kAckRestart = -1;
constexpr const char* kMapFile = "map.navm";

struct Upload {
    bool active = false;
    uint32_t mapId = 0;
    int32_t nextVersion = 0;
    uint32_t size = 0;
    CMemoryStream data{1024};
};

struct Drive {
    bool active = false;
    std::vector<NavVertex> points;
    size_t next = 1;  // the point being driven to
    double endAngle = 0;
};

struct SimMapState {
    CNavProject map;
    SimPose pose;
    uint8_t modeBits = 0;  // automatic mode, QR code (bits 0 and 1)
    NavMode mode = NavMode::Off;
    uint8_t permissions = nav::kPermitWallsFront | nav::kPermitImages;

    // The snapshot offered by the last MapStatus.
    uint32_t transferId = 0;
    CMemoryStream offered{1024};
    bool offering = false;

    Upload upload;
    Drive drive;

    SimPose published;
    bool changed = false;  // route progress or pose moved since the last publish
    uint32_t sincePublish = 0;
    uint32_t sinceStatus = 0;
    uint32_t sinceSave = 0;
    bool dirty = false;
    double sinceWall = 0;
    double sinceImage = 0;
};

// Poses from the console (set directly, in an uploaded map or as a place to
// drive to) are taken only within 100 km of the origin, so that driving,
// recording and planning stay in finite arithmetic.
constexpr double kFarthest = 1e7;
bool Sane(double x, double y, double angle) {
    return std::isfinite(x) && std::isfinite(y) && std::isfinite(angle) &&
           std::fabs(x) <= kFarthest && std::fabs(y) <= kFarthest && std::fabs(angle) <= kFarthest;
}

SimMapState& State(CSimRobot& robot) {
    return robot.Feature<SimMapState>();
}

uint8_t Flags(const SimMapState& s) {
    return static_cast<uint8_t>(((s.permissions & nav::kNavPermissionMask) << 2) |
                                (s.modeBits & 0x03));
}

std::string MapFolder(CSimRobot& robot) {
    return robot.Root().empty() ? std::string() : robot.Root() + "/map";
}

void WriteHeader(CStream& out, const SimMapState& s, bool withStamp, const RobotNavStatus& st) {
    WriteU8(out, static_cast<uint8_t>(s.mode));
    WriteU8(out, Flags(s));
    if (withStamp) {
        WriteU32(out, s.map.mapId);
        WriteI32(out, s.map.nextVersion);
    }
    nav::WriteRobotNavStatus(out, st);
}

RobotNavStatus CurrentStatus(const SimMapState& s) {
    RobotNavStatus status = RangefinderStatus(DemoWorld(), s.pose);
    if (s.drive.active) {
        // While driving the difference shows the distance still to go.
        double left = 0;
        NavVertex at{s.pose.x, s.pose.y};
        for (size_t i = s.drive.next; i < s.drive.points.size(); ++i) {
            left += std::hypot(s.drive.points[i].x - at.x, s.drive.points[i].y - at.y);
            at = s.drive.points[i];
        }
        status.difference = static_cast<int32_t>(std::min(left, 2e9));
        status.differenceMarked = 1;
    }
    return status;
}

void SendNavStatus(CSimRobot& robot) {
    SimMapState& s = State(robot);
    CMemoryStream out;
    WriteHeader(out, s, false, CurrentStatus(s));
    robot.Send(msg::kModeFlags, out.View());
}

// The robot record of the map follows the pose.
void SyncRobot(SimMapState& s) {
    s.map.robot.x = s.pose.x;
    s.map.robot.y = s.pose.y;
    s.map.robot.angle = s.pose.angle;
}

void Save(CSimRobot& robot) {
    SimMapState& s = State(robot);
    s.dirty = false;
    s.sinceSave = 0;
    const std::string folder = MapFolder(robot);
    if (folder.empty()) {
        return;
    }
    SyncRobot(s);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!nav::SaveFile(s.map, folder + "/" + kMapFile)) {
        robot.Log("map: cannot save %s/%s", folder.c_str(), kMapFile);
    }
}

// Answers a console whose map stamp differs from the robot's.
void OfferMap(CSimRobot& robot) {
    SimMapState& s = State(robot);
    SyncRobot(s);
    CMemoryStream packed;
    if (!nav::PackMap(s.map, packed)) {
        robot.Log("map: cannot pack the map");
        return;
    }
    const RobotNavStatus status = CurrentStatus(s);
    CMemoryStream out;
    if (robot.Options().inlineMaps) {
        WriteHeader(out, s, true, status);
        out.Write(packed.Data(), packed.Size());
        robot.Send(msg::kNavStatePackedMap, out.View());
        robot.Log("map: sent the packed map inline (%d bytes)", packed.Size());
        return;
    }
    s.offered = std::move(packed);
    s.offering = true;
    ++s.transferId;
    WriteHeader(out, s, true, status);
    WriteU32(out, s.transferId);
    WriteU32(out, static_cast<uint32_t>(s.offered.Size()));
    robot.Send(msg::kMapStatus, out.View());
    robot.Log("map: offered transfer %u of %d bytes", s.transferId, s.offered.Size());
}

void OnPoll(CSimRobot& robot, CStream& payload, int32_t length) {
    if (length < 8) {
        return;
    }
    const uint32_t mapId = ReadU32(payload);
    const int32_t nextVersion = ReadI32(payload);
    const SimMapState& s = State(robot);
    if (mapId != s.map.mapId || nextVersion != s.map.nextVersion) {
        OfferMap(robot);
    }
}

void OnChunkRequest(CSimRobot& robot, CStream& payload, int32_t length) {
    SimMapState& s = State(robot);
    if (length < 8) {
        return;
    }
    const uint32_t transferId = ReadU32(payload);
    const uint32_t received = ReadU32(payload);
    if (!s.offering || transferId != s.transferId) {
        robot.Log("map: chunk request for unknown transfer %u", transferId);
        return;
    }
    const auto size = static_cast<uint32_t>(s.offered.Size());
    if (received > size) {
        return;
    }
    const uint32_t step = static_cast<uint32_t>(std::max(1, robot.Options().mapChunkSize));
    const uint32_t count = std::min(step, size - received);
    CMemoryStream out;
    WriteU32(out, s.transferId);
    WriteU32(out, received);
    WriteU32(out, count);
    out.Write(s.offered.Data() + received, static_cast<int32_t>(count));
    robot.Send(msg::kMapChunk, out.View());
}

void Ack(CSimRobot& robot, int32_t value) {
    CMemoryStream out;
    WriteI32(out, value);
    robot.Send(msg::kMapUploadAck, out.View());
}

void OnUploadBegin(CSimRobot& robot, CStream& payload, int32_t length) {
    Upload& u = State(robot).upload;
    u.active = false;
    u.data.Clear();
    if (length < 12) {
        return;
    }
    u.mapId = ReadU32(payload);
    u.nextVersion = ReadI32(payload);
    u.size = ReadU32(payload);
    if (u.size == 0 || u.size > kMaxUpload) {
        robot.Log("map: upload of %u bytes refused", u.size);
        return;
    }
    u.active = true;
    robot.Log("map: upload of %u bytes begins", u.size);
}

// Takes a complete upload over as the robot's map; false when it does not read.
bool AcceptUpload(CSimRobot& robot) {
    SimMapState& s = State(robot);
    Upload& u = s.upload;
    u.data.Seek(0, kSeekSet);
    CMemoryStream body(1024);
    if (!nav::UnpackMap(u.data, body)) {
        return false;
    }
    body.Seek(0, kSeekSet);
    auto fresh = std::make_unique<CNavProject>();
    fresh->Clear();
    if (!nav::ReadBody(*fresh, body, nav::MergeIds::Stored)) {
        return false;
    }
    // The uploaded map replaces the robot's entirely, ids and all, so that the
    // console finds its own items when it loads the map back.
    s.map.Clear();
    body.Seek(0, kSeekSet);
    nav::ReadBody(s.map, body, nav::MergeIds::Stored);
    s.map.mapId = u.mapId;
    // Reading spends counter values on new items; the console's counter holds.
    int32_t highest = -1;
    for (const nav::CNavList* list : s.map.lists) {
        for (const nav::CNavItem* it = list->First(); it; it = it->Next()) {
            highest = std::max(highest, it->version);
        }
    }
    s.map.nextVersion = std::max(u.nextVersion, highest + 1);
    if (Sane(s.map.robot.x, s.map.robot.y, s.map.robot.angle)) {
        s.pose = {s.map.robot.x, s.map.robot.y, s.map.robot.angle};
    }
    s.published = s.pose;
    s.drive.active = false;
    s.offering = false;
    Save(robot);
    return true;
}

void OnUploadChunk(CSimRobot& robot, CStream& payload, int32_t length) {
    SimMapState& s = State(robot);
    Upload& u = s.upload;
    if (length < 4) {
        return;
    }
    const uint32_t offset = ReadU32(payload);
    const auto count = static_cast<uint32_t>(length - 4);
    const auto have = static_cast<uint32_t>(u.data.Size());
    if (!u.active || offset > have || uint64_t{offset} + count > u.size) {
        // No upload, a gap or bytes beyond the declared size: start over.
        Ack(robot, kAckRestart);
        return;
    }
    if (offset < have) {
        // A resent chunk that already arrived.
        Ack(robot, static_cast<int32_t>(offset));
        return;
    }
    const std::string bytes = ReadBytes(payload, static_cast<int32_t>(count));
    u.data.Seek(0, kSeekEnd);
    if (u.data.Write(bytes.data(), static_cast<int32_t>(bytes.size())) !=
        static_cast<int32_t>(bytes.size())) {
        u.active = false;
        Ack(robot, kAckRestart);
        return;
    }
    if (static_cast<uint32_t>(u.data.Size()) >= u.size) {
        u.active = false;
        if (!AcceptUpload(robot)) {
            // A map that does not read is asked for again rather than
            // acknowledged as taken.
            robot.Log("map: the uploaded map does not read; asking for it again");
            u.data.Clear();
            u.active = true;
            Ack(robot, kAckRestart);
            return;
        }
        robot.Log("map: upload complete, %d walls, %d places", s.map.walls.Count(),
                  s.map.places.Count());
    }
    Ack(robot, static_cast<int32_t>(offset));
}

void OnGoToPlace(CSimRobot& robot, CStream& payload, int32_t length) {
    SimMapState& s = State(robot);
    if (length < 4) {
        return;
    }
    const auto number = static_cast<int32_t>(ReadU32(payload));
    const nav::CNavPlace* place = s.map.FindPlaceByNumber(number);
    if (!place || !Sane(place->x, place->y, place->angle)) {
        robot.Log("map: no place %d to drive to", number);
        return;
    }
    s.drive.points =
        PlanRoute(DemoWorld(), {s.pose.x, s.pose.y}, {place->x, place->y}, kRouteSpacing);
    s.drive.next = 1;
    s.drive.endAngle = place->angle;
    s.drive.active = true;
    nav::CNavRoute& route = s.map.route;
    if (route.SetPointCount(static_cast<int32_t>(s.drive.points.size()))) {
        for (size_t i = 0; i < s.drive.points.size(); ++i) {
            route.Points()[i] = {s.drive.points[i].x, s.drive.points[i].y, 0};
        }
    }
    route.id = std::max(route.id, 0) + 1;
    route.progress = 0;
    s.changed = true;
    s.map.TakeVersion();
    s.dirty = true;
    // The console follows the robot on its map.
    robot.Send(msg::kMapLoadOn, {});
    robot.Log("map: driving to place %d along %zu points", number, s.drive.points.size());
}

void OnPoseSet(CSimRobot& robot, CStream& payload, int32_t length) {
    SimMapState& s = State(robot);
    if (length < 24) {
        return;
    }
    const double x = ReadDouble(payload);
    const double y = ReadDouble(payload);
    const double angle = ReadDouble(payload);
    if (!Sane(x, y, angle)) {
        return;
    }
    s.pose = {x, y, angle};
    s.drive.active = false;
    s.changed = true;
}

// Drives `distance` centimetres further along the route.
void AdvanceDrive(SimMapState& s, double distance) {
    Drive& d = s.drive;
    while (d.active && distance > 0) {
        if (d.next >= d.points.size()) {
            d.active = false;
            s.pose.angle = d.endAngle;
            s.changed = true;
            break;
        }
        const NavVertex target = d.points[d.next];
        const double dx = target.x - s.pose.x;
        const double dy = target.y - s.pose.y;
        const double left = std::hypot(dx, dy);
        if (left > 1e-9) {
            s.pose.angle = std::atan2(dy, dx);
        }
        if (left <= distance) {
            s.pose.x = target.x;
            s.pose.y = target.y;
            distance -= left;
            s.map.route.progress = static_cast<int32_t>(d.next);
            ++d.next;
            s.changed = true;
        } else {
            s.pose.x += dx / left * distance;
            s.pose.y += dy / left * distance;
            distance = 0;
        }
    }
    if (d.active && d.next >= d.points.size()) {
        d.active = false;
        s.pose.angle = d.endAngle;
        s.changed = true;
    }
}

// A floor picture: tiles with dark joints and a gentle pattern, the same
// wherever the robot looks at the same spot.
uint8_t FloorShade(double x, double y) {
    const double tx = x - 50 * std::floor(x / 50);
    const double ty = y - 50 * std::floor(y / 50);
    if (tx < 2 || ty < 2) {
        return 40;
    }
    return static_cast<uint8_t>(140 + 60 * std::sin(x / 23) * std::cos(y / 17));
}

// With `blank` the record carries no pixels, as a robot whose camera failed
// writes it (the console marks such a map).
void TakePicture(CNavProject& map, const SimPose& pose, int width, int height, bool blank = false) {
    auto* image = new nav::CNavImage(&map.images);
    image->x = pose.x;
    image->y = pose.y;
    image->angle = pose.angle;
    if (blank || !image->SetImageSize(width, height)) {
        return;
    }
    const double c = std::cos(pose.angle);
    const double s = std::sin(pose.angle);
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            const double u = i - width / 2.0;
            const double v = height / 2.0 - j;
            image->Pixels()[j * width + i] =
                FloorShade(pose.x + u * c - v * s, pose.y + u * s + v * c);
        }
    }
}

bool WallNear(const CNavProject& map, double x, double y, double radius) {
    for (auto* w = map.walls.First(); w; w = nav::CNavWallList::Next(w)) {
        if (std::hypot(w->x - x, w->y - y) < radius) {
            return true;
        }
    }
    return false;
}

// The angle of the world wall nearest to a point, for the marks recorded on it.
double WallAngleAt(double x, double y) {
    double best = std::numeric_limits<double>::max();
    double angle = 0;
    for (const SimSegment& g : DemoWorld()) {
        const double dx = g.x1 - g.x0;
        const double dy = g.y1 - g.y0;
        const double len2 = dx * dx + dy * dy;
        const double t =
            len2 > 0 ? std::clamp(((x - g.x0) * dx + (y - g.y0) * dy) / len2, 0.0, 1.0) : 0.0;
        const double d = std::hypot(g.x0 + t * dx - x, g.y0 + t * dy - y);
        if (d < best) {
            best = d;
            angle = std::atan2(dy, dx);
        }
    }
    return angle;
}

void Record(SimMapState& s, double moved, bool blankImages) {
    if (s.mode != NavMode::Recording || moved <= 0) {
        return;
    }
    s.sinceWall += moved;
    s.sinceImage += moved;
    if (s.sinceWall >= kWallEvery) {
        s.sinceWall = 0;
        struct Sensor {
            uint8_t permission;
            double offset;
            uint8_t side;
        };
        static constexpr Sensor kSensors[] = {{nav::kPermitWallsFront, 0, 0},
                                              {nav::kPermitWallsLeft, kPi / 2, 1},
                                              {nav::kPermitWallsRight, -kPi / 2, 2}};
        for (const Sensor& sensor : kSensors) {
            if (!(s.permissions & sensor.permission)) {
                continue;
            }
            const double a = s.pose.angle + sensor.offset;
            const double d = CastRay(DemoWorld(), s.pose.x, s.pose.y, a, kMaxRange);
            if (d >= kMaxRange) {
                continue;
            }
            const double wx = s.pose.x + d * std::cos(a);
            const double wy = s.pose.y + d * std::sin(a);
            if (WallNear(s.map, wx, wy, kWallEvery / 2)) {
                continue;
            }
            auto* wall = new nav::CNavWall(&s.map.walls);
            wall->x = wx;
            wall->y = wy;
            wall->angle = WallAngleAt(wx, wy);
            wall->side = sensor.side;
            s.dirty = true;
        }
    }
    if (s.sinceImage >= kImageEvery && (s.permissions & nav::kPermitImages)) {
        s.sinceImage = 0;
        TakePicture(s.map, s.pose, 64, 48, blankImages);
        s.dirty = true;
    }
}

void Tick(CSimRobot& robot, uint32_t elapsedMs) {
    SimMapState& s = State(robot);
    // A long pause (a stopped clock, a jump in tests) is not driven through at once.
    const uint32_t ms = std::min<uint32_t>(elapsedMs, 1000);
    const SimPose before = s.pose;
    AdvanceDrive(s, kSpeedCmPerS * ms / 1000.0);
    Record(s, std::hypot(s.pose.x - before.x, s.pose.y - before.y), robot.Options().blankImages);

    s.sincePublish += elapsedMs;
    if (s.sincePublish >= kPublishEveryMs) {
        s.sincePublish = 0;
        const bool moved = s.pose.x != s.published.x || s.pose.y != s.published.y ||
                           s.pose.angle != s.published.angle;
        if (moved || s.changed) {
            // A new stamp, so that the console's next poll fetches the change.
            SyncRobot(s);
            s.published = s.pose;
            s.changed = false;
            s.map.TakeVersion();
            s.dirty = true;
        }
    }
    s.sinceSave += elapsedMs;
    if (s.dirty && s.sinceSave >= kSaveEveryMs) {
        Save(robot);
    }
    s.sinceStatus += elapsedMs;
    if (s.sinceStatus >= kStatusEveryMs) {
        s.sinceStatus = 0;
        if (robot.Authorised()) {
            SendNavStatus(robot);
        }
    }
}

void Seed(CSimRobot& robot) {
    SimMapState& s = State(robot);
    const std::string folder = MapFolder(robot);
    const std::string path = folder + "/" + kMapFile;
    std::error_code ec;
    if (!folder.empty() && std::filesystem::exists(path, ec) && nav::LoadFile(s.map, path)) {
        robot.Log("map: loaded %s", path.c_str());
        if (Sane(s.map.robot.x, s.map.robot.y, s.map.robot.angle)) {
            s.pose = {s.map.robot.x, s.map.robot.y, s.map.robot.angle};
        }
    } else {
        BuildDemoMap(s.map);
        s.pose = {s.map.robot.x, s.map.robot.y, s.map.robot.angle};
        Save(robot);
    }
    s.published = s.pose;
}

}  // namespace

void SetMapModeBits(CSimRobot& robot, uint8_t bits) {
    State(robot).modeBits = static_cast<uint8_t>(bits & 0x03);
}
void SendMapNavStatus(CSimRobot& robot) {
    SendNavStatus(robot);
}
SimPose& MapPose(CSimRobot& robot) {
    return State(robot).pose;
}
CNavProject& RobotMap(CSimRobot& robot) {
    return State(robot).map;
}
NavMode MapMode(CSimRobot& robot) {
    return State(robot).mode;
}
uint8_t MapPermissions(CSimRobot& robot) {
    return State(robot).permissions;
}
bool MapDriving(CSimRobot& robot) {
    return State(robot).drive.active;
}

const std::vector<SimSegment>& DemoWorld() {
    // A 12 m by 8 m floor: one room on the left, two on the right, with a
    // doorway between the halves and one between the right-hand rooms.
    static const std::vector<SimSegment> kWorld = {
        {0, 0, 1200, 0},    {1200, 0, 1200, 800}, {1200, 800, 0, 800},  {0, 800, 0, 0},
        {600, 0, 600, 150}, {600, 250, 600, 800}, {600, 400, 850, 400}, {950, 400, 1200, 400},
    };
    return kWorld;
}

void BuildDemoMap(CNavProject& map) {
    map.Clear();
    map.SelectAll(false);
    map.robot.x = 100;
    map.robot.y = 100;
    map.robot.angle = 0;

    SimPose camera{150, 150, 0};
    TakePicture(map, camera, 64, 48);
    camera = {900, 200, kPi / 2};
    TakePicture(map, camera, 48, 64);
    map.images.Last()->noGo = true;
    map.images.Last()->bodyHeight = 35.5f;

    for (const SimSegment& g : DemoWorld()) {
        const double length = std::hypot(g.x1 - g.x0, g.y1 - g.y0);
        const int marks = static_cast<int>(length / kWallEvery);
        for (int i = 0; i <= marks; ++i) {
            const double t = marks > 0 ? static_cast<double>(i) / marks : 0;
            auto* wall = new nav::CNavWall(&map.walls);
            wall->x = g.x0 + t * (g.x1 - g.x0);
            wall->y = g.y0 + t * (g.y1 - g.y0);
            wall->angle = std::atan2(g.y1 - g.y0, g.x1 - g.x0);
        }
    }

    struct Place {
        double x, y, angle;
        float bodyHeight;
    };
    static constexpr Place kPlaces[] = {{150, 150, 0, 0},
                                        {450, 650, kPi / 2, 20},
                                        {900, 200, 0, 0},
                                        {1050, 650, kPi, 40},
                                        {300, 400, -kPi / 2, 0}};
    for (size_t i = 0; i < std::size(kPlaces); ++i) {
        auto* place = new nav::CNavPlace(&map.places);
        place->x = kPlaces[i].x;
        place->y = kPlaces[i].y;
        place->angle = kPlaces[i].angle;
        place->placeNumber = static_cast<int32_t>(i + 1);
        place->bodyHeight = kPlaces[i].bodyHeight;
    }

    struct Zone {
        int32_t type, parameter, number;
        std::vector<NavVertex> vertices;
    };
    const Zone zones[] = {
        {nav::kZoneNarrowPlace, 40, 1, {{570, 140}, {630, 140}, {630, 260}, {570, 260}}},
        {nav::kZoneTrafficLight, 5, 2, {{840, 370}, {960, 370}, {960, 430}, {840, 430}}},
        {nav::kZoneThree, 0, 3, {{50, 600}, {250, 600}, {150, 750}}},
    };
    for (const Zone& z : zones) {
        auto* zone = new nav::CNavZone(&map.zones);
        zone->zoneType = z.type;
        zone->parameter = z.parameter;
        zone->zoneNumber = z.number;
        if (zone->SetVertexCount(static_cast<int32_t>(z.vertices.size()))) {
            std::copy(z.vertices.begin(), z.vertices.end(), zone->Vertices());
        }
    }

    new nav::CNavObstacle(&map.obstacles);

    auto* along = new nav::CNavFloorLine(&map.floorLines);
    along->x = 300;
    along->y = 200;
    along->kind = static_cast<uint8_t>(nav::FloorLineKind::Longitudinal);
    along->position = 0.25;
    along->lift = 10;
    along->tilt = 0.05;
    auto* across = new nav::CNavFloorLine(&map.floorLines);
    across->x = 900;
    across->y = 600;
    across->angle = kPi / 2;
    across->kind = static_cast<uint8_t>(nav::FloorLineKind::Transverse);
    across->position = -0.5;
    across->lift = -20;

    const std::vector<NavVertex> path =
        PlanRoute(DemoWorld(), {map.robot.x, map.robot.y}, {900, 200}, kRouteSpacing);
    if (map.route.SetPointCount(static_cast<int32_t>(path.size()))) {
        for (size_t i = 0; i < path.size(); ++i) {
            map.route.Points()[i] = {path[i].x, path[i].y, 0};
        }
    }
    map.route.id = 1;
    map.route.progress = 0;
    // Numbered from 1, as a map read from a file would be.
    map.Renumber();
}

double CastRay(const std::vector<SimSegment>& world, double x, double y, double angle,
               double maxRange) {
    const double dx = std::cos(angle);
    const double dy = std::sin(angle);
    double best = maxRange;
    for (const SimSegment& g : world) {
        const double ex = g.x1 - g.x0;
        const double ey = g.y1 - g.y0;
        const double denom = dx * ey - dy * ex;
        if (std::fabs(denom) < 1e-12) {
            continue;
        }
        const double wx = g.x0 - x;
        const double wy = g.y0 - y;
        const double t = (wx * ey - wy * ex) / denom;  // along the ray
        const double u = (wx * dy - wy * dx) / denom;  // along the segment
        if (t >= 0 && u >= 0 && u <= 1 && t < best) {
            best = t;
        }
    }
    return best;
}

RobotNavStatus RangefinderStatus(const std::vector<SimSegment>& world, const SimPose& pose) {
    RobotNavStatus status;
    // Lasers ahead, sonars at the sides, infrared behind.
    static constexpr int kKinds[RobotNavStatus::kSensors] = {1, 1, 2, 3, 3, 3, 2, 1};
    for (int n = 0; n < RobotNavStatus::kSensors; ++n) {
        const double d = CastRay(world, pose.x, pose.y, pose.angle + n * kPi / 4, kMaxRange);
        status.ranges[n] = static_cast<int32_t>(std::lround(d));
        if (d < kCloseRange) {
            status.sensorFlags |= 1u << n;
        }
        status.sensorFlags |= static_cast<uint32_t>(kKinds[n]) << (8 + 2 * n);
    }
    return status;
}

namespace {

double SegmentDistance(const SimSegment& g, double x, double y) {
    const double dx = g.x1 - g.x0;
    const double dy = g.y1 - g.y0;
    const double len2 = dx * dx + dy * dy;
    const double t =
        len2 > 0 ? std::clamp(((x - g.x0) * dx + (y - g.y0) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(g.x0 + t * dx - x, g.y0 + t * dy - y);
}

bool Clear(const std::vector<SimSegment>& world, double x, double y) {
    for (const SimSegment& g : world) {
        if (SegmentDistance(g, x, y) < kRobotRadius) {
            return false;
        }
    }
    return true;
}

// Whether the straight way between two points keeps clear of every wall.
bool LineClear(const std::vector<SimSegment>& world, NavVertex a, NavVertex b) {
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const int steps = std::max(1, static_cast<int>(length / 5));
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        if (!Clear(world, a.x + t * (b.x - a.x), a.y + t * (b.y - a.y))) {
            return false;
        }
    }
    return true;
}

std::vector<NavVertex> Densify(const std::vector<NavVertex>& corners, double spacing) {
    std::vector<NavVertex> out;
    out.push_back(corners.front());
    for (size_t i = 1; i < corners.size(); ++i) {
        const NavVertex a = corners[i - 1];
        const NavVertex b = corners[i];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        const int pieces = std::max(1, static_cast<int>(std::ceil(length / spacing)));
        for (int k = 1; k <= pieces; ++k) {
            const double t = static_cast<double>(k) / pieces;
            out.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
        }
    }
    return out;
}

}  // namespace

std::vector<NavVertex> PlanRoute(const std::vector<SimSegment>& world, NavVertex from, NavVertex to,
                                 double spacing) {
    spacing = std::max(spacing, 1.0);
    if (!std::isfinite(from.x) || !std::isfinite(from.y) || !std::isfinite(to.x) ||
        !std::isfinite(to.y)) {
        return {from, to};
    }
    // A grid over the world and both ends, coarse enough to stay small.
    double minX = std::min(from.x, to.x), maxX = std::max(from.x, to.x);
    double minY = std::min(from.y, to.y), maxY = std::max(from.y, to.y);
    for (const SimSegment& g : world) {
        minX = std::min({minX, g.x0, g.x1});
        maxX = std::max({maxX, g.x0, g.x1});
        minY = std::min({minY, g.y0, g.y1});
        maxY = std::max({maxY, g.y0, g.y1});
    }
    minX -= 100, minY -= 100, maxX += 100, maxY += 100;
    constexpr double kMaxCells = 200000;
    double cell = 10;
    // Far-off ends (the console may put the robot anywhere) coarsen the grid
    // rather than grow it: neither side may run past the cap either.
    auto cellCount = [&](double c) {
        return std::max(1.0, (maxX - minX) / c) * std::max(1.0, (maxY - minY) / c);
    };
    while (cellCount(cell) > kMaxCells) {
        cell *= 2;
    }
    const int w = static_cast<int>(std::ceil((maxX - minX) / cell)) + 1;
    const int h = static_cast<int>(std::ceil((maxY - minY) / cell)) + 1;
    auto centre = [&](int i) {
        return NavVertex{minX + (i % w) * cell, minY + static_cast<double>(i / w) * cell};
    };
    auto index = [&](NavVertex p) {
        const int cx = std::clamp(static_cast<int>(std::lround((p.x - minX) / cell)), 0, w - 1);
        const int cy = std::clamp(static_cast<int>(std::lround((p.y - minY) / cell)), 0, h - 1);
        return cy * w + cx;
    };
    const int start = index(from);
    const int goal = index(to);
    std::vector<uint8_t> open(static_cast<size_t>(w) * h);
    for (int i = 0; i < w * h; ++i) {
        const NavVertex c = centre(i);
        open[i] = Clear(world, c.x, c.y) ? 1 : 0;
    }
    open[start] = open[goal] = 1;

    // A* with eight neighbours and the octile distance as the estimate.
    std::vector<double> cost(open.size(), std::numeric_limits<double>::infinity());
    std::vector<int> came(open.size(), -1);
    using Entry = std::pair<double, int>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    auto estimate = [&](int i) {
        const double dx = std::abs(i % w - goal % w);
        const double dy = std::abs(i / w - goal / w);
        return (std::max(dx, dy) + (std::sqrt(2.0) - 1) * std::min(dx, dy)) * cell;
    };
    cost[start] = 0;
    queue.push({estimate(start), start});
    bool found = false;
    while (!queue.empty()) {
        const auto [f, i] = queue.top();
        queue.pop();
        if (i == goal) {
            found = true;
            break;
        }
        if (f > cost[i] + estimate(i) + 1e-9) {
            continue;
        }
        const int x = i % w;
        const int y = i / w;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx;
                const int ny = y + dy;
                if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= w || ny >= h) {
                    continue;
                }
                const int n = ny * w + nx;
                if (!open[n]) {
                    continue;
                }
                const double step = (dx != 0 && dy != 0 ? std::sqrt(2.0) : 1.0) * cell;
                if (cost[i] + step < cost[n]) {
                    cost[n] = cost[i] + step;
                    came[n] = i;
                    queue.push({cost[n] + estimate(n), n});
                }
            }
        }
    }
    if (!found) {
        return Densify({from, to}, spacing);
    }
    std::vector<NavVertex> cells;
    for (int i = goal; i != -1; i = came[i]) {
        cells.push_back(centre(i));
    }
    std::reverse(cells.begin(), cells.end());
    cells.front() = from;
    cells.back() = to;
    // Cut corners wherever the straight way is clear.
    std::vector<NavVertex> corners{from};
    size_t at = 0;
    while (at + 1 < cells.size()) {
        size_t reach = at + 1;
        while (reach + 1 < cells.size() && LineClear(world, cells[at], cells[reach + 1])) {
            ++reach;
        }
        corners.push_back(cells[reach]);
        at = reach;
    }
    return Densify(corners, spacing);
}

const std::vector<msg::Type>& MapMessageTypes() {
    static const std::vector<msg::Type> kTypes = {
        msg::kMapPoll,        msg::kMapSubscribe,   msg::kMapChunkRequest, msg::kMapTransferEnd,
        msg::kMapUploadBegin, msg::kMapUploadChunk, msg::kNavModeSet,      msg::kNavPermissionsSet,
        msg::kGoToPlace,      msg::kRobotPoseSet,
    };
    return kTypes;
}

bool HandleMapMessage(CSimRobot& robot, msg::Type type, CStream& p, int32_t n) {
    SimMapState& s = State(robot);
    switch (type) {
        case msg::kMapPoll:
            OnPoll(robot, p, n);
            return true;
        case msg::kMapSubscribe:
            // The console's subscription at connect carries the same stamp as
            // a poll (or nothing, when it does not load the robot's map).
            if (n >= 9) {
                OnPoll(robot, p, n);
            }
            return true;
        case msg::kMapChunkRequest:
            OnChunkRequest(robot, p, n);
            return true;
        case msg::kMapTransferEnd:
            s.offering = false;
            s.offered.Clear();
            return true;
        case msg::kMapUploadBegin:
            OnUploadBegin(robot, p, n);
            return true;
        case msg::kMapUploadChunk:
            OnUploadChunk(robot, p, n);
            return true;
        case msg::kNavModeSet: {
            if (n < 1) {
                return true;
            }
            const uint8_t mode = ReadU8(p);
            if (mode > static_cast<uint8_t>(NavMode::Recording)) {
                return true;
            }
            s.mode = static_cast<NavMode>(mode);
            s.sinceWall = s.sinceImage = 0;
            SendNavStatus(robot);
            if (s.mode == NavMode::Recording) {
                robot.Send(msg::kMapLoadOn, {});
            }
            return true;
        }
        case msg::kNavPermissionsSet:
            if (n >= 1) {
                s.permissions = ReadU8(p) & nav::kNavPermissionMask;
                SendNavStatus(robot);
            }
            return true;
        case msg::kGoToPlace:
            OnGoToPlace(robot, p, n);
            return true;
        case msg::kRobotPoseSet:
            OnPoseSet(robot, p, n);
            return true;
        default:
            return false;
    }
}

void AdvanceMap(CSimRobot& robot, uint32_t elapsedMs) {
    Tick(robot, elapsedMs);
}

void InstallMap(CSimRobot& robot) {
    Seed(robot);
    robot.OnTick([&robot](uint32_t elapsedMs) { Tick(robot, elapsedMs); });
    // Transfers do not outlive the console that started them.
    robot.OnSession([&robot] {
        SimMapState& s = State(robot);
        s.offering = false;
        s.offered.Clear();
        s.upload.active = false;
        s.upload.data.Clear();
    });
    for (const msg::Type type : MapMessageTypes()) {
        robot.On(type,
                 [&robot, type](CStream& p, int32_t n) { HandleMapMessage(robot, type, p, n); });
    }
}

}  // namespace velcora::sim
