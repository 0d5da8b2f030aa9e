// The system's font configuration, read while the window is being built. The
// first font the window measures makes Qt read every font configuration file
// and the font caches (several milliseconds), on the UI thread and before
// anything can be laid out; fontconfig keeps what it read for the whole
// process and may be started from any thread, so a thread started first in
// main does it beside Qt's own start and leaves the UI thread only the look-up.
#pragma once

#include <thread>

namespace velcora::platform {

// Returns the thread doing it; join it before the program ends.
std::thread PreloadFonts();

}  // namespace velcora::platform
