// The main window's phrases, command buttons and gestures: building their
// panels, the Ctrl hot keys of the history, and the gesture recorder's share
// of the tick and of saving the settings.
#include <QApplication>
#include <QKeyEvent>

#include "console/gui/command_panel.h"
#include "console/gui/gesture_panel.h"
#include "console/gui/main_form.h"
#include "console/gui/phrase_panel.h"

namespace velcora::gui {

using namespace velcora::ui;

namespace {

// The letter or digit at a hardware key position (X11 and Wayland key codes,
// the kernel's plus 8): under a Cyrillic layout Ctrl+Q still means the key
// where Q is.
char HotKeyAtScanCode(quint32 code) {
    if (code < 8)
        return 0;
    static const char kDigits[] = "1234567890";  // kernel codes 2..11
    static const char kRow1[] = "QWERTYUIOP";    // 16..25
    static const char kRow2[] = "ASDFGHJKL";     // 30..38
    static const char kRow3[] = "ZXCVBNM";       // 44..50
    const quint32 k = code - 8;
    if (k >= 2 && k <= 11)
        return kDigits[k - 2];
    if (k >= 16 && k <= 25)
        return kRow1[k - 16];
    if (k >= 30 && k <= 38)
        return kRow2[k - 30];
    if (k >= 44 && k <= 50)
        return kRow3[k - 44];
    return 0;
}

// Ctrl plus a letter or digit while the main window (or a tool window in it)
// is active goes to the phrase history first.
class HotKeyFilter : public QObject {
  public:
    explicit HotKeyFilter(CMainForm* form) : form_(form) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            const auto mods = k->modifiers() & ~Qt::KeypadModifier;
            if (mods == Qt::ControlModifier && !k->isAutoRepeat() &&
                QApplication::activeWindow() == form_->Widget() &&
                form_->PhraseHotKey(k->key(), k->nativeScanCode()))
                return true;
        }
        return QObject::eventFilter(watched, e);
    }

  private:
    CMainForm* form_;
};

}  // namespace

void CMainForm::BuildPhrases(CVelContainer* column) {
    IRobotLink& link = connection_;
    phrases_ = std::make_unique<CPhrases>(
        link, settings_, [this] { return controller_->SaveSettingsNow(); },
        [this](int32_t ms) { controller_->SetFocusCountdown(ms); });
    commandButtons_ = std::make_unique<CCommandButtons>(link, ini_);
    commandButtons_->Load();
    // The gestures exist with the panel hidden too: the service window
    // records them, and they are kept in the file.
    gestures_ = std::make_unique<CGestures>(link, ini_);
    gestures_->Load();
    gestureRecorder_ = std::make_unique<CGestureRecorder>(link, *gestures_);
    recorderTick_ = controller_->OnTick(
        TickStage::Late, [this](uint32_t now, int32_t) { gestureRecorder_->Tick(now); });
    controller_->AddSaveHook([this](IniFile& ini) { gestures_->WriteTo(ini); });

    phrasePanel_ = new CPhrasePanel(this, kAlignBottom, 0, 170, *phrases_, settings_, ini_);
    phrasePanel_->SetFont(boldFont_);
    phrasePanel_->List()->SetFont(font_);
    phrasePanel_->Box()->SetFont(font_);
    phraseBox_ = phrasePanel_->Box();
    // Above the phrases.
    commandPanel_ = new CCommandPanel(this, kAlignBottom, 0, 48, *commandButtons_);
    commandPanel_->SetFont(boldFont_);
    commandPanel_->SetButtonFont(smallFont_);
    if (settings_.gestures) {
        gesturePanel_ =
            new CGesturePanel(column, kAlignClient, 0, 0, *gestures_, settings_,
                              [this](int32_t ms) { controller_->SetFocusCountdown(ms); });
        gesturePanel_->SetFont(boldFont_);
        gesturePanel_->SetMargin(2);
        gesturePanel_->SetButtonFont(font_);
    }
    hotKeyFilter_ = std::make_unique<HotKeyFilter>(this);
    qApp->installEventFilter(hotKeyFilter_.get());
}

void CMainForm::DestroyPhrases() {
    if (hotKeyFilter_)
        qApp->removeEventFilter(hotKeyFilter_.get());
    recorderTick_.Reset();
    // The panels point into the controllers, which go first with the window's
    // members; the panels go now.
    for (CVelControl* c :
         std::initializer_list<CVelControl*>{phrasePanel_, commandPanel_, gesturePanel_}) {
        if (c)
            c->Destroy();
    }
    phrasePanel_ = nullptr;
    commandPanel_ = nullptr;
    gesturePanel_ = nullptr;
    phraseBox_ = nullptr;
}

bool CMainForm::PhraseBoxEditing() const {
    return phrasePanel_ && phrasePanel_->Editing();
}

bool CMainForm::PhraseHotKey(int key, quint32 nativeScanCode) {
    if (!phrases_)
        return false;
    char c = 0;
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        c = static_cast<char>(key);
    else if (key > 0x7F)
        c = HotKeyAtScanCode(nativeScanCode);
    if (c == 0)
        return false;
    return phrases_->SpeakHotKey(c);
}

}  // namespace velcora::gui
