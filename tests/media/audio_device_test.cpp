// The SDL devices behind the player and the recorder, through SDL's own
// drivers: "disk" writes what is played to a file, "dummy" records silence.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_input.h"
#include "platform/audio_output.h"

namespace velcora::platform {
namespace {

// Selects an SDL audio driver for one test and restores the previous one.
class DriverScope {
  public:
    DriverScope(const char* driver, const std::string& file) {
        const char* old = std::getenv("SDL_AUDIODRIVER");
        old_ = old ? old : "";
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "1", 1);
    }
    ~DriverScope() { setenv("SDL_AUDIODRIVER", old_.c_str(), 1); }

  private:
    std::string old_;
};

TEST(AudioOutputDevice, PlaysBuffersInOrderThenSilence) {
    const std::string file = testing::TempDir() + "/velcora_disk_audio.raw";
    DriverScope scope("disk", file);
    std::mutex m;
    std::condition_variable cv;
    std::vector<uintptr_t> done;
    AudioOutput out;
    ASSERT_TRUE(out.Open(8000, 8, [&](uintptr_t tag) {
        std::lock_guard<std::mutex> lock(m);
        done.push_back(tag);
        cv.notify_all();
    }));
    const std::vector<uint8_t> first(800, 0x11), second(800, 0x22);
    ASSERT_TRUE(out.Write(first.data(), 800, 1));
    ASSERT_TRUE(out.Write(second.data(), 800, 2));
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return done.size() == 2; }));
        EXPECT_EQ(done, (std::vector<uintptr_t>{1, 2}));
    }
    // Nothing more to play: the device keeps running on silence.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<uint8_t> bytes;
    while (bytes.size() < 4000 && std::chrono::steady_clock::now() < until) {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    out.Close();
    ASSERT_GE(bytes.size(), 1600u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 800), first);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 800, bytes.begin() + 1600), second);
    for (size_t i = 1600; i < bytes.size(); ++i) {
        ASSERT_EQ(bytes[i], 0x80) << i;  // unsigned 8-bit silence
    }
}

TEST(AudioOutputDevice, ResetGivesEveryBufferBack) {
    DriverScope scope("dummy", "");
    std::vector<uintptr_t> done;
    std::mutex m;
    AudioOutput out;
    ASSERT_TRUE(out.Open(44100, 16, [&](uintptr_t tag) {
        std::lock_guard<std::mutex> lock(m);
        done.push_back(tag);
    }));
    // Ten seconds of sound: Reset must not wait for it to play.
    std::vector<uint8_t> pcm(44100 * 2 * 10);
    ASSERT_TRUE(out.Write(pcm.data(), static_cast<int32_t>(pcm.size()), 7));
    ASSERT_TRUE(out.Write(pcm.data(), 100, 8));
    out.Reset();
    {
        std::lock_guard<std::mutex> lock(m);
        EXPECT_EQ(done, (std::vector<uintptr_t>{7, 8}));
    }
    out.Close();
    EXPECT_FALSE(out.IsOpen());
    EXPECT_FALSE(out.Write(pcm.data(), 100, 9));
    EXPECT_FALSE(out.Open(44100, 24, nullptr));
}

TEST(AudioInputDevice, FillsQueuedBuffersInOrderAndResetReturnsTheRest) {
    DriverScope scope("dummy", "");
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<uintptr_t, int32_t>> done;
    AudioInput in;
    ASSERT_TRUE(in.Open(-1, 8000, 16, [&](uintptr_t tag, int32_t n) {
        std::lock_guard<std::mutex> lock(m);
        done.push_back({tag, n});
        cv.notify_all();
    }));
    std::vector<uint8_t> a(1600, 0xEE), b(1600, 0xEE), c(8000000, 0xEE);
    ASSERT_TRUE(in.AddBuffer(a.data(), 1600, 1));
    ASSERT_TRUE(in.AddBuffer(b.data(), 1600, 2));
    ASSERT_TRUE(in.AddBuffer(c.data(), static_cast<int32_t>(c.size()), 3));
    ASSERT_TRUE(in.Start());
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return done.size() >= 2; }));
    }
    in.Reset();
    in.Close();
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0], (std::pair<uintptr_t, int32_t>{1, 1600}));
    EXPECT_EQ(done[1], (std::pair<uintptr_t, int32_t>{2, 1600}));
    EXPECT_EQ(done[2].first, 3u);
    EXPECT_LT(done[2].second, static_cast<int32_t>(c.size()));
    EXPECT_EQ(a, std::vector<uint8_t>(1600, 0));   // the dummy driver records silence
    EXPECT_FALSE(in.Open(99, 8000, 16, nullptr));  // no such device
}

}  // namespace
}  // namespace velcora::platform
