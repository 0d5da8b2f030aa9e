#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/robot_link.h"
#include "link/session_file.h"
#include "link/session_recorder.h"
#include "link/session_recording.h"
#include "platform/manual_reactor.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

struct Read {
    bool opened = false;
    std::vector<SessionRecord> records;
    CSessionReader::Result last = CSessionReader::Result::kError;
    std::string error;
    SessionHeader header;
};

Read ReadAll(const std::string& path) {
    Read out;
    CSessionReader reader;
    out.opened = reader.Open(path);
    out.header = reader.Header();
    if (!out.opened) {
        out.error = reader.Error();
        return out;
    }
    SessionRecord r;
    while ((out.last = reader.Next(r)) == CSessionReader::Result::kRecord) {
        out.records.push_back(r);
    }
    out.error = reader.Error();
    return out;
}

RecorderOptions Options(const std::string& path) {
    RecorderOptions o;
    o.path = path;
    o.wallClockMs = [] { return int64_t{1765000000123}; };
    o.consoleVersion = "1.2.3";
    return o;
}

// A short session: connect, handshake, a status, a picture, a drop.
void PlaySession(CSessionRecorder& r) {
    r.OnLinkState(1000, kStateConnecting, "10.0.0.7", 5554, true);
    r.OnLinkState(1010, kStateAuthorising, "10.0.0.7", 5554, true);
    r.OnFrame(1011, FrameDirection::kIncoming, msg::kAuth, "\x11\x22\x33\x44");
    r.OnFrame(1012, FrameDirection::kOutgoing, msg::kAuth, "SECRET-ANSWER");
    r.OnFrame(1013, FrameDirection::kIncoming, msg::kAuthResult, "\x01");
    r.OnLinkState(1013, kStateAuthorised, "10.0.0.7", 5554, true);
    r.OnFrame(1020, FrameDirection::kOutgoing, msg::kStatus, "");
    r.OnFrame(1050, FrameDirection::kIncoming, msg::kStatus, std::string("\x50\0\0\0\x01", 5));
    r.OnFrame(1090, FrameDirection::kIncoming, msg::kVideoFrame, std::string(300, 'v'));
    r.OnLinkState(2500, kStateRetryWait, "10.0.0.7", 5554, true);
}

