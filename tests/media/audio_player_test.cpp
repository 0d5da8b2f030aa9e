#include "media/audio_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "media/audio_format.h"
#include "media/sound_block.h"
#include "media/wav_file.h"
#include "media_test_util.h"
#include "platform/audio_output.h"
#include "support/fake_link.h"

namespace velcora::media {
namespace {

// An output device whose buffers are played when the test says so.
class ScriptedOutput : public platform::IAudioOutput {
  public:
    bool Open(int32_t rate, int32_t bits, Completion done) override {
        if (refuseOpen) {
            return false;
        }
        opens.push_back({rate, bits});
        done_ = std::move(done);
        open_ = true;
        return true;
    }
    bool Write(const uint8_t*, int32_t size, uintptr_t tag) override {
        if (failWrite) {
            return false;
        }
        writes.push_back(size);
        pending_.push_back(tag);
        return true;
    }
    void Reset() override { Complete(pending_.size()); }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

    void Complete(size_t n) {
        for (size_t i = 0; i < n && !pending_.empty(); ++i) {
            done_(pending_.front());
            pending_.pop_front();
        }
    }

    std::vector<std::pair<int32_t, int32_t>> opens;
    std::vector<int32_t> writes;
    bool refuseOpen = false;
    bool failWrite = false;

  private:
    Completion done_;
    std::deque<uintptr_t> pending_;
    bool open_ = false;
};

std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) {
        s[i] = static_cast<char>(v >> (8 * i));
    }
    return s;
}

// A sound block of `packets` MP2 packets in the given format.
std::string Block(uint8_t code, int packets, double hz = 440.0) {
    return MakeSoundBlock(code, testutil::EncodeTone(FormatRate(code), hz, packets));
}

TEST(AudioFormat, Codes) {
    struct {
        uint8_t code;
        int rate, bits;
    } cases[] = {{0x00, 44100, 16}, {0x01, 22050, 16}, {0x02, 11025, 16}, {0x03, 8000, 16},
                 {0x04, 44100, 16}, {0x07, 44100, 16}, {0x40, 44100, 8},  {0x43, 8000, 8},
                 {0x88, 44100, 16}, {0xFF, 44100, 8}};
    for (const auto& c : cases) {
        EXPECT_EQ(FormatRate(c.code), c.rate) << int(c.code);
        EXPECT_EQ(FormatBits(c.code), c.bits) << int(c.code);
    }
    EXPECT_EQ(MakeFormatCode(3, true), 0x43);
}

class PlayerTest : public testing::Test {
  protected:
    void Decode() { ASSERT_TRUE(player.WaitDecoded(10000)); }
    ScriptedOutput device;
    CAudioPlayer player{device};
};

TEST_F(PlayerTest, FormatChangeReopensAtTheNextTickAndOrderHolds) {
    ASSERT_TRUE(player.AddBlock(Block(0x00, 1)));
    EXPECT_FALSE(player.DeviceOpen());
    EXPECT_EQ(player.PendingFormat(), 0x00);
    player.Tick(20);
    ASSERT_TRUE(player.DeviceOpen());
    EXPECT_EQ(player.PendingFormat(), CAudioPlayer::kNoPending);
    ASSERT_TRUE(player.AddBlock(Block(0x00, 2)));
    ASSERT_TRUE(player.AddBlock(Block(0x00, 3)));
    Decode();
    player.Tick(20);
    // Two in the device, in arrival order; the third waits.
    EXPECT_EQ(device.writes, (std::vector<int32_t>{2304, 4608}));
    EXPECT_EQ(player.InDevice(), 2);
    player.Tick(20);
    EXPECT_EQ(device.writes.size(), 2u);
    device.Complete(1);
    player.Tick(20);
    EXPECT_EQ(device.writes, (std::vector<int32_t>{2304, 4608, 6912}));
    EXPECT_EQ(player.BlockCount(), 2);
    // Same format again: nothing pending.
    ASSERT_TRUE(player.AddBlock(Block(0x00, 1)));
    EXPECT_EQ(player.PendingFormat(), CAudioPlayer::kNoPending);
    // 22050 Hz: reopened at the next tick, the queued block plays there.
    ASSERT_TRUE(player.AddBlock(Block(0x01, 2)));
    EXPECT_EQ(player.PendingFormat(), 0x01);
    Decode();
    player.Tick(20);
    ASSERT_EQ(device.opens.size(), 2u);
    EXPECT_EQ(device.opens[1], (std::pair<int32_t, int32_t>{22050, 16}));
    EXPECT_EQ(player.CurrentFormat(), 0x01);
    EXPECT_EQ(player.InDevice(), 0);
    player.Tick(20);
    EXPECT_EQ(player.InDevice(), 2);
    EXPECT_EQ(device.writes.back(), 4608);
}

