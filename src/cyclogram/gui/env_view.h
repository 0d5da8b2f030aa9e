// The environment view: the background picture with the trackers over it,
// painted from CEnvironmentEditor's paint list; mouse, keys and the pop-up
// menu go to the editor.
#pragma once

#include <QImage>
#include <functional>

class QKeyEvent;

#include "cyclogram/environment_editor.h"
#include "ui/vel.h"

namespace velcora::cyclogram_gui {

class CCyclogramEnvView : public ui::CVelControl, public IEnvironmentView {
    Q_OBJECT
  public:
    CCyclogramEnvView(ui::CVelContainer* owner, uint32_t place, int w, int h);
    ~CCyclogramEnvView() override;

    void SetEditor(CEnvironmentEditor* editor);
    CEnvironmentEditor* Editor() const { return editor_; }
    void SetToolbarHook(std::function<void()> hook) { toolbarHook_ = std::move(hook); }
    // Keys the trackers do not use (undo and redo of the recorded keys).
    void SetKeyHook(std::function<bool(QKeyEvent*)> hook) { keyHook_ = std::move(hook); }
    // The tracker dialogs (the window that owns the page supplies them; without
    // them the two menu entries do nothing).
    void SetTrackerDialogs(std::function<bool(EnvTracker&)> parameters,
                           std::function<void(CEnvironmentEditor&, int32_t)> exactValue);
    const QImage& Picture() const { return picture_; }
    void Render(QPainter& p);

    // IEnvironmentView
    void Invalidate() override;
    void OnToolbarChanged() override;
    bool Confirm(const std::string& title, const std::string& text) override;
    void ShowError(const std::string& text) override;
    std::string ChooseOpenFile(const std::string& title, EnvFileKind kind) override;
    std::string ChooseSaveFile(const std::string& title) override;
    bool LoadPicture(const std::string& path, int& width, int& height) override;
    void DropPicture() override;
    bool EditTrackerParameters(EnvTracker& tracker) override;
    void ShowExactValue(int32_t tracker) override;

    void PaintSurface(QPainter& p, const QRect& dirty) override;
    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    bool WidgetEvent(QEvent* e) override;

  private:
    CEnvironmentEditor* editor_ = nullptr;
    QImage picture_;
    QImage scaled_;
    ui::CVelPopupMenu* menu_ = nullptr;
    std::function<void()> toolbarHook_;
    std::function<bool(QKeyEvent*)> keyHook_;
    std::function<bool(EnvTracker&)> parameters_;
    std::function<void(CEnvironmentEditor&, int32_t)> exactValue_;
};

}  // namespace velcora::cyclogram_gui
