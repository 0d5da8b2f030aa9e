// The gesture panel: its caption "Жесты" above one 80 x 25 button per gesture,
// stacked 2 pixels apart; a click makes the robot perform it. Its menu adds,
// changes and removes gestures. The recording flow of the service window
// (dialog, replace question, wait, outcome) lives here too.
#pragma once

#include <functional>
#include <vector>

#include "console/gestures.h"
#include "console/gui/button_list_panel.h"
#include "link/settings.h"
#include "ui/vel_controls.h"

namespace velcora::gui {

class CGesturePanel : public CButtonListPanel<ui::CVelButton> {
  public:
    enum Command {
        kCmdChange = 8001,
        kCmdRemove,
        kCmdAdd,
        kCmdGestureFirst = 8100,  // one per gesture button
    };

    // `focusCountdown` returns the focus to the drive joystick after a click.
    CGesturePanel(ui::CVelContainer* owner, uint32_t place, int w, int h, CGestures& gestures,
                  const CSettings& settings, std::function<void(int32_t ms)> focusCountdown);
    ~CGesturePanel() override;

    void Rebuild() override;
    // A click on gesture button i.
    void Perform(std::size_t i);
    void AddExisting();
    void Change(std::size_t i);
    void Remove(std::size_t i);

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    CGestures& gestures_;
    const CSettings& settings_;
    std::function<void(int32_t)> focusCountdown_;
};

// "Записать жест": proposes the first free number, asks for number and name
// (and whether to replace an existing gesture), and starts the recording.
// False when the operator cancelled or a recording is already waiting. On
// failure the error box says so; `finished` is called either way once the
// wait is over.
bool StartGestureRecording(CGestureRecorder& recorder, CGestures& gestures, uint32_t now,
                           std::function<void(bool recorded)> finished);

}  // namespace velcora::gui
