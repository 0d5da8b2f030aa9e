#include "nav/gui/map_view_box.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include "link/settings.h"
#include "ui/vel_dialogs.h"

namespace velcora::nav {

namespace {

constexpr int kBarHeight = 80;  // two rows of buttons with the flow's gaps
constexpr int kButtonHeight = 26;
const QString kFileFilter = QStringLiteral("navm (*.navm)");

QString Q16(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

// R switches recording wherever the main window has the keyboard, by the
// key's place like the drive keys, but never while a text field takes letters.
class RecordKeyFilter : public QObject {
  public:
    RecordKeyFilter(CMapViewBox* box, QWidget* frame) : box_(box), frame_(frame) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress) {
            return QObject::eventFilter(watched, e);
        }
        auto* k = static_cast<QKeyEvent*>(e);
        if (!IsR(*k) || k->isAutoRepeat() ||
            (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            return QObject::eventFilter(watched, e);
        }
        // The widget the key went to: the focus widget, or whatever a
        // program sent it to.
        auto* target = qobject_cast<QWidget*>(watched);
        if (!target || !frame_ || target->window() != frame_->window() || TakesText(target)) {
            return QObject::eventFilter(watched, e);
        }
        // Not taken while it would do nothing (no connection).
        return box_->ToggleRecording();
    }

  private:
    static bool IsR(const QKeyEvent& k) {
        // X11 and Wayland report the kernel's key code plus 8; R is 19. The
        // Russian layout has "К" there.
        return k.key() == Qt::Key_R || k.key() == 0x041A || k.nativeScanCode() == 19 + 8;
    }
    static bool TakesText(QWidget* w) {
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
            qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w)) {
            return true;
        }
        auto* combo = qobject_cast<QComboBox*>(w);
        return combo && combo->isEditable();
    }

    CMapViewBox* box_;
    QPointer<QWidget> frame_;
};

RobotShape ShapeFrom(const CSettings& s) {
    return {s.halfWidth, s.frontSize, s.backSize};
}

}  // namespace

CMapViewBox::CMapViewBox(ui::CVelForm* frame, ToolContext& tools)
    : CVelMDIChildForm(frame, kDefaultWidth, kDefaultHeight, QStringLiteral("Карта")),
      context_(tools) {
    IMapEditorView& view = *this;
    editor_ = std::make_unique<CMapEditor>(tools.connection, view, ShapeFrom(tools.settings));
    font_ = ui::CVelFont::Create(QStringLiteral("DejaVu Sans"), 12);
    SetFont(font_);
    SetColor(QColor(0xEC, 0xEE, 0xF1));
    BuildToolBar();
    BuildStatusBar();
    view_ = new CMapView(this, ui::kAlignClient, 0, 0, *editor_);
    view_->SetKeyHandler(
        [this](int key, Qt::KeyboardModifiers m, quint32 scan) { return Key(key, m, scan); });
    BuildMenu();

    stateHook_ = tools.hooks.OnStateChanged([this](int32_t) { editor_->ConnectionStateChanged(); });
    tickHook_ =
        tools.hooks.OnTick(TickStage::Late, [this](uint32_t now, int32_t) { editor_->Tick(now); });
    subscriptionHook_ = tools.hooks.OnMapSubscription(
        [this](std::optional<MapSubscription>& map) { map = editor_->Subscription(); });
    recordKey_ = std::make_unique<RecordKeyFilter>(this, frame->Widget());
    qApp->installEventFilter(recordKey_.get());

    // The window is there to show the robot's map: it starts taking it, around
    // the robot.
    editor_->SetLoadFromRobot(true);
    editor_->SetCentreOnRobot(true);
    ShowTool(MapTool::Select);
    CommandsChanged();
}

CMapViewBox::~CMapViewBox() {
    qApp->removeEventFilter(recordKey_.get());
    stateHook_.Reset();
    tickHook_.Reset();
    subscriptionHook_.Reset();
    if (uploadForm_) {
        uploadForm_->Destroy();
    }
    if (downloadForm_) {
        downloadForm_->Destroy();
    }
    if (menu_) {
        menu_->Release();
    }
    if (font_) {
        font_->Release();
    }
    if (statusFont_) {
        statusFont_->Release();
    }
}

