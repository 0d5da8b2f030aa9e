#include "media/video_panel.h"

#include <algorithm>

namespace velcora::media {

int VideoBitRateIndex(int32_t bitRate) {
    const auto it = std::find(kVideoBitRates.begin(), kVideoBitRates.end(), bitRate);
    return it == kVideoBitRates.end() ? -1 : static_cast<int>(it - kVideoBitRates.begin());
}

std::string VideoCaption(int camera) {
    return std::string(kVideoCaptionWord) + " " + std::to_string(camera + 1);
}

std::string CameraEntry(int camera) {
    return "Камера " + std::to_string(camera);
}

CVideoPanelControl::CVideoPanelControl(int camera, int32_t bitRate, bool locked)
    : camera_(camera), bitRate_(bitRate), locked_(locked) {}

bool CVideoPanelControl::SetVideoOn(bool on) {
    if (on == videoOn_) {
        return true;
    }
    if (on) {
        if (!stream_.Start()) {
            return false;
        }
        countdown_ = 0;
        videoOn_ = true;
    } else {
        videoOn_ = false;
        stream_.Stop();
    }
    return true;
}

void CVideoPanelControl::Tick(IRobotLink& link, int32_t elapsedMs) {
    if (!videoOn_ || !link.Authorised()) {
        return;
    }
    countdown_ -= elapsedMs;
    // A full send queue holds the request back to the next tick.
    if (countdown_ < 0 && link.CanSendPeriodic()) {
        countdown_ = kRequestRestartMs;
        CStream& s = link.BeginFrame(msg::kVideoRequest);
        WriteU8(s, static_cast<uint8_t>(camera_));
        WriteI32(s, bitRate_);
        WriteU8(s, kRequestTail);
        link.EndFrame();
    }
}

bool CVideoPanelControl::CameraCommandEnabled(const IRobotLink& link) const {
    return link.Authorised() && !locked_;
}

bool CVideoPanelControl::SendCameraCommand(IRobotLink& link) {
    if (!CameraCommandEnabled(link)) {
        return false;
    }
    CStream& s = link.BeginFrame(msg::kVideoCommand);
    WriteU8(s, static_cast<uint8_t>(camera_));
    link.EndFrame();
    return true;
}

CVideoReception::CVideoReception(std::vector<CVideoPanelControl*> panels, RangefinderLimits limits)
    : panels_(std::move(panels)), limits_(limits) {}

CVideoReception::CVideoReception(IRobotLink& link, std::vector<CVideoPanelControl*> panels,
                                 RangefinderLimits limits)
    : CVideoReception(std::move(panels), limits) {
    for (msg::Type type : {msg::kVideoFrame, msg::kVideoFrameRanges, msg::kVideoFrameRangesLines}) {
        registrations_.Add(
            link.Dispatcher().Register(type, [this, type](CStream& payload, int32_t length) {
                const std::string bytes = ReadBytes(payload, std::max(length, 0));
                Handle(type, bytes);
            }));
    }
}

void CVideoReception::Handle(msg::Type type, std::string_view payload) {
    const auto m = ParseVideoFrame(type, payload);
    if (!m) {
        return;
    }
    if (m->hasRanges) {
        readings_ = NormaliseRanges(*m, limits_);
        ++readingsVersion_;
    }
    if (m->picture.empty()) {
        return;
    }
    // Each panel on this camera gets its own copy and decodes it itself.
    for (CVideoPanelControl* panel : panels_) {
        if (panel->VideoOn() && panel->Camera() == m->camera) {
            panel->Stream().Enqueue(m->width, m->height, m->picture, m->lines);
        }
    }
}

}  // namespace velcora::media
