#include "nav/map_transfer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "nav/map_format.h"
#include "support/fake_link.h"

namespace velcora::nav {
namespace {

using test::FakeLink;

// Records what the controller shows, one line per call.
struct RecordingView : IMapTransferView {
    void ShowNavMode(NavMode m) override { Log("mode " + std::to_string(int(m))); }
    void ShowRobotFlags(uint8_t f) override { Log("flags " + std::to_string(f)); }
    void ShowLoadFromRobot(bool on) override { Log(on ? "load on" : "load off"); }
    void ShowCentreOnRobot(bool on) override { Log(on ? "centre on" : "centre off"); }
    void ShowNavStatus(const RobotNavStatus& s, bool empty) override {
        status = s;
        emptyImage = empty;
        ++statusShown;
    }
    void ShowError(const std::u16string& text, int32_t ms) override {
        error = text;
        errorMs = ms;
    }
    void UploadOpened(uint32_t size) override { Log("upload open " + std::to_string(size)); }
    void UploadProgress(uint32_t v) override { uploadProgress = v; }
    void UploadComplete() override { Log("upload complete"); }
    void DownloadOpened(uint32_t size) override { Log("download open " + std::to_string(size)); }
    void DownloadProgress(uint32_t v) override { downloadProgress = v; }
    void DownloadClosed(DownloadEnd e) override {
        static const char* names[] = {"complete", "abandoned", "cancelled"};
        Log(std::string("download closed ") + names[int(e)]);
    }
    void ForgetCurrentItem() override { Log("forget"); }
    void CentreOnRobot() override { Log("centre"); }
    void MapReceived(MapArrival a, bool ok) override {
        Log(std::string(a == MapArrival::Download ? "received download " : "received inline ") +
            (ok ? "ok" : "failed"));
    }
    void Log(std::string line) { events.push_back(std::move(line)); }
    bool Saw(const std::string& line) const {
        return std::find(events.begin(), events.end(), line) != events.end();
    }

    std::vector<std::string> events;
    RobotNavStatus status;
    bool emptyImage = false;
    int statusShown = 0;
    std::u16string error;
    int32_t errorMs = 0;
    uint32_t uploadProgress = 0;
    uint32_t downloadProgress = 0;
};

std::string Le32(uint32_t v) {
    CMemoryStream s;
    WriteU32(s, v);
    return std::string(s.View());
}

std::string StatusBlock(const RobotNavStatus& status = {}) {
    CMemoryStream s;
    WriteRobotNavStatus(s, status);
    return std::string(s.View());
}

std::string Header(uint8_t mode, uint8_t flags) {
    return std::string{static_cast<char>(mode), static_cast<char>(flags)};
}

std::string MapStatus(uint32_t mapId, int32_t nextVersion, uint32_t transferId, uint32_t size,
                      uint8_t mode = 1) {
    return Header(mode, 0) + Le32(mapId) + Le32(static_cast<uint32_t>(nextVersion)) +
           StatusBlock() + Le32(transferId) + Le32(size);
}

std::string Chunk(uint32_t transferId, uint32_t offset, const std::string& bytes) {
    return Le32(transferId) + Le32(offset) + Le32(static_cast<uint32_t>(bytes.size())) + bytes;
}

std::string Packed(const CNavProject& map) {
    CMemoryStream packed;
    EXPECT_TRUE(PackMap(map, packed));
    return std::string(packed.View());
}

struct Wall {
    double x;
    uint8_t side;
};

std::vector<Wall> WallsOf(const CNavProject& map) {
    std::vector<Wall> out;
    for (auto* w = map.walls.First(); w; w = CNavWallList::Next(w)) {
        out.push_back({w->x, w->side});
    }
    return out;
}

class Transfer : public ::testing::Test {
  protected:
    // Runs the 20 ms timer from the current time up to `ms` later.
    void Run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 20) {
            now += 20;
            transfer.Tick(now);
        }
    }
    std::vector<test::SentFrame> Sent(msg::Type type) const { return link.Of(type); }

    FakeLink link;
    CNavProject map;
    RecordingView view;
    CMapTransfer transfer{link, map, view};
    uint32_t now = 1000;
};

