#include "console/gui/main_form.h"

#include <QDateTime>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <filesystem>

#include "chatbot/gui/chatbot_form.h"
#include "console/gui/command_panel.h"
#include "console/gui/cyclogram_panel.h"
#include "console/gui/manual_form.h"
#include "console/gui/motor_dialogs.h"
#include "console/gui/phrase_panel.h"
#include "cyclogram/gui/cyclogram_view.h"
#include "cyclogram/gui/env_view.h"
#include "files/gui/file_manager_form.h"
#include "link/control_commands.h"
#include "link/text_codec.h"
#include "media/gui/remote_desktop_form.h"
#include "media/gui/telnet_form.h"
#include "nav/gui/map_view_box.h"
#include "platform/qt_font_preload.h"
#include "platform/startup_trace.h"
#include "ui/vel_joy.h"
#include "ui/vel_tab_control.h"

namespace velcora::gui {

using namespace velcora::ui;

namespace {

QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

const QColor kFormColor(0xEE, 0xF1, 0xF5);
// The window's text; its small text is a pixel smaller.
const QString kFontFamily(QStringLiteral("DejaVu Sans"));
constexpr int kFontPixels = 13;

constexpr int kRowH = 26;
// The video column: its width at start, and what the bar beside it keeps for
// it and for the document area.
constexpr int kVideoColumnWidth = 420;
constexpr int kMinVideoColumn = 160;
constexpr int kMinDocumentArea = 320;

// The Latin key at a hardware key position (X11 and Wayland key codes, which
// are the kernel's codes plus 8), for the keys the console uses; 0 for others.
char LatinAtScanCode(quint32 code) {
    if (code < 8)
        return 0;
    static const char kRow1[] = "qwertyuiop";  // kernel codes 16..25
    static const char kRow2[] = "asdfghjkl";   // 30..38
    static const char kRow3[] = "zxcvbnm,.";   // 44..52
    const quint32 k = code - 8;
    if (k >= 16 && k <= 25)
        return kRow1[k - 16];
    if (k >= 30 && k <= 38)
        return kRow2[k - 30];
    if (k >= 44 && k <= 52)
        return kRow3[k - 44];
    return 0;
}

// Keys pressed on the drive joystick and the head controls go to the window
// before the control sees them.
class KeyFilter : public QObject {
  public:
    explicit KeyFilter(CMainForm* form) : form_(form) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
            auto* k = static_cast<QKeyEvent*>(e);
            int key = k->key();
            // With a Cyrillic layout the letters arrive as Cyrillic keys; the
            // drive keys mean places on the keyboard, so take the Latin key
            // at the same place.
            if (key > 0x7F) {
                if (const char latin = LatinAtScanCode(k->nativeScanCode()))
                    key = latin;
            }
            if (form_->DriveKey(key, k->modifiers(), k->isAutoRepeat(),
                                e->type() == QEvent::KeyPress))
                return true;
        }
        return QObject::eventFilter(watched, e);
    }

  private:
    CMainForm* form_;
};

}  // namespace

std::vector<QFont> CMainForm::FirstFrameFonts() {
    // Fallbacks are looked up per family list, so one size of each does.
    return {CVelFont::Describe(kFontFamily, kFontPixels), ui::CVelJoy::PercentFont(),
            QGuiApplication::font()};
}

