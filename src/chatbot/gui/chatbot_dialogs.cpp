#include "chatbot/gui/chatbot_dialogs.h"

#include "chatbot/gui/chatbot_views.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSpinBox>

namespace velcora::chatbot {

namespace {

QString Q(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}
std::u16string W(const QString& s) {
    return s.toStdU16String();
}

DialogHook& Hook() {
    static DialogHook hook;
    return hook;
}

// Lets the hook see the dialog once its modal loop runs.
void Announce(ui::CVelForm* dialog) {
    if (!Hook()) {
        return;
    }
    QPointer<ui::CVelControl> alive(dialog);
    QTimer::singleShot(0, dialog, [dialog, alive] {
        if (alive && Hook()) {
            Hook()(*dialog);
        }
    });
}

constexpr int kRow = 24;

}  // namespace

DialogHook SetDialogHook(DialogHook hook) {
    DialogHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

// ------------------------------------------------------------- progress

CChatBotProgressDialog::CChatBotProgressDialog(CChatBotTransferRun& run, const QString& caption)
    : ui::CVelForm(ui::kPlaceScreenCentre, 380, 120, caption), run_(run) {
    SetMargin(10);
    label_ = new ui::CVelLabel(this, ui::kPlaceFlow, 356, kRow, QString());
    FlowNewRow();
    bar_ = new ui::CVelProgressBar(this, ui::kPlaceFlow, 356, 20, 0, 1);
    FlowNewRow();
    cancel_ = new ui::CVelButton(this, ui::kPlaceFlow, 100, 26, QStringLiteral("Отмена"),
                                 kCmdDialogCancel);
    FlowCentreRow();
    run_.SetView(this);
    OnProgress(run_.Done(), run_.Total());
    QObject::connect(&timer_, &QTimer::timeout, this,
                     [this] { run_.Tick(kChatBotTransferTickMs); });
}

CChatBotProgressDialog::~CChatBotProgressDialog() {
    timer_.stop();
    // The transfer outlives the dialog only while Run() waits for it.
    if (running_) {
        run_.SetView(nullptr);
    }
}

TransferResult CChatBotProgressDialog::Run() {
    QPointer<ui::CVelControl> alive(this);
    running_ = true;
    timer_.start(kChatBotTransferTickMs);
    Announce(this);
    ShowModal();
    if (alive) {
        running_ = false;
        timer_.stop();
        run_.SetView(nullptr);
    }
    if (run_.Result() == TransferResult::kRunning) {
        run_.Cancel();
    }
    return run_.Result();
}

void CChatBotProgressDialog::DoClose(int code) {
    // The transfer may be gone once the loop returns: nothing ticks it after.
    timer_.stop();
    if (code != ui::kResultOk && run_.Result() == TransferResult::kRunning) {
        run_.Cancel();
    }
    ui::CVelForm::DoClose(code);
}

bool CChatBotProgressDialog::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdDialogCancel) {
        Close(ui::kResultCancel);
        return true;
    }
    return ui::CVelForm::HandleEvent(e);
}

void CChatBotProgressDialog::OnProgress(int32_t done, int32_t total) {
    // A download learns its size with the first chunk.
    bar_->Widget()->setProperty("maximum", total > 0 ? total : 1);
    bar_->SetPosition(total > 0 ? done : 0);
    label_->SetText(total > 0 ? QStringLiteral("%1 из %2 байт").arg(done).arg(total)
                              : QStringLiteral("Ожидание ответа робота..."));
}

void CChatBotProgressDialog::OnFinished(TransferResult result) {
    Close(result == TransferResult::kSucceeded ? ui::kResultOk : ui::kResultCancel);
}

CChatBotUploadDialog::CChatBotUploadDialog(CChatBotTransferRun& run)
    : CChatBotProgressDialog(run, QStringLiteral("Передать файл в память робота")) {}

CChatBotDownloadDialog::CChatBotDownloadDialog(CChatBotTransferRun& run)
    : CChatBotProgressDialog(run, QStringLiteral("Загрузить файл из памяти робота")) {}

// ------------------------------------------------------------ word panel

namespace {
constexpr int kCmdKind = 10;
}

