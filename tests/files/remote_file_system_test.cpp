#include "files/remote_file_system.h"

#include <gtest/gtest.h>

#include "link/text_codec.h"
#include "scripted_robot.h"

namespace velcora {
namespace {

using test::FakeLink;
using test::Reply;
using test::ScriptedPump;
using test::SentFrame;

class RemoteTest : public ::testing::Test {
  protected:
    FakeLink link;
    ScriptedPump pump{link};
    CRemoteFileSystem fs{link, pump};

    void AnswerAll(std::vector<Reply> replies) {
        pump.peer = [replies](const SentFrame&) { return replies; };
    }
    std::vector<CDirEntry> List(const std::u16string& path, bool* ok = nullptr) {
        std::vector<CDirEntry> out;
        const bool r = fs.EnumDir(path, [&](const CDirEntry& e) { out.push_back(e); });
        if (ok) {
            *ok = r;
        }
        return out;
    }
};

TEST_F(RemoteTest, FailingStatusFailsAfterOneAttempt) {
    AnswerAll({{msg::kStatusReply, std::string(1, '\0')}});
    EXPECT_FALSE(fs.DeleteFile(u"C:\\a.txt"));
    EXPECT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(fs.OpenRead(u"C:\\a.txt"), -1);
    EXPECT_EQ(link.sent.size(), 2u);
}

TEST_F(RemoteTest, NoReplyFailsAfterThreeAttemptsOfThreeSeconds) {
    const uint32_t start = pump.now;
    EXPECT_FALSE(fs.CreateDirectory(u"C:\\new"));
    EXPECT_EQ(link.Of(msg::kMakeDirectory).size(), 3u);
    EXPECT_EQ(pump.now - start, 9000u);
}

TEST_F(RemoteTest, TimingWrapsWithTheTick) {
    pump.now = 0xFFFFF000u;
    EXPECT_FALSE(fs.CreateDirectory(u"C:\\new"));
    EXPECT_EQ(link.Of(msg::kMakeDirectory).size(), 3u);
    EXPECT_EQ(pump.now - 0xFFFFF000u, 9000u);
}

TEST_F(RemoteTest, ReadReplyOfWrongLengthIsIgnoredAndTheRequestResent) {
    int asked = 0;
    pump.peer = [&](const SentFrame&) -> std::vector<Reply> {
        // The first answer carries one byte too many.
        return {{msg::kReadChunkReply, ++asked == 1 ? std::string("\x01"
                                                                  "abcd")
                                                    : "\x01"
                                                      "abc"}};
    };
    char buf[3] = {};
    ASSERT_TRUE(fs.ReadAt(7, buf, 3));
    EXPECT_EQ(std::string(buf, 3), "abc");
    const auto sent = link.Of(msg::kReadChunk);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].payload, std::string("\x07\0\0\0\x03\0\0\0", 8));
}

TEST_F(RemoteTest, RepliesThatDoNotCarryTheAskedDataNeverCompleteARead) {
    // A stale "success" or a drive list must not pass off an unfilled buffer
    // as read; only a failure report ends the read early.
    AnswerAll({{msg::kStatusReply, test::Status(true, 5)},
               {msg::kWriteBeginReply, std::string(1, '\x01')},
               {msg::kDriveList, std::string("\x01"
                                             "C:\0",
                                             4)}});
    char buf[4] = {};
    EXPECT_FALSE(fs.ReadAt(0, buf, 4));
    EXPECT_EQ(link.Of(msg::kReadChunk).size(), 3u);

    AnswerAll({{msg::kStatusReply, std::string(1, '\0')}});
    EXPECT_FALSE(fs.ReadAt(0, buf, 4));
    EXPECT_EQ(link.Of(msg::kReadChunk).size(), 4u);
}

TEST_F(RemoteTest, OpenReadThatCannotReachTheRobotReturnsMinusOne) {
    link.state = kStateConnecting;
    const uint32_t start = pump.now;
    EXPECT_EQ(fs.OpenRead(u"C:\\a.txt"), -1);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(pump.now - start, 3999u);
}

TEST_F(RemoteTest, WaitsForTheConnectionBeforeSending) {
    link.state = kStateAuthorising;
    pump.onAdvance = [&](uint32_t, uint32_t to) {
        if (to >= 3000) {
            link.state = kStateAuthorised;
        }
    };
    pump.latencyMs = 500;
    AnswerAll({{msg::kStatusReply, test::Status(true, 1234)}});
    EXPECT_EQ(fs.OpenRead(u"C:\\a.txt"), 1234);
    EXPECT_EQ(link.sent.size(), 1u);
}

