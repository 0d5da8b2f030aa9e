// "Удаленный рабочий стол": the robot computer's screen, unscaled and
// scrollable, taking the operator's mouse and keys for the robot. A thin bar
// above it sends the shortcuts a local desktop keeps for itself and saves a
// snapshot. The window is a view over CRemoteDesktop.
#pragma once

#include <QImage>
#include <memory>

#include "link/console_hooks.h"
#include "media/remote_desktop.h"
#include "ui/vel.h"

class QScrollBar;

namespace velcora::media {

class CDesktopArea;

class CRemoteDesktopForm : public ui::CVelMDIChildForm, public IRemoteDesktopView {
    Q_OBJECT
  public:
    static constexpr int kWidth = 572;
    static constexpr int kHeight = 600;
    enum Command { kCmdKeys = 7201, kCmdSnapshot, kCmdAltTab, kCmdAltEsc, kCmdCtrlEsc, kCmdAltF4 };

    CRemoteDesktopForm(ui::CVelForm* frame, ToolContext& tools);
    ~CRemoteDesktopForm() override;

    CRemoteDesktop& Desktop() { return *desktop_; }
    // The picture as shown: upright, null before the first one.
    const QImage& Picture() const { return image_; }
    // The widget that shows the picture and takes the mouse and keys.
    QWidget* Surface() const;
    QScrollBar* HorizontalBar() const;
    QScrollBar* VerticalBar() const;
    ui::CVelButton* KeysButton() const { return keys_; }
    ui::CVelPopupMenu* KeysMenu() const { return keysMenu_; }
    // Saves the picture as PNG; false (with nothing written) without one.
    bool SaveSnapshot(const QString& file) const;

    bool HandleEvent(const ui::VelEvent& e) override;

    // IRemoteDesktopView
    void DesktopContentChanged(int32_t contentWidth, int32_t contentHeight) override;
    void DesktopPictureChanged() override;

  protected:
    bool CanClose(int code) override;

  private:
    ToolContext& tools_;
    CDesktopArea* area_ = nullptr;
    std::unique_ptr<CRemoteDesktop> desktop_;
    HookSubscription tick_;
    QImage image_;
    ui::CVelButton* keys_ = nullptr;
    ui::CVelButton* snapshot_ = nullptr;
    ui::CVelPopupMenu* keysMenu_ = nullptr;
    ui::CVelFont* font_ = nullptr;
};

}  // namespace velcora::media