// ------------------------------------------------------------------ building

ui::CVelSpdBtn* CMapViewBox::Button(ui::CVelContainer* bar, const QString& caption,
                                    const QString& hint, int command, bool latching, int width) {
    if (width == 0) {
        width = QFontMetrics(font_->Font()).horizontalAdvance(caption) + 14;
    }
    auto* b = new ui::CVelSpdBtn(bar, ui::kPlaceFlow, width, kButtonHeight, caption, command);
    b->SetHint(hint);
    b->SetLatching(latching);
    toolBar_.push_back(b);
    return b;
}

void CMapViewBox::BuildToolBar() {
    auto* bar = new ui::CVelPanel(this, ui::kAlignTop, 0, kBarHeight);
    bar->SetColor(QColor(0xEC, 0xEE, 0xF1));
    bar->SetMargin(2);
    auto gap = [bar] {
        new ui::CVelSeparator(bar, ui::kPlaceFlow, 6, kButtonHeight, Qt::Vertical);
    };
    Button(bar, QStringLiteral("Новая"), QStringLiteral("Новая карта"), kCmdNew, false);
    Button(bar, QStringLiteral("Открыть"), QStringLiteral("Загрузить карту из файла"), kCmdLoad,
           false);
    Button(bar, QStringLiteral("Сохранить"), QStringLiteral("Сохранить карту как..."), kCmdSave,
           false);
    gap();
    loadFromRobot_ =
        Button(bar, QStringLiteral("С робота"), QStringLiteral("Загружать карту из памяти робота"),
               kCmdLoadFromRobot, true);
    upload_ = Button(bar, QStringLiteral("На робота"),
                     QStringLiteral("Загрузить карту в память робота"), kCmdUpload, false);
    gap();
    modes_[0] = Button(bar, QStringLiteral("Откл."), QStringLiteral("Отключить навигацию"),
                       kCmdModeOff, true);
    modes_[1] = Button(bar, QStringLiteral("Навиг."), QStringLiteral("Режим навигации"),
                       kCmdModeOff + 1, true);
    modes_[2] = Button(bar, QStringLiteral("Запись"), QStringLiteral("Режим записи карты"),
                       kCmdModeOff + 2, true);
    bar->FlowNewRow();
    static const char* const kPermissionCaptions[6] = {"Прод.", "Попер.", "Карт.",
                                                       "Ст.←",  "Ст.↑",   "Ст.→"};
    static const char* const kPermissionHints[6] = {
        "Режим записи продольных линий на полу",
        "Ражим записи поперечных линия на полу",
        "Разрешение записи картинок",
        "Разрешение создания стен при записи по левому дальномеру",
        "Разрешение создания стен при записи по переднему дальномеру",
        "Разрешение создания стен при записи по правому дальномеру",
    };
    for (int i = 0; i < 6; ++i) {
        permissions_[i] =
            Button(bar, QString::fromUtf8(kPermissionCaptions[i]),
                   QString::fromUtf8(kPermissionHints[i]), kCmdPermissionFirst + i, true);
        if (i == 2) {
            gap();
        }
    }
    gap();
    static const char* const kToolCaptions[4] = {"Выбор", "Обзор", "Зона", "Поворот"};
    static const char* const kToolHints[4] = {"Выделить и переместить", "Управление просмотром",
                                              "Нарисовать зону",
                                              "Инструмент поворота выделенной части карты"};
    for (int i = 0; i < 4; ++i) {
        tools_[i] = Button(bar, QString::fromUtf8(kToolCaptions[i]),
                           QString::fromUtf8(kToolHints[i]), kCmdToolFirst + i, true);
    }
    gap();
    Button(bar, QStringLiteral("Место"), QStringLiteral("Пометить место"), kCmdMarkPlace, false);
    centre_ = Button(bar, QStringLiteral("Центр"), QStringLiteral("Центрировать на роботе"),
                     kCmdCentre, true);
    gap();
    Button(bar, QStringLiteral("−"), QStringLiteral("Отдалить"), kCmdZoomOut, false, 28);
    Button(bar, QStringLiteral("+"), QStringLiteral("Приблизить"), kCmdZoomIn, false, 28);
}

