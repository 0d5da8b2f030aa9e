#include "cyclogram/gui/cyclogram_view.h"

#include <QAbstractItemDelegate>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <filesystem>

#include "cyclogram/gui/cyclogram_dialogs.h"
#include "link/text_codec.h"
#include "ui/vel_dialogs.h"

namespace velcora::cyclogram_gui {

using namespace velcora::ui;

namespace {

QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

const QColor kBarColor(0xE6, 0xEA, 0xF0);
constexpr int kBarH = 38;  // the flow layout keeps 8 pixels above a row of 26
constexpr int kBtnH = 26;

enum Id : int {
    kList = 0x900,
    // list
    kNew,
    kListRun,
    kEdit,
    kRename,
    kDelete,
    kRefresh,
    // time line
    kUpload,
    kRunLine,
    kPose,
    kRecordAll,
    kExport,
    kImport,
    kFirstLineCommand = 0xA00,  // + TimeLineCommand
    kFirstEnvCommand = 0xB00,   // + EnvCommand
};

int LineId(TimeLineCommand c) {
    return kFirstLineCommand + static_cast<int>(c);
}
int EnvId(EnvCommand c) {
    return kFirstEnvCommand + static_cast<int>(c);
}

// Keys of the list: Enter, Ctrl+Enter, F2, Del, F5.
class ListKeys : public QObject {
  public:
    explicit ListKeys(std::function<bool(int, Qt::KeyboardModifiers)> f) : f_(std::move(f)) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (f_(k->key(), k->modifiers())) {
                return true;
            }
        }
        return QObject::eventFilter(o, e);
    }

  private:
    std::function<bool(int, Qt::KeyboardModifiers)> f_;
};

}  // namespace

// ------------------------------------------------------------ clipboard

bool CQtClipboard::HasCyclogram() const {
    const QMimeData* m = QGuiApplication::clipboard()->mimeData();
    return m && m->hasFormat(QString::fromLatin1(kMimeType));
}

bool CQtClipboard::GetCyclogram(std::string& bytes) const {
    const QMimeData* m = QGuiApplication::clipboard()->mimeData();
    if (!m || !m->hasFormat(QString::fromLatin1(kMimeType))) {
        return false;
    }
    const QByteArray data = m->data(QString::fromLatin1(kMimeType));
    bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return true;
}

void CQtClipboard::SetCyclogram(const std::string& bytes) {
    auto* m = new QMimeData;
    m->setData(QString::fromLatin1(kMimeType),
               QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    QGuiApplication::clipboard()->setMimeData(m);
}

// ------------------------------------------------------------------ view

CCyclogramView::CCyclogramView(CVelContainer* owner, uint32_t place, IRobotLink& link,
                               CWaveList& waves, const std::string& settingsDir, bool locked)
    : CVelPanel(owner, place, 0, 0), link_(link), waves_(waves) {
    SetColor(kBarColor);
    BuildList();
    timeArea_ = new CVelPanel(this, kAlignBottom, 0, 390);
    timeArea_->SetColor(kBarColor);
    envArea_ = new CVelPanel(this, kAlignClient, 0, 0);
    envArea_->SetColor(kBarColor);
    BuildTimeLine();
    BuildEnvironment(locked);

    const std::filesystem::path dir(settingsDir);
    window_ = std::make_unique<CCyclogramWindow>(
        link, *this, *tracks_, clipboard_, *envView_,
        EnvironmentFiles{(dir / "env.cenv").string(), (dir / "cycbg.jpg").string()}, locked);
    tracks_->SetTimeLine(&window_->TimeLine());
    tracks_->SetCommandStateHook([this] { UpdateCommands(); });
    tracks_->SetBlockEditor(
        [this](AudioBlock& block) { return CAudioBlockDialog::Edit(link_, waves_, block); });
    envView_->SetEditor(&window_->Environment());
    envView_->SetToolbarHook([this] { UpdateCommands(); });
    // A tracker drag records a key: undo and redo work from the trackers too.
    envView_->SetKeyHook([this](QKeyEvent* k) { return tracks_->HandleKey(k); });
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
                     [this] { UpdateCommands(); });
    timeArea_->Show(false);
    UpdateCommands();
}

CCyclogramView::~CCyclogramView() {
    QObject::disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    if (list_ && listKeys_) {
        list_->List()->removeEventFilter(listKeys_.get());
    }
    // The controller goes while the views it talks to still exist.
    tracks_->SetTimeLine(nullptr);
    envView_->SetEditor(nullptr);
    window_.reset();
    if (listMenu_) {
        listMenu_->Release();
    }
}