TEST(SessionRecorder, RecordsInOrderWithoutHandshakePayloads) {
    test::TempFolder dir;
    const std::string path = dir.File("s.vrec");
    {
        // An older file of the same name with open permissions.
        dir.Write("s.vrec", "old");
        ::chmod(path.c_str(), 0644);
        CSessionRecorder r(Options(path));
        // Before Open and before a connection nothing is recorded.
        r.OnFrame(5, FrameDirection::kIncoming, msg::kStatus, "x");
        std::string error;
        ASSERT_TRUE(r.Open(error)) << error;
        EXPECT_EQ(r.GetState(), CSessionRecorder::State::kWaiting);
        r.OnLinkState(900, kStateLookup, "robot", 5554, true);
        r.OnFrame(901, FrameDirection::kIncoming, msg::kStatus, "early");
        PlaySession(r);
        EXPECT_EQ(r.GetState(), CSessionRecorder::State::kRecording);
        EXPECT_EQ(r.ElapsedMs(1500), 500u);
        ASSERT_TRUE(r.Close());
        EXPECT_EQ(r.FramesRecorded(), 6u);
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string bytes = dir.Read("s.vrec");
    EXPECT_EQ(bytes.find("SECRET-ANSWER"), std::string::npos);
    EXPECT_EQ(bytes.find("\x11\x22\x33\x44"), std::string::npos);

    const Read got = ReadAll(path);
    ASSERT_TRUE(got.opened) << got.error;
    EXPECT_EQ(got.last, CSessionReader::Result::kEnd) << got.error;
    EXPECT_EQ(got.header.host, "10.0.0.7");
    EXPECT_EQ(got.header.port, 5554);
    EXPECT_TRUE(got.header.tunnel);
    EXPECT_EQ(got.header.startUtcMs, 1765000000123);
    EXPECT_EQ(got.header.consoleVersion, "1.2.3");
    struct Want {
        uint32_t ms;
        RecordKind kind;
        msg::Type type;
        uint32_t length;
        bool withheld;
    };
    const std::vector<Want> want = {
        {0, RecordKind::kLinkState, kStateConnecting, 0, false},
        {10, RecordKind::kLinkState, kStateAuthorising, 0, false},
        {11, RecordKind::kIncoming, msg::kAuth, 4, true},
        {12, RecordKind::kOutgoing, msg::kAuth, 13, true},
        {13, RecordKind::kIncoming, msg::kAuthResult, 1, true},
        {13, RecordKind::kLinkState, kStateAuthorised, 0, false},
        {20, RecordKind::kOutgoing, msg::kStatus, 0, false},
        {50, RecordKind::kIncoming, msg::kStatus, 5, false},
        {90, RecordKind::kIncoming, msg::kVideoFrame, 300, false},
        {1500, RecordKind::kLinkState, kStateRetryWait, 0, false},
    };
    ASSERT_EQ(got.records.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        const SessionRecord& r = got.records[i];
        EXPECT_EQ(r.ms, want[i].ms);
        EXPECT_EQ(r.kind, want[i].kind);
        EXPECT_EQ(r.type, want[i].type);
        EXPECT_EQ(r.length, want[i].length);
        EXPECT_EQ(r.withheld, want[i].withheld);
        EXPECT_TRUE(r.withheld ? r.payload.empty() : r.payload.size() == r.length);
    }
    EXPECT_EQ(got.records[8].payload, std::string(300, 'v'));
}

// Every cut of the file reads back every record that ends before the cut, and
// says where the cut record starts; a cut header is refused.
TEST(SessionReader, EveryCutKeepsTheRecordsBeforeIt) {
    test::TempFolder dir;
    const std::string path = dir.File("s.vrec");
    {
        CSessionRecorder r(Options(path));
        std::string error;
        ASSERT_TRUE(r.Open(error));
        PlaySession(r);
        ASSERT_TRUE(r.Close());
    }
    const std::string whole = dir.Read("s.vrec");
    const Read full = ReadAll(path);
    ASSERT_EQ(full.records.size(), 10u);
    std::vector<int64_t> ends;
    for (size_t i = 0; i < full.records.size(); ++i) {
        ends.push_back(i + 1 < full.records.size() ? full.records[i + 1].offset
                                                   : static_cast<int64_t>(whole.size()));
    }
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        dir.Write("cut.vrec", whole.substr(0, cut));
        const Read got = ReadAll(dir.File("cut.vrec"));
        if (cut < static_cast<size_t>(full.records.front().offset)) {
            EXPECT_FALSE(got.opened);
            EXPECT_NE(got.error.find(cut == 0 ? "not a session recording" : "header is cut short"),
                      std::string::npos)
                << got.error;
            continue;
        }
        ASSERT_TRUE(got.opened);
        size_t whole_records = 0;
        while (whole_records < ends.size() && ends[whole_records] <= static_cast<int64_t>(cut)) {
            ++whole_records;
        }
        ASSERT_EQ(got.records.size(), whole_records);
        for (size_t i = 0; i < whole_records; ++i) {
            EXPECT_EQ(got.records[i].payload, full.records[i].payload);
        }
        const bool boundary = whole_records == 0
                                  ? cut == static_cast<size_t>(full.records[0].offset)
                                  : ends[whole_records - 1] == static_cast<int64_t>(cut);
        if (boundary) {
            EXPECT_EQ(got.last, CSessionReader::Result::kEnd);
        } else {
            EXPECT_EQ(got.last, CSessionReader::Result::kError);
            EXPECT_NE(
                got.error.find("at byte " + std::to_string(full.records[whole_records].offset) +
                               " is cut short"),
                std::string::npos)
                << got.error;
        }
    }
}