CChatBotWordPanel::CChatBotWordPanel(ui::CVelContainer* owner, uint32_t place, int w, int h)
    : ui::CVelContainer(owner, place, w, h) {
    const int field = w - 16;
    new ui::CVelLabel(this, ui::kPlaceFlow, field, kRow, QStringLiteral("Слово:"));
    FlowNewRow();
    word_ = new ui::CVelEdit(this, ui::kPlaceFlow, field, kRow);
    word_->SetMaxLength(255);
    FlowNewRow();
    new ui::CVelLabel(this, ui::kPlaceFlow, field, kRow, QStringLiteral("Тип:"));
    FlowNewRow();
    kind_ = new ui::CVelComboBox(this, ui::kPlaceFlow, field, kRow, kCmdKind);
    kind_->SetItems({QStringLiteral("Слово с синонимами"), QStringLiteral("Необязательное слово"),
                     QStringLiteral("Ссылка на фреймсет"), QStringLiteral("Число"),
                     QStringLiteral("Набор цифр")});
    FlowNewRow();
    synonymsLabel_ = new ui::CVelLabel(this, ui::kPlaceFlow, field, kRow,
                                       QStringLiteral("Синонимы (по одной фразе на строку):"));
    FlowNewRow();
    synonyms_ = new ui::CVelMemo(this, ui::kPlaceFlow, field, 110);
    FlowNewRow();
    framesetLabel_ =
        new ui::CVelLabel(this, ui::kPlaceFlow, field, kRow, QStringLiteral("Фреймсет:"));
    FlowNewRow();
    frameset_ = new ui::CVelComboBox(this, ui::kPlaceFlow, field, kRow);
}

void CChatBotWordPanel::Load(const CPatternElement& e,
                             const std::vector<std::u16string>& framesets) {
    frameset_->Clear();
    for (const auto& name : framesets) {
        frameset_->AddItem(Q(name));
    }
    kind_->SetItemIndex(static_cast<int>(e.kind));
    QStringList rest;
    switch (e.kind) {
        case PatternKind::kSynonyms:
            word_->SetText(e.alternatives.empty() ? QString() : Q(e.alternatives[0]));
            for (std::size_t i = 1; i < e.alternatives.size(); ++i) {
                rest << Q(e.alternatives[i]);
            }
            break;
        case PatternKind::kFramesetRef: {
            word_->SetText(Q(e.label));
            int at = -1;
            for (std::size_t i = 0; i < framesets.size(); ++i) {
                if (framesets[i] == e.name) {
                    at = static_cast<int>(i);
                    break;
                }
            }
            if (at < 0 && !e.name.empty()) {
                // A reference to a frameset this script lacks stays as it is.
                frameset_->AddItem(Q(e.name));
                at = frameset_->Count() - 1;
            }
            frameset_->SetItemIndex(at);
            break;
        }
        default:
            word_->SetText(Q(e.name));
            break;
    }
    synonyms_->SetText(rest.join(QLatin1Char('\n')));
    ShowKind();
}

CPatternElement CChatBotWordPanel::Element() const {
    CPatternElement e;
    e.kind = static_cast<PatternKind>(std::max(0, kind_->ItemIndex()));
    const std::u16string word = W(word_->Text().trimmed());
    switch (e.kind) {
        case PatternKind::kSynonyms: {
            e.alternatives.push_back(word);
            for (const QString& line : synonyms_->Text().split(QLatin1Char('\n'))) {
                const QString t = line.trimmed();
                if (!t.isEmpty()) {
                    // Words of a phrase are kept apart by single spaces.
                    e.alternatives.push_back(W(t.simplified()));
                }
            }
            break;
        }
        case PatternKind::kFramesetRef:
            e.label = word;
            e.name = frameset_->ItemIndex() >= 0 ? W(frameset_->ItemText(frameset_->ItemIndex()))
                                                 : std::u16string();
            break;
        default:
            e.name = word;
            break;
    }
    return e;
}

void CChatBotWordPanel::ShowKind() {
    const int k = kind_->ItemIndex();
    synonymsLabel_->Show(k == 0);
    synonyms_->Show(k == 0);
    framesetLabel_->Show(k == 2);
    frameset_->Show(k == 2);
}

