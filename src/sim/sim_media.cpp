#include "sim/sim_media.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "media/audio_format.h"
#include "media/audio_player.h"
#include "media/color_convert.h"
#include "media/frame_stamp.h"
#include "media/sound_block.h"
#include "sim/sim_features.h"

namespace velcora::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kMinVideoBitRate = 10000;
constexpr int32_t kMaxVideoBitRate = 20000000;
constexpr int32_t kMp2FrameSamples = 1152;
// Sound goes out in blocks of about this many milliseconds.
constexpr int32_t kSoundBlockMs = 100;

struct Colour {
    uint8_t b, g, r;
};

constexpr Colour kPalette[6] = {{40, 40, 200},  {40, 180, 220}, {60, 200, 60},
                                {200, 180, 40}, {200, 60, 60},  {180, 60, 180}};

// 0 .. span and back, one step per unit of `t`.
int32_t Triangle(uint32_t t, int32_t span) {
    if (span <= 0) {
        return 0;
    }
    const uint32_t period = 2 * static_cast<uint32_t>(span);
    const uint32_t p = t % period;
    return static_cast<int32_t>(p <= static_cast<uint32_t>(span) ? p : period - p);
}

struct Square {
    int32_t x, y, size;
};

Square SquareAt(int32_t width, int32_t height, uint32_t frame) {
    const int32_t size = std::max(8, height / 5);
    return {Triangle(frame * 4, width - size), Triangle(frame * 3, height - size), size};
}

void PutU16(CStream& s, uint16_t v) {
    WriteU16(s, v);
}

void StopCamera(CSimRobot& robot, int index, SimCamera& c) {
    c.encoder.Close();
    c.streaming = false;
    robot.Log("camera %d: stream stopped", index);
}

void SendPicture(CSimRobot& robot, SimMedia& m, int index, SimCamera& c) {
    const int32_t w = robot.Options().videoWidth;
    const int32_t h = robot.Options().videoHeight;
    const uint32_t frame = c.frame++;
    RenderScene(c.picture, w, h, index, frame, media::WallClockMsOfDay());
    std::vector<media::Packet> packets;
    if (c.encoder.Encode(c.picture.data(), w, h, media::BgrPitch(w), packets) < 0) {
        return;
    }
    const auto ranges = SceneRanges(c.streamMs);
    const auto lines = SceneLines(w, h, frame);
    // Camera 0 sends ranges and lines, camera 1 ranges, the others the plain
    // picture: every form of the message is in use.
    const msg::Type type = index == 0   ? msg::kVideoFrameRangesLines
                           : index == 1 ? msg::kVideoFrameRanges
                                        : msg::kVideoFrame;
    for (const media::Packet& p : packets) {
        CStream& s = robot.BeginFrame(type);
        WriteU8(s, static_cast<uint8_t>(index));
        PutU16(s, static_cast<uint16_t>(w));
        PutU16(s, static_cast<uint16_t>(h));
        if (type != msg::kVideoFrame) {
            for (uint16_t r : ranges) {
                PutU16(s, r);
            }
        }
        if (type == msg::kVideoFrameRangesLines) {
            WriteI32(s, static_cast<int32_t>(p.size()));
        }
        s.Write(p.data(), static_cast<int32_t>(p.size()));
        if (type == msg::kVideoFrameRangesLines) {
            WriteU16(s, static_cast<uint16_t>(lines.size()));
            for (const auto& l : lines) {
                WriteI32(s, l.x1);
                WriteI32(s, l.y1);
                WriteI32(s, l.x2);
                WriteI32(s, l.y2);
            }
        }
        if (robot.EndFrame()) {
            ++m.framesSent;
        }
    }
}

void OnVideoRequest(CSimRobot& robot, CStream& payload, int32_t length) {
    if (length < 5) {
        return;
    }
    const uint8_t camera = ReadU8(payload);
    const int32_t bitRate = std::clamp(ReadI32(payload), kMinVideoBitRate, kMaxVideoBitRate);
    SimMedia& m = robot.Feature<SimMedia>();
    if (camera >= m.cameras.size()) {
        robot.Log("video request for camera %u: no such camera", camera);
        return;
    }
    SimCamera& c = m.cameras[camera];
    c.sinceRequest = 0;
    if (c.streaming && c.bitRate == bitRate) {
        return;
    }
    // A new stream (or a new bit rate) starts with a key frame.
    if (!c.encoder.Open(robot.Options().videoWidth, robot.Options().videoHeight,
                        robot.Options().videoFps, bitRate, robot.Options().videoBFrames)) {
        robot.Log("camera %u: the encoder refused %d bit/s", camera, bitRate);
        c.streaming = false;
        return;
    }
    if (!c.streaming) {
        c.due = 1000;  // the first picture goes out at once
        c.streamMs = 0;
    }
    c.streaming = true;
    c.bitRate = bitRate;
    robot.Log("camera %u: streaming %dx%d at %d bit/s", camera, robot.Options().videoWidth,
              robot.Options().videoHeight, bitRate);
}

