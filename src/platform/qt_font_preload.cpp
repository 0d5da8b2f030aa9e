#include "platform/qt_font_preload.h"

#include <fontconfig/fontconfig.h>

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>
#include <chrono>

namespace velcora::platform {

namespace {

// Whether a preload is reading the configuration; one per process.
std::mutex g_configMutex;
std::condition_variable g_configRead;
bool g_reading = false;

void ConfigurationRead() {
    {
        std::lock_guard<std::mutex> lock(g_configMutex);
        g_reading = false;
    }
    g_configRead.notify_all();
}

}  // namespace

CFontPreload::CFontPreload() {
    {
        std::lock_guard<std::mutex> lock(g_configMutex);
        g_reading = true;
    }
    thread_ = std::thread([this] { Run(); });
}

CFontPreload::~CFontPreload() {
    Release();
}

void CFontPreload::UseQt(std::vector<QFont> fonts) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fonts_ = std::move(fonts);
        qt_ = true;
    }
    wake_.notify_one();
}

void CFontPreload::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void CFontPreload::Run() {
    FcInit();
    ConfigurationRead();
    std::vector<QFont> fonts;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return qt_ || released_; });
        if (released_) {
            return;
        }
        fonts = std::move(fonts_);
    }
    // Every installed font into Qt's database, then each font's engine, which
    // looks up and keeps its fallback families. The engines themselves stay
    // with this thread (Qt keeps them per thread) and end with it.
    QFontDatabase::families();
    // Qt keeps fallbacks per writing system: Latin and digits, and Cyrillic.
    for (const QFont& font : fonts) {
        const QFontMetrics metrics(font);
        metrics.height();
        metrics.horizontalAdvance(QStringLiteral("Velcora 0123 %"));
        metrics.horizontalAdvance(QStringLiteral("Пульт оператора"));
    }
}

void AwaitFontConfiguration() {
    std::unique_lock<std::mutex> lock(g_configMutex);
    // Bounded: a configuration that takes longer is read a second time rather
    // than holding the window back.
    g_configRead.wait_for(lock, std::chrono::seconds(2), [] { return !g_reading; });
}

}  // namespace velcora::platform
