#include "media/gui/telnet_form.h"

#include <QFontDatabase>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include "link/robot_connection.h"
#include "link/settings.h"

namespace velcora::media {

namespace {

const QColor kTextBackground(192, 192, 192);

QString FromUtf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Courier New where it is installed, else the fixed-pitch face every
// desktop has.
QString FixedFamily() {
    const QStringList families = QFontDatabase::families();
    for (const char* name : {"Courier New", "DejaVu Sans Mono", "Liberation Mono"}) {
        if (families.contains(QString::fromLatin1(name)))
            return QString::fromLatin1(name);
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

}  // namespace

CTelnetForm::CTelnetForm(ui::CVelForm* frame, ToolContext& tools)
    : CVelMDIChildForm(frame, kWidth, kHeight, FromUtf8(kTelnetTitle)), tools_(tools) {
    font_ = ui::CVelFont::Create(QStringLiteral("Verdana"), 12);
    SetFont(font_);
    state_ = new ui::CVelLabel(this, ui::kAlignBottom, 0, 20, QString());
    input_ = new ui::CVelEdit(this, ui::kAlignBottom, 0, 24);
    input_->SetHint(QStringLiteral("Команда для консоли робота (Enter — отправить)"));
    input_->LineEdit()->setPlaceholderText(QStringLiteral("Команда для робота, Enter — отправить"));
    text_ = new ui::CVelMemo(this, ui::kAlignClient, 0, 0);
    text_->SetReadOnly(true);
    text_->SetColor(kTextBackground);
    textFont_ = ui::CVelFont::Create(FixedFamily(), 12);
    text_->SetFont(textFont_);
    QPlainTextEdit* editor = text_->Editor();
    editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor->setUndoRedoEnabled(false);
    QPalette pal = editor->palette();
    pal.setColor(QPalette::Base, kTextBackground);
    pal.setColor(QPalette::Text, Qt::black);
    editor->setPalette(pal);
    QObject::connect(input_->LineEdit(), &QLineEdit::returnPressed, this, [this] { SendInput(); });

    console_ = std::make_unique<CTelnetConsole>(tools_.reactor, this, &tools_.connection);
    Reopen();
    Widget()->setFocusProxy(input_->Widget());
    input_->SetFocus();
}

CTelnetForm::~CTelnetForm() {
    console_.reset();
    textFont_->Release();
    font_->Release();
}

void CTelnetForm::OnRobotAddress(uint32_t address) {
    console_->OnRobotAddress(address);
}

void CTelnetForm::OnOperatorDisconnect() {
    console_->OnOperatorDisconnect();
}

void CTelnetForm::Reopen() {
    // The port as the settings hold it now: an edit takes effect at the next open.
    CRobotConnection& link = tools_.connection;
    console_->Open(tools_.settings.telnetPort, link.Address(), link.State() != kStateIdle);
    TelnetStateChanged(console_->State());
}

void CTelnetForm::SendInput() {
    const QString line = input_->Text();
    if (!console_->SendLine(line.toStdU16String())) {
        ui::ShowError(QStringLiteral("Консоль робота не подключена"), 2000);
        return;
    }
    input_->SetText(QString());
}

void CTelnetForm::TelnetTextChanged(std::u16string_view added, size_t dropped) {
    QPlainTextEdit* editor = text_->Editor();
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromUtf16(added.data(), static_cast<qsizetype>(added.size())));
    if (dropped > 0) {
        cursor.movePosition(QTextCursor::Start);
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor,
                            static_cast<int>(dropped));
        cursor.removeSelectedText();
    }
    // The caret and the view follow the end.
    editor->moveCursor(QTextCursor::End);
    editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum());
}

void CTelnetForm::TelnetStateChanged(TelnetState state) {
    if (!state_)
        return;
    state_->SetText(FromUtf8(TelnetStateText(state, console_ ? console_->Address() : 0xFFFFFFFFu,
                                             console_ ? console_->Port() : -1)));
}

}  // namespace velcora::media
