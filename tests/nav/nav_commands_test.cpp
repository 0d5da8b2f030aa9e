#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/ctl/ctl.h"
#include "nav/map_format.h"

namespace velcora::ctl {
namespace {

class NavmCommand : public ::testing::Test {
  protected:
    void SetUp() override { RegisterNavCommands(registry); }
    void TearDown() override {
        for (const auto& p : paths) {
            std::filesystem::remove(p);
        }
    }
    std::string Path(const std::string& name) {
        paths.push_back((std::filesystem::temp_directory_path() /
                         ("velcora_navm_" + std::to_string(getpid()) + "_" + name))
                            .string());
        return paths.back();
    }
    int Run(std::vector<std::string> words, std::string* out = nullptr) {
        Args args(std::move(words));
        ::testing::internal::CaptureStdout();
        const int code = registry.Find("navm")->run(args);
        const std::string printed = ::testing::internal::GetCapturedStdout();
        if (out) {
            *out = printed;
        }
        return code;
    }

    Registry registry;
    std::vector<std::string> paths;
};

TEST_F(NavmCommand, PackUnpackAndResaveKeepTheMap) {
    nav::CNavProject map;
    map.robot.x = 4;
    map.walls.NewItem()->side = 1;
    auto* place = map.places.NewItem();
    place->placeNumber = 12;
    const std::string original = Path("a.navm");
    ASSERT_TRUE(nav::SaveFile(map, original));

    const std::string packed = Path("a.packed");
    const std::string unpacked = Path("b.navm");
    const std::string resaved = Path("c.navm");
    EXPECT_EQ(Run({"pack", original, packed}), kExitDone);
    EXPECT_EQ(Run({"unpack", packed, unpacked}), kExitDone);
    EXPECT_EQ(Run({"resave", unpacked, resaved}), kExitDone);

    std::string first, last;
    EXPECT_EQ(Run({"dump", original}, &first), kExitDone);
    EXPECT_EQ(Run({"dump", resaved}, &last), kExitDone);
    // The stamp is drawn afresh for every load; everything after it must match.
    EXPECT_EQ(first.substr(first.find("\"nextVersion\"")),
              last.substr(last.find("\"nextVersion\"")));
    EXPECT_NE(first.find("\"placeNumber\":12"), std::string::npos);

    std::string info;
    EXPECT_EQ(Run({"info", resaved}, &info), kExitDone);
    EXPECT_NE(info.find("walls: 1\nplaces: 1\n"), std::string::npos);
    EXPECT_NE(info.find("nextVersion: 3\n"), std::string::npos);
}

TEST_F(NavmCommand, BadInputAndUsage) {
    const std::string junk = Path("junk");
    std::ofstream(junk) << "NA2Mxx";
    EXPECT_EQ(Run({"info", junk}), kExitFailed);
    EXPECT_EQ(Run({"unpack", junk, Path("out.navm")}), kExitFailed);
    EXPECT_EQ(Run({"dump", Path("missing")}), kExitFailed);
    EXPECT_EQ(Run({}), kExitUsage);
    EXPECT_EQ(Run({"pack", junk}), kExitUsage);
    EXPECT_EQ(Run({"explode", junk}), kExitUsage);
    EXPECT_EQ(Run({"info", "--fast", junk}), kExitUsage);
}

// Bad arguments are refused before any connection is tried: the port below
// has nobody listening, so reaching it would end in "no connection".
TEST_F(NavmCommand, MapArgumentsAreCheckedBeforeConnecting) {
    const std::vector<std::string> connection = {"--host", "127.0.0.1",         "--port",
                                                 "1",      "--connect-timeout", "200",
                                                 "--ini",  Path("missing.ini")};
    struct Case {
        std::vector<std::string> words;
        int code;
    };
    const Case cases[] = {
        {{}, kExitUsage},
        {{"fly"}, kExitUsage},
        {{"pull"}, kExitUsage},
        {{"push", "a.navm", "b.navm"}, kExitUsage},
        {{"mode", "fast"}, kExitUsage},
        {{"permissions", "64"}, kExitUsage},
        {{"permissions", "-1"}, kExitUsage},
        {{"goto", "x"}, kExitUsage},
        {{"goto", "4294967296"}, kExitUsage},
        {{"pose", "1", "2"}, kExitUsage},
        {{"pose", "1", "2", "nan"}, kExitUsage},
        {{"pull", "out.navm", "--timeout", "0"}, kExitUsage},
        {{"push", Path("missing.navm")}, kExitFailed},
        {{"mode", "nav"}, kExitNoConnection},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = c.words;
        words.insert(words.end(), connection.begin(), connection.end());
        Args args(words);
        ::testing::internal::CaptureStderr();
        const int code = registry.Find("map")->run(args);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, c.code) << ::testing::PrintToString(c.words);
    }
}

}  // namespace
}  // namespace velcora::ctl
