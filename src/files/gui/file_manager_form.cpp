#include "files/gui/file_manager_form.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QToolButton>
#include <QTreeView>

#include "files/local_file_system.h"
#include "files/remote_file_system.h"
#include "link/robot_connection.h"
#include "platform/reactor.h"
#include "ui/vel_dialogs.h"

namespace velcora::files {
namespace {

// Menu entries: one block of ids per panel; tool-bar buttons after them.
constexpr int kCmdMenuFirst = 0x100;
constexpr int kCmdMenuPerPanel = 0x20;
constexpr int kCmdToolFirst = 0x180;

int MenuId(PanelSide side, FileCommand c) {
    return kCmdMenuFirst + static_cast<int>(side) * kCmdMenuPerPanel + static_cast<int>(c);
}

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

}  // namespace

// ---- the operator's answers -------------------------------------------------

class CFileManagerForm::OperatorPrompts : public IFilePrompts {
  public:
    FailureAnswer AskFailure(const std::u16string& text) override {
        switch (ui::AskChoice(
            QStringLiteral("Ошибка"), Q(text),
            {QStringLiteral("Отмена"), QStringLiteral("Повторить"), QStringLiteral("Продолжить")},
            0, QMessageBox::Critical)) {
            case 1:
                return FailureAnswer::TryAgain;
            case 2:
                return FailureAnswer::Continue;
            default:
                return FailureAnswer::Cancel;
        }
    }
    bool AskYesNo(const std::u16string& caption, const std::u16string& text) override {
        return ui::AskQuestion(Q(caption), Q(text)) == ui::Answer::Yes;
    }
    bool AskRetry(const std::u16string& text) override {
        return ui::AskChoice(QStringLiteral("Ошибка"), Q(text),
                             {QStringLiteral("Повторить"), QStringLiteral("Отмена")}, 0,
                             QMessageBox::Critical) == 0;
    }
    void ShowError(const std::u16string& text, uint32_t timeoutMs) override {
        ui::ShowError(Q(text), static_cast<int>(timeoutMs));
    }
    std::optional<std::u16string> AskText(const std::u16string& title,
                                          const std::u16string& prompt) override {
        QString value;
        if (!ui::InputQuery(Q(title), Q(prompt), value, 255)) {
            return std::nullopt;
        }
        return value.toStdU16String();
    }
    void Skipped(const std::u16string& path) override {
        ui::ShowError(QStringLiteral("Пропущено: ") + Q(path), 10000);
    }
};

// The copy dialog for one paste: made when the copy begins, kept until the
// next one (the controller may still hold it when the copy ends).
class CFileManagerForm::DialogProgress : public ICopyProgress {
  public:
    DialogProgress(CFileManagerForm& form, CCopyFileDialog& dialog)
        : form_(form), dialog_(dialog) {}
    void Begin(int32_t items) override {
        // The dialog belongs to the file manager alone: the rest of the
        // console keeps working, this window takes no input meanwhile.
        form_.SetInputEnabled(false);
        dialog_.Begin(items);
    }
    void ItemsDone(int32_t done) override { dialog_.ItemsDone(done); }
    void FileStarted(const std::u16string& label, int32_t size) override {
        dialog_.FileStarted(label, size);
    }
    void FileProgress(int32_t copied) override { dialog_.FileProgress(copied); }
    bool CancelRequested() override { return dialog_.CancelRequested(); }
    void End() override {
        dialog_.End();
        form_.SetInputEnabled(true);
    }

