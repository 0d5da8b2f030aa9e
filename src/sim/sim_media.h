// The robot's cameras, its microphone and its loudspeaker, simulated: each
// camera films a synthetic scene (a moving pattern, a bouncing square, the
// frame number and the robot's clock as a readable stamp) and streams it as
// MPEG-4 while the console keeps asking; the robot's microphone hears a tone
// sequence sent as MP2 blocks; the operator's microphone is decoded and can
// be kept in a wave file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/codec.h"
#include "media/video_frame.h"
#include "media/wav_file.h"
#include "sim/sim_robot.h"

namespace velcora::sim {

// A stream ends this long after the last request (requests come every 100 ms
// for video and every 180 ms for sound).
inline constexpr uint32_t kVideoIdleMs = 300;
inline constexpr uint32_t kSoundIdleMs = 500;
// The robot's microphone plays these tones in turn, each for kToneMs.
inline constexpr std::array<int32_t, 3> kTones = {440, 660, 880};
inline constexpr uint32_t kToneMs = 500;
inline constexpr int16_t kToneAmplitude = 12000;

// Draws camera `camera`'s picture number `frame` into `bgr` (resized to
// height x pitch), stamped with `clockMs`.
void RenderScene(std::vector<uint8_t>& bgr, int32_t width, int32_t height, int camera,
                 uint32_t frame, uint32_t clockMs);
// The overlay lines that go with a picture: the bouncing square's outline and
// a sweep from the centre.
std::vector<media::OverlayLine> SceneLines(int32_t width, int32_t height, uint32_t frame);
// Rangefinder readings (left, forward, right, in cm) at `ms` into the stream.
std::array<uint16_t, 3> SceneRanges(uint64_t ms);
// The tone the robot's microphone plays at sample `index` of its stream.
int32_t ToneAt(uint64_t index, int32_t rate);
// The nearest bit rate the MP2 encoder takes at `rate`.
int32_t NearestMp2BitRate(int32_t rate, int32_t bitRate);

struct SimCamera {
    bool streaming = false;
    int32_t bitRate = 0;
    uint32_t sinceRequest = 0;
    uint32_t due = 0;    // elapsed ms times the frame rate, towards the next picture
    uint32_t frame = 0;  // pictures filmed so far by this camera
    uint64_t streamMs = 0;
    media::CVideoEncoder encoder;
    std::vector<uint8_t> picture;
};

struct SimMedia {
    std::array<SimCamera, 4> cameras;
    uint64_t framesSent = 0;
    uint64_t cameraCommands = 0;

    bool soundOn = false;
    uint8_t soundCode = 0;  // as sent (a rate the codec lacks is replaced)
    uint8_t requestedCode = 0xFF;
    int32_t soundBitRate = 0;
    uint32_t sinceSoundRequest = 0;
    uint64_t soundMs = 0;
    uint64_t samplesMade = 0;
    int framesInBlock = 0;
    double phase = 0;
    media::CAudioEncoder sound;
    std::vector<media::Packet> soundPackets;
    uint64_t soundBlocksSent = 0;

    media::CAudioDecoder mic;
    std::unique_ptr<media::CWavFileOutput> micFile;
    uint64_t micBlocks = 0;
    uint64_t micSamples = 0;
};

}  // namespace velcora::sim