CMainForm::CMainForm(platform::Reactor& reactor, std::string iniPath,
                     const std::vector<WindowRect>* screens, platform::IAudioInput* microphone)
    : CVelForm(PackPosition(60, 40), kDefaultWidth, kDefaultHeight,
               QStringLiteral("Velcora — пульт оператора")),
      reactor_(reactor),
      ini_(std::move(iniPath)),
      connection_(reactor, dispatcher_, &relay_),
      meter_(microphone ? *microphone : systemMicrophone_),
      recorder_(meter_) {
    platform::StartupMark("form members");
    // Settings first: they decide which panels exist.
    ini_.Load();
    LoadSettings(ini_, settings_);
    platform::StartupMark("settings");
    connection_.SetPassword(Utf8ToWide(settings_.password));
    controller_ = std::make_unique<CMainController>(connection_, connectionControl_, settings_,
                                                    ini_, *this, reactor_.Now());
    relay_.target = controller_.get();
    platform::StartupMark("controller");
    tools_ = std::unique_ptr<ToolContext>(
        new ToolContext{reactor_, connection_, settings_, ini_, *controller_,
                        [this] { return controller_->SaveSettingsNow(); },
                        std::filesystem::path(ini_.Path()).parent_path().string()});

    AddAccelerator(QKeySequence(Qt::Key_F9), kCmdToggleConnect);
    AddAccelerator(QKeySequence(Qt::Key_F3), kCmdFocusDrive);
    AddAccelerator(QKeySequence(Qt::Key_F4), kCmdFocusPhrase);

    // The font configuration may still be being read on the program's preload
    // thread; measuring a font now would read it a second time beside it.
    platform::AwaitFontConfiguration();
    font_ = CVelFont::Create(kFontFamily, kFontPixels);
    boldFont_ = CVelFont::Create(kFontFamily, kFontPixels, true);
    smallFont_ = CVelFont::Create(kFontFamily, kFontPixels - 1);
    SetFont(font_);
    SetColor(kFormColor);
    SetMargin(6);
    platform::StartupMark("fonts");

    status_ = new CVelStatusBar(this, {{300, true}, {150}, {80}, {80}, {80}, {80}, {230}});
    status_->SetPaneText(1, QStringLiteral("Вх.поток (кБит/сек):"));
    status_->SetPaneText(2, QStringLiteral("0.00"));
    status_->SetPaneText(3, QStringLiteral("Батарея:"));

    keyFilter_ = std::make_unique<KeyFilter>(this);
    BuildToolbar();
    // The fields start with what was used last.
    ConnectionFields stored;
    stored.connectionType = settings_.connectionType == 1 ? 1 : 0;
    stored.host = stored.connectionType == 1 ? settings_.pipeHost : settings_.host;
    stored.port = stored.connectionType == 1 ? settings_.pipePort : settings_.port;
    stored.password = settings_.password;
    SetFields(stored);
    auto* column = new CVelPanel(this, kAlignLeft, 300, 0);
    column->SetColor(kFormColor);
    if (settings_.wheelPanel)
        chassis_ = new CChassisPanel(column, Panels());
    modes_ = new CModesPanel(column, Panels());
    emotions_ = new CEmotionPanel(column, Panels());
    BuildSound(column);
    auto* second = new CVelPanel(this, kAlignLeft, 220, 0);
    second->SetColor(kFormColor);
    if (settings_.head)
        head_ = new CHeadPanel(second, Panels());
    if (settings_.lift)
        lift_ = new CLiftPanel(second, Panels());
    if (settings_.tray)
        tray_ = new CTrayPanel(second, Panels());
    BuildWorkArea(second);
    PlaceWindow(screens);
    RegisterTools();
    platform::StartupMark("panels");

    controller_->SetPanelTick([this](int32_t elapsed) { TickPanels(elapsed); });
    controller_->Refresh();
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { TickNow(); });
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.start(CMainController::kTickMs);
}

CMainForm::~CMainForm() {
    timer_.stop();
    DestroyTools();
    DestroyPhrases();
    DestroyCyclogramPage();
    controller_->SetPanelTick(nullptr);
    // The reception hands pictures to the panels: it goes first. The panels
    // and the sound controls use the connection, which goes before the
    // window's children would.
    reception_.reset();
    for (auto*& p : videoPanels_) {
        if (p)
            p->Destroy();
        p = nullptr;
    }
    if (sound_)
        sound_->Destroy();
    sound_ = nullptr;
    player_.Close();
    relay_.target = nullptr;
    relay_.onAddress = nullptr;
    relay_.onDisconnect = nullptr;
    connection_.Disconnect();
    // After the disconnect, so that the recording ends with it.
    recording_.Stop();
    if (font_)
        font_->Release();
    if (boldFont_)
        boldFont_->Release();
    if (smallFont_)
        smallFont_->Release();
}

CVelGroupBox* CMainForm::Group(CVelContainer* owner, uint32_t place, int w, int h,
                               const QString& caption) {
    auto* g = new CVelGroupBox(owner, place, w, h, caption);
    g->SetFont(boldFont_);
    g->SetMargin(2);
    return g;
}

void CMainForm::Bind(CVelControl* c, int id) {
    c->SetId(id);
    c->SetFont(font_);
}

PanelContext CMainForm::Panels() {
    return {*controller_, settings_, font_, boldFont_, keyFilter_.get()};
}