// ------------------------------------------------------------------- upload

// Fills the map with one image of incompressible pixels so that the packed
// map is exactly `target` bytes long.
bool MakePackedSize(CNavProject& map, int32_t target) {
    uint32_t x = 12345;
    auto noise = [&x](CNavImage& image) {
        for (int32_t i = 0; i < image.PixelCount(); ++i) {
            x = x * 1103515245u + 12345u;
            image.Pixels()[i] = static_cast<uint8_t>(x >> 23);
        }
    };
    // Whole images for the bulk, then one tuned to the byte.
    for (int32_t bulk = target - 40000; bulk > 0; bulk -= 50000) {
        auto* image = map.images.NewItem();
        image->SetImageSize(std::min(bulk, 50000), 1);
        noise(*image);
    }
    auto* image = map.images.NewItem();
    auto fill = [&](int32_t n) {
        image->SetImageSize(n, 1);
        for (int32_t i = 0; i < n; ++i) {
            x = x * 1103515245u + 12345u;
            image->Pixels()[i] = static_cast<uint8_t>(x >> 23);
        }
        return static_cast<int32_t>(Packed(map).size());
    };
    int32_t n = std::min(target, 40000);
    for (int step = 0; step < 40; ++step) {
        const int32_t size = fill(n);
        if (size == target) {
            return true;
        }
        n += (target - size) > 0 ? std::max(1, (target - size) / 2)
                                 : std::min(-1, (target - size) / 2);
    }
    return false;
}

TEST_F(Transfer, MapOfExactlyOneChunkIsSentOnceAndCompletesOnItsAck) {
    ASSERT_TRUE(MakePackedSize(map, CMapTransfer::kChunkSize));
    transfer.SetLoadFromRobot(true);
    ASSERT_TRUE(transfer.StartUpload());
    EXPECT_FALSE(transfer.LoadFromRobot());
    ASSERT_EQ(Sent(msg::kMapUploadBegin).size(), 1u);
    EXPECT_EQ(Sent(msg::kMapUploadBegin)[0].payload,
              Le32(map.mapId) + Le32(map.nextVersion) + Le32(49152));
    Run(20);
    auto chunks = Sent(msg::kMapUploadChunk);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].payload.substr(0, 4), Le32(0));
    EXPECT_EQ(chunks[0].payload.size(), 4u + 49152);
    EXPECT_EQ(chunks[0].payload.substr(4), Packed(map));
    EXPECT_EQ(view.uploadProgress, 49152u);

    link.Receive(msg::kMapUploadAck, Le32(0));
    Run(20);
    EXPECT_TRUE(view.Saw("upload complete"));
    EXPECT_EQ(transfer.Upload(), CMapTransfer::UploadState::Idle);
    Run(10000);
    EXPECT_EQ(Sent(msg::kMapUploadChunk).size(), 1u);
}

TEST_F(Transfer, OneByteMoreTakesASecondChunkOfOneByte) {
    ASSERT_TRUE(MakePackedSize(map, CMapTransfer::kChunkSize + 1));
    ASSERT_TRUE(transfer.StartUpload());
    Run(20);
    link.Receive(msg::kMapUploadAck, Le32(0));
    Run(20);
    auto chunks = Sent(msg::kMapUploadChunk);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[1].payload.substr(0, 4), Le32(49152));
    EXPECT_EQ(chunks[1].payload.size(), 5u);
    EXPECT_FALSE(view.Saw("upload complete"));
    link.Receive(msg::kMapUploadAck, Le32(49152));
    Run(20);
    EXPECT_TRUE(view.Saw("upload complete"));
}