bool CChatBotWordPanel::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdKind) {
        ShowKind();
        return true;
    }
    return ui::CVelContainer::HandleEvent(e);
}

// -------------------------------------------------------- OK dialogs

CChatBotOkDialog::CChatBotOkDialog(int w, int h, const QString& caption)
    : ui::CVelForm(ui::kPlaceScreenCentre, w, h, caption) {
    auto* buttons = new ui::CVelPanel(this, ui::kAlignBottom, 0, 40);
    buttons->SetMargin(6);
    ok_ = new ui::CVelButton(buttons, ui::kPlaceFlow, 90, 26, QStringLiteral("OK"), kCmdDialogOk);
    new ui::CVelButton(buttons, ui::kPlaceFlow, 90, 26, QStringLiteral("Отмена"), kCmdDialogCancel);
    buttons->FlowCentreRow();
    body_ = new ui::CVelPanel(this, ui::kAlignClient, 0, 0);
    body_->SetMargin(8);
}

bool CChatBotOkDialog::Run() {
    Announce(this);
    return ShowModal() == ui::kResultOk;
}

bool CChatBotOkDialog::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdDialogOk) {
        Close(ui::kResultOk);
        return true;
    }
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdDialogCancel) {
        Close(ui::kResultCancel);
        return true;
    }
    return ui::CVelForm::HandleEvent(e);
}

bool RunWordDialog(CPatternElement& element, const std::vector<std::u16string>& framesets) {
    auto* d = new CChatBotOkDialog(340, 420, QStringLiteral("Параметры слова"));
    auto* panel = new CChatBotWordPanel(d->Body(), ui::kAlignClient, 320, 360);
    panel->Load(element, framesets);
    if (!d->Run()) {
        return false;
    }
    element = panel->Element();
    return true;
}

bool RunFramesetDialog(std::u16string& name, int32_t& priority) {
    auto* d = new CChatBotOkDialog(340, 170, QStringLiteral("Правка фреймсета"));
    ui::CVelPanel* b = d->Body();
    new ui::CVelLabel(b, ui::kPlaceFlow, 300, kRow, QStringLiteral("Введите название фреймсета:"));
    b->FlowNewRow();
    auto* edit = new ui::CVelEdit(b, ui::kPlaceFlow, 300, kRow, Q(name));
    edit->SetMaxLength(static_cast<int>(kMaxFramesetName));
    b->FlowNewRow();
    new ui::CVelLabel(b, ui::kPlaceFlow, 90, kRow, QStringLiteral("Приоритет:"));
    auto* spin = new ui::CVelSpinEdit(b, ui::kPlaceFlow, 100, kRow, -1, 1000000, priority);
    edit->SetFocus();
    if (!d->Run()) {
        return false;
    }
    name = W(edit->Text());
    priority = spin->Value();
    return true;
}

bool RunScriptDialog(std::u16string& body) {
    auto* d = new CChatBotOkDialog(560, 380, QStringLiteral("Скрипт"));
    auto* memo = new ui::CVelMemo(d->Body(), ui::kAlignClient, 0, 0);
    memo->Editor()->setFont(ScriptFont());
    memo->Editor()->setTabStopDistance(QFontMetricsF(ScriptFont()).horizontalAdvance(u' ') * 4);
    memo->Editor()->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The editor shows line breaks as the operator types them; the script
    // keeps CR LF.
    memo->SetText(Q(body).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    memo->SetFocus();
    if (!d->Run()) {
        return false;
    }
    QString text = memo->Text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    body = W(text);
    return true;
}

bool RunWaitTimeDialog(int32_t& ms) {
    auto* d = new CChatBotOkDialog(280, 110, QStringLiteral("Время ожидания"));
    ui::CVelPanel* b = d->Body();
    new ui::CVelLabel(b, ui::kPlaceFlow, 140, kRow, QStringLiteral("Время ожидания, мс:"));
    auto* spin = new ui::CVelSpinEdit(b, ui::kPlaceFlow, 100, kRow, 0, kMaxWaitTime, ms);
    spin->SetFocus();
    if (!d->Run()) {
        return false;
    }
    ms = spin->Value();
    return true;
}

}  // namespace velcora::chatbot