TEST_F(RemoteTest, LostConnectionEndsTheWaitAndTheRequestIsRepeated) {
    int sends = 0;
    pump.peer = [&](const SentFrame&) -> std::vector<Reply> {
        if (++sends == 1) {
            link.state = kStateRetryWait;  // drops while the first request waits
            return {};
        }
        return {{msg::kStatusReply, test::Status(true)}};
    };
    pump.onAdvance = [&](uint32_t, uint32_t to) {
        if (link.state != kStateAuthorised && to >= 2000) {
            link.state = kStateAuthorised;
        }
    };
    EXPECT_TRUE(fs.RemoveDirectory(u"C:\\old"));
    EXPECT_EQ(sends, 2);
}

TEST_F(RemoteTest, OpenReadNeedsTheSizeInTheStatus) {
    // A success without its value is not taken as an empty file.
    AnswerAll({{msg::kStatusReply, std::string(1, '\x01')}});
    EXPECT_EQ(fs.OpenRead(u"C:\\a"), -1);
    EXPECT_EQ(link.sent.size(), 3u);
    AnswerAll({{msg::kStatusReply, test::Status(true, -7)}});
    EXPECT_EQ(fs.OpenRead(u"C:\\a"), -1);
    AnswerAll({{msg::kStatusReply, test::Status(true, 0)}});
    EXPECT_EQ(fs.OpenRead(u"C:\\a"), 0);
}

TEST_F(RemoteTest, ListingThatEndsAfterTheOkByteIsAnEmptyFolder) {
    AnswerAll({{msg::kDirectoryListing, std::string(1, '\x01')}});
    bool ok = false;
    EXPECT_TRUE(List(u"C:\\empty", &ok).empty());
    EXPECT_TRUE(ok);
}

TEST_F(RemoteTest, ListingNamesThatCouldLeaveTheFolderAreLeftOutAndReported) {
    std::string listing("\x01", 1);
    for (const char* name : {".", "..", "../x", "..\\y", "a/b", ".", "..", "ok.txt"}) {
        listing += test::ListingEntry(name, false, 3);
    }
    listing += test::ListingEntry("\xCF\xE0\xEF\xEA\xE0", true, 0);  // "Папка" in cp1251
    AnswerAll({{msg::kDirectoryListing, listing}});
    const auto entries = List(u"C:\\");
    std::vector<std::u16string> names;
    for (const auto& e : entries) {
        names.push_back(e.name);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"..", u"ok.txt", u"Папка"}));
    EXPECT_TRUE(entries[3].isDirectory);
    EXPECT_EQ(fs.RejectedNames(),
              (std::vector<std::u16string>{u"../x", u"..\\y", u"a/b", u".", u".."}));
}

TEST_F(RemoteTest, TruncatedListingFails) {
    const std::string whole = "\x01" + test::ListingEntry("a", false, 1);
    for (std::size_t cut : {2u, 3u, 6u, static_cast<unsigned>(whole.size() - 1)}) {
        SCOPED_TRACE(cut);
        AnswerAll({{msg::kDirectoryListing, whole.substr(0, cut)}});
        bool ok = true;
        EXPECT_TRUE(List(u"C:\\", &ok).empty());
        EXPECT_FALSE(ok);
    }
}

TEST_F(RemoteTest, DriveListFailureAndNames) {
    AnswerAll({{msg::kDriveList, std::string("\x01"
                                             "C:\0D:",
                                             6)}});
    std::vector<std::u16string> drives;
    EXPECT_TRUE(fs.EnumDrives([&](const std::u16string& d) { drives.push_back(d); }));
    EXPECT_EQ(drives, (std::vector<std::u16string>{u"C:", u"D:"}));
    AnswerAll({{msg::kDriveList, std::string(1, '\0')}});
    EXPECT_FALSE(fs.EnumDrives([&](const std::u16string&) {}));
    EXPECT_FALSE(fs.EnumDrives(nullptr));
}