void CMainForm::BuildToolbar() {
    auto* bar = connectionBar_ =
        new CConnectionBar(this, Panels(), settings_, [this](bool down) { ToggleRecording(down); });
    // Tool windows on a row of their own, in this order: telnet, remote
    // desktop, file manager, chat-bot editor, service. The row is laid out
    // once, at the window's first size, so sharing the connection row would
    // hide the last buttons of a narrow window.
    bar->FlowNewRow();
    AddToolButton(bar, QStringLiteral("Telnet"), QStringLiteral("Открыть telnet на робота"),
                  "telnet");
    if (settings_.remoteDesktop)
        AddToolButton(bar, QStringLiteral("Удаленный рабочий стол"),
                      QStringLiteral("Рабочий стол компьютера робота"), "desktop");
    if (settings_.remoteDesktop)
        AddToolButton(bar, QStringLiteral("Файловый менеджер"),
                      QStringLiteral("Файлы на диске робота"), "files");
    if (settings_.remoteDesktop)
        AddToolButton(bar, QStringLiteral("Редактор чат-бота"),
                      QStringLiteral("Редактор сценариев диалога робота"), "chatbot");
    if (settings_.ServiceButton())
        AddToolButton(bar, QStringLiteral("Сервисное обслуживание"),
                      QStringLiteral("Ручное управление моторами и запись жестов"), "service");
    bar->Widget()->setFixedHeight(toolButtons_.empty() ? 60 : 60 + kRowH + 8);
}

void CMainForm::BuildWorkArea(CVelContainer* second) {
    if (settings_.mapPanel && !settings_.locked) {
        auto* map = Group(second, kAlignTop, 0, 60, QStringLiteral("Карта"));
        AddToolButton(map, QStringLiteral("Окно карты"),
                      QStringLiteral("Открыть окно карты или показать открытое"), "map");
    }
    if (settings_.cyclograms) {
        // The robot's cyclograms, to run one whole or open it on its page.
        // It takes the rest of the column, so that a short window shrinks
        // the list rather than hiding the buttons under it; the gestures
        // panel, when there is one, takes that place instead.
        cyclogramPanel_ = new CCyclogramPanel(second, settings_.gestures ? kAlignTop : kAlignClient,
                                              0, 220, [this] { SelectWorkPage(1); });
        cyclogramPanel_->SetFont(boldFont_);
        cyclogramPanel_->SetMargin(2);
        cyclogramPanel_->List()->SetFont(font_);
        // The column is narrow: the smaller font keeps the captions whole.
        cyclogramPanel_->SetButtonFont(smallFont_);
    }
    // Phrases along the bottom, under the cameras and the document area.
    BuildPhrases(second);
    // The cameras in a column of their own; a bar shares the room between them
    // and the tool windows' document area, which takes what is left.
    // With cyclograms on, the cameras share the column with the cyclogram
    // page as two tabs.
    CVelPanel* videos = nullptr;
    CVelControl* column = nullptr;
    if (settings_.cyclograms) {
        workTabs_ = new CVelTabControl(this, kAlignLeft, kVideoColumnWidth, 0, kCmdWorkTabs);
        workTabs_->SetColor(kFormColor);
        workTabs_->SetFont(font_);
        videos = workTabs_->AddPage(QStringLiteral("Видео"));
        column = workTabs_;
    } else {
        videos = new CVelPanel(this, kAlignLeft, kVideoColumnWidth, 0);
        column = videos;
    }
    videos->SetColor(kFormColor);
    videos_ = videos;
    videoColumn_ = column;
    videoSplitter_ =
        new CVelSplitter(this, kAlignLeft, 6, column, kMinVideoColumn, kMinDocumentArea);
    videoSplitter_->SetColor(kFormColor);
    videoSplitter_->SetHint(QStringLiteral("Перетащите, чтобы изменить ширину видео"));
    EnableMDI();
    MdiArea()->setBackground(QColor(0x9A, 0xA3, 0xAE));
    // The two cameras one above the other; the resize handler shares the
    // height between them.
    for (int i = 0; i < 2; ++i) {
        videoPanels_[i] = new media::CVideoPanel(
            videos, i == 0 ? kAlignTop : kAlignClient, media::CVideoPanel::kDefaultWidth,
            media::CVideoPanel::kDefaultHeight, connection_, settings_.camera[i],
            settings_.bitrate[i], settings_.locked);
        videoPanels_[i]->SetFont(smallFont_);
    }
    reception_ = std::make_unique<media::CVideoReception>(
        connection_,
        std::vector<media::CVideoPanelControl*>{&videoPanels_[0]->Control(),
                                                &videoPanels_[1]->Control()},
        media::RangefinderLimits{settings_.rangeNear, settings_.rangeFar, settings_.forwardNear,
                                 settings_.forwardFar});
    for (auto* p : videoPanels_)
        p->SetReception(reception_.get());
    if (workTabs_)
        BuildCyclogramPage(workTabs_->AddPage(QStringLiteral("Циклограммы")));
}

