#include "link/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "link/handshake.h"

namespace velcora {
namespace {

TEST(Settings, NoFileGivesTheDefaults) {
    IniFile ini(::testing::TempDir() + "velcora_missing_dir/none.ini");
    ASSERT_TRUE(ini.Load());
    CSettings s;
    s.port = 1;
    LoadSettings(ini, s);
    EXPECT_EQ(s.connectionType, 0);
    EXPECT_EQ(s.host, "");
    EXPECT_EQ(s.port, 5554);
    EXPECT_EQ(s.pipePort, 8081);
    EXPECT_EQ(s.maxHistoryItems, 20);
    EXPECT_EQ(s.bitrate[0], 400000);
    EXPECT_EQ(s.bitrate[1], 400000);
    EXPECT_EQ(s.joystickNumber, -1);
    EXPECT_EQ(s.camera[1], 1);
    EXPECT_EQ(s.audioInDevice, -1);
    EXPECT_TRUE(s.wheelPanel);
    EXPECT_TRUE(s.liftFixedMode);
    EXPECT_DOUBLE_EQ(s.liftMaxHeight, 30.0);
    EXPECT_DOUBLE_EQ(s.backSize, 42.0);
    EXPECT_EQ(s.standard, RobotStandard::Vel);
    EXPECT_FALSE(s.windowLeft);
    EXPECT_TRUE(s.password.empty());
}

struct Case {
    const char* text;
    std::function<void(const CSettings&)> check;
};

class SettingsCases : public ::testing::TestWithParam<Case> {};

TEST_P(SettingsCases, Reads) {
    IniFile ini;
    ini.Parse(GetParam().text);
    CSettings s;
    LoadSettings(ini, s);
    GetParam().check(s);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsCases,
    ::testing::Values(
        Case{"[controls]\nHEADDELTAS = 1\n",
             [](const CSettings& s) { EXPECT_EQ(s.headDeltas, 32); }},
        Case{"[CONTROLS]\nheadDeltas=50\n",
             [](const CSettings& s) { EXPECT_EQ(s.headDeltas, 50); }},
        Case{"[AVATARS]\navatar3=  Lena\nmodel3=lena_v2\nother=x\navatar1=Bob\n",
             [](const CSettings& s) {
                 ASSERT_EQ(s.avatars.size(), 2u);
                 EXPECT_EQ(s.avatars[0].name, "Lena");
                 EXPECT_EQ(s.avatars[0].model, "lena_v2");
                 EXPECT_EQ(s.avatars[1].name, "Bob");
                 EXPECT_EQ(s.avatars[1].model, "");
             }},
        Case{"[LANGUAGES]\nlang2=Русский\nlang5=\n",
             [](const CSettings& s) {
                 ASSERT_EQ(s.languages.size(), 1u);
                 EXPECT_EQ(s.languages[0], "Русский");
             }},
        Case{"[CONTROLS]\nstandard=corvina\nwheelCalib=2\n",
             [](const CSettings& s) {
                 EXPECT_EQ(s.standard, RobotStandard::Corvina);
                 EXPECT_TRUE(s.ServiceButton());
             }},
        Case{"[CONTROLS]\nstandard=other\n[RANGEFINDERS]\nnear=abc\nfar=250\n",
             [](const CSettings& s) {
                 EXPECT_EQ(s.standard, RobotStandard::Vel);
                 EXPECT_EQ(s.rangeNear, 100);
                 EXPECT_EQ(s.rangeFar, 250);
             }},
        Case{"[HISTORY]\ncount=2\nitem0=Привет\nlocked0=1\nhotkey0=65\nitem1=\"  quoted  \"\n"
             "item2=stale\n",
             [](const CSettings& s) {
                 ASSERT_EQ(s.history.size(), 2u);
                 EXPECT_EQ(s.history[0].text, "Привет");
                 EXPECT_TRUE(s.history[0].locked);
                 EXPECT_EQ(s.history[0].hotkey, 'A');
                 EXPECT_EQ(s.history[1].text, "  quoted  ");
             }},
        Case{"[ROBOT]\nport=\nhost=\n[JOYSTICK]\nsmoothIncX=0.25\nsmoothIncY=bad\n",
             [](const CSettings& s) {
                 EXPECT_EQ(s.port, 0);  // an empty number reads as 0, like the profile reader
                 EXPECT_EQ(s.host, "");
                 EXPECT_DOUBLE_EQ(s.smoothIncX, 0.25);
                 EXPECT_DOUBLE_EQ(s.smoothIncY, 0.5);
             }}));

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Settings, SaveKeepsUnrelatedLinesAndLoadsBack) {
    const std::string path = ::testing::TempDir() + "velcora_settings_test.ini";
    {
        std::ofstream out(path, std::ios::binary);
        out << "; operator notes\n[DBUTTON0]\ntext=Hello\nwidth=200\n\n[robot]\nHost=old\n"
               "custom=keep me\n\n[FILE MANAGER]\nlocal=/home\n";
    }
    IniFile ini(path);
    ASSERT_TRUE(ini.Load());
    CSettings s;
    LoadSettings(ini, s);
    EXPECT_EQ(s.host, "old");
    s.host = "10.0.0.7";
    s.password = "пароль";
    s.history = {{"one", true, 0}, {"two", false, '7'}};
    s.windowLeft = 10;
    s.inAudioParamCode = 0x41;
    s.inBitRate = 32000;
    SaveSettings(ini, s);
    ASSERT_TRUE(ini.Save());

    const std::string text = ReadAll(path);
    EXPECT_NE(text.find("; operator notes\n[DBUTTON0]\ntext=Hello\nwidth=200\n"),
              std::string::npos);
    EXPECT_NE(text.find("Host=10.0.0.7\ncustom=keep me\n"), std::string::npos);
    EXPECT_NE(text.find("[FILE MANAGER]\nlocal=/home\n"), std::string::npos);
    EXPECT_EQ(text.find("пароль"), std::string::npos);

    IniFile again(path);
    ASSERT_TRUE(again.Load());
    CSettings t;
    LoadSettings(again, t);
    EXPECT_EQ(t.host, "10.0.0.7");
    EXPECT_EQ(t.password, "пароль");
    ASSERT_EQ(t.history.size(), 2u);
    EXPECT_EQ(t.history[1].hotkey, '7');
    EXPECT_EQ(t.windowLeft, 10);
    EXPECT_FALSE(t.windowTop);
    // The incoming sound's settings survive a restart.
    EXPECT_EQ(t.inAudioParamCode, 0x41);
    EXPECT_EQ(t.inBitRate, 32000);
    std::remove(path.c_str());
}

TEST(IniFile, RawAccessForOtherSections) {
    IniFile ini;
    ini.Parse("[DBUTTON0]\ntext=a\n[DBUTTON1]\ntext=b\n[GESTURES]\n5=wave\n7=bow\n");
    ini.DeleteSection("dbutton1");
    ini.ClearSection("GESTURES");
    ini.WriteString("GESTURES", "9", "nod");
    ini.DeleteKey("DBUTTON0", "TEXT");
    ini.WriteString("DBUTTON0", "up", "line\nbreak");
    EXPECT_EQ(ini.Text(), "[DBUTTON0]\nup=linebreak\n[GESTURES]\n9=nod\n");
    EXPECT_EQ(ini.GetInt("GESTURES", "9", 3), 0);  // not a number
    EXPECT_EQ(ini.GetInt("GESTURES", "8", 3), 3);
}

// A value with spaces at its ends or quotes around it reads back as written,
// through the file and again after every later save (a gesture named
// ' "hi" ' used to lose its spaces, then its quotes, one save at a time).
TEST(IniFile, ValuesReadBackAsWrittenWhateverTheirEnds) {
    for (const std::string value :
         {"plain", " lead", "trail ", "\t tabs\t", "\"quoted\"", "'single'", "\"\"", "\"", "a\"",
          "\"a", "  \"  7=\"  ", "\"x' "}) {
        SCOPED_TRACE(value);
        IniFile ini;
        ini.WriteString("S", "k", value);
        EXPECT_EQ(ini.GetString("S", "k", "?"), value);
        IniFile reread;
        reread.Parse(ini.Text());
        EXPECT_EQ(reread.GetString("S", "k", "?"), value);
        reread.WriteString("S", "k", reread.GetString("S", "k", "?"));
        EXPECT_EQ(reread.Text(), ini.Text());
    }
}

TEST(IniFile, SaveFailsCleanlyWhenTheFolderIsMissing) {
    IniFile ini(::testing::TempDir() + "no/such/folder/velcora.ini");
    ini.WriteString("A", "b", "c");
    EXPECT_FALSE(ini.Save());
}

TEST(IniFile, PathOverrideWins) {
    EXPECT_EQ(SettingsFilePath("/tmp/x.ini"), "/tmp/x.ini");
    const std::string found = SettingsFilePath();
    EXPECT_NE(found.find("velcora.ini"), std::string::npos);
}

// Installed programs keep their settings in the user's configuration folder,
// also when run as root (who could write /usr/bin); a program in a folder of
// its own keeps them beside itself.
TEST(IniFile, InstalledProgramsUseTheConfigurationFolder) {
    const std::string config = ::testing::TempDir() + "velcora_xdg_" + std::to_string(::getpid());
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string kept = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/opt/velcora/bin", "/bin"})
        EXPECT_EQ(SettingsFileFor(dir), config + "/velcora/velcora.ini") << dir;
    const std::string own = ::testing::TempDir();
    EXPECT_EQ(SettingsFileFor(own), own + "/velcora.ini");
    EXPECT_EQ(SettingsFileFor("/usrlocal-not-system-but-missing"),
              config + "/velcora/velcora.ini");  // cannot be written
    if (old)
        ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(config);
}

}  // namespace
}  // namespace velcora