TEST_F(Transfer, RestartStaleAckAndSilenceEachResendTheRightChunk) {
    ASSERT_TRUE(MakePackedSize(map, 3 * CMapTransfer::kChunkSize));
    ASSERT_TRUE(transfer.StartUpload());
    const uint32_t mapId = map.mapId;
    Run(20);
    link.Receive(msg::kMapUploadAck, Le32(0));
    Run(20);
    ASSERT_EQ(Sent(msg::kMapUploadChunk).size(), 2u);

    // A stale acknowledgement sends the current chunk again at once.
    link.Receive(msg::kMapUploadAck, Le32(0));
    Run(20);
    ASSERT_EQ(Sent(msg::kMapUploadChunk).size(), 3u);
    EXPECT_EQ(Sent(msg::kMapUploadChunk)[2].payload.substr(0, 4), Le32(49152));

    // Silence: the chunk goes out again after 4000 ms, not before.
    Run(3980);
    EXPECT_EQ(Sent(msg::kMapUploadChunk).size(), 3u);
    Run(20);
    ASSERT_EQ(Sent(msg::kMapUploadChunk).size(), 4u);
    EXPECT_EQ(Sent(msg::kMapUploadChunk)[3].payload.substr(0, 4), Le32(49152));

    // -1 starts over from offset 0 with the same stamp.
    link.Receive(msg::kMapUploadAck, Le32(0xFFFFFFFF));
    Run(20);
    ASSERT_EQ(Sent(msg::kMapUploadBegin).size(), 2u);
    EXPECT_EQ(Sent(msg::kMapUploadBegin)[1].payload.substr(0, 4), Le32(mapId));
    ASSERT_EQ(Sent(msg::kMapUploadChunk).size(), 5u);
    EXPECT_EQ(Sent(msg::kMapUploadChunk)[4].payload.substr(0, 4), Le32(0));
    EXPECT_EQ(transfer.UploadOffset(), 0);
}

TEST_F(Transfer, UploadWaitsWhileTheLinkIsDownAndStopsWhenCancelled) {
    link.state = kStateConnecting;
    EXPECT_FALSE(transfer.StartUpload());
    link.state = kStateAuthorised;
    ASSERT_TRUE(transfer.StartUpload());
    link.state = kStateRetryWait;
    Run(10000);
    EXPECT_TRUE(Sent(msg::kMapUploadChunk).empty());
    link.state = kStateAuthorised;
    Run(20);
    EXPECT_EQ(Sent(msg::kMapUploadChunk).size(), 1u);
    transfer.CancelUpload();
    Run(10000);
    EXPECT_EQ(Sent(msg::kMapUploadChunk).size(), 1u);
}

TEST_F(Transfer, EveryUploadDrawsANewStamp) {
    std::vector<int32_t> draws{1, 2, 3, 4, 5, 6};
    CNavProject stamped([&draws, i = 0]() mutable { return draws[i++ % 6]; });
    CMapTransfer t(link, stamped, view);
    EXPECT_EQ(stamped.mapId, 0x00010002u);
    ASSERT_TRUE(t.StartUpload());
    EXPECT_EQ(stamped.mapId, 0x00030004u);
}

// ------------------------------------------------------------------ polling

TEST_F(Transfer, PollsEveryTwoSecondsWhileLoadingIsOn) {
    Run(5000);
    EXPECT_TRUE(Sent(msg::kMapPoll).empty());
    transfer.SetLoadFromRobot(true);
    Run(20);
    ASSERT_EQ(Sent(msg::kMapPoll).size(), 1u);
    EXPECT_EQ(Sent(msg::kMapPoll)[0].payload,
              Le32(map.mapId) + Le32(map.nextVersion) + std::string(1, '\x02'));
    Run(1980);
    EXPECT_EQ(Sent(msg::kMapPoll).size(), 1u);
    Run(20);
    EXPECT_EQ(Sent(msg::kMapPoll).size(), 2u);

    link.queued = 101;  // periodic traffic holds back
    Run(4000);
    EXPECT_EQ(Sent(msg::kMapPoll).size(), 2u);
    link.queued = 0;
    Run(20);
    EXPECT_EQ(Sent(msg::kMapPoll).size(), 3u);

    // A status message brings the next poll to 200 ms later.
    Run(400);
    link.Receive(msg::kNavStateMap, Header(1, 0) + Le32(map.mapId) + Le32(0) + StatusBlock());
    Run(180);
    EXPECT_EQ(Sent(msg::kMapPoll).size(), 3u);
    Run(40);
    EXPECT_EQ(Sent(msg::kMapPoll).size(), 4u);
}

