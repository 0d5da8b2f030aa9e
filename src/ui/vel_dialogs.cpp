#include "ui/vel_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <vector>

namespace velcora::ui {

namespace {

template <class Sink>
Sink& Slot() {
    static Sink sink;
    return sink;
}

template <class Sink>
Sink Swap(Sink sink) {
    Sink old = std::move(Slot<Sink>());
    Slot<Sink>() = std::move(sink);
    return old;
}

QWidget* Parent() {
    return QApplication::activeWindow();
}

}  // namespace

ChoiceSink SetChoiceSink(ChoiceSink sink) {
    return Swap(std::move(sink));
}
InputSink SetInputSink(InputSink sink) {
    return Swap(std::move(sink));
}
FileSink SetFileSink(FileSink sink) {
    return Swap(std::move(sink));
}

int AskChoice(const QString& title, const QString& text, const QStringList& buttons,
              int defaultIndex, QMessageBox::Icon icon) {
    if (const ChoiceSink& sink = Slot<ChoiceSink>()) {
        const int answer = sink(title, text, buttons);
        return answer >= -1 && answer < buttons.size() ? answer : -1;
    }
    QMessageBox box(icon, title, text, QMessageBox::NoButton, Parent());
    box.setTextFormat(Qt::PlainText);
    std::vector<QPushButton*> pushed;
    for (int i = 0; i < buttons.size(); ++i) {
        // Roles only place the buttons; the answer is the index.
        QPushButton* b = box.addButton(buttons[i], QMessageBox::ActionRole);
        pushed.push_back(b);
        if (i == defaultIndex)
            box.setDefaultButton(b);
    }
    // Escape picks the last button when it is a cancelling one.
    if (!buttons.isEmpty() &&
        (buttons.back() == QStringLiteral("Отмена") || buttons.back() == QStringLiteral("Нет")))
        box.setEscapeButton(pushed.back());
    box.exec();
    for (size_t i = 0; i < pushed.size(); ++i) {
        if (box.clickedButton() == pushed[i])
            return static_cast<int>(i);
    }
    return -1;
}

Answer AskQuestion(const QString& title, const QString& text, Buttons buttons, Answer defaultAnswer,
                   QMessageBox::Icon icon) {
    QStringList names{QStringLiteral("Да"), QStringLiteral("Нет")};
    if (buttons == Buttons::YesNoCancel)
        names << QStringLiteral("Отмена");
    int def = static_cast<int>(defaultAnswer);
    if (def >= names.size())
        def = 0;
    switch (AskChoice(title, text, names, def, icon)) {
        case 0:
            return Answer::Yes;
        case 1:
            return Answer::No;
        case 2:
            return Answer::Cancel;
        default:
            return buttons == Buttons::YesNoCancel ? Answer::Cancel : Answer::No;
    }
}

bool InputQuery(const QString& title, const QString& prompt, QString& value, int maxLength) {
    if (const InputSink& sink = Slot<InputSink>()) {
        QString typed = value;
        if (!sink(title, prompt, typed))
            return false;
        value = typed.left(maxLength);
        return true;
    }
    QInputDialog dialog(Parent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    dialog.setOkButtonText(QStringLiteral("ОК"));
    dialog.setCancelButtonText(QStringLiteral("Отмена"));
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMaxLength(maxLength);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue().left(maxLength);
    return true;
}

QString ChooseOpenFile(const QString& title, const QString& filter, const QString& dir) {
    if (const FileSink& sink = Slot<FileSink>())
        return sink(FileDialogKind::Open, title, filter);
    return QFileDialog::getOpenFileName(Parent(), title, dir, filter);
}

QString ChooseSaveFile(const QString& title, const QString& filter, const QString& defaultSuffix,
                       const QString& dir) {
    if (const FileSink& sink = Slot<FileSink>())
        return sink(FileDialogKind::Save, title, filter);
    QFileDialog dialog(Parent(), title, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

}  // namespace velcora::ui