CVelSpdBtn* CCyclogramView::AddButton(CVelContainer* bar, int id, const QString& text,
                                      const QString& hint, int w) {
    auto* b = new CVelSpdBtn(bar, kPlaceFlow, w, kBtnH, text, id);
    b->SetHint(hint);
    buttons_.emplace_back(id, b);
    return b;
}

CVelSpdBtn* CCyclogramView::Button(const QString& hint, int which) const {
    for (const auto& [id, b] : buttons_) {
        if (b->Hint() == hint && which-- == 0) {
            return b;
        }
    }
    return nullptr;
}

void CCyclogramView::BuildList() {
    listArea_ = new CVelPanel(this, kAlignLeft, 230, 0);
    listArea_->SetColor(kBarColor);
    auto* bar = new CVelPanel(listArea_, kAlignTop, 0, kBarH);
    bar->SetColor(kBarColor);
    bar->SetMargin(0);
    AddButton(bar, kNew, QStringLiteral("✚"), QStringLiteral("Создать новую циклограмму"));
    AddButton(bar, kListRun, QStringLiteral("▶"), QStringLiteral("Запустить циклограмму"));
    AddButton(bar, kEdit, QStringLiteral("✎"), QStringLiteral("Редактировать циклограмму"));
    AddButton(bar, kRename, QStringLiteral("Aa"), QStringLiteral("Переименовать"));
    AddButton(bar, kDelete, QStringLiteral("✖"), QStringLiteral("Удалить циклограмму"));
    AddButton(bar, kRefresh, QStringLiteral("⟳"), QStringLiteral("Обновить"));
    list_ = new CVelListBox(listArea_, kAlignClient, 0, 0, kList);
    listMenu_ = CVelPopupMenu::Create();
    listMenu_->AddItem(kNew, QStringLiteral("Создать новую циклограмму"));
    listMenu_->AddItem(kListRun, QStringLiteral("Запустить циклограмму\tCtrl+Enter"));
    listMenu_->AddItem(kEdit, QStringLiteral("Редактировать циклограмму\tEnter"));
    listMenu_->AddItem(kRename, QStringLiteral("&Переименовать\tF2"));
    listMenu_->AddItem(kDelete, QStringLiteral("Удалить циклограмму\tDel"));
    listMenu_->AddItem(kRefresh, QStringLiteral("Обновить\tF5"));
    listMenu_->Menu()->setDefaultAction(listMenu_->Item(kEdit));
    list_->SetPopupMenu(listMenu_);
    listKeys_ = std::make_unique<ListKeys>(
        [this](int key, Qt::KeyboardModifiers mods) { return ListKey(key, mods); });
    list_->List()->installEventFilter(listKeys_.get());
    QListWidget* w = list_->List();
    QObject::connect(w->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
                     [this](QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
                         auto* edit = qobject_cast<QLineEdit*>(editor);
                         if (hint == QAbstractItemDelegate::RevertModelCache || !edit) {
                             window_->CancelLabelEdit();
                             OnListChanged();
                             return;
                         }
                         window_->EndLabelEdit(edit->text().toUtf8().toStdString());
                     });
}

