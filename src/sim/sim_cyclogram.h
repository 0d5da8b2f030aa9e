// The robot's cyclograms, wave files, environment project and motors: what
// the cyclogram feature keeps, and the parts of it tests look at directly.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cyclogram/cyclogram.h"
#include "cyclogram/cyclogram_format.h"

namespace velcora::sim {

// A name the console may give a cyclogram or wave file (ANSI bytes): not
// empty, at most 255 bytes, no control characters or folder separators, not
// "." or "..". Anything else could leave the robot's folder.
bool SafeRobotName(std::string_view ansi);

// Length in ms of a RIFF/WAVE file's sound data, from its header; 0 when the
// header is missing or damaged. The data size is capped at the bytes present.
uint32_t WaveLengthMs(std::string_view wav);
// A sine tone as an 8000 Hz, 8-bit mono PCM wave file.
std::string ToneWave(uint32_t ms, uint32_t hz);
// A small grey-scale baseline JPEG (a floor and a wall) for the demo environment.
std::string DemoBackgroundJpeg();

struct SimCyclogramRun {
    std::string name;  // ANSI
    int32_t start = 0;
    int32_t end = 0;
};

// The cyclogram being played.
struct SimPlayback {
    std::unique_ptr<CCyclogram> doc;
    CCyclogramEnv env;  // the trackers give each motor its raw range
    std::string name;
    int32_t from = 0;
    int32_t to = 0;
    int64_t t = 0;
};

struct SimCyclogram {
    bool ready = false;
    // The feature's folder; empty: the files live in `memory` (tests without a root).
    std::string folder;
    std::map<std::string, std::string> memory;
    // Raw value of every motor that was set or played.
    std::map<int32_t, int32_t> motors;
    std::vector<SimCyclogramRun> runs;
    SimPlayback playback;
    // Wave upload in progress.
    bool waveUploading = false;
    std::string waveName;  // ANSI
    uint32_t wavePackedSize = 0;
    std::string wavePacked;
    // The console was told to send the picture with this identity.
    bool backgroundWanted = false;
    BackgroundIdentity backgroundExpected;
};

// Moves the playback on by `elapsedMs`, setting the motors of the enabled
// tracks to their values along the curves; calls `say` for every sound block
// whose start was passed. Ends the playback at the fragment's end unless the
// cyclogram loops.
void AdvancePlayback(SimCyclogram& state, uint32_t elapsedMs,
                     const std::function<void(const std::string&)>& say);

class CSimRobot;

// The cyclogram feature's state (seeded on first use) and its environment
// project as stored: what the manual motor control moves and reports.
SimCyclogram& RobotCyclograms(CSimRobot& robot);
CCyclogramEnv RobotEnvironment(CSimRobot& robot);

}  // namespace velcora::sim
