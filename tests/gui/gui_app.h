// One QApplication for every test of the executable, made on first use.
#pragma once

class QApplication;

namespace velcora::ui::test {
QApplication& App();
// Runs deferred deletions and posted events.
void Flush();
}  // namespace velcora::ui::test
