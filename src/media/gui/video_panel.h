// A video panel of the main window: caption, video button, camera and bit-rate
// lists over a drawing area that shows the newest decoded picture framed by
// the rangefinder strips, with the robot's overlay lines and, in a corner, how
// old the picture is and how often it changes. The owner drives it with
// Tick() from its 20 ms timer.
#pragma once

#include <QRect>
#include <cstdint>
#include <functional>

#include "link/robot_link.h"
#include "media/gui/frame_age.h"
#include "media/video_panel.h"
#include "ui/vel_controls.h"

class QPainter;

namespace velcora::media {

class CVideoPanel : public ui::CVelPanel {
  public:
    static constexpr int kDefaultWidth = 350;
    static constexpr int kDefaultHeight = 270;
    enum Command { kCmdVideo = 7101, kCmdCamera, kCmdBitRate, kCmdCameraCommand };
    // How often the corner text is refreshed while the picture stands still.
    static constexpr int32_t kCornerRefreshMs = 200;

    CVideoPanel(ui::CVelContainer* owner, uint32_t place, int w, int h, IRobotLink& link,
                int camera, int32_t bitRate, bool locked);
    ~CVideoPanel() override;

    CVideoPanelControl& Control() { return control_; }
    // Where the rangefinder readings come from (shared by both panels).
    void SetReception(const CVideoReception* reception) { reception_ = reception; }
    // The sender's clock is compared with this one to tell a stamped
    // picture's delay (milliseconds since midnight).
    void SetWallClock(std::function<uint32_t()> clock) { wallClock_ = std::move(clock); }

    // The owner's timer: video requests, the corner text, and take-over of
    // decoded pictures should the call the decode thread asks for be late.
    void Tick(int32_t elapsedMs);

    // The same as the operator's press of the video button.
    void SetVideoOn(bool on);
    bool VideoOn() const { return control_.VideoOn(); }
    int Camera() const { return control_.Camera(); }
    int32_t BitRate() const { return control_.BitRate(); }
    void SetCamera(int camera);
    void SetBitRate(int32_t bitRate);

    const CFrameAge& Age() const { return age_; }
    ui::CVelSpdBtn* VideoButton() const { return button_; }
    ui::CVelComboBox* CameraList() const { return cameras_; }
    ui::CVelComboBox* BitRateList() const { return bitRates_; }
    ui::CVelPaintBox* DrawingArea() const { return area_; }
    ui::CVelPopupMenu* Menu() const { return menu_; }

    // Paints the drawing area of size `size` (also used to render a panel).
    void PaintArea(QPainter& p, const QSize& size) const;

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    // Makes the newest decoded picture current; true when it changed.
    bool TakeOverDecoded();

    IRobotLink& link_;
    CVideoPanelControl control_;
    const CVideoReception* reception_ = nullptr;
    uint64_t readingsSeen_ = 0;
    std::function<uint32_t()> wallClock_;
    CFrameAge age_;
    int32_t cornerDue_ = 0;
    ui::CVelSpdBtn* button_ = nullptr;
    ui::CVelComboBox* cameras_ = nullptr;
    ui::CVelComboBox* bitRates_ = nullptr;
    ui::CVelPaintBox* area_ = nullptr;
    ui::CVelPopupMenu* menu_ = nullptr;
};

}  // namespace velcora::media