void CMainForm::BuildCyclogramPage(CVelPanel* page) {
    page->SetColor(kFormColor);
    cyclogramView_ = new cyclogram_gui::CCyclogramView(
        page, kAlignClient, connection_, waves_, Tools().settingsDir,
        settings_.locked || settings_.cyclogramLocked);
    cyclogramView_->SetFont(smallFont_);
    cyclogramView_->EnvView()->SetTrackerDialogs(
        [this](EnvTracker& tracker) {
            return CMotorEditDialog::Run(connection_, reactor_, tracker);
        },
        [](CEnvironmentEditor& editor, int32_t index) {
            if (index < 0 || index >= editor.Env().count())
                return;
            // The dialog works on a copy; each change goes through the editor
            // so the time line records it as a drag would.
            EnvTracker tracker = editor.Env().trackers[static_cast<std::size_t>(index)];
            CTrackValueDialog::Run(tracker, [&editor, index](float position) {
                if (index < editor.Env().count())
                    editor.SetPosition(index, position);
            });
        });
    if (cyclogramPanel_)
        cyclogramPanel_->Attach(*cyclogramView_);
    cyclogramState_ = controller_->OnStateChanged([this](int32_t state) {
        if (cyclogramView_)
            cyclogramView_->OnConnectionState(state == kStateAuthorised);
    });
    workTabs_->SetActivePage(0);
}

CVelListBox* CMainForm::CyclogramList() const {
    return cyclogramPanel_ ? cyclogramPanel_->List() : nullptr;
}

void CMainForm::DestroyCyclogramPage() {
    cyclogramState_.Reset();
    if (cyclogramView_)
        cyclogramView_->Destroy();
    cyclogramView_ = nullptr;
}

void CMainForm::SelectWorkPage(int page) {
    if (!workTabs_ || page < 0 || page >= workTabs_->PageCount())
        return;
    if (workTabs_->ActivePage() != page)
        workTabs_->SetActivePage(page);
    // The cyclogram page takes most of the width; the cameras get theirs back.
    if (page == 1) {
        videoColumnWidth_ = workTabs_->Geometry().width();
        videoSplitter_->MoveTo(100000);
    } else if (videoColumnWidth_ > 0) {
        videoSplitter_->MoveTo(videoColumnWidth_);
    }
    if (cyclogramView_)
        cyclogramView_->SetPageActive(page == 1);
}

// ---- tool windows ----------------------------------------------------------------------

void CMainForm::RegisterTools() {
    // The cyclograms are a page of the work area, not a window: opening them shows the page.
    if (workTabs_)
        RegisterTool("cyclograms", [this]() -> CVelMDIChildForm* {
            SelectWorkPage(1);
            return nullptr;
        });
    // One line per tool window.
    RegisterTool("map", [this] { return new nav::CMapViewBox(this, Tools()); });
    RegisterTool("telnet", [this] { return new media::CTelnetForm(this, Tools()); });
    RegisterTool("desktop", [this] { return new media::CRemoteDesktopForm(this, Tools()); });
    RegisterTool("files", [this] { return new files::CFileManagerForm(this, Tools()); });
    RegisterTool("chatbot", [this] { return new chatbot::CChatBotForm(this, Tools()); });
    RegisterTool("service",
                 [this] { return new CManualForm(this, Tools(), *gestureRecorder_, *gestures_); });
    // The link hands the telnet console the robot's address and its end.
    relay_.onAddress = [this](uint32_t address) {
        if (auto* telnet = dynamic_cast<media::CTelnetForm*>(FindTool("telnet")))
            telnet->OnRobotAddress(address);
    };
    relay_.onDisconnect = [this] {
        if (auto* telnet = dynamic_cast<media::CTelnetForm*>(FindTool("telnet")))
            telnet->OnOperatorDisconnect();
    };
}