void CCyclogramView::BuildTimeLine() {
    // Two rows: the editing tools above, interpolation, fragment and view below.
    auto* bar = new CVelPanel(timeArea_, kAlignTop, 0, 2 * kBarH - 4);
    bar->SetColor(kBarColor);
    bar->SetMargin(0);
    AddButton(bar, kUpload, QStringLiteral("⇧"), QStringLiteral("Передать циклограмму на робота"));
    AddButton(bar, kRunLine, QStringLiteral("▶"), QStringLiteral("Запустить циклограмму"));
    AddButton(bar, kPose, QStringLiteral("Поза"), QStringLiteral("Применить позу"), 44);
    AddButton(bar, kRecordAll, QStringLiteral("◆"),
              QStringLiteral("Создать ключевой кадр по всем трекам"));
    AddButton(bar, kImport, QStringLiteral("Откр."),
              QStringLiteral("Загрузить циклограмму из файла"), 50);
    AddButton(bar, kExport, QStringLiteral("Сохр."), QStringLiteral("Сохранить циклограмму в файл"),
              50);
    bar->FlowGap(8);
    const struct {
        TimeLineCommand c;
        const char* text;
        const char* hint;
        CVelButtonGroup* group;
    } items[] = {
        {TimeLineCommand::ToolSelect, "↖", "Инструмент выделения и простого перемещения",
         &toolGroup_},
        {TimeLineCommand::ToolTimeOnly, "↔",
         "Инструмент перемещения ключевых кадров только по оси времени", &toolGroup_},
        {TimeLineCommand::ToolRightPart, "⇉", "Инструмент перемещения правой части ключевых кадров",
         &toolGroup_},
        {TimeLineCommand::ToolValues, "↕", "Инструмент перемещения значения ключевых кадров",
         &toolGroup_},
        {TimeLineCommand::Copy, "❐", "Скопировать ключевые кадры в буфер обмена", nullptr},
        {TimeLineCommand::Cut, "✂", "Вырезать ключи в буфер обмена", nullptr},
        {TimeLineCommand::Paste, "⎀", "Вставить ключевые кадры из буфера обмена", nullptr},
        {TimeLineCommand::Delete, "✖", "Удалить выделенные ключевые кадры", nullptr},
        {TimeLineCommand::Undo, "↶", "Отменить", nullptr},
        {TimeLineCommand::Redo, "↷", "Повторить", nullptr},
        {TimeLineCommand::InStep, "┘→", "Ступенчатая интерполяция на входе", &inGroup_},
        {TimeLineCommand::InLinear, "/→", "Линейная интерполяция на входе", &inGroup_},
        {TimeLineCommand::InBezier, "∫→", "Интерполяция безье на входе", &inGroup_},
        {TimeLineCommand::OutStep, "→┐", "Ступенчатая интерполяция на выходе", &outGroup_},
        {TimeLineCommand::OutLinear, "→/", "Лиценейная интерполяция на выходе", &outGroup_},
        {TimeLineCommand::OutBezier, "→∫", "Интерполяция безье на выходе", &outGroup_},
        {TimeLineCommand::FragmentStart, "[", "Пометить начало фрагмента", nullptr},
        {TimeLineCommand::FragmentEnd, "]", "Пометить конец фрагмента", nullptr},
        {TimeLineCommand::FragmentCancel, "[×]", "Отменить выделение фрагмента", nullptr},
        {TimeLineCommand::Loop, "⟲", "Зациклить", nullptr},
        {TimeLineCommand::ZoomIn, "+", "Приблизить", nullptr},
        {TimeLineCommand::ZoomOut, "−", "Отдалить", nullptr},
    };
    for (const auto& it : items) {
        const QString text = QString::fromUtf8(it.text);
        auto* b = AddButton(bar, LineId(it.c), text, QString::fromUtf8(it.hint),
                            text.size() > 1 ? 34 : 28);
        if (it.group) {
            it.group->Add(b);
        }
        if (it.c == TimeLineCommand::Loop) {
            b->SetLatching(true);
        }
        if (it.c == TimeLineCommand::Redo) {
            bar->FlowNewRow();
        } else if (it.c == TimeLineCommand::ToolValues || it.c == TimeLineCommand::Delete ||
                   it.c == TimeLineCommand::InBezier || it.c == TimeLineCommand::OutBezier ||
                   it.c == TimeLineCommand::FragmentCancel) {
            bar->FlowGap(8);
        }
    }
    tracks_ = new CCyclogramTracksView(timeArea_, kAlignClient, 0, 0);
}

void CCyclogramView::BuildEnvironment(bool locked) {
    envBar_ = new CVelPanel(envArea_, kAlignTop, 0, kBarH);
    envBar_->SetColor(kBarColor);
    envBar_->SetMargin(0);
    const struct {
        EnvCommand c;
        const char* text;
        const char* hint;
        int w;
    } items[] = {
        {EnvCommand::New, "✚", "Новый проект окружения", 28},
        {EnvCommand::Load, "Откр.", "Загрузить проект окружения", 50},
        {EnvCommand::Save, "Сохр.", "Сохранить проект окружения", 50},
        {EnvCommand::Download, "⇩", "Загрузить проект окружения с робота", 28},
        {EnvCommand::Upload, "⇧", "Передать проект окружения на робота", 28},
        {EnvCommand::Online, "On-line", "Режим on-line управления звеньями", 62},
        {EnvCommand::Edit, "Правка", "Правка", 62},
        {EnvCommand::ToolSelectMove, "↖", "Выделить и переместить", 28},
        {EnvCommand::ToolHorizontal, "—", "Горизонтальный трекер", 28},
        {EnvCommand::ToolVertical, "|", "Вертикальный трекер", 28},
    };
    for (const auto& it : items) {
        if (locked && (it.c == EnvCommand::New || it.c == EnvCommand::Upload ||
                       it.c == EnvCommand::Edit || it.c == EnvCommand::ToolSelectMove ||
                       it.c == EnvCommand::ToolHorizontal || it.c == EnvCommand::ToolVertical)) {
            continue;
        }
        if (it.c == EnvCommand::Online || it.c == EnvCommand::Edit ||
            it.c == EnvCommand::ToolSelectMove) {
            envBar_->FlowGap(10);
        }
        auto* b = AddButton(envBar_, EnvId(it.c), QString::fromUtf8(it.text),
                            QString::fromUtf8(it.hint), it.w);
        if (it.c == EnvCommand::Online || it.c == EnvCommand::Edit) {
            b->SetLatching(true);
        }
        if (it.c == EnvCommand::ToolSelectMove || it.c == EnvCommand::ToolHorizontal ||
            it.c == EnvCommand::ToolVertical) {
            envToolGroup_.Add(b);
        }
    }
    envView_ = new CCyclogramEnvView(envArea_, kAlignClient, 0, 0);
}

