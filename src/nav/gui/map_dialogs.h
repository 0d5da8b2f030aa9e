// The map window's dialogs: the property dialog of each item kind and the
// windows that show an upload to or a download from the robot.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "nav/map_editor.h"
#include "ui/vel_controls.h"
#include "ui/vel_form.h"

class QDoubleSpinBox;

namespace velcora::nav {

// A number field with decimals (positions, angles, heights).
class CMapNumberEdit : public ui::CVelCustomEdit {
  public:
    CMapNumberEdit(ui::CVelContainer* owner, uint32_t place, int w, int h, double min, double max,
                   double step, int decimals, double value);
    double Value() const;
    void SetValue(double v);
    void SetReadOnly(bool on) override;
    QDoubleSpinBox* SpinBox() const;
};

// What every property dialog shares: rows of a label and a field, "OK" and
// "Отмена". The values are read when "OK" is pressed.
class CMapPropertyForm : public ui::CVelForm {
  public:
    enum Command { kCmdOk = 7401, kCmdCancel };

    // Runs the dialog of the values' kind modally: the values to store on
    // "OK", nothing otherwise.
    static std::optional<ItemProperties> Run(const ItemProperties& current);

    // As if "OK" was pressed (tests, the Enter key).
    void Accept();
    const std::optional<ItemProperties>& Accepted() const { return accepted_; }
    // The editable fields in the order shown.
    const std::vector<ui::CVelControl*>& Fields() const { return fields_; }
    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    CMapPropertyForm(const QString& title, int rows);
    // The dialog's values now.
    virtual ItemProperties Values() const = 0;

    CMapNumberEdit* Number(const QString& label, double min, double max, double step, int decimals,
                           double value);
    CMapNumberEdit* Coordinate(const QString& label, double value);
    ui::CVelSpinEdit* Integer(const QString& label, int min, int max, int value);
    ui::CVelComboBox* Choice(const QString& label, const QStringList& items, int index);
    ui::CVelCheckBox* Check(const QString& text, bool on);
    void Shown(const QString& label, const QString& value);
    void Buttons();

  private:
    std::vector<ui::CVelControl*> fields_;
    std::optional<ItemProperties> accepted_;
};

class CImagePropertyForm : public CMapPropertyForm {
  public:
    explicit CImagePropertyForm(const ImageProperties& v);

  protected:
    ItemProperties Values() const override;

  private:
    ImageProperties v_;
    CMapNumberEdit *x_, *y_, *angle_, *height_;
    ui::CVelCheckBox* noGo_;
};

class CWallPropertyForm : public CMapPropertyForm {
  public:
    explicit CWallPropertyForm(const WallProperties& v);

  protected:
    ItemProperties Values() const override;

  private:
    WallProperties v_;
    CMapNumberEdit *x_, *y_, *angle_;
};

class CPlacePropertyForm : public CMapPropertyForm {
  public:
    explicit CPlacePropertyForm(const PlaceProperties& v);

  protected:
    ItemProperties Values() const override;

  private:
    PlaceProperties v_;
    ui::CVelSpinEdit* number_;
    CMapNumberEdit *height_, *x_, *y_, *angle_;
};

class CZonePropertyForm : public CMapPropertyForm {
  public:
    explicit CZonePropertyForm(const ZoneProperties& v);

  protected:
    ItemProperties Values() const override;

  private:
    ZoneProperties v_;
    ui::CVelComboBox* type_;
    ui::CVelSpinEdit *number_, *parameter_;
};

class CRobotPropertyForm : public CMapPropertyForm {
  public:
    explicit CRobotPropertyForm(const RobotProperties& v);

  protected:
    ItemProperties Values() const override;

  private:
    CMapNumberEdit *x_, *y_, *angle_;
};

class CFloorLinePropertyForm : public CMapPropertyForm {
  public:
    explicit CFloorLinePropertyForm(const FloorLineProperties& v);

  protected:
    ItemProperties Values() const override;

  private:
    CMapNumberEdit *x_, *y_, *angle_, *position_, *lift_, *tilt_;
    ui::CVelComboBox* kind_;
};

// "Передача карты" and "Скачивание карты": a progress bar over the packed size
// and "Отмена". Closing them in any way but Finish() counts as the
// operator's cancel.
class CMapProgressForm : public ui::CVelForm {
  public:
    enum Command { kCmdCancel = 7451 };

    CMapProgressForm(const QString& title, const QString& label, uint32_t maximum,
                     std::function<void()> onCancel);
    void SetMaximum(uint32_t maximum);
    void SetProgress(uint32_t value);
    // The bar in thousandths of the maximum.
    int Position() const;
    // Closed by the program: the transfer ended.
    void Finish();
    // Finished or cancelled: closing, not to be used for another transfer.
    bool Done() const { return finished_; }
    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    bool CanClose(int code) override;

  private:
    ui::CVelProgressBar* bar_;
    uint32_t maximum_;
    std::function<void()> onCancel_;
    bool finished_ = false;
};

class CUploadForm : public CMapProgressForm {
  public:
    CUploadForm(uint32_t packedSize, std::function<void()> onCancel);
};

class CDownloadForm : public CMapProgressForm {
  public:
    CDownloadForm(uint32_t packedSize, std::function<void()> onCancel);
};

}  // namespace velcora::nav
