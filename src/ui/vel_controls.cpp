#include "ui/vel_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyleOptionGroupBox>
#include <QToolButton>

namespace velcora::ui {

namespace {

// A group box that also paints the windowless controls of its container and
// tells where its contents go.
class GroupBoxWidget : public QGroupBox {
  public:
    using QGroupBox::QGroupBox;
    QRect Contents() const {
        QStyleOptionGroupBox opt;
        initStyleOption(&opt);
        return style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxContents,
                                       this);
    }

  protected:
    void paintEvent(QPaintEvent* e) override {
        QGroupBox::paintEvent(e);
        if (auto* c = dynamic_cast<CVelContainer*>(CVelControl::FromWidget(this))) {
            QPainter p(this);
            c->PaintDrawControls(p, e->rect());
        }
    }
};

// A combo box whose popup list is made when it first opens (Qt gives it the
// box's font then). Qt makes the list on the box's first change of font,
// only to give the list that font; every box of the main window changes font
// while the window is built, and few are ever opened. The change is passed on
// as usual once the list exists, once Qt may keep a size it measured with
// the earlier font (it forgets those when the box first shows) and to a box
// one can type in, whose text field Qt also places then.
class ComboBoxWidget : public QComboBox {
  public:
    using QComboBox::QComboBox;
    QSize sizeHint() const override {
        measured_ = true;
        return QComboBox::sizeHint();
    }
    QSize minimumSizeHint() const override {
        measured_ = true;
        return QComboBox::minimumSizeHint();
    }

  protected:
    void changeEvent(QEvent* e) override {
        if (e->type() == QEvent::FontChange && !isEditable() && !ListMade() && !SizeKept()) {
            QWidget::changeEvent(e);
            return;
        }
        QComboBox::changeEvent(e);
    }
    void showEvent(QShowEvent* e) override {
        if (!shown_) {
            shown_ = true;
            if (sizeAdjustPolicy() == AdjustToContentsOnFirstShow) {
                measured_ = false;
            }
        }
        QComboBox::showEvent(e);
    }

  private:
    bool ListMade() const {
        return findChild<QFrame*>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
    }
    // Whether Qt may keep a size it measured with the font the box had.
    bool SizeKept() const {
        return measured_ && (shown_ || sizeAdjustPolicy() != AdjustToContentsOnFirstShow);
    }

    mutable bool measured_ = false;
    bool shown_ = false;
};

template <typename W>
W* As(QWidget* w) {
    return static_cast<W*>(w);
}

}  // namespace

// ---- containers --------------------------------------------------------------------

CVelPanel::CVelPanel(CVelContainer* owner, uint32_t place, int w, int h)
    : CVelContainer(owner, place, w, h) {}

void CVelPanel::SetBevel(bool on) {
    bevel_ = on;
    SetMargin(on ? 1 : Margin());
    Widget()->update();
}