void CCyclogramView::UpdateCommands() {
    if (!window_) {
        return;
    }
    CTimeLine& line = window_->TimeLine();
    CEnvironmentEditor& env = window_->Environment();
    for (const auto& [id, b] : buttons_) {
        bool enabled = true, down = false, visible = true;
        if (id >= kFirstEnvCommand) {
            const auto c = static_cast<EnvCommand>(id - kFirstEnvCommand);
            visible = env.Visible(c);
            enabled = env.Enabled(c);
            down = env.Pressed(c);
        } else if (id >= kFirstLineCommand) {
            const auto c = static_cast<TimeLineCommand>(id - kFirstLineCommand);
            enabled = line.Enabled(c);
            down = line.Pressed(c);
        } else {
            switch (id) {
                case kNew:
                    enabled = window_->Enabled(ListCommand::New);
                    break;
                case kListRun:
                    enabled = window_->Enabled(ListCommand::Run);
                    break;
                case kEdit:
                    enabled = window_->Enabled(ListCommand::Edit);
                    break;
                case kRename:
                    enabled = window_->Enabled(ListCommand::Rename);
                    break;
                case kDelete:
                    enabled = window_->Enabled(ListCommand::Delete);
                    break;
                case kRefresh:
                    enabled = window_->Enabled(ListCommand::Refresh);
                    break;
                case kUpload:
                    enabled = window_->Enabled(TimeLineAction::Upload);
                    break;
                case kRunLine:
                    enabled = window_->Enabled(TimeLineAction::Run);
                    break;
                case kPose:
                    enabled = window_->Enabled(TimeLineAction::ApplyPose);
                    break;
                case kRecordAll:
                    enabled = window_->Enabled(TimeLineAction::RecordAll);
                    break;
                case kExport:
                    enabled = window_->Enabled(TimeLineAction::Export);
                    break;
                case kImport:
                    enabled = window_->Enabled(TimeLineAction::Import);
                    break;
                default:
                    break;
            }
        }
        if (b->IsVisible() != visible && b->Owner() && b->Owner()->IsVisible()) {
            b->Show(visible);
            b->Owner()->ReLayout();
        } else if (!visible) {
            b->Show(false);
        }
        b->SetEnabled(enabled);
        b->SetDown(down);
    }
    for (const auto& [id, enabled] : {std::pair{kNew, window_->Enabled(ListCommand::New)},
                                      {kListRun, window_->Enabled(ListCommand::Run)},
                                      {kEdit, window_->Enabled(ListCommand::Edit)},
                                      {kRename, window_->Enabled(ListCommand::Rename)},
                                      {kDelete, window_->Enabled(ListCommand::Delete)},
                                      {kRefresh, window_->Enabled(ListCommand::Refresh)}}) {
        listMenu_->EnableItem(id, enabled);
    }
}

bool CCyclogramView::ListKey(int key, Qt::KeyboardModifiers mods) {
    const InputMods m{(mods & Qt::ShiftModifier) != 0, (mods & Qt::ControlModifier) != 0};
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return window_->ListKeyDown(ListKey::Enter, m);
        case Qt::Key_F2:
            return window_->ListKeyDown(ListKey::F2, m);
        case Qt::Key_Delete:
            return window_->ListKeyDown(ListKey::Delete, m);
        case Qt::Key_F5:
            return window_->ListKeyDown(ListKey::F5, m);
        default:
            return false;
    }
}

