#include "cyclogram/gui/cyclogram_dialogs.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <algorithm>

#include "link/text_codec.h"
#include "ui/vel_dialogs.h"

namespace velcora::cyclogram_gui {

using namespace velcora::ui;

namespace {

QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
std::string U(const QString& s) {
    return s.toUtf8().toStdString();
}

enum DialogId : int {
    kIdOk = 0x700,
    kIdCancel,
    kIdUpload,
    kIdDeleteWave,
    kIdRefresh,
    kIdWaveList,
    kIdSpeech,
    kIdValue,
    kIdPosition,
};

constexpr int kRow = 26;

// A small modal form with fields in rows and "OK"/"Отмена" at the bottom.
class FieldForm : public CVelForm {
  public:
    FieldForm(const QString& title, int w, int h) : CVelForm(kPlaceScreenCentre, w, h, title) {
        SetMargin(10);
        SetColor(QColor(0xEE, 0xF1, 0xF5));
    }
    void Label(const QString& text, int w = 130) {
        FlowNewRow();
        new CVelLabel(this, kPlaceFlow, w, kRow, text);
    }
    void Buttons() {
        FlowNewRow();
        FlowGap(8);
        new CVelButton(this, kPlaceFlow, 90, kRow + 2, QStringLiteral("OK"), kIdOk);
        new CVelButton(this, kPlaceFlow, 90, kRow + 2, QStringLiteral("Отмена"), kIdCancel);
    }
    bool HandleEvent(const VelEvent& e) override {
        if (e.kind == VelEventKind::Command && e.id == kIdOk) {
            Close(kResultOk);
            return true;
        }
        if (e.kind == VelEventKind::Command && e.id == kIdCancel) {
            Close(kResultCancel);
            return true;
        }
        return CVelForm::HandleEvent(e);
    }
};

}  // namespace

bool RunTrackPropertiesDialog(TrackProperties& properties) {
    auto* f = new FieldForm(QStringLiteral("Свойства трека"), 320, 180);
    f->Label(QStringLiteral("Номер мотора:"), 120);
    auto* motor = new CVelSpinEdit(f, kPlaceFlow, 120, kRow, 0, 1000000, properties.motor);
    f->FlowNewRow();
    auto* locked = new CVelCheckBox(f, kPlaceFlow, 260, kRow, QStringLiteral("Заблокировать трек"));
    locked->SetChecked(properties.locked);
    f->FlowNewRow();
    auto* disabled =
        new CVelCheckBox(f, kPlaceFlow, 260, kRow, QStringLiteral("Выключить работу трека"));
    disabled->SetChecked(properties.disabled);
    f->Buttons();
    const bool ok = f->ShowModal() == kResultOk;
    if (ok) {
        properties.motor = motor->Value();
        properties.locked = locked->Checked();
        properties.disabled = disabled->Checked();
    }
    return ok;
}

// ------------------------------------------------------------ progress

CCycUploadForm::CCycUploadForm(const QString& title, int total)
    : CVelForm(kPlaceScreenCentre, 360, 110, title) {
    SetMargin(10);
    SetColor(QColor(0xEE, 0xF1, 0xF5));
    bar_ = new CVelProgressBar(this, kPlaceFlow, 330, 22, 0, std::max(total, 1));
    FlowNewRow();
    new CVelButton(this, kPlaceFlow, 100, kRow + 2, QStringLiteral("Отмена"), kIdCancel);
}

void CCycUploadForm::SetProgress(int done, int total) {
    bar_->SetPosition(std::min(done, std::max(total, 1)));
}

int CCycUploadForm::Progress() const {
    return bar_->Position();
}

bool CCycUploadForm::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && e.id == kIdCancel) {
        Close(kResultCancel);
        return true;
    }
    return CVelForm::HandleEvent(e);
}

bool CCycUploadForm::CanClose(int) {
    if (!finished_ && cancel_) {
        auto cancel = std::move(cancel_);
        cancel_ = nullptr;
        cancel();
    }
    return true;
}

// ------------------------------------------------------ audio block dialog

