// What a video panel does apart from drawing: its camera and bit rate, the
// request that keeps the robot streaming, the camera command, and the
// reception that hands each picture message to every panel showing that
// camera. The panel window is a thin view over these.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/dispatcher.h"
#include "link/robot_link.h"
#include "media/video_frame.h"
#include "media/video_stream.h"

namespace velcora::media {

// Interface texts of the panel (UTF-8).
inline constexpr std::string_view kVideoCaptionWord = "Видео";
inline constexpr std::string_view kVideoButtonHint = "Включить передачу видео с робота";
inline constexpr std::string_view kBitRateLabel = "кБит/сек:";
inline constexpr int kCameraCount = 4;

// The bit rates offered, in bit/s (shown in kbit/s).
inline constexpr std::array<int32_t, 9> kVideoBitRates = {30000,  50000,  80000,   120000, 240000,
                                                          360000, 720000, 1400000, 2500000};
// The list entry of a bit rate, -1 when it is not one of them.
int VideoBitRateIndex(int32_t bitRate);

// "Видео 1" for camera 0.
std::string VideoCaption(int camera);
// "Камера 0" .. "Камера 3".
std::string CameraEntry(int camera);

class CVideoPanelControl {
  public:
    // A request is sent when the countdown falls below zero, then it restarts
    // here: one request every 100 ms on a 20 ms timer.
    static constexpr int32_t kRequestRestartMs = 80;
    // The constant that ends every video request.
    static constexpr uint8_t kRequestTail = 3;

    CVideoPanelControl(int camera, int32_t bitRate, bool locked);

    int Camera() const { return camera_; }
    void SetCamera(int camera) { camera_ = camera; }
    int32_t BitRate() const { return bitRate_; }
    void SetBitRate(int32_t bitRate) { bitRate_ = bitRate; }
    bool Locked() const { return locked_; }

    // The video button: on starts the decode thread, off stops it and frees
    // every picture. False when the thread could not start.
    bool SetVideoOn(bool on);
    bool VideoOn() const { return videoOn_; }

    // The main window's timer; sends the video request while authorised.
    void Tick(IRobotLink& link, int32_t elapsedMs);

    bool CameraCommandEnabled(const IRobotLink& link) const;
    bool SendCameraCommand(IRobotLink& link);

    CVideoStream& Stream() { return stream_; }
    const CVideoStream& Stream() const { return stream_; }

  private:
    int camera_;
    int32_t bitRate_;
    bool locked_;
    bool videoOn_ = false;
    int32_t countdown_ = 0;
    CVideoStream stream_;
};

// Hands picture messages to the panels and keeps the rangefinder readings.
class CVideoReception {
  public:
    // Registers for the three picture messages for as long as it lives.
    CVideoReception(IRobotLink& link, std::vector<CVideoPanelControl*> panels,
                    RangefinderLimits limits = {});
    // The same without a link, for feeding payloads directly.
    explicit CVideoReception(std::vector<CVideoPanelControl*> panels,
                             RangefinderLimits limits = {});

    void Handle(msg::Type type, std::string_view payload);

    const RangefinderReadings& Readings() const { return readings_; }
    // Rises whenever the readings were recomputed.
    uint64_t ReadingsVersion() const { return readingsVersion_; }

  private:
    std::vector<CVideoPanelControl*> panels_;
    RangefinderLimits limits_;
    RangefinderReadings readings_;
    uint64_t readingsVersion_ = 0;
    CRegistrationSet registrations_;
};

}  // namespace velcora::media