TEST_F(Transfer, PollsKeepGoingAcrossTheTickWrap) {
    now = 0xFFFFFF00u;
    transfer.SetLoadFromRobot(true);
    Run(20);
    Run(2000);
    EXPECT_EQ(Sent(msg::kMapPoll).size(), 2u);
}

// ----------------------------------------------------------------- download

class Download : public Transfer {
  protected:
    void SetUp() override {
        robotMap.robot.x = 12;
        robotMap.walls.NewItem()->x = 3;
        robotMap.walls.NewItem()->side = 2;
        auto* place = robotMap.places.NewItem();
        place->placeNumber = 5;
        packed = Packed(robotMap);
        transfer.SetLoadFromRobot(true);
        Run(20);
    }
    void Start(uint32_t transferId, uint32_t size = 0) {
        link.Receive(msg::kMapStatus,
                     MapStatus(0x00110022, 33, transferId, size ? size : packed.size()));
    }
    uint32_t LastRequestOffset() const {
        auto r = Sent(msg::kMapChunkRequest);
        return r.empty() ? 0xFFFFFFFF
                         : static_cast<uint8_t>(r.back().payload[4]) |
                               static_cast<uint8_t>(r.back().payload[5]) << 8 |
                               static_cast<uint8_t>(r.back().payload[6]) << 16;
    }

    CNavProject robotMap;
    std::string packed;
};

TEST_F(Download, ChunksAreRequestedInTurnAndTheMapIsReadAtTheEnd) {
    map.walls.NewItem()->x = 99;  // a different map: cleared first
    Start(7);
    EXPECT_TRUE(view.Saw("download open " + std::to_string(packed.size())));
    ASSERT_EQ(Sent(msg::kMapChunkRequest).size(), 1u);
    EXPECT_EQ(Sent(msg::kMapChunkRequest)[0].payload, Le32(7) + Le32(0));

    const std::size_t half = packed.size() / 2;
    link.Receive(msg::kMapChunk, Chunk(7, 0, packed.substr(0, half)));
    ASSERT_EQ(Sent(msg::kMapChunkRequest).size(), 2u);
    EXPECT_EQ(Sent(msg::kMapChunkRequest)[1].payload, Le32(7) + Le32(half));
    EXPECT_EQ(view.downloadProgress, half);
    Run(2000);  // no polls while downloading
    EXPECT_EQ(Sent(msg::kMapPoll).size(), 1u);

    link.Receive(msg::kMapChunk, Chunk(7, half, packed.substr(half)));
    EXPECT_EQ(Sent(msg::kMapTransferEnd).size(), 1u);
    EXPECT_TRUE(view.Saw("download closed complete"));
    EXPECT_TRUE(view.Saw("forget"));
    EXPECT_TRUE(view.Saw("received download ok"));
    EXPECT_EQ(map.mapId, 0x00110022u);
    EXPECT_EQ(map.nextVersion, 33);
    EXPECT_EQ(map.robot.x, 12);
    auto walls = WallsOf(map);
    ASSERT_EQ(walls.size(), 2u);
    EXPECT_EQ(walls[0].x, 3);
    EXPECT_EQ(walls[1].side, 2);
    EXPECT_EQ(map.places.First()->placeNumber, 5);
    EXPECT_EQ(transfer.Download(), CMapTransfer::DownloadState::Idle);
}

TEST_F(Download, SameStampMergesWithoutClearing) {
    map.mapId = 0x00110022;
    auto* mine = map.walls.NewItem();
    mine->x = 99;
    Start(7);
    link.Receive(msg::kMapChunk, Chunk(7, 0, packed));
    EXPECT_FALSE(view.Saw("forget"));
    // The robot's wall with id 0 overwrites mine (id 0); its second is added.
    auto walls = WallsOf(map);
    ASSERT_EQ(walls.size(), 2u);
    EXPECT_EQ(map.walls.First(), mine);
    EXPECT_EQ(mine->x, 3);
}

