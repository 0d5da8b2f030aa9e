// The cyclogram page's dialogs: "Свойства трека", the audio block dialog with
// the robot's wave files and the upload progress window, and the tracker
// dialogs used until the manual motor control's own ones are plugged in.
#pragma once

#include <QTimer>
#include <functional>
#include <memory>

#include "cyclogram/cyclogram_transfer.h"
#include "cyclogram/environment_editor.h"
#include "cyclogram/time_line.h"
#include "ui/vel.h"
#include "ui/vel_tab_control.h"

namespace velcora::cyclogram_gui {

// "Свойства трека" (320 x 180); true for OK.
bool RunTrackPropertiesDialog(TrackProperties& properties);

// The progress window of a wave upload.
class CCycUploadForm : public ui::CVelForm {
    Q_OBJECT
  public:
    explicit CCycUploadForm(const QString& title, int total);
    void SetProgress(int done, int total);
    int Progress() const;
    // "Отмена" or closing the window.
    void SetCancelHandler(std::function<void()> handler) { cancel_ = std::move(handler); }
    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    bool CanClose(int code) override;

  private:
    ui::CVelProgressBar* bar_;
    std::function<void()> cancel_;
    bool finished_ = false;
    friend class CAudioBlockDialog;
};

// "Свойства аудиоблока" (350 x 410) for one block.
class CAudioBlockDialog : public ui::CVelForm, private IWaveTransferView {
    Q_OBJECT
  public:
    CAudioBlockDialog(IRobotLink& link, CWaveList& waves, const AudioBlock& block);
    ~CAudioBlockDialog() override;
    // Runs it modally over `block`; true (and the block changed) for OK.
    static bool Edit(IRobotLink& link, CWaveList& waves, AudioBlock& block);

    AudioBlockFields Fields() const;
    ui::CVelTabControl* Pages() const { return pages_; }
    ui::CVelListBox* WaveList() const { return list_; }
    ui::CVelEdit* SpeechEdit() const { return speech_; }
    ui::CVelEdit* FileEdit() const { return file_; }
    ui::CVelSpinEdit* LengthEdit() const { return length_; }
    CWaveTransfer& Transfer() { return transfer_; }
    // "Загрузить Wave-файл на робота" with the file chosen already (tests use the file sink).
    void UploadWave();
    void Refresh();
    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    // IWaveTransferView
    bool Confirm(const std::string& question, const std::string& title) override;
    void OnRequestFailed(WaveRequest which, const std::string& text) override;
    void OnWaveListChanged() override;
    void OnUploadStarted(const std::string& title, int32_t total) override;
    void OnUploadProgress(int32_t done, int32_t total) override;
    void OnUploadFinished(bool ok) override;

    void FillList();
    void ChooseEntry(int row);
    void DeleteSelected();

    IRobotLink& link_;
    CWaveList& waves_;
    CWaveTransfer transfer_;
    ui::CVelTabControl* pages_;
    ui::CVelEdit* speech_;
    ui::CVelEdit* file_;
    ui::CVelSpinEdit* length_;
    ui::CVelListBox* list_;
    ui::CVelPopupMenu* menu_ = nullptr;
    CCycUploadForm* progress_ = nullptr;
    QTimer timer_;
};

}  // namespace velcora::cyclogram_gui