CAudioBlockDialog::CAudioBlockDialog(IRobotLink& link, CWaveList& waves, const AudioBlock& block)
    : CVelForm(kPlaceScreenCentre, 350, 410, QStringLiteral("Свойства аудиоблока")),
      link_(link),
      waves_(waves),
      transfer_(link, *this, waves) {
    SetMargin(8);
    SetColor(QColor(0xEE, 0xF1, 0xF5));
    const AudioBlockFields fields = AudioBlockFields::FromBlock(block);

    auto* bottom = new CVelPanel(this, kAlignBottom, 0, 76);
    bottom->SetColor(QColor(0xEE, 0xF1, 0xF5));
    new CVelLabel(bottom, kPlaceFlow, 100, kRow, QStringLiteral("Длина (мс):"));
    length_ = new CVelSpinEdit(bottom, kPlaceFlow, 120, kRow, 0, 1000000, fields.length);
    length_->SpinBox()->setSingleStep(500);
    bottom->FlowNewRow();
    bottom->FlowGap(6);
    new CVelButton(bottom, kPlaceFlow, 90, kRow + 2, QStringLiteral("OK"), kIdOk);
    new CVelButton(bottom, kPlaceFlow, 90, kRow + 2, QStringLiteral("Отмена"), kIdCancel);

    pages_ = new CVelTabControl(this, kAlignClient, 0, 0);
    CVelPanel* text = pages_->AddPage(QStringLiteral("Текст"));
    CVelPanel* sound = pages_->AddPage(QStringLiteral("Звук"));
    text->SetMargin(6);
    new CVelLabel(text, kPlaceFlow, 300, kRow, QStringLiteral("Текст для синтезатора речи:"));
    text->FlowNewRow();
    speech_ = new CVelEdit(text, kPlaceFlow, 300, kRow, Q(fields.speech), kIdSpeech);
    QObject::connect(speech_->LineEdit(), &QLineEdit::textEdited, this, [this](const QString& s) {
        length_->SetValue(SpeechLengthMs(static_cast<int32_t>(s.size())));
    });

    sound->SetMargin(6);
    auto* head = new CVelPanel(sound, kAlignTop, 0, 62);
    new CVelLabel(head, kPlaceFlow, 80, kRow, QStringLiteral("Имя файла:"));
    file_ = new CVelEdit(head, kPlaceFlow, 220, kRow, Q(fields.fileName));
    head->FlowNewRow();
    auto* up = new CVelSpdBtn(head, kPlaceFlow, 30, kRow, QStringLiteral("⇧"), kIdUpload);
    up->SetHint(QStringLiteral("Загрузить Wave-файл на робота"));
    auto* del = new CVelSpdBtn(head, kPlaceFlow, 30, kRow, QStringLiteral("✖"), kIdDeleteWave);
    del->SetHint(QStringLiteral("Удалить выделенные элементы"));
    auto* refresh = new CVelSpdBtn(head, kPlaceFlow, 30, kRow, QStringLiteral("⟳"), kIdRefresh);
    refresh->SetHint(QStringLiteral("Обновить"));
    list_ = new CVelListBox(sound, kAlignClient, 0, 0, kIdWaveList);
    menu_ = CVelPopupMenu::Create();
    menu_->AddItem(kIdDeleteWave, QStringLiteral("&Удалить\tDel"), QKeySequence(Qt::Key_Delete));
    menu_->AddSeparator();
    menu_->AddItem(kIdUpload, QStringLiteral("Загрузить Wave-файл на робота"));
    menu_->AddItem(kIdRefresh, QStringLiteral("Обновить\tF5"), QKeySequence(Qt::Key_F5));
    list_->SetPopupMenu(menu_);

    pages_->SetActivePage(fields.soundPage ? 1 : 0);
    FillList();
    if (waves_.entries.empty() && link_.Authorised()) {
        transfer_.requestWaveList();
    }
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { transfer_.Tick(100); });
    timer_.start(100);
}

