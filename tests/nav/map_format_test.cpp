#include "nav/map_format.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <string>

namespace velcora::nav {
namespace {

// Builds body bytes field by field.
class Bytes {
  public:
    Bytes& U8(uint8_t v) { return Put(WriteU8(s_, v)); }
    Bytes& U16(uint16_t v) { return Put(WriteU16(s_, v)); }
    Bytes& U32(uint32_t v) { return Put(WriteU32(s_, v)); }
    Bytes& I32(int32_t v) { return Put(WriteI32(s_, v)); }
    Bytes& F32(float v) { return Put(WriteFloat(s_, v)); }
    Bytes& F64(double v) { return Put(WriteDouble(s_, v)); }
    Bytes& Raw(std::string_view b) { return Put(WriteBytes(s_, b)); }
    Bytes& Pose(double x, double y, double a) { return F64(x).F64(y).F64(a); }
    // An empty body up to (not including) the list at `listIndex`.
    std::string Str() const { return std::string(s_.View()); }

  private:
    Bytes& Put(int32_t) { return *this; }
    CMemoryStream s_;
};

bool ReadBytes(CNavProject& map, const std::string& bytes) {
    CMemoryStream s;
    s.Assign(bytes);
    return ReadBody(map, s);
}

std::string BodyOf(const CNavProject& map, MapScope scope = MapScope::Whole) {
    CMemoryStream s;
    EXPECT_TRUE(WriteBody(map, s, scope));
    return std::string(s.View());
}

// A body whose only entry is one record in list `list` (0 images .. 5 floor lines).
std::string OneRecordBody(int list, int32_t id, const std::string& record) {
    Bytes b;
    b.U32(0);
    for (int i = 0; i < 5; ++i) {
        if (i == list) {
            b.I32(1).I32(id).Raw(record);
        } else {
            b.I32(0);
        }
    }
    b.U32(0);
    if (list == 5) {
        b.I32(1).I32(id).Raw(record);
    } else {
        b.I32(0);
    }
    return b.Str();
}

std::string Record(int32_t version, const std::string& body) {
    return Bytes().I32(static_cast<int32_t>(body.size()) + 4).I32(version).Raw(body).Str();
}

class TempDir : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) {
        return (std::filesystem::temp_directory_path() /
                ("velcora_nav_" + std::to_string(::getpid()) + "_" + name))
            .string();
    }
    void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string ReadAll(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
};

TEST(MapFormat, EmptyMapBodyIsTheDocumentedBytes) {
    CNavProject map;
    const std::string expected = Bytes()
                                     .U32(1)
                                     .I32(28)
                                     .I32(0)
                                     .Pose(0, 0, 0)
                                     .I32(0)
                                     .I32(0)
                                     .I32(0)
                                     .I32(0)
                                     .I32(0)
                                     .U32(1)
                                     .I32(12)
                                     .I32(0)
                                     .I32(0)
                                     .I32(0)
                                     .I32(0)
                                     .Str();
    EXPECT_EQ(BodyOf(map), expected);
    EXPECT_EQ(expected.size() + 4, 84u);
}

struct RecordCase {
    const char* name;
    int list;
    std::string body;
    std::function<void(const CNavProject&)> check;
};

class RecordReading : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordReading, ReadsEveryRecordShape) {
    CNavProject map;
    const auto& c = GetParam();
    ASSERT_TRUE(ReadBytes(map, OneRecordBody(c.list, 7, Record(9, c.body)))) << c.name;
    c.check(map);
    EXPECT_EQ(map.nextVersion, 10);
}

constexpr double kPi = std::numbers::pi;