  private:
    CFileManagerForm& form_;
    CCopyFileDialog& dialog_;
};

// ---- building ---------------------------------------------------------------

CFileManagerForm::CFileManagerForm(ui::CVelForm* frame, ToolContext& tools)
    : ui::CVelMDIChildForm(frame, kWidth, kHeight, QStringLiteral("Файловый менеджер")),
      context_(tools),
      pump_(tools.reactor),
      prompts_(std::make_unique<OperatorPrompts>()) {
    titleFont_ = ui::CVelFont::Create(QStringLiteral("Verdana"), 13, true);
    font_ = ui::CVelFont::Create(QStringLiteral("DejaVu Sans"), 11);
    SetFont(font_);
    BuildToolBar();
    BuildPanel(PanelSide::Left, ui::kAlignLeft, kWidth / 2, QStringLiteral("Локальный диск"));
    BuildPanel(PanelSide::Right, ui::kAlignClient, 0, QStringLiteral("Удаленный диск"));

    auto opener = std::make_shared<CDesktopOpener>();
    controller_ = std::make_unique<CFileManagerController>(
        tools.connection, tools.ini, std::make_unique<CLocalFileSystem>(opener),
        std::make_unique<CRemoteFileSystem>(tools.connection, pump_), *this, clipboard_,
        QDir::homePath().toStdU16String());
    for (PanelSide side : {PanelSide::Left, PanelSide::Right}) {
        WirePanel(side);
    }
    stateHook_ = tools.hooks.OnStateChanged(
        [this](int32_t state) { controller_->OnConnectionState(state); });
    tickHook_ =
        tools.hooks.OnTick(TickStage::Late, [this](uint32_t, int32_t) { controller_->Tick(); });
    if (QMdiArea* area = Frame()->MdiArea()) {
        QObject::connect(area, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
            if (w && w == SubWindow()) {
                EnablingChanged();
            }
        });
    }
    controller_->Open(CFileManagerController::RemoteLoad::NextTick);
    LayOutPanels();
    FocusList(PanelSide::Left);
    EnablingChanged();
}

CFileManagerForm::~CFileManagerForm() {
    stateHook_.Reset();
    tickHook_.Reset();
    progress_.reset();
    controller_.reset();
    if (dialog_) {
        dialog_->Destroy();
    }
    for (auto*& m : menus_) {
        if (m) {
            m->Release();
        }
        m = nullptr;
    }
    if (titleFont_) {
        titleFont_->Release();
    }
    if (font_) {
        font_->Release();
    }
}

void CFileManagerForm::BuildToolBar() {
    toolBar_ = new ui::CVelContainer(this, ui::kAlignTop, 0, 34);
    toolBar_->SetMargin(3);
    const QString captions[kToolCommandCount] = {
        QStringLiteral("Скопировать"),
        QStringLiteral("Вставить"),
        QStringLiteral("Удалить"),
        QStringLiteral("Копировать из левой панели в правую"),
        QStringLiteral("Копировать из правой панели в левую"),
        QStringLiteral("Перезапуск")};
    const QFontMetrics metrics(font_->Font());
    for (std::size_t i = 0; i < kToolCommandCount; ++i) {
        const int width = metrics.horizontalAdvance(captions[i]) + 12;
        auto* b = new ui::CVelSpdBtn(toolBar_, ui::kPlaceFlow, width, 26, captions[i],
                                     kCmdToolFirst + static_cast<int>(i));
        b->SetHint(captions[i]);
        // The buttons act on the list that has the focus: they must not take it.
        b->Widget()->setFocusPolicy(Qt::NoFocus);
        tools_[i] = b;
    }
}

void CFileManagerForm::BuildPanel(PanelSide side, uint32_t place, int width, const QString& title) {
    panels_[Index(side)] = new CFileSystemPanel(this, place, width, 0, title, side, titleFont_);
    BuildMenu(side);
}

void CFileManagerForm::BuildMenu(PanelSide side) {
    ui::CVelPopupMenu* m = ui::CVelPopupMenu::Create();
    menus_[Index(side)] = m;
    auto add = [&](FileCommand c, const QString& text) { m->AddItem(MenuId(side, c), text); };
    add(FileCommand::Open, QStringLiteral("&Открыть\tEnter"));
    QMenu* sort = m->Menu()->addMenu(QStringLiteral("Сортировка..."));
    auto* group = new QActionGroup(sort);
    const QString sortTexts[3] = {QStringLiteral("По имени"), QStringLiteral("По расширению"),
                                  QStringLiteral("По размеру")};
    const FileCommand sortCommands[3] = {FileCommand::SortByName, FileCommand::SortByExtension,
                                         FileCommand::SortBySize};
    for (int i = 0; i < 3; ++i) {
        QAction* a = sort->addAction(sortTexts[i]);
        a->setCheckable(true);
        a->setActionGroup(group);
        const FileCommand c = sortCommands[i];
        QObject::connect(a, &QAction::triggered, this,
                         [this, side, c] { controller_->Run(side, c); });
        sortActions_[Index(side)][static_cast<std::size_t>(i)] = a;
    }
    add(FileCommand::Copy, QStringLiteral("&Копировать\tCtrl+C"));
    add(FileCommand::CopyAcross, side == PanelSide::Left
                                     ? QStringLiteral("Копировать на робота\tF5")
                                     : QStringLiteral("Копировать на лок.диск\tF5"));
    add(FileCommand::Paste, QStringLiteral("&Вставить\tCtrl+V"));
    add(FileCommand::Delete, QStringLiteral("&Удалить\tDel"));
    add(FileCommand::Rename, QStringLiteral("&Переименовать\tF2"));
    add(FileCommand::CreateFolder, QStringLiteral("Создать &директорию"));
    add(FileCommand::Refresh, QStringLiteral("&Обновить\tCtrl+R"));
    add(FileCommand::SelectAll, QStringLiteral("Выделить вс&е\tCtrl+A"));
    Panel(side)->List()->SetPopupMenu(m);
}