struct BadFile {
    const char* name;
    std::function<void(std::string&)> spoil;
    const char* message;
    size_t recordsBefore;  // read before the fault (when the header is sound)
};

class SessionReaderFaults : public ::testing::TestWithParam<BadFile> {};

TEST_P(SessionReaderFaults, StopWithAClearText) {
    test::TempFolder dir;
    const std::string path = dir.File("s.vrec");
    {
        CSessionRecorder r(Options(path));
        std::string error;
        ASSERT_TRUE(r.Open(error));
        PlaySession(r);
        ASSERT_TRUE(r.Close());
    }
    std::string bytes = dir.Read("s.vrec");
    GetParam().spoil(bytes);
    dir.Write("bad.vrec", bytes);
    const Read got = ReadAll(dir.File("bad.vrec"));
    EXPECT_NE(got.error.find(GetParam().message), std::string::npos) << got.error;
    EXPECT_EQ(got.records.size(), GetParam().recordsBefore);
    if (got.opened) {
        EXPECT_EQ(got.last, CSessionReader::Result::kError);
    }
}

// The header of PlaySession's file: 21 fixed bytes, "10.0.0.7", "1.2.3".
constexpr size_t kFirst = 21 + 1 + 8 + 1 + 5;

INSTANTIATE_TEST_SUITE_P(
    Files, SessionReaderFaults,
    ::testing::Values(
        BadFile{"Foreign", [](std::string& b) { b = "GIF89a" + b; }, "not a session recording", 0},
        BadFile{"Empty", [](std::string& b) { b.clear(); }, "not a session recording", 0},
        BadFile{"Newer", [](std::string& b) { b[8] = 2; }, "format 2 by a newer console", 0},
        BadFile{"FormatZero", [](std::string& b) { b[8] = 0; }, "format 0", 0},
        // The seventh record is the status request: its length becomes huge.
        BadFile{"OverFrameLimit",
                [](std::string& b) {
                    const size_t at = kFirst + 6 * kRecordHeaderSize;  // withheld: no payloads
                    const uint32_t n = kMaxRecordPayload + 1;
                    for (int i = 0; i < 4; ++i)
                        b[at + 8 + i] = static_cast<char>((n >> (8 * i)) & 0xFF);
                },
                "more than a link frame may carry", 6},
        BadFile{"UnknownKind", [](std::string& b) { b[kFirst + 4] = 9; }, "is damaged", 0},
        BadFile{"UnknownFlags", [](std::string& b) { b[kFirst + 5] = 4; }, "is damaged", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Holds the recorder's worker at its first record until released, as a
// stalled disk would.
class StalledDisk {
  public:
    explicit StalledDisk(CSessionRecorder& r) {
        r.SetWriteGate([this] {
            std::unique_lock<std::mutex> lock(m_);
            ++waiting_;
            cv_.notify_all();
            cv_.wait(lock, [this] { return released_; });
        });
    }
    void WaitUntilHeld() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return waiting_ > 0; });
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(m_);
            released_ = true;
        }
        cv_.notify_all();
    }

  private:
    std::mutex m_;
    std::condition_variable cv_;
    bool released_ = false;
    int waiting_ = 0;
};

