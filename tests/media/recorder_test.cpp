#include "media/recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "media/audio_format.h"
#include "media/microphone_switch.h"
#include "media/pcm_feed_input.h"
#include "media/sound_settings.h"
#include "media/voice_changer.h"
#include "media_test_util.h"
#include "support/fake_link.h"

namespace velcora::media {
namespace {

// ------------------------------------------------------------ buffer sizes

TEST(Recorder, BufferSizesFollowTheRate) {
    struct {
        uint8_t code;
        int32_t bytes;
    } cases[] = {{0x00, 11520}, {0x01, 4608}, {0x02, 2304}, {0x03, 2304}, {0x04, 11520}};
    for (const auto& c : cases) {
        EXPECT_EQ(CaptureBufferSize(2304, 2, FormatRate(c.code)), c.bytes) << int(c.code);
    }
    // With the voice changer five encoder blocks make one unit.
    EXPECT_EQ(CaptureBufferSize(5 * 2304, 2, 44100), 11520);
    EXPECT_EQ(CaptureBufferSize(5 * 2304, 2, 8000), 11520);
    EXPECT_EQ(CaptureBufferSize(2304, 2, 0), 0);
    EXPECT_EQ(CaptureBufferSize(2304, 2, 96000000), 2304);
}

// Splits a microphone payload into its MP2 packets; false when malformed.
bool Chunks(const std::string& payload, uint8_t& code, std::vector<std::string>& packets) {
    if (payload.empty()) {
        return false;
    }
    code = static_cast<uint8_t>(payload[0]);
    size_t at = 1;
    while (at < payload.size()) {
        if (payload.size() - at < 4) {
            return false;
        }
        uint32_t n;
        std::memcpy(&n, payload.data() + at, 4);
        at += 4;
        if (n > payload.size() - at) {
            return false;
        }
        packets.push_back(payload.substr(at, n));
        at += n;
    }
    return true;
}

class RecorderTest : public testing::Test {
  protected:
    void Feed(const std::vector<int16_t>& pcm) {
        input.Feed(reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2);
    }
    CPcmFeedInput input;
    velcora::test::FakeLink link;
};

TEST_F(RecorderTest, PlainRecordingSendsOneMessagePerBuffer) {
    CRecorder recorder(input);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(recorder.Open(0x01, 64000));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Record ON at playrate 22050 16 bits\n");
    EXPECT_EQ(recorder.BufferSize(), 4608);
    EXPECT_EQ(input.QueuedBuffers(), 2u);
    const auto tone = testutil::Sine(22050, 500.0, 2304 * 3);
    Feed(tone);
    EXPECT_EQ(input.QueuedBuffers(), 2u);  // each full buffer was replaced
    ASSERT_TRUE(recorder.WaitProcessed(10000));
    recorder.SendPending(link);
    const auto sent = link.Of(msg::kMicrophoneBlock);
    ASSERT_EQ(sent.size(), 3u);
    CAudioDecoder dec;
    ASSERT_TRUE(dec.Open());
    for (const auto& m : sent) {
        uint8_t code = 0xFF;
        std::vector<std::string> packets;
        ASSERT_TRUE(Chunks(m.payload, code, packets));
        EXPECT_EQ(code, 0x01);
        EXPECT_EQ(packets.size(), 2u);
        for (const auto& p : packets) {
            EXPECT_EQ(dec.Decode(reinterpret_cast<const uint8_t*>(p.data()),
                                 static_cast<int32_t>(p.size())),
                      1);
        }
    }
    EXPECT_EQ(dec.SampleRate(), 22050);
    const auto pcm = dec.TakePcm();
    ASSERT_EQ(pcm.size(), 3u * 4608);
    EXPECT_NEAR(testutil::ZeroCrossingHz(reinterpret_cast<const int16_t*>(pcm.data()) + 1000,
                                         pcm.size() / 2 - 1000, 22050),
                500.0, 15.0);
    // Sent buffers are gone; nothing is sent twice.
    recorder.SendPending(link);
    EXPECT_EQ(link.Of(msg::kMicrophoneBlock).size(), 3u);
    testing::internal::CaptureStdout();
    recorder.Close();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Record OFF\n");
    EXPECT_FALSE(input.IsOpen());
}

TEST_F(RecorderTest, EightBitIsRefusedAndTheDeviceReleased) {
    CRecorder recorder(input);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(recorder.Open(0x40, 64000));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Encoder does not support sample format"),
              std::string::npos);
    EXPECT_FALSE(recorder.IsOpen());
    EXPECT_FALSE(input.IsOpen());
    input.refuseOpen = true;
    EXPECT_FALSE(recorder.Open(0x00, 64000));
    input.refuseOpen = false;
    EXPECT_TRUE(recorder.Open(0x00, 64000));
}

TEST_F(RecorderTest, VoiceChangerToggleReopensWithLongerBuffers) {
    RecorderSettings settings;
    settings.audioMinLevel = 100;
    settings.speechSpeed = 100;
    CRecorder recorder(input, settings);
    ASSERT_TRUE(recorder.Open(0x01, 64000));
    EXPECT_EQ(recorder.BufferSize(), 4608);
    ASSERT_TRUE(recorder.SetVoiceChanger(true));
    EXPECT_TRUE(recorder.IsOpen());
    EXPECT_EQ(recorder.BufferSize(), 5 * 2304);
    // A loud buffer goes into the utterance; a quiet one ends it: one message
    // with both buffers' length at speed 100.
    Feed(testutil::Sine(22050, 300.0, 5760, 6000));
    Feed(std::vector<int16_t>(5760, 10));
    ASSERT_TRUE(recorder.WaitProcessed(10000));
    recorder.SendPending(link);
    const auto sent = link.Of(msg::kMicrophoneBlock);
    ASSERT_EQ(sent.size(), 1u);
    uint8_t code = 0;
    std::vector<std::string> packets;
    ASSERT_TRUE(Chunks(sent[0].payload, code, packets));
    EXPECT_EQ(packets.size(), 10u);
    ASSERT_TRUE(recorder.SetVoiceChanger(false));
    EXPECT_EQ(recorder.BufferSize(), 4608);
}

// ------------------------------------------------------------ voice changer

std::vector<int16_t> Level(int level, size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<int16_t>(i % 2 ? level : -level);
    }
    return s;
}

