#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <thread>

#include "app/ctl/ctl.h"
#include "e2e/sim_thread.h"
#include "link/robot_connection.h"
#include "nav/map_format.h"
#include "nav/map_json.h"
#include "nav/map_transfer.h"
#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_map.h"
#include "sim/sim_robot.h"

namespace velcora {
namespace {

using nav::CNavProject;

std::string WithoutMapId(const std::string& json) {
    return std::regex_replace(json, std::regex("\"mapId\":[0-9]+,"), "");
}

class Owner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {}
};

class View : public nav::IMapTransferView {
  public:
    void ShowNavMode(nav::NavMode m) override {
        mode = m;
        ++statuses;
    }
    void ShowRobotFlags(uint8_t f) override { flags = f; }
    void ShowLoadFromRobot(bool on) override { loadOn = on; }
    void ShowNavStatus(const nav::RobotNavStatus& s, bool) override { status = s; }
    void UploadComplete() override { uploaded = true; }
    void MapReceived(nav::MapArrival a, bool ok) override {
        ++received;
        arrival = a;
        lastOk = ok;
    }

    nav::NavMode mode = nav::NavMode::Off;
    int statuses = 0;
    uint8_t flags = 0;
    bool loadOn = false;
    nav::RobotNavStatus status;
    bool uploaded = false;
    int received = 0;
    nav::MapArrival arrival = nav::MapArrival::Download;
    bool lastOk = false;
};

// The console's map transfer and the simulated robot on one reactor.
class MapE2E : public ::testing::Test {
  protected:
    void Start(sim::SimOptions options = {}) {
        options.port = 0;
        robot = std::make_unique<sim::CSimRobot>(reactor, options);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        link.SetPasswordAnsi("");
        ASSERT_TRUE(link.ConnectAnsi("127.0.0.1", robot->Port(), false));
        ASSERT_TRUE(Run([&] { return link.State() == kStateAuthorised; }));
    }
    bool Run(const std::function<bool()>& done, uint32_t ms = 10000) {
        return reactor.RunUntil(done, ms);
    }
    bool Pull() {
        const int before = view.received;
        transfer.SetLoadFromRobot(true);
        const bool ok = Run([&] { return view.received > before; });
        transfer.SetLoadFromRobot(false);
        return ok && view.lastOk;
    }
    // Lets `seconds` of the robot's time pass in one-second jumps.
    void Pass(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            reactor.AdvanceClock(1000);
            reactor.RunUntil([] { return false; }, 40);
        }
    }

    platform::PollReactor reactor;
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link{reactor, dispatcher, &owner};
    CNavProject map;
    View view;
    nav::CMapTransfer transfer{link, map, view};
    platform::ScopedTimer tick{reactor, 20, [this] {
                                   link.Tick();
                                   transfer.Tick(reactor.Now());
                               }};
    std::unique_ptr<sim::CSimRobot> robot;
};

struct PullCase {
    const char* name;
    bool inlineMaps;
    int32_t chunk;
    int minRequests;
};

class PullE2E : public MapE2E, public ::testing::WithParamInterface<PullCase> {};

TEST_P(PullE2E, GivesTheRobotsMap) {
    sim::SimOptions o;
    o.inlineMaps = GetParam().inlineMaps;
    o.mapChunkSize = GetParam().chunk;
    Start(o);
    ASSERT_TRUE(Pull());
    EXPECT_EQ(view.arrival,
              GetParam().inlineMaps ? nav::MapArrival::Inline : nav::MapArrival::Download);
    const CNavProject& theirs = sim::RobotMap(*robot);
    EXPECT_EQ(nav::MapToJson(map), nav::MapToJson(theirs));
    EXPECT_EQ(map.places.Count(), 5);
    EXPECT_EQ(map.images.Count(), 2);
    EXPECT_GE(robot->Received(msg::kMapChunkRequest), GetParam().minRequests);
    // Once in step, polls bring nothing new.
    transfer.SetLoadFromRobot(true);
    Pass(5);
    EXPECT_EQ(view.received, 1);
}

