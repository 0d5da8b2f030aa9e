#include "nav/map_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "nav/sha256.h"

namespace velcora::nav {
namespace {

struct ShaCase {
    std::string input;
    const char* hex;
};

class Sha256Vectors : public ::testing::TestWithParam<ShaCase> {};

TEST_P(Sha256Vectors, MatchTheStandardDigests) {
    EXPECT_EQ(Sha256Hex(GetParam().input.data(), GetParam().input.size()), GetParam().hex);
}

INSTANTIATE_TEST_SUITE_P(
    Known, Sha256Vectors,
    ::testing::Values(
        ShaCase{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        ShaCase{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first padding block.
        ShaCase{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        ShaCase{std::string(1000000, 'a'),
                "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// The text between `"key":` and the next ',', '}' or ']'.
std::string ValueOf(const std::string& json, const std::string& key, std::size_t from = 0) {
    const std::size_t at = json.find("\"" + key + "\":", from);
    if (at == std::string::npos) {
        return "<missing>";
    }
    const std::size_t start = at + key.size() + 3;
    return json.substr(start, json.find_first_of(",}]", start) - start);
}

TEST(MapJson, DoublesReadBackExactlyAndListsKeepTheirOrder) {
    CNavProject map;
    map.robot.x = 0.1 + 0.2;
    map.robot.y = -0.0;
    map.robot.angle = std::numeric_limits<double>::quiet_NaN();
    auto* a = map.walls.NewItem();
    a->x = 1.0 / 3;
    a->side = 3;
    auto* b = map.walls.NewItem();
    b->x = 5e-324;
    auto* place = map.places.NewItem();
    place->bodyHeight = 0.1f;
    const std::string json = MapToJson(map);

    EXPECT_EQ(std::strtod(ValueOf(json, "x").c_str(), nullptr), 0.1 + 0.2);
    EXPECT_EQ(ValueOf(json, "y"), "-0");
    EXPECT_EQ(ValueOf(json, "angle"), "null");
    const std::size_t walls = json.find("\"walls\"");
    EXPECT_EQ(std::strtod(ValueOf(json, "x", walls).c_str(), nullptr), 1.0 / 3);
    EXPECT_EQ(ValueOf(json, "side", walls), "3");
    const std::size_t second = json.find("\"id\":1", walls);
    EXPECT_EQ(std::strtod(ValueOf(json, "x", second).c_str(), nullptr), 5e-324);
    // A single-precision field prints as the float it is.
    EXPECT_EQ(std::strtof(ValueOf(json, "bodyHeight").c_str(), nullptr), 0.1f);
    EXPECT_EQ(ValueOf(json, "bodyHeight"), "0.1");
}

TEST(MapJson, ShapeOfEveryList) {
    CNavProject map;
    auto* empty = map.images.NewItem();
    auto* image = map.images.NewItem();
    image->SetImageSize(1, 3);
    image->Pixels()[0] = 'a';
    image->Pixels()[1] = 'b';
    image->Pixels()[2] = 'c';
    image->noGo = true;
    auto* zone = map.zones.NewItem();
    zone->SetVertexCount(2);
    zone->Vertices()[1] = {2.5, -1};
    map.obstacles.NewItem();
    map.floorLines.NewItem()->kind = 1;
    map.route.id = 3;
    map.route.SetPointCount(1);
    map.route.Points()[0] = {4, 5, 6};
    (void)empty;
    const std::string json = MapToJson(map);

    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.back(), '}');
    EXPECT_NE(json.find("\"noGo\":false,\"bodyHeight\":0,\"pixelsSha256\":null"),
              std::string::npos);
    EXPECT_NE(json.find("\"noGo\":true,\"bodyHeight\":0,\"pixelsSha256\":"
                        "\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\""),
              std::string::npos);
    EXPECT_NE(json.find("\"vertices\":[[0,0],[2.5,-1]],\"zoneType\":1,\"parameter\":0,"
                        "\"zoneNumber\":0"),
              std::string::npos);
    EXPECT_NE(json.find("\"obstacles\":[{\"id\":3,\"version\":3,\"obstacleValue\":120000}]"),
              std::string::npos);
    EXPECT_NE(json.find("\"kind\":1,\"position\":0,\"lift\":0,\"tilt\":0}]"), std::string::npos);
    EXPECT_NE(json.find("\"route\":{\"id\":3,\"progress\":0,\"points\":[[4,5]]}}"),
              std::string::npos);
    EXPECT_NE(json.find("\"places\":[],"), std::string::npos);
}

}  // namespace
}  // namespace velcora::nav
