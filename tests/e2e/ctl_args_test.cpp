// velcoractl's argument order and what it lets through to a terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ctl/ctl.h"

namespace velcora::ctl {
namespace {

using Words = std::vector<std::string>;

struct OrderCase {
    Words in, out;
};

class CommandFirstTest : public ::testing::TestWithParam<OrderCase> {};

// Connection options before the command name end up behind the command's own
// arguments, so that a command with subcommands sees the subcommand first.
TEST_P(CommandFirstTest, MovesLeadingOptionsBehind) {
    EXPECT_EQ(CommandFirst(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandFirstTest,
    ::testing::Values(
        OrderCase{{"status"}, {"status"}},
        OrderCase{{"chatbot", "pull", "a", "--host", "h"}, {"chatbot", "pull", "a", "--host", "h"}},
        OrderCase{{"--host", "h", "--port", "5", "chatbot", "pull", "OUT"},
                  {"chatbot", "pull", "OUT", "--host", "h", "--port", "5"}},
        OrderCase{{"-v", "--tunnel", "fs", "ls", "C:\\"}, {"fs", "ls", "C:\\", "-v", "--tunnel"}},
        // A value that looks like a word is the option's, not the command.
        OrderCase{{"--ini", "map", "status"}, {"status", "--ini", "map"}},
        OrderCase{{"--host"}, {"--host"}},
        OrderCase{{"--json", "--host", "h"}, {"--json", "--host", "h"}}));

TEST(PrintableTest, ControlCharactersNeverReachTheTerminal) {
    EXPECT_EQ(Printable("Осмотр"), "Осмотр");
    EXPECT_EQ(Printable("a\x1b[2Jb"), "a?[2Jb");
    EXPECT_EQ(Printable("\x1b]0;title\x07x"), "?]0;title?x");
    EXPECT_EQ(Printable("tab\there\r\n"), "tab?here??");
    EXPECT_EQ(Printable("del\x7f"), "del?");
    EXPECT_EQ(Printable("c1\xc2\x9b"
                        "2J"),
              "c1?2J");  // the one-character CSI
    EXPECT_EQ(Printable("\xc2\xa0nbsp"), "\xc2\xa0nbsp");
    EXPECT_EQ(Printable(std::string("nul\0x", 5)), "nul?x");
}

}  // namespace
}  // namespace velcora::ctl