// A stalled disk: the producer keeps going, pictures and sound give way to
// everything else, and each gap is marked where it happened.
TEST(SessionRecorder, StalledWriterDropsMediaFirst) {
    test::TempFolder dir;
    RecorderOptions o = Options(dir.File("s.vrec"));
    o.queueBytes = 20000;
    CSessionRecorder r(o);
    StalledDisk disk(r);
    std::string error;
    ASSERT_TRUE(r.Open(error));
    r.OnLinkState(0, kStateAuthorising, "h", 1, false);
    disk.WaitUntilHeld();  // the worker holds the first record; the rest waits
    r.OnLinkState(1, kStateAuthorised, "h", 1, false);
    int statuses = 0;
    for (uint32_t t = 2; t < 200; ++t) {
        r.OnFrame(t, FrameDirection::kIncoming, t % 3 ? msg::kVideoFrame : msg::kSoundBlock,
                  std::string(1000, 'p'));
        if (t % 10 == 0) {
            r.OnFrame(t, FrameDirection::kIncoming, msg::kStatus, std::string(900, 's'));
            ++statuses;
        }
    }
    const auto drops = r.Dropped();
    EXPECT_GT(drops.video, 0u);
    EXPECT_GT(drops.sound, 0u);
    EXPECT_EQ(drops.other, 0u);
    disk.Release();
    ASSERT_TRUE(r.Close());
    const Read got = ReadAll(o.path);
    ASSERT_EQ(got.last, CSessionReader::Result::kEnd) << got.error;
    int statusSeen = 0;
    int mediaSeen = 0;
    uint64_t marked = 0;
    uint32_t lastMs = 0;
    for (const auto& rec : got.records) {
        EXPECT_GE(rec.ms, lastMs);
        lastMs = rec.ms;
        if (rec.kind == RecordKind::kDropped)
            marked += rec.length;
        else if (rec.type == msg::kStatus)
            ++statusSeen;
        else if (rec.kind == RecordKind::kIncoming)
            ++mediaSeen;
    }
    EXPECT_EQ(statusSeen, statuses);
    EXPECT_EQ(marked, drops.Total());
    EXPECT_EQ(static_cast<uint64_t>(mediaSeen) + drops.video + drops.sound, 198u);
}

