#include "media/gui/video_panel.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include "media/frame_stamp.h"
#include "media/video_paint.h"

namespace velcora::media {

namespace {

QString U(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QColor Q(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

QRect R(const PaintRect& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

// The menu entry that sends the camera command.
constexpr std::string_view kCameraCommandEntry = "Команда камере";

}  // namespace

CVideoPanel::CVideoPanel(ui::CVelContainer* owner, uint32_t place, int w, int h, IRobotLink& link,
                         int camera, int32_t bitRate, bool locked)
    : ui::CVelPanel(owner, place, w, h),
      link_(link),
      control_(camera, bitRate, locked),
      wallClock_(WallClockMsOfDay) {
    auto* bar = new ui::CVelPanel(this, ui::kAlignTop, 0, 30);
    bar->SetMargin(2);
    auto* caption = new ui::CVelLabel(bar, ui::kPlaceFlow, 58, 24, U(VideoCaption(camera)));
    caption->SetFont(nullptr);
    button_ = new ui::CVelSpdBtn(bar, ui::kPlaceFlow, 26, 24, QStringLiteral("►"), kCmdVideo);
    button_->SetLatching(true);
    button_->SetHint(U(kVideoButtonHint));
    cameras_ = new ui::CVelComboBox(bar, ui::kPlaceFlow, 88, 24, kCmdCamera);
    for (int i = 0; i < kCameraCount; ++i) {
        cameras_->AddItem(U(CameraEntry(i)));
    }
    new ui::CVelLabel(bar, ui::kPlaceFlow, 58, 24, U(kBitRateLabel));
    bitRates_ = new ui::CVelComboBox(bar, ui::kPlaceFlow, 64, 24, kCmdBitRate);
    for (int32_t rate : kVideoBitRates) {
        bitRates_->AddItem(QString::number(rate / 1000));
    }
    // The list is the operator's only way to change the bit rate.
    bitRates_->SetEnabled(!locked);
    SetCamera(camera);
    SetBitRate(bitRate);

    area_ = new ui::CVelPaintBox(this, ui::kAlignClient, 0, 0);
    area_->SetPaintHandler(
        [this](QPainter& p, const QRect&) { PaintArea(p, area_->Widget()->size()); });
    menu_ = ui::CVelPopupMenu::Create();
    menu_->AddItem(kCmdCameraCommand, U(kCameraCommandEntry));
    area_->SetPopupMenu(menu_);
    // A decoded picture is taken over as soon as the window thread gets to
    // it, not on the next tick (which stays as the fallback). The decode
    // thread is stopped before the drawing area goes, and a call still
    // queued for it then is dropped with it.
    QWidget* receiver = area_->Widget();
    control_.Stream().SetOnDecoded([this, receiver] {
        QMetaObject::invokeMethod(
            receiver,
            [this] {
                if (TakeOverDecoded()) {
                    area_->Widget()->update();
                }
            },
            Qt::QueuedConnection);
    });
}

CVideoPanel::~CVideoPanel() {
    // Stop the decode thread before the widgets that show its pictures go.
    control_.SetVideoOn(false);
    if (menu_) {
        menu_->Release();
    }
}

void CVideoPanel::SetCamera(int camera) {
    control_.SetCamera(camera);
    cameras_->SetItemIndex(camera >= 0 && camera < kCameraCount ? camera : -1);
}

void CVideoPanel::SetBitRate(int32_t bitRate) {
    control_.SetBitRate(bitRate);
    bitRates_->SetItemIndex(VideoBitRateIndex(bitRate));
}

void CVideoPanel::SetVideoOn(bool on) {
    const bool ok = control_.SetVideoOn(on);
    button_->SetDown(control_.VideoOn());
    if (!on || !ok) {
        age_.Clear();
    }
    area_->Widget()->update();
}

void CVideoPanel::Tick(int32_t elapsedMs) {
    control_.Tick(link_, elapsedMs);
    age_.Tick(elapsedMs);
    bool repaint = false;
    if (TakeOverDecoded()) {
        repaint = true;
    } else if (age_.HasPicture()) {
        cornerDue_ -= elapsedMs;
        if (cornerDue_ <= 0) {
            cornerDue_ = kCornerRefreshMs;
            repaint = true;
        }
    }
    if (reception_ && reception_->ReadingsVersion() != readingsSeen_) {
        readingsSeen_ = reception_->ReadingsVersion();
        repaint = repaint || control_.VideoOn();
    }
    if (repaint) {
        area_->Widget()->update();
    }
}

bool CVideoPanel::TakeOverDecoded() {
    if (!control_.Stream().TakeOver()) {
        return false;
    }
    std::optional<uint32_t> delay;
    control_.Stream().WithCurrent([&](const VideoFrame* f) {
        if (f && f->picture.bgr) {
            const auto stamp = ReadFrameStamp(f->picture.bgr.get(), f->picture.width,
                                              f->picture.height, f->picture.pitch);
            if (stamp && wallClock_) {
                delay = StampDelayMs(stamp->clockMs, wallClock_());
            }
        }
    });
    age_.Shown(delay);
    cornerDue_ = kCornerRefreshMs;
    return true;
}

void CVideoPanel::PaintArea(QPainter& p, const QSize& size) const {
    const int areaW = size.width();
    const int areaH = size.height();
    for (int y = 0; y < areaH; ++y) {
        p.fillRect(0, y, areaW, 1, Q(GradientColour(y, areaH)));
    }
    const RangefinderReadings readings =
        reception_ ? reception_->Readings() : RangefinderReadings{};
    control_.Stream().WithCurrent([&](const VideoFrame* f) {
        if (!f || !f->picture.bgr) {
            return;
        }
        const Picture& pic = f->picture;
        const VideoLayout l = LayoutVideo({0, 0, areaW, areaH}, pic.width, pic.height);
        if (!l.hasPicture) {
            return;
        }
        const QImage image(pic.bgr.get(), pic.width, pic.height, pic.pitch, QImage::Format_BGR888);
        p.save();
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(R(l.picture), image);
        p.restore();

        p.save();
        p.setClipRect(R(l.picture));
        p.setRenderHint(QPainter::Antialiasing, false);
        QPen pen(Q(kOverlayColour));
        pen.setWidth(kOverlayPenWidth);
        p.setPen(pen);
        for (const OverlayLine& line : f->lines) {
            const PaintPoint a = MapOverlayPoint(l, pic.width, pic.height, line.x1, line.y1);
            const PaintPoint b = MapOverlayPoint(l, pic.width, pic.height, line.x2, line.y2);
            p.drawLine(a.x, a.y, b.x, b.y);
        }
        p.restore();

        p.fillRect(R(l.topStrip), Q(StripColour(readings.forward)));
        p.fillRect(R(l.leftStrip), Q(StripColour(readings.left)));
        p.fillRect(R(l.rightStrip), Q(StripColour(readings.right)));

        // How old the picture is, in its top-right corner (the robot marks
        // its own pictures at the left).
        const QString text = QString::fromStdString(age_.Text());
        if (!text.isEmpty()) {
            QFont font = p.font();
            font.setPixelSize(11);
            p.setFont(font);
            const QRect box = p.fontMetrics().boundingRect(text).adjusted(-3, -1, 3, 1);
            const QRect at(l.picture.right - 2 - box.width(), l.picture.top + 2, box.width(),
                           box.height());
            if (at.left() > l.picture.left && at.bottom() < l.picture.bottom) {
                p.fillRect(at, QColor(0, 0, 0, 150));
                p.setPen(age_.DelayMs() > 1000 ? QColor(255, 170, 60) : QColor(240, 240, 240));
                p.drawText(at, Qt::AlignCenter, text);
            }
        }
    });
}

bool CVideoPanel::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::MenuUpdate && e.menu == menu_) {
        menu_->EnableItem(kCmdCameraCommand, control_.CameraCommandEnabled(link_));
        return true;
    }
    if (e.kind != ui::VelEventKind::Command) {
        return ui::CVelPanel::HandleEvent(e);
    }
    switch (e.id) {
        case kCmdVideo:
            SetVideoOn(button_->Down());
            return true;
        case kCmdCamera:
            if (cameras_->ItemIndex() >= 0) {
                control_.SetCamera(cameras_->ItemIndex());
            }
            return true;
        case kCmdBitRate: {
            const int i = bitRates_->ItemIndex();
            if (i >= 0 && i < static_cast<int>(kVideoBitRates.size())) {
                control_.SetBitRate(kVideoBitRates[i]);
            }
            return true;
        }
        case kCmdCameraCommand:
            control_.SendCameraCommand(link_);
            return true;
        default:
            return ui::CVelPanel::HandleEvent(e);
    }
}

}  // namespace velcora::media