CAudioBlockDialog::~CAudioBlockDialog() {
    timer_.stop();
    transfer_.cancelUpload();
    if (menu_) {
        menu_->Release();
    }
}

bool CAudioBlockDialog::Edit(IRobotLink& link, CWaveList& waves, AudioBlock& block) {
    auto* d = new CAudioBlockDialog(link, waves, block);
    if (d->ShowModal() != kResultOk) {
        return false;
    }
    d->Fields().ApplyTo(block);
    return true;
}

AudioBlockFields CAudioBlockDialog::Fields() const {
    AudioBlockFields f;
    f.soundPage = pages_->ActivePage() == 1;
    f.fileName = U(file_->Text());
    f.speech = U(speech_->Text());
    f.length = length_->Value();
    return f;
}

void CAudioBlockDialog::FillList() {
    list_->Clear();
    for (const auto& e : waves_.entries) {
        list_->AddItem(Q(AnsiToUtf8(e.name)));
    }
}

void CAudioBlockDialog::ChooseEntry(int row) {
    if (row < 0 || row >= static_cast<int>(waves_.entries.size())) {
        return;
    }
    const auto& e = waves_.entries[static_cast<std::size_t>(row)];
    file_->SetText(Q(AnsiToUtf8(e.name)));
    length_->SetValue(static_cast<int>(std::min<uint32_t>(e.lengthMs, 1000000)));
}

void CAudioBlockDialog::UploadWave() {
    const QString path = ChooseOpenFile(QStringLiteral("Загрузить Wave-файл на робота"),
                                        QStringLiteral("WAVE-файлы (*.wav)"));
    if (!path.isEmpty()) {
        transfer_.uploadWaveFile(U(path));
    }
}

void CAudioBlockDialog::Refresh() {
    if (!link_.Authorised()) {
        ShowError(Q(kNoConnectionText));
        return;
    }
    transfer_.requestWaveList();
}

void CAudioBlockDialog::DeleteSelected() {
    const int row = list_->ItemIndex();
    if (row < 0 || row >= static_cast<int>(waves_.entries.size())) {
        return;
    }
    transfer_.deleteWaveFile(waves_.entries[static_cast<std::size_t>(row)].name);
}

bool CAudioBlockDialog::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command) {
        switch (e.id) {
            case kIdOk:
                Close(kResultOk);
                return true;
            case kIdCancel:
                Close(kResultCancel);
                return true;
            case kIdUpload:
                UploadWave();
                return true;
            case kIdDeleteWave:
                DeleteSelected();
                return true;
            case kIdRefresh:
                Refresh();
                return true;
            case kIdWaveList:
                ChooseEntry(list_->ItemIndex());
                if (e.notify == VelNotify::Activated) {
                    Close(kResultOk);
                }
                return true;
            default:
                break;
        }
    }
    return CVelForm::HandleEvent(e);
}

bool CAudioBlockDialog::Confirm(const std::string& question, const std::string& title) {
    return AskQuestion(Q(title), Q(question), Buttons::YesNo) == Answer::Yes;
}

void CAudioBlockDialog::OnRequestFailed(WaveRequest, const std::string& text) {
    ShowError(Q(text));
}

void CAudioBlockDialog::OnWaveListChanged() {
    FillList();
}

void CAudioBlockDialog::OnUploadStarted(const std::string& title, int32_t total) {
    if (progress_) {
        return;
    }
    progress_ = new CCycUploadForm(Q(title), total);
    QPointer<CAudioBlockDialog> self(this);
    progress_->SetCancelHandler([self] {
        if (self) {
            self->transfer_.cancelUpload();
        }
    });
    progress_->ShowModal();
    if (self) {
        self->progress_ = nullptr;
    }
}

void CAudioBlockDialog::OnUploadProgress(int32_t done, int32_t total) {
    if (progress_) {
        progress_->SetProgress(done, total);
    }
}

void CAudioBlockDialog::OnUploadFinished(bool) {
    if (progress_) {
        progress_->finished_ = true;
        progress_->Close(kResultOk);
    }
}

}  // namespace velcora::cyclogram_gui