void TickVideo(CSimRobot& robot, uint32_t elapsedMs) {
    SimMedia& m = robot.Feature<SimMedia>();
    const uint32_t fps = static_cast<uint32_t>(std::max(1, robot.Options().videoFps));
    for (size_t i = 0; i < m.cameras.size(); ++i) {
        SimCamera& c = m.cameras[i];
        if (!c.streaming) {
            continue;
        }
        c.sinceRequest += elapsedMs;
        if (c.sinceRequest > kVideoIdleMs || !robot.Authorised()) {
            StopCamera(robot, static_cast<int>(i), c);
            continue;
        }
        c.streamMs += elapsedMs;
        c.due += elapsedMs * fps;
        if (c.due < 1000) {
            continue;
        }
        // One picture per tick at most: after a stall the camera skips
        // pictures instead of sending a burst.
        c.due = c.due >= 2000 ? 0 : c.due - 1000;
        SendPicture(robot, m, static_cast<int>(i), c);
    }
}

bool OpenSound(CSimRobot& robot, SimMedia& m, uint8_t code, int32_t bitRate) {
    // The codec has no 11025 and 8000 Hz: those requests get 22050 Hz, and the
    // blocks say so.
    uint8_t sent = code;
    const int32_t asked = media::FormatRate(code);
    if (asked == 11025 || asked == 8000) {
        sent = static_cast<uint8_t>((code & ~0x07) | 0x01);
    }
    const int32_t rate = media::FormatRate(sent);
    const int32_t rateBits = NearestMp2BitRate(rate, bitRate);
    if (!m.sound.Open(rate, 16, rateBits)) {
        robot.Log("sound: the encoder refused %d Hz at %d bit/s", rate, rateBits);
        return false;
    }
    m.soundCode = sent;
    m.requestedCode = code;
    m.soundBitRate = bitRate;
    m.soundMs = 0;
    m.samplesMade = 0;
    m.framesInBlock = 0;
    m.phase = 0;
    m.soundPackets.clear();
    robot.Log("sound: streaming code %02x (%d Hz) at %d bit/s", sent, rate, rateBits);
    return true;
}

void OnSoundRequest(CSimRobot& robot, CStream& payload, int32_t length) {
    if (length < 5) {
        return;
    }
    const uint8_t code = ReadU8(payload);
    const int32_t bitRate = ReadI32(payload);
    SimMedia& m = robot.Feature<SimMedia>();
    m.sinceSoundRequest = 0;
    if (m.soundOn && code == m.requestedCode && bitRate == m.soundBitRate) {
        return;
    }
    m.soundOn = OpenSound(robot, m, code, bitRate);
}

void TickSound(CSimRobot& robot, uint32_t elapsedMs) {
    SimMedia& m = robot.Feature<SimMedia>();
    if (!m.soundOn) {
        return;
    }
    m.sinceSoundRequest += elapsedMs;
    if (m.sinceSoundRequest > kSoundIdleMs || !robot.Authorised()) {
        m.sound.Close();
        m.soundOn = false;
        m.requestedCode = 0xFF;
        robot.Log("sound: stream stopped");
        return;
    }
    const int32_t rate = media::FormatRate(m.soundCode);
    m.soundMs += elapsedMs;
    const uint64_t due = m.soundMs * static_cast<uint64_t>(rate) / 1000;
    // Far behind (the loop stalled): skip ahead rather than send a burst.
    if (due > m.samplesMade + static_cast<uint64_t>(rate)) {
        m.samplesMade = due - kMp2FrameSamples;
    }
    const int perBlock = (rate * kSoundBlockMs / 1000 + kMp2FrameSamples - 1) / kMp2FrameSamples;
    std::vector<int16_t> samples(kMp2FrameSamples);
    while (m.samplesMade + kMp2FrameSamples <= due) {
        for (int32_t i = 0; i < kMp2FrameSamples; ++i) {
            const int32_t tone = ToneAt(m.samplesMade + static_cast<uint64_t>(i), rate);
            samples[static_cast<size_t>(i)] =
                static_cast<int16_t>(std::lround(kToneAmplitude * std::sin(m.phase)));
            m.phase += 2 * kPi * tone / rate;
            if (m.phase > 2 * kPi) {
                m.phase -= 2 * kPi;
            }
        }
        m.samplesMade += kMp2FrameSamples;
        m.sound.Encode(reinterpret_cast<const uint8_t*>(samples.data()), m.soundPackets);
        ++m.framesInBlock;
    }
    if (m.framesInBlock >= perBlock && !m.soundPackets.empty()) {
        if (robot.Send(msg::kSoundBlock, media::MakeSoundBlock(m.soundCode, m.soundPackets))) {
            ++m.soundBlocksSent;
        }
        m.soundPackets.clear();
        m.framesInBlock = 0;
    }
}