// The robot numbers its items its own way; the console must find them again
// by those ids, or every download of an unchanged map would add copies.
TEST_F(Download, RepeatedDownloadsOfOneMapKeepTheRobotsIds) {
    robotMap.Renumber();  // ids 1..3, above the console's fresh counter
    packed = Packed(robotMap);
    for (uint32_t round = 1; round <= 3; ++round) {
        Start(round);
        link.Receive(msg::kMapChunk, Chunk(round, 0, packed));
        ASSERT_TRUE(view.Saw("received download ok"));
        ASSERT_EQ(WallsOf(map).size(), 2u) << round;
        EXPECT_EQ(map.places.Count(), 1) << round;
        EXPECT_EQ(map.walls.First()->id, robotMap.walls.First()->id);
        EXPECT_EQ(map.places.First()->id, robotMap.places.First()->id);
    }
}

TEST_F(Download, UnansweredRequestsRepeatEveryTenSeconds) {
    Start(7);
    Run(9980);
    EXPECT_EQ(Sent(msg::kMapChunkRequest).size(), 1u);
    Run(20);
    EXPECT_EQ(Sent(msg::kMapChunkRequest).size(), 2u);
    Run(10000);
    EXPECT_EQ(Sent(msg::kMapChunkRequest).size(), 3u);
}

TEST_F(Download, ForeignTransferIdEndsTheDownloadSilently) {
    Start(7);
    link.Receive(msg::kMapChunk, Chunk(7, 0, packed.substr(0, 10)));
    link.Receive(msg::kMapChunk, Chunk(8, 10, packed.substr(10)));
    EXPECT_TRUE(view.Saw("download closed abandoned"));
    EXPECT_TRUE(Sent(msg::kMapTransferEnd).empty());
    EXPECT_EQ(transfer.DownloadReceived(), 0);
    Run(20000);
    EXPECT_EQ(Sent(msg::kMapChunkRequest).size(), 2u);
    // A late chunk of the old transfer finds no download.
    link.Receive(msg::kMapChunk, Chunk(7, 0, packed));
    EXPECT_FALSE(view.Saw("received download ok"));
}

TEST_F(Download, NewStatusStartsOverWithTheNewTransfer) {
    Start(7);
    link.Receive(msg::kMapChunk, Chunk(7, 0, packed.substr(0, 10)));
    Start(9);
    EXPECT_EQ(transfer.DownloadReceived(), 0);
    EXPECT_EQ(transfer.DownloadTransferId(), 9u);
    EXPECT_EQ(Sent(msg::kMapChunkRequest).back().payload, Le32(9) + Le32(0));
    link.Receive(msg::kMapChunk, Chunk(9, 0, packed));
    EXPECT_TRUE(view.Saw("received download ok"));
}

TEST_F(Download, SwitchingLoadingOffAbandonsAtTheNextTick) {
    Start(7);
    transfer.SetLoadFromRobot(false);
    Run(20);
    EXPECT_TRUE(view.Saw("download closed abandoned"));
    EXPECT_EQ(transfer.Download(), CMapTransfer::DownloadState::Idle);
    Run(20000);
    EXPECT_EQ(Sent(msg::kMapChunkRequest).size(), 1u);
}

// The robot forgets its transfers with the connection; a download that kept
// asking for one after a reconnect waited for ever and stopped the polls.
TEST_F(Download, ALostLinkEndsTheDownloadAndTheNextConnectionAsksAgain) {
    Start(7);
    link.Receive(msg::kMapChunk, Chunk(7, 0, packed.substr(0, 10)));
    link.state = kStateRetryWait;
    Run(20);
    EXPECT_TRUE(view.Saw("download closed abandoned"));
    EXPECT_EQ(transfer.Download(), CMapTransfer::DownloadState::Idle);
    const std::size_t polls = Sent(msg::kMapPoll).size();
    link.state = kStateAuthorised;
    Run(2000);
    EXPECT_EQ(Sent(msg::kMapPoll).size(), polls + 1);
    Start(8);
    link.Receive(msg::kMapChunk, Chunk(8, 0, packed));
    EXPECT_TRUE(view.Saw("received download ok"));
}

TEST_F(Download, ClosingTheWindowTellsTheRobotAtTheNextChunk) {
    Start(7);
    transfer.CancelDownload();
    link.Receive(msg::kMapChunk, Chunk(7, 0, packed.substr(0, 10)));
    EXPECT_EQ(Sent(msg::kMapTransferEnd).size(), 1u);
    EXPECT_TRUE(view.Saw("download closed cancelled"));
    EXPECT_EQ(transfer.Download(), CMapTransfer::DownloadState::Idle);
}

