#include "chatbot/gui/chatbot_form.h"

#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>

#include "chatbot/gui/chatbot_dialogs.h"
#include "chatbot/gui/chatbot_views.h"
#include "chatbot/script_generator.h"
#include "link/robot_connection.h"
#include "ui/vel_dialogs.h"

namespace velcora::chatbot {

namespace {

QString Q(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

int IdOf(ChatCommand c) {
    return kCmdChatFirst + static_cast<int>(c);
}

constexpr ChatCommand kAllCommands[] = {
    ChatCommand::kNewFile,
    ChatCommand::kSaveFile,
    ChatCommand::kOpenFile,
    ChatCommand::kUpload,
    ChatCommand::kDownload,
    ChatCommand::kAddFrameset,
    ChatCommand::kDeleteFrameset,
    ChatCommand::kEditFrameset,
    ChatCommand::kAddFrame,
    ChatCommand::kDeleteFrame,
    ChatCommand::kAddQuestion,
    ChatCommand::kDeleteQuestion,
    ChatCommand::kAddAnswer,
    ChatCommand::kDeleteAnswer,
    ChatCommand::kEditScript,
    ChatCommand::kAddPhrase,
    ChatCommand::kAddPhraseAfterWait,
    ChatCommand::kDeletePhrase,
    ChatCommand::kToggleAfterWait,
    ChatCommand::kEdit,
    ChatCommand::kFind,
    ChatCommand::kFindNext,
    ChatCommand::kUndo,
    ChatCommand::kRedo,
    ChatCommand::kCheckQuestion,
};

QKeySequence KeysOf(ChatCommand c) {
    switch (c) {
        case ChatCommand::kFind:
            return QKeySequence(Qt::CTRL | Qt::Key_F);
        case ChatCommand::kFindNext:
            return QKeySequence(Qt::SHIFT | Qt::Key_F3);
        case ChatCommand::kUndo:
            return QKeySequence(Qt::CTRL | Qt::Key_Z);
        case ChatCommand::kRedo:
            return QKeySequence(Qt::CTRL | Qt::Key_Y);
        default:
            return {};
    }
}

}  // namespace

// ------------------------------------------------------------------ tabs

CChatBotTabs::CChatBotTabs(ui::CVelContainer* owner, uint32_t place, int w, int h, int id)
    : ui::CVelControl(owner, new QTabBar, place, w, h) {
    SetId(id);
    QTabBar* bar = Bar();
    bar->setDrawBase(true);
    bar->setExpanding(false);
    for (const char16_t* t :
         {u"Вопросы-ответы", u"Вопросы робота", u"Зазывные речи", u"Исх.текст скрипта"}) {
        bar->addTab(Q(t));
    }
    QObject::connect(bar, &QTabBar::currentChanged, this,
                     [this](int) { SendCommand(Id(), ui::VelNotify::Changed); });
}

QTabBar* CChatBotTabs::Bar() const {
    return static_cast<QTabBar*>(Widget());
}
int CChatBotTabs::Index() const {
    return Bar()->currentIndex();
}
void CChatBotTabs::SetIndex(int index) {
    const QSignalBlocker quiet(Bar());
    Bar()->setCurrentIndex(index);
}

// ------------------------------------------------------------------ form

CChatBotForm::CChatBotForm(ui::CVelForm* frame, ToolContext& tools)
    : ui::CVelMDIChildForm(frame, 900, 600, Q(kChatBotEditorTitle)),
      tools_(tools),
      editor_(tools.connection, *this) {
    SetColor(QColor(0xEC, 0xEC, 0xEC));
    BuildToolbar();
    tabs_ = new CChatBotTabs(this, ui::kAlignTop, 0, 28, kCmdChatPage);
    questions_ = new CChatBotQuestionAnswerView(this, editor_);
    dialogues_ = new CChatBotDialogView(this, editor_);
    prompts_ = new CChatBotPromptView(this, editor_);
    source_ = new ui::CVelMemo(this, ui::kAlignClient, 0, 0);
    source_->SetReadOnly(true);
    source_->Editor()->setFont(ScriptFont());
    source_->Editor()->setTabStopDistance(QFontMetricsF(ScriptFont()).horizontalAdvance(u' ') * 4);
    source_->Editor()->setLineWrapMode(QPlainTextEdit::NoWrap);
    menus_[0] = BuildMenu(ChatArea::kQuestions);
    menus_[1] = BuildMenu(ChatArea::kDialogues);
    menus_[2] = BuildMenu(ChatArea::kPrompts);
    questions_->SetPopupMenu(menus_[0]);
    dialogues_->SetPopupMenu(menus_[1]);
    prompts_->SetPopupMenu(menus_[2]);
    ShowPage(kPageQuestions);
    // Each state-7 report: a running transfer resends or starts over.
    authorised_ = tools.hooks.OnAuthorised([this] { editor_.OnAuthorised(); });
    lastDir_ = tools.settingsDir;
    ReLayout();
    for (CChatBotView* v :
         {static_cast<CChatBotView*>(questions_), static_cast<CChatBotView*>(dialogues_),
          static_cast<CChatBotView*>(prompts_)})
        v->FitToSize();
}

CChatBotForm::~CChatBotForm() {
    authorised_.Reset();
    for (ui::CVelPopupMenu* m : menus_) {
        if (m)
            m->Release();
    }
}

void CChatBotForm::BuildToolbar() {
    auto* bar = new ui::CVelPanel(this, ui::kAlignTop, 0, 40);
    bar->SetMargin(4);
    struct Item {
        ChatCommand command;
        const char16_t* caption;
    };
    const Item items[] = {
        {ChatCommand::kNewFile, u"Новый"},
        {ChatCommand::kOpenFile, u"Открыть"},
        {ChatCommand::kSaveFile, u"Сохранить"},
        {ChatCommand::kUpload, u"В робота"},
        {ChatCommand::kDownload, u"Из робота"},
        {ChatCommand::kFind, u"Найти"},
        {ChatCommand::kUndo, u"Отменить"},
        {ChatCommand::kRedo, u"Повторить"},
        {ChatCommand::kCheckQuestion, u"Проверить вопрос"},
    };
    const QFontMetrics fm(bar->EffectiveFont());
    for (const Item& item : items) {
        const QString caption = Q(item.caption);
        auto* b = new ui::CVelButton(bar, ui::kPlaceFlow, fm.horizontalAdvance(caption) + 18, 26,
                                     caption, IdOf(item.command));
        QString hint = Q(CChatBotEditor::Text(item.command));
        hint.replace(QLatin1Char('\t'), QStringLiteral(" ("));
        if (hint.contains(QStringLiteral(" (")))
            hint += QLatin1Char(')');
        b->SetHint(hint);
        buttons_.push_back({item.command, b});
    }
}

ui::CVelPopupMenu* CChatBotForm::BuildMenu(ChatArea area) {
    ui::CVelPopupMenu* m = ui::CVelPopupMenu::Create();
    auto add = [&](std::initializer_list<ChatCommand> commands) {
        if (!m->Menu()->actions().isEmpty())
            m->AddSeparator();
        for (ChatCommand c : commands)
            m->AddItem(IdOf(c), Q(CChatBotEditor::Text(c)), KeysOf(c));
    };
    switch (area) {
        case ChatArea::kQuestions:
            add({ChatCommand::kAddFrameset, ChatCommand::kEditFrameset,
                 ChatCommand::kDeleteFrameset});
            add({ChatCommand::kAddFrame, ChatCommand::kDeleteFrame});
            add({ChatCommand::kAddQuestion, ChatCommand::kDeleteQuestion});
            add({ChatCommand::kAddAnswer, ChatCommand::kDeleteAnswer, ChatCommand::kEditScript});
            add({ChatCommand::kEdit});
            add({ChatCommand::kFind, ChatCommand::kFindNext, ChatCommand::kCheckQuestion});
            break;
        case ChatArea::kDialogues:
            add({ChatCommand::kAddFrame, ChatCommand::kDeleteFrame});
            add({ChatCommand::kAddPhrase, ChatCommand::kAddPhraseAfterWait,
                 ChatCommand::kToggleAfterWait, ChatCommand::kDeletePhrase});
            add({ChatCommand::kEdit});
            add({ChatCommand::kFind, ChatCommand::kFindNext});
            break;
        case ChatArea::kPrompts:
            add({ChatCommand::kAddPhrase, ChatCommand::kDeletePhrase});
            add({ChatCommand::kEdit});
            add({ChatCommand::kFind, ChatCommand::kFindNext});
            break;
    }
    add({ChatCommand::kUndo, ChatCommand::kRedo});
    add({ChatCommand::kNewFile, ChatCommand::kOpenFile, ChatCommand::kSaveFile,
         ChatCommand::kUpload, ChatCommand::kDownload});
    return m;
}

ui::CVelButton* CChatBotForm::Button(ChatCommand command) const {
    for (const auto& [c, b] : buttons_) {
        if (c == command)
            return b;
    }
    return nullptr;
}

CChatBotView* CChatBotForm::ViewOf(ChatArea area) const {
    switch (area) {
        case ChatArea::kQuestions:
            return questions_;
        case ChatArea::kDialogues:
            return dialogues_;
        case ChatArea::kPrompts:
            return prompts_;
    }
    return nullptr;
}

void CChatBotForm::ShowPage(int page) {
    page_ = page;
    tabs_->SetIndex(page);
    questions_->Show(page == kPageQuestions);
    dialogues_->Show(page == kPageDialogues);
    prompts_->Show(page == kPagePrompts);
    source_->Show(page == kPageSource);
    if (page == kPageSource)
        FillSource();
    ReLayout();
    if (CChatBotView* v = page < kPageSource ? ViewOf(static_cast<ChatArea>(page)) : nullptr) {
        ChatSelection s = editor_.Selection();
        if (s.area != v->Area()) {
            s = {};
            s.area = v->Area();
            editor_.Select(s);
        }
    }
}

void CChatBotForm::FillSource() {
    // Generated afresh each time it is shown, so it is always what an upload
    // or a save would write.
    source_->SetText(Q(GenerateScript(editor_.Script())));
}

bool CChatBotForm::HandleEvent(const ui::VelEvent& e) {
    if (auto* view = dynamic_cast<CChatBotView*>(e.control);
        view && e.kind != ui::VelEventKind::Command && e.kind != ui::VelEventKind::MenuUpdate) {
        if (view->Input(e))
            return true;
    }
    if (e.kind == ui::VelEventKind::MenuUpdate && e.menu) {
        for (ChatCommand c : kAllCommands) {
            e.menu->EnableItem(IdOf(c), editor_.Enabled(c));
        }
        const ChatSelection& s = editor_.Selection();
        bool afterWait = false;
        if (s.item == ChatItem::kPhrase) {
            afterWait = editor_.Script()
                            .dialogues[static_cast<std::size_t>(s.dialog)]
                            .phrases[static_cast<std::size_t>(s.index)]
                            .afterWait;
        }
        e.menu->CheckItem(IdOf(ChatCommand::kToggleAfterWait), afterWait);
        return true;
    }
    if (e.kind == ui::VelEventKind::Command) {
        if (e.id == kCmdChatPage) {
            ShowPage(tabs_->Index());
            return true;
        }
        if (e.id >= kCmdChatFirst && e.id <= IdOf(ChatCommand::kCheckQuestion)) {
            editor_.Run(static_cast<ChatCommand>(e.id - kCmdChatFirst));
            return true;
        }
    }
    return ui::CVelMDIChildForm::HandleEvent(e);
}

bool CChatBotForm::CanClose(int) {
    return editor_.CanClose();
}

// ------------------------------------------------------- what it shows

EditorAnswer CChatBotForm::Ask(std::u16string_view title, std::u16string_view text,
                               EditorButtons buttons) {
    const bool cancel = buttons == EditorButtons::kYesNoCancel;
    switch (ui::AskQuestion(Q(title), Q(text),
                            cancel ? ui::Buttons::YesNoCancel : ui::Buttons::YesNo, ui::Answer::Yes,
                            QMessageBox::Warning)) {
        case ui::Answer::Yes:
            return EditorAnswer::kYes;
        case ui::Answer::No:
            return EditorAnswer::kNo;
        case ui::Answer::Cancel:
            break;
    }
    return cancel ? EditorAnswer::kCancel : EditorAnswer::kNo;
}

bool CChatBotForm::InputLine(std::u16string_view title, std::u16string_view prompt,
                             std::u16string& value) {
    QString v = Q(value);
    if (!ui::InputQuery(Q(title), Q(prompt), v, 8191))
        return false;
    value = v.toStdU16String();
    return true;
}

bool CChatBotForm::InputScript(std::u16string& body) {
    return RunScriptDialog(body);
}

bool CChatBotForm::EditFrameset(std::u16string& name, int32_t& priority) {
    return RunFramesetDialog(name, priority);
}

bool CChatBotForm::EditElement(CPatternElement& element,
                               const std::vector<std::u16string>& framesets) {
    return RunWordDialog(element, framesets);
}

bool CChatBotForm::InputWaitTime(int32_t& ms) {
    return RunWaitTimeDialog(ms);
}

void CChatBotForm::ShowError(std::u16string_view text, std::u16string_view title) {
    if (title == u"Ошибка") {
        ui::ShowError(Q(text));
        return;
    }
    ui::AskChoice(Q(title), Q(text), {QStringLiteral("OK")}, 0, QMessageBox::Critical);
}

void CChatBotForm::ShowMessage(std::u16string_view title, std::u16string_view text) {
    ui::AskChoice(Q(title), Q(text), {QStringLiteral("OK")}, 0, QMessageBox::Information);
}

std::string CChatBotForm::ChooseOpenFile() {
    const QString path =
        ui::ChooseOpenFile(Q(CChatBotEditor::Text(ChatCommand::kOpenFile)), QStringLiteral("(*.*)"),
                           QString::fromStdString(lastDir_));
    if (!path.isEmpty())
        lastDir_ = QFileInfo(path).absolutePath().toStdString();
    return path.toStdString();
}

std::string CChatBotForm::ChooseSaveFile() {
    const QString path =
        ui::ChooseSaveFile(Q(CChatBotEditor::Text(ChatCommand::kSaveFile)), QStringLiteral("(*.*)"),
                           QString(), QString::fromStdString(lastDir_));
    if (!path.isEmpty())
        lastDir_ = QFileInfo(path).absolutePath().toStdString();
    return path.toStdString();
}

TransferResult CChatBotForm::RunTransfer(CChatBotTransferRun& run) {
    CChatBotProgressDialog* d = nullptr;
    if (run.Direction() == TransferDirection::kUpload)
        d = new CChatBotUploadDialog(run);
    else
        d = new CChatBotDownloadDialog(run);
    return d->Run();
}

void CChatBotForm::SetTitle(std::u16string_view title) {
    SetText(Q(title));
}

void CChatBotForm::Changed(const ChatChange& change) {
    if (!questions_)
        return;  // still being built
    questions_->Changed(change);
    dialogues_->Changed(change);
    prompts_->Changed(change);
    const ChatSelection& s = editor_.Selection();
    // A search or a question check may land on another page.
    if (s.item != ChatItem::kNone && page_ != static_cast<int>(s.area)) {
        page_ = static_cast<int>(s.area);
        tabs_->SetIndex(page_);
        questions_->Show(page_ == kPageQuestions);
        dialogues_->Show(page_ == kPageDialogues);
        prompts_->Show(page_ == kPagePrompts);
        source_->Show(false);
        ReLayout();
    }
    if (page_ == kPageSource && change.kind != ChatChange::kSelection)
        FillSource();
    if (CChatBotView* v = ViewOf(s.area)) {
        if (s.item != ChatItem::kNone)
            v->Reveal(s);
        v->Widget()->update();
    }
}

}  // namespace velcora::chatbot