TEST(VoiceChanger, LearnsTheGateOnTheThirdBuffer) {
    CVoiceChanger vc(-1, 130);
    std::vector<int16_t> out;
    auto b = Level(1000, 1000);
    EXPECT_FALSE(vc.Process(b.data(), b.size(), out));
    b = Level(1000, 1000);
    EXPECT_FALSE(vc.Process(b.data(), b.size(), out));
    EXPECT_EQ(vc.Threshold(), -1);
    // The third sets T = 1.5 x its level and, being below T, ends the
    // utterance of all three buffers.
    b = Level(1000, 1000);
    EXPECT_TRUE(vc.Process(b.data(), b.size(), out));
    EXPECT_EQ(vc.Threshold(), 1500);
    EXPECT_EQ(out.size(), 3000u * 100 / 130);
    // Loud speech runs on; a buffer below two thirds of T is silenced and,
    // being below T, ends the utterance.
    b = Level(3000, 1000);
    EXPECT_FALSE(vc.Process(b.data(), b.size(), out));
    b = Level(900, 1000);
    EXPECT_TRUE(vc.Process(b.data(), b.size(), out));
    EXPECT_EQ(b, std::vector<int16_t>(1000, 0));
    ASSERT_EQ(out.size(), 2000u * 100 / 130);
    EXPECT_EQ(std::abs(out[0]), 3000);
    EXPECT_EQ(out.back(), 0);
    // Between two thirds of T and T: kept, but it still ends the utterance.
    b = Level(1200, 1000);
    EXPECT_TRUE(vc.Process(b.data(), b.size(), out));
    EXPECT_EQ(std::abs(out[5]), 1200);
}

TEST(VoiceChanger, SpeedHundredKeepsTheRecording) {
    CVoiceChanger vc(500, 100);
    std::vector<int16_t> out;
    auto loud = testutil::Sine(8000, 440, 800, 9000);
    const auto original = loud;
    EXPECT_FALSE(vc.Process(loud.data(), loud.size(), out));
    auto quiet = Level(400, 800);
    EXPECT_TRUE(vc.Process(quiet.data(), quiet.size(), out));
    ASSERT_EQ(out.size(), 1600u);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), out.begin()));
    EXPECT_EQ(out[1000], 400 * ((1000 % 2) ? 1 : -1));
}

TEST(VoiceChanger, SlowSpeedsStayInsideTheInput) {
    for (int speed : {-5, 0, 1, 25, 33, 99, 101, 400, 5000}) {
        CVoiceChanger vc(10, speed);
        std::vector<int16_t> out;
        auto loud = Level(5000, 777);
        vc.Process(loud.data(), loud.size(), out);
        auto quiet = Level(1, 333);
        ASSERT_TRUE(vc.Process(quiet.data(), quiet.size(), out)) << speed;
        EXPECT_EQ(out.size(), 1110u * 100 / vc.SpeechSpeed()) << speed;
        EXPECT_EQ(std::abs(out.front()), 5000);
        EXPECT_EQ(out.back(), 0);  // silenced by the gate
    }
}

TEST(VoiceChanger, UtteranceThatNeverPausesIsCutAtTheCap) {
    CVoiceChanger vc(10, 100);
    std::vector<int16_t> out;
    auto b = Level(2000, 100000);  // 200000 bytes a buffer
    for (int i = 0; i < 25; ++i) {
        auto copy = b;
        ASSERT_FALSE(vc.Process(copy.data(), copy.size(), out)) << i;
    }
    EXPECT_EQ(vc.Accumulated() * 2, 5000000u);
    EXPECT_TRUE(vc.Process(b.data(), b.size(), out));
    EXPECT_EQ(out.size(), 2600000u);
    EXPECT_EQ(vc.Accumulated(), 0u);
}