TEST_F(Download, RobotSizesAreNotTrusted) {
    // A declared size above 256 MiB starts nothing.
    Start(7, (256u << 20) + 1);
    EXPECT_EQ(transfer.Download(), CMapTransfer::DownloadState::Idle);
    EXPECT_TRUE(Sent(msg::kMapChunkRequest).empty());

    Start(7);
    const int32_t size = static_cast<int32_t>(packed.size());
    // Outside the declared size, wrapping past 2^32, or longer than the message.
    link.Receive(msg::kMapChunk, Chunk(7, size, "x"));
    link.Receive(msg::kMapChunk, Chunk(7, 0xFFFFFFF0u, std::string(32, 'x')));
    link.Receive(msg::kMapChunk, Le32(7) + Le32(0) + Le32(0xFFFFFFFF) + "abc");
    link.Receive(msg::kMapChunk, Le32(7) + Le32(0) + Le32(8) + "abc");
    link.Receive(msg::kMapChunk, "short");
    EXPECT_EQ(transfer.DownloadReceived(), 0);
    EXPECT_EQ(Sent(msg::kMapChunkRequest).size(), 1u);
    EXPECT_EQ(transfer.Download(), CMapTransfer::DownloadState::Running);

    // A chunk past a gap is taken; the gap reads as zeros.
    link.Receive(msg::kMapChunk, Chunk(7, 10, packed.substr(10, 5)));
    EXPECT_EQ(transfer.DownloadReceived(), 15);
    EXPECT_EQ(LastRequestOffset(), 15u);
}

TEST_F(Download, CorruptMapDataIsIgnoredSilently) {
    Start(7, 8);
    link.Receive(msg::kMapChunk, Chunk(7, 0, "garbage!"));
    EXPECT_TRUE(view.Saw("received download failed"));
    EXPECT_TRUE(view.error.empty());
}

TEST_F(Download, StatusOnlyWhenLoadingIsOff) {
    transfer.SetLoadFromRobot(false);
    map.walls.NewItem();
    RobotNavStatus status;
    status.difference = -12;
    const uint32_t before = map.mapId;
    link.Receive(msg::kMapStatus,
                 Header(2, 0x5C) + Le32(1) + Le32(1) + StatusBlock(status) + Le32(3) + Le32(100));
    link.Receive(msg::kNavStateMap, Header(2, 0x5C) + Le32(1) + Le32(1) + StatusBlock(status));
    EXPECT_TRUE(view.Saw("mode 2"));
    EXPECT_TRUE(view.Saw("flags 92"));
    EXPECT_EQ(transfer.Permissions(), 0x17);
    EXPECT_EQ(view.status.difference, -12);
    EXPECT_EQ(transfer.Download(), CMapTransfer::DownloadState::Idle);
    EXPECT_EQ(map.mapId, before);
    EXPECT_EQ(map.walls.Count(), 1);
}

// ------------------------------------------------------------ inline maps

TEST_F(Download, InlineMapsMergeOrReplaceByStamp) {
    CMemoryStream body;
    ASSERT_TRUE(WriteBody(robotMap, body));
    const std::string plain(body.View());

    map.walls.NewItem()->x = 50;
    map.walls.NewItem()->x = 51;
    map.walls.NewItem()->x = 52;
    map.mapId = 0x44;
    transfer.SetCentreOnRobot(true);
    view.events.clear();
    link.Receive(msg::kNavStateMap, Header(1, 0) + Le32(0x44) + Le32(70) + StatusBlock() + plain);
    EXPECT_FALSE(view.Saw("forget"));
    EXPECT_TRUE(view.Saw("centre"));
    EXPECT_TRUE(view.Saw("received inline ok"));
    EXPECT_EQ(map.walls.Count(), 3);  // ids 0 and 1 overwritten in place
    EXPECT_EQ(WallsOf(map)[2].x, 52);
    EXPECT_EQ(map.nextVersion, 70);

    link.Receive(msg::kNavStatePackedMap,
                 Header(1, 0) + Le32(0x45) + Le32(80) + StatusBlock() + packed);
    EXPECT_TRUE(view.Saw("forget"));
    EXPECT_EQ(map.walls.Count(), 2);
    EXPECT_EQ(map.mapId, 0x45u);
    EXPECT_EQ(map.nextVersion, 80);

    // Broken data still takes the stamp; what was merged stays.
    link.Receive(msg::kNavStatePackedMap,
                 Header(1, 0) + Le32(0x45) + Le32(81) + StatusBlock() + "not zlib");
    EXPECT_TRUE(view.Saw("received inline failed"));
    EXPECT_EQ(map.walls.Count(), 2);
    EXPECT_EQ(map.nextVersion, 81);
}