void OnMicrophone(CSimRobot& robot, CStream& payload, int32_t length) {
    if (length < 6) {
        return;
    }
    const std::string bytes = ReadBytes(payload, length);
    SimMedia& m = robot.Feature<SimMedia>();
    if (!m.mic.IsOpen() && !m.mic.Open()) {
        return;
    }
    const auto pcm = media::DecodeSoundChunks(
        m.mic, reinterpret_cast<const uint8_t*>(bytes.data()) + 1, bytes.size() - 1);
    ++m.micBlocks;
    m.micSamples += pcm.size() / 2;
    const std::string& path = robot.Options().micOut;
    if (path.empty() || pcm.empty()) {
        return;
    }
    // The stream's own rate counts: the format code only says what was meant.
    const int32_t rate = m.mic.SampleRate() > 0 ? m.mic.SampleRate()
                                                : media::FormatRate(static_cast<uint8_t>(bytes[0]));
    if (!m.micFile) {
        m.micFile = std::make_unique<media::CWavFileOutput>(path);
    }
    // One file, one rate: sound at another rate is left out.
    if ((!m.micFile->IsOpen() && !m.micFile->Open(rate, 16, nullptr)) ||
        m.micFile->Rate() != rate) {
        robot.Log("microphone: cannot write %s at %d Hz", path.c_str(), rate);
        return;
    }
    m.micFile->Write(pcm.data(), static_cast<int32_t>(pcm.size()), 0);
}

}  // namespace

void RenderScene(std::vector<uint8_t>& bgr, int32_t width, int32_t height, int camera,
                 uint32_t frame, uint32_t clockMs) {
    const int32_t pitch = media::BgrPitch(width);
    bgr.resize(static_cast<size_t>(pitch) * static_cast<size_t>(height));
    // Diagonal colour bands that drift, in each camera's own direction: every
    // row is a shifted copy of one long line, so a picture costs little more
    // than copying it.
    constexpr int32_t kPeriod = 6 * 16;
    const int32_t drift = static_cast<int32_t>(frame % kPeriod) * (camera % 2 ? kPeriod - 2 : 2);
    std::vector<uint8_t> line(static_cast<size_t>(width + kPeriod) * 3);
    for (int32_t x = 0; x < width + kPeriod; ++x) {
        const Colour& c = kPalette[((x >> 4) + camera) % 6];
        line[3 * static_cast<size_t>(x)] = c.b;
        line[3 * static_cast<size_t>(x) + 1] = c.g;
        line[3 * static_cast<size_t>(x) + 2] = c.r;
    }
    for (int32_t y = 0; y < height; ++y) {
        const int32_t shift = (y / 2 + drift) % kPeriod;
        std::copy_n(line.data() + 3 * shift, 3 * static_cast<size_t>(width),
                    bgr.data() + static_cast<size_t>(y) * static_cast<size_t>(pitch));
    }
    const Square sq = SquareAt(width, height, frame);
    for (int32_t y = sq.y; y < sq.y + sq.size && y < height; ++y) {
        uint8_t* row = bgr.data() + static_cast<size_t>(y) * static_cast<size_t>(pitch);
        for (int32_t x = sq.x; x < sq.x + sq.size && x < width; ++x) {
            row[3 * x] = 60;
            row[3 * x + 1] = 230;
            row[3 * x + 2] = 250;
        }
    }
    media::DrawFrameStamp(bgr.data(), width, height, pitch, {frame, clockMs});
    // The camera's number in the bottom-left corner.
    const int32_t scale = std::max(1, media::FrameStampCell(width, height) / 8);
    const char digits[2] = {static_cast<char>('0' + camera % 10), 0};
    media::DrawDigits(bgr.data(), width, height, pitch, 2 * scale, height - 9 * scale, digits,
                      scale);
}