TEST_F(PlayerTest, ChunkPastThePayloadStopsDecodingThere) {
    std::string payload = Block(0x00, 2);
    payload += Le32(1000000) + "tail";
    ASSERT_TRUE(player.AddBlock(payload));
    // A block whose only chunk runs past its end plays as nothing.
    ASSERT_TRUE(player.AddBlock(std::string(1, '\0') + Le32(100) + "abcdef"));
    player.Tick(20);
    Decode();
    player.Tick(20);
    // Nothing is handed to the device for the empty block; it is done.
    EXPECT_EQ(device.writes, (std::vector<int32_t>{2 * 2304}));
    device.Complete(1);
    player.Tick(20);
    EXPECT_EQ(player.BlockCount(), 0);
}

TEST_F(PlayerTest, NinthBlockBeforeATickIsDroppedAndShortOnesRefused) {
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(player.AddBlock(Block(0x00, 1))) << i;
    }
    EXPECT_FALSE(player.Accepting());
    EXPECT_FALSE(player.AddBlock(Block(0x00, 1)));
    EXPECT_EQ(player.BlockCount(), 8);
    EXPECT_FALSE(player.AddBlock(std::string(5, '\0')));
}

TEST_F(PlayerTest, ReleasedAfterTwoSecondsWithoutBlocks) {
    ASSERT_TRUE(player.AddBlock(Block(0x00, 1)));
    player.Tick(20);
    ASSERT_TRUE(player.DeviceOpen());
    Decode();
    for (int i = 0; i < 99; ++i) {
        player.Tick(20);
        device.Complete(2);
    }
    EXPECT_TRUE(player.DeviceOpen());
    player.Tick(20);
    EXPECT_FALSE(player.DeviceOpen());
    EXPECT_EQ(player.BlockCount(), 0);
    // The next block opens it again.
    ASSERT_TRUE(player.AddBlock(Block(0x00, 1)));
    player.Tick(20);
    EXPECT_TRUE(player.DeviceOpen());
    EXPECT_EQ(device.opens.size(), 2u);
}

TEST_F(PlayerTest, EightBitCodeGetsConvertedSamples) {
    ASSERT_TRUE(player.AddBlock(Block(0x40, 2)));
    player.Tick(20);
    ASSERT_EQ(device.opens.size(), 1u);
    EXPECT_EQ(device.opens[0], (std::pair<int32_t, int32_t>{44100, 8}));
    Decode();
    player.Tick(20);
    EXPECT_EQ(device.writes, (std::vector<int32_t>{2 * 1152}));
}

TEST_F(PlayerTest, DeviceFailureClosesAndTheNextBlockReopens) {
    ASSERT_TRUE(player.AddBlock(Block(0x00, 1)));
    player.Tick(20);
    Decode();
    device.failWrite = true;
    player.Tick(20);
    EXPECT_FALSE(player.DeviceOpen());
    EXPECT_EQ(player.BlockCount(), 0);
    device.failWrite = false;
    ASSERT_TRUE(player.AddBlock(Block(0x00, 1)));
    player.Tick(20);
    EXPECT_TRUE(player.DeviceOpen());
}

TEST_F(PlayerTest, RefusedDeviceIsTriedAgainOnlyAfterAPause) {
    device.refuseOpen = true;
    ASSERT_TRUE(player.AddBlock(Block(0x00, 1)));
    player.Tick(20);
    EXPECT_FALSE(player.DeviceOpen());
    device.refuseOpen = false;
    for (int t = 0; t < CAudioPlayer::kOpenRetryMs - 40; t += 20) {
        player.Tick(20);
    }
    EXPECT_FALSE(player.DeviceOpen());  // still waiting, the format still pending
    EXPECT_EQ(player.PendingFormat(), 0x00);
    player.Tick(20);
    player.Tick(20);
    EXPECT_TRUE(player.DeviceOpen());
}

