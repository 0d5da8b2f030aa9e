// A form built the way the console builds its windows, for looking at the
// family's rendering and for the offscreen tests.
#pragma once

namespace velcora::ui {
class CVelForm;
class CVelJoy;
class CVelStatusBar;
}  // namespace velcora::ui

namespace velcora::ui::test {

struct SampleForm {
    CVelForm* form = nullptr;
    CVelJoy* drive = nullptr;
    CVelJoy* head = nullptr;
    CVelStatusBar* status = nullptr;
};

SampleForm BuildSampleForm();

}  // namespace velcora::ui::test
