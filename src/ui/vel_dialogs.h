// The console's small modal dialogs: questions with a row of buttons, a one-line
// input query and file choices. Each runs modally over the active window and
// treats every text as plain text (a robot's file name "<b>x" is no markup).
// Tests and headless programs answer them through sinks instead, as
// `SetErrorSink` does for the error box.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

namespace velcora::ui {

// Runs a box with `buttons` from left to right; returns the index of the
// pressed one, or -1 when the box was closed without a choice (Escape on a
// box without a cancelling button, the close button).
int AskChoice(const QString& title, const QString& text, const QStringList& buttons,
              int defaultIndex = 0, QMessageBox::Icon icon = QMessageBox::Question);

enum class Buttons { YesNo, YesNoCancel };
enum class Answer { Yes, No, Cancel };

// "Да"/"Нет"(/"Отмена"). Closing the box answers Cancel with a cancel button,
// No without.
Answer AskQuestion(const QString& title, const QString& text, Buttons buttons = Buttons::YesNo,
                   Answer defaultAnswer = Answer::Yes,
                   QMessageBox::Icon icon = QMessageBox::Question);

// A one-line input with "ОК"/"Отмена": true and the typed text in `value`
// for OK (`value` holds the proposal on entry), false for Cancel.
bool InputQuery(const QString& title, const QString& prompt, QString& value, int maxLength = 32767);

// File choices; an empty text when the operator cancelled. `filter` in Qt's
// form ("navm (*.navm)"); `defaultSuffix` is added to a typed name without one.
QString ChooseOpenFile(const QString& title, const QString& filter, const QString& dir = {});
QString ChooseSaveFile(const QString& title, const QString& filter,
                       const QString& defaultSuffix = {}, const QString& dir = {});

// Sinks: each takes the dialog instead of showing it and returns its answer;
// each setter returns the previous sink, an empty function restores the dialog.
using ChoiceSink =
    std::function<int(const QString& title, const QString& text, const QStringList& buttons)>;
ChoiceSink SetChoiceSink(ChoiceSink sink);

using InputSink = std::function<bool(const QString& title, const QString& prompt, QString& value)>;
InputSink SetInputSink(InputSink sink);

enum class FileDialogKind { Open, Save };
using FileSink =
    std::function<QString(FileDialogKind kind, const QString& title, const QString& filter)>;
FileSink SetFileSink(FileSink sink);

}  // namespace velcora::ui