TEST(RobotSound, RequestsEvery180MsAndFeedsThePlayer) {
    velcora::test::FakeLink link;
    ScriptedOutput device;
    CAudioPlayer player(device);
    CRobotSoundControl control(link, player);
    control.SetRequest(0x41, 32000);
    control.Tick(20);
    EXPECT_TRUE(link.sent.empty());
    control.SetEnabled(true);
    for (int i = 0; i < 19; ++i) {
        control.Tick(20);
    }
    const auto sent = link.Of(msg::kSoundRequest);
    ASSERT_EQ(sent.size(), 3u);  // ticks 1, 10 and 19
    EXPECT_EQ(sent[0].payload, std::string("\x41") + Le32(32000));
    link.Receive(msg::kSoundBlock, std::string(5, '\0'));
    EXPECT_EQ(player.BlockCount(), 0);
    for (int i = 0; i < 9; ++i) {
        link.Receive(msg::kSoundBlock, Block(0x00, 1));
    }
    EXPECT_EQ(player.BlockCount(), 8);
}

TEST(RobotSound, PlaysThroughTheSoundCardDriver) {
    // The test environment selects SDL's dummy driver, which consumes audio
    // in real time without hardware.
    platform::AudioOutput device;
    CAudioPlayer player(device);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(player.AddBlock(Block(0x01, 1)));
    }
    player.Tick(20);
    ASSERT_TRUE(player.DeviceOpen());
    ASSERT_TRUE(player.WaitDecoded(10000));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (player.BlockCount() > 0 && std::chrono::steady_clock::now() < until) {
        player.Tick(20);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(player.BlockCount(), 0);
    player.Close();
    EXPECT_FALSE(player.DeviceOpen());
}

// A block that decodes to nothing between two good ones: the sound card's
// callback never copies from an empty buffer (the sanitizer would halt here).
TEST(RobotSound, EmptyBlockThroughTheSoundCardDriver) {
    platform::AudioOutput device;
    CAudioPlayer player(device);
    ASSERT_TRUE(player.AddBlock(Block(0x00, 1)));
    ASSERT_TRUE(player.AddBlock(std::string("\x00\x01\x00\x00\x00\x07", 6)));
    ASSERT_TRUE(player.AddBlock(Block(0x00, 1)));
    player.Tick(20);
    ASSERT_TRUE(player.WaitDecoded(10000));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (player.BlockCount() > 0 && std::chrono::steady_clock::now() < until) {
        player.Tick(20);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(player.BlockCount(), 0);
    player.Close();
}

// The device itself plays an empty buffer as done, without touching it.
TEST(RobotSound, EmptyBufferIsPlayedAsDone) {
    platform::AudioOutput device;
    std::vector<uintptr_t> done;
    std::mutex m;
    ASSERT_TRUE(device.Open(44100, 16, [&](uintptr_t tag) {
        std::lock_guard<std::mutex> lock(m);
        done.push_back(tag);
    }));
    ASSERT_TRUE(device.Write(nullptr, 0, 7));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m);
            if (!done.empty() || std::chrono::steady_clock::now() > until)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    device.Close();
    EXPECT_EQ(done, (std::vector<uintptr_t>{7}));
}

TEST(RobotSound, WaveFileOutputRecordsTheTone) {
    const std::string path = testing::TempDir() + "/player_tone.wav";
    {
        CWavFileOutput wav(path);
        CAudioPlayer player(wav);
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(player.AddBlock(Block(0x01, 5, 1000.0)));
            player.Tick(20);
            ASSERT_TRUE(player.WaitDecoded(10000));
            player.Tick(20);
        }
        player.Close();
        EXPECT_EQ(wav.DataBytes(), 4 * 5 * 2304);
        EXPECT_TRUE(wav.Finish());
    }
    WavData data;
    ASSERT_TRUE(ReadWavFile(path, data));
    EXPECT_EQ(data.rate, 22050);
    EXPECT_EQ(data.bits, 16);
    EXPECT_EQ(data.channels, 1);
    const auto mono = ToMono16(data);
    ASSERT_EQ(mono.size(), 4u * 5 * 1152);
    EXPECT_NEAR(testutil::ZeroCrossingHz(mono.data() + 2000, mono.size() - 2000, 22050), 1000.0,
                30.0);
}

}  // namespace
}  // namespace velcora::media