bool CCyclogramView::HandleEvent(const VelEvent& e) {
    if (e.kind != VelEventKind::Command || !window_) {
        return CVelPanel::HandleEvent(e);
    }
    const int id = e.id;
    if (id == kList) {
        if (!filling_) {
            window_->SelectEntry(list_->ItemIndex());
            if (e.notify == VelNotify::Activated) {
                window_->ListDoubleClick(list_->ItemIndex());
            }
        }
        return true;
    }
    if (id >= kFirstEnvCommand && id < kFirstEnvCommand + 0x100) {
        window_->Environment().Run(static_cast<EnvCommand>(id - kFirstEnvCommand));
        UpdateCommands();
        return true;
    }
    if (id >= kFirstLineCommand && id < kFirstLineCommand + 0x100) {
        window_->TimeLine().Run(static_cast<TimeLineCommand>(id - kFirstLineCommand));
        UpdateCommands();
        return true;
    }
    switch (id) {
        case kNew:
            window_->Run(ListCommand::New);
            break;
        case kListRun:
            window_->Run(ListCommand::Run);
            break;
        case kEdit:
            window_->Run(ListCommand::Edit);
            break;
        case kRename:
            window_->Run(ListCommand::Rename);
            break;
        case kDelete:
            window_->Run(ListCommand::Delete);
            break;
        case kRefresh:
            window_->Run(ListCommand::Refresh);
            break;
        case kUpload:
            window_->Run(TimeLineAction::Upload);
            break;
        case kRunLine:
            window_->Run(TimeLineAction::Run);
            break;
        case kPose:
            window_->Run(TimeLineAction::ApplyPose);
            break;
        case kRecordAll:
            window_->Run(TimeLineAction::RecordAll);
            break;
        case kExport:
            window_->Run(TimeLineAction::Export);
            break;
        case kImport:
            window_->Run(TimeLineAction::Import);
            break;
        default:
            return CVelPanel::HandleEvent(e);
    }
    UpdateCommands();
    return true;
}

void CCyclogramView::Tick(int32_t elapsedMs) {
    window_->Tick(elapsedMs);
}

void CCyclogramView::OnConnectionState(bool connected) {
    window_->OnConnectionState(connected);
    UpdateCommands();
}

void CCyclogramView::SetPageActive(bool active) {
    window_->SetPageActive(active);
}

bool CCyclogramView::CanClose() {
    return window_->CanClose();
}

// ------------------------------------------------- ICyclogramWindowView

SaveAnswer CCyclogramView::AskSave(const std::string& title, const std::string& text) {
    switch (AskQuestion(Q(title), Q(text), Buttons::YesNoCancel)) {
        case Answer::Yes:
            return SaveAnswer::Yes;
        case Answer::No:
            return SaveAnswer::No;
        case Answer::Cancel:
            break;
    }
    return SaveAnswer::Cancel;
}

bool CCyclogramView::Confirm(const std::string& title, const std::string& text) {
    return AskQuestion(Q(title), Q(text), Buttons::YesNo) == Answer::Yes;
}

bool CCyclogramView::PromptName(const std::string& title, const std::string& prompt,
                                std::string& value) {
    QString v = Q(value);
    if (!InputQuery(Q(title), Q(prompt), v, kMaxRobotNameLength)) {
        return false;
    }
    value = v.toUtf8().toStdString();
    return true;
}

void CCyclogramView::ShowError(const std::string& text) {
    ui::ShowError(Q(text));
}

std::string CCyclogramView::ChooseCyclogramFile(bool save) {
    const QString filter = QStringLiteral("Циклограммы (*.cyg)");
    const QString path =
        save ? ChooseSaveFile(QStringLiteral("Сохранить циклограмму в файл"), filter,
                              QStringLiteral("cyg"))
             : ChooseOpenFile(QStringLiteral("Загрузить циклограмму из файла"), filter);
    return path.toUtf8().toStdString();
}

void CCyclogramView::OnListChanged() {
    filling_ = true;
    list_->Clear();
    for (const auto& name : window_->Names()) {
        list_->AddItem(Q(AnsiToUtf8(name)));
    }
    list_->SetItemIndex(window_->SelectedEntry());
    filling_ = false;
    UpdateCommands();
}

void CCyclogramView::StartLabelEdit(int32_t index) {
    QListWidgetItem* item = list_->List()->item(index);
    if (!item) {
        window_->CancelLabelEdit();
        return;
    }
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    list_->List()->editItem(item);
}

void CCyclogramView::ShowTimeLine(bool shown) {
    timeArea_->Show(shown);
    ReLayout();
    if (shown) {
        tracks_->ReLayout();
    }
    UpdateCommands();
}

void CCyclogramView::OnCommandStateChanged() {
    UpdateCommands();
}

void CCyclogramView::OnRobotList(const std::vector<std::string>& names) {
    if (robotListHook_) {
        robotListHook_(names);
    }
}

void CCyclogramView::OnNewCyclogramName(const std::string& ansi) {
    if (newNameHook_) {
        newNameHook_(ansi);
    }
}

}  // namespace velcora::cyclogram_gui