void CMainForm::RegisterTool(std::string name, std::function<CVelMDIChildForm*()> create) {
    toolKinds_.push_back({std::move(name), std::move(create), nullptr});
}

std::vector<std::string> CMainForm::ToolNames() const {
    std::vector<std::string> out;
    for (const auto& k : toolKinds_)
        out.push_back(k.name);
    return out;
}

CVelMDIChildForm* CMainForm::FindTool(std::string_view name) const {
    for (const auto& k : toolKinds_) {
        if (k.name == name)
            return k.open.data();
    }
    return nullptr;
}

CVelMDIChildForm* CMainForm::OpenTool(std::string_view name) {
    for (std::size_t i = 0; i < toolKinds_.size(); ++i) {
        if (toolKinds_[i].name != name)
            continue;
        if (toolKinds_[i].creating)
            return nullptr;
        if (!toolKinds_[i].open) {
            toolKinds_[i].creating = true;
            CVelMDIChildForm* made = toolKinds_[i].create();
            toolKinds_[i].creating = false;
            toolKinds_[i].open = made;
        }
        QPointer<CVelMDIChildForm> open = toolKinds_[i].open;
        ActivateMdiChild(open.data());
        if (open)
            open->SetFocus();
        return open.data();
    }
    return nullptr;
}

CVelButton* CMainForm::AddToolButton(CVelContainer* bar, const QString& caption,
                                     const QString& hint, std::string tool) {
    const int width = QFontMetrics(font_->Font()).horizontalAdvance(caption) + 20;
    auto* b = new CVelButton(bar, kPlaceFlow, width, kRowH, caption);
    b->SetHint(hint);
    Bind(b, kCmdToolButtonFirst + static_cast<int>(toolButtons_.size()));
    toolButtons_.push_back(std::move(tool));
    return b;
}

void CMainForm::DestroyTools() {
    // Tool windows hold registrations with the dispatcher and subscriptions
    // with the controller: they go while both still exist.
    for (CVelMDIChildForm* c : MdiChildren()) {
        if (QMdiSubWindow* sub = c->SubWindow())
            delete sub;
        else
            c->Destroy();
    }
}

void CMainForm::BuildSound(CVelContainer* column) {
    auto* g = Group(column, kAlignTop, 0, 126, QStringLiteral("Звук"));
    sound_ = new media::CSoundControls(
        g, kAlignClient, 0, 0, connection_, player_, recorder_, settings_,
        [this] { controller_->SaveSettingsNow(); }, &meter_);
    sound_->SetFont(smallFont_);
    // The settings entry is in each button's menu; say so where it exists.
    if (!settings_.locked) {
        sound_->RobotSoundButton()->SetHint(
            QStringLiteral("Передача звука от робота (правая кнопка — «Настройка звука...»)"));
        sound_->MicrophoneButton()->SetHint(QStringLiteral(
            "Включить локальный микрофон, Shift — пока нажата (правая кнопка — «Настройка "
            "звука...»)"));
    }
}

void CMainForm::TickPanels(int32_t elapsedMs) {
    for (auto* p : videoPanels_) {
        if (p)
            p->Tick(elapsedMs);
    }
    if (sound_)
        sound_->Tick(elapsedMs);
    if (cyclogramView_)
        cyclogramView_->Tick(elapsedMs);
}

void CMainForm::PlaceWindow(const std::vector<WindowRect>* screens) {
    std::vector<WindowRect> monitors;
    if (screens) {
        monitors = *screens;
    } else {
        for (QScreen* s : QGuiApplication::screens()) {
            const QRect g = s->geometry();
            monitors.push_back({g.left(), g.top(), g.width(), g.height()});
        }
    }
    const QRect g = Widget()->geometry();
    WindowRect fallback{g.left(), g.top(), g.width(), g.height()};
    if (!monitors.empty())
        fallback = DefaultWindowRect(monitors.front(), fallback);
    const WindowRect r = StoredWindowRect(settings_, fallback, monitors).value_or(fallback);
    Widget()->setGeometry(r.left, r.top, r.width, r.height);
    // The cameras take a third of what the control columns leave, within
    // limits; the document area the rest.
    const int rest = Widget()->width() - 2 * Margin() - 300 - 220;
    videoSplitter_->MoveTo(std::clamp(rest / 3, 236, 440));
    if (settings_.windowMaximised)
        Widget()->setWindowState(Widget()->windowState() | Qt::WindowMaximized);
}