// ------------------------------------------------------------ settings dialog

TEST(SoundSettings, ShowsAndStoresTheValues) {
    CSoundSettingsModel in(SoundDirection::kIncoming, {"Mic A", "Mic B"}, {1, 0x41, 64000});
    EXPECT_EQ(in.Title(), "Настройка входящего звука");
    EXPECT_EQ(in.DeviceEntries(), (std::vector<std::string>{"По умолчанию", "Mic A", "Mic B"}));
    EXPECT_EQ(in.DeviceIndex(), 2);
    EXPECT_EQ(in.RateIndex(), 1);
    EXPECT_EQ(in.BitsIndex(), 1);
    EXPECT_EQ(in.BitRateIndex(), 3);
    EXPECT_EQ(in.Accept(), (SoundSettingsValues{1, 0x41, 64000}));

    CSoundSettingsModel out(SoundDirection::kOutgoing, {}, {7, 0x04, 50000});
    EXPECT_EQ(out.Title(), "Настройка исходящего звука");
    EXPECT_EQ(out.DeviceIndex(), -1);  // a device that is gone
    EXPECT_EQ(out.RateIndex(), 0);     // bit 2 alone is 44100 Hz
    EXPECT_EQ(out.BitRateIndex(), -1);
    // Nothing selected keeps the stored value.
    EXPECT_EQ(out.Accept(), (SoundSettingsValues{7, 0x00, 50000}));
    out.SelectDevice(0);
    out.SelectRate(3);
    out.SelectBits(1);
    out.SelectBitRate(4);
    EXPECT_EQ(out.Accept(), (SoundSettingsValues{-1, 0x43, 128000}));
    out.SelectBitRate(9);
    EXPECT_EQ(out.BitRateIndex(), -1);
    EXPECT_EQ(out.RateEntries(), (std::vector<std::string>{"44100", "22050", "11025", "8000"}));
    EXPECT_EQ(out.BitRateEntries().back(), "128");
    EXPECT_FALSE(SoundSettingsOffered(true));
}

}  // namespace
}  // namespace velcora::media

namespace velcora::media {
namespace {

TEST(Microphone, RecordsThroughTheSoundCardDriver) {
    // SDL's dummy driver records silence in real time.
    platform::AudioInput input;
    CRecorder recorder(input);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(recorder.Open(0x01, 32000));
    velcora::test::FakeLink link;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (link.Of(msg::kMicrophoneBlock).size() < 2 && std::chrono::steady_clock::now() < until) {
        recorder.SendPending(link);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    recorder.Close();
    testing::internal::GetCapturedStdout();
    const auto sent = link.Of(msg::kMicrophoneBlock);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].payload[0], '\x01');
    EXPECT_FALSE(input.IsOpen());
}

}  // namespace
}  // namespace velcora::media

namespace velcora::media {
namespace {

TEST(MicrophoneSwitch, ButtonShiftAndVoiceChanger) {
    CPcmFeedInput input;
    CRecorder recorder(input);
    CMicrophoneSwitch mic(recorder);
    testing::internal::CaptureStdout();
    // 8 bits: the recorder refuses and the button springs back.
    mic.SetFormat(0x40, 64000);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(mic.PressButton());
    testing::internal::GetCapturedStderr();
    mic.SetFormat(0x00, 64000);
    EXPECT_TRUE(mic.PressButton());
    EXPECT_TRUE(recorder.IsOpen());
    // Shift while the button is down changes nothing until it is released,
    // which switches the microphone off.
    EXPECT_TRUE(mic.ShiftDown(false));
    EXPECT_TRUE(recorder.IsOpen());
    EXPECT_FALSE(mic.ShiftUp());
    EXPECT_FALSE(recorder.IsOpen());
    // Push-to-talk; Ctrl held makes Shift no key at all.
    EXPECT_FALSE(mic.ShiftDown(true));
    EXPECT_FALSE(mic.ShiftUp());
    EXPECT_TRUE(mic.ShiftDown(false));
    EXPECT_TRUE(mic.ShiftDown(false));  // repeat
    EXPECT_TRUE(recorder.IsOpen());
    EXPECT_FALSE(mic.ShiftUp());
    EXPECT_FALSE(recorder.IsOpen());
    // Toggling the voice changer while recording reopens; a failed reopen
    // releases the button.
    EXPECT_TRUE(mic.PressButton());
    EXPECT_TRUE(mic.SetVoiceChanger(true));
    EXPECT_TRUE(recorder.IsOpen());
    EXPECT_TRUE(recorder.VoiceChanger());
    input.refuseOpen = true;
    EXPECT_FALSE(mic.SetVoiceChanger(false));
    EXPECT_FALSE(recorder.IsOpen());
    testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace velcora::media
