// Forms: top-level windows of the family, run modally or shown as children of
// the multiple-document frame; the window list of the frame; the timed error box.
#pragma once

#include <QKeySequence>
#include <QString>
#include <functional>
#include <vector>

#include "ui/vel_control.h"

class QEventLoop;
class QMdiArea;
class QMdiSubWindow;
class QMessageBox;

namespace velcora::ui {

// Command ids the frame handles itself.
inline constexpr int kCmdMdiTile = 0xFE01;
inline constexpr int kCmdMdiCascade = 0xFE02;
inline constexpr int kCmdMdiArrangeIcons = 0xFE03;
inline constexpr int kCmdMdiRestore = 0xFE04;
inline constexpr int kCmdMdiMinimise = 0xFE05;
// The window list; other ids with 0xFF in the high byte activate the child
// that has that id.
inline constexpr int kCmdMdiWindowList = 0xFF09;
inline constexpr int kMdiChildFirstId = 0xFF00;

// Modal results.
inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;

class CVelCustomForm : public CVelContainer {
    Q_OBJECT
  public:
    ~CVelCustomForm() override;

    // Every live form, in creation order.
    static const std::vector<CVelCustomForm*>& Forms();
    // The first form created; destroying it ends the application's loop.
    static CVelCustomForm* MainForm();
    void SetEndsLoop(bool ends) { endsLoop_ = ends; }

    void SetText(const QString& caption) override;

    // Runs the form modally: every other form is disabled until the form
    // closes; returns the close code. The form is destroyed once control is
    // back in the caller's event loop, so its fields may be read right after.
    int ShowModal();
    bool IsModal() const { return loop_ != nullptr; }
    int ModalResult() const { return modalResult_; }
    // Posts a close request with `code` as the modal result.
    void Close(int code = 0);
    // Asks the form whether it may close now (unsaved work), as a close would.
    bool AskClose(int code = 0) { return CanClose(code); }

    // Keys that send `commandId` to the form while it is active.
    void AddAccelerator(const QKeySequence& keys, int commandId);
    void SetHelpTopic(const QString& topic) { helpTopic_ = topic; }
    const QString& HelpTopic() const { return helpTopic_; }

  protected:
    CVelCustomForm(CVelContainer* owner, QWidget* widget, uint32_t place, int w, int h);
    // Asked before closing; false keeps the form open.
    virtual bool CanClose(int /*code*/) { return true; }
    // Closes now (the posted request lands here).
    virtual void DoClose(int code);
    bool WidgetEvent(QEvent* e) override;

    bool closing_ = false;

  private:
    QEventLoop* loop_ = nullptr;
    int modalResult_ = 0;
    bool endsLoop_ = true;
    QString helpTopic_;
};

class CVelMDIChildForm;

class CVelForm : public CVelCustomForm {
    Q_OBJECT
  public:
    // A top-level window at a packed position or centred with kPlaceScreenCentre.
    CVelForm(uint32_t place, int w, int h, const QString& caption = {});

    // Makes this form the multiple-document frame: its document area fills
    // what the aligned children leave free.
    void EnableMDI();
    QMdiArea* MdiArea() const { return mdi_; }
    std::vector<CVelMDIChildForm*> MdiChildren() const;
    CVelMDIChildForm* ActiveMdiChild() const;
    void ActivateMdiChild(CVelMDIChildForm* child);
    bool ActivateMdiChildById(int id);
    void Tile();
    void Cascade();
    void ArrangeIcons();
    void RestoreActiveChild();
    void MinimiseActiveChild();
    // Opens the window list and activates the child chosen there.
    void ShowWindowList();

    bool HandleEvent(const VelEvent& e) override;

  protected:
    void PlaceFreeArea(const QRect& free) override;

  private:
    friend class CVelMDIChildForm;
    QMdiSubWindow* AddMdiChild(CVelMDIChildForm* child);
    QMdiArea* mdi_ = nullptr;
};

// A tool window living inside the frame's document area.
class CVelMDIChildForm : public CVelCustomForm {
    Q_OBJECT
  public:
    CVelMDIChildForm(CVelForm* frame, int w, int h, const QString& caption = {});
    void SetText(const QString& caption) override;
    QMdiSubWindow* SubWindow() const { return sub_; }
    CVelForm* Frame() const { return frame_; }

  protected:
    void DoClose(int code) override;

  private:
    CVelForm* frame_;
    QMdiSubWindow* sub_ = nullptr;
};

class CVelListBox;

// The frame's window list: every child by caption; a double click activates one.
class CMDISelectForm : public CVelForm {
    Q_OBJECT
  public:
    explicit CMDISelectForm(CVelForm* frame);
    CVelListBox* List() const { return list_; }
    // The child chosen when the form closed with kResultOk, or nullptr.
    CVelMDIChildForm* Chosen() const { return chosen_.data(); }
    bool HandleEvent(const VelEvent& e) override;

  private:
    CVelListBox* list_;
    std::vector<QPointer<CVelMDIChildForm>> children_;
    QPointer<CVelMDIChildForm> chosen_;
};

// The error box: captioned "Ошибка", with the error icon, closing itself after
// `ms` milliseconds. With no time given, the "no connection" notice stays
// 2000 ms and everything else 10000 ms. The box does not block the caller.
QMessageBox* ShowError(const QString& text, int ms = -1);
int ErrorTimeoutFor(const QString& text, int ms);

// Lets a test (or a headless program) take error boxes instead of showing
// them; returns the previous sink. An empty function restores the boxes.
using ErrorSink = std::function<void(const QString& text, int ms)>;
ErrorSink SetErrorSink(ErrorSink sink);

}  // namespace velcora::ui