void CFileManagerForm::WirePanel(PanelSide side) {
    CFileSystemPanel* panel = Panel(side);
    ui::CVelListView* list = panel->List();
    auto& on = list->On();
    on.selectionChanged = [this, side] { ListSelectionChanged(side); };
    on.activated = [this, side](int row) {
        controller_->OpenRow(side, static_cast<std::size_t>(row));
    };
    on.focus = [this, side](bool focused) {
        if (focused) {
            controller_->SetFocus(side);
            EnablingChanged();
            return;
        }
        // A menu, a box or another window taking the focus for a while
        // leaves it with the list; another control of this window takes it.
        QWidget* now = QApplication::focusWidget();
        const bool otherList = now && (now == Panel(OtherSide(side))->List()->Widget() ||
                                       Panel(OtherSide(side))->List()->Widget()->isAncestorOf(now));
        if (now && !otherList && Widget()->isAncestorOf(now) &&
            QApplication::activePopupWidget() == nullptr && controller_->Focus() == side) {
            controller_->SetFocus(std::nullopt);
            EnablingChanged();
        }
    };
    on.key = [this, side](QKeyEvent* key) { return Key(side, key); };
    on.editable = [panel](int row) {
        const auto& e = panel->Entries();
        return row >= 0 && static_cast<std::size_t>(row) < e.size() &&
               e[static_cast<std::size_t>(row)].name != u"..";
    };
    on.edited = [this, side](int row, const QString& text) {
        controller_->Rename(side, static_cast<std::size_t>(row), text.toStdU16String());
    };
    on.dragData = [this, side](const std::vector<int>&) -> QMimeData* {
        if (controller_->Busy()) {
            return nullptr;
        }
        const auto items = controller_->TransferList(side);
        return items.empty() ? nullptr : MakeFileMimeData(items);
    };
    on.canDrop = [this, list](const QMimeData* data, QObject* source) {
        // Not onto the list the items came from; not while an operation runs.
        if (controller_->Busy() || source == list->Widget() ||
            (source && list->Widget()->isAncestorOf(qobject_cast<QWidget*>(source)))) {
            return false;
        }
        return FilesFromMime(data).has_value();
    };
    on.dropped = [this, side](const QMimeData* data) {
        if (auto items = FilesFromMime(data)) {
            controller_->Drop(side, *items);
        }
    };

    QComboBox* combo = panel->Combo()->Combo();
    QObject::connect(combo, qOverload<int>(&QComboBox::activated), this, [this, side](int index) {
        if (index >= 0) {
            controller_->ChooseCombo(side, static_cast<std::size_t>(index));
        }
    });
    // A typed path is taken on Enter before the combo box looks for an entry
    // with that text. The combo box keeps the focus and hands keys to its
    // line edit itself, past the edit's filters: the combo box is watched too.
    combo->installEventFilter(this);
    if (QLineEdit* edit = combo->lineEdit()) {
        edit->installEventFilter(this);
    }
}

// ---- events -------------------------------------------------------------------