// Pictures are kept in the receive block they arrived in rather than copied;
// the whole block counts against the bound while any of them waits, so a
// stalled disk cannot make the recording hold more memory than it may.
TEST(SessionRecorder, KeptBlocksCountWhole) {
    test::TempFolder dir;
    RecorderOptions o = Options(dir.File("s.vrec"));
    o.queueBytes = 600 * 1024;
    CSessionRecorder r(o);
    StalledDisk disk(r);
    std::string error;
    ASSERT_TRUE(r.Open(error));
    r.OnLinkState(0, kStateAuthorising, "h", 1, false);
    r.WriteSoon();
    disk.WaitUntilHeld();
    r.OnLinkState(1, kStateAuthorised, "h", 1, false);
    constexpr int kBlock = 256 * 1024;
    constexpr int kPicture = 12500;
    // Twenty pictures in one block count the block once: all of them fit.
    std::shared_ptr<uint8_t[]> shared(new uint8_t[kBlock]);
    for (int i = 0; i < 20; ++i) {
        std::memset(shared.get() + i * kPicture, 'A' + i, kPicture);
        r.OnIncomingFrame(10 + i, msg::kVideoFrame,
                          {reinterpret_cast<const char*>(shared.get()) + i * kPicture,
                           static_cast<std::size_t>(kPicture)},
                          FrameBlock{shared, kBlock});
    }
    EXPECT_EQ(r.Dropped().video, 0u);
    // Ten more, each alone in a block of its own: one more block fits.
    for (int i = 0; i < 10; ++i) {
        std::shared_ptr<uint8_t[]> block(new uint8_t[kBlock]);
        std::memset(block.get(), 'a' + i, kBlock);
        r.OnIncomingFrame(
            40 + i, msg::kVideoFrame,
            {reinterpret_cast<const char*>(block.get()) + 100, static_cast<std::size_t>(kPicture)},
            FrameBlock{block, kBlock});
    }
    EXPECT_EQ(r.Dropped().video, 9u);
    disk.Release();
    ASSERT_TRUE(r.Close());
    const Read got = ReadAll(o.path);
    ASSERT_EQ(got.last, CSessionReader::Result::kEnd) << got.error;
    std::vector<std::string> seen;
    for (const auto& rec : got.records)
        if (rec.kind == RecordKind::kIncoming)
            seen.push_back(rec.payload);
    ASSERT_EQ(seen.size(), 21u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(seen[i], std::string(kPicture, static_cast<char>('A' + i))) << i;
    EXPECT_EQ(seen[20], std::string(kPicture, 'a'));
}

// Frames are set aside on the connection's side and reach the queue a few
// times a second: pictures kept in their blocks, small frames both ways
// copied. They keep their order and direction over several blocks and hand-
// overs, and the last of them reach the file when it closes.
TEST(SessionRecorder, FramesSetAsideKeepTheirPlace) {
    test::TempFolder dir;
    const std::string path = dir.File("s.vrec");
    constexpr int kBlock = 64 * 1024;
    constexpr int kPicture = 1500;
    std::vector<std::shared_ptr<uint8_t[]>> blocks;
    struct Want {
        uint32_t ms;
        RecordKind kind;
        msg::Type type;
        std::string payload;
    };
    std::vector<Want> want;
    {
        CSessionRecorder r(Options(path));
        std::string error;
        ASSERT_TRUE(r.Open(error));
        r.OnLinkState(0, kStateAuthorised, "h", 1, false);
        for (int i = 0; i < 100; ++i) {
            // Forty pictures to a block, then a fresh one, as a connection does.
            if (i % 40 == 0)
                blocks.emplace_back(new uint8_t[kBlock]);
            uint8_t* at = blocks.back().get() + (i % 40) * kPicture;
            std::memset(at, 'A' + i % 26, kPicture);
            at[0] = static_cast<uint8_t>(i);
            const std::string_view picture(reinterpret_cast<const char*>(at), kPicture);
            const uint32_t ms = 20 + 20 * static_cast<uint32_t>(i);
            r.OnIncomingFrame(ms, msg::kVideoFrame, picture, FrameBlock{blocks.back(), kBlock});
            want.push_back({ms, RecordKind::kIncoming, msg::kVideoFrame, std::string(picture)});
            if (i % 9 == 4) {
                const std::string status = "status " + std::to_string(i);
                r.OnFrame(ms, FrameDirection::kIncoming, msg::kStatus, status);
                want.push_back({ms, RecordKind::kIncoming, msg::kStatus, status});
            }
            if (i % 4 == 1) {
                const std::string request = "request " + std::to_string(i);
                r.OnFrame(ms + 1, FrameDirection::kOutgoing, msg::kVideoRequest, request);
                want.push_back({ms + 1, RecordKind::kOutgoing, msg::kVideoRequest, request});
            }
        }
        ASSERT_TRUE(r.Close());
        EXPECT_EQ(r.FramesRecorded(), want.size());
    }
    // Nothing holds a block once the recording is closed.
    for (const auto& block : blocks)
        EXPECT_EQ(block.use_count(), 1);
    const Read got = ReadAll(path);
    ASSERT_EQ(got.last, CSessionReader::Result::kEnd) << got.error;
    ASSERT_EQ(got.records.size(), want.size() + 1);
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        const SessionRecord& rec = got.records[i + 1];
        EXPECT_EQ(rec.ms, want[i].ms);
        EXPECT_EQ(rec.kind, want[i].kind);
        EXPECT_EQ(rec.type, want[i].type);
        EXPECT_EQ(rec.payload, want[i].payload);
    }
}

TEST(SessionRecorder, LongSessionGoesOnInNumberedFiles) {
    test::TempFolder dir;
    RecorderOptions o = Options(dir.File("s.vrec"));
    o.maxFileBytes = 5000;
    CSessionRecorder r(o);
    std::string error;
    ASSERT_TRUE(r.Open(error));
    r.OnLinkState(100, kStateAuthorising, "h", 1, false);
    r.OnLinkState(101, kStateAuthorised, "h", 1, false);
    for (uint32_t t = 0; t < 12; ++t)
        r.OnFrame(200 + t * 1000, FrameDirection::kIncoming, msg::kStatus, std::string(1000, 'x'));
    ASSERT_TRUE(r.Close());
    EXPECT_EQ(r.FileCount(), 3);
    EXPECT_EQ(r.CurrentPath(), dir.File("s-3.vrec"));
    int frames = 0;
    for (const char* name : {"s.vrec", "s-2.vrec", "s-3.vrec"}) {
        SCOPED_TRACE(name);
        const Read got = ReadAll(dir.File(name));
        ASSERT_EQ(got.last, CSessionReader::Result::kEnd) << got.error;
        ASSERT_FALSE(got.records.empty());
        // Each file starts with the link's state, at its own time.
        EXPECT_EQ(got.records.front().kind, RecordKind::kLinkState);
        EXPECT_EQ(got.records.front().ms, 0u);
        for (const auto& rec : got.records)
            frames += rec.type == msg::kStatus && rec.kind == RecordKind::kIncoming;
        if (std::string(name) != "s.vrec") {
            EXPECT_EQ(got.records.front().type, kStateAuthorised);
            EXPECT_GT(got.header.startUtcMs, 1765000000123);
        }
    }
    EXPECT_EQ(frames, 12);
}

