// A group of buttons the operator defines (commands, gestures): the buttons
// rebuilt from their list, their own font, one menu for the panel's empty
// space and one shared by the buttons.
#pragma once

#include <cstddef>
#include <vector>

#include "ui/vel_controls.h"

namespace velcora::gui {

template <class ButtonType>
class CButtonListPanel : public ui::CVelGroupBox {
  public:
    std::size_t Count() const { return buttons_.size(); }
    ButtonType* Button(std::size_t i) const { return buttons_[i]; }
    ui::CVelPopupMenu* PanelMenu() const { return panelMenu_; }
    ui::CVelPopupMenu* ButtonMenu() const { return buttonMenu_; }

    // Rebuilds the buttons from the list.
    virtual void Rebuild() = 0;

    // The buttons' font (they would take the caption's otherwise).
    void SetButtonFont(ui::CVelFont* font) {
        if (font)
            font->AddRef();
        if (buttonFont_)
            buttonFont_->Release();
        buttonFont_ = font;
        Rebuild();
    }

  protected:
    CButtonListPanel(ui::CVelContainer* owner, uint32_t place, int w, int h, const QString& caption)
        : ui::CVelGroupBox(owner, place, w, h, caption),
          panelMenu_(ui::CVelPopupMenu::Create()),
          buttonMenu_(ui::CVelPopupMenu::Create()) {
        SetPopupMenu(panelMenu_);
    }
    ~CButtonListPanel() override {
        if (buttonFont_)
            buttonFont_->Release();
        panelMenu_->Release();
        buttonMenu_->Release();
    }

    // The index of the button `c`, or -1.
    int IndexOf(const ui::CVelControl* c) const {
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            if (buttons_[i] == c)
                return static_cast<int>(i);
        }
        return -1;
    }
    void DestroyButtons() {
        for (auto* b : buttons_)
            b->Destroy();
        buttons_.clear();
    }
    // A new button gets the shared menu and the buttons' font.
    void Adopt(ButtonType* b) {
        b->SetPopupMenu(buttonMenu_);
        if (buttonFont_)
            b->SetFont(buttonFont_);
        buttons_.push_back(b);
    }

    std::vector<ButtonType*> buttons_;
    ui::CVelPopupMenu* const panelMenu_;
    ui::CVelPopupMenu* const buttonMenu_;
    ui::CVelFont* buttonFont_ = nullptr;
    int menuButton_ = -1;  // the button whose menu is open
};

}  // namespace velcora::gui
