#include "console/gui/phrase_panel.h"

#include <QFontMetrics>
#include <QIcon>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

#include "link/text_codec.h"
#include "ui/vel_dialogs.h"
#include "ui/vel_form.h"

namespace velcora::gui {

using namespace velcora::ui;

namespace {

QString U(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// A small padlock drawn once: the mark of a locked phrase.
QIcon LockIcon() {
    static const QIcon icon = [] {
        QPixmap p(14, 14);
        p.fill(Qt::transparent);
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        g.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.6));
        g.drawArc(QRectF(3.5, 1.0, 7.0, 8.0), 0, 180 * 16);
        g.drawLine(QPointF(3.5, 5.0), QPointF(3.5, 7.0));
        g.drawLine(QPointF(10.5, 5.0), QPointF(10.5, 7.0));
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(0xC8, 0x9B, 0x2C));
        g.drawRoundedRect(QRectF(2.0, 6.5, 10.0, 7.0), 1.5, 1.5);
        return QIcon(p);
    }();
    return icon;
}

QIcon NoIcon() {
    static const QIcon icon = [] {
        QPixmap p(14, 14);
        p.fill(Qt::transparent);
        return QIcon(p);
    }();
    return icon;
}

struct MenuEntry {
    PhraseCommand command;
    const char* text;
    QKeySequence keys;
};

const MenuEntry kMenu[] = {
    {PhraseCommand::Say, "&Сказать\tEnter", QKeySequence(Qt::Key_Return)},
    {PhraseCommand::CopyToEditor, "С&копировать в редактор\tCtrl+Enter",
     QKeySequence(Qt::CTRL | Qt::Key_Return)},
    {PhraseCommand::Lock, "&Заблокировать", {}},
    {PhraseCommand::HotKey, "Задать горящую клавишу", {}},
    {PhraseCommand::Edit, "&Правка\tF2", QKeySequence(Qt::Key_F2)},
    {PhraseCommand::Delete, "&Удалить\tDel", QKeySequence(Qt::Key_Delete)},
    {PhraseCommand::DeleteUnlocked, "Удалить &незаблокированные элементы", {}},
    {PhraseCommand::DeleteAll, "Удалить вс&е", {}},
    {PhraseCommand::Limit, "Максимальное число фраз", {}},
    {PhraseCommand::Add, "&Добавить\tIns", QKeySequence(Qt::Key_Insert)},
};

constexpr int kRowH = 26;

}  // namespace

CPhrasePanel::CPhrasePanel(CVelContainer* owner, uint32_t place, int w, int h, CPhrases& phrases,
                           CSettings& settings, IniFile& ini)
    : CVelGroupBox(owner, place, w, h, U(kPhraseGroupCaption)),
      phrases_(phrases),
      settings_(settings),
      ini_(ini) {
    SetMargin(2);
    auto* row = new CVelPanel(this, kAlignTop, 0, kRowH + 4);
    row->SetMargin(2);
    // From the right: the language buttons, the toggle, the say button; the
    // box takes the rest.
    for (std::size_t i = settings_.languages.size(); i-- > 0;) {
        const QString caption = U(settings_.languages[i]);
        const int width =
            std::max(32, QFontMetrics(EffectiveFont()).horizontalAdvance(caption) + 16);
        auto* b = new CVelSpdBtn(row, kAlignRight, width, kRowH, caption,
                                 kCmdLanguageFirst + static_cast<int>(i));
        b->SetLatching(true);
        b->SetHint(QStringLiteral("Язык речи робота"));
        languages_.insert(languages_.begin(), b);
    }
    autoFocus_ = new CVelSpdBtn(row, kAlignRight, 26, kRowH, QStringLiteral("*"), kCmdAutoFocus);
    autoFocus_->SetLatching(true);
    autoFocus_->SetDown(settings_.joyAutoFocus);
    autoFocus_->SetHint(
        QStringLiteral("Автоматический переход к джойстику после отправки сообщений"));
    say_ = new CVelButton(row, kAlignRight, 130, kRowH, QStringLiteral("&Сказать\tEnter"), kCmdSay);
    box_ = new CVelEdit(row, kAlignClient, 0, kRowH, {}, kCmdBox);
    box_->SetMaxLength(static_cast<int>(kPhraseSendLimit));
    box_->SetHint(QStringLiteral("Фраза для робота (F4); Enter — сказать"));

    list_ = new CVelListBox(this, kAlignClient, 0, 0, kCmdList);
    list_->SetHint(QStringLiteral("История фраз: двойной щелчок — сказать, правая кнопка — меню"));
    menu_ = CVelPopupMenu::Create();
    for (const auto& m : kMenu) {
        menu_->AddItem(kCmdMenuFirst + static_cast<int>(m.command), U(m.text), m.keys);
        if (m.command == PhraseCommand::Lock)
            menu_->CheckItem(kCmdMenuFirst + static_cast<int>(m.command), false);
    }
    menu_->Menu()->setDefaultAction(menu_->Item(kCmdMenuFirst));
    list_->SetPopupMenu(menu_);
    phrases_.SetChanged([this] { Refill(); });
    Refill();
}

CPhrasePanel::~CPhrasePanel() {
    phrases_.SetChanged(nullptr);
    if (menu_)
        menu_->Release();
}

bool CPhrasePanel::Editing() const {
    return box_ && box_->HasFocus();
}