// The summary counts by direction and type, pictures by camera, and tells the
// link's drops (not the operator's disconnect) and the frames left out.
TEST(SessionSummary, CountsDropsAndGaps) {
    test::TempFolder dir;
    const std::string path = dir.File("s.vrec");
    {
        CSessionRecorder r(Options(path));
        std::string error;
        ASSERT_TRUE(r.Open(error));
        PlaySession(r);  // authorised at 13 ms, dropped at 1500 ms
        r.OnLinkState(2700, kStateConnecting, "10.0.0.7", 5554, true);
        r.OnLinkState(2710, kStateAuthorised, "10.0.0.7", 5554, true);
        r.OnFrame(2800, FrameDirection::kIncoming, msg::kVideoFrameRanges,
                  std::string("\x02") + std::string(20, 'r'));
        r.OnFrame(2900, FrameDirection::kIncoming, msg::kVideoFrame, "\x02xx");  // too short
        r.OnLinkState(3000, kStateIdle, "10.0.0.7", 5554, true);
        ASSERT_TRUE(r.Close());
    }
    // A gap of 7 frames, as the writer marks one, appended by hand.
    {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        const std::string gap = EncodeRecordHead(2950, RecordKind::kDropped, false, 0, 7);
        std::fwrite(gap.data(), 1, gap.size(), f);
        std::fclose(f);
    }
    CSessionReader reader;
    ASSERT_TRUE(reader.Open(path));
    SessionSummary s;
    ASSERT_EQ(SummariseRecording(reader, s), CSessionReader::Result::kEnd) << reader.Error();
    EXPECT_EQ(s.durationMs, 2950u);
    EXPECT_EQ(s.framesIn, 6u);
    EXPECT_EQ(s.framesOut, 2u);
    EXPECT_EQ(s.bytesIn, 4u + 1 + 5 + 300 + 21 + 3);
    EXPECT_TRUE((s.types[{0, msg::kAuth}].withheld));
    EXPECT_EQ((s.types[{1, msg::kStatus}].frames), 1u);
    EXPECT_EQ(s.pictures, (std::map<int, uint64_t>{{'v', 1}, {2, 1}}));
    ASSERT_EQ(s.linkDrops.size(), 1u);
    EXPECT_EQ(s.linkDrops[0], (std::pair<uint32_t, int32_t>{1500, kStateRetryWait}));
    EXPECT_EQ(s.droppedTotal, 7u);
}