bool CFileManagerForm::Key(PanelSide side, QKeyEvent* key) {
    const Qt::KeyboardModifiers mods =
        key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const bool ctrl = mods == Qt::ControlModifier;
    const bool plain = mods == Qt::NoModifier;
    std::optional<FileCommand> command;
    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (plain || mods == Qt::KeypadModifier) {
                command = FileCommand::Open;
            }
            break;
        case Qt::Key_C:
            if (ctrl) {
                command = FileCommand::Copy;
            }
            break;
        case Qt::Key_V:
            if (ctrl) {
                command = FileCommand::Paste;
            }
            break;
        case Qt::Key_R:
            if (ctrl) {
                command = FileCommand::Refresh;
            }
            break;
        case Qt::Key_A:
            if (ctrl) {
                command = FileCommand::SelectAll;
            }
            break;
        case Qt::Key_F5:
            command = FileCommand::CopyAcross;
            break;
        case Qt::Key_Delete:
        case Qt::Key_F8:
            command = FileCommand::Delete;
            break;
        case Qt::Key_F2:
            command = FileCommand::Rename;
            break;
        case Qt::Key_F7:
            command = FileCommand::CreateFolder;
            break;
        case Qt::Key_Backspace:
            controller_->OpenParent(side);
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (controller_->PanelEnabled(OtherSide(side))) {
                FocusList(OtherSide(side));
            }
            return true;
        default:
            break;
    }
    if (!command) {
        return false;
    }
    // Keys of commands that do not apply are taken all the same: the list's
    // own Ctrl+C would put the name's text on the clipboard.
    controller_->Run(side, *command);
    return true;
}

void CFileManagerForm::ListSelectionChanged(PanelSide side) {
    ui::CVelListView* list = Panel(side)->List();
    std::vector<std::size_t> rows;
    for (int r : list->SelectedRows()) {
        rows.push_back(static_cast<std::size_t>(r));
    }
    const int current = list->CurrentRow();
    controller_->SetSelection(side, std::move(rows),
                              current >= 0 ? std::optional<std::size_t>(current) : std::nullopt);
    EnablingChanged();
}

bool CFileManagerForm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        for (PanelSide side : {PanelSide::Left, PanelSide::Right}) {
            QComboBox* combo = Panel(side)->Combo()->Combo();
            QLineEdit* edit = combo->lineEdit();
            if (edit && (watched == edit || watched == combo) &&
                (key == Qt::Key_Return || key == Qt::Key_Enter)) {
                controller_->TypePath(side, edit->text().trimmed().toStdU16String());
                return true;
            }
        }
    }
    return ui::CVelMDIChildForm::eventFilter(watched, e);
}

bool CFileManagerForm::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::Resized && e.control == this) {
        // The two disks share the width.
        LayOutPanels();
        return false;
    }
    if (e.kind == ui::VelEventKind::MenuUpdate) {
        for (PanelSide side : {PanelSide::Left, PanelSide::Right}) {
            if (e.menu == Menu(side)) {
                UpdateMenu(side);
                return true;
            }
        }
    }
    if (e.kind == ui::VelEventKind::Command) {
        if (e.id >= kCmdToolFirst && e.id < kCmdToolFirst + static_cast<int>(kToolCommandCount)) {
            controller_->RunTool(static_cast<ToolCommand>(e.id - kCmdToolFirst));
            return true;
        }
        if (e.id >= kCmdMenuFirst && e.id < kCmdMenuFirst + 2 * kCmdMenuPerPanel) {
            const int offset = e.id - kCmdMenuFirst;
            const auto side = static_cast<PanelSide>(offset / kCmdMenuPerPanel);
            const int command = offset % kCmdMenuPerPanel;
            if (command < static_cast<int>(kFileCommandCount)) {
                controller_->Run(side, static_cast<FileCommand>(command));
            }
            return true;
        }
    }
    return ui::CVelMDIChildForm::HandleEvent(e);
}

bool CFileManagerForm::CanClose(int) {
    if (!controller_->RequestClose()) {
        // The operation below us on the stack ends first; CloseNow follows.
        if (!ownClose_) {
            frameClose_ = true;
        }
        return false;
    }
    controller_->SaveFolders();
    if (context_.saveSettings) {
        context_.saveSettings();
    }
    return true;
}

void CFileManagerForm::DoClose(int code) {
    ownClose_ = true;
    ui::CVelMDIChildForm::DoClose(code);
    ownClose_ = false;
}

// ---- IFileManagerView -------------------------------------------------------------

IFilePrompts& CFileManagerForm::Prompts() {
    return *prompts_;
}

void CFileManagerForm::PanelChanged(PanelSide side) {
    const int sorted = static_cast<int>(controller_->Panel(side).Mode());
    if (QAction* a = sortActions_[Index(side)][static_cast<std::size_t>(sorted)]) {
        a->setChecked(true);
    }
    Panel(side)->ShowPanel(controller_->Panel(side));
    SelectionChanged(side);
}

void CFileManagerForm::SelectionChanged(PanelSide side) {
    Panel(side)->ShowSelection(controller_->Selection(side), controller_->Current(side));
}

