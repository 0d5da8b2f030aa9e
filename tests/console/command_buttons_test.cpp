#include "console/command_buttons.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/text_codec.h"
#include "support/fake_link.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

using Labels = std::vector<std::string>;

struct PlaceholderCase {
    std::string command;
    Labels labels;
    Labels values;
    std::string filled;
};

class PlaceholderTest : public ::testing::TestWithParam<PlaceholderCase> {};

TEST_P(PlaceholderTest, LabelsAndFilledCommand) {
    const auto& c = GetParam();
    EXPECT_EQ(PlaceholderLabels(c.command), c.labels);
    EXPECT_EQ(FillPlaceholders(c.command, c.values), c.filled);
}

INSTANTIATE_TEST_SUITE_P(
    CommandButtons, PlaceholderTest,
    ::testing::Values(
        PlaceholderCase{"move({speed}, {dir})", {"speed", "dir"}, {"5", "left"}, "move(5, left)"},
        // An unclosed placeholder runs to the end.
        PlaceholderCase{"say {text", {"text"}, {"hi"}, "say hi"},
        // A stray closing brace outside a placeholder is an ordinary character.
        PlaceholderCase{"a} {b}c", {"b"}, {"X"}, "a} Xc"}, PlaceholderCase{"{}", {""}, {"v"}, "v"},
        // A brace inside a placeholder belongs to its label.
        PlaceholderCase{"{a{b}c}", {"a{b"}, {"1"}, "1c}"},
        // Fewer values than placeholders: the rest become empty.
        PlaceholderCase{"{x}-{y}", {"x", "y"}, {"1"}, "1-"}));

TEST(Placeholders, SixtyFifthIsDroppedAndLabelsCut) {
    std::string command;
    Labels values;
    for (int i = 0; i < 65; ++i) {
        command += "{p" + std::to_string(i) + "}";
        values.push_back(std::to_string(i) + ",");
    }
    const auto labels = PlaceholderLabels(command);
    ASSERT_EQ(labels.size(), kMaxPlaceholders);
    EXPECT_EQ(labels.back(), "p63");
    std::string expected;
    for (int i = 0; i < 64; ++i)
        expected += std::to_string(i) + ",";
    EXPECT_EQ(FillPlaceholders(command, values), expected);

    const std::string longLabel(300, 'L');
    EXPECT_EQ(PlaceholderLabels("{" + longLabel + "}")[0].size(), kPlaceholderLabelLimit);
}

TEST(Placeholders, LongValueAndResultAreCut) {
    EXPECT_EQ(FillPlaceholders("<{v}>", {std::string(400, 'v')}),
              "<" + std::string(255, 'v') + ">");
    std::string command;
    Labels values;
    for (int i = 0; i < 20; ++i) {
        command += "{x}";
        values.push_back(std::string(255, 'z'));
    }
    EXPECT_EQ(FillPlaceholders(command, values).size(), kFilledCommandLimit);
}

struct EdgeCase {
    const char* name;
    bool latched;
    std::optional<std::string> press, release;
    // Down, up, click (state after it) in order; what each sends or asks.
    std::optional<std::string> onDown, onUp;
    bool clickDown;
    std::optional<std::string> onClick;
    bool asks;
};

class EdgeTest : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(EdgeTest, SendsWhatTheRulesSay) {
    const auto& c = GetParam();
    CommandButtonData b;
    b.latched = c.latched;
    b.pressCommand = c.press;
    b.releaseCommand = c.release;
    EXPECT_EQ(ButtonDown(b).send, c.onDown);
    EXPECT_EQ(ButtonUp(b).send, c.onUp);
    const auto click = ButtonClick(b, c.clickDown);
    EXPECT_EQ(click.send, c.onClick);
    EXPECT_EQ(click.askParameters, c.asks);
}

