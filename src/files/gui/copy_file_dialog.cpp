#include "files/gui/copy_file_dialog.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

namespace velcora::files {
namespace {

constexpr int kCmdCancel = 1;

// Progress bars count in int; a file of up to 2 GB fits as it is.
int BarValue(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, 0, INT32_MAX));
}

}  // namespace

CCopyFileDialog::CCopyFileDialog(QWidget* over, std::function<uint32_t()> clock,
                                 std::optional<int64_t> listBytes)
    : ui::CVelCustomForm(nullptr, new ui::CVelSurface(over, Qt::Dialog), 0, 440, 170),
      clock_(std::move(clock)),
      listBytes_(listBytes) {
    SetEndsLoop(false);
    SetText(QStringLiteral("Копирование файлов"));
    SetMargin(10);
    label_ = new ui::CVelLabel(this, ui::kAlignTop, 0, 22, QString());
    // Paths are shown as they are: a name "<b>x" is no markup.
    if (auto* l = qobject_cast<QLabel*>(label_->Widget())) {
        l->setTextFormat(Qt::PlainText);
    }
    fileBar_ = new ui::CVelProgressBar(this, ui::kAlignTop, 0, 20, 0, 1);
    overallBar_ = new ui::CVelProgressBar(this, ui::kAlignTop, 0, 20, 0, 1);
    rate_ = new ui::CVelLabel(this, ui::kAlignTop, 0, 22, QString());
    auto* row = new ui::CVelContainer(this, ui::kAlignBottom, 0, 34);
    row->SetFlowRowCentred(true);
    cancel_ =
        new ui::CVelButton(row, ui::kPlaceFlow, 100, 28, QStringLiteral("Отмена"), kCmdCancel);
    for (auto* bar : {fileBar_, overallBar_}) {
        if (auto* b = qobject_cast<QProgressBar*>(bar->Widget())) {
            b->setTextVisible(false);
        }
    }
    if (over) {
        // Over the middle of the window it belongs to.
        const QPoint c = over->mapToGlobal(over->rect().center());
        Widget()->move(c.x() - 440 / 2, c.y() - 170 / 2);
    }
}

void CCopyFileDialog::Begin(int32_t items) {
    cancelled_ = false;
    itemsDone_ = 0;
    rate_meter_.BeginList(clock_(), listBytes_);
    if (auto* b = qobject_cast<QProgressBar*>(overallBar_->Widget())) {
        b->setRange(0, std::max(1, items));
        b->setValue(0);
    }
    Widget()->show();
    shown_ = true;
    Show(true);
}

void CCopyFileDialog::ItemsDone(int32_t done) {
    itemsDone_ = done;
    Show(false);
}

void CCopyFileDialog::FileStarted(const std::u16string& label, int32_t size) {
    label_->SetText(QString::fromStdU16String(label));
    fileSize_ = std::max(0, size);
    fileCopied_ = 0;
    rate_meter_.BeginFile(clock_(), size);
    if (auto* b = qobject_cast<QProgressBar*>(fileBar_->Widget())) {
        b->setRange(0, std::max(1, fileSize_));  // an empty file: an empty bar
        b->setValue(0);
    }
    Show(true);
}

void CCopyFileDialog::FileProgress(int32_t copied) {
    fileCopied_ = copied;
    rate_meter_.FileProgress(clock_(), copied);
    Show(false);
}

void CCopyFileDialog::Show(bool force) {
    const uint32_t now = clock_();
    if (!force && now - lastPaint_ < kRepaintMs) {
        return;
    }
    lastPaint_ = now;
    ++repaints_;
    fileBar_->SetPosition(BarValue(fileCopied_));
    overallBar_->SetPosition(itemsDone_);
    rate_->SetText(QString::fromStdU16String(rate_meter_.Text()));
}

bool CCopyFileDialog::CancelRequested() {
    // A copy between local folders waits for nothing: the interface gets
    // its turn here (the robot's waits run the loop themselves).
    const uint32_t now = clock_();
    if (now - lastEvents_ >= 10) {
        lastEvents_ = now;
        QApplication::processEvents();
    }
    return cancelled_;
}

void CCopyFileDialog::End() {
    Show(true);
    shown_ = false;
    Widget()->hide();
}

bool CCopyFileDialog::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdCancel) {
        Cancel();
        return true;
    }
    return ui::CVelCustomForm::HandleEvent(e);
}

bool CCopyFileDialog::CanClose(int) {
    // The close button presses "Отмена"; the dialog goes when the copy ends.
    Cancel();
    return false;
}

bool CCopyFileDialog::WidgetEvent(QEvent* e) {
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        Cancel();
        return true;
    }
    return ui::CVelCustomForm::WidgetEvent(e);
}

}  // namespace velcora::files