void CMapViewBox::BuildMenu() {
    menu_ = ui::CVelPopupMenu::Create();
    menu_->AddItem(kCmdCopy, QStringLiteral("&Копировать\tCtrl+C"),
                   QKeySequence(Qt::CTRL | Qt::Key_C));
    menu_->AddItem(kCmdCut, QStringLiteral("В&ырезать\tCtrl+X"),
                   QKeySequence(Qt::CTRL | Qt::Key_X));
    menu_->AddItem(kCmdPaste, QStringLiteral("&Вставить\tCtrl+V"),
                   QKeySequence(Qt::CTRL | Qt::Key_V));
    menu_->AddItem(kCmdDelete, QStringLiteral("&Удалить\tDel"), QKeySequence(Qt::Key_Delete));
    menu_->AddSeparator();
    menu_->AddItem(kCmdGoTo, QStringLiteral("&Идти в это место"));
    QAction* properties = menu_->AddItem(kCmdProperties, QStringLiteral("&Свойства"));
    menu_->Menu()->setDefaultAction(properties);
    menu_->AddSeparator();
    menu_->AddItem(kCmdSelectLast, QStringLiteral("Выделить последние..."));
    menu_->AddItem(kCmdSelectAll, QStringLiteral("Выделить вс&е\tCtrl+A"),
                   QKeySequence(Qt::CTRL | Qt::Key_A));
    menu_->AddSeparator();
    menu_->AddItem(kCmdUndo, QStringLiteral("&Отменить\tCtrl+Z"),
                   QKeySequence(Qt::CTRL | Qt::Key_Z));
    menu_->AddItem(kCmdRedo, QStringLiteral("&Повторить\tCtrl+Y"),
                   QKeySequence(Qt::CTRL | Qt::Key_Y));
    view_->SetPopupMenu(menu_);
}

void CMapViewBox::BuildStatusBar() {
    std::vector<ui::CVelStatusBar::Pane> panes{{44}, {70}, {84}};
    for (std::size_t i = 0; i < kShownSensors.size(); ++i) {
        panes.push_back({22});
        panes.push_back({i + 1 == kShownSensors.size() ? 60 : 56, i + 1 == kShownSensors.size()});
    }
    status_ = new ui::CVelStatusBar(this, panes);
    statusFont_ = ui::CVelFont::Create(QStringLiteral("Arial"), 10);
    status_->SetFont(statusFont_);
    status_->SetPaneText(0, QStringLiteral("Разн.:"));
    status_->SetPaneText(2, QStringLiteral("Дальномеры:"));
    for (std::size_t i = 0; i < kShownSensors.size(); ++i) {
        status_->SetPaneText(static_cast<int>(3 + 2 * i),
                             QString::number(kShownSensors[i]) + QStringLiteral(":"));
    }
    ShowNavStatus({}, false);
}

// ------------------------------------------------------------------ commands

bool CMapViewBox::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::MenuUpdate && e.menu == menu_) {
        CommandsChanged();
        return true;
    }
    if (e.kind == ui::VelEventKind::Command && e.id >= kCmdNew && e.id <= kCmdRedo) {
        return Run(e.id);
    }
    return CVelMDIChildForm::HandleEvent(e);
}