TEST(SessionRecording, StatusBarTexts) {
    const std::vector<std::pair<uint32_t, std::string>> times = {
        {0, "00:00"},       {59999, "00:59"},     {60000, "01:00"},
        {3599999, "59:59"}, {3600000, "1:00:00"}, {36061000, "10:01:01"}};
    for (const auto& [ms, text] : times)
        EXPECT_EQ(RecordingTimeText(ms), text) << ms;
    const std::vector<std::pair<int64_t, std::string>> sizes = {{0, "0 КБ"},
                                                                {1023, "0 КБ"},
                                                                {1048575, "1023 КБ"},
                                                                {1048576, "1.0 МБ"},
                                                                {5 * 1048576 + 524288, "5.5 МБ"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(RecordingSizeText(bytes), text) << bytes;
}

TEST(SessionRecording, NewFilesAreNamedByTheTimeAndNeverShared) {
    test::TempFolder dir;
    const std::string folder = dir.File("sessions");
    const int64_t t = 1765152000 + 3 * 3600 + 4 * 60 + 5;  // 2025-12-08 03:04:05 UTC
    const std::string first = NewRecordingPath(folder, t);
    EXPECT_EQ(first, folder + "/session-20251208-030405.vrec");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    std::ofstream(first).put('x');
    const std::string second = NewRecordingPath(folder, t);
    EXPECT_EQ(second, folder + "/session-20251208-030405-2.vrec");
    std::ofstream(second).put('x');
    EXPECT_EQ(NewRecordingPath(folder, t), folder + "/session-20251208-030405-3.vrec");
}

TEST(SessionRecorder, NoConnectionLeavesNoFile) {
    test::TempFolder dir;
    CSessionRecorder r(Options(dir.File("s.vrec")));
    std::string error;
    ASSERT_TRUE(r.Open(error));
    r.OnLinkState(10, kStateLookup, "robot", 5554, false);
    r.OnLinkState(20, kStateFailed, "robot", 5554, false);
    EXPECT_TRUE(std::filesystem::exists(dir.File("s.vrec")));
    ASSERT_TRUE(r.Close());
    EXPECT_FALSE(std::filesystem::exists(dir.File("s.vrec")));
}

class QuietOwner : public IRobotConnectionOwner {
    void OnConnectionStateChanged() override {}
};

// The switch on a connection: waits while idle, records from the moment it
// is turned on mid-session, and closes on a thread of its own.
TEST(SessionRecording, StartsWithTheLinkAndClosesWithoutWaiting) {
    test::TempFolder dir;
    platform::ManualReactor reactor;
    CMessageDispatcher dispatcher;
    QuietOwner owner;
    CRobotConnection link(reactor, dispatcher, &owner);
    CSessionRecording recording(link);
    std::string error;
    ASSERT_TRUE(recording.Start(Options(dir.File("idle.vrec")), reactor.Now(), error));
    EXPECT_EQ(recording.StatusText(reactor.Now()), "Запись: ожидание подключения");
    recording.StopSoon();
    EXPECT_FALSE(recording.Active());
    recording.WaitClosed();
    EXPECT_TRUE(recording.PollClosed(error));
    EXPECT_EQ(recording.StatusText(reactor.Now()), "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("idle.vrec")));

    ASSERT_TRUE(link.ConnectAnsi("10.0.0.9", 5554, false));
    reactor.Fire(link.Socket(), platform::kEventConnect);
    ASSERT_EQ(link.State(), kStateAuthorising);
    ASSERT_TRUE(recording.Start(Options(dir.File("s.vrec")), reactor.Now(), error));
    EXPECT_EQ(recording.StatusText(reactor.Now()).rfind("Запись 00:00, 0 КБ", 0), 0u);
    link.BeginFrame(msg::kStatus);
    link.EndFrame();
    recording.StopSoon();
    // Nothing reaches a recording being closed.
    link.BeginFrame(msg::kVolume);
    link.EndFrame();
    recording.WaitClosed();
    const Read got = ReadAll(dir.File("s.vrec"));
    ASSERT_EQ(got.last, CSessionReader::Result::kEnd) << got.error;
    ASSERT_EQ(got.records.size(), 2u);
    EXPECT_EQ(got.records[0].kind, RecordKind::kLinkState);
    EXPECT_EQ(got.records[0].type, kStateAuthorising);
    EXPECT_EQ(got.header.host, "10.0.0.9");
    EXPECT_EQ(got.records[1].type, msg::kStatus);
}

TEST(SessionRecorder, UncreatableFileIsAnError) {
    CSessionRecorder r(Options("/nonexistent-folder/s.vrec"));
    std::string error;
    EXPECT_FALSE(r.Open(error));
    EXPECT_NE(error.find("cannot create /nonexistent-folder/s.vrec"), std::string::npos);
}

}  // namespace
}  // namespace velcora
