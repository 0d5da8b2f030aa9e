// The fonts, made ready while the window is being built. The first font the
// window measures makes Qt read every font configuration file and the font
// caches, list every installed font into its database and look up the
// fallback families of the font asked for: ten milliseconds and more on the
// UI thread, before anything can be laid out. fontconfig keeps what it read
// for the whole process and may be started from any thread, and Qt's font
// database and its fallback lists are shared by all threads, so a thread
// started first in main does all of it beside the UI thread's own start; the
// UI thread is then left with opening the font files it draws with.
#pragma once

#include <QFont>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace velcora::platform {

class CFontPreload {
  public:
    // Starts reading the font configuration at once.
    CFontPreload();
    // Ends the thread (see Release).
    ~CFontPreload();
    CFontPreload(const CFontPreload&) = delete;
    CFontPreload& operator=(const CFontPreload&) = delete;

    // Once the QApplication exists: fills Qt's font database and looks up
    // these fonts' fallbacks on the same thread.
    void UseQt(std::vector<QFont> fonts);
    // Lets nothing more start and waits for what runs; must be called before
    // the QApplication ends when UseQt was.
    void Release();

  private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<QFont> fonts_;
    bool qt_ = false;
    bool released_ = false;
    std::thread thread_;
};

// Waits until a running preload has read the font configuration (returns at
// once when none runs). The window calls it before it first measures a font:
// fontconfig started on two threads at once reads everything twice.
void AwaitFontConfiguration();

}  // namespace velcora::platform