INSTANTIATE_TEST_SUITE_P(
    Shapes, RecordReading,
    ::testing::Values(
        RecordCase{"place of length 32 keeps its body height", 2,
                   Bytes().Pose(1, 2, 3).I32(5).Str(),
                   [](const CNavProject& m) {
                       const CNavPlace* p = m.places.First();
                       ASSERT_NE(p, nullptr);
                       EXPECT_EQ(p->placeNumber, 5);
                       EXPECT_EQ(p->bodyHeight, 0.0f);
                       EXPECT_EQ(p->version, 9);
                   }},
        RecordCase{"place of length 36", 2, Bytes().Pose(1, 2, 3).I32(5).F32(120.5f).Str(),
                   [](const CNavProject& m) { EXPECT_EQ(m.places.First()->bodyHeight, 120.5f); }},
        RecordCase{"floor line of length 41 derives its tilt", 5,
                   Bytes().Pose(0, 0, 100 * kPi / 180).U8(1).F64(0.5).F32(3).Str(),
                   [](const CNavProject& m) {
                       const CNavFloorLine* f = m.floorLines.First();
                       ASSERT_NE(f, nullptr);
                       EXPECT_NEAR(f->angle, kPi / 2, 1e-12);
                       EXPECT_NEAR(f->tilt, 10 * kPi / 180, 1e-12);
                       EXPECT_EQ(f->kind, 1);
                       EXPECT_EQ(f->position, 0.5);
                       EXPECT_EQ(f->lift, 3.0f);
                   }},
        RecordCase{"floor line of length 49", 5,
                   Bytes().Pose(0, 0, 1.0).U8(0).F64(-1).F32(-2).F64(0.25).Str(),
                   [](const CNavProject& m) {
                       EXPECT_EQ(m.floorLines.First()->angle, 1.0);
                       EXPECT_EQ(m.floorLines.First()->tilt, 0.25);
                   }},
        RecordCase{"longer wall record skips the extra bytes", 1,
                   Bytes().Pose(4, 5, 6).U8(3).Raw("newer fields").Str(),
                   [](const CNavProject& m) {
                       EXPECT_EQ(m.walls.First()->side, 3);
                       EXPECT_EQ(m.walls.First()->x, 4);
                   }},
        RecordCase{"old image without its last two fields", 0,
                   Bytes().Pose(1, 1, 0).U16(2).U16(2).Raw("abcd").Str(),
                   [](const CNavProject& m) {
                       const CNavImage* i = m.images.First();
                       ASSERT_NE(i->Pixels(), nullptr);
                       EXPECT_EQ(std::string(reinterpret_cast<const char*>(i->Pixels()), 4),
                                 "abcd");
                       EXPECT_FALSE(i->noGo);
                       EXPECT_FALSE(m.emptyImageRead);
                   }},
        RecordCase{"image with pixels and flags", 0,
                   Bytes().Pose(1, 1, 0).U16(1).U16(3).Raw("xyz").U8(1).F32(80).Str(),
                   [](const CNavProject& m) {
                       EXPECT_TRUE(m.images.First()->noGo);
                       EXPECT_EQ(m.images.First()->bodyHeight, 80.0f);
                   }},
        RecordCase{"image without pixels is noticed", 0,
                   Bytes().Pose(1, 1, 0).U16(0).U16(0).U8(0).F32(0).Str(),
                   [](const CNavProject& m) {
                       EXPECT_EQ(m.images.First()->Pixels(), nullptr);
                       EXPECT_TRUE(m.emptyImageRead);
                   }},
        RecordCase{"old zone without parameter, number and type", 3,
                   Bytes().I32(2).F64(1).F64(2).F64(3).F64(4).Str(),
                   [](const CNavProject& m) {
                       const CNavZone* z = m.zones.First();
                       ASSERT_EQ(z->VertexCount(), 2);
                       EXPECT_EQ(z->Vertices()[1].y, 4);
                       EXPECT_EQ(z->zoneType, kZoneNarrowPlace);
                   }},
        RecordCase{"zone with every field", 3,
                   Bytes().I32(1).F64(1).F64(2).I32(-7).I32(12).U8(2).Str(),
                   [](const CNavProject& m) {
                       const CNavZone* z = m.zones.First();
                       EXPECT_EQ(z->parameter, -7);
                       EXPECT_EQ(z->zoneNumber, 12);
                       EXPECT_EQ(z->zoneType, kZoneTrafficLight);
                   }},
        RecordCase{
            "obstacle holds only its value", 4, Bytes().I32(5000).Str(),
            [](const CNavProject& m) { EXPECT_EQ(m.obstacles.First()->obstacleValue, 5000); }}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

struct InvalidCase {
    const char* name;
    std::string body;
};

class InvalidBodies : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidBodies, AreRefusedWithoutTrustingTheirSizes) {
    CNavProject map;
    EXPECT_FALSE(ReadBytes(map, GetParam().body)) << GetParam().name;
}

std::string WithRobotFlag(uint32_t flag) {
    return Bytes().U32(flag).I32(0).I32(0).I32(0).I32(0).I32(0).U32(0).Str();
}

std::string WithRouteFlag(uint32_t flag) {
    return Bytes()
        .U32(0)
        .I32(0)
        .I32(0)
        .I32(0)
        .I32(0)
        .I32(0)
        .U32(flag)
        .I32(12)
        .Raw(std::string(12, '\0'))
        .Str();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InvalidBodies,
    ::testing::Values(
        InvalidCase{"robot flag 2", WithRobotFlag(2)},
        InvalidCase{"route flag 2", WithRouteFlag(2)},
        InvalidCase{"record beyond the end",
                    OneRecordBody(1, 1, Bytes().I32(1000).I32(0).Pose(0, 0, 0).Str())},
        InvalidCase{"negative record length", OneRecordBody(1, 1, Bytes().I32(-8).Str())},
        InvalidCase{"image larger than its record",
                    OneRecordBody(0, 1,
                                  Record(0, Bytes()
                                                .Pose(0, 0, 0)
                                                .U16(0xFFFF)
                                                .U16(0xFFFF)
                                                .Raw(std::string(40, 'p'))
                                                .Str()))},
        InvalidCase{"zone with more vertices than its record",
                    OneRecordBody(3, 1, Record(0, Bytes().I32(0x7FFFFFFF).F64(0).Str()))},
        InvalidCase{"huge count with nothing behind it", Bytes().U32(0).I32(0x7FFFFFFF).Str()},
        InvalidCase{"route with more points than bytes",
                    Bytes()
                        .U32(0)
                        .I32(0)
                        .I32(0)
                        .I32(0)
                        .I32(0)
                        .I32(0)
                        .U32(1)
                        .I32(12)
                        .I32(0)
                        .I32(0x10000000)
                        .I32(0)
                        .Str()},
        InvalidCase{"truncated list block", Bytes().U32(0).I32(0).I32(0).Str()}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(MapFormat, BodyWithoutFloorLineBlockIsComplete) {
    CNavProject map;
    const std::string body = Bytes().U32(0).I32(0).I32(0).I32(0).I32(0).I32(0).U32(0).Str();
    EXPECT_TRUE(ReadBytes(map, body));
    EXPECT_EQ(map.floorLines.First(), nullptr);
}

TEST(MapFormat, MergeOverwritesKnownIdsInPlaceAndAppendsUnknownOnes) {
    CNavProject map;
    auto* first = map.walls.NewItem();   // id 0
    auto* second = map.walls.NewItem();  // id 1
    first->selected = true;
    const std::string body = Bytes()
                                 .U32(0)
                                 .I32(0)
                                 .I32(2)
                                 .I32(0)
                                 .Raw(Record(30, Bytes().Pose(10, 0, 0).U8(1).Str()))
                                 .I32(77)
                                 .Raw(Record(40, Bytes().Pose(20, 0, 0).U8(2).Str()))
                                 .I32(0)
                                 .I32(0)
                                 .I32(0)
                                 .U32(0)
                                 .Str();
    ASSERT_TRUE(ReadBytes(map, body));
    EXPECT_EQ(map.walls.First(), first);
    EXPECT_EQ(first->x, 10);
    EXPECT_EQ(first->version, 30);
    EXPECT_FALSE(first->selected);
    EXPECT_EQ(first->Next(), second);
    const CNavWall* added = map.walls.Last();
    EXPECT_NE(added, second);
    EXPECT_EQ(added->id, 31);  // fresh (above the version just read), not the stored 77
    EXPECT_EQ(added->x, 20);
    EXPECT_EQ(map.nextVersion, 41);
}

TEST(MapFormat, ObstaclesAreReplacedAndAlwaysWritten) {
    CNavProject source;
    auto* kept = source.obstacles.NewItem();
    kept->version = -3;
    kept->obstacleValue = 1;
    auto* wall = source.walls.NewItem();
    wall->version = -1;
    auto* place = source.places.NewItem();
    place->selected = true;
    source.obstacles.NewItem()->obstacleValue = 2;

    CNavProject target;
    target.obstacles.NewItem()->obstacleValue = 99;
    target.obstacles.NewItem()->obstacleValue = 98;
    ASSERT_TRUE(ReadBytes(target, BodyOf(source, MapScope::SelectionOnly)));
    ASSERT_EQ(target.obstacles.Count(), 2);
    EXPECT_EQ(target.obstacles.First()->obstacleValue, 1);
    EXPECT_EQ(target.walls.Count(), 0);
    EXPECT_EQ(target.places.Count(), 1);
    EXPECT_EQ(target.route.PointCount(), 0);
}

TEST(MapFormat, SelectionOnlyLeavesOutTheRouteAndAnUnselectedRobot) {
    CNavProject map;
    map.route.id = 5;
    map.robot.x = 3;
    const std::string body = BodyOf(map, MapScope::SelectionOnly);
    EXPECT_EQ(body, Bytes().U32(0).I32(0).I32(0).I32(0).I32(0).I32(0).U32(0).I32(0).Str());
    map.robot.selected = true;
    CNavProject other;
    ASSERT_TRUE(ReadBytes(other, BodyOf(map, MapScope::SelectionOnly)));
    EXPECT_EQ(other.robot.x, 3);
}

TEST(MapFormat, NegativeRouteIdIsNotWritten) {
    CNavProject map;
    map.route.id = -1;
    map.route.SetPointCount(2);
    CNavProject other;
    other.route.id = 8;
    ASSERT_TRUE(ReadBytes(other, BodyOf(map)));
    EXPECT_EQ(other.route.id, 8);
}

void FillSample(CNavProject& map) {
    map.robot.x = 1.5;
    map.robot.y = -2.25;
    map.robot.angle = 0.1;
    auto* image = map.images.NewItem();
    image->SetImageSize(3, 2);
    for (int i = 0; i < 6; ++i) {
        image->Pixels()[i] = static_cast<uint8_t>(i * 40);
    }
    image->noGo = true;
    image->bodyHeight = 44.5f;
    auto* wall = map.walls.NewItem();
    wall->side = 2;
    wall->x = 1e-300;
    auto* place = map.places.NewItem();
    place->placeNumber = 3;
    place->bodyHeight = 100;
    auto* zone = map.zones.NewItem();
    zone->SetVertexCount(3);
    zone->Vertices()[2] = {5, 6};
    zone->zoneType = kZoneThree;
    zone->zoneNumber = 9;
    zone->parameter = -4;
    map.obstacles.NewItem()->obstacleValue = 7;
    auto* line = map.floorLines.NewItem();
    line->kind = 1;
    line->tilt = -0.3;
    line->lift = 12.5f;
    line->position = 0.75;
    map.route.id = 4;
    map.route.progress = 1;
    map.route.SetPointCount(2);
    map.route.Points()[1] = {7, 8, 99};
}

TEST_F(TempDir, SaveThenLoadRestoresEveryFieldAndRenumbers) {
    CNavProject map;
    map.nextVersion = 50;
    FillSample(map);
    const std::string path = Path("roundtrip.navm");
    ASSERT_TRUE(SaveFile(map, path));
    EXPECT_EQ(ReadAll(path).substr(0, 4), "NA2M");

    CNavProject loaded;
    ASSERT_TRUE(LoadFile(loaded, path));
    map.Renumber();
    EXPECT_EQ(BodyOf(loaded), BodyOf(map));
    EXPECT_EQ(loaded.images.First()->id, 1);
    EXPECT_EQ(loaded.floorLines.First()->version, 6);
    EXPECT_EQ(loaded.nextVersion, 7);
    EXPECT_EQ(loaded.route.Points()[1].extra, 0);
    std::filesystem::remove(path);
}

TEST_F(TempDir, NewMapFileIs84Bytes) {
    CNavProject map;
    const std::string path = Path("empty.navm");
    ASSERT_TRUE(SaveFile(map, path));
    EXPECT_EQ(ReadAll(path).size(), 84u);
    std::filesystem::remove(path);
}

TEST_F(TempDir, BadFilesFailAndLeaveTheMapCleared) {
    for (const std::string& bytes :
         {std::string("NA2"), std::string("NA3M") + std::string(80, 0)}) {
        CNavProject map;
        map.walls.NewItem();
        const uint32_t before = map.mapId;
        const std::string path = Path("bad.navm");
        Write(path, bytes);
        EXPECT_FALSE(LoadFile(map, path));
        EXPECT_EQ(map.walls.First(), nullptr);
        EXPECT_EQ(map.nextVersion, 0);
        EXPECT_NE(map.mapId, before);
        std::filesystem::remove(path);
    }
    CNavProject map;
    EXPECT_FALSE(LoadFile(map, Path("missing.navm")));
}

TEST(MapFormat, PackAndUnpackRoundTrip) {
    CNavProject map;
    FillSample(map);
    std::minstd_rand noise(5);
    for (int i = 0; i < 20; ++i) {
        auto* image = map.images.NewItem();
        image->SetImageSize(64, 64);
        for (int p = 0; p < 64 * 64; ++p) {
            image->Pixels()[p] = static_cast<uint8_t>(noise());
        }
    }
    CMemoryStream packed;
    packed.Write("junk", 4);
    ASSERT_TRUE(PackMap(map, packed));
    EXPECT_EQ(static_cast<uint8_t>(packed.Data()[0]), 0x78);  // a zlib header, junk gone
    EXPECT_GT(packed.Size(), 16384);                          // several output steps

    packed.Seek(0, kSeekSet);
    CMemoryStream body;
    ASSERT_TRUE(UnpackMap(packed, body));
    EXPECT_EQ(std::string(body.View()), BodyOf(map));
}

TEST(MapFormat, UnpackRefusesDamagedOrTruncatedStreams) {
    CNavProject map;
    FillSample(map);
    CMemoryStream packed;
    ASSERT_TRUE(PackMap(map, packed));
    const std::string good(packed.View());

    for (const std::string& bad :
         {good.substr(0, good.size() - 5), std::string("xyzzy"), std::string()}) {
        CMemoryStream source;
        source.Assign(bad);
        CMemoryStream target;
        EXPECT_FALSE(UnpackMap(source, target));
    }
    std::string flipped = good;
    flipped[flipped.size() - 1] ^= 0x55;  // the Adler-32 trailer
    CMemoryStream source;
    source.Assign(flipped);
    CMemoryStream target;
    EXPECT_FALSE(UnpackMap(source, target));
}

// A packed map is bounded by what it inflates to, not by its packed size: a
// stream of zeros one byte over the limit is refused and the target keeps
// what it had; exactly at the limit it is taken whole.
TEST(MapFormat, UnpackStopsAtTheLimit) {
    const std::string zeros(300000, '\0');
    uLongf packedSize = compressBound(zeros.size());
    std::string packed(packedSize, '\0');
    ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                       reinterpret_cast<const Bytef*>(zeros.data()), zeros.size()),
              Z_OK);
    packed.resize(packedSize);
    EXPECT_LT(packed.size(), 1000u);
    for (const int64_t limit : {int64_t{299999}, int64_t{1}, int64_t{0}}) {
        CMemoryStream source;
        source.Assign(packed);
        CMemoryStream target;
        target.Write("keep", 4);
        EXPECT_FALSE(UnpackMap(source, target, limit)) << limit;
        EXPECT_EQ(std::string(target.View()), "keep");
    }
    for (const int64_t limit : {int64_t{300000}, kMaxUnpackedMap}) {
        CMemoryStream source;
        source.Assign(packed);
        CMemoryStream target;
        target.Write("head", 4);
        ASSERT_TRUE(UnpackMap(source, target, limit)) << limit;
        EXPECT_EQ(target.Size(), 300004);
        EXPECT_EQ(std::string(target.View().substr(0, 4)), "head");
        EXPECT_EQ(target.View().find_first_not_of('\0', 4), std::string_view::npos);
    }
}

}  // namespace
}  // namespace velcora::nav