void CVelPanel::PaintSurface(QPainter& p, const QRect& dirty) {
    CVelContainer::PaintSurface(p, dirty);
    if (bevel_) {
        const QRect r = Widget()->rect().adjusted(0, 0, -1, -1);
        p.setPen(Widget()->palette().color(QPalette::Dark));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(Widget()->palette().color(QPalette::Light));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
}

CVelGroupBox::CVelGroupBox(CVelContainer* owner, uint32_t place, int w, int h,
                           const QString& caption)
    : CVelGroupBox(owner, new GroupBoxWidget, place, w, h, caption) {}

CVelGroupBox::CVelGroupBox(CVelContainer* owner, QGroupBox* box, uint32_t place, int w, int h,
                           const QString& caption)
    : CVelContainer(owner, box, place, w, h) {
    box->setTitle(caption);
    text_ = caption;
}

QGroupBox* CVelGroupBox::Box() const {
    return As<QGroupBox>(Widget());
}

void CVelGroupBox::SetText(const QString& caption) {
    text_ = caption;
    Box()->setTitle(caption);
}

QRect CVelGroupBox::ClientRect() const {
    QRect r = static_cast<GroupBoxWidget*>(Box())->Contents();
    const int m = Margin();
    r = r.marginsRemoved(QMargins(m, m, m, m));
    return r.isValid() ? r : QRect(r.topLeft(), QSize(0, 0));
}

CVelCheckGroupBox::CVelCheckGroupBox(CVelContainer* owner, uint32_t place, int w, int h,
                                     const QString& caption)
    : CVelGroupBox(owner, new GroupBoxWidget, place, w, h, caption) {
    Box()->setCheckable(true);
    QObject::connect(Box(), &QGroupBox::clicked, this, [this] { Click(); });
}

bool CVelCheckGroupBox::Checked() const {
    return Box()->isChecked();
}

void CVelCheckGroupBox::SetChecked(bool on) {
    QSignalBlocker b(Box());
    Box()->setChecked(on);
}

CVelRadioGroupBox::CVelRadioGroupBox(CVelContainer* owner, uint32_t place, int w, int h,
                                     const QString& caption, int id)
    : CVelGroupBox(owner, place, w, h, caption) {
    SetId(id);
}

void CVelRadioGroupBox::AddItem(const QString& text) {
    const int w = std::max(40, ClientRect().width() - 2 * FlowLayout::kGap);
    radios_.push_back(new CVelRadio(this, kPlaceFlow, w, 20, text));
    FlowNewRow();
}

int CVelRadioGroupBox::ItemIndex() const {
    for (std::size_t i = 0; i < radios_.size(); ++i) {
        if (radios_[i]->Checked()) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CVelRadioGroupBox::SetItemIndex(int index) {
    for (std::size_t i = 0; i < radios_.size(); ++i) {
        radios_[i]->SetChecked(static_cast<int>(i) == index);
    }
}

bool CVelRadioGroupBox::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && e.notify == VelNotify::Click) {
        for (std::size_t i = 0; i < radios_.size(); ++i) {
            if (radios_[i] == e.control) {
                SetItemIndex(static_cast<int>(i));
                SendCommand(Id(), VelNotify::Changed);
                return true;
            }
        }
    }
    return CVelGroupBox::HandleEvent(e);
}

CVelScrollBox::CVelScrollBox(CVelContainer* owner, uint32_t place, int w, int h)
    : CVelContainer(owner, new QScrollArea, place, w, h), inner_(new CVelSurface) {
    auto* area = As<QScrollArea>(Widget());
    area->setWidget(inner_);
    area->setWidgetResizable(false);
    inner_->resize(std::max(0, w - 4), std::max(0, h - 4));
    // The first layout ran on the frame; children are laid out in the inner area.
    ReLayout();
}

QRect CVelScrollBox::ClientRect() const {
    const int m = Margin();
    return inner_->rect().marginsRemoved(QMargins(m, m, m, m));
}

void CVelScrollBox::SetContentSize(int w, int h) {
    inner_->resize(w, h);
    ReLayout();
}

// ---- captioned controls --------------------------------------------------------------

void CVelTitleControl::SetText(const QString& text) {
    text_ = text;
    if (auto* b = qobject_cast<QAbstractButton*>(Widget())) {
        b->setText(text);
    } else if (auto* l = qobject_cast<QLabel*>(Widget())) {
        l->setText(text);
    }
}

QString CVelTitleControl::Text() const {
    return text_;
}

CVelButton::CVelButton(CVelContainer* owner, uint32_t place, int w, int h, const QString& text,
                       int id)
    : CVelTitleControl(owner, new QPushButton, place, w, h) {
    SetId(id);
    SetText(text);
    QObject::connect(Button(), &QPushButton::clicked, this, [this] { Click(); });
}

QPushButton* CVelButton::Button() const {
    return As<QPushButton>(Widget());
}

CVelCheckBox::CVelCheckBox(CVelContainer* owner, uint32_t place, int w, int h, const QString& text,
                           int id)
    : CVelTitleControl(owner, new QCheckBox, place, w, h) {
    SetId(id);
    SetText(text);
    QObject::connect(As<QCheckBox>(Widget()), &QCheckBox::clicked, this, [this] { Click(); });
}

bool CVelCheckBox::Checked() const {
    return As<QCheckBox>(Widget())->isChecked();
}

void CVelCheckBox::SetChecked(bool on) {
    QSignalBlocker b(Widget());
    As<QCheckBox>(Widget())->setChecked(on);
}

CVelRadio::CVelRadio(CVelContainer* owner, uint32_t place, int w, int h, const QString& text,
                     int id)
    : CVelTitleControl(owner, new QRadioButton, place, w, h) {
    SetId(id);
    SetText(text);
    QObject::connect(As<QRadioButton>(Widget()), &QRadioButton::clicked, this, [this] { Click(); });
}

bool CVelRadio::Checked() const {
    return As<QRadioButton>(Widget())->isChecked();
}

void CVelRadio::SetChecked(bool on) {
    QSignalBlocker b(Widget());
    As<QRadioButton>(Widget())->setChecked(on);
}

CVelLabel::CVelLabel(CVelContainer* owner, uint32_t place, int w, int h, const QString& text,
                     Qt::Alignment align)
    : CVelTitleControl(owner, new QLabel, place, w, h) {
    SetText(text);
    SetAlignment(align);
}

void CVelLabel::SetAlignment(Qt::Alignment align) {
    As<QLabel>(Widget())->setAlignment(align);
}

CVelSpdBtn::CVelSpdBtn(CVelContainer* owner, uint32_t place, int w, int h, const QString& text,
                       int id)
    : CVelTitleControl(owner, new QToolButton, place, w, h) {
    SetId(id);
    SetText(text);
    Button()->setAutoRaise(false);
    Button()->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QObject::connect(Button(), &QToolButton::clicked, this, [this] { Click(); });
}

QToolButton* CVelSpdBtn::Button() const {
    return As<QToolButton>(Widget());
}
void CVelSpdBtn::SetLatching(bool on) {
    Button()->setCheckable(on);
}
bool CVelSpdBtn::Down() const {
    return Button()->isChecked() || Button()->isDown();
}

void CVelSpdBtn::Press() {
    Button()->click();
}

void CVelSpdBtn::SetDown(bool down) {
    QSignalBlocker b(Button());
    if (Button()->isCheckable()) {
        Button()->setChecked(down);
    } else {
        Button()->setDown(down);
    }
}

// ---- edits ----------------------------------------------------------------------------

CVelEdit::CVelEdit(CVelContainer* owner, uint32_t place, int w, int h, const QString& text, int id)
    : CVelCustomEdit(owner, new QLineEdit, place, w, h) {
    SetId(id);
    SetText(text);
    QObject::connect(LineEdit(), &QLineEdit::textEdited, this,
                     [this] { SendCommand(Id(), VelNotify::Changed); });
    QObject::connect(LineEdit(), &QLineEdit::returnPressed, this,
                     [this] { SendCommand(Id(), VelNotify::Activated); });
}

QLineEdit* CVelEdit::LineEdit() const {
    return As<QLineEdit>(Widget());
}
void CVelEdit::SetText(const QString& text) {
    LineEdit()->setText(text);
}
QString CVelEdit::Text() const {
    return LineEdit()->text();
}
void CVelEdit::SetPassword(bool on) {
    LineEdit()->setEchoMode(on ? QLineEdit::Password : QLineEdit::Normal);
}
void CVelEdit::SetReadOnly(bool on) {
    LineEdit()->setReadOnly(on);
}
void CVelEdit::SetMaxLength(int n) {
    LineEdit()->setMaxLength(n);
}

CVelSpinEdit::CVelSpinEdit(CVelContainer* owner, uint32_t place, int w, int h, int min, int max,
                           int value, int id)
    : CVelCustomEdit(owner, new QSpinBox, place, w, h) {
    SetId(id);
    SetRange(min, max);
    SetValue(value);
    QObject::connect(SpinBox(), &QSpinBox::valueChanged, this,
                     [this] { SendCommand(Id(), VelNotify::Changed); });
}

QSpinBox* CVelSpinEdit::SpinBox() const {
    return As<QSpinBox>(Widget());
}
int CVelSpinEdit::Value() const {
    return SpinBox()->value();
}
void CVelSpinEdit::SetValue(int v) {
    QSignalBlocker b(SpinBox());
    SpinBox()->setValue(v);
}
void CVelSpinEdit::SetRange(int min, int max) {
    QSignalBlocker b(SpinBox());
    SpinBox()->setRange(min, max);
}
void CVelSpinEdit::SetReadOnly(bool on) {
    SpinBox()->setReadOnly(on);
}

CVelMemo::CVelMemo(CVelContainer* owner, uint32_t place, int w, int h, int id)
    : CVelCustomMemo(owner, new QPlainTextEdit, place, w, h) {
    SetId(id);
}

QPlainTextEdit* CVelMemo::Editor() const {
    return As<QPlainTextEdit>(Widget());
}
void CVelMemo::SetText(const QString& text) {
    Editor()->setPlainText(text);
}
QString CVelMemo::Text() const {
    return Editor()->toPlainText();
}
void CVelMemo::Append(const QString& line) {
    Editor()->appendPlainText(line);
}
void CVelMemo::SetReadOnly(bool on) {
    Editor()->setReadOnly(on);
}

// ---- lists ---------------------------------------------------------------------------

CVelListBox::CVelListBox(CVelContainer* owner, uint32_t place, int w, int h, int id)
    : CVelControl(owner, new QListWidget, place, w, h) {
    SetId(id);
    QObject::connect(List(), &QListWidget::itemDoubleClicked, this,
                     [this] { SendCommand(Id(), VelNotify::Activated); });
    QObject::connect(List(), &QListWidget::currentRowChanged, this,
                     [this] { SendCommand(Id(), VelNotify::Changed); });
}

QListWidget* CVelListBox::List() const {
    return As<QListWidget>(Widget());
}
void CVelListBox::AddItem(const QString& text) {
    List()->addItem(text);
}
void CVelListBox::Clear() {
    QSignalBlocker b(List());
    List()->clear();
}
int CVelListBox::Count() const {
    return List()->count();
}
QString CVelListBox::ItemText(int index) const {
    const QListWidgetItem* it = List()->item(index);
    return it != nullptr ? it->text() : QString();
}
int CVelListBox::ItemIndex() const {
    return List()->currentRow();
}
void CVelListBox::SetItemIndex(int index) {
    QSignalBlocker b(List());
    List()->setCurrentRow(index);
}

CVelComboBox::CVelComboBox(CVelContainer* owner, uint32_t place, int w, int h, int id)
    : CVelControl(owner, new ComboBoxWidget, place, w, h) {
    SetId(id);
    QObject::connect(Combo(), &QComboBox::activated, this,
                     [this] { SendCommand(Id(), VelNotify::Changed); });
}

QComboBox* CVelComboBox::Combo() const {
    return As<QComboBox>(Widget());
}
void CVelComboBox::AddItem(const QString& text) {
    QSignalBlocker b(Combo());
    Combo()->addItem(text);
}
void CVelComboBox::SetItems(const QStringList& items) {
    QSignalBlocker b(Combo());
    Combo()->clear();
    Combo()->addItems(items);
}
void CVelComboBox::Clear() {
    QSignalBlocker b(Combo());
    Combo()->clear();
}
int CVelComboBox::Count() const {
    return Combo()->count();
}
QString CVelComboBox::ItemText(int index) const {
    return Combo()->itemText(index);
}
int CVelComboBox::ItemIndex() const {
    return Combo()->currentIndex();
}
void CVelComboBox::SetItemIndex(int index) {
    QSignalBlocker b(Combo());
    Combo()->setCurrentIndex(index);
}

// ---- values ----------------------------------------------------------------------------

CVelTrackBar::CVelTrackBar(CVelContainer* owner, uint32_t place, int w, int h, int min, int max,
                           Qt::Orientation orientation, int id)
    : CVelControl(owner, new QSlider(orientation), place, w, h) {
    SetId(id);
    SetRange(min, max);
    QObject::connect(Slider(), &QSlider::valueChanged, this,
                     [this] { SendCommand(Id(), VelNotify::Changed); });
}

QSlider* CVelTrackBar::Slider() const {
    return As<QSlider>(Widget());
}
int CVelTrackBar::Position() const {
    return Slider()->value();
}
void CVelTrackBar::SetPosition(int v) {
    QSignalBlocker b(Slider());
    Slider()->setValue(v);
}
void CVelTrackBar::SetRange(int min, int max) {
    QSignalBlocker b(Slider());
    Slider()->setRange(min, max);
}

CVelProgressBar::CVelProgressBar(CVelContainer* owner, uint32_t place, int w, int h, int min,
                                 int max)
    : CVelControl(owner, new QProgressBar, place, w, h) {
    As<QProgressBar>(Widget())->setRange(min, max);
}
void CVelProgressBar::SetPosition(int v) {
    As<QProgressBar>(Widget())->setValue(v);
}
int CVelProgressBar::Position() const {
    return As<QProgressBar>(Widget())->value();
}

CVelStatusBar::CVelStatusBar(CVelContainer* owner, const std::vector<Pane>& panes, int h)
    : CVelControl(owner, new QFrame, kAlignBottom, 100, h) {
    auto* frame = As<QFrame>(Widget());
    auto* lay = new QHBoxLayout(frame);
    lay->setContentsMargins(2, 1, 2, 1);
    lay->setSpacing(2);
    for (const Pane& pane : panes) {
        auto* l = new QLabel(frame);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setMinimumWidth(pane.width);
        if (!pane.stretch) {
            l->setFixedWidth(pane.width);
        }
        lay->addWidget(l, pane.stretch ? 1 : 0);
        panes_.push_back(l);
    }
}

void CVelStatusBar::SetPaneText(int pane, const QString& text) {
    if (pane >= 0 && pane < PaneCount()) {
        panes_[pane]->setText(text);
    }
}

QString CVelStatusBar::PaneText(int pane) const {
    return pane >= 0 && pane < PaneCount() ? panes_[pane]->text() : QString();
}

CVelSeparator::CVelSeparator(CVelContainer* owner, uint32_t place, int w, int h,
                             Qt::Orientation orientation)
    : CVelControl(owner, new QFrame, place, w, h) {
    As<QFrame>(Widget())->setFrameStyle(
        (orientation == Qt::Horizontal ? QFrame::HLine : QFrame::VLine) | QFrame::Sunken);
}

CVelPaintBox::CVelPaintBox(CVelContainer* owner, uint32_t place, int w, int h)
    : CVelControl(owner, new CVelSurface, place, w, h) {}

void CVelPaintBox::PaintSurface(QPainter& p, const QRect& dirty) {
    PaintBackground(p, dirty);
    if (paint_) {
        paint_(p, dirty);
    }
}

}  // namespace velcora::ui