bool CMapViewBox::Run(int command) {
    CMapEditor& ed = *editor_;
    if (command >= kCmdModeOff && command < kCmdModeOff + 3) {
        if (ed.Commands(false).navigation) {
            ed.SetMode(static_cast<NavMode>(command - kCmdModeOff));
        } else {
            ShowNavMode(ed.Mode());
        }
        return true;
    }
    if (command >= kCmdPermissionFirst && command < kCmdPermissionFirst + 6) {
        const int i = command - kCmdPermissionFirst;
        ed.SetPermission(kPermissionOrder[i], permissions_[i]->Down());
        return true;
    }
    if (command >= kCmdToolFirst && command < kCmdToolFirst + 4) {
        ed.SetTool(static_cast<MapTool>(command - kCmdToolFirst));
        view_->SetFocus();
        return true;
    }
    switch (command) {
        case kCmdNew:
            NewMap();
            return true;
        case kCmdLoad:
            Load();
            return true;
        case kCmdSave:
            Save();
            return true;
        case kCmdLoadFromRobot:
            ed.SetLoadFromRobot(loadFromRobot_->Down());
            return true;
        case kCmdUpload:
            ed.StartUpload();
            return true;
        case kCmdMarkPlace:
            ed.MarkPlace();
            return true;
        case kCmdCentre:
            ed.SetCentreOnRobot(centre_->Down());
            return true;
        case kCmdZoomOut:
            ed.ZoomOut();
            return true;
        case kCmdZoomIn:
            ed.ZoomIn();
            return true;
        case kCmdCopy:
            ed.Copy();
            return true;
        case kCmdCut:
            ed.Cut();
            return true;
        case kCmdPaste:
            Paste();
            return true;
        case kCmdDelete:
            ed.Delete();
            return true;
        case kCmdGoTo:
            ed.GoToPlace();
            return true;
        case kCmdProperties:
            Properties();
            return true;
        case kCmdSelectLast:
            SelectLast();
            return true;
        case kCmdSelectAll:
            ed.SelectAll();
            return true;
        case kCmdUndo:
            ed.Undo();
            return true;
        case kCmdRedo:
            ed.Redo();
            return true;
        default:
            return false;
    }
}

bool CMapViewBox::Key(int key, Qt::KeyboardModifiers modifiers, quint32) {
    const bool ctrl = (modifiers & Qt::ControlModifier) != 0;
    const bool shift = (modifiers & Qt::ShiftModifier) != 0;
    if (ctrl && key == Qt::Key_Z) {
        return Run(shift ? kCmdRedo : kCmdUndo);
    }
    if (ctrl && key == Qt::Key_Y) {
        return Run(kCmdRedo);
    }
    // The menu's shortcuts act on what the menu would offer now.
    CommandsChanged();
    return false;
}

bool CMapViewBox::ToggleRecording() {
    return editor_->ToggleRecording();
}

bool CMapViewBox::ClipboardHasMap() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasFormat(QString::fromLatin1(kMapMimeType));
}

