// The modal dialogs of the command and gesture panels: the command button
// editor, the parameters of a command with placeholders, and the gesture
// number and name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/command_buttons.h"
#include "console/gestures.h"
#include "ui/vel_controls.h"
#include "ui/vel_form.h"

namespace velcora::gui {

// "Редактор командной кнопки".
class CCommandButtonDlg : public ui::CVelForm {
  public:
    enum Command { kCmdOk = 7401, kCmdCancel, kCmdLatched };

    // `button` fills the fields; none: a new button (width 90).
    explicit CCommandButtonDlg(const std::optional<CommandButtonData>& button);

    // Runs it; the button as entered on "OK".
    static std::optional<CommandButtonData> Run(const std::optional<CommandButtonData>& button);

    // The fields as entered (commands in ANSI; an empty one is none).
    CommandButtonData Values() const;
    const std::optional<CommandButtonData>& Accepted() const { return accepted_; }

    ui::CVelEdit* Caption() const { return caption_; }
    ui::CVelSpinEdit* Width() const { return width_; }
    ui::CVelCheckBox* Latched() const { return latched_; }
    ui::CVelEdit* Press() const { return press_; }
    ui::CVelEdit* Release() const { return release_; }

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    ui::CVelEdit* caption_ = nullptr;
    ui::CVelSpinEdit* width_ = nullptr;
    ui::CVelCheckBox* latched_ = nullptr;
    ui::CVelEdit* press_ = nullptr;
    ui::CVelEdit* release_ = nullptr;
    std::optional<CommandButtonData> accepted_;
};

// "Параметры команды": one labelled field per placeholder of the command.
class CCommandParamsDialog : public ui::CVelForm {
  public:
    enum Command { kCmdOk = 7421, kCmdCancel };

    explicit CCommandParamsDialog(const std::string& ansiCommand);

    // Runs it; the filled command (ANSI) on "OK".
    static std::optional<std::string> Run(const std::string& ansiCommand);

    std::size_t FieldCount() const { return fields_.size(); }
    ui::CVelEdit* Field(std::size_t i) const { return fields_[i]; }
    ui::CVelLabel* Label(std::size_t i) const { return labels_[i]; }
    const std::optional<std::string>& Accepted() const { return accepted_; }

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    std::string command_;
    std::vector<ui::CVelLabel*> labels_;
    std::vector<ui::CVelEdit*> fields_;
    std::optional<std::string> accepted_;
};

// The gesture number and name, titled by the caller.
class CGestureDialog : public ui::CVelForm {
  public:
    enum Command { kCmdOk = 7441, kCmdCancel };

    CGestureDialog(const QString& title, const Gesture& gesture);

    static std::optional<Gesture> Run(const QString& title, const Gesture& gesture);

    ui::CVelSpinEdit* Number() const { return number_; }
    ui::CVelEdit* Name() const { return name_; }
    Gesture Values() const;
    const std::optional<Gesture>& Accepted() const { return accepted_; }

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    ui::CVelSpinEdit* number_ = nullptr;
    ui::CVelEdit* name_ = nullptr;
    std::optional<Gesture> accepted_;
};

// Texts of the gesture feature.
inline constexpr const char* kAddGestureTitle = "Добавить существующий жест";
inline constexpr const char* kChangeGestureTitle = "Изменить жест";
inline constexpr const char* kGestureExists = "Жест с таким номером уже существует!";
inline constexpr const char* kGestureReplace = "Жест с таким номером уже существует. Заменить его?";
inline constexpr const char* kGestureRecordFailed = "Ошибка записи жеста на робота!";
inline constexpr const char* kNoConnection = "Нет подключения к роботу!";

}  // namespace velcora::gui
