// The chat-bot editor's modal dialogs: the transfer progress, the word panel
// on one pattern element, a frameset's name and priority, a script body and a
// dialogue's wait time.
#pragma once

#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "chatbot/chatbot_editor.h"
#include "ui/vel.h"

namespace velcora::chatbot {

// Called once each of these dialogs runs (from inside its modal loop), so
// that tests and scripted runs can fill it in and press its buttons.
using DialogHook = std::function<void(ui::CVelForm& dialog)>;
DialogHook SetDialogHook(DialogHook hook);

inline constexpr int kCmdDialogOk = 1;
inline constexpr int kCmdDialogCancel = 2;

// A progress bar and a cancel button over a running transfer, ticked every
// kChatBotTransferTickMs; closes by itself when the transfer ends.
class CChatBotProgressDialog : public ui::CVelForm, private IChatBotTransferView {
  public:
    ~CChatBotProgressDialog() override;
    // Runs the dialog; the transfer's result (cancelled when the operator
    // cancelled).
    TransferResult Run();
    ui::CVelProgressBar* Bar() const { return bar_; }
    ui::CVelButton* CancelButton() const { return cancel_; }
    CChatBotTransferRun& Transfer() { return run_; }
    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    CChatBotProgressDialog(CChatBotTransferRun& run, const QString& caption);
    void DoClose(int code) override;

  private:
    void OnProgress(int32_t done, int32_t total) override;
    void OnFinished(TransferResult result) override;

    CChatBotTransferRun& run_;
    bool running_ = false;
    QTimer timer_;
    ui::CVelLabel* label_;
    ui::CVelProgressBar* bar_;
    ui::CVelButton* cancel_;
};

class CChatBotUploadDialog : public CChatBotProgressDialog {
  public:
    explicit CChatBotUploadDialog(CChatBotTransferRun& run);
};

class CChatBotDownloadDialog : public CChatBotProgressDialog {
  public:
    explicit CChatBotDownloadDialog(CChatBotTransferRun& run);
};

// "Параметры слова": one element of a question. Kind 0 keeps the word and
// its synonyms (the alternatives after the first), kind 2 the frameset with
// the word as its label, kinds 1, 3 and 4 the word as the name.
class CChatBotWordPanel : public ui::CVelContainer {
  public:
    CChatBotWordPanel(ui::CVelContainer* owner, uint32_t place, int w, int h);
    void Load(const CPatternElement& e, const std::vector<std::u16string>& framesets);
    CPatternElement Element() const;
    bool HandleEvent(const ui::VelEvent& e) override;

    ui::CVelEdit* Word() const { return word_; }
    ui::CVelComboBox* Kind() const { return kind_; }
    ui::CVelMemo* Synonyms() const { return synonyms_; }
    ui::CVelComboBox* Frameset() const { return frameset_; }

  private:
    void ShowKind();

    ui::CVelEdit* word_;
    ui::CVelComboBox* kind_;
    ui::CVelLabel* synonymsLabel_;
    ui::CVelMemo* synonyms_;
    ui::CVelLabel* framesetLabel_;
    ui::CVelComboBox* frameset_;
};

// A modal form with a body and "OK"/"Отмена" at the bottom.
class CChatBotOkDialog : public ui::CVelForm {
  public:
    CChatBotOkDialog(int w, int h, const QString& caption);
    // True for OK.
    bool Run();
    bool HandleEvent(const ui::VelEvent& e) override;
    ui::CVelButton* OkButton() const { return ok_; }
    ui::CVelPanel* Body() const { return body_; }

  private:
    ui::CVelPanel* body_;
    ui::CVelButton* ok_;
};

bool RunWordDialog(CPatternElement& element, const std::vector<std::u16string>& framesets);
bool RunFramesetDialog(std::u16string& name, int32_t& priority);
bool RunScriptDialog(std::u16string& body);
bool RunWaitTimeDialog(int32_t& ms);

}  // namespace velcora::chatbot