INSTANTIATE_TEST_SUITE_P(Ways, PullE2E,
                         ::testing::Values(PullCase{"OneChunk", false, 16384, 1},
                                           PullCase{"SmallChunks", false, 700, 4},
                                           PullCase{"Inline", true, 16384, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

void Edit(CNavProject& map) {
    map.places.First()->x += 33.25;
    map.places.First()->placeNumber = 42;
    delete map.walls.Last();
    auto* zone = new nav::CNavZone(&map.zones);
    ASSERT_TRUE(zone->SetVertexCount(3));
    zone->Vertices()[0] = {1, 2};
    zone->Vertices()[1] = {300, 2};
    zone->Vertices()[2] = {1, 250.5};
    zone->zoneType = nav::kZoneTrafficLight;
    nav::CNavImage* image = map.images.First();
    ASSERT_TRUE(image->SetImageSize(20, 10));
    for (int i = 0; i < 200; ++i) {
        image->Pixels()[i] = static_cast<uint8_t>(i);
    }
    map.robot.x = 222;
    map.route.progress = 3;
}

TEST_F(MapE2E, PushedMapComesBackIdentical) {
    Start();
    ASSERT_TRUE(Pull());
    Edit(map);
    const std::string pushed = nav::MapToJson(map);
    ASSERT_TRUE(transfer.StartUpload());
    ASSERT_TRUE(Run([&] { return view.uploaded; }));
    EXPECT_EQ(sim::MapPose(*robot).x, 222);

    CNavProject fresh;
    View freshView;
    nav::CMapTransfer other(link, fresh, freshView);
    other.SetLoadFromRobot(true);
    platform::ScopedTimer otherTick(reactor, 20, [&] { other.Tick(reactor.Now()); });
    ASSERT_TRUE(Run([&] { return freshView.received > 0; }));
    EXPECT_TRUE(freshView.lastOk);
    EXPECT_EQ(WithoutMapId(nav::MapToJson(fresh)), WithoutMapId(pushed));
}

// Chunks the robot must not take, each answered with a restart.
struct ChunkCase {
    const char* name;
    uint32_t declared;  // 0: no upload begun
    uint32_t offset;
    int32_t bytes;
    int32_t ack;
};

class UploadChunkE2E : public MapE2E, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(UploadChunkE2E, IsAnsweredAsExpected) {
    Start();
    std::vector<int32_t> acks;
    auto reg = dispatcher.Register(msg::kMapUploadAck,
                                   [&](CStream& s, int32_t) { acks.push_back(ReadI32(s)); });
    const ChunkCase& c = GetParam();
    if (c.declared) {
        CStream& s = link.BeginFrame(msg::kMapUploadBegin);
        WriteU32(s, 77);
        WriteI32(s, 5);
        WriteU32(s, c.declared);
        link.EndFrame();
    }
    CStream& s = link.BeginFrame(msg::kMapUploadChunk);
    WriteU32(s, c.offset);
    WriteBytes(s, std::string(static_cast<size_t>(c.bytes), 'x'));
    link.EndFrame();
    ASSERT_TRUE(Run([&] { return !acks.empty(); }));
    EXPECT_EQ(acks.front(), c.ack);
    EXPECT_EQ(sim::RobotMap(*robot).places.Count(), 5);  // the map is untouched
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UploadChunkE2E,
    ::testing::Values(ChunkCase{"NoUpload", 0, 0, 10, -1}, ChunkCase{"Gap", 100, 10, 10, -1},
                      ChunkCase{"BeyondDeclared", 100, 0, 101, -1},
                      ChunkCase{"HugeOffset", 100, 0xFFFFFFF0u, 32, -1},
                      ChunkCase{"FirstPiece", 100, 0, 60, 0},
                      // Every byte arrived but they are no map: asked for again.
                      ChunkCase{"Garbage", 10, 0, 10, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MapE2E, ModeAndPermissionsComeBackInTheStatus) {
    Start();
    transfer.SendNavMode(nav::NavMode::Recording);
    // Recording switches the console's loading on.
    ASSERT_TRUE(Run([&] { return view.mode == nav::NavMode::Recording && view.loadOn; }));
    transfer.SetPermissions(nav::kPermitWallsLeft | nav::kPermitImages);
    ASSERT_TRUE(Run([&] {
        return nav::PermissionsFromFlags(view.flags) ==
               (nav::kPermitWallsLeft | nav::kPermitImages);
    }));
    EXPECT_EQ(sim::MapMode(*robot), nav::NavMode::Recording);
    // The status carries the rangefinders as seen from the robot's pose.
    const nav::RobotNavStatus expected =
        sim::RangefinderStatus(sim::DemoWorld(), sim::MapPose(*robot));
    EXPECT_EQ(view.status.ranges, expected.ranges);
    EXPECT_EQ(view.status.sensorFlags, expected.sensorFlags);
    // From (100, 100) facing +x the nearest walls are 100 cm behind and to the right.
    EXPECT_EQ(view.status.ranges[4], 100);
    EXPECT_EQ(view.status.ranges[6], 100);
}

TEST_F(MapE2E, GoToDrivesAlongTheRouteAndRecords) {
    Start();
    transfer.SendNavMode(nav::NavMode::Recording);
    transfer.SendGoToPlace(4);  // the far room, through two doorways
    ASSERT_TRUE(Run([&] { return sim::MapDriving(*robot); }));
    ASSERT_TRUE(transfer.CentreOnRobotEnabled());
    ASSERT_TRUE(Run([&] { return view.received > 0; }));
    const int32_t points = map.route.PointCount();
    ASSERT_GT(points, 10);
    int32_t lastProgress = map.route.progress;
    int advances = 0;
    for (int round = 0; round < 80 && sim::MapDriving(*robot); ++round) {
        // Two seconds for the console's poll, of which the robot drives one.
        reactor.AdvanceClock(2000);
        const int before = view.received;
        Run([&] { return view.received > before; }, 3000);
        if (map.route.progress > lastProgress) {
            ++advances;
            lastProgress = map.route.progress;
        }
    }
    EXPECT_FALSE(sim::MapDriving(*robot));
    EXPECT_GE(advances, 3);
    const nav::CNavPlace* place = map.FindPlaceByNumber(4);
    ASSERT_TRUE(place);
    EXPECT_NEAR(sim::MapPose(*robot).x, place->x, 1e-6);
    EXPECT_NEAR(sim::MapPose(*robot).y, place->y, 1e-6);
    // Recording photographed the floor on the way, and the console has it.
    EXPECT_GT(sim::RobotMap(*robot).images.Count(), 2);
    for (int round = 0; round < 3; ++round) {
        reactor.AdvanceClock(2000);
        reactor.RunUntil([] { return false; }, 150);
    }
    EXPECT_EQ(map.route.progress, points - 1);
    EXPECT_EQ(map.images.Count(), sim::RobotMap(*robot).images.Count());
    EXPECT_NEAR(map.robot.x, place->x, 1e-6);
}

// Recording marks walls only through the rangefinders it is allowed to use.
struct RecordCase {
    const char* name;
    uint8_t permissions;
    int side;  // the side every new wall carries; -1: no walls
    bool images;
};

class RecordE2E : public MapE2E, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordE2E, MarksWhatThePermissionsAllow) {
    Start();
    CNavProject& theirs = sim::RobotMap(*robot);
    theirs.walls.DeleteAll();
    const int images = theirs.images.Count();
    transfer.SendNavMode(nav::NavMode::Recording);
    transfer.SetPermissions(GetParam().permissions);
    transfer.SendGoToPlace(3);
    ASSERT_TRUE(Run([&] { return sim::MapDriving(*robot); }));
    for (int i = 0; i < 60 && sim::MapDriving(*robot); ++i) {
        Pass(1);
    }
    ASSERT_FALSE(sim::MapDriving(*robot));
    if (GetParam().side < 0) {
        EXPECT_EQ(theirs.walls.Count(), 0);
    } else {
        EXPECT_GT(theirs.walls.Count(), 0);
        for (auto* w = theirs.walls.First(); w; w = nav::CNavWallList::Next(w)) {
            EXPECT_EQ(w->side, GetParam().side);
            // Every mark lies on a wall of the world.
            double nearest = 1e9;
            for (double a = 0; a < 6.3; a += 0.01) {
                nearest = std::min(nearest, sim::CastRay(sim::DemoWorld(), w->x, w->y, a, 1e9));
            }
            EXPECT_LT(nearest, 0.5);
        }
    }
    EXPECT_EQ(theirs.images.Count() > images, GetParam().images);
}

INSTANTIATE_TEST_SUITE_P(Permissions, RecordE2E,
                         ::testing::Values(RecordCase{"Front", nav::kPermitWallsFront, 0, false},
                                           RecordCase{"Left", nav::kPermitWallsLeft, 1, false},
                                           RecordCase{"Right", nav::kPermitWallsRight, 2, false},
                                           RecordCase{"ImagesOnly", nav::kPermitImages, -1, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MapE2E, PoseSetMovesTheRobotOnBothMaps) {
    Start();
    ASSERT_TRUE(Pull());
    transfer.SendRobotPose(300, 500, 1.25);
    ASSERT_TRUE(Run([&] { return sim::MapPose(*robot).x == 300; }));
    EXPECT_EQ(sim::MapPose(*robot).y, 500);
    // A pose far outside any floor is not taken.
    transfer.SendRobotPose(1e300, 0, 0);
    transfer.SendRobotPose(400, 500, 0);
    ASSERT_TRUE(Run([&] { return sim::MapPose(*robot).x == 400; }));
    transfer.SetLoadFromRobot(true);
    for (int i = 0; i < 5 && map.robot.x != 400; ++i) {
        reactor.AdvanceClock(2000);
        reactor.RunUntil([&] { return map.robot.x == 400; }, 300);
    }
    EXPECT_EQ(map.robot.x, 400);
    EXPECT_EQ(map.robot.y, 500);
}

TEST(MapRoute, KeepsClearOfWallsAndPassesTheDoorway) {
    const auto& world = sim::DemoWorld();
    const auto route = sim::PlanRoute(world, {100, 100}, {1050, 650}, 50);
    ASSERT_GE(route.size(), 3u);
    EXPECT_DOUBLE_EQ(route.front().x, 100);
    EXPECT_DOUBLE_EQ(route.back().y, 650);
    for (size_t i = 1; i < route.size(); ++i) {
        const double dx = route[i].x - route[i - 1].x;
        const double dy = route[i].y - route[i - 1].y;
        EXPECT_LE(std::hypot(dx, dy), 50 + 1e-9);
        // No step crosses a wall: the ray between them is unobstructed.
        const double length = std::hypot(dx, dy);
        if (length > 0) {
            EXPECT_GE(sim::CastRay(world, route[i - 1].x, route[i - 1].y, std::atan2(dy, dx), 1e9),
                      length);
        }
    }
}

// The command line: `map pull` writes the robot's demo map to a file.
TEST(MapCommandE2E, PullWritesTheDemoMap) {
    test::SimThread robot({});
    ASSERT_TRUE(robot.Started());
    ctl::Registry registry;
    ctl::RegisterNavCommands(registry);
    const ctl::Command* command = registry.Find("map");
    ASSERT_TRUE(command);
    const std::string out = ::testing::TempDir() + "velcora_map_e2e.navm";
    unsetenv("VELCORA_PASSWORD");
    ctl::Args args({"pull", out, "--host", "127.0.0.1", "--port", std::to_string(robot.Port()),
                    "--ini", ::testing::TempDir() + "velcora_map_e2e_missing.ini"});
    testing::internal::CaptureStderr();
    const int rc = command->run(args);
    const std::string progress = testing::internal::GetCapturedStderr();
    robot.Stop();
    ASSERT_EQ(rc, ctl::kExitDone) << progress;
    EXPECT_NE(progress.find("downloaded map read"), std::string::npos);

    CNavProject pulled;
    ASSERT_TRUE(nav::LoadFile(pulled, out));
    CNavProject demo;
    sim::BuildDemoMap(demo);
    EXPECT_EQ(WithoutMapId(nav::MapToJson(pulled)), WithoutMapId(nav::MapToJson(demo)));
    std::remove(out.c_str());
}

}  // namespace
}  // namespace velcora