INSTANTIATE_TEST_SUITE_P(
    CommandButtons, EdgeTest,
    ::testing::Values(EdgeCase{"plain", false, "A", "B", "A", "B", false, std::nullopt, false},
                      EdgeCase{"plainNoRelease", false, "A", std::nullopt, "A", std::nullopt, false,
                               std::nullopt, false},
                      EdgeCase{"latchedFirstClick", true, "A", "B", std::nullopt, std::nullopt,
                               true, "A", false},
                      EdgeCase{"latchedSecondClick", true, "A", "B", std::nullopt, std::nullopt,
                               false, "B", false},
                      EdgeCase{"plainWithPlaceholders", false, "go {n}", "stop", std::nullopt,
                               "stop", false, std::nullopt, true},
                      EdgeCase{"latchedWithPlaceholders", true, "go {n}", "stop", std::nullopt,
                               std::nullopt, false, std::nullopt, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandButtonsFile, SaveLoadAndDeleteTheRest) {
    test::TempFolder dir;
    IniFile ini(dir.File("velcora.ini"));
    std::vector<CommandButtonData> five;
    for (int i = 0; i < 5; ++i) {
        CommandButtonData b;
        b.caption = "Кнопка " + std::to_string(i);
        b.width = 40 + i;
        b.latched = i % 2 == 1;
        b.pressCommand = Utf8ToAnsi("идти " + std::to_string(i));
        if (i == 2)
            b.releaseCommand = "stop";
        five.push_back(b);
    }
    SaveCommandButtons(ini, five);
    ini.WriteString("DBUTTON12", "text", "stale");
    five.erase(five.begin() + 1);
    SaveCommandButtons(ini, five);
    ASSERT_TRUE(ini.Save());

    IniFile again(dir.File("velcora.ini"));
    ASSERT_TRUE(again.Load());
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(again.HasSection("DBUTTON" + std::to_string(i)));
    for (int i = 4; i < 30; ++i)
        EXPECT_FALSE(again.HasSection("DBUTTON" + std::to_string(i))) << i;
    EXPECT_EQ(LoadCommandButtons(again), five);
}

TEST(CommandButtonsFile, LoadingDefaultsSkipsAndClamps) {
    IniFile ini;
    ini.Parse(
        "[DBUTTON0]\ntext=Вперёд\ndown=go\n"
        "[DBUTTON3]\ntext=\ndown=skipped\n"
        "[DBUTTON7]\ntext=Wide\nwidth=1000\nfixed=1\nup=\n"
        "[DBUTTON8]\ntext=Narrow\nwidth=-5\n"
        "[DBUTTON30]\ntext=beyond\n");
    const auto buttons = LoadCommandButtons(ini);
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0].caption, "Вперёд");
    EXPECT_EQ(buttons[0].width, kCommandButtonStoredWidth);
    EXPECT_FALSE(buttons[0].latched);
    EXPECT_EQ(buttons[0].pressCommand, "go");
    EXPECT_EQ(buttons[0].releaseCommand, std::nullopt);
    EXPECT_EQ(buttons[1].caption, "Wide");
    EXPECT_EQ(buttons[1].width, 200);
    EXPECT_TRUE(buttons[1].latched);
    EXPECT_EQ(buttons[1].releaseCommand, std::nullopt);  // empty is none
    EXPECT_EQ(buttons[2].width, 4);
}

TEST(CommandButtonsFile, EditorLimitsMatchWhatLoadingReads) {
    CommandButtonData b;
    b.caption = std::string(100, 'c');
    b.pressCommand = std::string(600, 'p');
    b.releaseCommand = "";
    b.width = 0;
    const auto limited = LimitedButton(b);
    EXPECT_EQ(limited.caption.size(), kCommandCaptionLimit);
    EXPECT_EQ(limited.pressCommand->size(), kCommandTextLimit);
    EXPECT_EQ(limited.releaseCommand, std::nullopt);
    EXPECT_EQ(limited.width, kCommandButtonMinWidth);

    IniFile ini;
    SaveCommandButtons(ini, {limited});
    EXPECT_EQ(LoadCommandButtons(ini), std::vector<CommandButtonData>{limited});
}

TEST(CommandButtonsPanel, AtMostThirtyAndSendsAnsi) {
    test::TempFolder dir;
    IniFile ini(dir.File("velcora.ini"));
    test::FakeLink link;
    CCommandButtons buttons(link, ini);
    for (int i = 0; i < 31; ++i) {
        CommandButtonData b;
        b.caption = "b" + std::to_string(i);
        EXPECT_EQ(buttons.Add(b), i < 30);
    }
    EXPECT_EQ(buttons.Count(), kMaxCommandButtons);

    CommandButtonData b;
    b.caption = "x";
    b.pressCommand = Utf8ToAnsi("скажи({что})");
    buttons.Replace(0, b);
    buttons.SendFilled(0, {Utf8ToAnsi("да")});
    const auto sent = link.Of(msg::kScriptCommand);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, Utf8ToAnsi("скажи(да)") + std::string(1, '\0'));
}

}  // namespace
}  // namespace velcora