void CPhrasePanel::Refill() {
    filling_ = true;
    const int selected = list_->ItemIndex();
    QListWidget* w = list_->List();
    w->clear();
    for (std::size_t i = 0; i < phrases_.Count(); ++i) {
        const HistoryItem& item = phrases_.Item(i);
        QString text = U(item.text);
        text.replace(QLatin1Char('\n'), QLatin1Char(' ')).remove(QLatin1Char('\r'));
        if (item.hotkey != 0)
            text += QStringLiteral("   (Ctrl+%1)").arg(QChar(item.hotkey));
        auto* row = new QListWidgetItem(item.locked ? LockIcon() : NoIcon(), text);
        w->addItem(row);
    }
    if (selected >= 0 && selected < w->count())
        list_->SetItemIndex(selected);
    filling_ = false;
    RefreshMenu();
}

void CPhrasePanel::RefreshMenu() {
    const int selected = list_->ItemIndex();
    for (const auto& m : kMenu) {
        const PhraseCommandState s = phrases_.Command(m.command, selected);
        const int id = kCmdMenuFirst + static_cast<int>(m.command);
        menu_->EnableItem(id, s.enabled);
        if (m.command == PhraseCommand::Lock)
            menu_->CheckItem(id, s.checked);
    }
}

void CPhrasePanel::ApplyEnabling(bool robotControls) {
    box_->SetEnabled(robotControls);
    say_->SetEnabled(robotControls);
    RefreshMenu();
}

void CPhrasePanel::SpeakBox() {
    if (phrases_.SpeakBox(box_->Text().toStdU16String()))
        box_->SetText({});
}

void CPhrasePanel::AskHotKey(std::size_t row) {
    QString value;
    if (!InputQuery(QStringLiteral("Назначение горячей клавиши"),
                    QStringLiteral("Введите горячую клавишу: Ctrl+"), value, 1))
        return;
    if (phrases_.SetHotKey(row, value.toStdU16String()) == HotKeyAnswer::Refused)
        ShowError(QStringLiteral("Данная клавиша не может быть назначена!"));
}

void CPhrasePanel::AskLimit() {
    QString value = QString::number(phrases_.Limit());
    for (;;) {
        if (!InputQuery(QStringLiteral("Максимальное число фраз"),
                        QStringLiteral("Введите новое значение:"), value, 10))
            return;
        if (phrases_.SetLimit(value.toStdU16String()) == LimitAnswer::Set)
            return;
        ShowError(QStringLiteral("Число введено неправильно!"));
    }
}

void CPhrasePanel::Run(PhraseCommand command) {
    const int selected = list_->ItemIndex();
    if (!phrases_.Command(command, selected).enabled)
        return;
    const auto row = static_cast<std::size_t>(std::max(selected, 0));
    switch (command) {
        case PhraseCommand::Say:
            phrases_.Speak(row);
            break;
        case PhraseCommand::CopyToEditor: {
            const std::u16string text = phrases_.Text(row);
            box_->SetText(QString::fromStdU16String(std::u16string(CutPhrase(text))));
        }
            box_->SetFocus();
            break;
        case PhraseCommand::Lock:
            phrases_.ToggleLock(row);
            break;
        case PhraseCommand::HotKey:
            AskHotKey(row);
            break;
        case PhraseCommand::Edit: {
            QString value = QString::fromStdU16String(phrases_.Text(row));
            if (InputQuery(QStringLiteral("Правка"), QStringLiteral("Введите новое значение:"),
                           value, static_cast<int>(kPhraseStoreLimit)))
                phrases_.Edit(row, value.toStdU16String());
            break;
        }
        case PhraseCommand::Delete:
            phrases_.Delete(row);
            break;
        case PhraseCommand::DeleteUnlocked:
            phrases_.DeleteUnlocked();
            break;
        case PhraseCommand::DeleteAll:
            phrases_.DeleteAll();
            break;
        case PhraseCommand::Limit:
            AskLimit();
            break;
        case PhraseCommand::Add: {
            QString value;
            if (InputQuery(QStringLiteral("Добавить"), QStringLiteral("Введите новое значение:"),
                           value, static_cast<int>(kPhraseStoreLimit))) {
                const std::size_t at = phrases_.Add(value.toStdU16String());
                list_->SetItemIndex(static_cast<int>(at));
            }
            break;
        }
    }
    RefreshMenu();
}

bool CPhrasePanel::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::MenuUpdate && e.menu == menu_) {
        RefreshMenu();
        return true;
    }
    if (e.kind != VelEventKind::Command)
        return CVelGroupBox::HandleEvent(e);
    const int id = e.id;
    if (id >= kCmdMenuFirst && id < kCmdMenuFirst + kPhraseCommandCount) {
        Run(static_cast<PhraseCommand>(id - kCmdMenuFirst));
        return true;
    }
    if (id >= kCmdLanguageFirst && id < kCmdLanguageFirst + static_cast<int>(languages_.size())) {
        const auto index = static_cast<std::size_t>(id - kCmdLanguageFirst);
        // The pressed one alone is down, and stays down when pressed again.
        for (std::size_t i = 0; i < languages_.size(); ++i)
            languages_[i]->SetDown(i == index);
        phrases_.SpeakLanguage(index);
        return true;
    }
    switch (id) {
        case kCmdBox:
            if (e.notify == VelNotify::Activated)
                SpeakBox();
            return true;
        case kCmdSay:
            SpeakBox();
            return true;
        case kCmdAutoFocus:
            settings_.joyAutoFocus = autoFocus_->Down();
            // Written at once, not only with the other settings.
            ini_.WriteInt(kSectionControls, "joyAutoFocus", settings_.joyAutoFocus ? 1 : 0);
            ini_.Save();
            return true;
        case kCmdList:
            if (filling_)
                return true;
            if (e.notify == VelNotify::Activated)
                Run(PhraseCommand::Say);
            else
                RefreshMenu();
            return true;
        default:
            return CVelGroupBox::HandleEvent(e);
    }
}

}  // namespace velcora::gui