namespace velcora {
namespace {

// A settings file cut off anywhere (a full disk, a crash of another program
// writing it) loads without harm, and every value whose line is whole is
// read as saved.
TEST(Settings, TornFileKeepsWhatItsWholeLinesSay) {
    CSettings full;
    full.host = "robot.example";
    full.port = 5560;
    full.bitrate[0] = 120000;
    IniFile saved;
    SaveSettings(saved, full);
    const std::string text = saved.Text();
    const auto lineEnd = [&](const std::string& value) {
        const auto at = text.find(value);
        EXPECT_NE(at, std::string::npos) << value;
        return text.find('\n', at);
    };
    const std::size_t hostEnd = lineEnd("robot.example");
    const std::size_t portEnd = lineEnd("5560");
    const std::size_t rateEnd = lineEnd("120000");
    for (std::size_t n = 0; n <= text.size(); ++n) {
        IniFile torn;
        torn.Parse(std::string_view(text).substr(0, n));
        CSettings s;
        LoadSettings(torn, s);
        if (n > hostEnd) {
            EXPECT_EQ(s.host, "robot.example") << n;
        }
        if (n > portEnd) {
            EXPECT_EQ(s.port, 5560) << n;
        }
        if (n > rateEnd) {
            EXPECT_EQ(s.bitrate[0], 120000) << n;
        }
    }
}

}  // namespace
}  // namespace velcora

namespace velcora {
namespace {

// Lines that end in stray carriage returns, or two byte-order marks (a file
// edited by hand with several editors): written back once, the text no
// longer changes.
TEST(IniFile, StrayCarriageReturnsAndMarksSettleAfterOneSave) {
    const std::string texts[] = {
        std::string("U\0\nCmno\r[Video][\n[Vi\r\r", 22),
        "[A]\nkey=value\r\r",
        "\xEF\xBB\xBF\xEF\xBB\xBF@C@C",
        "[Connection]\nHost=robot\r\r\nPort=5560\r\n",
    };
    for (const std::string& text : texts) {
        IniFile first;
        first.Parse(text);
        IniFile second;
        second.Parse(first.Text());
        EXPECT_EQ(second.Text(), first.Text()) << text;
    }
    IniFile ini;
    ini.Parse("[Connection]\nHost=robot\r\r\n");
    EXPECT_EQ(ini.GetString("Connection", "Host"), "robot");
}

}  // namespace
}  // namespace velcora
