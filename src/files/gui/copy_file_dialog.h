// "Копирование файлов": the file being copied, a bar for it and one over the
// items, the speed and the time left, and "Отмена" (also Escape and the close
// button). It belongs to the file manager: it stays over it, and the file
// manager takes no input while a copy runs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "files/copy_engine.h"
#include "files/transfer_rate.h"
#include "ui/vel.h"

class QWidget;

namespace velcora::files {

class CCopyFileDialog : public ui::CVelCustomForm, public ICopyProgress {
    Q_OBJECT
  public:
    // At most this many repaints a second.
    static constexpr uint32_t kRepaintMs = 33;

    // `over` is the window it belongs to; `clock` the millisecond tick;
    // `listBytes` the list's total when it is known.
    CCopyFileDialog(QWidget* over, std::function<uint32_t()> clock,
                    std::optional<int64_t> listBytes);

    // ICopyProgress
    void Begin(int32_t items) override;
    void ItemsDone(int32_t done) override;
    void FileStarted(const std::u16string& label, int32_t size) override;
    void FileProgress(int32_t copied) override;
    bool CancelRequested() override;
    void End() override;

    bool Cancelled() const { return cancelled_; }
    // Presses "Отмена".
    void Cancel() { cancelled_ = true; }

    ui::CVelLabel* CopyLabel() const { return label_; }
    ui::CVelLabel* RateLabel() const { return rate_; }
    ui::CVelProgressBar* FileBar() const { return fileBar_; }
    ui::CVelProgressBar* OverallBar() const { return overallBar_; }
    ui::CVelButton* CancelButton() const { return cancel_; }
    // Repaints so far (the limit is what the benchmark and tests watch).
    int Repaints() const { return repaints_; }

    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    bool CanClose(int code) override;
    bool WidgetEvent(QEvent* e) override;

  private:
    void Show(bool force);

    std::function<uint32_t()> clock_;
    std::optional<int64_t> listBytes_;
    CTransferRate rate_meter_;
    ui::CVelLabel* label_ = nullptr;
    ui::CVelLabel* rate_ = nullptr;
    ui::CVelProgressBar* fileBar_ = nullptr;
    ui::CVelProgressBar* overallBar_ = nullptr;
    ui::CVelButton* cancel_ = nullptr;
    bool cancelled_ = false;
    bool shown_ = false;
    uint32_t lastPaint_ = 0;
    uint32_t lastEvents_ = 0;
    int32_t fileSize_ = 0;
    int32_t fileCopied_ = 0;
    int32_t itemsDone_ = 0;
    int repaints_ = 0;
};

}  // namespace velcora::files