std::vector<media::OverlayLine> SceneLines(int32_t width, int32_t height, uint32_t frame) {
    const Square sq = SquareAt(width, height, frame);
    const int32_t x2 = sq.x + sq.size - 1;
    const int32_t y2 = sq.y + sq.size - 1;
    std::vector<media::OverlayLine> lines = {
        {sq.x, sq.y, x2, sq.y}, {x2, sq.y, x2, y2}, {x2, y2, sq.x, y2}, {sq.x, y2, sq.x, sq.y}};
    const double angle = frame * 0.1;
    const double radius = height / 3.0;
    lines.push_back({width / 2, height / 2,
                     width / 2 + static_cast<int32_t>(std::lround(radius * std::cos(angle))),
                     height / 2 + static_cast<int32_t>(std::lround(radius * std::sin(angle)))});
    return lines;
}

std::array<uint16_t, 3> SceneRanges(uint64_t ms) {
    const double t = static_cast<double>(ms) / 1000.0;
    return {static_cast<uint16_t>(std::lround(200 + 150 * std::sin(2 * kPi * t / 4))),
            static_cast<uint16_t>(std::lround(500 + 150 * std::sin(2 * kPi * t / 6))),
            static_cast<uint16_t>(std::lround(200 + 150 * std::cos(2 * kPi * t / 5)))};
}

int32_t ToneAt(uint64_t index, int32_t rate) {
    if (rate <= 0) {
        return kTones[0];
    }
    const uint64_t ms = index * 1000 / static_cast<uint64_t>(rate);
    return kTones[(ms / kToneMs) % kTones.size()];
}

int32_t NearestMp2BitRate(int32_t rate, int32_t bitRate) {
    // One channel: the full-rate table from 32 to 192 kbit/s, the half-rate
    // one from 8 to 160.
    static constexpr int32_t kFull[] = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192};
    static constexpr int32_t kHalf[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    const bool half = rate < 32000;
    const int32_t* begin = half ? std::begin(kHalf) : std::begin(kFull);
    const int32_t* end = half ? std::end(kHalf) : std::end(kFull);
    int32_t best = *begin;
    for (const int32_t* p = begin; p != end; ++p) {
        if (std::abs(*p * 1000LL - bitRate) < std::abs(best * 1000LL - bitRate)) {
            best = *p;
        }
    }
    return best * 1000;
}

void InstallMedia(CSimRobot& robot) {
    robot.On(msg::kVideoRequest,
             [&robot](CStream& s, int32_t length) { OnVideoRequest(robot, s, length); });
    robot.On(msg::kVideoCommand, [&robot](CStream& s, int32_t length) {
        if (length < 1) {
            return;
        }
        // The camera command restarts that camera's stream with a key frame.
        const uint8_t camera = ReadU8(s);
        SimMedia& m = robot.Feature<SimMedia>();
        ++m.cameraCommands;
        robot.Log("camera command for camera %u", camera);
        if (camera < m.cameras.size() && m.cameras[camera].streaming) {
            m.cameras[camera].streaming = false;
            m.cameras[camera].bitRate = 0;
            m.cameras[camera].sinceRequest = 0;
        }
    });
    robot.On(msg::kSoundRequest,
             [&robot](CStream& s, int32_t length) { OnSoundRequest(robot, s, length); });
    robot.On(msg::kMicrophoneBlock,
             [&robot](CStream& s, int32_t length) { OnMicrophone(robot, s, length); });
    robot.OnTick([&robot](uint32_t elapsedMs) {
        TickVideo(robot, elapsedMs);
        TickSound(robot, elapsedMs);
    });
    robot.OnSession([&robot] {
        // A new console starts from nothing.
        SimMedia& m = robot.Feature<SimMedia>();
        for (size_t i = 0; i < m.cameras.size(); ++i) {
            if (m.cameras[i].streaming) {
                StopCamera(robot, static_cast<int>(i), m.cameras[i]);
            }
        }
        m.sound.Close();
        m.soundOn = false;
        m.requestedCode = 0xFF;
        m.mic.Close();
    });
}

}  // namespace velcora::sim
