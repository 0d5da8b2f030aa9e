// The phrase panel of the main window: the phrase box with its say button,
// the return-to-joystick toggle, the language buttons and the history list
// with its menu. A thin view over CPhrases.
#pragma once

#include <vector>

#include "console/phrases.h"
#include "link/ini_file.h"
#include "link/settings.h"
#include "ui/vel_controls.h"

namespace velcora::gui {

inline constexpr const char* kPhraseGroupCaption = "Фразы";

class CPhrasePanel : public ui::CVelGroupBox {
  public:
    enum Command {
        kCmdBox = 7601,
        kCmdSay,
        kCmdAutoFocus,
        kCmdList,
        kCmdLanguageFirst = 7620,  // one per language button
        kCmdMenuFirst = 7700,      // + PhraseCommand
    };

    CPhrasePanel(ui::CVelContainer* owner, uint32_t place, int w, int h, CPhrases& phrases,
                 CSettings& settings, IniFile& ini);
    ~CPhrasePanel() override;

    ui::CVelEdit* Box() const { return box_; }
    ui::CVelButton* SayButton() const { return say_; }
    ui::CVelSpdBtn* AutoFocusButton() const { return autoFocus_; }
    ui::CVelListBox* List() const { return list_; }
    ui::CVelSpdBtn* LanguageButton(std::size_t i) const { return languages_[i]; }
    std::size_t LanguageCount() const { return languages_.size(); }
    ui::CVelPopupMenu* Menu() const { return menu_; }

    // Whether the operator is typing in the phrase box.
    bool Editing() const;
    // Enter in the box or the say button.
    void SpeakBox();
    // Runs a history menu command for the selected row.
    void Run(PhraseCommand command);
    // The list as the history stands; keeps the selection where it can.
    void Refill();
    // The box and the say button follow the connection; the menu too.
    void ApplyEnabling(bool robotControls);
    void RefreshMenu();

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    void AskHotKey(std::size_t row);
    void AskLimit();

    CPhrases& phrases_;
    CSettings& settings_;
    IniFile& ini_;
    ui::CVelEdit* box_ = nullptr;
    ui::CVelButton* say_ = nullptr;
    ui::CVelSpdBtn* autoFocus_ = nullptr;
    ui::CVelListBox* list_ = nullptr;
    std::vector<ui::CVelSpdBtn*> languages_;
    ui::CVelPopupMenu* menu_ = nullptr;
    bool filling_ = false;
};

}  // namespace velcora::gui