void CFileManagerForm::PanelEnabledChanged(PanelSide side) {
    Panel(side)->SetEnabled(controller_->PanelEnabled(side));
}

void CFileManagerForm::UpdateMenu(PanelSide side) {
    const FileManagerEnabling e = controller_->Enabling();
    for (std::size_t c = 0; c < kFileCommandCount; ++c) {
        Menu(side)->EnableItem(MenuId(side, static_cast<FileCommand>(c)),
                               e.Menu(side, static_cast<FileCommand>(c)));
    }
    const bool sortOn = e.Menu(side, FileCommand::SortByName);
    for (QAction* a : sortActions_[Index(side)]) {
        if (a) {
            a->setEnabled(sortOn);
        }
    }
}

void CFileManagerForm::EnablingChanged() {
    if (!controller_) {
        return;
    }
    const FileManagerEnabling e = controller_->Enabling();
    for (std::size_t i = 0; i < kToolCommandCount; ++i) {
        tools_[i]->SetEnabled(e.tools[i]);
    }
    UpdateMenu(PanelSide::Left);
    UpdateMenu(PanelSide::Right);
}

void CFileManagerForm::FocusList(PanelSide side) {
    Panel(side)->List()->SetFocus();
    controller_->SetFocus(side);
    EnablingChanged();
}

void CFileManagerForm::EditName(PanelSide side, std::size_t index) {
    Panel(side)->List()->EditRow(static_cast<int>(index));
}

ReplaceAnswer CFileManagerForm::AskReplace(const std::u16string& name) {
    const QString text = Q(Format1(u"«%s» уже есть в папке назначения. Заменить?", name));
    switch (ui::AskChoice(QStringLiteral("Копирование файлов"), text,
                          {QStringLiteral("Да"), QStringLiteral("Да для всех"),
                           QStringLiteral("Нет"), QStringLiteral("Отмена")},
                          0, QMessageBox::Question)) {
        case 0:
            return ReplaceAnswer::Yes;
        case 1:
            return ReplaceAnswer::YesToAll;
        case 2:
            return ReplaceAnswer::No;
        default:
            return ReplaceAnswer::Cancel;
    }
}

bool CFileManagerForm::ConfirmRestart() {
    return ui::AskChoice(
               QStringLiteral("Перезапуск"),
               QStringLiteral("Вы уверены, что хотите перезапустить программу на роботе?"),
               {QStringLiteral("Да"), QStringLiteral("Нет")}, 1, QMessageBox::Warning) == 0;
}

ICopyProgress& CFileManagerForm::CopyProgress(std::optional<int64_t> listBytes) {
    progress_.reset();
    if (dialog_) {
        dialog_->Destroy();
    }
    platform::Reactor& reactor = context_.reactor;
    dialog_ = new CCopyFileDialog(
        Widget(), [&reactor] { return reactor.Now(); }, listBytes);
    progress_ = std::make_unique<DialogProgress>(*this, *dialog_);
    return *progress_;
}

void CFileManagerForm::BusyChanged(bool busy) {
    if (busy) {
        Widget()->setCursor(Qt::BusyCursor);
    } else {
        Widget()->unsetCursor();
    }
}

void CFileManagerForm::CloseNow() {
    // Posted: the controller that calls this is still on the stack.
    if (frameClose_) {
        Frame()->Close(0);
    } else {
        Close(0);
    }
}

void CFileManagerForm::SetInputEnabled(bool enabled) {
    const std::optional<PanelSide> focus = controller_->Focus();
    toolBar_->SetEnabled(enabled);
    Panel(PanelSide::Left)->SetEnabled(enabled);
    Panel(PanelSide::Right)->SetEnabled(enabled && controller_->PanelEnabled(PanelSide::Right));
    if (enabled && focus && controller_->PanelEnabled(*focus)) {
        Panel(*focus)->List()->SetFocus();
        controller_->SetFocus(focus);
    }
}

void CFileManagerForm::LayOutPanels() {
    // A narrow window puts the tool bar's buttons on two rows.
    const int barHeight = std::max(34, toolBar_->FlowBottom() + 3);
    if (toolBar_->Geometry().height() != barHeight) {
        toolBar_->SetSize(0, barHeight);
    }
    const int half = ClientRect().width() / 2;
    if (half > 0 && Panel(PanelSide::Left)->Geometry().width() != half) {
        Panel(PanelSide::Left)->SetSize(half, 0);
    }
}

}  // namespace velcora::files