void CMainForm::SetTimerRunning(bool on) {
    if (on)
        timer_.start(CMainController::kTickMs);
    else
        timer_.stop();
}

void CMainForm::TickNow() {
    controller_->Tick(reactor_.Now());
    ShowRecording();
}

bool CMainForm::StartRecording(const std::string& path, int64_t maxBytes, std::string& error) {
    std::string file = path;
    if (file.empty()) {
        // A fresh file named by the time, in the program's data folder.
        QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
        if (folder.isEmpty())
            folder = QDir::homePath() + QStringLiteral("/.local/share/velcora");
        file = NewRecordingPath((folder + QStringLiteral("/sessions")).toStdString(),
                                QDateTime::currentSecsSinceEpoch());
    }
    RecorderOptions o;
    o.path = file;
    o.maxFileBytes = maxBytes;
    o.consoleVersion = recordedVersion_;
    recordMaxBytes_ = maxBytes;
    const bool ok = recording_.Start(std::move(o), reactor_.Now(), error);
    if (RecordButton()->Down() != ok)
        RecordButton()->SetDown(ok);
    ShowRecording();
    return ok;
}

void CMainForm::StopRecording() {
    // The writer finishes on a thread of its own: a slow disk never holds
    // the window; the tick reports how it went.
    recording_.StopSoon();
    if (RecordButton()->Down())
        RecordButton()->SetDown(false);
    ShowRecording();
}

void CMainForm::ToggleRecording(bool on) {
    if (on && !recording_.Active()) {
        std::string error;
        if (!StartRecording({}, recordMaxBytes_, error))
            ShowErrorBox("Запись сеанса не начата: " + error);
    } else if (!on && recording_.Active()) {
        StopRecording();
    }
}

void CMainForm::ShowRecording() {
    std::string error;
    if (recording_.Closing() && !recording_.PollClosed(error))
        ShowErrorBox("Запись сеанса не сохранена полностью: " + error);
    const std::string text = recording_.StatusText(reactor_.Now());
    if (text == recordingText_)
        return;
    recordingText_ = text;
    status_->SetPaneText(6, Q(text));
    if (auto* r = recording_.Recorder())
        status_->SetHint(Q("Файл записи: " + r->CurrentPath()));
}

bool CMainForm::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && Command(e))
        return true;
    // The command buttons wrap into as many rows as the width needs.
    if (e.kind == VelEventKind::Resized && commandPanel_ && e.control == commandPanel_) {
        commandPanel_->FitHeight();
        return false;
    }
    // The two cameras share their area equally.
    if (e.kind == VelEventKind::Resized && e.control == videos_ && videoPanels_[0]) {
        auto* top = videoPanels_[0];
        const int half = std::max(60, e.pos.y() / 2 - 3);
        if (top->Geometry().height() != half)
            top->SetSize(top->Geometry().width(), half);
        return false;
    }
    return CVelForm::HandleEvent(e);
}

bool CMainForm::Command(const VelEvent& e) {
    auto& c = *controller_;
    const int id = e.id;
    if (id == kCmdWorkTabs && workTabs_) {
        SelectWorkPage(workTabs_->ActivePage());
        return true;
    }
    if (id >= kCmdToolButtonFirst &&
        id < kCmdToolButtonFirst + static_cast<int>(toolButtons_.size())) {
        OpenTool(toolButtons_[static_cast<std::size_t>(id - kCmdToolButtonFirst)]);
        return true;
    }
    switch (id) {
        case kCmdToggleConnect:
            c.ToggleConnect(Fields());
            return true;
        case kCmdFocusDrive:
            FocusDriveJoystick();
            return true;
        case kCmdFocusPhrase:
            if (phraseBox_)
                phraseBox_->SetFocus();
            return true;
        default:
            return false;
    }
}

bool CMainForm::DriveKey(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat, bool down) {
    // Shift is push-to-talk; the sound controls tell Ctrl apart themselves,
    // and a release always reaches them so that the microphone closes.
    if (sound_ &&
        (down ? sound_->KeyDown(key, modifiers, autoRepeat) : sound_->KeyUp(key, autoRepeat)))
        return true;
    if (modifiers & Qt::ControlModifier)
        return false;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (!down && phraseBox_)
            phraseBox_->SetFocus();
        return true;
    }
    if (key <= 0 || key > 0x7F)
        return false;
    const auto console = ConsoleKeyFor(static_cast<char32_t>(key));
    if (!console)
        return false;
    // Qt repeats a held key as release and press pairs; only the press counts.
    if (!down && autoRepeat)
        return true;
    if (down)
        controller_->Keys().KeyDown(*console);
    else
        controller_->Keys().KeyUp(*console);
    return true;
}