// A map that inflates past what is done on the spot finishes on a worker:
// the window keeps running meanwhile, polls wait, maps behind it are not
// read, and it arrives whole at a later tick. A transfer dropped while one
// inflates waits for its thread and touches nothing after.
class BigMap : public Download {
  protected:
    void SetUp() override {
        Download::SetUp();
        auto* image = robotMap.images.NewItem();
        // Zeros pack to little and inflate past the on-the-spot limit.
        ASSERT_TRUE(image->SetImageSize(5000, 4000));
        bigPacked = Packed(robotMap);
        ASSERT_LT(bigPacked.size(), 1u << 20);
    }
    // Ticks the transfer until the worker is done (real time: it is a thread).
    bool TickUntilInflated() {
        for (int i = 0; i < 6000 && transfer.Inflating(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            Run(20);
        }
        return !transfer.Inflating();
    }
    std::string bigPacked;
};

TEST_F(BigMap, InlineMapArrivesAtALaterTickWhole) {
    const std::size_t pollsBefore = Sent(msg::kMapPoll).size();
    link.Receive(msg::kNavStatePackedMap,
                 Header(1, 0) + Le32(0x51) + Le32(90) + StatusBlock() + bigPacked);
    // Reported only by a tick, however fast the worker is.
    ASSERT_TRUE(transfer.Inflating());
    EXPECT_FALSE(view.Saw("received inline ok"));
    // Another map meanwhile is not read.
    link.Receive(msg::kNavStatePackedMap,
                 Header(1, 0) + Le32(0x52) + Le32(91) + StatusBlock() + packed);
    EXPECT_FALSE(view.Saw("received inline ok"));
    ASSERT_TRUE(TickUntilInflated());
    EXPECT_TRUE(view.Saw("received inline ok"));
    EXPECT_EQ(map.mapId, 0x51u);
    EXPECT_EQ(map.nextVersion, 90);
    ASSERT_NE(map.images.First(), nullptr);
    EXPECT_EQ(map.images.First()->PixelCount(), 5000 * 4000);
    EXPECT_EQ(map.robot.x, 12);
    Run(2200);
    EXPECT_GT(Sent(msg::kMapPoll).size(), pollsBefore);
}

TEST_F(BigMap, DownloadedMapArrivesAtALaterTickWhole) {
    link.Receive(msg::kMapStatus, MapStatus(0x00110023, 34, 9, bigPacked.size()));
    link.Receive(msg::kMapChunk, Chunk(9, 0, bigPacked));
    EXPECT_TRUE(view.Saw("download closed complete"));
    EXPECT_TRUE(transfer.Inflating());
    ASSERT_TRUE(TickUntilInflated());
    EXPECT_TRUE(view.Saw("received download ok"));
    EXPECT_EQ(map.mapId, 0x00110023u);
    EXPECT_EQ(map.images.First()->PixelCount(), 5000 * 4000);
}

TEST_F(BigMap, DroppedWhileInflatingWaitsAndTouchesNothing) {
    auto view2 = std::make_unique<RecordingView>();
    CNavProject map2;
    auto second = std::make_unique<CMapTransfer>(link, map2, *view2);
    second->SetLoadFromRobot(true);
    link.Receive(msg::kNavStatePackedMap,
                 Header(1, 0) + Le32(0x51) + Le32(90) + StatusBlock() + bigPacked);
    second.reset();
    view2.reset();
    EXPECT_EQ(map2.images.First(), nullptr);
}

TEST_F(Download, ImageWithoutPixelsRaisesTheIndicatorUntilModeLeavesRecording) {
    robotMap.images.NewItem();
    CMemoryStream body;
    ASSERT_TRUE(WriteBody(robotMap, body));
    link.Receive(msg::kNavStateMap, Header(2, 0) + Le32(map.mapId) + Le32(5) + StatusBlock() +
                                        std::string(body.View()));
    EXPECT_TRUE(transfer.EmptyImageIndicator());
    EXPECT_TRUE(view.emptyImage);
    EXPECT_EQ(FormatDifference(transfer.Status(), true), u" 0\u041F");
    link.Receive(msg::kModeFlags, Header(2, 0) + StatusBlock());
    EXPECT_TRUE(transfer.EmptyImageIndicator());
    link.Receive(msg::kModeFlags, Header(1, 0) + StatusBlock());
    EXPECT_FALSE(transfer.EmptyImageIndicator());
}

TEST_F(Transfer, MapLoadOnSwitchesLoadingOn) {
    link.Receive(msg::kMapLoadOn, "");
    EXPECT_TRUE(transfer.LoadFromRobot());
    EXPECT_TRUE(view.Saw("load on"));
}

// ------------------------------------------------------------ commands

TEST_F(Transfer, CommandsCarryTheirPayloads) {
    transfer.SendNavMode(NavMode::Recording);
    transfer.SetPermissions(0xFF);
    transfer.SendGoToPlace(17);
    transfer.SendRobotPose(1.5, -2, 0.25);
    EXPECT_EQ(Sent(msg::kNavModeSet)[0].payload, std::string(1, '\x02'));
    EXPECT_EQ(Sent(msg::kNavPermissionsSet)[0].payload, std::string(1, '\x3F'));
    EXPECT_EQ(Sent(msg::kGoToPlace)[0].payload, Le32(17));
    EXPECT_TRUE(transfer.CentreOnRobotEnabled());
    EXPECT_TRUE(view.Saw("centre on"));
    CMemoryStream pose;
    WriteDouble(pose, 1.5);
    WriteDouble(pose, -2);
    WriteDouble(pose, 0.25);
    EXPECT_EQ(Sent(msg::kRobotPoseSet)[0].payload, std::string(pose.View()));
}

// ---------------------------------------------------------- status texts

TEST(NavStatusText, DifferenceAndSensorsFormatLikeTheStatusBar) {
    FakeLink link;
    CNavProject map;
    RecordingView view;
    CMapTransfer transfer(link, map, view);
    RobotNavStatus sent;
    sent.difference = -37;
    sent.differenceMarked = 5;
    sent.ranges = {10, 20, 30, 40, 50, 60, 70, -80};
    sent.sensorFlags = 0x80 | 0x01 | (3u << (8 + 2 * 7)) | (2u << 8);
    link.Receive(msg::kModeFlags, Header(1, 0) + StatusBlock(sent));
    const RobotNavStatus& s = view.status;
    EXPECT_EQ(FormatDifference(s, false), u"*-37 ");
    EXPECT_EQ(FormatSensor(s, 0), u"*10");
    EXPECT_EQ(FormatSensor(s, 6), u" 70");
    EXPECT_EQ(FormatSensor(s, 7), u"*-80");
    EXPECT_EQ(s.SensorKind(7), 3);
    EXPECT_EQ(s.SensorKind(0), 2);
    EXPECT_EQ(s.SensorKind(1), 0);
    s.differenceMarked ? void() : ADD_FAILURE();
    RobotNavStatus plain;
    plain.difference = 4;
    EXPECT_EQ(FormatDifference(plain, false), u" 4 ");
}

TEST(NavStatusText, HandlersEndWithTheirOwner) {
    FakeLink link;
    CNavProject map;
    RecordingView view;
    {
        CMapTransfer transfer(link, map, view);
        EXPECT_TRUE(link.dispatcher.HasHandler(msg::kMapChunk));
    }
    EXPECT_EQ(link.Receive(msg::kMapChunk, "x"), 0);
}

}  // namespace
}  // namespace velcora::nav