void CMapViewBox::Paste() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(QString::fromLatin1(kMapMimeType))) {
        return;
    }
    const QByteArray bytes = data->data(QString::fromLatin1(kMapMimeType));
    editor_->Paste(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void CMapViewBox::Properties() {
    if (inDialog_) {
        return;
    }
    const auto values = editor_->Properties();
    if (!values) {
        return;
    }
    inDialog_ = true;
    QPointer<CVelControl> alive(this);
    const auto accepted = CMapPropertyForm::Run(*values);
    if (!alive) {
        return;
    }
    inDialog_ = false;
    if (accepted) {
        editor_->ApplyProperties(*accepted);
    }
}

void CMapViewBox::SelectLast() {
    QString value = QStringLiteral("5");
    if (ui::InputQuery(QStringLiteral("Выбрать последние"),
                       QStringLiteral("Введите количество последних эл-ов:"), value)) {
        editor_->SelectLast(value.toStdU16String());
    }
}

void CMapViewBox::NewMap() {
    if (ui::AskQuestion(QStringLiteral("Новая карта"),
                        QStringLiteral("Вы действительно хотите очистить всю карту?"),
                        ui::Buttons::YesNo, ui::Answer::No,
                        QMessageBox::Warning) == ui::Answer::Yes) {
        editor_->NewMap();
    }
}

void CMapViewBox::Load() {
    const QString path = ui::ChooseOpenFile(QStringLiteral("Загрузить карту из файла"), kFileFilter,
                                            QString::fromStdString(context_.settingsDir));
    if (!path.isEmpty()) {
        editor_->Load(path.toStdString());
    }
}

void CMapViewBox::Save() {
    const QString path =
        ui::ChooseSaveFile(QStringLiteral("Сохранить карту как..."), kFileFilter,
                           QStringLiteral("navm"), QString::fromStdString(context_.settingsDir));
    if (!path.isEmpty()) {
        editor_->SaveAs(path.toStdString());
    }
}

// ------------------------------------------------------------ what it shows

void CMapViewBox::ShowNavMode(NavMode mode) {
    for (int i = 0; i < 3; ++i) {
        modes_[i]->SetDown(static_cast<int>(mode) == i);
    }
}

void CMapViewBox::ShowRobotFlags(uint8_t flags) {
    const uint8_t bits = PermissionsFromFlags(flags);
    for (int i = 0; i < 6; ++i) {
        permissions_[i]->SetDown((bits & kPermissionOrder[i]) != 0);
    }
}

void CMapViewBox::ShowLoadFromRobot(bool on) {
    loadFromRobot_->SetDown(on);
}

void CMapViewBox::ShowCentreOnRobot(bool on) {
    centre_->SetDown(on);
}

void CMapViewBox::ShowNavStatus(const RobotNavStatus& status, bool emptyImage) {
    status_->SetPaneText(1, Q16(FormatDifference(status, emptyImage)));
    for (std::size_t i = 0; i < kShownSensors.size(); ++i) {
        status_->SetPaneText(static_cast<int>(4 + 2 * i),
                             Q16(FormatSensor(status, kShownSensors[i])));
    }
}

void CMapViewBox::ShowError(const std::u16string& text, int32_t ms) {
    ui::ShowError(Q16(text), ms);
}

void CMapViewBox::UploadOpened(uint32_t packedSize) {
    // A window still closing after the last transfer is left to close.
    if (uploadForm_ && !uploadForm_->Done()) {
        uploadForm_->SetMaximum(packedSize);
    } else {
        uploadForm_ = new CUploadForm(packedSize, [this] { editor_->Transfer().CancelUpload(); });
    }
    uploadForm_->Widget()->show();
    uploadForm_->Widget()->raise();
}

void CMapViewBox::UploadProgress(uint32_t value) {
    if (uploadForm_ && !uploadForm_->Done()) {
        uploadForm_->SetProgress(value);
    }
}

void CMapViewBox::UploadComplete() {
    if (uploadForm_ && !uploadForm_->Done()) {
        uploadForm_->Finish();
    }
}

void CMapViewBox::DownloadOpened(uint32_t packedSize) {
    if (downloadForm_ && !downloadForm_->Done()) {
        downloadForm_->SetMaximum(packedSize);
    } else {
        downloadForm_ =
            new CDownloadForm(packedSize, [this] { editor_->Transfer().CancelDownload(); });
    }
    downloadForm_->Widget()->show();
    downloadForm_->Widget()->raise();
}

void CMapViewBox::DownloadProgress(uint32_t value) {
    if (downloadForm_ && !downloadForm_->Done()) {
        downloadForm_->SetProgress(value);
    }
}

void CMapViewBox::DownloadClosed(DownloadEnd) {
    if (downloadForm_ && !downloadForm_->Done()) {
        downloadForm_->Finish();
    }
}

void CMapViewBox::Redraw() {
    if (view_) {
        view_->Widget()->update();
    }
}

void CMapViewBox::CommandsChanged() {
    if (!menu_) {
        return;
    }
    const MapCommands c = editor_->Commands(ClipboardHasMap());
    menu_->EnableItem(kCmdCopy, c.copy);
    menu_->EnableItem(kCmdCut, c.cut);
    menu_->EnableItem(kCmdPaste, c.paste);
    menu_->EnableItem(kCmdDelete, c.remove);
    menu_->EnableItem(kCmdGoTo, c.goTo);
    menu_->EnableItem(kCmdProperties, c.properties);
    menu_->EnableItem(kCmdSelectLast, c.selectLast);
    menu_->EnableItem(kCmdSelectAll, c.selectAll);
    menu_->EnableItem(kCmdUndo, c.undo);
    menu_->EnableItem(kCmdRedo, c.redo);
    for (auto* b : modes_) {
        b->SetEnabled(c.navigation);
    }
    for (auto* b : permissions_) {
        b->SetEnabled(c.navigation);
    }
    upload_->SetEnabled(c.upload);
}

void CMapViewBox::ShowTool(MapTool tool) {
    for (int i = 0; i < 4; ++i) {
        tools_[i]->SetDown(static_cast<int>(tool) == i);
    }
    if (view_) {
        view_->UpdateCursor();
    }
}

void CMapViewBox::PutOnClipboard(const std::string& bytes) {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kMapMimeType),
                  QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    QGuiApplication::clipboard()->setMimeData(data);
}

}  // namespace velcora::nav