TEST_F(RemoteTest, RequestsCarryAnsiPathsAndTheirFields) {
    AnswerAll(
        {{msg::kStatusReply, test::Status(true)}, {msg::kWriteBeginReply, std::string(1, '\x01')}});
    EXPECT_TRUE(fs.Rename(u"C:\\Отчёт.txt", u"C:/b"));
    EXPECT_TRUE(fs.BeginWrite(u""));
    EXPECT_TRUE(fs.WriteAt(0x01020304, "xyz", 3));
    EXPECT_TRUE(fs.Execute(u"C:\\run.bat"));
    EXPECT_FALSE(fs.DeleteFile(std::u16string(u"C:\\a\0b", 6)));  // never cut short on the wire
    ASSERT_EQ(link.sent.size(), 4u);
    EXPECT_EQ(link.sent[0].type, msg::kRename);
    EXPECT_EQ(link.sent[0].payload, WideToAnsi(u"C:\\Отчёт.txt") + std::string("\0C:/b\0", 6));
    EXPECT_EQ(link.sent[1].payload, std::string(1, '\0'));
    EXPECT_EQ(link.sent[2].payload, std::string("\x04\x03\x02\x01xyz", 7));
    EXPECT_EQ(link.sent[3].type, msg::kExecute);
}

TEST_F(RemoteTest, RepliesWithoutARequestAreIgnoredAndRegistrationEndsWithTheObject) {
    EXPECT_EQ(link.Receive(msg::kStatusReply, test::Status(true)), 1);
    EXPECT_FALSE(fs.Busy());
    {
        FakeLink other;
        ScriptedPump p{other};
        { CRemoteFileSystem temp{other, p}; }
        EXPECT_EQ(other.Receive(msg::kDirectoryListing, std::string(1, '\x01')), 0);
    }
}

TEST_F(RemoteTest, NoSecondRequestFromInsideAWait) {
    bool nested = true;
    char outer[2] = {};
    char inner[1] = {'-'};
    pump.peer = [&](const SentFrame& f) -> std::vector<Reply> {
        if (f.type == msg::kDeleteFile) {
            nested = fs.CreateDirectory(u"C:\\x");
            return {{msg::kStatusReply, test::Status(true)}};
        }
        nested = nested || fs.ReadAt(0, inner, 1) || fs.EnumDir(u"C:", nullptr);
        return {{msg::kReadChunkReply,
                 "\x01"
                 "ab"}};
    };
    EXPECT_TRUE(fs.DeleteFile(u"C:\\a"));
    EXPECT_TRUE(fs.ReadAt(0, outer, 2));
    EXPECT_FALSE(nested);
    EXPECT_EQ(std::string(outer, 2), "ab");
    EXPECT_EQ(inner[0], '-');
    EXPECT_EQ(link.sent.size(), 2u);
}

TEST(RemoteRestart, SentOnlyWhenConnected) {
    FakeLink link;
    EXPECT_TRUE(SendRestart(link));
    link.state = kStateFailed;
    EXPECT_FALSE(SendRestart(link));
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].type, msg::kRestart);
    EXPECT_TRUE(link.sent[0].payload.empty());
}

// What the robot's side encodes reads back the same, sizes beyond 32 bits and
// Cyrillic names included; a failure of any kind is a failure.
TEST(ReplyEncoding, RobotRepliesReadBackWhole) {
    const std::vector<CDirEntry> entries = {{u"..", true, 0, false},
                                            {u"Отчёт.txt", false, 58, false},
                                            {u"big", false, 1ull << 33, false}};
    const auto listing = ParseDirectoryListing(DirectoryListingReply(entries));
    ASSERT_TRUE(listing.ok);
    ASSERT_EQ(listing.entries.size(), 3u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(listing.entries[i].name, entries[i].name);
        EXPECT_EQ(listing.entries[i].isDirectory, entries[i].isDirectory);
        EXPECT_EQ(listing.entries[i].size, entries[i].size);
    }
    EXPECT_TRUE(ParseDirectoryListing(DirectoryListingReply({})).ok);
    EXPECT_FALSE(ParseDirectoryListing(FailureReply()).ok);

    const auto drives = ParseDriveList(DriveListReply({u"C:", u"D:"}));
    ASSERT_TRUE(drives);
    EXPECT_EQ(*drives, (std::vector<std::u16string>{u"C:", u"D:"}));
    EXPECT_FALSE(ParseDriveList(FailureReply()));
    EXPECT_EQ(StatusReply(-2).size(), 5u);
}

}  // namespace
}  // namespace velcora