bool CMainForm::CanClose(int code) {
    // A tool window with unsaved work may keep the console open.
    for (CVelMDIChildForm* c : MdiChildren()) {
        if (!c->AskClose(code))
            return false;
    }
    if (cyclogramView_ && !cyclogramView_->CanClose())
        return false;
    for (int i = 0; i < 2; ++i) {
        if (videoPanels_[i]) {
            settings_.camera[i] = videoPanels_[i]->Camera();
            settings_.bitrate[i] = videoPanels_[i]->BitRate();
        }
    }
    QWidget* w = Widget();
    const QRect r = w->isMaximized() ? w->normalGeometry() : w->geometry();
    controller_->Close({r.left(), r.top(), r.width(), r.height()}, w->isMaximized());
    return true;
}

// ---- what the controller shows ---------------------------------------------------------

void CMainForm::ShowConnectionStatus(const std::string& text) {
    status_->SetPaneText(0, Q(text));
}

void CMainForm::ShowIncomingRate(const std::string& text) {
    status_->SetPaneText(2, Q(text));
}

void CMainForm::ShowBattery(const std::u16string& text) {
    status_->SetPaneText(4, QString::fromStdU16String(text));
}

void CMainForm::ShowHeight(const std::u16string& text) {
    if (lift_)
        lift_->ShowHeight(QString::fromStdU16String(text));
}

void CMainForm::ShowRandomWalk(bool on) {
    modes_->ShowRandomWalk(on);
}

void CMainForm::ShowAutoMode(bool on) {
    modes_->ShowAutoMode(on);
}

void CMainForm::ShowQrMode(bool on) {
    modes_->ShowQrMode(on);
}

void CMainForm::ApplyEnabling(const MainEnabling& e) {
    connectionBar_->ApplyEnabling(e.connectionFields, e.connectDown);
    if (chassis_)
        chassis_->ApplyEnabling(e.robotControls);
    modes_->ApplyEnabling(e.robotControls);
    if (head_)
        head_->ApplyEnabling(e.robotControls);
    if (lift_)
        lift_->ApplyEnabling(e.robotControls);
    if (tray_)
        tray_->ApplyEnabling(e.robotControls);
    // The phrase box, the say button and the command buttons.
    if (phrasePanel_)
        phrasePanel_->ApplyEnabling(e.robotControls);
    if (commandPanel_)
        commandPanel_->ApplyEnabling(e.robotControls);
}

void CMainForm::ShowErrorBox(const std::string& text) {
    ShowError(Q(text));
}

void CMainForm::FocusDriveJoystick() {
    if (chassis_)
        chassis_->DriveJoy()->SetFocus();
}

void CMainForm::ShowLiftButtons(bool raiseDown, bool lowerDown) {
    if (lift_)
        lift_->ShowButtons(raiseDown, lowerDown);
}

void CMainForm::ShowTrayButtons(bool raiseDown, bool lowerDown) {
    if (tray_)
        tray_->ShowButtons(raiseDown, lowerDown);
}

void CMainForm::ShowAutobalance(bool on) {
    if (tray_)
        tray_->ShowAutobalance(on);
}

void CMainForm::ShowEmotion(int emotion) {
    emotions_->ShowEmotion(emotion);
}

void CMainForm::ShowDrive(float x, float y) {
    if (chassis_)
        chassis_->ShowDrive(x, y);
}

void CMainForm::ShowSmoothRide(bool on) {
    if (chassis_)
        chassis_->ShowSmoothRide(on);
}

void CMainForm::ShowMoveMode(MoveMode mode) {
    if (chassis_)
        chassis_->ShowMoveMode(mode);
}

void CMainForm::ShowHead(float x, float y, float z) {
    if (head_)
        head_->ShowHead(x, y, z);
}

void CMainForm::ShowHeadSlider(int16_t value) {
    if (head_)
        head_->ShowHeadSlider(value);
}

void CMainForm::ShowStick(float x, float y, float r) {
    if (chassis_)
        chassis_->ShowStick(x, y, r);
}

}  // namespace velcora::gui
